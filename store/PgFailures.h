#pragma once
// How a failure that the server's client library reports becomes a fault of
// ServerErrors.h and a sentence in plain words. Pure functions: the library's message
// and flags in, the kind and the words out.
#include <string>

#include "store/ServerErrors.h"

// The server as the client library resolved it: from the connection string, the
// service file, the PG* environment variables and the defaults.
struct TPgTarget {
    std::string host;  // a name, an address, or a socket folder (starts with '/')
    std::string port;
    std::string dbname;
    std::string user;
};

// "depot-db port 5432, database haltguard, user lane1"; for a socket folder "the local
// socket /run/postgresql/.s.PGSQL.5432, database haltguard, user lane1".
std::string DescribeServer(const TPgTarget& target);

struct TFaultReason {
    TServerFault fault;
    std::string reason;  // what went wrong and what to do, without the server's name
};

// A connection attempt that failed. `message` is the library's text (English: its
// translations are kept out while it connects); `passwordNeeded` is whether the server
// asked for a password and none was known.
TFaultReason ClassifyConnectFailure(const std::string& message, bool passwordNeeded,
                                    const TPgTarget& target);

// A statement that failed: its SQLSTATE ("" when the failure is the client library's
// own) and whether the connection is broken since.
TServerFault ClassifyStatementFailure(const std::string& sqlState, bool connectionBroken);

// libpq's password file on this system: "~/.pgpass"; on Windows in %APPDATA%.
std::string PasswordFilePath();
// Where this PC keeps the passwords of its connections, and how, for a message.
std::string PasswordFileAdvice();

// The setup tool's command that prepares the server named by `connection`, quoted
// for a shell: haltguard-ids-setup --server 'host=depot-db dbname=haltguard'
std::string SetupCommandFor(const std::string& connection);

// The library's message without its trailing newline, several lines joined by "; ".
std::string OneLine(const std::string& message);
