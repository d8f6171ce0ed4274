#include "store/TTable.h"

#include <sqlite3.h>

#include <filesystem>
#include <utility>

#include "store/PlainFileVfs.h"
#include "store/TableImpl.h"

namespace fs = std::filesystem;

namespace {

std::string g_netFileDir;

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

TTable::TTable(std::string handleName) : d(std::make_unique<Impl>()) {
    d->name = std::move(handleName);
    InstallPlainFileVfs();
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
    if (!fs::is_directory(NativePath(d->directory), ec))
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
    if (fs::exists(fs::symlink_status(NativePath(d->path), ec)) &&
        !fs::remove(NativePath(d->path), ec))
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

void TTable::CopyTo(const std::string& directory, const std::string& tableName) const {
    d->CheckActive();
    TTable copy(d->name);
    copy.SetDatabaseName(directory);
    copy.SetTableName(tableName);
    Impl& to = *copy.d;
    to.path = copy.FilePath();
    std::error_code ec;
    if (!fs::is_directory(NativePath(directory), ec))
        to.EngineError("Directory does not exist: " + directory);
    // A copy never replaces anything: what is there may be another table's only copy.
    if (fs::exists(fs::symlink_status(NativePath(to.path), ec)))
        to.EngineError("Table already exists: " + to.path);
    to.RefuseUnsafeFiles();
    const int rc = sqlite3_open_v2(to.path.c_str(), &to.db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    try {
        if (rc != SQLITE_OK) to.SqliteError(rc, "creating");
        // The copy is a new file that nothing names, removed again should the copy
        // fail: no journal has an old state of it to keep. One sync at the end, when
        // the copy is complete, puts it on disk.
        to.Exec("PRAGMA synchronous = FULL", "creating");
        to.Exec("PRAGMA journal_mode = OFF", "creating");
        // One step over all pages reads the table inside one read transaction, so the
        // copy is one consistent state of it; a writer elsewhere waits its busy time at
        // most, and a busy table here waits the handle's own.
        sqlite3_backup* backup = sqlite3_backup_init(to.db, "main", d->db, "main");
        if (!backup) to.SqliteError(sqlite3_errcode(to.db), "creating");
        const int step = sqlite3_backup_step(backup, -1);
        const int finish = sqlite3_backup_finish(backup);
        // A lock it waited for in vain is the source's; anything else is the copy's.
        if (step == SQLITE_BUSY || step == SQLITE_LOCKED) d->SqliteError(step, "copying");
        if (step != SQLITE_DONE) to.SqliteError(step, "creating");
        if (finish != SQLITE_OK) to.SqliteError(finish, "creating");
    } catch (...) {
        // The copy is whole or not there.
        to.CloseDb();
        fs::remove(NativePath(to.path), ec);
        fs::remove(NativePath(to.path + "-journal"), ec);
        throw;
    }
    to.CloseDb();
}

void TTable::DeleteTable() {
    if (d->db) d->DataError("Cannot perform this operation on an open dataset");
    d->path = FilePath();
    d->RefuseMissing();
    d->RefuseUnsafeFiles();
    std::error_code ec;
    if (!fs::remove(NativePath(d->path), ec))
        d->EngineError("Table cannot be deleted: " + d->path + ": " + ec.message());
    fs::remove(NativePath(d->path + "-journal"), ec);
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
