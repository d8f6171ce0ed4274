#pragma once
// The store operations of one configuration window: what OpenStore, LoadGroup,
// NewGroup, SaveGroup and DeleteGroup decide, ask and show. They move one group at a
// time between the group repository and the window's 128 slots, and see the window
// only through its small interfaces: never a table or a file.
//
// Every operation that replaces what the slots show (LoadGroup, NewGroup's reload,
// DeleteGroup) does so only at its end, after its questions. The question about typed
// changes that were never saved (SettleUnsavedChanges) comes first, at the start of
// the operation, before anything else is asked or done.
#include <optional>
#include <string>
#include <vector>

#include "base/MessageBoxes.h"
#include "store/DataPaths.h"
#include "store/GroupRepository.h"
#include "store/IDRules.h"
#include "store/SessionEnd.h"
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
    // The group list's close-up: LoadGroup of the chosen group, once typed changes are
    // settled. Cancel leaves the slots alone and the list back on the loaded group.
    void LoadChosenGroup();
    // Asks for a name, judges it, adds the group with blank IDs; typed changes are
    // settled first, since the loaded group is loaded again at the end.
    void NewGroup();
    void SaveGroup();
    void DeleteGroup();

    // The loaded group's name, "" when none is loaded.
    std::string LoadedName() const;
    // The 128 slots as the window shows them.
    TGroupIDs SlotIDs() const;
    // Whether a group is loaded and the slots differ from what the store last put into
    // them or saved from them: typing that no Save has kept, nor the session's end.
    bool HasUnsavedChanges() const;
    // Before an action that would drop typed changes: with none, true at once. Otherwise
    // asks "Save changes to the <name> Group?": Yes saves them into the loaded group as
    // Save does (a refused save throws, and the action must not go on), No goes on
    // without them; true when the action may go on.
    bool SettleUnsavedChanges();
    // The end of the user's session: whether it may end. Typed changes are asked about
    // as above when the user may be asked, Cancel (or a refused save) keeping the
    // session from ending; when not, they go to `keeper` without a word. Either way the
    // window's own close that follows asks nothing more about the same typing.
    bool EndOfSession(TSessionEnd& session, TChangesKeeper& keeper);

private:
    void RefreshGroupList();
    // True when the selection is empty, once the user has been told `message`.
    bool NothingSelected(const char* message);
    void ShowIDs(const TGroupIDs& ids);
    // The slots into the loaded group, whatever is selected.
    void SaveSlots();
    void BackToLoadedGroup();

    TStoreWindow& window_;
    TMessageBoxes& boxes_;
    TGroupRepository& groups_;
    std::string selected_;
    std::string loaded_;  // the name LoadGroup loaded, while groups_ has it loaded
    TGroupIDs shown_;     // what the slots held when last loaded or saved
    // What the slots held when the session's end dealt with them (let go on No, or
    // kept by the keeper): the close that ends the session must not ask again.
    std::optional<TGroupIDs> settled_;
};
