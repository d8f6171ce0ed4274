#include "store/PgSchema.h"

#include <vector>

namespace {

// Held while the tables are made or upgraded, so that two setup tools at once do it once.
constexpr const char* kSchemaLockKey = "7237857401562133504";

// kSteps[v] brings the tables from version v to v + 1 (0: nothing there yet). The
// version table is made by the first step holding 0; the last step's version is
// written after the steps.
const std::vector<std::vector<const char*>> kSteps = {
    {
        "CREATE SCHEMA haltguard_ids",
        "COMMENT ON SCHEMA haltguard_ids IS 'Haltguard IDs: the ID groups of a workshop''s "
        "PCs (made by haltguard-ids-setup; back it up with pg_dump)'",
        "CREATE TABLE haltguard_ids.schema_version ("
        " only_row boolean PRIMARY KEY DEFAULT true CHECK (only_row),"
        " version integer NOT NULL)",
        "INSERT INTO haltguard_ids.schema_version (version) VALUES (0)",
        // id is the list order and the group's identity: the sequence behind it never
        // gives a number out twice, so a deleted group's identity is never met again.
        "CREATE TABLE haltguard_ids.groups ("
        " id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
        " name varchar(30) NOT NULL UNIQUE,"
        " id_list_name varchar(150) NOT NULL DEFAULT '',"
        " version bigint NOT NULL DEFAULT 1 CHECK (version > 0))",
        "COMMENT ON COLUMN haltguard_ids.groups.version IS 'raised by every change of the "
        "group''s IDs: a save made from an older version is refused'",
        "CREATE TABLE haltguard_ids.ids ("
        " group_id bigint NOT NULL REFERENCES haltguard_ids.groups (id) ON DELETE CASCADE,"
        " record smallint NOT NULL CHECK (record BETWEEN 0 AND 95),"
        " trailer_id varchar(16) NOT NULL DEFAULT '',"
        " vehicle_id varchar(16) NOT NULL DEFAULT '',"
        " PRIMARY KEY (group_id, record))",
    },
};
static_assert(kServerSchemaVersion == 1, "kSteps holds one step list per version");

std::string Advice(const TPgConnection& connection) {
    return "run " + SetupCommandFor(connection.ConnectionString());
}

[[noreturn]] void TooNew(const TPgConnection& connection, int version) {
    throw EServerSchema(
        TServerFault::SchemaTooNew, connection.Server(),
        "The tables for the groups on the group server " + connection.Server() +
            " are of version " + std::to_string(version) + ", newer than this program knows (" +
            std::to_string(kServerSchemaVersion) + "); install the newer Haltguard IDs on this PC");
}

struct TDatabaseOwner {
    std::string name;
    bool isUs = false;
    bool weAreMember = false;
};

TDatabaseOwner OwnerOfDatabase(TPgConnection& connection) {
    const TPgResult r = connection.Exec(
        "SELECT pg_catalog.pg_get_userbyid(d.datdba),"
        " d.datdba = (SELECT oid FROM pg_catalog.pg_roles WHERE rolname = current_user),"
        " pg_catalog.pg_has_role(current_user, d.datdba, 'MEMBER')"
        " FROM pg_catalog.pg_database d WHERE d.datname = pg_catalog.current_database()");
    if (r.Rows() != 1) return {};
    return {r.Text(0, 0), r.Text(0, 1) == "t", r.Text(0, 2) == "t"};
}

}  // namespace

TSchemaStatus ReadSchemaStatus(TPgConnection& connection) {
    const std::string encoding =
        connection.Exec("SELECT pg_catalog.current_setting('server_encoding')").Text(0, 0);
    if (encoding != "UTF8")
        throw EServerUnreachable(
            TServerFault::Unusable, connection.Server(),
            "Cannot use the group server " + connection.Server() + ": its database is in the " +
                encoding +
                " encoding, which cannot hold every character of the IDs; the administrator "
                "makes it anew in UTF8 (createdb -E UTF8 -T template0 ...)");
    const TPgResult found = connection.Exec("SELECT pg_catalog.to_regclass($1) IS NOT NULL",
                                            {std::string(kServerSchema) + ".schema_version"});
    if (found.Text(0, 0) != "t") return {TSchemaState::Missing, 0};
    const TPgResult rows = connection.Exec("SELECT version FROM haltguard_ids.schema_version");
    const int version = rows.Rows() == 1 ? static_cast<int>(rows.Integer(0, 0)) : 0;
    if (version <= 0)
        throw EServerSchema(TServerFault::NoSchema, connection.Server(),
                            "The version table of the groups on the group server " +
                                connection.Server() +
                                " is damaged (it should hold one version above 0); restore "
                                "the schema haltguard_ids from a backup");
    if (version < kServerSchemaVersion) return {TSchemaState::TooOld, version};
    if (version > kServerSchemaVersion) return {TSchemaState::TooNew, version};
    return {TSchemaState::Current, version};
}

void RequireCurrentSchema(TPgConnection& connection) {
    const TSchemaStatus status = ReadSchemaStatus(connection);
    switch (status.state) {
        case TSchemaState::Current:
            return;
        case TSchemaState::Missing:
            throw EServerSchema(TServerFault::NoSchema, connection.Server(),
                                "The group server " + connection.Server() +
                                    " has no tables for the groups yet; " + Advice(connection));
        case TSchemaState::TooOld:
            throw EServerSchema(
                TServerFault::SchemaTooOld, connection.Server(),
                "The tables for the groups on the group server " + connection.Server() +
                    " are of version " + std::to_string(status.version) +
                    ", older than this program's " + std::to_string(kServerSchemaVersion) + "; " +
                    Advice(connection) + " to upgrade them");
        case TSchemaState::TooNew:
            TooNew(connection, status.version);
    }
}

TSchemaOutcome EnsureSchema(TPgConnection& connection) {
    TPgTransaction transaction(connection);
    connection.Exec("SELECT pg_catalog.pg_advisory_xact_lock($1::bigint)", {kSchemaLockKey});
    const TSchemaStatus status = ReadSchemaStatus(connection);
    if (status.state == TSchemaState::TooNew) TooNew(connection, status.version);
    if (status.state == TSchemaState::Current) {
        transaction.Commit();
        return {TSchemaOutcome::TChange::None, status.version, status.version};
    }
    const TDatabaseOwner owner = OwnerOfDatabase(connection);
    // Made as the database's owner, the tables are every member's to use; made as a
    // member, they would be that member's alone.
    if (!owner.isUs && owner.weAreMember)
        connection.Exec("SELECT pg_catalog.set_config('role', $1, true)", {owner.name});
    try {
        for (int v = status.version; v < kServerSchemaVersion; ++v)
            for (const char* statement : kSteps[static_cast<std::size_t>(v)])
                connection.Exec(statement);
        connection.Exec("UPDATE haltguard_ids.schema_version SET version = $1",
                        {std::to_string(kServerSchemaVersion)});
        transaction.Commit();
    } catch (const EServerRefusal& e) {
        // 42501: insufficient privilege.
        if (e.SqlState() != "42501") throw;
        const std::string what = status.state == TSchemaState::Missing
                                     ? " has no tables for the groups, and user "
                                     : " has old tables for the groups, and user ";
        throw EServerSchema(status.state == TSchemaState::Missing ? TServerFault::NoSchema
                                                                  : TServerFault::SchemaTooOld,
                            connection.Server(),
                            "The group server " + connection.Server() + what +
                                connection.Target().user + " may not " +
                                (status.state == TSchemaState::Missing ? "create" : "upgrade") +
                                " them; run the setup once as the database's owner" +
                                (owner.name.empty() ? "" : " (" + owner.name + ")") +
                                " or a member of it, with user= in the connection string");
    }
    return {status.state == TSchemaState::Missing ? TSchemaOutcome::TChange::Created
                                                  : TSchemaOutcome::TChange::Upgraded,
            status.version, kServerSchemaVersion};
}
