#include "store/LocalGroupRepository.h"

#include <exception>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include "store/IDRules.h"
#include "store/PlainFiles.h"
#include "store/TTable.h"
#include "store/TableTransaction.h"

namespace fs = std::filesystem;

namespace {

// The ID list tables made for new groups before their records are stored, by the
// groups' places in one Add. Each is deleted again when the scope is left without
// Keep, so that a failure leaves none behind; the failure that led there is the one
// the user sees, and a table that cannot be deleted in turn stays, named by no group.
class TNewTables {
public:
    TNewTables(std::string directory, std::size_t count)
        : directory_(std::move(directory)), tables_(count) {}
    ~TNewTables() {
        if (kept_) return;
        for (const auto& table : tables_) {
            if (!table) continue;
            try {
                table->Close();
                table->DeleteTable();
            } catch (const EDatabaseError&) {
            }
        }
    }
    TNewTables(const TNewTables&) = delete;
    TNewTables& operator=(const TNewTables&) = delete;

    // An empty ID list table `name` for group `at`.
    void Create(std::size_t at, const std::string& name) {
        auto made = std::make_unique<TTable>("IDListTable");
        made->SetDatabaseName(directory_);
        made->SetTableName(name);
        made->CreateTable({{kTrailerIDField, kIDLength}, {kVehicleIDField, kIDLength}});
        // From here on it is deleted again on a failure (never a file it was refused over).
        tables_.at(at) = std::move(made);
    }
    // Group `at`'s table deleted again, to be made under another name.
    void Drop(std::size_t at) {
        tables_.at(at)->DeleteTable();
        tables_.at(at).reset();
    }
    // Group `at`'s table complete, holding `ids`, on disk when it returns.
    void Fill(std::size_t at, const TGroupIDs& ids) {
        TTable& table = *tables_.at(at);
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

// The key under which a file system that ignores letter case knows table `name`.
std::string TableCaseKey(const std::string& name) {
    return FileNameCaseKey(TableFileName(name));
}

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

void CopyListTable(const std::string& fromDir, const std::string& listName,
                   const std::string& toDir, const std::string& copyName) {
    TTable list("IDListTable");
    list.SetRequiredFields({kTrailerIDField, kVehicleIDField});
    list.SetDatabaseName(fromDir);
    list.SetTableName(listName);
    list.Open();
    list.CopyTo(toDir, copyName);
}

// The name under which a backup keeps the ID list table `listName`: the same, unless a
// table already in the backup differs from it only in letter case (stores made before
// table names were kept apart so): then numbered, so that the backup can be copied to
// and restored on a PC whose file names ignore case.
std::string BackupListName(const std::string& listName, std::set<std::string>& taken) {
    std::string name = listName;
    for (int n = 2; taken.count(TableCaseKey(name)); ++n)
        name = listName + " (" + std::to_string(n) + ")";
    taken.insert(TableCaseKey(name));
    return name;
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
                TNewTables made(store.IDListDir, 1);
                made.Create(0, group.IDListName);
                made.Fill(0, group.IDs);
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

    // The case keys of the file names a new ID list table may not take, so that no two
    // tables are one file on a file system that ignores letter case: the tables the
    // groups table names, and whatever the ID list directory holds (a table another
    // copy is making, one a copy killed half-way left behind).
    std::set<std::string> TakenListKeys() const {
        std::set<std::string> taken;
        for (const std::string& listName : EveryGroup<std::string>(
                 [](const TTable& t) { return t.FieldAsStoredText(kIDListNameField); }))
            taken.insert(TableCaseKey(listName));
        for (const auto& [key, files] : ListDirKeys()) taken.insert(key);
        return taken;
    }
    // How many files of the ID list directory have each case key.
    std::map<std::string, int> ListDirKeys() const {
        std::map<std::string, int> keys;
        std::error_code ec;
        fs::directory_iterator entry(NativePath(paths.IDListDir), ec);
        // A folder that is not there is the table's to report when it is made.
        if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory)
            return keys;
        for (const fs::directory_iterator end; !ec && entry != end; entry.increment(ec)) {
            const std::u8string file = entry->path().filename().u8string();
            ++keys[FileNameCaseKey(std::string(file.begin(), file.end()))];
        }
        if (ec)
            throw EDBEngineError("IDListTable: Directory cannot be read: " + paths.IDListDir +
                                 ": " + ec.message());
        return keys;
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
    return IDListName(groupName, {});
}

std::string TLocalGroupRepository::IDListName(const std::string& groupName,
                                              const std::set<std::string>& taken) const {
    // "Trucks" and "TRUCKS" made in the same second would otherwise get table names that
    // differ only in case: one file on Windows. The later one is numbered after its
    // moment, and so is a name a file already holds.
    const std::string plain = NewIDListName(groupName, d->clock);
    const std::string beforeBy = plain.substr(0, plain.size() - std::string(" by ").size());
    std::string name = plain;
    for (int n = 2; taken.count(TableCaseKey(name)); ++n)
        name = beforeBy + " (" + std::to_string(n) + ") by ";
    return name;
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
    TNewTables made(d->paths.IDListDir, groups.size());
    std::vector<std::string> listNames(groups.size());
    std::set<std::string> taken = d->TakenListKeys();
    std::vector<std::size_t> unnamed(groups.size());
    for (std::size_t i = 0; i < groups.size(); ++i) unnamed[i] = i;
    // Another copy may make a table of the same name, letter case aside, between the
    // look above and the make: each side that then finds the other's file gives its own
    // up and takes the next free name, so that at most both move on.
    constexpr int kNamingRounds = 10;
    for (int round = 0; !unnamed.empty(); ++round) {
        if (round == kNamingRounds)
            throw EDBEngineError("IDListTable: other copies keep taking the name of a new table: " +
                                 listNames[unnamed.front()]);
        for (std::size_t i : unnamed) {
            listNames[i] = IDListName(groups[i].Name, taken);
            taken.insert(TableCaseKey(listNames[i]));
            made.Create(i, listNames[i]);
        }
        const std::map<std::string, int> files = d->ListDirKeys();
        std::vector<std::size_t> clashed;
        for (std::size_t i : unnamed) {
            const auto file = files.find(TableCaseKey(listNames[i]));
            if (file == files.end() || file->second < 2) continue;
            made.Drop(i);
            clashed.push_back(i);
        }
        for (const auto& [key, count] : files) taken.insert(key);
        unnamed = std::move(clashed);
    }
    for (std::size_t i = 0; i < groups.size(); ++i) made.Fill(i, groups[i].IDs);
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
        std::map<std::string, std::string> done;  // a table two records name is copied once
        std::set<std::string> taken;
        TTable copied("IDGroupTable");
        copied.SetRequiredFields({kGroupNameField, kIDListNameField});
        copied.SetDatabaseName(dir);
        copied.SetTableName(kGroupsTableName);
        copied.Open();
        for (copied.First(); !copied.Eof();) {
            const std::string name = copied.FieldAsString(kGroupNameField);
            const std::string listName = copied.FieldAsString(kIDListNameField);
            try {
                auto copy = done.find(listName);
                if (copy == done.end()) {
                    const std::string copyName = BackupListName(listName, taken);
                    CopyListTable(d->paths.IDListDir, listName, backup.IDListDir, copyName);
                    copy = done.emplace(listName, copyName).first;
                }
                if (copy->second != listName) {
                    copied.Edit();
                    copied.SetFieldAsString(kIDListNameField, copy->second);
                    copied.Post();
                }
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
