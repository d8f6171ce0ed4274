#include "store/PgGroupRepository.h"

#include <algorithm>
#include <set>
#include <utility>

#include "store/IDRules.h"
#include "store/LocalGroupRepository.h"
#include "store/PgConnection.h"
#include "store/PgSchema.h"

namespace {

// The handles' names that the local store's messages carry, so that a message reads
// the same whichever store gave it.
constexpr const char* kGroupsHandle = "IDGroupTable";
constexpr const char* kListHandle = "IDListTable";
constexpr const char* kClosed = ": Cannot perform this operation on a closed dataset";

// Groups whose IDs a backup reads in one statement: a list of thousands of groups is
// never held twice over in the client library's results.
constexpr int kBackupBatch = 256;

struct TServerGroup {
    long long id = 0;
    std::string name;
    std::string listName;
    long long version = 0;
};

std::string Number(long long n) {
    return std::to_string(n);
}

// The statement that writes all 96 records of group $1 from $2 (trailer 0), $3
// (vehicle 0), $4 (trailer 1) ...: records a group lacks (removed by hand) come back.
// Texts longer than the columns are cut to them, as the local table fields cut them.
std::string WriteAllRecordsSql() {
    std::string sql =
        "INSERT INTO haltguard_ids.ids (group_id, record, trailer_id, vehicle_id) VALUES ";
    for (int k = 0; k < kVehicleSlots; ++k) {
        const int p = 2 + 2 * k;
        sql += (k ? ", " : "") + std::string("($1, ") + std::to_string(k) + ", left($" +
               std::to_string(p) + "::text, 16), left($" + std::to_string(p + 1) + "::text, 16))";
    }
    return sql +
           " ON CONFLICT (group_id, record) DO UPDATE SET trailer_id = EXCLUDED.trailer_id,"
           " vehicle_id = EXCLUDED.vehicle_id RETURNING record, trailer_id, vehicle_id";
}

TPgParams WriteAllRecordsParams(long long id, const TGroupIDs& ids) {
    TPgParams params{Number(id)};
    params.reserve(1 + 2 * kVehicleSlots);
    for (int k = 0; k < kVehicleSlots; ++k) {
        // Records 32 to 95 hold no trailer ID.
        params.emplace_back(k < kTrailerSlots ? ids.Trailer[k] : std::string());
        params.emplace_back(ids.Vehicle[k]);
    }
    return params;
}

// Rows of (record, trailer_id, vehicle_id) from `first` on into the IDs; slots of
// records the group lacks are blank.
void FillIDs(const TPgResult& rows, int first, TGroupIDs& ids) {
    for (int r = 0; r < rows.Rows(); ++r) {
        const long long k = rows.Integer(r, first);
        if (k < 0 || k >= kVehicleSlots) continue;
        ids.Vehicle[static_cast<std::size_t>(k)] = rows.Text(r, first + 2);
        if (k < kTrailerSlots) ids.Trailer[static_cast<std::size_t>(k)] = rows.Text(r, first + 1);
    }
}

// The refusal of a change to group `id`: "changed" while the group is still there,
// "deleted" once it is gone.
[[noreturn]] void Conflict(TPgConnection& db, const char* handle, long long id,
                           const std::string& name) {
    const bool there =
        db.Exec("SELECT 1 FROM haltguard_ids.groups WHERE id = $1", {Number(id)}).Rows() > 0;
    throw ERecordConflict(std::string(handle) + ": Record was " + (there ? "changed" : "deleted") +
                          " by another user: group \"" + name + "\" on the group server " +
                          db.Server());
}

// What the loaded group needs of its repository.
class TServerAccess {
public:
    virtual ~TServerAccess() = default;
    virtual TPgConnection& Server() = 0;
    // A transaction begun on Server().
    virtual std::unique_ptr<TPgTransaction> Begin(
        TPgTransaction::TIsolation isolation = TPgTransaction::TIsolation::ReadCommitted) = 0;
    // What this copy now knows of a group it changed.
    virtual void Remember(long long id, long long version) = 0;
};

}  // namespace

std::string FileSafeListName(const std::string& listName) {
    std::string safe = listName;
    for (char& c : safe)
        if (static_cast<unsigned char>(c) < 0x20 ||
            std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos)
            c = '_';
    return safe;
}

namespace {

// The loaded group: its identity on the server, the version read or written last by
// this copy, and its IDs as they are stored.
class TPgLoadedGroup : public TLoadedGroup {
public:
    explicit TPgLoadedGroup(TServerAccess& repository) : repository_(repository) {}

    TGroupIDs IDs() const override {
        Require();
        return ids_;
    }
    void Save(const TGroupIDs& ids) override;
    void StoreVehicleID(int slot, const std::string& text) override {
        Store(slot, "vehicle_id", text);
    }
    void StoreTrailerID(int slot, const std::string& text) override {
        if (slot < kTrailerSlots) Store(slot, "trailer_id", text);
    }

    bool Loaded() const { return loaded_; }
    long long Id() const { return id_; }
    void Set(const TServerGroup& group, const TGroupIDs& ids) {
        loaded_ = true;
        id_ = group.id;
        version_ = group.version;
        name_ = group.name;
        ids_ = ids;
    }
    void Clear() {
        loaded_ = false;
        ids_ = {};
    }

private:
    void Require() const {
        if (!loaded_) throw EDatabaseError(std::string(kListHandle) + kClosed);
    }
    // The group's version raised from the one this copy holds, in the caller's
    // transaction; a group changed or deleted since is refused as the local store
    // refuses a record no longer as read.
    long long Bump(TPgConnection& server) {
        const TPgResult bumped = server.Exec(
            "UPDATE haltguard_ids.groups SET version = version + 1 WHERE id = $1 AND version = "
            "$2 RETURNING version",
            {Number(id_), Number(version_)});
        if (bumped.Rows() == 0) Conflict(server, kListHandle, id_, name_);
        return bumped.Integer(0, 0);
    }
    void Store(int slot, const char* column, const std::string& text);

    TServerAccess& repository_;
    bool loaded_ = false;
    long long id_ = 0;
    long long version_ = 0;
    std::string name_;
    TGroupIDs ids_;
};

void TPgLoadedGroup::Save(const TGroupIDs& ids) {
    Require();
    TPgConnection& server = repository_.Server();
    const auto saving = repository_.Begin();
    const long long version = Bump(server);
    const TPgResult stored = server.Exec(WriteAllRecordsSql(), WriteAllRecordsParams(id_, ids));
    saving->Commit();
    version_ = version;
    ids_ = {};
    FillIDs(stored, 0, ids_);
    repository_.Remember(id_, version_);
}

void TPgLoadedGroup::Store(int slot, const char* column, const std::string& text) {
    Require();
    if (slot < 0 || slot >= kVehicleSlots) return;
    TPgConnection& server = repository_.Server();
    const auto storing = repository_.Begin();
    const long long version = Bump(server);
    // `column` is one of two fixed names, never a text from outside.
    const TPgResult stored = server.Exec(std::string("UPDATE haltguard_ids.ids SET ") + column +
                                             " = left($3::text, 16) WHERE group_id = $1 AND "
                                             "record = $2 RETURNING " +
                                             column,
                                         {Number(id_), Number(slot), text});
    // A record removed by hand has nowhere to keep the ID: nothing is stored, and the
    // version stays as it was.
    if (stored.Rows() == 0) return;
    storing->Commit();
    version_ = version;
    if (std::string_view(column) == "vehicle_id")
        ids_.Vehicle[static_cast<std::size_t>(slot)] = stored.Text(0, 0);
    else
        ids_.Trailer[static_cast<std::size_t>(slot)] = stored.Text(0, 0);
    repository_.Remember(id_, version_);
}

}  // namespace

struct TPgGroupRepository::Impl : TServerAccess {
    Impl(std::string connectionString, TDateTimeSource storeClock)
        : connection(std::move(connectionString)), clock(std::move(storeClock)) {}

    // The connection, made or made again after a loss; the tables checked each time,
    // as the server may have been set up anew meanwhile.
    TPgConnection& Server() override {
        if (!server) {
            auto made = std::make_unique<TPgConnection>(connection);
            RequireCurrentSchema(*made);
            server = std::move(made);
        } else if (server->Broken()) {
            server->Reconnect();
            RequireCurrentSchema(*server);
        }
        return *server;
    }
    std::unique_ptr<TPgTransaction> Begin(
        TPgTransaction::TIsolation isolation = TPgTransaction::TIsolation::ReadCommitted) override {
        TPgConnection& db = Server();
        try {
            return std::make_unique<TPgTransaction>(db, isolation);
        } catch (const EServerLost&) {
            // A connection the server dropped while it was idle (a restart overnight)
            // shows only here, before anything was done: connect again, once.
            db.Reconnect();
            RequireCurrentSchema(db);
            return std::make_unique<TPgTransaction>(db, isolation);
        }
    }

    void ReadList() {
        list.clear();
        open = false;
        TPgConnection& db = Server();
        const TPgResult rows =
            db.Exec("SELECT id, name, id_list_name, version FROM haltguard_ids.groups ORDER BY id");
        std::vector<TServerGroup> read;
        read.reserve(static_cast<std::size_t>(rows.Rows()));
        for (int r = 0; r < rows.Rows(); ++r)
            read.push_back(
                {rows.Integer(r, 0), rows.Text(r, 1), rows.Text(r, 2), rows.Integer(r, 3)});
        list = std::move(read);
        open = true;
    }

    TServerGroup* Entry(const std::string& name) {
        const auto found = std::find_if(list.begin(), list.end(),
                                        [&](const TServerGroup& g) { return g.name == name; });
        return found == list.end() ? nullptr : &*found;
    }
    void Remember(long long id, long long version) override {
        for (TServerGroup& group : list)
            if (group.id == id) group.version = version;
    }

    std::string connection;
    TDateTimeSource clock;
    std::unique_ptr<TPgConnection> server;
    std::vector<TServerGroup> list;
    bool open = false;
    TPgLoadedGroup loaded{*this};
};

TPgGroupRepository::TPgGroupRepository(std::string connection, TDateTimeSource clock)
    : d(std::make_unique<Impl>(std::move(connection), std::move(clock))) {}

TPgGroupRepository::~TPgGroupRepository() = default;

void TPgGroupRepository::Open() {
    d->loaded.Clear();
    d->ReadList();
}

void TPgGroupRepository::Refresh() {
    d->ReadList();
}

std::vector<std::string> TPgGroupRepository::Names() const {
    std::vector<std::string> names;
    names.reserve(d->list.size());
    for (const TServerGroup& group : d->list) names.push_back(group.name);
    return names;
}

std::vector<TGroupEntry> TPgGroupRepository::Entries() const {
    std::vector<TGroupEntry> entries;
    entries.reserve(d->list.size());
    for (const TServerGroup& group : d->list) entries.push_back({group.name, group.listName});
    return entries;
}

bool TPgGroupRepository::Has(const std::string& name) const {
    return d->Entry(name) != nullptr;
}

bool TPgGroupRepository::Load(const std::string& name) {
    d->loaded.Clear();
    TServerGroup* entry = d->Entry(name);
    if (!entry) return false;
    TPgConnection& server = d->Server();
    // The group row and its records as one state, though another PC saves meanwhile.
    const auto reading = d->Begin(TPgTransaction::TIsolation::RepeatableRead);
    const TPgResult group = server.Exec(
        "SELECT id, version, id_list_name FROM haltguard_ids.groups WHERE name = $1", {name});
    if (group.Rows() == 0)
        throw ERecordConflict(std::string(kListHandle) +
                              ": Record was deleted by another user: group \"" + name +
                              "\" on the group server " + server.Server());
    TServerGroup read{group.Integer(0, 0), name, group.Text(0, 2), group.Integer(0, 1)};
    const TPgResult records = server.Exec(
        "SELECT record, trailer_id, vehicle_id FROM haltguard_ids.ids WHERE group_id = $1",
        {Number(read.id)});
    reading->Commit();
    TGroupIDs ids;
    FillIDs(records, 0, ids);
    // A group another PC deleted and made anew under the name is the one now loaded.
    *entry = read;
    d->loaded.Set(read, ids);
    return true;
}

bool TPgGroupRepository::IsLoaded() const {
    return d->loaded.Loaded();
}

void TPgGroupRepository::Unload() {
    d->loaded.Clear();
}

TLoadedGroup& TPgGroupRepository::LoadedGroup() {
    return d->loaded;
}

void TPgGroupRepository::Add(const std::vector<TNewGroup>& groups) {
    if (!d->open) throw EDatabaseError(std::string(kGroupsHandle) + kClosed);
    TPgConnection& server = d->Server();
    std::vector<TServerGroup> added;
    const auto adding = d->Begin();
    for (const TNewGroup& group : groups) {
        TPgResult made;
        try {
            made = server.Exec(
                "INSERT INTO haltguard_ids.groups (name, id_list_name) VALUES ($1, "
                "left($2::text, 150)) RETURNING id, version, id_list_name",
                {group.Name, NewIDListName(group.Name, d->clock)});
        } catch (const EServerRefusal& e) {
            // 23505: unique violation; the groups' names are their key, as in the
            // local groups table.
            if (e.SqlState() != "23505") throw;
            throw EServerRefusal(TServerFault::Refusal, server.Server(),
                                 std::string(kGroupsHandle) +
                                     ": Key violation: a record with the same key already "
                                     "exists in table haltguard_ids.groups on the group server " +
                                     server.Server(),
                                 e.SqlState());
        }
        added.push_back({made.Integer(0, 0), group.Name, made.Text(0, 2), made.Integer(0, 1)});
        server.Exec(WriteAllRecordsSql(), WriteAllRecordsParams(added.back().id, group.IDs));
    }
    adding->Commit();
    d->list.insert(d->list.end(), added.begin(), added.end());
}

bool TPgGroupRepository::Delete(const std::string& name) {
    const TServerGroup* entry = d->Entry(name);
    if (!entry)
        throw EDatabaseError(std::string(kGroupsHandle) + ": no group named \"" + name +
                             "\" to delete");
    const TServerGroup group = *entry;
    TPgConnection& server = d->Server();
    const auto deleting = d->Begin();
    const TPgResult gone =
        server.Exec("DELETE FROM haltguard_ids.groups WHERE id = $1 AND version = $2",
                    {Number(group.id), Number(group.version)});
    if (gone.Affected() == 0) {
        d->loaded.Clear();
        Conflict(server, kGroupsHandle, group.id, group.name);
    }
    deleting->Commit();
    d->loaded.Clear();
    std::erase_if(d->list, [&](const TServerGroup& g) { return g.id == group.id; });
    return true;
}

TBackupReport TPgGroupRepository::BackUp(const std::string& dir) {
    TPgConnection& server = d->Server();
    std::vector<TKeptGroup> kept;
    std::vector<long long> ids;
    {
        const auto reading = d->Begin(TPgTransaction::TIsolation::RepeatableRead);
        const TPgResult groups =
            server.Exec("SELECT id, name, id_list_name FROM haltguard_ids.groups ORDER BY id");
        std::set<std::string> listNames;
        for (int r = 0; r < groups.Rows(); ++r) {
            const std::string& name = groups.Text(r, 1);
            // Each group's table under a name of its own that a file may have.
            // Names apart only in letter case would be one file on Windows.
            const auto taken = [&](const std::string& n) {
                return listNames.count(FileNameCaseKey(n)) != 0;
            };
            std::string listName = FileSafeListName(groups.Text(r, 2));
            if (listName.empty() || taken(listName))
                listName = FileSafeListName(NewIDListName(name, d->clock));
            for (int n = 2; taken(listName); ++n)
                listName = FileSafeListName(NewIDListName(name, d->clock)) + Number(n);
            listNames.insert(FileNameCaseKey(listName));
            kept.push_back({name, listName, {}});
            ids.push_back(groups.Integer(r, 0));
        }
        for (std::size_t first = 0; first < ids.size(); first += kBackupBatch) {
            const std::size_t last = std::min(ids.size(), first + kBackupBatch) - 1;
            const TPgResult records = server.Exec(
                "SELECT group_id, record, trailer_id, vehicle_id FROM haltguard_ids.ids"
                " WHERE group_id BETWEEN $1 AND $2 ORDER BY group_id, record",
                {Number(ids[first]), Number(ids[last])});
            // Both lists are in the order of the groups' ids.
            std::size_t g = first;
            for (int r = 0; r < records.Rows(); ++r) {
                const long long owner = records.Integer(r, 0);
                while (g <= last && ids[g] < owner) ++g;
                if (g > last || ids[g] != owner) continue;
                const long long k = records.Integer(r, 1);
                if (k < 0 || k >= kVehicleSlots) continue;
                TGroupIDs& into = kept[g].IDs;
                into.Vehicle[static_cast<std::size_t>(k)] = records.Text(r, 3);
                if (k < kTrailerSlots)
                    into.Trailer[static_cast<std::size_t>(k)] = records.Text(r, 2);
            }
        }
        reading->Commit();
    }
    return WriteLocalStore(dir, kept);
}
