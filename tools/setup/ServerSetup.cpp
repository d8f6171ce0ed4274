#include "tools/setup/ServerSetup.h"

#include "store/PgConnection.h"
#include "store/PgSchema.h"

std::vector<std::string> PrepareServer(const std::string& connection) {
    TPgConnection server(connection);
    std::vector<std::string> said;
    said.push_back("Reached the group server " + server.Server() +
                   (server.Encrypted() ? " (encrypted)" : " (not encrypted)"));
    const TSchemaOutcome outcome = EnsureSchema(server);
    const std::string version = "version " + std::to_string(outcome.to);
    switch (outcome.change) {
        case TSchemaOutcome::TChange::Created:
            said.push_back("Created the tables for the groups there (" + version + ")");
            break;
        case TSchemaOutcome::TChange::Upgraded:
            said.push_back("Upgraded the tables for the groups there from version " +
                           std::to_string(outcome.from) + " to " + std::to_string(outcome.to));
            break;
        case TSchemaOutcome::TChange::None:
            said.push_back("The tables for the groups are there (" + version + ")");
            break;
    }
    return said;
}
