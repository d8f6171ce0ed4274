#include "store/TTable.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <utility>

namespace fs = std::filesystem;

namespace {

std::string g_netFileDir;

// Names are UTF-8 everywhere, as SQLite takes them; a path made from a plain string
// would be read in the ANSI code page on Windows and miss a non-ASCII table.
fs::path NativePath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

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

// At most `size` characters (code points) of a UTF-8 text; 0 means no limit.
std::string CutToCharacters(const std::string& text, int size) {
    if (size <= 0) return text;
    int count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (count == size) return text.substr(0, i);
            ++count;
        }
    }
    return text;
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

struct Row {
    sqlite3_int64 rowid = 0;
    std::vector<std::string> values;
};

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
    if (!fs::is_directory(NativePath(dir), ec))
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

    [[noreturn]] void DataError(const std::string& text) const {
        throw EDatabaseError(name + ": " + text);
    }
    [[noreturn]] void EngineError(const std::string& text) const {
        throw EDBEngineError(name + ": " + text);
    }
    // Turns an SQLite result into the engine error the user sees.
    [[noreturn]] void SqliteError(int rc, const std::string& doing) const {
        const std::string where = path.empty() ? tableName : path;
        switch (rc & 0xFF) {
            case SQLITE_NOTADB:
            case SQLITE_CORRUPT:
                EngineError("File is not a table: " + where);
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

    void ReadRows() {
        rows.clear();
        std::string sql = "SELECT rowid";
        for (const Column& c : columns) sql += ", " + QuoteIdentifier(c.name);
        sql += " FROM records ORDER BY rowid";
        int rc = SQLITE_OK;
        Statement st(db, sql, rc);
        if (rc != SQLITE_OK) SqliteError(rc, "reading");
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            Row row;
            row.rowid = sqlite3_column_int64(st.get(), 0);
            row.values.reserve(columns.size());
            for (std::size_t i = 0; i < columns.size(); ++i) {
                const int col = static_cast<int>(i) + 1;
                std::string value;
                if (sqlite3_column_type(st.get(), col) != SQLITE_NULL) {
                    const auto* bytes =
                        static_cast<const char*>(sqlite3_column_blob(st.get(), col));
                    const int n = sqlite3_column_bytes(st.get(), col);
                    if (bytes) value.assign(bytes, static_cast<std::size_t>(n));
                    value = CutToCharacters(value, columns[i].size);
                }
                row.values.push_back(std::move(value));
            }
            rows.push_back(std::move(row));
        }
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
        state = State::Browse;
        columns.clear();
        rows.clear();
        cursor = 0;
        eof = true;
    }

    void Insert() {
        std::string sql = "INSERT INTO records (";
        std::string marks;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (i) {
                sql += ", ";
                marks += ", ";
            }
            sql += QuoteIdentifier(columns[i].name);
            marks += "?";
        }
        sql += ") VALUES (" + marks + ")";
        int rc = SQLITE_OK;
        Statement st(db, sql, rc);
        if (rc != SQLITE_OK) SqliteError(rc, "writing");
        for (std::size_t i = 0; i < columns.size(); ++i)
            sqlite3_bind_text(st.get(), static_cast<int>(i) + 1, pending.values[i].data(),
                              static_cast<int>(pending.values[i].size()), SQLITE_TRANSIENT);
        rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE) SqliteError(rc, "writing");
        pending.rowid = sqlite3_last_insert_rowid(db);
        rows.push_back(pending);
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
        sql += " WHERE rowid = ?";
        int rc = SQLITE_OK;
        Statement st(db, sql, rc);
        if (rc != SQLITE_OK) SqliteError(rc, "writing");
        int bind = 1;
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (dirty[i])
                sqlite3_bind_text(st.get(), bind++, pending.values[i].data(),
                                  static_cast<int>(pending.values[i].size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(st.get(), bind, pending.rowid);
        rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE) SqliteError(rc, "writing");
        // Another handle or program may have removed the record since this one read it.
        if (sqlite3_changes(db) != 1) EngineError("Record was deleted by another user: " + path);
        rows[cursor] = pending;
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
    const std::u8string path = (NativePath(d->directory) / NativePath(file)).u8string();
    return std::string(path.begin(), path.end());
}

void TTable::Open() {
    if (d->db) return;
    d->path = FilePath();
    std::error_code ec;
    if (!fs::is_regular_file(NativePath(d->path), ec))
        d->EngineError("Table does not exist: " + d->path);
    const int rc = sqlite3_open_v2(d->path.c_str(), &d->db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(d->db);
        d->db = nullptr;
        d->SqliteError(rc, "opening");
    }
    try {
        sqlite3_busy_timeout(d->db, 5000);
        d->Exec("PRAGMA synchronous = FULL", "opening");
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
    d->pending = Row{0, std::vector<std::string>(d->columns.size())};
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
    int rc = SQLITE_OK;
    Statement st(d->db, "DELETE FROM records WHERE rowid = ?", rc);
    if (rc != SQLITE_OK) d->SqliteError(rc, "deleting from");
    sqlite3_bind_int64(st.get(), 1, d->rows[d->cursor].rowid);
    rc = sqlite3_step(st.get());
    if (rc != SQLITE_DONE) d->SqliteError(rc, "deleting from");
    if (sqlite3_changes(d->db) != 1)
        d->EngineError("Record was deleted by another user: " + d->path);
    d->rows.erase(d->rows.begin() + static_cast<std::ptrdiff_t>(d->cursor));
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
    if (!fs::is_directory(NativePath(d->directory), ec))
        d->EngineError("Directory does not exist: " + d->directory);
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
    if (fs::exists(NativePath(d->path), ec) && !fs::remove(NativePath(d->path), ec))
        d->EngineError("Table cannot be replaced: " + d->path + ": " + ec.message());
    fs::remove(NativePath(d->path + "-journal"), ec);
    int rc = sqlite3_open_v2(d->path.c_str(), &d->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    try {
        if (rc != SQLITE_OK) d->SqliteError(rc, "creating");
        d->Exec("PRAGMA synchronous = FULL", "creating");
        d->Exec(sql, "creating");
    } catch (...) {
        d->CloseDb();
        fs::remove(NativePath(d->path), ec);
        fs::remove(NativePath(d->path + "-journal"), ec);
        throw;
    }
    d->CloseDb();
}

void TTable::DeleteTable() {
    if (d->db) d->DataError("Cannot perform this operation on an open dataset");
    d->path = FilePath();
    std::error_code ec;
    if (!fs::is_regular_file(NativePath(d->path), ec))
        d->EngineError("Table does not exist: " + d->path);
    if (!fs::remove(NativePath(d->path), ec))
        d->EngineError("Table cannot be deleted: " + d->path + ": " + ec.message());
    fs::remove(NativePath(d->path + "-journal"), ec);
}

void TTable::StartTransaction() {
    d->CheckActive();
    if (d->inTransaction) d->EngineError("A transaction is already active on " + d->path);
    d->Exec("BEGIN IMMEDIATE", "writing");
    d->inTransaction = true;
}

void TTable::Commit() {
    d->CheckActive();
    if (!d->inTransaction) d->EngineError("No transaction is active on " + d->path);
    try {
        d->Post();
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
