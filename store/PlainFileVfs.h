#pragma once
// Inside the table layer only: nothing is ever read or written through a link.
#include <filesystem>
#include <string>

// Table paths are UTF-8, as SQLite takes them; a path made from a plain string would
// be read in the ANSI code page on Windows and miss a table with a non-ASCII name.
std::filesystem::path NativePath(const std::string& utf8);

// Something is at `path`, but not a plain file: a link (dangling or not), a
// directory, a device, a pipe.
bool IsThereButNotPlain(const std::string& path);

// Makes SQLite's default file system refuse such paths, for every table file and
// journal of the process; once is enough, later calls do nothing.
void InstallPlainFileVfs();
