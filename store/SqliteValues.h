#pragma once
// Inside the table layer only: how fields, records and statements look to SQLite.
// A field keeps both the text it shows and the value exactly as the file holds it.
#include <sqlite3.h>

#include <string>
#include <vector>

std::string Upper(std::string s);
std::string QuoteIdentifier(const std::string& name);
// At most `size` characters of a UTF-8 text; 0 means no limit.
std::string CutToCharacters(std::string text, int size);

struct Column {
    std::string name;
    std::string typeName;  // String, Integer, Float, Blob, Numeric
    int size = 0;          // characters; 0 when the field declares none
};

// A column as `PRAGMA table_info` declares it.
Column ParseColumn(const std::string& name, const std::string& declared);

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

// Reads the storage class first: the typed reads may convert the value.
StoredValue ReadStored(sqlite3_stmt* st, int col);
void BindStored(sqlite3_stmt* st, int index, const StoredValue& v);
void BindText(sqlite3_stmt* st, int index, const std::string& text);

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
