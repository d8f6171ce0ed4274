#pragma once
// The group server's errors: each names the server and says in plain words what went
// wrong, and carries the kind of fault as a named code, so that a caller decides on
// the kind, never on the wording. They are engine errors of the store, so that every
// place that shows or handles a failure of the local table files does the same for the
// server.
#include <string>
#include <utility>

#include "store/StoreErrors.h"

enum class TServerFault {
    Refused,         // nothing answers there: connection refused, no socket
    UnknownHost,     // the host name is not known to the PC's name service
    NoAnswer,        // nothing came back within the connect time-out
    Authentication,  // wrong or missing password, role unknown or not let in
    NoDatabase,      // the database named does not exist on the server
    Unusable,        // reached, but not usable: TLS demanded and refused, wrong encoding
    Lost,            // the connection broke in the middle of an operation
    NoSchema,        // the database has no tables for the groups
    SchemaTooOld,    // the tables are of an older version: the setup tool upgrades them
    SchemaTooNew,    // the tables are of a newer version than this program knows
    Refusal,         // the server refused one statement (its SQLSTATE says why)
};

class EServerError : public EDBEngineError {
public:
    EServerError(TServerFault fault, const std::string& server, const std::string& message,
                 std::string sqlState = "")
        : EDBEngineError(message), fault_(fault), server_(server), sqlState_(std::move(sqlState)) {}
    TServerFault Fault() const { return fault_; }
    // The server as the messages name it ("depot-db port 5432, database haltguard, user lane1").
    const std::string& Server() const { return server_; }
    // The server's five-character code of the failure, "" when it gave none.
    const std::string& SqlState() const { return sqlState_; }

private:
    TServerFault fault_;
    std::string server_;
    std::string sqlState_;
};

// The server could not be reached or would not let us in: Refused, UnknownHost,
// NoAnswer, Authentication, NoDatabase, Unusable.
class EServerUnreachable : public EServerError {
public:
    using EServerError::EServerError;
};

// The connection broke during an operation; what the operation's transaction had
// done is not kept by the server.
class EServerLost : public EServerError {
public:
    using EServerError::EServerError;
};

// The tables are missing, too old or too new: NoSchema, SchemaTooOld, SchemaTooNew.
class EServerSchema : public EServerError {
public:
    using EServerError::EServerError;
};

// The server refused a statement: Refusal, with its SQLSTATE.
class EServerRefusal : public EServerError {
public:
    using EServerError::EServerError;
};
