#pragma once
// The groups kept as table files on this PC: the groups table (IDGroup.db) lists every
// group with the name of its ID list table, and each group's IDs are one table of 96
// records in the ID list directory. Another copy's change is told by the records as
// this repository read them: an edit or delete acts only on a record still as read.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/DateTimeSource.h"
#include "store/DataPaths.h"
#include "store/GroupRepository.h"

// The fields of the groups table, and of an ID list table in field order. Record k of
// an ID list table holds vehicle slot k and, below 32, trailer slot k.
inline constexpr const char* kGroupNameField = "Group Name";
inline constexpr const char* kIDListNameField = "IDListName";
inline constexpr const char* kTrailerIDField = "Trailer ID";
inline constexpr const char* kVehicleIDField = "Vehicle ID";
inline constexpr int kIDListNameLength = 150;  // characters

// The folders of a store laid out in `dir`, as a backup is.
TStorePaths StorePathsIn(const std::string& dir);

// An empty groups table in the groups directory, as the setup tool makes it (a unique
// key on the group name). A file already there is refused, never replaced.
void CreateGroupsTable(const TStorePaths& paths);

// The ID list table name for a new group named `groupName`, at the clock's now: the
// name, the date and time with ':' and '/' replaced, and " by ".
std::string NewIDListName(const std::string& groupName, const TDateTimeSource& clock);

// A group as another kind of store keeps it, to be written as a local store: its name
// (unique), the name of its ID list table (unique, not empty) and its IDs.
struct TKeptGroup {
    std::string Name;
    std::string IDListName;
    TGroupIDs IDs;
};

// A local store in the empty folder `dir`, holding `groups` in their order: the backup
// of a store that keeps no table files. A group whose ID list table cannot be made is
// left out and named; a failure as a whole leaves nothing in `dir`.
TBackupReport WriteLocalStore(const std::string& dir, const std::vector<TKeptGroup>& groups);

class TLocalGroupRepository : public TGroupRepository {
public:
    // `clock` names the ID list table of a new group.
    explicit TLocalGroupRepository(TStorePaths paths,
                                   TDateTimeSource clock = DefaultDateTimeSource());
    ~TLocalGroupRepository() override;  // closes its tables
    TLocalGroupRepository(const TLocalGroupRepository&) = delete;
    TLocalGroupRepository& operator=(const TLocalGroupRepository&) = delete;

    // Also sets the engine's shared control directory to the groups directory.
    void Open() override;
    void Refresh() override;
    std::vector<std::string> Names() const override;
    std::vector<TGroupEntry> Entries() const override;
    bool Has(const std::string& name) const override;
    bool Load(const std::string& name) override;
    bool IsLoaded() const override;
    void Unload() override;
    TLoadedGroup& LoadedGroup() override;
    // Every ID list table is made complete first, without the groups table's write
    // lock; the records follow in one transaction.
    void Add(const std::vector<TNewGroup>& groups) override;
    bool Delete(const std::string& name) override;
    TBackupReport BackUp(const std::string& dir) override;

    // The ID list table name for a new group named `groupName`, at the clock's now:
    // the group name, the moment and " by ", numbered after the moment when the file
    // name's case key (FileNameCaseKey of its TableFileName) is `taken`.
    std::string IDListName(const std::string& groupName) const;
    std::string IDListName(const std::string& groupName, const std::set<std::string>& taken) const;
    // For reading a backup: the group names as the groups table holds them, whole (the
    // list cuts a longer one to its field), and the loaded group's IDs likewise.
    std::vector<std::string> StoredNames() const;
    TGroupIDs LoadedStoredIDs() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
