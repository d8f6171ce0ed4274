#pragma once
// Inside the table layer only: nothing is ever read or written through a link.
#include <string>

// Something is at `path`, but not a plain file: a link (dangling or not), a
// directory, a device, a pipe.
bool IsThereButNotPlain(const std::string& path);

// Makes SQLite's default file system refuse such paths, for every table file and
// journal of the process; once is enough, later calls do nothing.
void InstallPlainFileVfs();
