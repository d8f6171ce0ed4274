// The store's operations through a scripted window: messages, what reaches the
// disk, and the mended cases (empty and duplicate names, all-or-nothing NewGroup).
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <functional>

#include "store/TTable.h"
#include "tests/store/StoreSupport.h"

namespace {

using namespace storetest;

const std::string kStamp = " 07-12-2026 14_05_33 by ";
const std::string kNewGroupBox =
    "input: Identities - New Group | Please Enter a new group name | New";

class StoreOps : public ::testing::Test {
protected:
    std::unique_ptr<TWindowStore> Open(TDateTimeSource clock = FixedClock()) {
        auto s = std::make_unique<TWindowStore>(folder.paths, win, std::move(clock));
        s->Store.OpenStore();
        return s;
    }
    RowList Groups() { return Rows(folder.GroupsFile()); }
    std::vector<std::string> ListFiles() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder.home.idListDir()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    void NewGroup(TWindowStore& s, const std::string& name) {
        win.inputs.push_back(name);
        s.Store.NewGroup();
    }
    static std::string Repeat(const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    }

    TStoreHome folder;
    ScriptedWindow win;
};

TEST_F(StoreOps, OpenListsGroupsInTableOrderWithNothingChosen) {
    folder.AddGroup("Zulu", "z");
    folder.AddGroup("Alpha", "a");
    auto s = Open();
    EXPECT_EQ(win.listNames, (std::vector<std::string>{"Zulu", "Alpha"}));
    EXPECT_EQ(win.listShown, "");
    EXPECT_EQ(s->Store.GroupList(), win.listNames);
    EXPECT_FALSE(s->Store.HasSelection());
    EXPECT_FALSE(s->Store.IsLoaded());
    EXPECT_EQ(NetFileDir(), folder.home.groupsDir().string());
}

TEST_F(StoreOps, WithoutTheGroupsTableTheStoreStaysClosed) {
    fs::remove(folder.GroupsFile());
    TWindowStore s(folder.paths, win);
    EXPECT_THROW(s.Store.OpenStore(), EStoreNotSetUp);
    EXPECT_FALSE(fs::exists(folder.GroupsFile()));
    EXPECT_TRUE(s.Store.GroupList().empty());
    s.Store.Select("x");
    EXPECT_FALSE(s.Store.HasSelection());
    win.inputs.push_back("Fleet");
    try {
        s.Store.NewGroup();
        ADD_FAILURE() << "NewGroup on a closed store";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "IDGroupTable: Cannot perform this operation on a closed dataset");
    }
    EXPECT_TRUE(ListFiles().empty());
}

TEST_F(StoreOps, GroupsTableWithoutItsFieldsIsRefusedAtOpen) {
    fs::remove(folder.GroupsFile());
    Sql(folder.GroupsFile(), "CREATE TABLE records (\"Group Name\" VARCHAR(30), Other TEXT)");
    TWindowStore s(folder.paths, win);
    try {
        s.Store.OpenStore();
        ADD_FAILURE() << "opened";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()), "IDGroupTable: Field 'IDListName' not found");
    }
    EXPECT_TRUE(s.Groups.Names().empty());
}

TEST_F(StoreOps, IDListNameFromTheClock) {
    auto s = Open();
    EXPECT_EQ(s->Groups.IDListName("Fleet"), "Fleet" + kStamp);
    // The group name is taken as it is; only the date and time are changed.
    EXPECT_EQ(s->Groups.IDListName("a:b-c"), "a:b-c" + kStamp);
    auto midnight = Open(FixedClock(2026, 12, 7, 0, 0, 0));
    EXPECT_EQ(midnight->Groups.IDListName("Fleet"), "Fleet 07-12-2026 by ");
    EXPECT_EQ(Open(FixedClock(2026, 12, 7, 0, 0, 1))->Groups.IDListName("F"),
              "F 07-12-2026 00_00_01 by ");

    // A group made at midnight gets that table.
    NewGroup(*midnight, "Night");
    EXPECT_EQ(Groups(), (RowList{{"Night", "Night 07-12-2026 by "}}));
    EXPECT_TRUE(fs::exists(folder.ListFile("Night 07-12-2026 by ")));
}

TEST_F(StoreOps, NewGroupNameLengthIsCountedInCharacters) {
    auto s = Open();
    const std::string thirty = Repeat("x", 30);
    const std::string thirtyOne = Repeat("y", 31);
    const std::string umlauts = Repeat("ä", 30);  // 60 bytes
    NewGroup(*s, thirty);
    NewGroup(*s, thirtyOne);
    NewGroup(*s, umlauts);
    NewGroup(*s, Repeat("ä", 31));
    EXPECT_EQ(win.log,
              (std::vector<std::string>{
                  kNewGroupBox, kNewGroupBox,
                  "info: " + thirtyOne + " is more than 30 characters please reduce it",
                  kNewGroupBox, kNewGroupBox,
                  "info: " + Repeat("ä", 31) + " is more than 30 characters please reduce it"}));
    EXPECT_EQ(Groups(), (RowList{{thirty, thirty + kStamp}, {umlauts, umlauts + kStamp}}));
    EXPECT_EQ(win.listNames, (std::vector<std::string>{thirty, umlauts}));
}

TEST_F(StoreOps, NewGroupTurnsAwayNewAndTheEmptyNameSilently) {
    auto s = Open();
    NewGroup(*s, "New");  // also what Cancel returns
    NewGroup(*s, "");
    EXPECT_EQ(win.log, (std::vector<std::string>{kNewGroupBox, kNewGroupBox}));
    EXPECT_TRUE(Groups().empty());
    EXPECT_TRUE(ListFiles().empty());
    NewGroup(*s, "new");
    EXPECT_EQ(Groups(), (RowList{{"new", "new" + kStamp}}));
}

TEST_F(StoreOps, NewGroupWithoutSelectionMakesNinetySixBlankRecords) {
    auto s = Open();
    win.FillSlots("typed");
    NewGroup(*s, "Fleet");
    EXPECT_EQ(win.listNames, (std::vector<std::string>{"Fleet"}));
    EXPECT_EQ(win.listShown, "");
    EXPECT_FALSE(s->Store.HasSelection());
    EXPECT_FALSE(s->Store.IsLoaded());
    EXPECT_EQ(win.vehicle[95], "typedv95");  // the slots keep their texts
    const fs::path file = folder.ListFile("Fleet" + kStamp);
    EXPECT_EQ(Query(file, "SELECT name, type FROM pragma_table_info('records') ORDER BY cid"),
              (RowList{{"Trailer ID", "VARCHAR(16)"}, {"Vehicle ID", "VARCHAR(16)"}}));
    EXPECT_EQ(Query(file,
                    "SELECT count(*), count(NULLIF(\"Trailer ID\", '')), "
                    "count(NULLIF(\"Vehicle ID\", '')) FROM records"),
              (RowList{{"96", "0", "0"}}));

    // Loading it blanks all 128 slots.
    s->Store.Select("Fleet");
    s->Store.LoadGroup();
    EXPECT_TRUE(s->Store.IsLoaded());
    for (int k = 0; k < kVehicleSlots; ++k) EXPECT_EQ(win.vehicle[k], "") << k;
    for (int k = 0; k < kTrailerSlots; ++k) EXPECT_EQ(win.trailer[k], "") << k;
}

TEST_F(StoreOps, NewGroupWithSelectionReloadsTheSelectedGroup) {
    folder.AddGroup("Old", "old");
    auto s = Open();
    s->Store.Select("Old");
    s->Store.LoadGroup();
    win.vehicle[3] = "unsaved";
    win.answers.push_back(TConfirmAnswer::No);  // the typing is let go
    NewGroup(*s, "Fresh");
    EXPECT_EQ(win.log.front(), "confirm: Save changes to the Old Group?");
    EXPECT_EQ(win.vehicle[3], "Oldv3");  // reloaded from disk
    EXPECT_EQ(win.listNames, (std::vector<std::string>{"Old", "Fresh"}));
    EXPECT_EQ(win.listShown, "Old");
    EXPECT_EQ(s->Store.SelectedName(), "Old");
    EXPECT_TRUE(s->Store.IsLoaded());
    EXPECT_EQ(s->Groups.LoadedGroup().IDs().Vehicle[3], "Oldv3");
}

TEST_F(StoreOps, DuplicateNameFailsWithTheKeyErrorAndStoresNothing) {
    folder.AddGroup("Fleet", "fleet");
    auto s = Open();
    win.inputs.push_back("Fleet");
    try {
        s->Store.NewGroup();
        ADD_FAILURE() << "a second Fleet was made";
    } catch (const EDBEngineError& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.rfind("IDGroupTable: ", 0), 0u) << text;
        EXPECT_NE(text.find(folder.GroupsFile().string()), std::string::npos) << text;
        EXPECT_NE(text.find(".\nA group named \"Fleet\" exists already. Choose it from the "
                            "list, or give another name."),
                  std::string::npos)
            << text;
    }
    EXPECT_EQ(Groups(), (RowList{{"Fleet", "fleet"}}));
    EXPECT_EQ(ListFiles(), (std::vector<std::string>{"fleet.db"}));
    EXPECT_EQ(s->Store.GroupList(), (std::vector<std::string>{"Fleet"}));
    NewGroup(*s, "Other");  // the store carries on
    EXPECT_EQ(Groups().size(), 2u);
}

TEST_F(StoreOps, NewGroupIsAllOrNothingWhenItsTableCannotBeMade) {
    folder.AddGroup("Keep", "keep");
    auto s = Open();
    s->Store.Select("Keep");
    s->Store.LoadGroup();
    const auto before = Snapshot(folder.home.root());

    // A name that would reach into another folder is refused before anything is made.
    win.inputs.push_back("a/b");
    s->Store.NewGroup();
    EXPECT_EQ(win.log.back(),
              "info: the group name \"a/b\" holds \"/\", which Windows does not allow in a "
              "file name");
    EXPECT_EQ(Snapshot(folder.home.root()), before);
    EXPECT_EQ(s->Store.GroupList(), (std::vector<std::string>{"Keep"}));

    // A table that cannot be made: nothing is stored.
    const fs::path listDir = folder.home.idListDir();
    fs::rename(listDir, listDir.string() + ".away");
    std::ofstream(listDir) << "not a folder";
    EXPECT_THROW(NewGroup(*s, "Blocked"), EDBEngineError);
    EXPECT_EQ(Groups(), (RowList{{"Keep", "keep"}}));
    fs::remove(listDir);
    fs::rename(listDir.string() + ".away", listDir);

    // The selection still holds and a later group is made as usual; a name something
    // else holds already is passed over, and that stays untouched.
    EXPECT_EQ(s->Store.SelectedName(), "Keep");
    const fs::path obstacle = folder.ListFile("Later" + kStamp);
    fs::create_directories(obstacle / "inside");
    NewGroup(*s, "Later");
    EXPECT_TRUE(fs::is_directory(obstacle / "inside"));
    EXPECT_EQ(Groups(),
              (RowList{{"Keep", "keep"}, {"Later", "Later 07-12-2026 14_05_33 (2) by "}}));
    EXPECT_EQ(win.listNames, (std::vector<std::string>{"Keep", "Later"}));
    EXPECT_EQ(win.listShown, "Keep");
    EXPECT_TRUE(s->Store.IsLoaded());
}

TEST_F(StoreOps, SelectIsExactAndTheFirstOfDuplicatesWins) {
    // A groups table without the key, as an older setup might have left it.
    fs::remove(folder.GroupsFile());
    Sql(folder.GroupsFile(),
        "CREATE TABLE records (\"Group Name\" VARCHAR(30), IDListName VARCHAR(150))");
    folder.AddGroup("Twin", "first");
    folder.AddGroup("Twin", "second");
    folder.AddGroup("twin", "lower");
    Sql(folder.ListFile("second"), "UPDATE records SET \"Vehicle ID\" = 'second' WHERE rowid = 1");
    auto s = Open();
    s->Store.Select("Twin");
    s->Store.LoadGroup();
    EXPECT_EQ(win.vehicle[0], "Twinv0");
    s->Store.Select("twin");
    s->Store.LoadGroup();
    EXPECT_EQ(win.vehicle[0], "twinv0");
    for (const char* miss : {"TWIN", "Twi", ""}) {
        s->Store.Select(miss);
        EXPECT_FALSE(s->Store.HasSelection()) << miss;
    }
}

TEST_F(StoreOps, LoadGroupFillsTheSlotsFromTheTable) {
    folder.AddGroup("A", "a");
    Sql(folder.ListFile("a"), "UPDATE records SET \"Trailer ID\" = 'junk' WHERE rowid > 32");
    auto s = Open();
    s->Store.LoadGroup();  // empty selection: nothing
    EXPECT_FALSE(s->Store.IsLoaded());
    s->Store.Select("A");
    s->Store.LoadGroup();
    for (int k = 0; k < kVehicleSlots; ++k) EXPECT_EQ(win.vehicle[k], "Av" + std::to_string(k));
    for (int k = 0; k < kTrailerSlots; ++k) EXPECT_EQ(win.trailer[k], "At" + std::to_string(k));
    // Choosing the same group again discards edits.
    win.trailer[0] = "edited";
    s->Store.Select("A");
    s->Store.LoadGroup();
    EXPECT_EQ(win.trailer[0], "At0");
}

TEST_F(StoreOps, LoadGroupWithoutAUsableTableLoadsNothing) {
    folder.AddGroup("A", "a");
    folder.AddGroup("NoName", "", -1);
    folder.AddGroup("Gone", "gone", -1);
    auto s = Open();
    s->Store.Select("A");
    s->Store.LoadGroup();
    win.vehicle[0] = "mine";

    s->Store.Select("NoName");
    s->Store.LoadGroup();
    EXPECT_FALSE(s->Store.IsLoaded());
    EXPECT_EQ(win.vehicle[0], "mine");

    s->Store.Select("Gone");
    EXPECT_THROW(s->Store.LoadGroup(), EDBEngineError);
    EXPECT_FALSE(s->Store.IsLoaded());
    EXPECT_FALSE(fs::exists(folder.ListFile("gone")));
    EXPECT_EQ(win.vehicle[0], "mine");
    try {
        s->Store.SaveGroup();
        ADD_FAILURE() << "saved without a loaded group";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "IDListTable: Cannot perform this operation on a closed dataset");
    }
}

TEST_F(StoreOps, SaveGroupWritesAllNinetySixRecords) {
    folder.AddGroup("A", "a");
    auto s = Open();
    s->Store.SaveGroup();
    EXPECT_EQ(win.log, (std::vector<std::string>{"info: Please select a group to save to"}));
    s->Store.Select("A");
    s->Store.LoadGroup();
    win.FillSlots("s");
    win.vehicle[0] = "0123456789abcdefX";  // 17 characters
    win.trailer[1] = "ÄÖÜäöüß0123456789";  // 17 characters, more bytes
    s->Store.SaveGroup();
    EXPECT_EQ(win.log.size(), 1u);  // no message on success
    const RowList rows = Query(folder.ListFile("a"),
                               "SELECT \"Trailer ID\", \"Vehicle ID\" FROM records ORDER BY rowid");
    ASSERT_EQ(rows.size(), 96u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"st0", "0123456789abcdef"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"ÄÖÜäöüß012345678", "sv1"}));
    for (int k = 2; k < kVehicleSlots; ++k) {
        const std::string trailer = k < kTrailerSlots ? "st" + std::to_string(k) : "";
        EXPECT_EQ(rows[k], (std::vector<std::string>{trailer, "sv" + std::to_string(k)})) << k;
    }
    // What the transfers then send.
    EXPECT_EQ(s->Groups.LoadedGroup().IDs().Vehicle[0], "0123456789abcdef");
}

TEST_F(StoreOps, SaveGroupGoesToTheLoadedGroupNotTheSelectedOne) {
    folder.AddGroup("A", "a");
    folder.AddGroup("B", "b");
    auto s = Open();
    s->Store.Select("A");
    s->Store.LoadGroup();
    s->Store.Select("B");
    win.vehicle[5] = "here";
    s->Store.SaveGroup();
    EXPECT_EQ(Query(folder.ListFile("a"), "SELECT \"Vehicle ID\" FROM records WHERE rowid = 6"),
              (RowList{{"here"}}));
    EXPECT_EQ(Query(folder.ListFile("b"), "SELECT \"Vehicle ID\" FROM records WHERE rowid = 6"),
              (RowList{{"Bv5"}}));
}

TEST_F(StoreOps, DeleteGroupAsksThenRemovesRecordAndTable) {
    folder.AddGroup("A", "a");
    folder.AddGroup("B", "b");
    auto s = Open();
    s->Store.DeleteGroup();  // empty selection: message, no question
    EXPECT_EQ(win.log, (std::vector<std::string>{"info: Please select a group to delete"}));

    win.log.clear();
    s->Store.Select("B");  // selected but nothing loaded: question first, then the message
    win.answers = {TConfirmAnswer::Yes};
    s->Store.DeleteGroup();
    EXPECT_EQ(win.log, (std::vector<std::string>{"confirm: Delete the B Group?",
                                                 "info: Please select a group to delete"}));

    s->Store.LoadGroup();
    for (TConfirmAnswer no : {TConfirmAnswer::No, TConfirmAnswer::Cancel}) {
        win.answers = {no};
        s->Store.DeleteGroup();
    }
    EXPECT_EQ(Groups().size(), 2u);
    EXPECT_TRUE(s->Store.IsLoaded());

    win.log.clear();
    win.answers = {TConfirmAnswer::Yes};
    s->Store.DeleteGroup();
    EXPECT_EQ(win.log, (std::vector<std::string>{"confirm: Delete the B Group?"}));
    EXPECT_EQ(Groups(), (RowList{{"A", "a"}}));
    EXPECT_EQ(ListFiles(), (std::vector<std::string>{"a.db"}));
    EXPECT_EQ(win.listNames, (std::vector<std::string>{"A"}));
    EXPECT_EQ(win.listShown, "");
    EXPECT_FALSE(s->Store.HasSelection());
    EXPECT_FALSE(s->Store.IsLoaded());
    for (int k = 0; k < kVehicleSlots; ++k) EXPECT_EQ(win.vehicle[k], "") << k;
    for (int k = 0; k < kTrailerSlots; ++k) EXPECT_EQ(win.trailer[k], "") << k;
}

TEST_F(StoreOps, DeleteTakesOnlyTheTableItsRecordNamedAndSaysWhenItWasGone) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows lets no program remove a table that a window holds open";
#endif
    // A groups table without the key, as an older setup may have left it.
    fs::remove(folder.GroupsFile());
    Sql(folder.GroupsFile(),
        "CREATE TABLE records (\"Group Name\" VARCHAR(30), IDListName VARCHAR(150))");
    auto s = Open();
    NewGroup(*s, "A");
    s->Store.Select("A");
    s->Store.LoadGroup();
    // Another program removes its table and makes another under its name; another copy
    // makes an A in the same second (with a table name of its own), chooses A, which is
    // the first A, and saves into that other table.
    fs::remove(folder.ListFile("A" + kStamp));
    RawDb(folder.ListFile("A" + kStamp))
        .Exec("CREATE TABLE records (\"Trailer ID\" VARCHAR(16), \"Vehicle ID\" VARCHAR(16))");
    ScriptedWindow otherWin;
    TWindowStore other(folder.paths, otherWin);
    other.Store.OpenStore();
    otherWin.inputs.push_back("A");
    other.Store.NewGroup();
    other.Store.Select("A");
    other.Store.LoadGroup();
    otherWin.FillSlots("other");
    other.Store.SaveGroup();

    win.log.clear();
    win.answers = {TConfirmAnswer::Yes};
    s->Store.DeleteGroup();
    EXPECT_EQ(win.log, (std::vector<std::string>{
                           "confirm: Delete the A Group?",
                           "info: The A Group was deleted (its table was already gone)"}));
    EXPECT_EQ(Groups(), (RowList{{"A", "A 07-12-2026 14_05_33 (2) by "}}));
    EXPECT_EQ(Rows(folder.ListFile("A" + kStamp))[0][1], "otherv0");
    EXPECT_EQ(win.listNames, (std::vector<std::string>{"A"}));
    EXPECT_FALSE(s->Store.HasSelection());
}

TEST_F(StoreOps, IDListNamesFromDiskNeverReachOutsideTheIDListDirectory) {
    folder.AddGroup("A", "a");
    folder.AddGroup("Escape", "../IDGroup", -1);
    folder.AddGroup("Absolute", (folder.home.groupsDir() / "IDGroup").string(), -1);
    auto s = Open();
    const auto outside = [&] {
        auto snap = Snapshot(folder.home.root());
        for (auto it = snap.begin(); it != snap.end();)
            it = it->first.rfind(folder.home.idListDir().string(), 0) == 0 ||
                         it->first == folder.GroupsFile().string()
                     ? snap.erase(it)
                     : std::next(it);
        return snap;
    };
    const auto before = outside();

    for (const char* name : {"Escape", "Absolute"}) {
        s->Store.Select(name);
        EXPECT_THROW(s->Store.LoadGroup(), EDBEngineError) << name;
        EXPECT_FALSE(s->Store.IsLoaded());
    }
    // Deleting acts on the selected group while another one is loaded: the record
    // goes, the groups table itself stays.
    s->Store.Select("A");
    s->Store.LoadGroup();
    s->Store.Select("Escape");
    win.answers = {TConfirmAnswer::Yes};
    EXPECT_THROW(s->Store.DeleteGroup(), EDBEngineError);
    EXPECT_EQ(outside(), before);
    ASSERT_TRUE(fs::exists(folder.GroupsFile()));
    EXPECT_EQ(IntegrityCheck(folder.GroupsFile()), "ok");
    EXPECT_EQ(Query(folder.GroupsFile(), "SELECT \"Group Name\" FROM records ORDER BY rowid"),
              (RowList{{"A"}, {"Absolute"}}));
    EXPECT_EQ(ListFiles(), (std::vector<std::string>{"a.db"}));
}

}  // namespace

// POSIX only: a full disk is played by a child process with a file size limit (the
// full disk at every write in turn, through a faulty file system, runs everywhere).
#ifndef _WIN32
namespace {

using namespace storetest;

// Runs `f` in a child whose files cannot grow beyond `limit` bytes, as on a full disk.
std::string OnFullDisk(rlim_t limit, const std::function<void()>& f) {
    return InChild(
        [limit] {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit r{limit, limit};
            setrlimit(RLIMIT_FSIZE, &r);
        },
        f);
}

TEST_F(StoreOps, SaveGroupOnAFullDiskLeavesTheGroupAsItWas) {
    folder.AddGroup("A", "a");
    const fs::path file = folder.ListFile("a");
    const RowList before = Query(file, "SELECT * FROM records ORDER BY rowid");
    const std::string result = OnFullDisk(static_cast<rlim_t>(fs::file_size(file)), [&] {
        auto s = Open();
        s->Store.Select("A");
        s->Store.LoadGroup();
        win.vehicle.fill("0123456789abcdef");
        win.trailer.fill("fedcba9876543210");
        s->Store.SaveGroup();
    });
    EXPECT_EQ(result.rfind("engine|IDListTable: ", 0), 0u) << result;
    EXPECT_NE(result.find(file.string()), std::string::npos) << result;
    EXPECT_EQ(IntegrityCheck(file), "ok");
    EXPECT_EQ(Query(file, "SELECT * FROM records ORDER BY rowid"), before);
}

}  // namespace
#endif
