// A child process flips a table's name between the table and a link to a table
// outside, as fast as it can, while this process opens, edits and saves through that
// name: the outside table never changes. HG_LINK_RACE_SECONDS sets how long (3 s).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>

#include <gtest/gtest.h>

#include "store/TTable.h"
#include "tests/store/StoreSupport.h"

namespace {

using namespace storetest;

std::string Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs in the child: never returns. Each flip replaces the name at once (a rename
// over it), so the name is always either the table or the link.
[[noreturn]] void Flip(const fs::path& name, const fs::path& table, const fs::path& target) {
    const std::string next = name.string() + ".next";
    for (;;) {
        if (symlink(target.c_str(), next.c_str()) != 0 || rename(next.c_str(), name.c_str()) != 0 ||
            link(table.c_str(), next.c_str()) != 0 || rename(next.c_str(), name.c_str()) != 0)
            _exit(1);
    }
}

TEST(LinkRace, ATableFlippedToALinkDuringOpensNeverLeadsOutside) {
    TempHome home;
    const fs::path dir = home.data(), outside = home.root() / "outside.db";
    for (const fs::path& file : {outside, dir / "T.db"})
        Sql(file, "CREATE TABLE records (A VARCHAR(16)); INSERT INTO records VALUES ('as made')");
    fs::create_hard_link(dir / "T.db", dir / "T.table");  // the table under a second name
    const std::string before = Bytes(outside);

    const char* seconds = std::getenv("HG_LINK_RACE_SECONDS");
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::seconds(seconds ? std::atoi(seconds) : 3);
    const pid_t flipper = fork();
    ASSERT_GE(flipper, 0);
    if (flipper == 0) Flip(dir / "T.db", dir / "T.table", outside);
    int saved = 0, refused = 0;
    while (std::chrono::steady_clock::now() < end) {
        TTable t("T");
        t.SetDatabaseName(dir.string());
        t.SetTableName("T");
        try {
            t.Open();
            t.Edit();
            t.SetFieldAsString("A", "saved " + std::to_string(saved));
            t.Post();
            ++saved;
        } catch (const EDBEngineError&) {
            ++refused;
        }
    }
    kill(flipper, SIGKILL);
    waitpid(flipper, nullptr, 0);

    EXPECT_TRUE(Bytes(outside) == before) << "changed after " << saved << " saves";
    EXPECT_FALSE(fs::exists(home.root() / "outside.db-journal"));
    // Both ways happened, so the opens met the flips.
    EXPECT_GT(saved, 0);
    EXPECT_GT(refused, 0);
    std::cout << saved << " saves, " << refused << " refusals\n";
}

}  // namespace
