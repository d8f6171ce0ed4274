#include "store/TIDGroupStore.h"

TIDGroupStore::TIDGroupStore(TStoreWindow& window, TMessageBoxes& boxes, TGroupRepository& groups)
    : window_(window), boxes_(boxes), groups_(groups) {}

void TIDGroupStore::OpenStore() {
    selected_.clear();
    groups_.Open();
    RefreshGroupList();
}

std::vector<std::string> TIDGroupStore::GroupList() const {
    return groups_.Names();
}

void TIDGroupStore::Select(const std::string& groupName) {
    selected_.clear();
    if (!groupName.empty() && groups_.Has(groupName)) selected_ = groupName;
}

std::string TIDGroupStore::SelectedName() const {
    return selected_;
}
bool TIDGroupStore::HasSelection() const {
    return !selected_.empty();
}
bool TIDGroupStore::IsLoaded() const {
    return groups_.IsLoaded();
}

void TIDGroupStore::RefreshGroupList() {
    window_.ShowGroupList(GroupList(), selected_);
}

void TIDGroupStore::ShowIDs(const TGroupIDs& ids) {
    for (int k = 0; k < kVehicleSlots; ++k) window_.SetVehicleSlot(k, ids.Vehicle[k]);
    for (int k = 0; k < kTrailerSlots; ++k) window_.SetTrailerSlot(k, ids.Trailer[k]);
    // As the boxes hold it: a box may keep less of a stored text than was given (its
    // length limit counts UTF-16 units), and that is no typing.
    shown_ = SlotIDs();
    settled_.reset();
}

TGroupIDs TIDGroupStore::SlotIDs() const {
    TGroupIDs ids;
    for (int k = 0; k < kVehicleSlots; ++k) ids.Vehicle[k] = window_.VehicleSlot(k);
    for (int k = 0; k < kTrailerSlots; ++k) ids.Trailer[k] = window_.TrailerSlot(k);
    return ids;
}

std::string TIDGroupStore::LoadedName() const {
    return IsLoaded() ? loaded_ : std::string();
}

bool TIDGroupStore::HasUnsavedChanges() const {
    // Compared with what was shown, not with what is stored: a Read IDs that failed
    // part-way stores cells the slots do not show yet, and the slots must not be
    // offered for saving over them.
    if (!IsLoaded()) return false;
    const TGroupIDs slots = SlotIDs();
    const auto same = [&slots](const TGroupIDs& ids) {
        return slots.Vehicle == ids.Vehicle && slots.Trailer == ids.Trailer;
    };
    return !same(shown_) && !(settled_ && same(*settled_));
}

bool TIDGroupStore::SettleUnsavedChanges() {
    if (!HasUnsavedChanges()) return true;
    switch (boxes_.Confirm("Save changes to the " + loaded_ + " Group?")) {
        case TConfirmAnswer::Yes:
            SaveSlots();
            window_.ShowOutcome("Saved the changes to the " + loaded_ + " Group");
            return true;
        case TConfirmAnswer::No:
            window_.ShowOutcome("");
            return true;
        case TConfirmAnswer::Cancel:
            break;
    }
    return false;
}

bool TIDGroupStore::EndOfSession(TSessionEnd& session, TChangesKeeper& keeper) {
    if (!HasUnsavedChanges()) return true;
    if (!session.MayAsk()) {
        const TGroupIDs typed = SlotIDs();
        keeper.Keep(loaded_, typed);
        settled_ = typed;
        return true;
    }
    const TGroupIDs typed = SlotIDs();
    bool goOn = false;
    try {
        goOn = SettleUnsavedChanges();
    } catch (const EDatabaseError&) {
        session.Cancel();
        throw;
    }
    if (!goOn) session.Cancel();
    if (goOn) settled_ = typed;
    return goOn;
}

void TIDGroupStore::LoadGroup() {
    if (selected_.empty()) return;
    groups_.Unload();
    if (!groups_.Has(selected_)) {
        selected_.clear();
        return;
    }
    // A group that keeps no IDs loads nothing, and the slots keep their texts.
    if (groups_.Load(selected_)) {
        loaded_ = selected_;
        ShowIDs(groups_.LoadedGroup().IDs());
    }
}

void TIDGroupStore::LoadChosenGroup() {
    // An empty selection loads nothing: no typing is at stake.
    if (selected_.empty()) return;
    const bool typed = HasUnsavedChanges();
    bool goOn = false;
    try {
        goOn = SettleUnsavedChanges();
    } catch (const EDatabaseError&) {
        // A refused save keeps the typing, and with it the group it was typed into.
        BackToLoadedGroup();
        throw;
    }
    if (!goOn) return BackToLoadedGroup();
    // Another group's outcome would read as this one's; a save just made names its group.
    if (!typed) window_.ShowOutcome("");
    LoadGroup();
}

void TIDGroupStore::BackToLoadedGroup() {
    // The list has already moved to the choice: back to the group the slots show.
    selected_ = loaded_;
    RefreshGroupList();
}

void TIDGroupStore::NewGroup() {
    if (!SettleUnsavedChanges()) return;
    const std::string name =
        boxes_.InputBox("Identities - New Group", "Please Enter a new group name", "New");
    const TNameJudgement judged = JudgeNewGroupName(name);
    switch (judged.Verdict) {
        case TNameVerdict::TurnedAway:
            return;
        case TNameVerdict::Refused:
            boxes_.Information(judged.Message);
            return;
        case TNameVerdict::Accepted:
            break;
    }
    try {
        groups_.Add({TNewGroup{name, {}}});
    } catch (const EDBEngineError& e) {
        // The groups table's key speaks of records and tables; the user chose a name.
        if (!groups_.Has(name)) throw;
        std::string text = e.what();
        if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
        throw EDBEngineError(text + "\nA group named \"" + name +
                             "\" exists already. Choose it from the list, or give another name.");
    }
    // The new group is not selected: the loaded group is closed, and loaded again
    // from disk if one is selected.
    groups_.Unload();
    RefreshGroupList();
    LoadGroup();
    window_.ShowOutcome("Group " + name + " added");
}

bool TIDGroupStore::NothingSelected(const char* message) {
    if (!selected_.empty()) return false;
    boxes_.Information(message);
    return true;
}

void TIDGroupStore::SaveGroup() {
    window_.ShowOutcome("");
    if (NothingSelected("Please select a group to save to")) return;
    SaveSlots();
    window_.ShowOutcome("Saved");
}

void TIDGroupStore::SaveSlots() {
    const TGroupIDs ids = SlotIDs();
    try {
        groups_.LoadedGroup().Save(ids);
    } catch (const ERecordConflict& e) {
        // The slots keep what the user typed, and the repository keeps comparing
        // against what was loaded, so every retry is refused alike until the user
        // chooses to see the other change.
        window_.ShowOutcome(std::string("Not saved: ") + e.what());
        throw ERecordConflict(std::string(e.what()) +
                              ". Nothing was saved: choose the group again to see the other "
                              "change (that replaces what the boxes show)");
    }
    shown_ = ids;
    settled_.reset();
}

void TIDGroupStore::DeleteGroup() {
    window_.ShowOutcome("");
    if (NothingSelected("Please select a group to delete")) return;
    if (boxes_.Confirm("Delete the " + selected_ + " Group?") != TConfirmAnswer::Yes) return;
    if (!IsLoaded()) {
        boxes_.Information("Please select a group to delete");
        return;
    }
    // A group deleted from this list by a delete that failed part-way.
    if (!groups_.Has(selected_)) {
        selected_.clear();
        boxes_.Information("Please select a group to delete");
        return;
    }
    const std::string name = selected_;
    bool idsWereThere = false;
    try {
        idsWereThere = groups_.Delete(name);
    } catch (const ERecordConflict&) {
        // Another copy changed or removed the group: nothing is deleted, and the list
        // is read anew to show what is stored, with nothing selected or loaded (the
        // slots keep their texts). A list that cannot be read is empty, as after a
        // failed OpenStore; the conflict is what the user sees.
        selected_.clear();
        try {
            groups_.Refresh();
        } catch (const EDatabaseError&) {
        }
        RefreshGroupList();
        throw;
    }
    selected_.clear();
    groups_.Refresh();
    RefreshGroupList();
    ShowIDs({});
    window_.ShowOutcome("Group " + name + " deleted");
    if (!idsWereThere)
        boxes_.Information("The " + name + " Group was deleted (its table was already gone)");
}
