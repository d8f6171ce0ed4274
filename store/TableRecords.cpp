// The table layer's reads and writes: records as the file holds them, each write
// with its record-number mark.
#include <algorithm>
#include <utility>

#include "store/TableImpl.h"

namespace {

// Record numbers are never used twice in a table: the highest one ever given out or
// deleted is kept in the file's header (its user version, 32 bits), written in the
// same transaction as the insert or delete. So a record that another handle or
// program deleted can never come back under its old number and be taken for the
// one a handle read. Files without the mark (an earlier version's, the sqlite3
// tool's) start from their highest record number.
constexpr sqlite3_int64 kHighestMark = 0x7FFFFFFF;

}  // namespace

void TTable::Impl::Exec(const std::string& sql, const std::string& doing) {
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc != SQLITE_OK) SqliteError(rc, doing);
}

// Steps a statement that returns one row to its end; false when it returned none.
bool TTable::Impl::StepOnce(Statement& st, Row& row, const std::string& doing) {
    int rc = sqlite3_step(st.get());
    if (rc == SQLITE_DONE) return false;
    if (rc != SQLITE_ROW) SqliteError(rc, doing);
    row = RowFrom(st.get());
    rc = sqlite3_step(st.get());
    if (rc != SQLITE_DONE) SqliteError(rc, doing);
    return true;
}

// A table cut short or overwritten in part reads as blank records, which a save or
// a transfer would then pass on; it is refused at open instead. The quick check
// reads every page once.
void TTable::Impl::CheckIntact() {
    int rc = SQLITE_OK;
    Statement st(db, "PRAGMA quick_check(1)", rc);
    if (rc != SQLITE_OK) SqliteError(rc, "opening");
    rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW) SqliteError(rc, "opening");
    const auto* result = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
    if (!result || std::string(result) != "ok") EngineError("Table is damaged: " + path);
}

void TTable::Impl::ReadColumns() {
    columns.clear();
    int rc = SQLITE_OK;
    Statement st(db, "PRAGMA table_info(records)", rc);
    if (rc != SQLITE_OK) SqliteError(rc, "opening");
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        const auto* n = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1));
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 2));
        columns.push_back(ParseColumn(n ? n : "", t ? t : ""));
    }
    if (rc != SQLITE_DONE) SqliteError(rc, "opening");
    if (columns.empty()) EngineError("File is not a table: " + path);
}

std::string TTable::Impl::RowidAndFields() const {
    std::string list = "rowid";
    for (const Column& c : columns) list += ", " + QuoteIdentifier(c.name);
    return list;
}

// The current result of a statement whose columns are RowidAndFields().
Row TTable::Impl::RowFrom(sqlite3_stmt* st) const {
    Row row;
    row.rowid = sqlite3_column_int64(st, 0);
    row.values.reserve(columns.size());
    row.stored.reserve(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const int col = static_cast<int>(i) + 1;
        StoredValue v = ReadStored(st, col);
        std::string shown = v.bytes;
        if (v.type == SQLITE_INTEGER || v.type == SQLITE_FLOAT)
            shown = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
        row.values.push_back(CutToCharacters(std::move(shown), columns[i].size));
        row.stored.push_back(std::move(v));
    }
    return row;
}

void TTable::Impl::ReadRows() {
    rows.clear();
    int rc = SQLITE_OK;
    Statement st(db, "SELECT " + RowidAndFields() + " FROM records ORDER BY rowid", rc);
    if (rc != SQLITE_OK) SqliteError(rc, "reading");
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) rows.push_back(RowFrom(st.get()));
    if (rc != SQLITE_DONE) SqliteError(rc, "reading");
}

void TTable::Impl::ClampCursor() {
    if (rows.empty()) {
        cursor = 0;
        eof = true;
    } else if (cursor >= rows.size()) {
        cursor = rows.size() - 1;
        eof = true;
    }
}

void TTable::Impl::CloseDb() {
    if (db) sqlite3_close_v2(db);
    db = nullptr;
    inTransaction = false;
    unmarked = 0;
    state = State::Browse;
    columns.clear();
    rows.clear();
    cursor = 0;
    eof = true;
}

// One write and its record-number mark as a whole. Inside an open transaction
// the mark waits for the commit (the transaction holds the table's write lock);
// otherwise a transaction of its own holds both.
template <typename Write>
void TTable::Impl::AsOneWrite(const std::string& doing, Write&& write) {
    if (inTransaction) {
        write();
        return;
    }
    Exec("BEGIN IMMEDIATE", doing);
    try {
        write();
        WriteMark();
        Exec("COMMIT", doing);
    } catch (...) {
        unmarked = 0;
        // After a full disk or an I/O error SQLite may have rolled back by itself.
        // The first failure is the one reported; should the undo fail too, closing
        // the connection discards what the write began.
        if (!sqlite3_get_autocommit(db) &&
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr) != SQLITE_OK)
            CloseDb();
        throw;
    }
}

// The one number a query gives (0 for NULL).
sqlite3_int64 TTable::Impl::Number(const char* sql) {
    int rc = SQLITE_OK;
    Statement st(db, sql, rc);
    if (rc != SQLITE_OK) SqliteError(rc, "writing");
    rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW) SqliteError(rc, "writing");
    return sqlite3_column_int64(st.get(), 0);
}

// Raises the mark (see kHighestMark) to the highest number given out or deleted
// since it was last written.
void TTable::Impl::WriteMark() {
    const sqlite3_int64 highest = std::exchange(unmarked, 0);
    // Inserts never give out a number beyond the mark's range, so a deleted one up
    // there can never come back and needs no keeping.
    if (highest > kHighestMark || highest <= Number("PRAGMA user_version")) return;
    Exec("PRAGMA user_version = " + std::to_string(highest), "writing");
}

// The record as this handle read it: its number and every field as stored.
std::string TTable::Impl::AsReadCondition() const {
    std::string sql = "rowid = ?";
    for (const Column& c : columns)
        sql += " AND " + QuoteIdentifier(c.name) + " IS ? COLLATE BINARY";
    return sql;
}

void TTable::Impl::BindAsRead(sqlite3_stmt* st, int first, const Row& row) const {
    sqlite3_bind_int64(st, first, row.rowid);
    for (std::size_t i = 0; i < row.stored.size(); ++i)
        BindStored(st, first + 1 + static_cast<int>(i), row.stored[i]);
}

void TTable::Impl::Insert() {
    std::string sql = "INSERT INTO records (rowid";
    std::string marks = "?";
    for (const Column& c : columns) {
        sql += ", " + QuoteIdentifier(c.name);
        marks += ", ?";
    }
    sql += ") VALUES (" + marks + ") RETURNING " + RowidAndFields();
    Row stored;
    AsOneWrite("writing", [&] {
        // The next number above every record, the mark and this transaction's own.
        const sqlite3_int64 highest = std::max(
            {Number("SELECT max(rowid) FROM records"), Number("PRAGMA user_version"), unmarked});
        if (highest >= kHighestMark) EngineError("Table is full (no record numbers left): " + path);
        const sqlite3_int64 number = highest + 1;
        int rc = SQLITE_OK;
        Statement st(db, sql, rc);
        if (rc != SQLITE_OK) SqliteError(rc, "writing");
        sqlite3_bind_int64(st.get(), 1, number);
        for (std::size_t i = 0; i < columns.size(); ++i)
            BindText(st.get(), static_cast<int>(i) + 2, pending.values[i]);
        StepOnce(st, stored, "writing");
        unmarked = number;
    });
    rows.push_back(std::move(stored));
    cursor = rows.size() - 1;
    eof = false;
}

void TTable::Impl::Update() {
    std::string sql = "UPDATE records SET ";
    bool any = false;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (!dirty[i]) continue;
        if (any) sql += ", ";
        sql += QuoteIdentifier(columns[i].name) + " = ?";
        any = true;
    }
    if (!any) return;
    sql += " WHERE " + AsReadCondition() + " RETURNING " + RowidAndFields();
    int rc = SQLITE_OK;
    Statement st(db, sql, rc);
    if (rc != SQLITE_OK) SqliteError(rc, "writing");
    int bind = 1;
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (dirty[i]) BindText(st.get(), bind++, pending.values[i]);
    BindAsRead(st.get(), bind, rows[cursor]);
    Row stored;
    if (!StepOnce(st, stored, "writing")) RecordConflict(rows[cursor].rowid, "writing");
    rows[cursor] = std::move(stored);
}

void TTable::Impl::DeleteCurrent() {
    const Row& row = rows[cursor];
    AsOneWrite("deleting from", [&] {
        int rc = SQLITE_OK;
        Statement st(db, "DELETE FROM records WHERE " + AsReadCondition(), rc);
        if (rc != SQLITE_OK) SqliteError(rc, "deleting from");
        BindAsRead(st.get(), 1, row);
        rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE) SqliteError(rc, "deleting from");
        if (sqlite3_changes(db) == 0) RecordConflict(row.rowid, "deleting from");
        unmarked = std::max(unmarked, row.rowid);
    });
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(cursor));
}

void TTable::Impl::Post() {
    if (state == State::Browse) return;
    const State was = state;
    // A failed store drops the pending record: the table stays as it was.
    state = State::Browse;
    if (was == State::Insert)
        Insert();
    else
        Update();
}
