// Groups stored before names had to be Windows file names, or whose tables differ only
// in letter case, laid on disk by the test: they load, save, export, restore over
// themselves and delete as any other; only a new group is held to the name rules.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "sheets/GroupFile.h"
#include "tests/store/StoreSupport.h"
#include "tools/groups/BackupCommands.h"
#include "tools/groups/GroupCommands.h"
#include "tools/groups/ToolErrors.h"

namespace {

using namespace storetest;

// Each name with its table: a stream, a device, a trailing dot, a reserved character,
// and two tables one file apart only in letter case.
const std::pair<std::string, std::string> kOldGroups[] = {{"a:b", "a:b 01-01-2026 by "},
                                                          {"CON", "CON 01-01-2026 by "},
                                                          {"Trucks.", "Trucks. 01-01-2026 by "},
                                                          {"why?", "why? 01-01-2026 by "},
                                                          {"Trucks", "fleet"},
                                                          {"TRUCKS", "FLEET"}};

std::string ReadFile(const fs::path& file) {
    std::ostringstream s;
    s << std::ifstream(file, std::ios::binary).rdbuf();
    return s.str();
}

TEST(OldNames, GroupsStoredUnderOldNamesLoadSaveExportAndDelete) {
    TStoreHome data;
    for (const auto& [name, table] : kOldGroups) data.AddGroup(name, table);
    ScriptedWindow window;
    TWindowStore opened(data.paths, window);
    TIDGroupStore& store = opened.Store;
    store.OpenStore();
    std::ostringstream out;
    const TToolContext tool{data.paths, FixedClock(), out};

    for (const auto& [name, table] : kOldGroups) {
        SCOPED_TRACE(name);
        store.Select(name);
        store.LoadGroup();
        ASSERT_TRUE(store.IsLoaded());
        EXPECT_EQ(window.vehicle[0], name + "v0");
        window.vehicle[0] = "SAVED";
        store.SaveGroup();
        EXPECT_EQ(Rows(data.ListFile(table))[0][1], "SAVED");
        const fs::path exported = data.home.root() / "out.csv";
        ExportGroup(tool, name, exported.string(), TSheetKind::Csv, {.Plain = true});
        EXPECT_NE(ReadFile(exported).find("0,SAVED," + name + "t0"), std::string::npos);
    }
    EXPECT_TRUE(window.log.empty());

    for (const auto& [name, table] : kOldGroups) {
        SCOPED_TRACE(name);
        store.Select(name);
        store.LoadGroup();
        window.answers = {TConfirmAnswer::Yes};
        store.DeleteGroup();
        EXPECT_FALSE(fs::exists(data.ListFile(table)));
    }
    EXPECT_EQ(window.log.size(), std::size(kOldGroups));  // only the questions
    EXPECT_TRUE(Rows(data.GroupsFile()).empty());
    EXPECT_TRUE(FilesUnder(data.home.idListDir()).empty());
}

TEST(OldNames, RestoreReplacesAGroupOfAnOldNameButMakesNoNewOne) {
    TStoreHome live;
    live.AddGroup("a:b", "a:b 01-01-2026 by ");
    TStoreHome backup;
    backup.AddGroup("a:b", "x");
    backup.AddGroup("NUL.txt", "y");
    // IDs the boxes take (the names in them would not be).
    for (const char* table : {"x", "y"})
        Sql(backup.ListFile(table),
            "UPDATE records SET \"Vehicle ID\" = 'RESTORED', \"Trailer ID\" = ''");
    const std::string dir = backup.home.groupsDir().string();
    std::ostringstream out;
    const TToolContext tool{live.paths, FixedClock(), out};

    // The device name would come into being: refused, whatever --replace says.
    std::string refusal = "no refusal";
    try {
        RestoreGroups(tool, dir, true);
    } catch (const ERefusedInput& e) {
        refusal = e.what();
    }
    EXPECT_EQ(refusal, "backup " + dir +
                           ": the group name \"NUL.txt\" names the Windows device \"NUL\", which "
                           "cannot be a file name, with or without an extension\n" +
                           dir + ": refused; nothing was restored");
    EXPECT_EQ(Rows(live.ListFile("a:b 01-01-2026 by "))[0][1], "a:bv0");

    // Without it, the group of the old name is replaced; without --replace, refused as taken.
    Sql(backup.GroupsFile(), "DELETE FROM records WHERE \"Group Name\" = 'NUL.txt'");
    RestoreGroups(tool, dir, true);
    EXPECT_EQ(Rows(live.ListFile("a:b 01-01-2026 by "))[0][1], "RESTORED");
    EXPECT_EQ(out.str(), "Restored 1 groups from " + dir + ": 0 added, 1 replaced\n");
    EXPECT_THROW(RestoreGroups(tool, dir, false), ERefusedInput);
}

}  // namespace
