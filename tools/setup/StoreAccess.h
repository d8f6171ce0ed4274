#pragma once
// Whether this user may write the store that exists: the groups directory, the ID list
// directory and the tables in them. The program and the groups tool need to write all
// of them (SQLite also makes its journal beside a table).
#include <string>
#include <vector>

#include "store/DataPaths.h"

// The folders and table files of the store this user may not write, in the order met.
std::vector<std::string> UnwritableStoreFiles(const TStorePaths& paths);

// The warning for those files, naming them, with the fix.
std::string UnwritableStoreWarning(const TStorePaths& paths, const std::vector<std::string>& files);
