#include "store/TTable.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <utility>

#include "base/Utf8.h"

namespace fs = std::filesystem;

namespace {

std::string g_netFileDir;

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string QuoteIdentifier(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// At most `size` characters of a UTF-8 text; 0 means no limit.
std::string CutToCharacters(std::string text, int size) {
    return size <= 0 ? text : Utf8Prefix(std::move(text), static_cast<std::size_t>(size));
}

struct Column {
    std::string name;
    std::string typeName;  // String, Integer, Float, Blob, Numeric
    int size = 0;          // characters; 0 when the field declares none
};

Column ParseColumn(const std::string& name, const std::string& declared) {
    Column c{name, "", 0};
    const std::string t = Upper(declared);
    if (t.find("INT") != std::string::npos)
        c.typeName = "Integer";
    else if (t.find("CHAR") != std::string::npos || t.find("CLOB") != std::string::npos ||
             t.find("TEXT") != std::string::npos)
        c.typeName = "String";
    else if (t.empty() || t.find("BLOB") != std::string::npos)
        c.typeName = "Blob";
    else if (t.find("REAL") != std::string::npos || t.find("FLOA") != std::string::npos ||
             t.find("DOUB") != std::string::npos)
        c.typeName = "Float";
    else
        c.typeName = "Numeric";
    if (c.typeName == "String") {
        const auto open = t.find('(');
        if (open != std::string::npos) {
            try {
                c.size = std::max(0, std::stoi(t.substr(open + 1)));
            } catch (const std::exception&) {
                c.size = 0;
            }
        }
    }
    return c;
}

// A field exactly as the file holds it (storage class and content): an edit or a
// delete insists on the very record it read, whatever the sqlite3 tool put there.
struct StoredValue {
    int type = SQLITE_NULL;
    sqlite3_int64 integer = 0;
    double real = 0;
    std::string bytes;  // text or blob
};

struct Row {
    sqlite3_int64 rowid = 0;
    std::vector<std::string> values;  // as the fields show them
    std::vector<StoredValue> stored;  // as read from the file
};

// Reads the storage class first: the typed reads below may convert the value.
StoredValue ReadStored(sqlite3_stmt* st, int col) {
    StoredValue v;
    v.type = sqlite3_column_type(st, col);
    switch (v.type) {
        case SQLITE_INTEGER:
            v.integer = sqlite3_column_int64(st, col);
            break;
        case SQLITE_FLOAT:
            v.real = sqlite3_column_double(st, col);
            break;
        case SQLITE_TEXT:
        case SQLITE_BLOB:
            if (const void* b = sqlite3_column_blob(st, col))
                v.bytes.assign(static_cast<const char*>(b),
                               static_cast<std::size_t>(sqlite3_column_bytes(st, col)));
            break;
        default:
            break;
    }
    return v;
}

void BindStored(sqlite3_stmt* st, int index, const StoredValue& v) {
    switch (v.type) {
        case SQLITE_INTEGER:
            sqlite3_bind_int64(st, index, v.integer);
            break;
        case SQLITE_FLOAT:
            sqlite3_bind_double(st, index, v.real);
            break;
        case SQLITE_TEXT:
            sqlite3_bind_text(st, index, v.bytes.data(), static_cast<int>(v.bytes.size()),
                              SQLITE_TRANSIENT);
            break;
        case SQLITE_BLOB:
            sqlite3_bind_blob(st, index, v.bytes.data(), static_cast<int>(v.bytes.size()),
                              SQLITE_TRANSIENT);
            break;
        default:
            sqlite3_bind_null(st, index);
            break;
    }
}

void BindText(sqlite3_stmt* st, int index, const std::string& text) {
    sqlite3_bind_text(st, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Something is at `path`, but not a plain file: a link (dangling or not), a
// directory, a device, a pipe.
bool IsThereButNotPlain(const std::string& path) {
    std::error_code ec;
    const fs::file_status s = fs::symlink_status(path, ec);
    return fs::exists(s) && !fs::is_regular_file(s);
}

// SQLite's own file system with one rule added: a path that is there but is not a
// plain file is never opened. SQLite resolves links in a table's path before it
// opens the file, and names the journal after the resolved path; so without this a
// link in the data folders would lead reads, writes and a new journal outside.
// Registered as the default, over whatever the default was, so that it holds for
// every table file and journal of the process.
class TPlainFileVfs {
public:
    static void Install() {
        static const bool installed = [] {
            static sqlite3_vfs vfs;
            Base() = sqlite3_vfs_find(nullptr);
            vfs = *Base();
            vfs.zName = "haltguard-plain-files";
            vfs.xFullPathname = FullPathname;
            vfs.xOpen = Open;
            return sqlite3_vfs_register(&vfs, 1) == SQLITE_OK;
        }();
        (void)installed;
    }

private:
    static sqlite3_vfs*& Base() {
        static sqlite3_vfs* base = nullptr;
        return base;
    }
    // Sees the path as given, before the links in it are resolved.
    static int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
        if (IsThereButNotPlain(name)) return SQLITE_CANTOPEN;
        return Base()->xFullPathname(Base(), name, size, out);
    }
    // Sees the journals too; a file SQLite creates itself is passed through.
    static int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags,
                    int* outFlags) {
        if (name && IsThereButNotPlain(name)) {
            file->pMethods = nullptr;
            return SQLITE_CANTOPEN;
        }
        return Base()->xOpen(Base(), name, file, flags, outFlags);
    }
};

// Record numbers are never used twice in a table: the highest one ever given out or
// deleted is kept in the file's header (its user version, 32 bits), written in the
// same transaction as the insert or delete. So a record that another handle or
// program deleted can never come back under its old number and be taken for the
// one a handle read. Files without the mark (an earlier version's, the sqlite3
// tool's) start from their highest record number.
constexpr sqlite3_int64 kHighestMark = 0x7FFFFFFF;

// A prepared statement that finalises itself.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql, int& rc) {
        rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

void SetNetFileDir(const std::string& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        throw EDBEngineError("Network control directory does not exist: " + dir);
    g_netFileDir = dir;
}

std::string NetFileDir() {
    return g_netFileDir;
}

struct TTable::Impl {
    enum class State { Browse, Edit, Insert };

    std::string name;
    std::string directory;
    std::string tableName;
    std::vector<std::string> required;

    sqlite3* db = nullptr;
    std::string path;
    std::vector<Column> columns;
    std::vector<Row> rows;
    std::size_t cursor = 0;
    bool eof = true;
    State state = State::Browse;
    Row pending;
    std::vector<bool> dirty;
    bool inTransaction = false;
    sqlite3_int64 unmarked = 0;  // highest number given out or deleted in the transaction

    [[noreturn]] void DataError(const std::string& text) const {
        throw EDatabaseError(name + ": " + text);
    }
    [[noreturn]] void EngineError(const std::string& text) const {
        throw EDBEngineError(name + ": " + text);
    }

    // The open file is no longer the one at the table's path: another program has
    // deleted, moved or replaced it.
    bool HasMoved() const {
        int moved = 0;
        return db &&
               sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
               moved;
    }

    // A table, or its journal, that is there but is not a plain file is refused before
    // SQLite sees it; nothing is read or written through a link.
    void RefuseUnsafeFiles() const {
        if (IsThereButNotPlain(path)) EngineError("Table is a link or not a regular file: " + path);
        const std::string journal = path + "-journal";
        if (IsThereButNotPlain(journal))
            EngineError("Journal of the table is a link or not a regular file: " + journal);
    }

    void RefuseMissing() const {
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(path, ec))) EngineError("Table does not exist: " + path);
    }

    // Turns an SQLite result into the engine error the user sees.
    [[noreturn]] void SqliteError(int rc, const std::string& doing) const {
        const std::string where = path.empty() ? tableName : path;
        const int code = rc & 0xFF;
        // SQLite reports a file deleted or moved under an open handle as read-only or
        // as an I/O error, and a path the plain-file rule refused as one it cannot
        // open: the user is told what happened instead.
        if (code != SQLITE_BUSY && code != SQLITE_LOCKED && code != SQLITE_CONSTRAINT) {
            if (HasMoved()) EngineError("Table was deleted or moved by another program: " + where);
            if (!path.empty()) RefuseUnsafeFiles();
        }
        switch (code) {
            case SQLITE_NOTADB:
                EngineError("File is not a table: " + where);
            case SQLITE_CORRUPT:
                EngineError("Table is damaged: " + where);
            case SQLITE_FULL:
                EngineError("Disk is full while " + doing + " table " + where);
            case SQLITE_READONLY:
            case SQLITE_PERM:
                EngineError("Table is read-only: " + where);
            case SQLITE_CONSTRAINT:
                EngineError("Key violation: a record with the same key already exists in table " +
                            where);
            case SQLITE_BUSY:
            case SQLITE_LOCKED:
                EngineError("Table is busy (in use by another program): " + where);
            case SQLITE_CANTOPEN:
                EngineError("Table cannot be opened: " + where);
            default: {
                const char* msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
                EngineError(std::string("Error while ") + doing + " table " + where + ": " + msg);
            }
        }
    }

    void CheckActive() const {
        if (!db) DataError("Cannot perform this operation on a closed dataset");
    }

    std::size_t ColumnIndex(const std::string& field) const {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i].name == field) return i;
        DataError("Field '" + field + "' not found");
    }

    void Exec(const std::string& sql, const std::string& doing) {
        char* err = nullptr;
        const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
        sqlite3_free(err);
        if (rc != SQLITE_OK) SqliteError(rc, doing);
    }

    // Steps a statement that returns one row to its end; false when it returned none.
    bool StepOnce(Statement& st, Row& row, const std::string& doing) {
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
    void CheckIntact() {
        int rc = SQLITE_OK;
        Statement st(db, "PRAGMA quick_check(1)", rc);
        if (rc != SQLITE_OK) SqliteError(rc, "opening");
        rc = sqlite3_step(st.get());
        if (rc != SQLITE_ROW) SqliteError(rc, "opening");
        const auto* result = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
        if (!result || std::string(result) != "ok") EngineError("Table is damaged: " + path);
    }

    void ReadColumns() {
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

    std::string RowidAndFields() const {
        std::string list = "rowid";
        for (const Column& c : columns) list += ", " + QuoteIdentifier(c.name);
        return list;
    }

    // The current result of a statement whose columns are RowidAndFields().
    Row RowFrom(sqlite3_stmt* st) const {
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

    void ReadRows() {
        rows.clear();
        int rc = SQLITE_OK;
        Statement st(db, "SELECT " + RowidAndFields() + " FROM records ORDER BY rowid", rc);
        if (rc != SQLITE_OK) SqliteError(rc, "reading");
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) rows.push_back(RowFrom(st.get()));
        if (rc != SQLITE_DONE) SqliteError(rc, "reading");
    }

    void ClampCursor() {
        if (rows.empty()) {
            cursor = 0;
            eof = true;
        } else if (cursor >= rows.size()) {
            cursor = rows.size() - 1;
            eof = true;
        }
    }

    void CloseDb() {
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
    void AsOneWrite(const std::string& doing, Write&& write) {
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
    sqlite3_int64 Number(const char* sql) {
        int rc = SQLITE_OK;
        Statement st(db, sql, rc);
        if (rc != SQLITE_OK) SqliteError(rc, "writing");
        rc = sqlite3_step(st.get());
        if (rc != SQLITE_ROW) SqliteError(rc, "writing");
        return sqlite3_column_int64(st.get(), 0);
    }

    // Raises the mark (see kHighestMark) to the highest number given out or deleted
    // since it was last written.
    void WriteMark() {
        const sqlite3_int64 highest = std::exchange(unmarked, 0);
        // Inserts never give out a number beyond the mark's range, so a deleted one up
        // there can never come back and needs no keeping.
        if (highest > kHighestMark || highest <= Number("PRAGMA user_version")) return;
        Exec("PRAGMA user_version = " + std::to_string(highest), "writing");
    }

    // The record as this handle read it: its number and every field as stored.
    std::string AsReadCondition() const {
        std::string sql = "rowid = ?";
        for (const Column& c : columns)
            sql += " AND " + QuoteIdentifier(c.name) + " IS ? COLLATE BINARY";
        return sql;
    }
    void BindAsRead(sqlite3_stmt* st, int first, const Row& row) const {
        sqlite3_bind_int64(st, first, row.rowid);
        for (std::size_t i = 0; i < row.stored.size(); ++i)
            BindStored(st, first + 1 + static_cast<int>(i), row.stored[i]);
    }

    // An edit or a delete that found no record as read: the record is still there
    // under its number, changed, or it is gone (numbers never come back).
    [[noreturn]] void RecordConflict(sqlite3_int64 rowid, const std::string& doing) {
        int rc = SQLITE_OK;
        Statement st(db, "SELECT 1 FROM records WHERE rowid = ?", rc);
        if (rc != SQLITE_OK) SqliteError(rc, doing);
        sqlite3_bind_int64(st.get(), 1, rowid);
        rc = sqlite3_step(st.get());
        if (rc == SQLITE_ROW) EngineError("Record was changed by another user: " + path);
        if (rc == SQLITE_DONE) EngineError("Record was deleted by another user: " + path);
        SqliteError(rc, doing);
    }

    void Insert() {
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
            const sqlite3_int64 highest = std::max({Number("SELECT max(rowid) FROM records"),
                                                    Number("PRAGMA user_version"), unmarked});
            if (highest >= kHighestMark)
                EngineError("Table is full (no record numbers left): " + path);
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

    void Update() {
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

    void DeleteCurrent() {
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

    void Post() {
        if (state == State::Browse) return;
        const State was = state;
        // A failed store drops the pending record: the table stays as it was.
        state = State::Browse;
        if (was == State::Insert)
            Insert();
        else
            Update();
    }
};

TTable::TTable(std::string handleName) : d(std::make_unique<Impl>()) {
    d->name = std::move(handleName);
    TPlainFileVfs::Install();
}

TTable::~TTable() {
    d->CloseDb();
}

const std::string& TTable::Name() const {
    return d->name;
}
void TTable::SetDatabaseName(std::string directory) {
    d->directory = std::move(directory);
}
const std::string& TTable::DatabaseName() const {
    return d->directory;
}
void TTable::SetTableName(std::string tableName) {
    d->tableName = std::move(tableName);
}
const std::string& TTable::TableName() const {
    return d->tableName;
}
void TTable::SetRequiredFields(std::vector<std::string> fieldNames) {
    d->required = std::move(fieldNames);
}

std::string TTable::FilePath() const {
    const std::string& t = d->tableName;
    if (t.empty()) d->EngineError("Table name is empty");
    if (t.find_first_of(std::string("/\\\0", 3)) != std::string::npos || t == "." || t == "..")
        d->EngineError("Table name refused (it would reach outside its directory): " + t);
    std::string file = t;
    if (t.size() < 3 || Upper(t.substr(t.size() - 3)) != ".DB") file += ".db";
    return (fs::path(d->directory) / file).string();
}

void TTable::Open() {
    if (d->db) return;
    d->path = FilePath();
    d->RefuseMissing();
    d->RefuseUnsafeFiles();
    const int rc = sqlite3_open_v2(d->path.c_str(), &d->db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(d->db);
        d->db = nullptr;
        d->SqliteError(rc, "opening");
    }
    try {
        sqlite3_busy_timeout(d->db, 5000);
        d->Exec("PRAGMA synchronous = FULL", "opening");
        d->CheckIntact();
        d->ReadColumns();
        for (const std::string& f : d->required) {
            const std::size_t i = d->ColumnIndex(f);
            if (d->columns[i].typeName != "String")
                d->DataError("Type mismatch for field '" + f +
                             "', expecting: String actual: " + d->columns[i].typeName);
        }
        d->ReadRows();
    } catch (...) {
        d->CloseDb();
        throw;
    }
    d->cursor = 0;
    d->eof = d->rows.empty();
}

void TTable::Close() {
    if (!d->db) return;
    if (d->inTransaction) sqlite3_exec(d->db, "ROLLBACK", nullptr, nullptr, nullptr);
    d->CloseDb();
}

bool TTable::Active() const {
    return d->db != nullptr;
}

void TTable::First() {
    d->CheckActive();
    d->Post();
    d->cursor = 0;
    d->eof = d->rows.empty();
}

void TTable::Next() {
    d->CheckActive();
    d->Post();
    if (d->cursor + 1 < d->rows.size())
        ++d->cursor;
    else
        d->eof = true;
}

bool TTable::Eof() const {
    return !d->db || d->eof;
}

int TTable::RecordCount() const {
    d->CheckActive();
    return static_cast<int>(d->rows.size());
}

std::string TTable::FieldAsString(const std::string& field) const {
    d->CheckActive();
    const std::size_t i = d->ColumnIndex(field);
    if (d->state != Impl::State::Browse) return d->pending.values[i];
    if (d->rows.empty()) return {};
    return d->rows[d->cursor].values[i];
}

void TTable::SetFieldAsString(const std::string& field, const std::string& value) {
    d->CheckActive();
    const std::size_t i = d->ColumnIndex(field);
    if (d->state == Impl::State::Browse) d->DataError("Dataset not in edit or insert mode");
    d->pending.values[i] = CutToCharacters(value, d->columns[i].size);
    d->dirty[i] = true;
}

void TTable::Append() {
    d->CheckActive();
    d->Post();
    d->pending = Row{0, std::vector<std::string>(d->columns.size()), {}};
    d->dirty.assign(d->columns.size(), true);
    d->state = Impl::State::Insert;
}

void TTable::Edit() {
    d->CheckActive();
    if (d->state != Impl::State::Browse) return;
    if (d->rows.empty()) {
        Append();
        return;
    }
    d->pending = d->rows[d->cursor];
    d->dirty.assign(d->columns.size(), false);
    d->state = Impl::State::Edit;
}

void TTable::Post() {
    d->CheckActive();
    d->Post();
}

void TTable::Cancel() {
    d->CheckActive();
    d->state = Impl::State::Browse;
}

void TTable::Delete() {
    d->CheckActive();
    d->state = Impl::State::Browse;
    if (d->rows.empty()) d->DataError("Cannot perform this operation on an empty dataset");
    d->DeleteCurrent();
    d->eof = false;
    d->ClampCursor();
}

bool TTable::Locate(const std::string& field, const std::string& value) {
    d->CheckActive();
    d->Post();
    const std::size_t i = d->ColumnIndex(field);
    for (std::size_t r = 0; r < d->rows.size(); ++r) {
        if (d->rows[r].values[i] == value) {
            d->cursor = r;
            d->eof = false;
            return true;
        }
    }
    return false;
}

void TTable::CreateTable(const std::vector<TFieldDef>& fields,
                         const std::vector<std::string>& uniqueKey) {
    if (d->db) d->DataError("Cannot perform this operation on an open dataset");
    d->path = FilePath();
    std::error_code ec;
    if (!fs::is_directory(d->directory, ec))
        d->EngineError("Directory does not exist: " + d->directory);
    d->RefuseUnsafeFiles();
    std::string sql = "CREATE TABLE records (";
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) sql += ", ";
        sql += QuoteIdentifier(fields[i].Name) + " VARCHAR(" + std::to_string(fields[i].Size) + ")";
    }
    if (!uniqueKey.empty()) {
        sql += ", UNIQUE (";
        for (std::size_t i = 0; i < uniqueKey.size(); ++i)
            sql += (i ? ", " : "") + QuoteIdentifier(uniqueKey[i]);
        sql += ")";
    }
    sql += ")";
    // Replacing means starting from an empty file, whatever was there before. The
    // table goes before its journal: the old table never stands without a hot journal
    // it needs, and no stale journal is left to be played into the new file.
    if (fs::exists(fs::symlink_status(d->path, ec)) && !fs::remove(d->path, ec))
        d->EngineError("Table cannot be replaced: " + d->path + ": " + ec.message());
    fs::remove(d->path + "-journal", ec);
    int rc = sqlite3_open_v2(d->path.c_str(), &d->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    try {
        if (rc != SQLITE_OK) d->SqliteError(rc, "creating");
        d->Exec("PRAGMA synchronous = FULL", "creating");
        d->Exec(sql, "creating");
    } catch (...) {
        d->CloseDb();
        fs::remove(d->path, ec);
        fs::remove(d->path + "-journal", ec);
        throw;
    }
    d->CloseDb();
}

void TTable::DeleteTable() {
    if (d->db) d->DataError("Cannot perform this operation on an open dataset");
    d->path = FilePath();
    d->RefuseMissing();
    d->RefuseUnsafeFiles();
    std::error_code ec;
    if (!fs::remove(d->path, ec))
        d->EngineError("Table cannot be deleted: " + d->path + ": " + ec.message());
    fs::remove(d->path + "-journal", ec);
}

void TTable::StartTransaction() {
    d->CheckActive();
    if (d->inTransaction) d->EngineError("A transaction is already active on " + d->path);
    d->Exec("BEGIN IMMEDIATE", "writing");
    d->inTransaction = true;
    d->unmarked = 0;
}

void TTable::Commit() {
    d->CheckActive();
    if (!d->inTransaction) d->EngineError("No transaction is active on " + d->path);
    try {
        d->Post();
        // A table deleted or moved by another program while the transaction ran would
        // take the records with it: that is no save.
        if (d->HasMoved())
            d->EngineError("Table was deleted or moved by another program: " + d->path);
        d->WriteMark();
        d->Exec("COMMIT", "writing");
    } catch (...) {
        // A commit that failed part-way may have rolled back by itself.
        if (sqlite3_get_autocommit(d->db)) {
            d->inTransaction = false;
            d->ReadRows();
            d->ClampCursor();
        }
        throw;
    }
    d->inTransaction = false;
}

void TTable::Rollback() {
    d->CheckActive();
    if (!d->inTransaction) return;
    d->state = Impl::State::Browse;
    d->inTransaction = false;
    d->unmarked = 0;
    // After a full disk or an I/O error SQLite may have rolled back by itself.
    if (!sqlite3_get_autocommit(d->db)) {
        try {
            d->Exec("ROLLBACK", "writing");
        } catch (...) {
            // Closing the connection discards the transaction all the same.
            d->CloseDb();
            throw;
        }
    }
    // The cache follows the file again.
    d->ReadRows();
    d->ClampCursor();
}

bool TTable::InTransaction() const {
    return d->inTransaction;
}
