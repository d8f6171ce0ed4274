// The tables for the groups on a real server: made once and found again, refused when
// missing, old, new or in the wrong encoding, and holding a group as the store needs it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "store/PgSchema.h"
#include "tests/store/ServerSupport.h"

namespace {

using servertest::FreshDatabase;
using servertest::SharedServer;

template <class Error>
Error SchemaErrorOf(TPgConnection& db, void (*action)(TPgConnection&)) {
    try {
        action(db);
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error was thrown";
    return Error(TServerFault::Refusal, "", "none");
}

void Require(TPgConnection& db) {
    RequireCurrentSchema(db);
}
void Ensure(TPgConnection& db) {
    EnsureSchema(db);
}

TEST(PgSchema, MadeOnceAndFoundAgain) {
    TPgConnection db(SharedServer().Connection(FreshDatabase()));
    EXPECT_EQ(ReadSchemaStatus(db).state, TSchemaState::Missing);
    const auto missing = SchemaErrorOf<EServerSchema>(db, Require);
    EXPECT_EQ(missing.Fault(), TServerFault::NoSchema);
    EXPECT_EQ(std::string(missing.what()), "The group server " + db.Server() +
                                               " has no tables for the groups yet; run " +
                                               SetupCommandFor(db.ConnectionString()));

    const TSchemaOutcome made = EnsureSchema(db);
    EXPECT_EQ(made.change, TSchemaOutcome::TChange::Created);
    EXPECT_EQ(made.from, 0);
    EXPECT_EQ(made.to, kServerSchemaVersion);
    EXPECT_NO_THROW(RequireCurrentSchema(db));

    const TSchemaOutcome again = EnsureSchema(db);
    EXPECT_EQ(again.change, TSchemaOutcome::TChange::None);
    EXPECT_EQ(again.to, kServerSchemaVersion);
    const TSchemaStatus status = ReadSchemaStatus(db);
    EXPECT_EQ(status.state, TSchemaState::Current);
    EXPECT_EQ(status.version, kServerSchemaVersion);
}

TEST(PgSchema, EightSetupsAtOnceMakeTheTablesOnce) {
    const std::string connection = SharedServer().Connection(FreshDatabase());
    std::atomic<int> created = 0;
    std::atomic<int> found = 0;
    std::atomic<int> failed = 0;
    std::vector<std::thread> setups;
    for (int i = 0; i < 8; ++i)
        setups.emplace_back([&] {
            try {
                TPgConnection db(connection);
                const auto change = EnsureSchema(db).change;
                (change == TSchemaOutcome::TChange::Created ? created : found)++;
            } catch (const std::exception&) {
                failed++;
            }
        });
    for (std::thread& t : setups) t.join();
    EXPECT_EQ(created, 1);
    EXPECT_EQ(found, 7);
    EXPECT_EQ(failed, 0);
}

TEST(PgSchema, NewerTablesAreLeftAsTheyAre) {
    TPgConnection db(SharedServer().Connection(FreshDatabase()));
    EnsureSchema(db);
    db.Exec("UPDATE haltguard_ids.schema_version SET version = $1",
            {std::to_string(kServerSchemaVersion + 1)});
    for (auto action : {Require, Ensure}) {
        const auto newer = SchemaErrorOf<EServerSchema>(db, action);
        EXPECT_EQ(newer.Fault(), TServerFault::SchemaTooNew);
        EXPECT_NE(std::string(newer.what()).find("newer than this program knows"),
                  std::string::npos)
            << newer.what();
    }
    EXPECT_EQ(ReadSchemaStatus(db).version, kServerSchemaVersion + 1);

    db.Exec("UPDATE haltguard_ids.schema_version SET version = 0");
    EXPECT_EQ(SchemaErrorOf<EServerSchema>(db, Require).Fault(), TServerFault::NoSchema);
    db.Exec("DELETE FROM haltguard_ids.schema_version");
    EXPECT_NE(std::string(SchemaErrorOf<EServerSchema>(db, Require).what()).find("damaged"),
              std::string::npos);
}

TEST(PgSchema, ARoleThatMayNotCreateIsToldWhoMay) {
    TPgTestServer& server = SharedServer();
    const std::string name = FreshDatabase("depot_owner");
    server.CreateRole("lane_plain");
    TPgConnection lane(server.Connection(name, "lane_plain"));
    const auto refused = SchemaErrorOf<EServerSchema>(lane, Ensure);
    EXPECT_EQ(refused.Fault(), TServerFault::NoSchema);
    EXPECT_EQ(std::string(refused.what()),
              "The group server " + lane.Server() +
                  " has no tables for the groups, and user lane_plain may not create them; run "
                  "the setup once as the database's owner (depot_owner) or a member of it, "
                  "with user= in the connection string");
    EXPECT_EQ(ReadSchemaStatus(lane).state, TSchemaState::Missing);
}

TEST(PgSchema, AMemberMakesThemForTheOwnerSoEveryMemberMayUseThem) {
    TPgTestServer& server = SharedServer();
    const std::string name = FreshDatabase("depot_group");
    server.Sql("CREATE ROLE lane_a LOGIN IN ROLE depot_group");
    server.Sql("CREATE ROLE lane_b LOGIN IN ROLE depot_group");
    TPgConnection a(server.Connection(name, "lane_a"));
    EXPECT_EQ(EnsureSchema(a).change, TSchemaOutcome::TChange::Created);
    EXPECT_EQ(server.Sql("SELECT DISTINCT tableowner FROM pg_tables WHERE schemaname = "
                         "'haltguard_ids'",
                         name),
              "depot_group\n");
    TPgConnection b(server.Connection(name, "lane_b"));
    EXPECT_NO_THROW(RequireCurrentSchema(b));
    EXPECT_EQ(
        b.Exec("INSERT INTO haltguard_ids.groups (name) VALUES ('Fleet') RETURNING id").Rows(), 1);
}

TEST(PgSchema, ADatabaseThatCannotHoldTheTextsIsRefused) {
    TPgTestServer& server = SharedServer();
    server.Sql("CREATE DATABASE ascii_db ENCODING 'SQL_ASCII' TEMPLATE template0");
    TPgConnection db(server.Connection("ascii_db"));
    const auto refused = SchemaErrorOf<EServerUnreachable>(db, Ensure);
    EXPECT_EQ(refused.Fault(), TServerFault::Unusable);
    EXPECT_NE(std::string(refused.what()).find("SQL_ASCII encoding"), std::string::npos);
    EXPECT_EQ(
        server.Sql("SELECT count(*) FROM pg_namespace WHERE nspname = 'haltguard_ids'", "ascii_db"),
        "0\n");
}

// What the store relies on the tables for.
TEST(PgSchema, TheTablesHoldGroupsAsTheStoreNeedsThem) {
    TPgConnection db(SharedServer().Connection(FreshDatabase()));
    EnsureSchema(db);
    const auto add = [&](const std::string& name) {
        const std::string id =
            db.Exec("INSERT INTO haltguard_ids.groups (name) VALUES ($1) RETURNING id", {name})
                .Text(0, 0);
        db.Exec(
            "INSERT INTO haltguard_ids.ids (group_id, record)"
            " SELECT $1::bigint, r FROM generate_series(0, 95) AS r",
            {id});
        return id;
    };
    const std::string first = add("Fleet A");
    add("Fleet B");
    EXPECT_EQ(db.Exec("SELECT count(*) FROM haltguard_ids.ids WHERE group_id = $1::bigint"
                      " AND vehicle_id = '' AND trailer_id = ''",
                      {first})
                  .Integer(0, 0),
              96);
    EXPECT_EQ(db.Exec("SELECT version FROM haltguard_ids.groups WHERE id = $1::bigint", {first})
                  .Integer(0, 0),
              1);
    // Names unique, case-sensitive, up to 30 characters; IDs up to 16, never NULL.
    EXPECT_THROW(add("Fleet A"), EServerRefusal);
    EXPECT_NO_THROW(add("fleet a"));
    EXPECT_NO_THROW(add(std::string(30, 'n')));
    EXPECT_THROW(add(std::string(31, 'n')), EServerRefusal);
    EXPECT_NO_THROW(
        db.Exec("UPDATE haltguard_ids.ids SET vehicle_id = $1 WHERE group_id = "
                "$2::bigint AND record = 0",
                {"ÄÖÜäöüßéèêëçñ€Ω", first}));
    EXPECT_THROW(db.Exec("UPDATE haltguard_ids.ids SET vehicle_id = $1 WHERE group_id = "
                         "$2::bigint AND record = 0",
                         {std::string(17, 'v'), first}),
                 EServerRefusal);
    EXPECT_THROW(db.Exec("UPDATE haltguard_ids.ids SET vehicle_id = NULL WHERE group_id = "
                         "$1::bigint",
                         {first}),
                 EServerRefusal);
    EXPECT_THROW(db.Exec("INSERT INTO haltguard_ids.ids (group_id, record) VALUES ($1::bigint, 96)",
                         {first}),
                 EServerRefusal);

    // A deleted group's IDs go with it, and its identity is never given out again.
    db.Exec("DELETE FROM haltguard_ids.groups WHERE id = $1::bigint", {first});
    EXPECT_EQ(db.Exec("SELECT count(*) FROM haltguard_ids.ids WHERE group_id = $1::bigint", {first})
                  .Integer(0, 0),
              0);
    const std::string again = add("Fleet A");
    EXPECT_GT(std::stoll(again), std::stoll(first));
    // The list in the order the groups were made.
    const TPgResult names = db.Exec("SELECT name FROM haltguard_ids.groups ORDER BY id");
    ASSERT_EQ(names.Rows(), 4);
    EXPECT_EQ(names.Text(0, 0), "Fleet B");
    EXPECT_EQ(names.Text(3, 0), "Fleet A");
}

}  // namespace
