#pragma once
// One transaction over a table as a scope: it starts with the object and is rolled
// back when the scope is left without Commit, by a return or an exception alike.
#include "store/TTable.h"

class TTableTransaction {
public:
    explicit TTableTransaction(TTable& table);
    ~TTableTransaction();
    TTableTransaction(const TTableTransaction&) = delete;
    TTableTransaction& operator=(const TTableTransaction&) = delete;

    void Commit();  // once; a commit that fails has rolled back

private:
    TTable& table_;
    bool done_ = false;
};
