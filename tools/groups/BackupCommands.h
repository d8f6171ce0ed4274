#pragma once
// The groups tool's commands on all groups: backup and restore. A backup folder is
// laid out as the local store is (IDGroup.db and IDs/<IDListName>.db), so sqlite3
// reads it and a plain copy back gives the store as it was.
#include <string>

#include "tools/groups/GroupCommands.h"

// Every group and its ID list table, each table copied as one consistent state even
// while the program saves, into a new or empty folder. A group whose table cannot be
// copied is left out of the backup's groups table, named, and makes it a failure.
void BackupGroups(const TToolContext& tool, const std::string& dir);
// The backup's groups back into the store: those the store lacks are added (as New
// would, all as one whole), those it has are refused unless `replace`, when they are
// saved as Save would. Everything is checked before anything is written: each name as
// New judges it and each ID as the window does, as the backup holds them, so that a
// backup with anything refused or too long is refused whole.
void RestoreGroups(const TToolContext& tool, const std::string& dir, bool replace);
