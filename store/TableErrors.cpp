// The table layer's errors: what an SQLite result, a moved file or a record read
// by another handle means to the user.
#include <filesystem>

#include "store/PlainFileVfs.h"
#include "store/TableImpl.h"

namespace fs = std::filesystem;

void TTable::Impl::DataError(const std::string& text) const {
    throw EDatabaseError(name + ": " + text);
}

void TTable::Impl::EngineError(const std::string& text) const {
    throw EDBEngineError(name + ": " + text);
}

// The open file is no longer the one at the table's path: another program has
// deleted, moved or replaced it.
bool TTable::Impl::HasMoved() const {
    int moved = 0;
    return db && sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
           moved;
}

// A table, or its journal, that is there but is not a plain file is refused before
// SQLite sees it; nothing is read or written through a link.
void TTable::Impl::RefuseUnsafeFiles() const {
    if (IsThereButNotPlain(path)) EngineError("Table is a link or not a regular file: " + path);
    const std::string journal = path + "-journal";
    if (IsThereButNotPlain(journal))
        EngineError("Journal of the table is a link or not a regular file: " + journal);
}

void TTable::Impl::RefuseMissing() const {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(NativePath(path), ec)))
        EngineError("Table does not exist: " + path);
}

// Turns an SQLite result into the engine error the user sees.
void TTable::Impl::SqliteError(int rc, const std::string& doing) const {
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

void TTable::Impl::CheckActive() const {
    if (!db) DataError("Cannot perform this operation on a closed dataset");
}

std::size_t TTable::Impl::ColumnIndex(const std::string& field) const {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i].name == field) return i;
    DataError("Field '" + field + "' not found");
}

// An edit or a delete that found no record as read: the record is still there
// under its number, changed, or it is gone (numbers never come back).
void TTable::Impl::RecordConflict(sqlite3_int64 rowid, const std::string& doing) {
    int rc = SQLITE_OK;
    Statement st(db, "SELECT 1 FROM records WHERE rowid = ?", rc);
    if (rc != SQLITE_OK) SqliteError(rc, doing);
    sqlite3_bind_int64(st.get(), 1, rowid);
    rc = sqlite3_step(st.get());
    if (rc == SQLITE_ROW) EngineError("Record was changed by another user: " + path);
    if (rc == SQLITE_DONE) EngineError("Record was deleted by another user: " + path);
    SqliteError(rc, doing);
}
