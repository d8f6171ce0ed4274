// Restore follows the window's rules: a backup holding a name New would refuse, or an
// ID the boxes would refuse or that is longer than its field, is refused whole, with
// the group, slot and reason of each, and nothing is stored.
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/store/StoreSupport.h"
#include "tools/groups/BackupCommands.h"
#include "tools/groups/ToolErrors.h"

namespace {

using namespace storetest;

TEST(Restore, ABackupWithAnythingTheWindowRefusesIsRefusedWholeAndNothingIsCut) {
    TStoreHome live;
    TStoreHome backup;  // laid out as a store is
    backup.AddGroup("Good", "good");
    backup.AddGroup("Bad IDs", "bad");
    backup.AddGroup("Tab\tName", "tab");
    backup.AddGroup(std::string(31, 'x'), "long");
    const fs::path bad = backup.ListFile("bad");
    Sql(bad, "UPDATE records SET \"Vehicle ID\" = 'Ω1' WHERE rowid = 1");
    Sql(bad, "UPDATE records SET \"Trailer ID\" = 'AB.C' WHERE rowid = 2");
    Sql(bad, "UPDATE records SET \"Vehicle ID\" = 'A' || char(10) || 'B' WHERE rowid = 3");
    Sql(bad, "UPDATE records SET \"Vehicle ID\" = printf('%.100000c', 'Z') WHERE rowid = 96");
    const auto before = Snapshot(live.home.root());

    std::ostringstream out;
    const TToolContext tool{live.paths, FixedClock(), out};
    const std::string dir = backup.home.groupsDir().string();
    std::string refusal = "no refusal";
    try {
        RestoreGroups(tool, dir, false);
    } catch (const ERefusedInput& e) {
        refusal = e.what();
    }
    const std::string group = "backup " + dir + ": group \"Bad IDs\": ";
    EXPECT_EQ(refusal,
              group +
                  "slot 0: vehicle ID \"Ω1\" holds \"Ω\" (U+03A9), which is not in "
                  "Windows-1252\n" +
                  group +
                  "slot 1: trailer ID \"AB.C\" holds \".\", which the ID boxes do not take\n" +
                  group +
                  "slot 2: vehicle ID \"A\\x0AB\" holds a control character (U+000A); an "
                  "ID is one line of text\n" +
                  group +
                  "slot 95: vehicle ID \"ZZZZZZZZZZZZZZZZ\"… is 100000 characters long; "
                  "an ID has at most 16\n" +
                  "backup " + dir +
                  ": the group name \"Tab\\x09Name\" holds a control character "
                  "(U+0009); a group name is one line of text\n" +
                  "backup " + dir + ": " + std::string(31, 'x') +
                  " is more than 30 characters please reduce it\n" + dir +
                  ": refused; nothing was restored");
    EXPECT_EQ(Snapshot(live.home.root()), before);
    EXPECT_EQ(out.str(), "");
}

// A backup made on Linux may hold tables that differ only in case; restored, each group
// gets a table of its own that no other differs from only in case, so that the store
// can move to a PC whose file names ignore case.
TEST(Restore, TablesThatDifferOnlyInCaseBecomeTablesOfTheirOwn) {
    TStoreHome live;
    live.AddGroup("Vans", "TRUCKS 07-12-2026 14_05_33 BY ");  // the name a new one would get
    TStoreHome backup;
    backup.AddGroup("Trucks", "fleet");
    backup.AddGroup("TRUCKS", "FLEET");
    backup.AddGroup("trucks", "Fleet");
    std::ostringstream out;
    const TToolContext tool{live.paths, FixedClock(), out};
    RestoreGroups(tool, backup.home.groupsDir().string(), false);

    const std::string stamp = " 07-12-2026 14_05_33";
    const RowList groups = Rows(live.GroupsFile());
    EXPECT_EQ(groups, (RowList{{"Vans", "TRUCKS" + stamp + " BY "},
                               {"Trucks", "Trucks" + stamp + " (2) by "},
                               {"TRUCKS", "TRUCKS" + stamp + " (3) by "},
                               {"trucks", "trucks" + stamp + " (4) by "}}));
    std::set<std::string> keys;
    for (const auto& e : fs::directory_iterator(live.home.idListDir()))
        EXPECT_TRUE(keys.insert(FileNameCaseKey(e.path().filename().string())).second)
            << e.path().filename();
    for (std::size_t k = 1; k < groups.size(); ++k)
        EXPECT_EQ(Rows(live.ListFile(groups[k][1]))[0][1], groups[k][0] + "v0");
}

}  // namespace
