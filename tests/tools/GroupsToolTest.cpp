// haltguard-ids-groups: the file rules, the all-or-nothing import and restore, and
// the tool as built (exit codes, a busy store) inside a temporary home.

#include <cstdio>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "sheets/GroupFile.h"
#include "tests/common/CommandRun.h"
#include "tests/store/StoreSupport.h"

namespace {

using namespace storetest;

const char* const kFourFaults =
    "slot,vehicle,trailer\n0,ABCDEFGHIJKLMNOPQ,\n1,AB.C,\n2,Ω1,\n1,OK,\n";

std::string WriteGroupCsv(const TGroupIDs& ids) {
    return GroupFileBytes(ids, TSheetKind::Csv);
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
    const std::string good = WriteGroupCsv(NumberedIDs(""));
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
    r = Run("import good.csv 'Trucks?'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("the group name \"Trucks?\" holds \"?\", which Windows does not "
                            "allow in a file name"),
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
    TGroupIDs ids = NumberedIDs("");
    ids.Vehicle[1] = "Zoë";
    Write("good.csv", WriteGroupCsv(ids));
    ASSERT_EQ(Run("import good.csv Fleet").status, 0);
    EXPECT_EQ(Run("export --separator semicolon --encoding Windows-1252 Fleet out.csv").status, 0);
    EXPECT_EQ(Read("out.csv").substr(0, 48),
              "slot;vehicle;trailer\r\n=\"0\";V-0;T-0\r\n=\"1\";Zo\xEB;T-1");
    ASSERT_EQ(Run("export Fleet out.ods").status, 0);
    TCommandRun r = Run("import out.ods Copy");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Run("export Copy -").output, WriteGroupCsv(ids));
    r = Run("export --separator tab Fleet out.xlsx");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("--separator, --encoding and --plain are for a CSV file"),
              std::string::npos);
    Sql(data.ListFile(Rows(data.GroupsFile())[0][1]),
        "UPDATE records SET \"Vehicle ID\" = 'Ω1' WHERE rowid = 3");
    r = Run("export --encoding windows-1252 Fleet w.csv");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("vehicle slot 2: \"Ω1\" holds U+03A9, which is not in Windows-1252; "
                            "export as UTF-8"),
              std::string::npos)
        << r.output;
}

// What a newcomer types first, and what the tool says to it: the three kinds it
// writes, the forms of its options, an empty store, a folder that is not there.
TEST_F(GroupsTool, RefusesAKindItDoesNotWriteAndSaysWhatToDo) {
    TCommandRun r = Run("list");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output,
              "haltguard-ids-groups: list: the store holds no groups yet; make one in the window "
              "(New) or with import FILE NAME\n");
    Write("good.csv", WriteGroupCsv(NumberedIDs("")));
    ASSERT_EQ(Run("import good.csv Fleet").status, 0);
    const auto files = FilesUnder(data.home.root());
    for (const char* file : {"fleet.pdf", "fleet"}) {
        r = Run("export Fleet " + std::string(file));
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_NE(r.output.find("; name it .csv, .xlsx or .ods, or give --format csv, xlsx or ods"),
                  std::string::npos)
            << r.output;
    }
    EXPECT_NE(r.output.find("haltguard-ids-groups: fleet: has no extension"), std::string::npos)
        << r.output;
    EXPECT_EQ(FilesUnder(data.home.root()), files);
    EXPECT_EQ(Run("export --format=xlsx Fleet fleet.pdf").status, 0);
    EXPECT_EQ(Read("fleet.pdf").substr(0, 2), "PK");
    EXPECT_EQ(Run("export --format ods Fleet fleet.xlsx").status, 0);
    EXPECT_EQ(ReadGroupBytes(Read("fleet.xlsx"), TSheetKind::Ods, "f").IDs.Vehicle[7], "V-7");
    EXPECT_EQ(Run("export --format pdf Fleet f.csv").status, 1);
    ASSERT_EQ(Run("export --separator=semicolon --plain Fleet plain.csv").status, 0);
    EXPECT_EQ(Read("plain.csv").substr(0, 29), "slot;vehicle;trailer\r\n0;V-0;T");

    r = Run("-h");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.rfind("Usage: haltguard-ids-groups", 0), 0u);
    r = Run("restore nothere");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output.substr(0, 55), "haltguard-ids-groups: restore: nothere: does not exist\n");

    // Warnings keep the tool's name; a header alone or a binary file makes no group.
    Write("spaced.csv", "slot,vehicle,trailer\n4, SP,\n");
    r = Run("import spaced.csv Spaced");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("haltguard-ids-groups: import: spaced.csv:2:3: warning: vehicle ID "
                            "\" SP\" starts with a space"),
              std::string::npos)
        << r.output;
    Write("header.csv", "slot,vehicle,trailer\r\n");
    r = Run("import header.csv Empty");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("header.csv:1:1: the file holds the header row and no slot below it"),
              std::string::npos)
        << r.output;
    Write("binary.csv", std::string("\x7F"
                                    "ELF\x02\x01\x01\0\0\0slot",
                                    14));
    r = Run("import binary.csv Binary");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output,
              "haltguard-ids-groups: import: binary.csv: holds a zero byte (at byte 8), so it is "
              "not a text file, nor CSV; is it the file meant?\n");
    // No store where it is looked for: the setup tool makes it.
    r = RunCommand("XDG_DATA_HOME='" + (data.home.root() / "no-store").string() + "' '" +
                   tool.string() + "' list");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(
        r.output.find("\nhaltguard-ids-groups: list: Run haltguard-ids-setup to create it.\n"),
        std::string::npos)
        << r.output;
}

// Read IDs stores the tester's cells with their blanks: an empty cell is 16 blanks.
TEST_F(GroupsTool, CountsAndExportsTheTestersIDsNotItsPadding) {
    Write("good.csv", WriteGroupCsv(NumberedIDs("")));
    ASSERT_EQ(Run("import good.csv Fleet").status, 0);
    const fs::path list = OnlyListFile();
    Sql(list,
        "UPDATE records SET \"Vehicle ID\" = printf('%-16s', ''), \"Trailer ID\" = "
        "CASE WHEN rowid <= 32 THEN printf('%-16s', '') ELSE '' END");
    Sql(list, "UPDATE records SET \"Vehicle ID\" = printf('%-16s', 'AB12') WHERE rowid <= 12");
    Sql(list, "UPDATE records SET \"Trailer ID\" = printf('%-16s', 'T 7') WHERE rowid <= 3");
    TCommandRun r = Run("list --long");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("\t12\t3\tok\n"), std::string::npos) << r.output;
    ASSERT_EQ(Run("export Fleet out.csv").status, 0);
    EXPECT_NE(Read("out.csv").find("\r\n=\"2\",AB12,T 7\r\n"), std::string::npos);
    r = Run("import --replace out.csv Fleet");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.find("warning"), std::string::npos) << r.output;
}

TEST_F(GroupsTool, AnImportMeetingABusyStoreWaitsThenFailsCleanly) {
    // Another program in the middle of a save to the groups table.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(data.GroupsFile().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    Write("good.csv", WriteGroupCsv(NumberedIDs("")));
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
    Write("a.csv", WriteGroupCsv(NumberedIDs("a")));
    Write("b.csv", WriteGroupCsv(NumberedIDs("b")));
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
    Write("a2.csv", WriteGroupCsv(NumberedIDs("changed")));
    ASSERT_EQ(Run("import --replace a2.csv A").status, 0);
    r = Run("restore --replace saved");
    ASSERT_EQ(r.status, 0) << r.output;
    TLocalGroupRepository store(data.paths);
    store.Open();
    EXPECT_EQ(store.Names(), (std::vector<std::string>{"A", "B"}));
    ASSERT_TRUE(store.Load("A"));
    EXPECT_EQ(store.LoadedGroup().IDs().Vehicle, NumberedIDs("a").Vehicle);
    ASSERT_TRUE(store.Load("B"));
    EXPECT_EQ(store.LoadedGroup().IDs().Trailer, NumberedIDs("b").Trailer);
}

}  // namespace
