#pragma once
// The tables that hold a workshop's groups on the server, in a schema of their own,
// with the version of their layout. The setup tool creates and upgrades them; the
// program and the groups tool only check that they are there and of this version.
//
//   haltguard_ids.schema_version  one row: the layout's version
//   haltguard_ids.groups          one row a group: id (the list order; never given out
//                                 twice, not even after a delete), name (unique, up to
//                                 30 characters), id_list_name (up to 150; the name of
//                                 its ID list table in a local store), version (1 when
//                                 made, raised by every change of the group's IDs)
//   haltguard_ids.ids             96 rows a group: record 0-95, trailer_id and
//                                 vehicle_id (up to 16 characters each, never NULL);
//                                 they go when their group goes
#include <string>

#include "store/PgConnection.h"

inline constexpr int kServerSchemaVersion = 1;
inline constexpr const char* kServerSchema = "haltguard_ids";

enum class TSchemaState { Missing, TooOld, Current, TooNew };

struct TSchemaStatus {
    TSchemaState state = TSchemaState::Missing;
    int version = 0;  // 0 when missing
};

// What the server holds. Throws EServerUnreachable (Unusable) for a database that
// cannot hold the groups' texts (its encoding is not UTF8).
TSchemaStatus ReadSchemaStatus(TPgConnection& connection);

// For the program and the groups tool: returns when the tables are there and of this
// version; otherwise throws EServerSchema, saying what to run.
void RequireCurrentSchema(TPgConnection& connection);

// For the setup tool: creates the tables, or upgrades them, in one transaction; two
// setup tools at once do it once. The objects belong to the database's owner when the
// role is one of its members, so that every member may use them. Throws EServerSchema
// when the role may not create them, or when they are newer than this program.
struct TSchemaOutcome {
    enum class TChange { None, Created, Upgraded } change = TChange::None;
    int from = 0;  // the version found (0: none)
    int to = 0;    // the version there now
};
TSchemaOutcome EnsureSchema(TPgConnection& connection);
