#pragma once
// Inside the table layer only: the writes to one open table. An edit or a delete acts
// only on the record as the handle read it (its number and every field as stored),
// so another handle's or program's change is never overwritten; record numbers are
// never given out twice, so a deleted record cannot come back and be taken for one
// read before.
#include <cstdint>
#include <string>
#include <vector>

#include "store/Records.h"
#include "store/TableFile.h"

class TRecordWriter {
public:
    TRecordWriter(TTableFile& file, const std::vector<TColumn>& columns)
        : file_(file), columns_(columns) {}

    // One transaction over the table's file, holding its write lock.
    void Begin();
    // Ends the transaction either way: a commit that fails is rolled back.
    void Commit();
    // Undoes the transaction, if one runs. Should the undo fail, the file is closed,
    // which discards it all the same; that failure's result is given (else SQLITE_OK).
    int Rollback();
    bool InTransaction() const { return inTransaction_; }
    void Forget();  // after the file was closed

    // Each gives the record as the file now holds it.
    TRow Insert(const std::vector<std::string>& values);
    // Only the changed fields are written; false when none was.
    bool Update(const TRow& asRead, const std::vector<std::string>& values,
                const std::vector<bool>& changed, TRow& stored);
    void Delete(const TRow& asRead);

private:
    template <typename Write>
    void AsOneWrite(const std::string& doing, Write&& write);
    void WriteMark();
    std::string AsReadCondition() const;
    void BindAsRead(sqlite3_stmt* st, int first, const TRow& row) const;
    [[noreturn]] void Conflict(std::int64_t rowid, const std::string& doing);

    TTableFile& file_;
    const std::vector<TColumn>& columns_;
    bool inTransaction_ = false;
    std::int64_t unmarked_ = 0;  // highest number given out or deleted in the transaction
};
