#include "store/LocalGroupRepository.h"

#include <exception>
#include <filesystem>
#include <set>
#include <utility>

#include "store/IDRules.h"
#include "store/PlainFiles.h"
#include "store/TTable.h"
#include "store/TableTransaction.h"

namespace fs = std::filesystem;

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

// The loaded group: the ID list table the repository has open, its records as read.
class TLocalLoadedGroup : public TLoadedGroup {
public:
    explicit TLocalLoadedGroup(TTable& table) : table_(table) {}

    TGroupIDs IDs() const override { return Read(&TTable::FieldAsString); }
    TGroupIDs StoredIDs() const { return Read(&TTable::FieldAsStoredText); }

    void Save(const TGroupIDs& ids) override {
        TTableTransaction saving(table_);
        table_.First();
        for (int k = 0; k < kVehicleSlots; ++k) {
            // A table cut short outside the program gets its missing records back, so
            // that no slot is dropped without a word.
            if (table_.Eof())
                table_.Append();
            else
                table_.Edit();
            table_.SetFieldAsString(kVehicleIDField, ids.Vehicle[k]);
            if (k < kTrailerSlots) table_.SetFieldAsString(kTrailerIDField, ids.Trailer[k]);
            table_.Post();
            table_.Next();
        }
        saving.Commit();
    }
    void StoreVehicleID(int slot, const std::string& text) override {
        Store(slot, kVehicleIDField, text);
    }
    void StoreTrailerID(int slot, const std::string& text) override {
        Store(slot, kTrailerIDField, text);
    }

private:
    // Slots of records a table cut short by hand does not have are blank, not repeats
    // of its last record.
    TGroupIDs Read(std::string (TTable::*field)(const std::string&) const) const {
        TGroupIDs ids;
        table_.First();
        for (int k = 0; k < kVehicleSlots && !table_.Eof(); ++k, table_.Next()) {
            ids.Vehicle[k] = (table_.*field)(kVehicleIDField);
            if (k < kTrailerSlots) ids.Trailer[k] = (table_.*field)(kTrailerIDField);
        }
        return ids;
    }
    // Record `slot` edited and stored. A table short of records has nowhere to keep
    // the ID: it is not written over the last record.
    void Store(int slot, const char* field, const std::string& text) {
        table_.First();
        for (int k = 0; k < slot && !table_.Eof(); ++k) table_.Next();
        if (table_.Eof()) return;
        table_.Edit();
        table_.SetFieldAsString(field, text);
        table_.Post();
    }

    TTable& table_;
};

void CopyListTable(const std::string& fromDir, const std::string& toDir,
                   const std::string& listName) {
    TTable list("IDListTable");
    list.SetRequiredFields({kTrailerIDField, kVehicleIDField});
    list.SetDatabaseName(fromDir);
    list.SetTableName(listName);
    list.Open();
    list.CopyTo(toDir, listName);
}

}  // namespace

TStorePaths StorePathsIn(const std::string& dir) {
    const std::u8string list = (NativePath(dir) / "IDs").u8string();
    return {dir, std::string(list.begin(), list.end())};
}

void CreateGroupsTable(const TStorePaths& paths) {
    TTable table("IDGroupTable");
    table.SetDatabaseName(paths.GroupsDir);
    table.SetTableName(kGroupsTableName);
    table.CreateTable({{kGroupNameField, kGroupNameLength}, {kIDListNameField, kIDListNameLength}},
                      {kGroupNameField});
}

std::string NewIDListName(const std::string& groupName, const TDateTimeSource& clock) {
    const std::tm now = clock.Now();
    std::string moment = clock.ShortDate(now);
    if (now.tm_hour != 0 || now.tm_min != 0 || now.tm_sec != 0) moment += " " + clock.LongTime(now);
    for (char& c : moment) {
        if (c == ':') c = '_';
        if (c == '/') c = '-';
    }
    return groupName + " " + moment + " by ";
}

TBackupReport WriteLocalStore(const std::string& dir, const std::vector<TKeptGroup>& groups) {
    const TStorePaths store = StorePathsIn(dir);
    std::error_code ec;
    const bool madeListDir = fs::create_directory(NativePath(store.IDListDir), ec);
    if (ec) throw EDBEngineError(dir + ": cannot be written: " + ec.message());
    TBackupReport report;
    bool madeGroups = false;
    try {
        CreateGroupsTable(store);
        madeGroups = true;
        std::vector<const TKeptGroup*> written;
        for (const TKeptGroup& group : groups) {
            // Each table on its own: one that cannot be made (a name no file may have)
            // is gone again and leaves only its group out.
            try {
                TNewTables made(store.IDListDir);
                made.Make(group.IDListName, group.IDs);
                made.Keep();
                written.push_back(&group);
            } catch (const EDatabaseError& e) {
                report.LeftOut.push_back({group.Name, e.what()});
            }
        }
        TTable table("IDGroupTable");
        table.SetDatabaseName(store.GroupsDir);
        table.SetTableName(kGroupsTableName);
        table.Open();
        TTableTransaction adding(table);
        for (const TKeptGroup* group : written) {
            table.Append();
            table.SetFieldAsString(kGroupNameField, group->Name);
            table.SetFieldAsString(kIDListNameField, group->IDListName);
            table.Post();
        }
        adding.Commit();
        table.Close();
        report.Groups = static_cast<int>(written.size());
    } catch (...) {
        if (madeGroups) {
            fs::remove(NativePath(dir) / kGroupsTableName, ec);
            fs::remove(NativePath(dir) / (std::string(kGroupsTableName) + "-journal"), ec);
        }
        if (madeListDir) fs::remove_all(NativePath(store.IDListDir), ec);
        throw;
    }
    return report;
}

struct TLocalGroupRepository::Impl {
    Impl(TStorePaths storePaths, TDateTimeSource storeClock)
        : paths(std::move(storePaths)), clock(std::move(storeClock)) {
        groups.SetRequiredFields({kGroupNameField, kIDListNameField});
        // A table without the two fields cannot hold a group: refuse it at open rather
        // than half-way through a load or a transfer.
        idList.SetRequiredFields({kTrailerIDField, kVehicleIDField});
    }

    // The groups table, read anew; one that is not there means no store yet.
    void OpenGroups() {
        groups.SetDatabaseName(paths.GroupsDir);
        groups.SetTableName(kGroupsTableName);
        try {
            groups.Open();
        } catch (const ENoSuchTable& e) {
            throw EStoreNotSetUp(e.what());
        }
    }
    // Every record of the groups table in table order, as `read` gives it. Walking the
    // list moves the handle; every use of it finds its record first.
    template <class T, class F>
    std::vector<T> EveryGroup(F read) const {
        std::vector<T> out;
        if (!groups.Active()) return out;
        out.reserve(static_cast<std::size_t>(groups.RecordCount()));
        for (groups.First(); !groups.Eof(); groups.Next()) out.push_back(read(groups));
        return out;
    }

    TStorePaths paths;
    TDateTimeSource clock;
    mutable TTable groups{"IDGroupTable"};
    TTable idList{"IDListTable"};
    TLocalLoadedGroup loaded{idList};
};

TLocalGroupRepository::TLocalGroupRepository(TStorePaths paths, TDateTimeSource clock)
    : d(std::make_unique<Impl>(std::move(paths), std::move(clock))) {}

TLocalGroupRepository::~TLocalGroupRepository() {
    d->idList.Close();
    d->groups.Close();
}

void TLocalGroupRepository::Open() {
    try {
        SetNetFileDir(d->paths.GroupsDir);
    } catch (const ENoSuchTable& e) {
        throw EStoreNotSetUp(e.what());
    }
    d->OpenGroups();
}

void TLocalGroupRepository::Refresh() {
    d->groups.Close();
    d->OpenGroups();
}

std::vector<std::string> TLocalGroupRepository::Names() const {
    return d->EveryGroup<std::string>(
        [](const TTable& t) { return t.FieldAsString(kGroupNameField); });
}

std::vector<TGroupEntry> TLocalGroupRepository::Entries() const {
    return d->EveryGroup<TGroupEntry>([](const TTable& t) {
        return TGroupEntry{t.FieldAsString(kGroupNameField), t.FieldAsString(kIDListNameField)};
    });
}

std::vector<std::string> TLocalGroupRepository::StoredNames() const {
    return d->EveryGroup<std::string>(
        [](const TTable& t) { return t.FieldAsStoredText(kGroupNameField); });
}

bool TLocalGroupRepository::Has(const std::string& name) const {
    return d->groups.Active() && d->groups.Locate(kGroupNameField, name);
}

bool TLocalGroupRepository::Load(const std::string& name) {
    d->idList.Close();
    if (!Has(name)) return false;
    const std::string listName = d->groups.FieldAsString(kIDListNameField);
    d->idList.SetDatabaseName(d->paths.IDListDir);
    d->idList.SetTableName(listName);
    if (listName.empty()) return false;
    d->idList.Open();
    return true;
}

bool TLocalGroupRepository::IsLoaded() const {
    return d->idList.Active();
}

void TLocalGroupRepository::Unload() {
    d->idList.Close();
}

TLoadedGroup& TLocalGroupRepository::LoadedGroup() {
    return d->loaded;
}

TGroupIDs TLocalGroupRepository::LoadedStoredIDs() const {
    return d->loaded.StoredIDs();
}

std::string TLocalGroupRepository::IDListName(const std::string& groupName) const {
    return NewIDListName(groupName, d->clock);
}

void TLocalGroupRepository::Add(const std::vector<TNewGroup>& groups) {
    TTable& table = d->groups;
    // A closed store refuses here, as the groups record's append would, before any
    // table is made.
    if (!table.Active()) table.Append();
    // The groups records and their ID list tables come into being together or not at
    // all. Every table is made complete first, without IDGroup.db's write lock, which a
    // long import would otherwise keep from other copies for as long as it writes; the
    // records follow in one transaction. A kill between the two leaves at worst ID
    // list files that no group names.
    TNewTables made(d->paths.IDListDir);
    std::vector<std::string> listNames;
    for (const TNewGroup& group : groups) {
        listNames.push_back(IDListName(group.Name));
        made.Make(listNames.back(), group.IDs);
    }
    TTableTransaction adding(table);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        table.Append();
        table.SetFieldAsString(kGroupNameField, groups[i].Name);
        table.SetFieldAsString(kIDListNameField, listNames[i]);
        table.Post();
    }
    adding.Commit();
    made.Keep();
}

bool TLocalGroupRepository::Delete(const std::string& name) {
    TTable& groups = d->groups;
    TTable& list = d->idList;
    // Never delete whatever record the cursor happens to be on.
    if (!Has(name))
        throw EDatabaseError(groups.Name() + ": no group named \"" + name + "\" to delete");
    const std::string listName = groups.FieldAsString(kIDListNameField);
    bool tableWasThere = false;
    try {
        // IDGroup.db's write lock is held from the record's delete to the table's, so
        // that no other copy adds or deletes a group in between. The record goes only
        // as this copy read it, and the table only while it is still the file this
        // copy loaded: one that another copy made under the same name since stays.
        TTableTransaction deleting(groups);
        groups.Delete();
        list.Close();
        list.SetDatabaseName(d->paths.IDListDir);
        list.SetTableName(listName);
        // A table that cannot be deleted stays, named by no group: the record goes all
        // the same, and the user sees why.
        std::exception_ptr tableFailure;
        try {
            tableWasThere = list.DeleteTable();
        } catch (const EDBEngineError&) {
            tableFailure = std::current_exception();
        }
        deleting.Commit();
        if (tableFailure) std::rethrow_exception(tableFailure);
    } catch (const ERecordConflict&) {
        // Another copy or the sqlite3 tool changed or removed the record: nothing is
        // deleted, and nothing stays loaded.
        list.Close();
        throw;
    }
    return tableWasThere;
}

TBackupReport TLocalGroupRepository::BackUp(const std::string& dir) {
    const TStorePaths backup = StorePathsIn(dir);
    std::error_code ec;
    const bool madeListDir = fs::create_directory(NativePath(backup.IDListDir), ec);
    if (ec) throw EDBEngineError(dir + ": cannot be written: " + ec.message());
    TBackupReport report;
    bool madeGroups = false;
    try {
        // A copy that fails is gone again; one refused over a file already there
        // leaves that file alone.
        d->groups.CopyTo(dir, kGroupsTableName);
        madeGroups = true;
        // The copy's groups table names the ID list tables to copy; a group whose table
        // cannot be copied is taken out of it.
        std::set<std::string> done;  // a table two records name is copied once
        TTable copied("IDGroupTable");
        copied.SetRequiredFields({kGroupNameField, kIDListNameField});
        copied.SetDatabaseName(dir);
        copied.SetTableName(kGroupsTableName);
        copied.Open();
        for (copied.First(); !copied.Eof();) {
            const std::string name = copied.FieldAsString(kGroupNameField);
            const std::string listName = copied.FieldAsString(kIDListNameField);
            try {
                if (!done.count(listName))
                    CopyListTable(d->paths.IDListDir, backup.IDListDir, listName);
                done.insert(listName);
                ++report.Groups;
                copied.Next();
            } catch (const EDatabaseError& e) {
                report.LeftOut.push_back({name, e.what()});
                copied.Delete();  // moves on to the next record
            }
        }
    } catch (...) {
        // A backup that failed as a whole leaves nothing behind that could pass for
        // one, and nothing it did not make is removed.
        if (madeGroups) {
            fs::remove(NativePath(dir) / kGroupsTableName, ec);
            fs::remove(NativePath(dir) / (std::string(kGroupsTableName) + "-journal"), ec);
        }
        if (madeListDir) fs::remove_all(NativePath(backup.IDListDir), ec);
        throw;
    }
    return report;
}
