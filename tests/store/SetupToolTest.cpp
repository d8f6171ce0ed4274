// haltguard-ids-setup, run as built, inside a temporary home.
#include <cstdlib>

#include "tests/common/CommandRun.h"
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
}

}  // namespace
