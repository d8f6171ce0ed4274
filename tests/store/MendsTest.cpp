// Failures part-way through a write: a full disk at every write in turn, a record
// removed by another program, a table cut short by hand, a refused new group while
// another is loaded.
#include <gtest/gtest.h>

#include <functional>

#include "store/TTable.h"
#include "tests/store/FaultVfs.h"
#include "tests/store/StoreSupport.h"

using namespace storetest;

namespace {

const std::string kStamp = " 07-12-2026 14_05_33 by ";

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EDatabaseError& e) {
        return e.what();
    }
    return "no error";
}

// Runs `op` with the disk full after 0, 1, 2 ... writes to files whose path holds
// `pathPart`, until a run meets no fault; `check` sees each failed run's error text.
int AtEveryWrite(const std::string& pathPart, const std::function<void()>& op,
                 const std::function<void(const std::string&)>& check) {
    int failedRuns = 0;
    for (int allowed = 0; allowed < 200; ++allowed) {
        FaultVfs::FailWritesAfter(pathPart, allowed);
        const std::string error = ErrorOf(op);
        const bool failed = FaultVfs::Failures() > 0;
        FaultVfs::Off();
        if (!failed) {
            EXPECT_EQ(error, "no error");
            return failedRuns;
        }
        ++failedRuns;
        SCOPED_TRACE("disk full after " + std::to_string(allowed) + " writes");
        check(error);
    }
    ADD_FAILURE() << "the operation never got through";
    return failedRuns;
}

class Mends : public ::testing::Test {
protected:
    Mends() : opened(data.paths, window), store(opened.Store) { store.OpenStore(); }
    void Add(const std::string& name, const std::string& fill) {
        window.inputs.push_back(name);
        store.NewGroup();
        store.Select(name);
        store.LoadGroup();
        window.FillSlots(fill);
        store.SaveGroup();
    }
    std::vector<std::vector<std::string>> ListRows(const std::string& group) {
        return Rows(data.ListFile(group + kStamp));
    }

    TStoreHome data;
    ScriptedWindow window;
    TWindowStore opened;
    TIDGroupStore& store;
};

TEST_F(Mends, NewGroupOnAFullDiskStoresNothingWhereverItStops) {
    Add("A", "a");
    const auto files = FilesUnder(data.home.root());
    const auto groups = Rows(data.GroupsFile());
    const int failed = AtEveryWrite(
        "/IDs/Full",
        [&] {
            window.inputs.push_back("Full");
            store.NewGroup();
        },
        [&](const std::string& error) {
            EXPECT_EQ(error.rfind("IDListTable: Disk is full while", 0), 0u) << error;
            EXPECT_EQ(Rows(data.GroupsFile()), groups);
            EXPECT_EQ(FilesUnder(data.home.root()), files);  // no half-made table left
            EXPECT_EQ(store.GroupList(), (std::vector<std::string>{"A"}));
        });
    EXPECT_GT(failed, 2);
    EXPECT_EQ(store.GroupList(), (std::vector<std::string>{"A", "Full"}));
    EXPECT_EQ(ListRows("Full").size(), 96u);
}

TEST_F(Mends, SaveGroupOnAFullDiskLeavesTheGroupWholeWhereverItStops) {
    Add("A", "old");
    const auto old = ListRows("A");
    window.FillSlots("new");
    const int failed = AtEveryWrite(
        "/IDs/A ", [&] { store.SaveGroup(); },
        [&](const std::string& error) {
            EXPECT_EQ(error.rfind("IDListTable: Disk is full while", 0), 0u) << error;
            EXPECT_EQ(IntegrityCheck(data.ListFile("A" + kStamp)), "ok");
            EXPECT_EQ(ListRows("A"), old);
        });
    EXPECT_GT(failed, 0);
    EXPECT_EQ(ListRows("A")[95][1], "newv95");
    // The handle's cache followed each rollback: a load gives what is on disk.
    store.LoadGroup();
    EXPECT_EQ(window.vehicle[0], "newv0");
}

TEST_F(Mends, ARefusedNewGroupLeavesTheLoadedGroupLoaded) {
    Add("A", "a");
    window.inputs.push_back("A");  // refused by the key at the groups record
    EXPECT_THROW(store.NewGroup(), EDBEngineError);
    EXPECT_TRUE(store.IsLoaded());
    EXPECT_EQ(store.SelectedName(), "A");
    window.FillSlots("b");
    store.SaveGroup();
    EXPECT_EQ(ListRows("A")[0][1], "bv0");
}

TEST_F(Mends, AShortTableLoadsBlanksAndSavesWhole) {
    Add("S", "s");
    Sql(data.ListFile("S" + kStamp), "DELETE FROM records WHERE rowid > 90");
    store.LoadGroup();
    EXPECT_EQ(window.vehicle[89], "sv89");
    EXPECT_EQ(window.vehicle[90], "");  // not a repeat of the last record
    window.FillSlots("t");
    store.SaveGroup();
    const auto rows = ListRows("S");
    ASSERT_EQ(rows.size(), 96u);
    EXPECT_EQ(rows[95], (std::vector<std::string>{"", "tv95"}));
}

TEST_F(Mends, ARecordRemovedByAnotherProgramIsNotReportedAsSaved) {
    Add("A", "a");
    Sql(data.ListFile("A" + kStamp), "DELETE FROM records WHERE rowid = 1");
    const std::string file = data.ListFile("A" + kStamp).string();
    EXPECT_EQ(ErrorOf([&] { store.SaveGroup(); }),
              "IDListTable: Record was deleted by another user: " + file +
                  ". Nothing was saved: choose the group again to see the other change (that "
                  "replaces what the boxes show)");
    EXPECT_EQ(Rows(file).size(), 95u);  // the save was rolled back as a whole
    EXPECT_EQ(Rows(file)[0][1], "av1");

    TTable t("H");
    t.SetDatabaseName(data.paths.IDListDir);
    t.SetTableName("A" + kStamp);
    t.Open();
    Sql(file, "DELETE FROM records WHERE rowid = 2");
    EXPECT_EQ(ErrorOf([&] { t.Delete(); }), "H: Record was deleted by another user: " + file);
}

TEST_F(Mends, ASaveRetriedAfterAConflictIsRefusedAlikeUntilTheGroupIsChosenAgain) {
    Add("A", "mine");
    ScriptedWindow otherWindow;
    TWindowStore otherCopy(data.paths, otherWindow);
    TIDGroupStore& other = otherCopy.Store;
    other.OpenStore();
    other.Select("A");
    other.LoadGroup();
    otherWindow.vehicle[0] = "OTHER";
    other.SaveGroup();

    window.vehicle[0] = "TYPED";
    const std::string refused =
        "IDListTable: Record was changed by another user: " + data.ListFile("A" + kStamp).string() +
        ". Nothing was saved: choose the group again to see the other change (that replaces "
        "what the boxes show)";
    EXPECT_EQ(ErrorOf([&] { store.SaveGroup(); }), refused);
    EXPECT_EQ(ErrorOf([&] { store.SaveGroup(); }), refused);
    EXPECT_EQ(ListRows("A")[0][1], "OTHER");
    EXPECT_EQ(window.vehicle[0], "TYPED");
    store.Select("A");
    store.LoadGroup();
    EXPECT_EQ(window.vehicle[0], "OTHER");
    window.vehicle[0] = "TYPED";
    store.SaveGroup();
    EXPECT_EQ(ListRows("A")[0][1], "TYPED");
}

TEST_F(Mends, AddingGroupsKeepsIDGroupDbFreeWhileItWritesTheirTables) {
    ScriptedWindow otherWindow;
    TWindowStore otherCopy(data.paths, otherWindow, FixedClock(2026, 12, 7, 9, 0, 0));
    TIDGroupStore& other = otherCopy.Store;
    other.OpenStore();
    // Another copy's New in the middle, which needs IDGroup.db's write lock for its record.
    std::string otherError = "no error";
    FaultVfs::AtFirstWrite("/IDs/B ", [&] {
        otherWindow.inputs.push_back("Other");
        otherError = ErrorOf([&] { other.NewGroup(); });
    });
    opened.Groups.Add({{"A", {}}, {"B", {}}});
    FaultVfs::Off();
    EXPECT_EQ(otherError, "no error");
    EXPECT_EQ(Rows(data.GroupsFile()), (RowList{{"Other", "Other 07-12-2026 09_00_00 by "},
                                                {"A", "A" + kStamp},
                                                {"B", "B" + kStamp}}));
}

TEST_F(Mends, TwoCopiesCannotDeleteEachOthersGroupsNorLoadADamagedTable) {
#ifndef _WIN32  // Windows lets no copy delete a table that the other holds open
    Add("A", "a");
    ScriptedWindow otherWindow;
    TWindowStore otherCopy(data.paths, otherWindow);
    TIDGroupStore& other = otherCopy.Store;
    other.OpenStore();
    other.Select("A");
    other.LoadGroup();
    // This copy deletes A and makes it anew in the same second: the same record values.
    window.answers = {TConfirmAnswer::Yes};
    store.DeleteGroup();
    window.inputs.push_back("A");
    store.NewGroup();
    otherWindow.answers = {TConfirmAnswer::Yes};
    EXPECT_EQ(ErrorOf([&] { other.DeleteGroup(); }),
              "IDGroupTable: Record was deleted by another user: " + data.GroupsFile().string());
    EXPECT_EQ(Rows(data.GroupsFile()),
              (std::vector<std::vector<std::string>>{{"A", "A" + kStamp}}));
    EXPECT_EQ(ListRows("A").size(), 96u);
    EXPECT_FALSE(other.IsLoaded());
    EXPECT_EQ(otherWindow.listNames, (std::vector<std::string>{"A"}));
#endif

    // A table cut short mid-file is refused: nothing loaded, the slots keep their texts.
    Add("B", "b");
    const fs::path file = data.ListFile("B" + kStamp);
    fs::resize_file(file, fs::file_size(file) - 3000);
    window.FillSlots("typed");
    EXPECT_EQ(ErrorOf([&] { store.LoadGroup(); }),
              "IDListTable: Table is damaged: " + file.string());
    EXPECT_FALSE(store.IsLoaded());
    EXPECT_EQ(window.vehicle[95], "typedv95");
}

}  // namespace
