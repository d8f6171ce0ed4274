#include "store/TableFile.h"

#include <filesystem>

#include "store/PlainFiles.h"
#include "store/TableErrors.h"

namespace fs = std::filesystem;

void TTableFile::EngineError(const std::string& text) const {
    throw EDBEngineError(name_ + ": " + text);
}

void TTableFile::Open(const std::string& path) {
    path_ = path;
    made_ = {};
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(NativePath(path_), ec))) {
        // A folder on the way that this user may not enter hides what is there.
        if (ec == std::errc::permission_denied)
            EngineError("Table cannot be opened: " + path_ + ": " +
                        OpenFailureCause(path_, ec.value()));
        throw ENoSuchTable(name_ + ": Table does not exist: " + path_);
    }
    RefuseUnsafeFiles();
    OpenConnection("opening");
    // A table cut short or overwritten in part reads as blank records, which a save or
    // a transfer would then pass on; it is refused here instead. The quick check reads
    // every page once.
    try {
        int rc = SQLITE_OK;
        Statement st(db_, "PRAGMA quick_check(1)", rc);
        if (rc != SQLITE_OK) Fail(rc, "opening");
        rc = sqlite3_step(st.get());
        if (rc != SQLITE_ROW) Fail(rc, "opening");
        const auto* result = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
        if (!result || std::string(result) != "ok") EngineError("Table is damaged: " + path_);
    } catch (...) {
        Close();
        throw;
    }
}

void TTableFile::Create(const std::string& path) {
    path_ = path;
    RefuseUnsafeFiles();
    // What is at the name may be another copy's table, just made and saved into.
    if (const std::error_code ec = CreateNewFile(path_)) {
        if (ec == std::errc::file_exists) EngineError("Table already exists: " + path_);
        if (ec == std::errc::no_space_on_device)
            EngineError("Disk is full while creating table " + path_);
        EngineError("Table cannot be opened: " + path_ + ": " +
                    OpenFailureCause(path_, ec.value()));
    }
    made_ = IdentityOf(path_);
    // A journal left by a table of this name that is gone must not be played into the
    // new file.
    std::error_code ec;
    fs::remove(NativePath(path_ + "-journal"), ec);
    try {
        OpenConnection("creating");
    } catch (...) {
        DiscardMade();
        throw;
    }
}

void TTableFile::DiscardMade() {
    Close();
    if (!made_.exists || IdentityOf(path_) != made_) return;
    std::error_code ec;
    fs::remove(NativePath(path_), ec);
    fs::remove(NativePath(path_ + "-journal"), ec);
}

void TTableFile::OpenConnection(const std::string& doing) {
    openErrno_ = 0;
    int rc =
        sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (rc != SQLITE_OK) {
        rc = db_ ? sqlite3_extended_errcode(db_) : rc;
        openErrno_ = db_ ? sqlite3_system_errno(db_) : 0;
        Close();
        Fail(rc, doing);
    }
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_extended_result_codes(db_, 1);  // for the cases Fail tells apart
    try {
        Exec("PRAGMA synchronous = FULL", doing);
    } catch (...) {
        Close();
        throw;
    }
}

void TTableFile::Close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

std::vector<TColumn> TTableFile::ReadColumns() {
    std::vector<TColumn> columns;
    int rc = SQLITE_OK;
    Statement st(db_, "PRAGMA table_info(records)", rc);
    if (rc != SQLITE_OK) Fail(rc, "opening");
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        const auto* n = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1));
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 2));
        columns.push_back(ParseColumn(n ? n : "", t ? t : ""));
    }
    if (rc != SQLITE_DONE) Fail(rc, "opening");
    if (columns.empty()) EngineError("File is not a table: " + path_);
    return columns;
}

std::vector<TRow> TTableFile::ReadRows(const std::vector<TColumn>& columns) {
    std::vector<TRow> rows;
    int rc = SQLITE_OK;
    Statement st(db_, "SELECT " + RowidAndFields(columns) + " FROM records ORDER BY rowid", rc);
    if (rc != SQLITE_OK) Fail(rc, "reading");
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) rows.push_back(ReadRow(st.get(), columns));
    if (rc != SQLITE_DONE) Fail(rc, "reading");
    return rows;
}

void TTableFile::CopyInto(TTableFile& to) const {
    // The copy is a new file that nothing names, removed again should the copy fail:
    // no journal has an old state of it to keep. One sync at the end, when the copy
    // is complete, puts it on disk.
    to.Exec("PRAGMA journal_mode = OFF", "creating");
    // One step over all pages reads the table inside one read transaction, so the copy
    // is one consistent state of it; a writer elsewhere waits its busy time at most,
    // and a busy table here waits the handle's own.
    sqlite3_backup* backup = sqlite3_backup_init(to.db_, "main", db_, "main");
    if (!backup) to.Fail(sqlite3_errcode(to.db_), "creating");
    const int step = sqlite3_backup_step(backup, -1);
    const int finish = sqlite3_backup_finish(backup);
    // A lock it waited for in vain is the source's; anything else is the copy's.
    if ((step & 0xFF) == SQLITE_BUSY || (step & 0xFF) == SQLITE_LOCKED) Fail(step, "copying");
    if (step != SQLITE_DONE) to.Fail(step, "creating");
    if (finish != SQLITE_OK) to.Fail(finish, "creating");
}

void TTableFile::Exec(const std::string& sql, const std::string& doing) {
    char* err = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc != SQLITE_OK) Fail(rc, doing);
}

std::int64_t TTableFile::Number(const std::string& sql, const std::string& doing) {
    int rc = SQLITE_OK;
    Statement st(db_, sql, rc);
    if (rc != SQLITE_OK) Fail(rc, doing);
    rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW) Fail(rc, doing);
    return sqlite3_column_int64(st.get(), 0);
}

bool TTableFile::StepOnce(Statement& st, const std::vector<TColumn>& columns, TRow& row,
                          const std::string& doing) {
    int rc = sqlite3_step(st.get());
    if (rc == SQLITE_DONE) return false;
    if (rc != SQLITE_ROW) Fail(rc, doing);
    row = ReadRow(st.get(), columns);
    rc = sqlite3_step(st.get());
    if (rc != SQLITE_DONE) Fail(rc, doing);
    return true;
}

bool TTableFile::HasMoved() const {
    int moved = 0;
    return db_ && sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
           moved;
}

// A table, or its journal, that is there but is not a plain file is refused before
// SQLite sees it.
void TTableFile::RefuseUnsafeFiles() const {
    if (IsThereButNotPlain(path_)) EngineError("Table is a link or not a regular file: " + path_);
    const std::string journal = path_ + "-journal";
    if (IsThereButNotPlain(journal))
        EngineError("Journal of the table is a link or not a regular file: " + journal);
}

void TTableFile::Fail(int rc, const std::string& doing) const {
    const int code = rc & 0xFF;
    // SQLite reports a file deleted or moved under an open handle as read-only or
    // as an I/O error, and a path the plain-file rule refused as one it cannot
    // open: the user is told what happened instead.
    if (code != SQLITE_BUSY && code != SQLITE_LOCKED && code != SQLITE_CONSTRAINT) {
        if (HasMoved()) EngineError("Table was deleted or moved by another program: " + path_);
        RefuseUnsafeFiles();
    }
    switch (code) {
        case SQLITE_NOTADB:
            EngineError("File is not a table: " + path_);
        case SQLITE_CORRUPT:
            EngineError("Table is damaged: " + path_);
        case SQLITE_FULL:
            EngineError("Disk is full while " + doing + " table " + path_);
        case SQLITE_READONLY:
        case SQLITE_PERM:
            if (rc == SQLITE_READONLY_DIRECTORY)
                EngineError("Table is read-only: " + path_ +
                            ": this user may not make files in its folder, where its journal goes");
            EngineError("Table is read-only: " + path_);
        case SQLITE_CONSTRAINT:
            EngineError("Key violation: a record with the same key already exists in table " +
                        path_);
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            EngineError("Table is busy (in use by another program or another copy of this one): " +
                        path_);
        case SQLITE_CANTOPEN: {
            // A link met at the open itself, and gone again by the check above.
            const int system = db_ ? sqlite3_system_errno(db_) : openErrno_;
            if (rc == SQLITE_CANTOPEN_SYMLINK || std::error_code(system, std::generic_category()) ==
                                                     std::errc::too_many_symbolic_link_levels)
                EngineError("Table is a link or not a regular file: " + path_);
            const std::string cause = OpenFailureCause(path_, system);
            EngineError("Table cannot be opened: " + path_ + (cause.empty() ? "" : ": " + cause));
        }
        default: {
            const char* msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            EngineError("Error while " + doing + " table " + path_ + ": " + msg);
        }
    }
}
