// Whole files read and replaced where the name may hold a trap: a pipe that would
// block, a link to someone's file, a folder; eight writers at once.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "base/RegularFiles.h"
#include "tests/common/TempHome.h"

namespace {

namespace fs = std::filesystem;

std::string Bytes(const fs::path& file) {
    std::ostringstream s;
    s << std::ifstream(file, std::ios::binary).rdbuf();
    return s.str();
}

void Put(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

std::set<std::string> Names(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

TEST(RegularFiles, ReadsAFileUpToItsLimitAndRefusesAFolderOrNothing) {
    TempHome home;
    const fs::path file = home.root() / "f.csv";
    Put(file, "0123456789");
    TFileRead read = ReadRegularFile(file.string(), 10);
    EXPECT_EQ(read.Kind, TFileKind::Regular);
    EXPECT_EQ(read.Failure, "");
    EXPECT_FALSE(read.TooLarge);
    EXPECT_EQ(read.Bytes, "0123456789");
    read = ReadRegularFile(file.string(), 4);
    EXPECT_TRUE(read.TooLarge);
    EXPECT_EQ(read.Bytes, "01234");  // the limit and one, no more

    EXPECT_EQ(ReadRegularFile(home.root().string(), 10).Kind, TFileKind::Folder);
    read = ReadRegularFile((home.root() / "none.csv").string(), 10);
    EXPECT_EQ(read.Kind, TFileKind::Regular);
    EXPECT_NE(read.Failure, "");
    EXPECT_EQ(FileKindAt((home.root() / "none.csv").string()), TFileKind::Missing);
    EXPECT_EQ(FileKindText(TFileKind::Pipe), "a named pipe (FIFO)");
}

TEST(RegularFiles, ReplacesWholeAndLeavesNothingBeside) {
    TempHome home;
    const fs::path target = home.root() / "out.csv";
    ASSERT_TRUE(ReplaceRegularFile(target.string(), "first").Done());
    ASSERT_TRUE(ReplaceRegularFile(target.string(), "second").Done());
    EXPECT_EQ(Bytes(target), "second");
    EXPECT_EQ(Names(home.root()), (std::set<std::string>{"config", "data", "out.csv"}));

    // A folder that is not there: nothing made anywhere.
    const TFileWrite failed = ReplaceRegularFile((home.root() / "none" / "out.csv").string(), "x");
    EXPECT_FALSE(failed.Done());
    EXPECT_EQ(failed.Kind, TFileKind::Regular);
    EXPECT_NE(failed.Failure, "");
    EXPECT_EQ(Names(home.root()), (std::set<std::string>{"config", "data", "out.csv"}));

    // A folder at the target is refused by what it is.
    fs::create_directory(home.root() / "dir.csv");
    EXPECT_EQ(ReplaceRegularFile((home.root() / "dir.csv").string(), "x").Kind, TFileKind::Folder);
    EXPECT_TRUE(fs::is_empty(home.root() / "dir.csv"));
}

TEST(RegularFiles, EightWritersAtOnceLeaveOneWholeFile) {
    TempHome home;
    const fs::path target = home.root() / "out.csv";
    std::vector<std::string> contents;
    for (int k = 0; k < 8; ++k) contents.push_back(std::string(200000 + k, char('a' + k)));
    std::atomic<int> done{0};
    for (int round = 0; round < 5; ++round) {
        std::vector<std::thread> writers;
        for (int k = 0; k < 8; ++k)
            writers.emplace_back(
                [&, k] { done += ReplaceRegularFile(target.string(), contents[k]).Done(); });
        for (std::thread& t : writers) t.join();
        const std::string result = Bytes(target);
        EXPECT_NE(std::find(contents.begin(), contents.end(), result), contents.end())
            << "a mixed or cut file of " << result.size() << " bytes";
    }
    EXPECT_EQ(done, 40);
    EXPECT_EQ(Names(home.root()), (std::set<std::string>{"config", "data", "out.csv"}));
}

#ifndef _WIN32

TEST(RegularFiles, APipeADeviceOrALinkIsRefusedAtOnceAndNeverWrittenThrough) {
    TempHome home;
    const fs::path fifo = home.root() / "x.csv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // No writer ever opens it: a reader that opened it blocking would wait forever.
    EXPECT_EQ(ReadRegularFile(fifo.string(), 10).Kind, TFileKind::Pipe);
    EXPECT_EQ(ReplaceRegularFile(fifo.string(), "x").Kind, TFileKind::Pipe);
    EXPECT_EQ(FileKindAt(fifo.string()), TFileKind::Pipe);
    EXPECT_EQ(ReadRegularFile("/dev/null", 10).Kind, TFileKind::Device);

    const fs::path victim = home.root() / "victim.txt";
    Put(victim, "my own file");
    const fs::path link = home.root() / "fleet.csv";
    fs::create_symlink(victim, link);
    EXPECT_EQ(ReadRegularFile(link.string(), 100).Kind, TFileKind::Link);
    EXPECT_EQ(ReplaceRegularFile(link.string(), "x").Kind, TFileKind::Link);
    EXPECT_TRUE(fs::is_symlink(link));
    // The name the old writer used beside the target, planted as a link: never followed.
    const fs::path target = home.root() / "shared.csv";
    fs::create_symlink(victim, home.root() / "shared.csv.partial");
    ASSERT_TRUE(ReplaceRegularFile(target.string(), "exported").Done());
    EXPECT_EQ(Bytes(victim), "my own file");
    EXPECT_EQ(Bytes(target), "exported");
    EXPECT_TRUE(fs::is_symlink(home.root() / "shared.csv.partial"));
}

TEST(RegularFiles, AFolderThatMayNotBeWrittenLeavesTheOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write anywhere; make test-as-user runs this";
    TempHome home;
    const fs::path dir = home.root() / "ro";
    fs::create_directory(dir);
    Put(dir / "out.csv", "old");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    const TFileWrite write = ReplaceRegularFile((dir / "out.csv").string(), "new");
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(write.Failure, "Permission denied");
    EXPECT_EQ(Bytes(dir / "out.csv"), "old");
    EXPECT_EQ(Names(dir), std::set<std::string>{"out.csv"});
}

#else

TEST(RegularFiles, ADeviceNameIsNeverOpened) {
    TempHome home;
    for (const char* name : {"COM1.csv", "nul", "Con.xlsx", "LPT9", "aux .ods"})
        EXPECT_EQ(FileKindAt((home.root() / name).string()), TFileKind::Device) << name;
    EXPECT_EQ(FileKindAt((home.root() / "COM10.csv").string()), TFileKind::Missing);
}

#endif

}  // namespace
