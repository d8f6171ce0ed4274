#include "store/SqliteValues.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "base/Utf8.h"

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

std::string CutToCharacters(std::string text, int size) {
    return size <= 0 ? text : Utf8Prefix(std::move(text), static_cast<std::size_t>(size));
}

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

// The storage class comes first: the typed reads may convert the value.
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
