#pragma once
// How reading and writing a group's file fails, besides the problems of its cells.
#include <stdexcept>

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
