#pragma once
// How reading and writing a group's file fails, besides the problems of its cells.
#include <stdexcept>
#include <string>

#include "sheets/Sheet.h"

// A file that cannot be read, or is not the kind its name says (an .xlsx that is no
// zip, a zip without a sheet): refused input, nothing was written.
class EUnreadableFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that cannot be written. Nothing was left in its place but the old file.
class EUnwritableFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Within the readers: what makes a container or its XML unreadable, without the file's
// name, which the caller adds.
class ESheetFormat : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Within the readers: a file refused at a place without reading on, because what
// stands there cannot be a group's (a cell far longer than an ID, more cells than a
// sheet of IDs could hold, a cell given twice). `At` may be the file as a whole.
class ESheetRefused : public std::runtime_error {
public:
    ESheetRefused(const TSheetPlace& at, const std::string& why)
        : std::runtime_error(why), At(at) {}
    TSheetPlace At;
};
