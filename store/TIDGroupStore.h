#pragma once
// The store operations of one configuration window: what OpenStore, LoadGroup,
// NewGroup, SaveGroup and DeleteGroup decide, ask and show. They move one group at a
// time between the group repository and the window's 128 slots, and see the window
// only through its small interfaces: never a table or a file.
//
// Every operation that replaces what the slots show (LoadGroup, NewGroup's reload,
// DeleteGroup) does so only at its end, after its questions: a question about typed
// changes that were never saved belongs before those, at the start of the operation.
#include <string>
#include <vector>

#include "base/MessageBoxes.h"
#include "store/DataPaths.h"
#include "store/GroupRepository.h"
#include "store/IDRules.h"
#include "store/StoreErrors.h"
#include "store/StoreWindow.h"

class TIDGroupStore {
public:
    TIDGroupStore(TStoreWindow& window, TMessageBoxes& boxes, TGroupRepository& groups);

    void OpenStore();
    std::vector<std::string> GroupList() const;  // every group's name, the store's order
    void Select(const std::string& groupName);   // "" or an unknown name empties the selection
    std::string SelectedName() const;            // "" when the selection is empty
    bool HasSelection() const;
    bool IsLoaded() const;

    void LoadGroup();
    void NewGroup();  // asks for a name, judges it, adds the group with blank IDs
    void SaveGroup();
    void DeleteGroup();

private:
    void RefreshGroupList();
    // True when the selection is empty, once the user has been told `message`.
    bool NothingSelected(const char* message);
    void ShowIDs(const TGroupIDs& ids);

    TStoreWindow& window_;
    TMessageBoxes& boxes_;
    TGroupRepository& groups_;
    std::string selected_;
};
