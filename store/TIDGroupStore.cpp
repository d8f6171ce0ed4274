#include "store/TIDGroupStore.h"

#include <utility>

namespace {

// One step of clearing up after a failure. The failure that led here is the one the
// user sees, so a step that fails in turn is passed over; each caller says what such
// a step leaves behind.
template <class Step>
void ClearUp(Step&& step) {
    try {
        step();
    } catch (const EDatabaseError&) {
    }
}

void ReplaceAll(std::string& text, char from, char to) {
    for (char& c : text)
        if (c == from) c = to;
}

}  // namespace

TIDGroupStore::TIDGroupStore(TStoreWindow& window, TMessageBoxes& boxes, TStorePaths paths,
                             TDateTimeSource clock)
    : window_(window), boxes_(boxes), paths_(std::move(paths)), clock_(std::move(clock)) {
    groups_.SetRequiredFields({kGroupNameField, kIDListNameField});
    // A table without the two fields cannot hold a group: refuse it at open rather
    // than half-way through a load or a transfer.
    idList_.SetRequiredFields({kTrailerIDField, kVehicleIDField});
}

TIDGroupStore::~TIDGroupStore() {
    idList_.Close();
    groups_.Close();
}

void TIDGroupStore::OpenStore() {
    selected_.clear();
    SetNetFileDir(paths_.GroupsDir);
    groups_.SetDatabaseName(paths_.GroupsDir);
    groups_.SetTableName(kGroupsTableName);
    groups_.Open();
    RefreshGroupList();
}

std::vector<std::string> TIDGroupStore::GroupList() const {
    std::vector<std::string> names;
    if (!groups_.Active()) return names;
    // Walking the list moves the handle; it is put back on the selected record.
    TTable& table = groups_;
    names.reserve(static_cast<std::size_t>(table.RecordCount()));
    for (table.First(); !table.Eof(); table.Next())
        names.push_back(table.FieldAsString(kGroupNameField));
    if (!selected_.empty()) table.Locate(kGroupNameField, selected_);
    return names;
}

void TIDGroupStore::Select(const std::string& groupName) {
    selected_.clear();
    if (groupName.empty() || !groups_.Active()) return;
    if (groups_.Locate(kGroupNameField, groupName)) selected_ = groupName;
}

std::string TIDGroupStore::SelectedName() const {
    return selected_;
}
bool TIDGroupStore::HasSelection() const {
    return !selected_.empty();
}
bool TIDGroupStore::IsLoaded() const {
    return idList_.Active();
}

void TIDGroupStore::RefreshGroupList() {
    window_.ShowGroupList(GroupList(), selected_);
}

void TIDGroupStore::ReadGroupsAnew() {
    groups_.Close();
    // Should the open fail, the list is empty, as after a failed OpenStore.
    ClearUp([this] { groups_.Open(); });
    RefreshGroupList();
}

void TIDGroupStore::LoadGroup() {
    if (selected_.empty()) return;
    idList_.Close();
    if (!groups_.Locate(kGroupNameField, selected_)) {
        selected_.clear();
        return;
    }
    const std::string listName = groups_.FieldAsString(kIDListNameField);
    idList_.SetDatabaseName(paths_.IDListDir);
    idList_.SetTableName(listName);
    if (listName.empty()) return;
    idList_.Open();
    idList_.First();
    for (int k = 0; k < kVehicleSlots; ++k) {
        // A table cut short by hand gives blank slots rather than repeats of its last record.
        const bool present = !idList_.Eof();
        window_.SetVehicleSlot(k, present ? idList_.FieldAsString(kVehicleIDField) : "");
        if (k < kTrailerSlots)
            window_.SetTrailerSlot(k, present ? idList_.FieldAsString(kTrailerIDField) : "");
        if (present) idList_.Next();
    }
}

std::string TIDGroupStore::BuildIDListName(const std::string& groupName) const {
    const std::tm now = clock_.Now();
    std::string moment = clock_.ShortDate(now);
    if (now.tm_hour != 0 || now.tm_min != 0 || now.tm_sec != 0)
        moment += " " + clock_.LongTime(now);
    ReplaceAll(moment, ':', '_');
    ReplaceAll(moment, '/', '-');
    return groupName + " " + moment + " by ";
}

void TIDGroupStore::NewGroup() {
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
    AddGroups({TNewGroup{name, {}}});
}

void TIDGroupStore::AddGroups(const std::vector<TNewGroup>& groups) {
    // The groups records and their ID list tables come into being together or not at
    // all: the records are committed only once every table is complete. A kill between
    // the commits leaves at worst ID list files that no group names.
    std::vector<std::string> created;
    groups_.StartTransaction();
    try {
        for (const TNewGroup& group : groups) {
            AddRecordAndTable(group);
            created.push_back(idList_.TableName());
        }
        groups_.Commit();
    } catch (...) {
        // The first failure is the one the user sees; clearing up must not hide it.
        // A refusal of the first record leaves the loaded group loaded; once a table
        // has been made, idList_ is closed on it.
        // A failed rollback has closed the handle, which discards the records too.
        ClearUp([this] { groups_.Rollback(); });
        // A table left behind is named by no group.
        for (const std::string& listName : created)
            ClearUp([&] {
                idList_.SetTableName(listName);
                idList_.DeleteTable();
            });
        throw;
    }
    RefreshGroupList();
    LoadGroup();
}

// One groups record, posted inside the open transaction, and its complete ID list
// table; idList_ is left closed, pointing at the new table.
void TIDGroupStore::AddRecordAndTable(const TNewGroup& group) {
    groups_.Append();
    groups_.SetFieldAsString(kGroupNameField, group.Name);
    groups_.SetFieldAsString(kIDListNameField, BuildIDListName(group.Name));
    groups_.Post();

    idList_.Close();
    idList_.SetDatabaseName(paths_.IDListDir);
    idList_.SetTableName(groups_.FieldAsString(kIDListNameField));
    idList_.CreateTable({{kTrailerIDField, kIDLength}, {kVehicleIDField, kIDLength}});
    try {
        idList_.Open();
        idList_.StartTransaction();
        for (int k = 0; k < kVehicleSlots; ++k) {
            idList_.Append();
            idList_.SetFieldAsString(kVehicleIDField, group.IDs.Vehicle[k]);
            if (k < kTrailerSlots) idList_.SetFieldAsString(kTrailerIDField, group.IDs.Trailer[k]);
            idList_.Post();
        }
        idList_.Commit();
        idList_.Close();
    } catch (...) {
        // The table was made but is not counted yet: it goes with the records.
        idList_.Close();
        // Left behind, it is named by no group.
        ClearUp([this] { idList_.DeleteTable(); });
        throw;
    }
}

bool TIDGroupStore::NothingSelected(const char* message) {
    if (!selected_.empty()) return false;
    boxes_.Information(message);
    return true;
}

void TIDGroupStore::SaveGroup() {
    if (NothingSelected("Please select a group to save to")) return;
    idList_.StartTransaction();
    try {
        idList_.First();
        for (int k = 0; k < kVehicleSlots; ++k) {
            // A table cut short outside the program gets its missing records back, so
            // that no slot is dropped without a word.
            if (idList_.Eof())
                idList_.Append();
            else
                idList_.Edit();
            idList_.SetFieldAsString(kVehicleIDField, window_.VehicleSlot(k));
            if (k < kTrailerSlots)
                idList_.SetFieldAsString(kTrailerIDField, window_.TrailerSlot(k));
            idList_.Post();
            idList_.Next();
        }
        idList_.Commit();
    } catch (...) {
        // A failed rollback closes the handle, which discards the transaction too.
        ClearUp([this] { idList_.Rollback(); });
        throw;
    }
}

void TIDGroupStore::DeleteGroup() {
    if (NothingSelected("Please select a group to delete")) return;
    if (boxes_.Confirm("Delete the " + selected_ + " Group?") != TConfirmAnswer::Yes) return;
    if (!IsLoaded()) {
        boxes_.Information("Please select a group to delete");
        return;
    }
    // Never delete whatever record the cursor happens to be on.
    if (!groups_.Locate(kGroupNameField, selected_)) {
        selected_.clear();
        boxes_.Information("Please select a group to delete");
        return;
    }
    const std::string listName = groups_.FieldAsString(kIDListNameField);
    // The record goes only as this window read it, so the ID list table it names is
    // deleted only when the record naming it just went. When another copy of the
    // program or the sqlite3 tool changed or removed it meanwhile, nothing is deleted;
    // the list is read anew to show what is on disk, with nothing selected or loaded
    // (the slots keep their texts).
    try {
        groups_.Delete();
    } catch (const EDBEngineError&) {
        idList_.Close();
        selected_.clear();
        ReadGroupsAnew();
        throw;
    }

    idList_.Close();
    idList_.SetDatabaseName(paths_.IDListDir);
    idList_.SetTableName(listName);
    idList_.DeleteTable();

    groups_.Close();
    selected_.clear();
    groups_.Open();
    RefreshGroupList();
    for (int k = 0; k < kVehicleSlots; ++k) window_.SetVehicleSlot(k, "");
    for (int k = 0; k < kTrailerSlots; ++k) window_.SetTrailerSlot(k, "");
}
