#pragma once
// Inside the table layer only: fields and records as a handle holds them in memory.
// A field keeps both the text it shows and the value exactly as the file holds it.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/Utf8.h"

struct TColumn {
    std::string name;
    std::string typeName;  // String, Integer, Float, Blob, Numeric
    int size = 0;          // characters; 0 when the field declares none
};

// A field exactly as the file holds it (storage class and content): an edit or a
// delete insists on the very record it read, whatever the sqlite3 tool put there.
struct TStoredValue {
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes;  // text or blob
};

struct TRow {
    std::int64_t rowid = 0;
    std::vector<std::string> values;   // as the fields show them
    std::vector<TStoredValue> stored;  // as read from the file
};

// At most `size` characters of a UTF-8 text; 0 means no limit.
inline std::string CutToCharacters(std::string text, int size) {
    return size <= 0 ? text : Utf8Prefix(std::move(text), static_cast<std::size_t>(size));
}
