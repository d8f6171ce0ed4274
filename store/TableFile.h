#pragma once
// Inside the table layer only: one table file and the SQLite connection to it. It is
// opened with SQLITE_OPEN_NOFOLLOW behind the plain-file guard, so nothing is read or
// written through a link; a damaged file is refused at open; a new one is never made
// over anything; and SQLite's results become the engine errors the user sees.
#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "store/PlainFiles.h"
#include "store/Records.h"
#include "store/SqliteValues.h"

class TTableFile {
public:
    // `handleName` goes in front of the engine errors.
    explicit TTableFile(const std::string& handleName) : name_(handleName) {}
    ~TTableFile() { Close(); }
    TTableFile(const TTableFile&) = delete;
    TTableFile& operator=(const TTableFile&) = delete;

    // An existing table at `path`, checked whole.
    void Open(const std::string& path);
    // A new, empty table file at `path`, then open: nothing there is ever replaced.
    void Create(const std::string& path);
    // Closes and removes the file Create made, while it is still that file: a table
    // that could not be made whole is not there.
    void DiscardMade();
    // Closing discards a transaction still running.
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    const std::string& Name() const { return name_; }
    const std::string& Path() const { return path_; }

    std::vector<TColumn> ReadColumns();
    std::vector<TRow> ReadRows(const std::vector<TColumn>& columns);
    // Copies this table, as one consistent state of it, into `to`, a table just made.
    void CopyInto(TTableFile& to) const;

    void Exec(const std::string& sql, const std::string& doing);
    std::int64_t Number(const std::string& sql, const std::string& doing);  // 0 for NULL
    // Steps a statement that returns at most one row; false when it returned none.
    bool StepOnce(Statement& st, const std::vector<TColumn>& columns, TRow& row,
                  const std::string& doing);
    sqlite3* Db() const { return db_; }
    bool InTransaction() const { return db_ && !sqlite3_get_autocommit(db_); }

    // The open file is no longer the one at the path: another program has deleted,
    // moved or replaced it.
    bool HasMoved() const;
    [[noreturn]] void EngineError(const std::string& text) const;
    // Turns an SQLite result into the engine error the user sees.
    [[noreturn]] void Fail(int rc, const std::string& doing) const;
    void RefuseUnsafeFiles() const;

private:
    void OpenConnection(const std::string& doing);

    const std::string& name_;
    std::string path_;
    sqlite3* db_ = nullptr;
    int openErrno_ = 0;   // the system's answer to a failed open, kept past the close
    TFileIdentity made_;  // the file Create made
};
