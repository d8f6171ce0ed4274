#include "store/TableTransaction.h"

TTableTransaction::TTableTransaction(TTable& table) : table_(table) {
    table_.StartTransaction();
}

TTableTransaction::~TTableTransaction() {
    if (done_) return;
    // Left by a failure, which is the one the user sees. A rollback that fails in turn
    // has closed the table, which discards the transaction all the same.
    try {
        table_.Rollback();
    } catch (const EDatabaseError&) {
    }
}

void TTableTransaction::Commit() {
    done_ = true;
    table_.Commit();
}
