#pragma once
// The fixed data directories: the groups directory (groups table, shared control
// directory) and the ID list directory inside it.
#include <string>

struct TStorePaths {
    std::string GroupsDir;
    std::string IDListDir;
};

// Windows: C:\Quillon\Haltguard IDs; POSIX: ${XDG_DATA_HOME:-$HOME/.local/share}/Quillon/Haltguard
// IDs.
TStorePaths DefaultStorePaths();

inline constexpr const char* kGroupsTableName = "IDGroup.db";
