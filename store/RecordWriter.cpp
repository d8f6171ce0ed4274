#include "store/RecordWriter.h"

#include <algorithm>
#include <utility>

#include "store/TableErrors.h"

namespace {

// Record numbers are never used twice in a table: the highest one ever given out or
// deleted is kept in the file's header (its user version, 32 bits), written in the
// same transaction as the insert or delete. So a record that another handle or
// program deleted can never come back under its old number and be taken for the
// one a handle read. Files without the mark (an earlier version's, the sqlite3
// tool's) start from their highest record number.
constexpr std::int64_t kHighestMark = 0x7FFFFFFF;

}  // namespace

void TRecordWriter::Begin() {
    if (inTransaction_) file_.EngineError("A transaction is already active on " + file_.Path());
    file_.Exec("BEGIN IMMEDIATE", "writing");
    inTransaction_ = true;
    unmarked_ = 0;
}

void TRecordWriter::Commit() {
    if (!inTransaction_) file_.EngineError("No transaction is active on " + file_.Path());
    try {
        WriteMark();
        file_.Exec("COMMIT", "writing");
    } catch (...) {
        Rollback();
        throw;
    }
    inTransaction_ = false;
}

int TRecordWriter::Rollback() {
    Forget();
    // After a full disk or an I/O error SQLite may have rolled back by itself.
    if (!file_.InTransaction()) return SQLITE_OK;
    const int rc = sqlite3_exec(file_.Db(), "ROLLBACK", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) file_.Close();
    return rc;
}

void TRecordWriter::Forget() {
    inTransaction_ = false;
    unmarked_ = 0;
}

// One write and its record-number mark as a whole. Inside an open transaction the
// mark waits for the commit (the transaction holds the table's write lock);
// otherwise a transaction of its own holds both.
template <typename Write>
void TRecordWriter::AsOneWrite(const std::string& doing, Write&& write) {
    if (inTransaction_) {
        write();
        return;
    }
    file_.Exec("BEGIN IMMEDIATE", doing);
    try {
        write();
        WriteMark();
        file_.Exec("COMMIT", doing);
    } catch (...) {
        // The first failure is the one reported.
        Rollback();
        throw;
    }
}

// Raises the mark (see kHighestMark) to the highest number given out or deleted
// since it was last written.
void TRecordWriter::WriteMark() {
    const std::int64_t highest = std::exchange(unmarked_, 0);
    // Inserts never give out a number beyond the mark's range, so a deleted one up
    // there can never come back and needs no keeping.
    if (highest > kHighestMark || highest <= file_.Number("PRAGMA user_version", "writing")) return;
    file_.Exec("PRAGMA user_version = " + std::to_string(highest), "writing");
}

// The record as this handle read it: its number and every field as stored.
std::string TRecordWriter::AsReadCondition() const {
    std::string sql = "rowid = ?";
    for (const TColumn& c : columns_)
        sql += " AND " + QuoteIdentifier(c.name) + " IS ? COLLATE BINARY";
    return sql;
}

void TRecordWriter::BindAsRead(sqlite3_stmt* st, int first, const TRow& row) const {
    sqlite3_bind_int64(st, first, row.rowid);
    for (std::size_t i = 0; i < row.stored.size(); ++i)
        BindStored(st, first + 1 + static_cast<int>(i), row.stored[i]);
}

// An edit or a delete that found no record as read: the record is still there
// under its number, changed, or it is gone (numbers never come back).
void TRecordWriter::Conflict(std::int64_t rowid, const std::string& doing) {
    int rc = SQLITE_OK;
    Statement st(file_.Db(), "SELECT 1 FROM records WHERE rowid = ?", rc);
    if (rc != SQLITE_OK) file_.Fail(rc, doing);
    sqlite3_bind_int64(st.get(), 1, rowid);
    rc = sqlite3_step(st.get());
    const std::string prefix = file_.Name() + ": Record was ";
    if (rc == SQLITE_ROW)
        throw ERecordConflict(prefix + "changed by another user: " + file_.Path());
    if (rc == SQLITE_DONE)
        throw ERecordConflict(prefix + "deleted by another user: " + file_.Path());
    file_.Fail(rc, doing);
}

TRow TRecordWriter::Insert(const std::vector<std::string>& values) {
    std::string sql = "INSERT INTO records (rowid";
    std::string marks = "?";
    for (const TColumn& c : columns_) {
        sql += ", " + QuoteIdentifier(c.name);
        marks += ", ?";
    }
    sql += ") VALUES (" + marks + ") RETURNING " + RowidAndFields(columns_);
    TRow stored;
    AsOneWrite("writing", [&] {
        // The next number above every record, the mark and this transaction's own.
        const std::int64_t highest =
            std::max({file_.Number("SELECT max(rowid) FROM records", "writing"),
                      file_.Number("PRAGMA user_version", "writing"), unmarked_});
        if (highest >= kHighestMark)
            file_.EngineError("Table is full (no record numbers left): " + file_.Path());
        const std::int64_t number = highest + 1;
        int rc = SQLITE_OK;
        Statement st(file_.Db(), sql, rc);
        if (rc != SQLITE_OK) file_.Fail(rc, "writing");
        sqlite3_bind_int64(st.get(), 1, number);
        for (std::size_t i = 0; i < columns_.size(); ++i)
            BindText(st.get(), static_cast<int>(i) + 2, values[i]);
        file_.StepOnce(st, columns_, stored, "writing");
        unmarked_ = number;
    });
    return stored;
}

bool TRecordWriter::Update(const TRow& asRead, const std::vector<std::string>& values,
                           const std::vector<bool>& changed, TRow& stored) {
    std::string sql = "UPDATE records SET ";
    bool any = false;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (!changed[i]) continue;
        if (any) sql += ", ";
        sql += QuoteIdentifier(columns_[i].name) + " = ?";
        any = true;
    }
    if (!any) return false;
    sql += " WHERE " + AsReadCondition() + " RETURNING " + RowidAndFields(columns_);
    int rc = SQLITE_OK;
    Statement st(file_.Db(), sql, rc);
    if (rc != SQLITE_OK) file_.Fail(rc, "writing");
    int bind = 1;
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (changed[i]) BindText(st.get(), bind++, values[i]);
    BindAsRead(st.get(), bind, asRead);
    if (!file_.StepOnce(st, columns_, stored, "writing")) Conflict(asRead.rowid, "writing");
    return true;
}

void TRecordWriter::Delete(const TRow& asRead) {
    AsOneWrite("deleting from", [&] {
        int rc = SQLITE_OK;
        Statement st(file_.Db(), "DELETE FROM records WHERE " + AsReadCondition(), rc);
        if (rc != SQLITE_OK) file_.Fail(rc, "deleting from");
        BindAsRead(st.get(), 1, asRead);
        rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE) file_.Fail(rc, "deleting from");
        if (sqlite3_changes(file_.Db()) == 0) Conflict(asRead.rowid, "deleting from");
        unmarked_ = std::max(unmarked_, asRead.rowid);
    });
}
