#pragma once
// Inside the table layer only: the state behind one table handle, with the reads,
// writes and error mapping its operations share. The error mapping is in
// TableErrors.cpp, the reads and writes in TableRecords.cpp.
#include <sqlite3.h>

#include <string>
#include <vector>

#include "store/SqliteValues.h"
#include "store/TTable.h"

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

    // ---- errors ----
    [[noreturn]] void DataError(const std::string& text) const;
    [[noreturn]] void EngineError(const std::string& text) const;
    bool HasMoved() const;
    void RefuseUnsafeFiles() const;
    void RefuseMissing() const;
    [[noreturn]] void SqliteError(int rc, const std::string& doing) const;
    void CheckActive() const;
    std::size_t ColumnIndex(const std::string& field) const;
    [[noreturn]] void RecordConflict(sqlite3_int64 rowid, const std::string& doing);

    // ---- reads ----
    void Exec(const std::string& sql, const std::string& doing);
    bool StepOnce(Statement& st, Row& row, const std::string& doing);
    void CheckIntact();
    void ReadColumns();
    std::string RowidAndFields() const;
    Row RowFrom(sqlite3_stmt* st) const;
    void ReadRows();
    void ClampCursor();
    void CloseDb();

    // ---- writes ----
    template <typename Write>
    void AsOneWrite(const std::string& doing, Write&& write);
    sqlite3_int64 Number(const char* sql);
    void WriteMark();
    std::string AsReadCondition() const;
    void BindAsRead(sqlite3_stmt* st, int first, const Row& row) const;
    void Insert();
    void Update();
    void DeleteCurrent();
    void Post();
};
