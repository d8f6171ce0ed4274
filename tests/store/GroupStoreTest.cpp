// The ID group store driven through a scripted window and scripted boxes.
#include <gtest/gtest.h>

#include <regex>

#include "tests/store/FaultVfs.h"
#include "tests/store/StoreSupport.h"

using namespace storetest;

namespace {

const std::string kStamp = " 07-12-2026 14_05_33 by ";

class StoreTest : public ::testing::Test {
protected:
    StoreTest() : store(window, boxes, data.paths, FixedClock(2026, 12, 7, 14, 5, 33)) {}

    // A group made through the store, then filled with IDs prefixed by `fill`.
    void Add(const std::string& name, const std::string& fill = "") {
        boxes.texts.push_back(name);
        store.NewGroup();
        if (fill.empty()) return;
        const std::string was = store.SelectedName();
        store.Select(name);
        store.LoadGroup();
        window.Fill(fill);
        store.SaveGroup();
        store.Select(was);
    }
    std::vector<std::vector<std::string>> ListRows(const std::string& group) {
        return Rows(data.ListFile(group + kStamp));
    }
    static std::string ErrorOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const EDatabaseError& e) {
            return e.what();
        }
        return "no error";
    }

    TStoreHome data;
    TScriptedWindow window;
    TScriptedBoxes boxes;
    TIDGroupStore store;
};

TEST_F(StoreTest, OpenStoreListsGroupsInTableOrderWithAnEmptySelection) {
    Sql(data.GroupsFile(),
        "INSERT INTO records VALUES ('Zeta', 'z'); INSERT INTO records VALUES ('Alpha', 'a')");
    store.OpenStore();
    EXPECT_EQ(window.listNames, (std::vector<std::string>{"Zeta", "Alpha"}));
    EXPECT_EQ(window.listShown, "");
    EXPECT_FALSE(store.HasSelection());
    EXPECT_FALSE(store.IsLoaded());
    EXPECT_EQ(NetFileDir(), data.paths.GroupsDir);

    // A second window's store on the same table works beside this one.
    TScriptedWindow w2;
    TIDGroupStore second(w2, boxes, data.paths);
    second.OpenStore();
    EXPECT_EQ(w2.listNames, window.listNames);
}

TEST_F(StoreTest, OpenStoreFailuresLeaveTheStoreClosed) {
    fs::remove(data.GroupsFile());
    EXPECT_EQ(ErrorOf([&] { store.OpenStore(); }),
              "IDGroupTable: Table does not exist: " + data.GroupsFile().string());
    EXPECT_TRUE(store.GroupList().empty());
    boxes.texts.push_back("G");
    EXPECT_EQ(ErrorOf([&] { store.NewGroup(); }),
              "IDGroupTable: Cannot perform this operation on a closed dataset");

    Sql(data.GroupsFile(), "CREATE TABLE records (\"Group Name\" VARCHAR(30))");
    EXPECT_EQ(ErrorOf([&] { store.OpenStore(); }), "IDGroupTable: Field 'IDListName' not found");
    EXPECT_FALSE(store.IDGroupTable().Active());

    TStorePaths missing{(data.home.root() / "none").string(), ""};
    TIDGroupStore nowhere(window, boxes, missing);
    EXPECT_THROW(nowhere.OpenStore(), EDBEngineError);
    EXPECT_FALSE(fs::exists(missing.GroupsDir));
}

TEST_F(StoreTest, NewGroupNamesAndTheirChecks) {
    store.OpenStore();
    const std::string thirty(30, 'n'), thirtyOne(31, 'n');
    std::string accented;
    for (int i = 0; i < 30; ++i) accented += "é";  // 30 characters, 60 bytes
    for (const std::string& name :
         {std::string("New"), std::string(""), thirtyOne, thirty, std::string("new"), accented}) {
        boxes.texts.push_back(name);
        store.NewGroup();
    }
    EXPECT_EQ(boxes.inputs[0], "Identities - New Group|Please Enter a new group name|New");
    EXPECT_EQ(
        boxes.informations,
        (std::vector<std::string>{thirtyOne + " is more than 30 characters please reduce it"}));
    EXPECT_EQ(store.GroupList(), (std::vector<std::string>{thirty, "new", accented}));
    EXPECT_EQ(window.listNames, store.GroupList());

    // The new group's table: 96 blank records of two 16-character fields.
    const fs::path file = data.ListFile("new" + kStamp);
    EXPECT_EQ(
        Scalar(data.GroupsFile(), "SELECT IDListName FROM records WHERE \"Group Name\"='new'"),
        "new" + kStamp);
    EXPECT_EQ(
        Scalar(file, "SELECT group_concat(name || ':' || type) FROM pragma_table_info('records')"),
        "Trailer ID:VARCHAR(16),Vehicle ID:VARCHAR(16)");
    const auto rows = Rows(file);
    ASSERT_EQ(rows.size(), 96u);
    for (const auto& r : rows) EXPECT_EQ(r, (std::vector<std::string>{"", ""}));
}

TEST_F(StoreTest, IDListNameFromTheClock) {
    EXPECT_EQ(store.BuildIDListName("a:b/c"), "a:b/c" + kStamp);  // the name stays as given
    TIDGroupStore midnight(window, boxes, data.paths, FixedClock(2026, 12, 7, 0, 0, 0));
    EXPECT_EQ(midnight.BuildIDListName("G"), "G 07-12-2026 by ");
    TIDGroupStore second(window, boxes, data.paths, FixedClock(2026, 12, 7, 0, 0, 1));
    EXPECT_EQ(second.BuildIDListName("G"), "G 07-12-2026 00_00_01 by ");
    TDateTimeSource odd = FixedClock(2026, 1, 2, 3, 4, 5);
    odd.ShortDate = [](const std::tm&) { return std::string("2026/01/02"); };
    odd.LongTime = [](const std::tm&) { return std::string("3:04:05 AM"); };
    TIDGroupStore other(window, boxes, data.paths, odd);
    EXPECT_EQ(other.BuildIDListName("G"), "G 2026-01-02 3_04_05 AM by ");

    const TDateTimeSource system = DefaultDateTimeSource();
    const std::tm now = system.Now();
    EXPECT_TRUE(std::regex_match(system.ShortDate(now), std::regex(R"(\d\d/\d\d/\d{4})")));
    EXPECT_TRUE(std::regex_match(system.LongTime(now), std::regex(R"(\d\d:\d\d:\d\d)")));
}

TEST_F(StoreTest, SelectLoadAndReload) {
    store.OpenStore();
    Add("A", "a");
    Add("B", "b");
    window.Fill("typed");
    store.LoadGroup();  // nothing selected: nothing changes
    EXPECT_EQ(window.vehicles[0], "typedV0");
    for (const std::string none : {"", "a", "Unknown"}) {
        store.Select(none);
        EXPECT_FALSE(store.HasSelection()) << none;
    }
    store.Select("B");
    store.LoadGroup();
    EXPECT_TRUE(store.IsLoaded());
    EXPECT_EQ(window.vehicles[95], "bV95");
    EXPECT_EQ(window.trailers[31], "bT31");
    window.vehicles[3] = "unsaved";
    store.LoadGroup();  // choosing the same group again discards edits
    EXPECT_EQ(window.vehicles[3], "bV3");
    EXPECT_EQ(store.IDGroupTable().FieldAsString(kGroupNameField), "B");

    // Record access as the transfers use it; a pending edit is stored on Next.
    TTable& list = store.IDListTable();
    list.First();
    list.Edit();
    list.SetFieldAsString(kVehicleIDField, "sent back");
    list.Next();
    EXPECT_EQ(ListRows("B")[0][1], "sent back");
}

TEST_F(StoreTest, LoadOfAGroupWithoutAUsableTable) {
    store.OpenStore();
    Add("A", "a");
    Sql(data.GroupsFile(),
        "INSERT INTO records VALUES ('Empty', ''); INSERT INTO records VALUES ('Gone', 'gone');"
        "INSERT INTO records VALUES ('Up', '../IDGroup')");
    store.IDGroupTable().Close();
    store.OpenStore();
    window.Fill("kept");
    const auto before = FilesUnder(data.home.root());
    store.Select("Empty");
    store.LoadGroup();
    EXPECT_FALSE(store.IsLoaded());
    store.Select("Gone");
    EXPECT_THROW(store.LoadGroup(), EDBEngineError);
    store.Select("Up");
    EXPECT_EQ(ErrorOf([&] { store.LoadGroup(); }).rfind("IDListTable: Table name refused", 0), 0u);
    EXPECT_FALSE(store.IsLoaded());
    EXPECT_EQ(window.vehicles[0], "keptV0");
    EXPECT_EQ(FilesUnder(data.home.root()), before);

    EXPECT_EQ(ErrorOf([&] { store.SaveGroup(); }),
              "IDListTable: Cannot perform this operation on a closed dataset");
    boxes.answers.push_back(TConfirmAnswer::Yes);
    store.DeleteGroup();
    EXPECT_EQ(boxes.questions.back(), "Delete the Up Group?");
    EXPECT_EQ(boxes.informations.back(), "Please select a group to delete");
    EXPECT_EQ(store.GroupList().size(), 4u);
}

TEST_F(StoreTest, LoadAndSaveOfAShortTableNeverDropASlot) {
    store.OpenStore();
    Add("S", "s");
    Sql(data.ListFile("S" + kStamp), "DELETE FROM records WHERE rowid > 90");
    store.Select("S");
    store.LoadGroup();
    EXPECT_EQ(window.vehicles[89], "sV89");
    EXPECT_EQ(window.vehicles[90], "");  // not a repeat of the last record
    window.Fill("t");
    store.SaveGroup();
    const auto rows = ListRows("S");
    ASSERT_EQ(rows.size(), 96u);
    EXPECT_EQ(rows[95][1], "tV95");
}

TEST_F(StoreTest, NewGroupKeepsTheSelectionAndReloadsIt) {
    store.OpenStore();
    window.Fill("typed");
    Add("First");  // with an empty selection: nothing loaded, slots kept
    EXPECT_FALSE(store.IsLoaded());
    EXPECT_FALSE(store.HasSelection());
    EXPECT_EQ(window.vehicles[7], "typedV7");
    EXPECT_EQ(window.listShown, "");

    Add("A", "a");
    store.Select("A");
    store.LoadGroup();
    window.vehicles[0] = "unsaved";
    Add("Second");
    EXPECT_EQ(store.SelectedName(), "A");
    EXPECT_EQ(window.listShown, "A");
    EXPECT_EQ(window.listNames, (std::vector<std::string>{"First", "A", "Second"}));
    EXPECT_TRUE(store.IsLoaded());
    EXPECT_EQ(window.vehicles[0], "aV0");  // reloaded from disk
    EXPECT_EQ(store.IDListTable().TableName(), "A" + kStamp);
}

TEST_F(StoreTest, FailedNewGroupStoresNothing) {
    store.OpenStore();
    Add("A", "a");
    store.Select("A");
    store.LoadGroup();
    const auto before = FilesUnder(data.home.root());
    const auto groupsBefore = Rows(data.GroupsFile());

    // A second group of the same name: the key refuses it, the loaded group stays.
    boxes.texts.push_back("A");
    EXPECT_EQ(ErrorOf([&] { store.NewGroup(); }),
              "IDGroupTable: Key violation: a record with the same key already exists in table " +
                  data.GroupsFile().string());
    EXPECT_TRUE(store.IsLoaded());
    // A name the engine cannot use as a table name.
    for (const std::string bad : {"a/b", "..", "../../x"}) {
        boxes.texts.push_back(bad);
        EXPECT_EQ(ErrorOf([&] { store.NewGroup(); }).rfind("IDListTable: Table name refused", 0),
                  0u);
    }
    EXPECT_EQ(Rows(data.GroupsFile()), groupsBefore);
    EXPECT_EQ(store.GroupList(), (std::vector<std::string>{"A"}));
    EXPECT_EQ(FilesUnder(data.home.root()), before);

    // A full disk at every write of the new table in turn.
    int failedRuns = 0;
    for (int allowed = 0;; ++allowed) {
        FaultVfs::FailWritesAfter("/IDs/Full", allowed);
        boxes.texts.push_back("Full");
        const std::string error = ErrorOf([&] { store.NewGroup(); });
        const bool failed = FaultVfs::Failures() > 0;
        FaultVfs::Off();
        if (!failed) {
            EXPECT_EQ(error, "no error");
            break;
        }
        ++failedRuns;
        EXPECT_EQ(error.rfind("IDListTable: Disk is full while", 0), 0u) << error;
        EXPECT_EQ(Rows(data.GroupsFile()), groupsBefore);
        EXPECT_EQ(FilesUnder(data.home.root()), before) << "after " << allowed << " writes";
        ASSERT_LT(allowed, 100);
    }
    EXPECT_GT(failedRuns, 2);
    EXPECT_EQ(store.GroupList(), (std::vector<std::string>{"A", "Full"}));
    EXPECT_EQ(ListRows("Full").size(), 96u);
}

TEST_F(StoreTest, SaveGroup) {
    store.OpenStore();
    store.SaveGroup();
    EXPECT_EQ(boxes.informations.back(), "Please select a group to save to");
    Add("A");
    Add("B", "b");
    Sql(data.ListFile("A" + kStamp), "UPDATE records SET \"Trailer ID\" = 'keep' WHERE rowid > 32");
    store.Select("A");
    store.LoadGroup();
    window.Fill("");
    window.vehicles[5] = "ABCDEFGHIJKLMNOPQRSTU";
    window.trailers[6] = "ÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄ";
    store.Select("B");  // saving goes to the loaded group, not the selected one
    store.SaveGroup();
    auto rows = ListRows("A");
    EXPECT_EQ(rows[5][1], "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(rows[6][0], "ÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄ");
    EXPECT_EQ(rows[31], (std::vector<std::string>{"T31", "V31"}));
    EXPECT_EQ(rows[32], (std::vector<std::string>{"keep", "V32"}));  // never written
    EXPECT_EQ(ListRows("B")[0][1], "bV0");

    // A full disk at every write of the save in turn: the group stays as it was.
    window.Fill("new");
    rows = ListRows("A");
    int failedRuns = 0;
    for (int allowed = 0;; ++allowed) {
        FaultVfs::FailWritesAfter("/IDs/A ", allowed);
        const std::string error = ErrorOf([&] { store.SaveGroup(); });
        const bool failed = FaultVfs::Failures() > 0;
        FaultVfs::Off();
        if (!failed) break;
        ++failedRuns;
        EXPECT_EQ(error.rfind("IDListTable: Disk is full while", 0), 0u) << error;
        EXPECT_EQ(ListRows("A"), rows);
        ASSERT_LT(allowed, 100);
    }
    EXPECT_GT(failedRuns, 0);
    EXPECT_EQ(ListRows("A")[0][1], "newV0");
}

TEST_F(StoreTest, DeleteGroup) {
    store.OpenStore();
    store.DeleteGroup();  // no selection: the message without a question
    EXPECT_TRUE(boxes.questions.empty());
    EXPECT_EQ(boxes.informations, (std::vector<std::string>{"Please select a group to delete"}));
    Add("A", "a");
    Add("B", "b");
    store.Select("A");
    boxes.answers = {TConfirmAnswer::Yes};  // selected but not loaded
    store.DeleteGroup();
    EXPECT_EQ(boxes.questions, (std::vector<std::string>{"Delete the A Group?"}));
    EXPECT_EQ(boxes.informations.size(), 2u);

    store.LoadGroup();
    boxes.answers = {TConfirmAnswer::No, TConfirmAnswer::Cancel, TConfirmAnswer::Yes};
    store.DeleteGroup();
    store.DeleteGroup();
    EXPECT_EQ(store.GroupList().size(), 2u);
    EXPECT_TRUE(store.IsLoaded());
    store.DeleteGroup();
    EXPECT_EQ(window.listNames, (std::vector<std::string>{"B"}));
    EXPECT_EQ(window.listShown, "");
    EXPECT_FALSE(store.HasSelection());
    EXPECT_FALSE(store.IsLoaded());
    EXPECT_TRUE(window.AllEmpty());
    EXPECT_FALSE(fs::exists(data.ListFile("A" + kStamp)));
    EXPECT_TRUE(fs::exists(data.ListFile("B" + kStamp)));
    EXPECT_EQ(boxes.informations.size(), 2u);
}

TEST_F(StoreTest, DeleteNeverReachesOutsideTheIDListDirectory) {
    store.OpenStore();
    Add("A", "a");
    store.Select("A");
    store.LoadGroup();
    // The record now names the groups table itself.
    Sql(data.GroupsFile(), "UPDATE records SET IDListName = '../IDGroup'");
    store.IDGroupTable().Close();
    store.OpenStore();
    store.Select("A");
    boxes.answers = {TConfirmAnswer::Yes};
    EXPECT_EQ(ErrorOf([&] { store.DeleteGroup(); }).rfind("IDListTable: Table name refused", 0),
              0u);
    EXPECT_TRUE(fs::exists(data.GroupsFile()));
    EXPECT_EQ(IntegrityCheck(data.GroupsFile()), "ok");
}

TEST(StorePaths, FollowXdgDataHome) {
    TempHome home;
    EXPECT_EQ(DefaultStorePaths().GroupsDir, home.groupsDir().string());
    EXPECT_EQ(DefaultStorePaths().IDListDir, home.idListDir().string());
    const std::string saved = std::getenv("XDG_DATA_HOME");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", "/nohome", 1);
    EXPECT_EQ(DefaultStorePaths().GroupsDir, "/nohome/.local/share/Quillon/Haltguard IDs");
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

}  // namespace
