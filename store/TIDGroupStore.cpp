#include "store/TIDGroupStore.h"

#include <exception>
#include <memory>
#include <utility>

#include "store/TableTransaction.h"

namespace {

// The ID list tables made for new groups before their records are stored. Each is
// deleted again when the scope is left without Keep, so that a failure leaves none
// behind; the failure that led there is the one the user sees, and a table that
// cannot be deleted in turn stays, named by no group.
class TNewTables {
public:
    explicit TNewTables(std::string directory) : directory_(std::move(directory)) {}
    ~TNewTables() {
        if (kept_) return;
        for (const auto& table : tables_) {
            try {
                table->Close();
                table->DeleteTable();
            } catch (const EDatabaseError&) {
            }
        }
    }
    TNewTables(const TNewTables&) = delete;
    TNewTables& operator=(const TNewTables&) = delete;

    // A complete ID list table `name` holding `ids`, on disk when it returns.
    void Make(const std::string& name, const TGroupIDs& ids) {
        auto made = std::make_unique<TTable>("IDListTable");
        made->SetDatabaseName(directory_);
        made->SetTableName(name);
        made->CreateTable({{kTrailerIDField, kIDLength}, {kVehicleIDField, kIDLength}});
        // From here on it is deleted again on a failure (never a file it was refused over).
        tables_.push_back(std::move(made));
        TTable& table = *tables_.back();
        table.Open();
        TTableTransaction filling(table);
        for (int k = 0; k < kVehicleSlots; ++k) {
            table.Append();
            table.SetFieldAsString(kVehicleIDField, ids.Vehicle[k]);
            if (k < kTrailerSlots) table.SetFieldAsString(kTrailerIDField, ids.Trailer[k]);
            table.Post();
        }
        filling.Commit();
        table.Close();
    }
    void Keep() { kept_ = true; }

private:
    std::string directory_;
    std::vector<std::unique_ptr<TTable>> tables_;
    bool kept_ = false;
};

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
    try {
        groups_.Open();
    } catch (const EDatabaseError&) {
        // The failure that led here is the one the user sees; the list is empty, as
        // after a failed OpenStore.
    }
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
    // A closed store refuses here, as the groups record's append would, before any
    // table is made.
    if (!groups_.Active()) groups_.Append();
    // The groups records and their ID list tables come into being together or not at
    // all. Every table is made complete first, without IDGroup.db's write lock, which a
    // long import would otherwise keep from other copies for as long as it writes; the
    // records follow in one transaction. A kill between the two leaves at worst ID
    // list files that no group names.
    TNewTables made(paths_.IDListDir);
    std::vector<std::string> listNames;
    for (const TNewGroup& group : groups) {
        listNames.push_back(BuildIDListName(group.Name));
        made.Make(listNames.back(), group.IDs);
    }
    TTableTransaction adding(groups_);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        groups_.Append();
        groups_.SetFieldAsString(kGroupNameField, groups[i].Name);
        groups_.SetFieldAsString(kIDListNameField, listNames[i]);
        groups_.Post();
    }
    adding.Commit();
    made.Keep();

    // As New always did: the loaded group is closed, and loaded again if selected.
    idList_.Close();
    RefreshGroupList();
    LoadGroup();
}

bool TIDGroupStore::NothingSelected(const char* message) {
    if (!selected_.empty()) return false;
    boxes_.Information(message);
    return true;
}

void TIDGroupStore::SaveGroup() {
    if (NothingSelected("Please select a group to save to")) return;
    try {
        TTableTransaction saving(idList_);
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
        saving.Commit();
    } catch (const ERecordConflict& e) {
        // The boxes keep what the user typed, and the table keeps comparing against
        // what was loaded, so every retry is refused alike until the user chooses to
        // see the other change.
        throw ERecordConflict(std::string(e.what()) +
                              ". Nothing was saved: choose the group again to see the other "
                              "change (that replaces what the boxes show)");
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
    const std::string name = selected_;
    const std::string listName = groups_.FieldAsString(kIDListNameField);
    bool tableWasThere = false;
    try {
        // IDGroup.db's write lock is held from the record's delete to the table's, so
        // that no other copy adds or deletes a group in between. The record goes only
        // as this window read it, and the table only while it is still the file this
        // window loaded: one that another copy made under the same name since stays.
        TTableTransaction deleting(groups_);
        groups_.Delete();
        idList_.Close();
        idList_.SetDatabaseName(paths_.IDListDir);
        idList_.SetTableName(listName);
        // A table that cannot be deleted stays, named by no group: the record goes all
        // the same, and the user sees why.
        std::exception_ptr tableFailure;
        try {
            tableWasThere = idList_.DeleteTable();
        } catch (const EDBEngineError&) {
            tableFailure = std::current_exception();
        }
        deleting.Commit();
        if (tableFailure) std::rethrow_exception(tableFailure);
    } catch (const ERecordConflict&) {
        // Another copy or the sqlite3 tool changed or removed the record: nothing is
        // deleted, and the list is read anew to show what is on disk, with nothing
        // selected or loaded (the slots keep their texts).
        idList_.Close();
        selected_.clear();
        ReadGroupsAnew();
        throw;
    }

    groups_.Close();
    selected_.clear();
    groups_.Open();
    RefreshGroupList();
    for (int k = 0; k < kVehicleSlots; ++k) window_.SetVehicleSlot(k, "");
    for (int k = 0; k < kTrailerSlots; ++k) window_.SetTrailerSlot(k, "");
    if (!tableWasThere)
        boxes_.Information("The " + name + " Group was deleted (its table was already gone)");
}
