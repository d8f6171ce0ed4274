// Restore follows the window's rules: a backup holding a name New would refuse, or an
// ID the boxes would refuse or that is longer than its field, is refused whole, with
// the group, slot and reason of each, and nothing is stored.
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

}  // namespace
