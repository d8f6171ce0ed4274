#pragma once
// Inside the table layer only: how fields, records and statements look to SQLite.
#include <sqlite3.h>

#include <string>
#include <vector>

#include "store/Records.h"

std::string Upper(std::string s);
std::string QuoteIdentifier(const std::string& name);

// A column as `PRAGMA table_info` declares it.
TColumn ParseColumn(const std::string& name, const std::string& declared);

// "rowid" and every field, quoted, as a statement's result list.
std::string RowidAndFields(const std::vector<TColumn>& columns);
// The current result of a statement whose columns are RowidAndFields(columns);
// each field shows at most its size.
TRow ReadRow(sqlite3_stmt* st, const std::vector<TColumn>& columns);

// Reads the storage class first: the typed reads may convert the value.
TStoredValue ReadStored(sqlite3_stmt* st, int col);
void BindStored(sqlite3_stmt* st, int index, const TStoredValue& v);
void BindText(sqlite3_stmt* st, int index, const std::string& text);
// The value as text, whole, as the sqlite3 tool shows it ("" for NULL).
std::string StoredText(const TStoredValue& v);

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
