#pragma once
// The server tests' shared PostgreSQL (one per test program: starting one costs about a
// second) and a fresh database for each test.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/common/PgTestServer.h"

namespace servertest {

// Made on first use, on the test's main thread; stopped when the program ends.
inline TPgTestServer& SharedServer() {
    static const std::unique_ptr<TPgTestServer> server =
        std::make_unique<TPgTestServer>(TPgTestServer::TOptions{.tcp = true});
    return *server;
}

// A new empty database owned by `owner` (made when it is not the superuser), named after
// the running test.
inline std::string FreshDatabase(const std::string& owner = TPgTestServer::kSuperuser) {
    static int made = 0;
    TPgTestServer& server = SharedServer();
    if (owner != TPgTestServer::kSuperuser &&
        server.Sql("SELECT 1 FROM pg_roles WHERE rolname = '" + owner + "'").empty())
        server.CreateRole(owner);
    const std::string name = "t" + std::to_string(++made) + "_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    server.CreateDatabase(name.substr(0, 60), owner);
    return name.substr(0, 60);
}

}  // namespace servertest
