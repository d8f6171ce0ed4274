#pragma once
// The ID group store of one configuration window: the groups table, the loaded
// group's ID list table, and the operations that move one group between disk and
// the window's 128 slots.
#include <array>
#include <string>
#include <vector>

#include "base/DateTimeSource.h"
#include "base/MessageBoxes.h"
#include "store/DataPaths.h"
#include "store/IDRules.h"
#include "store/StoreWindow.h"
#include "store/TTable.h"

// Field names of an ID list table, in field order.
inline constexpr const char* kTrailerIDField = "Trailer ID";
inline constexpr const char* kVehicleIDField = "Vehicle ID";
// Fields of the groups table.
inline constexpr const char* kGroupNameField = "Group Name";
inline constexpr const char* kIDListNameField = "IDListName";

inline constexpr int kVehicleSlots = 96;
inline constexpr int kTrailerSlots = 32;

// The 128 IDs of one group, as the window's slots hold them.
struct TGroupIDs {
    std::array<std::string, kVehicleSlots> Vehicle;
    std::array<std::string, kTrailerSlots> Trailer;
};

// A group to add: its name and the IDs its new ID list table starts with.
struct TNewGroup {
    std::string Name;
    TGroupIDs IDs;
};

class TIDGroupStore {
public:
    TIDGroupStore(TStoreWindow& window, TMessageBoxes& boxes,
                  TStorePaths paths = DefaultStorePaths(),
                  TDateTimeSource clock = DefaultDateTimeSource());
    ~TIDGroupStore();  // closes both handles

    void OpenStore();
    std::vector<std::string> GroupList() const;  // Group Name of every record, table order
    void Select(const std::string& groupName);   // "" or an unknown name empties the selection
    std::string SelectedName() const;            // "" when the selection is empty
    bool HasSelection() const;
    bool IsLoaded() const;

    void LoadGroup();
    void NewGroup();  // asks for a name, judges it, adds the group with blank IDs
    // Adds groups whose names JudgeNewGroupName accepted, each with its ID list table
    // already holding its IDs, as one whole: the records are committed only once
    // every table is complete, so a failure leaves no trace. Then, as New does, the
    // list is refreshed and the selected group is loaded again.
    void AddGroups(const std::vector<TNewGroup>& groups);
    void SaveGroup();
    void DeleteGroup();

    // The ID list table name for a new group named `groupName`, at the clock's now.
    std::string BuildIDListName(const std::string& groupName) const;

    TTable& IDGroupTable() { return groups_; }
    TTable& IDListTable() { return idList_; }
    const TStorePaths& Paths() const { return paths_; }

private:
    void RefreshGroupList();
    // True when the selection is empty, once the user has been told `message`.
    bool NothingSelected(const char* message);
    void ReadGroupsAnew();  // after a failed delete

    TStoreWindow& window_;
    TMessageBoxes& boxes_;
    TStorePaths paths_;
    TDateTimeSource clock_;
    mutable TTable groups_{"IDGroupTable"};  // walking the list moves its cursor
    TTable idList_{"IDListTable"};
    std::string selected_;
};
