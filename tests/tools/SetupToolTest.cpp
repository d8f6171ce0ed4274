// haltguard-ids-setup, run as built, inside a temporary home (its ports: pseudo-terminals).
#include <cstdlib>

#include "tests/common/CommandRun.h"
#include "tests/serial/PtyPair.h"
#include "tests/store/StoreSupport.h"

namespace {

using namespace storetest;

class SetupToolRun : public ::testing::Test {
protected:
    void SetUp() override {
        const char* build = std::getenv("HG_BUILD_DIR");
        if (!build) GTEST_SKIP() << "HG_BUILD_DIR is not set (run through ctest)";
        tool = fs::path(build) / "tools" / "haltguard-ids-setup";
        ASSERT_TRUE(fs::exists(tool)) << tool;
    }
    TCommandRun Start(const std::string& args = "") {
        return RunCommand("'" + tool.string() + "' " + args);
    }
    static int Lines(const std::string& s) {
        return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
    }

    TempHome home;
    fs::path tool;
};

TEST_F(SetupToolRun, MakesEverythingOnceAndSaysSo) {
    const TCommandRun first = Start();
    ASSERT_EQ(first.status, 0) << first.output;
    // One line for each thing made.
    for (const fs::path& made :
         {home.groupsDir(), home.idListDir(), home.groupsDir() / kGroupsTableName, home.portsDir()})
        EXPECT_NE(first.output.find(made.string()), std::string::npos)
            << made << " in " << first.output;
    EXPECT_GE(Lines(first.output), 4);

    EXPECT_TRUE(fs::is_directory(home.idListDir()));
    const fs::path groups = home.groupsDir() / kGroupsTableName;
    EXPECT_EQ(Query(groups, "SELECT name, type FROM pragma_table_info('records') ORDER BY cid"),
              (RowList{{"Group Name", "VARCHAR(30)"}, {"IDListName", "VARCHAR(150)"}}));
    EXPECT_TRUE(Query(groups, "SELECT * FROM records").empty());
    // The key on Group Name.
    Sql(groups, "INSERT INTO records VALUES ('G', 'g')");
    EXPECT_THROW(Sql(groups, "INSERT INTO records VALUES ('G', 'h')"), std::runtime_error);

    int links = 0;
    for (const auto& e : fs::directory_iterator(home.portsDir())) {
        ASSERT_TRUE(fs::is_symlink(e.symlink_status())) << e.path();
        ++links;
    }
    EXPECT_EQ(links, 96);
    EXPECT_EQ(fs::read_symlink(home.portsDir() / "com1"), "/dev/ttyS0");
    EXPECT_EQ(fs::read_symlink(home.portsDir() / "com33"), "/dev/ttyUSB0");
    EXPECT_EQ(fs::read_symlink(home.portsDir() / "com96"), "/dev/ttyACM31");

    // Again: nothing changes, and it says so.
    const auto before = Snapshot(home.root());
    const TCommandRun second = Start();
    EXPECT_EQ(second.status, 0) << second.output;
    EXPECT_NE(second.output.find("Everything already exists"), std::string::npos) << second.output;
    EXPECT_EQ(Snapshot(home.root()), before);
    EXPECT_EQ(Query(groups, "SELECT * FROM records"), (RowList{{"G", "g"}}));
}

TEST_F(SetupToolRun, NeverOverwritesWhatExists) {
    fs::create_directories(home.groupsDir());
    { std::ofstream(home.groupsDir() / kGroupsTableName) << "the user's own file"; }
    fs::create_directories(home.portsDir());
    fs::create_symlink("/dev/pts/77", home.portsDir() / "com1");
    const TCommandRun r = Start("--quiet");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
    EXPECT_TRUE(fs::is_directory(home.idListDir()));
    std::ifstream in(home.groupsDir() / kGroupsTableName);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "the user's own file");
    EXPECT_EQ(fs::read_symlink(home.portsDir() / "com1"), "/dev/pts/77");
}

TEST_F(SetupToolRun, QuietFirstRunPrintsNothingAndRefusesUnknownOptions) {
    const TCommandRun r = Start("--quiet");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
    EXPECT_TRUE(fs::exists(home.groupsDir() / kGroupsTableName));
    const TCommandRun bad = Start("--force");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.output.find("usage"), std::string::npos);
    const TCommandRun help = Start("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* told : {"--quiet  ", "--check-ports  ", "--help  ", "Exit status: 0 done"})
        EXPECT_NE(help.output.find(told), std::string::npos) << told;
}

TEST_F(SetupToolRun, FailuresInPlainWordsWithTheFolderAndTheFix) {
    { std::ofstream(home.data() / "Quillon") << "x"; }
    const TCommandRun r = Start();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "haltguard-ids-setup: Cannot create the folder " +
                            home.groupsDir().string() + ": " + (home.data() / "Quillon").string() +
                            " is a file, not a folder. Fix: move it away, then run "
                            "haltguard-ids-setup again.\n");
}

TEST_F(SetupToolRun, AStoreThisUserMayNotWrite) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write every file; make test-as-user runs this";
    const std::string data = home.data().string();
    fs::permissions(home.data(), fs::perms::owner_write, fs::perm_options::remove);
    const TCommandRun refused = Start("--quiet");
    fs::permissions(home.data(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.output, "haltguard-ids-setup: Cannot create the folder " +
                                  home.groupsDir().string() + ": you may not write in " + data +
                                  ". Fix: chmod u+rwx '" + data +
                                  "', then run haltguard-ids-setup again.\n");

    ASSERT_EQ(Start("--quiet").status, 0);
    const fs::path table = home.groupsDir() / kGroupsTableName;
    fs::permissions(table, fs::perms::owner_read);
    const TCommandRun warned = Start("--quiet");
    EXPECT_EQ(warned.status, 3);
    const std::string dir = "'" + home.groupsDir().string() + "'";
    EXPECT_EQ(warned.output,
              "Warning: the store exists, but you may not write these, so the "
              "program and the groups tool cannot save there:\n  " +
                  table.string() + "\nFix: sudo chown -R $USER " + dir + " && chmod -R u+rwX " +
                  dir + "\n");
}

TEST_F(SetupToolRun, AnExistingPortsFolderIsTheUsers) {
    ASSERT_EQ(Start("--quiet").status, 0);
    // A link removed on purpose stays removed; a link the user changed stays changed.
    fs::remove(home.portsDir() / "com1");
    fs::remove(home.portsDir() / "com3");
    fs::create_symlink("/dev/pts/77", home.portsDir() / "com3");
    const TCommandRun again = Start();
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.output.find("its links are left as they are"), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::symlink_status(home.portsDir() / "com1")));
    EXPECT_EQ(fs::read_symlink(home.portsDir() / "com3"), "/dev/pts/77");
}

TEST_F(SetupToolRun, CheckPortsSaysWhatToDoNext) {
    fs::create_directories(home.portsDir());
    fs::create_symlink(home.root() / "ttyUSB3", home.portsDir() / "com5");
    const TCommandRun none = Start("--check-ports");
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(none.output.ends_with(
        "\nNo port usable: plug the adapter in, or mend the link of COM5.\n"));
    serial_test::PtyPair tester;
    tester.LinkAs(home.portsDir(), 1);
    const TCommandRun one = Start("--check-ports");
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.output, "Ports folder " + home.portsDir().string() + ":\nCOM1 -> " +
                              tester.SlavePath() + ": present and free\nCOM5 -> " +
                              (home.root() / "ttyUSB3").string() +
                              ": no such device: adapter unplugged, or the link mistyped\nNot "
                              "linked: COM2-COM4, COM6-COM254\n1 port free: COM1. Start the "
                              "program and press Send.\n");
}

}  // namespace
