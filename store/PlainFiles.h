#pragma once
// Inside the table layer only: its own file calls beside SQLite's. Nothing is ever
// made, read or removed through a link.
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

// Table paths are UTF-8, as SQLite takes them; a path made from a plain string would
// be read in the ANSI code page on Windows and miss a table with a non-ASCII name.
std::filesystem::path NativePath(const std::string& utf8);

// Something is at `path`, but not a plain file: a link (dangling or not), a
// directory, a device, a pipe.
bool IsThereButNotPlain(const std::string& path);

// Which file a path names, never a link's target: a file keeps its identity while
// it is written, and a new file made under the same name has another.
struct TFileIdentity {
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    bool operator==(const TFileIdentity&) const = default;
};
TFileIdentity IdentityOf(const std::string& path);

// Makes an empty file at `path`; something already there, even a link, is never
// replaced (file_exists).
std::error_code CreateNewFile(const std::string& path);

// Why `path` could not be opened or made after the system answered `systemError`, for
// the end of a message: "permission denied (this user may not enter the folder …)";
// "" when the system said nothing.
std::string OpenFailureCause(const std::string& path, int systemError);
