// haltguard-ids-groups: the file rules, the all-or-nothing import and restore, and
// the tool as built (exit codes, a busy store) inside a temporary home.

#include <cstdio>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "sheets/GroupFile.h"
#include "tests/common/CommandRun.h"
#include "tests/store/FaultVfs.h"
#include "tests/store/StoreSupport.h"
#include "tools/groups/ToolStore.h"

namespace {

using namespace storetest;

const std::string kStamp = " 07-12-2026 14_05_33 by ";
const char* const kFourFaults =
    "slot,vehicle,trailer\n0,ABCDEFGHIJKLMNOPQ,\n1,AB.C,\n2,Ω1,\n1,OK,\n";

TGroupIDs Numbered(const std::string& prefix) {
    TGroupIDs ids;
    for (int k = 0; k < kVehicleSlots; ++k) ids.Vehicle[k] = prefix + "V-" + std::to_string(k);
    for (int k = 0; k < kTrailerSlots; ++k) ids.Trailer[k] = prefix + "T-" + std::to_string(k);
    return ids;
}

std::string WriteGroupCsv(const TGroupIDs& ids) {
    return GroupFileBytes(ids, TSheetKind::Csv);
}

TEST(GroupsStore, GroupsAddedTogetherLeaveNoTraceWhereverAFullDiskStopsThem) {
    TStoreHome data;
    TToolStore store(data.paths, FixedClock(2026, 12, 7, 14, 5, 33));
    const auto files = FilesUnder(data.home.root());
    int failedRuns = 0;
    for (int allowed = 0; allowed < 200; ++allowed) {
        FaultVfs::FailWritesAfter("/IDs/B ", allowed);
        bool threw = false;
        try {
            store.Store().AddGroups({{"A", Numbered("a")}, {"B", Numbered("b")}});
        } catch (const EDatabaseError&) {
            threw = true;
        }
        const bool faulted = FaultVfs::Failures() > 0;
        FaultVfs::Off();
        if (!faulted) break;
        ++failedRuns;
        EXPECT_TRUE(threw);
        EXPECT_TRUE(Rows(data.GroupsFile()).empty()) << "after " << allowed << " writes";
        EXPECT_EQ(FilesUnder(data.home.root()), files) << "after " << allowed << " writes";
    }
    EXPECT_GT(failedRuns, 2);
    EXPECT_EQ(store.Names(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(store.Load("B").Trailer[31], "bT-31");
}

class GroupsTool : public ::testing::Test {
protected:
    void SetUp() override {
        const char* build = std::getenv("HG_BUILD_DIR");
        if (!build) GTEST_SKIP() << "HG_BUILD_DIR is not set (run through ctest)";
        tool = fs::path(build) / "tools" / "haltguard-ids-groups";
    }
    TCommandRun Run(const std::string& args) {
        return RunCommand("cd '" + data.home.root().string() + "' && '" + tool.string() + "' " +
                          args);
    }
    void Write(const std::string& file, const std::string& text) {
        std::ofstream(data.home.root() / file, std::ios::binary) << text;
    }
    std::string Read(const std::string& file) {
        std::ostringstream s;
        s << std::ifstream(data.home.root() / file, std::ios::binary).rdbuf();
        return s.str();
    }
    // The ID list table of the only group the groups table holds.
    fs::path OnlyListFile() {
        const auto groups = Rows(data.GroupsFile());
        return groups.size() == 1 ? data.ListFile(groups[0][1]) : fs::path();
    }

    TStoreHome data;
    fs::path tool;
};

TEST_F(GroupsTool, ImportsAllOrNothingAndExportsTheFileBack) {
    Write("bad.csv", kFourFaults);
    const std::string good = WriteGroupCsv(Numbered(""));
    Write("good.csv", good);
    const auto files = FilesUnder(data.home.root());
    TCommandRun r = Run("import bad.csv Fleet");
    EXPECT_EQ(r.status, 1) << r.output;
    for (const char* place : {"bad.csv:2:3: ", "bad.csv:3:5: ", "bad.csv:4:3: ", "bad.csv:5:1: "})
        EXPECT_NE(r.output.find(place), std::string::npos) << place << " in " << r.output;
    EXPECT_EQ(FilesUnder(data.home.root()), files);

    const std::string longName(31, 'x');
    r = Run("import good.csv " + longName);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(longName + " is more than 30 characters please reduce it"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(Run("import good.csv New").status, 1);
    EXPECT_EQ(FilesUnder(data.home.root()), files);
    EXPECT_TRUE(Rows(data.GroupsFile()).empty());

    r = Run("import good.csv Fleet");
    ASSERT_EQ(r.status, 0) << r.output;
    const fs::path list = OnlyListFile();
    const auto rows = Rows(list);  // as sqlite3 shows them
    ASSERT_EQ(rows.size(), 96u);
    EXPECT_EQ(rows[31], (std::vector<std::string>{"T-31", "V-31"}));
    EXPECT_EQ(rows[32], (std::vector<std::string>{"", "V-32"}));
    EXPECT_EQ(Run("export Fleet out.csv").status, 0);
    EXPECT_EQ(Read("out.csv"), good);

    EXPECT_EQ(Run("import good.csv Fleet").status, 1);  // the name is taken
    Write("new.csv", "slot,vehicle,trailer\n5,NEW 5,T 5\n");
    r = Run("import --replace new.csv Fleet");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(OnlyListFile(), list);
    EXPECT_EQ(Rows(list)[5], (std::vector<std::string>{"T 5", "NEW 5"}));
    EXPECT_EQ(Rows(list)[6], (std::vector<std::string>{"", ""}));
}

TEST_F(GroupsTool, ExportsTheKindItsNameAndOptionsSay) {
    TGroupIDs ids = Numbered("");
    ids.Vehicle[1] = "Zoë";
    Write("good.csv", WriteGroupCsv(ids));
    ASSERT_EQ(Run("import good.csv Fleet").status, 0);
    EXPECT_EQ(Run("export --separator semicolon --encoding Windows-1252 Fleet out.csv").status, 0);
    EXPECT_EQ(Read("out.csv").substr(0, 42), "slot;vehicle;trailer\r\n0;V-0;T-0\r\n1;Zo\xEB;T-1");
    ASSERT_EQ(Run("export Fleet out.ods").status, 0);
    TCommandRun r = Run("import out.ods Copy");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Run("export Copy -").output, WriteGroupCsv(ids));
    r = Run("export --separator tab Fleet out.xlsx");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("--separator and --encoding are for a CSV file"), std::string::npos);
    Sql(data.ListFile(Rows(data.GroupsFile())[0][1]),
        "UPDATE records SET \"Vehicle ID\" = 'Ω1' WHERE rowid = 3");
    r = Run("export --encoding windows-1252 Fleet w.csv");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("vehicle slot 2: \"Ω1\" holds U+03A9, which is not in Windows-1252; "
                            "export as UTF-8"),
              std::string::npos)
        << r.output;
}

TEST_F(GroupsTool, AnImportMeetingABusyStoreWaitsThenFailsCleanly) {
    // Another program in the middle of a save to the groups table.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(data.GroupsFile().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    Write("good.csv", WriteGroupCsv(Numbered("")));
    const auto files = FilesUnder(data.home.root());
    TCommandRun r = Run("import good.csv Fleet");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("busy"), std::string::npos) << r.output;
    EXPECT_EQ(FilesUnder(data.home.root()), files);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    r = Run("import good.csv Fleet");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(IntegrityCheck(data.GroupsFile()), "ok");
}

TEST_F(GroupsTool, BacksUpAndRestoresRefusingGroupsTheStoreHas) {
    Write("a.csv", WriteGroupCsv(Numbered("a")));
    Write("b.csv", WriteGroupCsv(Numbered("b")));
    ASSERT_EQ(Run("import a.csv A").status, 0);
    ASSERT_EQ(Run("import b.csv B").status, 0);
    TCommandRun r = Run("backup saved");
    ASSERT_EQ(r.status, 0) << r.output;
    const fs::path saved = data.home.root() / "saved";
    EXPECT_EQ(Rows(saved / kGroupsTableName), Rows(data.GroupsFile()));
    const std::string listB = Rows(data.GroupsFile())[1][1];
    EXPECT_EQ(Rows(saved / "IDs" / (listB + ".db")), Rows(data.ListFile(listB)));
    EXPECT_EQ(Run("backup saved").status, 1);  // never into a folder with something in it

    const auto files = FilesUnder(data.home.root());
    r = Run("restore saved");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("\"A\""), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\"B\""), std::string::npos) << r.output;
    EXPECT_EQ(FilesUnder(data.home.root()), files);

    Sql(data.GroupsFile(), "DELETE FROM records WHERE \"Group Name\" = 'B'");
    fs::remove(data.ListFile(listB));  // as Delete would: a new table never replaces a file
    Write("a2.csv", WriteGroupCsv(Numbered("changed")));
    ASSERT_EQ(Run("import --replace a2.csv A").status, 0);
    r = Run("restore --replace saved");
    ASSERT_EQ(r.status, 0) << r.output;
    TToolStore store(data.paths, FixedClock(2026, 12, 7, 14, 5, 33));
    EXPECT_EQ(store.Names(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(store.Load("A").Vehicle, Numbered("a").Vehicle);
    EXPECT_EQ(store.Load("B").Trailer, Numbered("b").Trailer);
}

}  // namespace
