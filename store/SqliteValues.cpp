#include "store/SqliteValues.h"

#include <algorithm>
#include <cctype>
#include <utility>

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

TColumn ParseColumn(const std::string& name, const std::string& declared) {
    TColumn c{name, "", 0};
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
TStoredValue ReadStored(sqlite3_stmt* st, int col) {
    using Kind = TStoredValue::Kind;
    TStoredValue v;
    switch (sqlite3_column_type(st, col)) {
        case SQLITE_INTEGER:
            v.kind = Kind::Integer;
            v.integer = sqlite3_column_int64(st, col);
            break;
        case SQLITE_FLOAT:
            v.kind = Kind::Real;
            v.real = sqlite3_column_double(st, col);
            break;
        case SQLITE_TEXT:
        case SQLITE_BLOB:
            v.kind = sqlite3_column_type(st, col) == SQLITE_TEXT ? Kind::Text : Kind::Blob;
            if (const void* b = sqlite3_column_blob(st, col))
                v.bytes.assign(static_cast<const char*>(b),
                               static_cast<std::size_t>(sqlite3_column_bytes(st, col)));
            break;
        default:
            break;
    }
    return v;
}

void BindStored(sqlite3_stmt* st, int index, const TStoredValue& v) {
    using Kind = TStoredValue::Kind;
    switch (v.kind) {
        case Kind::Integer:
            sqlite3_bind_int64(st, index, v.integer);
            break;
        case Kind::Real:
            sqlite3_bind_double(st, index, v.real);
            break;
        case Kind::Text:
            BindText(st, index, v.bytes);
            break;
        case Kind::Blob:
            sqlite3_bind_blob(st, index, v.bytes.data(), static_cast<int>(v.bytes.size()),
                              SQLITE_TRANSIENT);
            break;
        case Kind::Null:
            sqlite3_bind_null(st, index);
            break;
    }
}

void BindText(sqlite3_stmt* st, int index, const std::string& text) {
    sqlite3_bind_text(st, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string StoredText(const TStoredValue& v) {
    using Kind = TStoredValue::Kind;
    switch (v.kind) {
        case Kind::Integer:
            return std::to_string(v.integer);
        case Kind::Real: {
            // SQLite's own rendering of a real, as its text conversion gives it.
            char* text = sqlite3_mprintf("%!.15g", v.real);
            std::string out = text ? text : "";
            sqlite3_free(text);
            return out;
        }
        case Kind::Text:
        case Kind::Blob:
            return v.bytes;
        case Kind::Null:
            break;
    }
    return {};
}

std::string RowidAndFields(const std::vector<TColumn>& columns) {
    std::string list = "rowid";
    for (const TColumn& c : columns) list += ", " + QuoteIdentifier(c.name);
    return list;
}

TRow ReadRow(sqlite3_stmt* st, const std::vector<TColumn>& columns) {
    TRow row;
    row.rowid = sqlite3_column_int64(st, 0);
    row.values.reserve(columns.size());
    row.stored.reserve(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        TStoredValue v = ReadStored(st, static_cast<int>(i) + 1);
        row.values.push_back(CutToCharacters(StoredText(v), columns[i].size));
        row.stored.push_back(std::move(v));
    }
    return row;
}
