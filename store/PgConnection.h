#pragma once
// One connection to the group server, the only user of the server's client library
// (libpq): statements with parameters only (never text pasted into SQL), transactions,
// and failures as the errors of ServerErrors.h that name the server and the reason.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/PgFailures.h"
#include "store/ServerErrors.h"

// A value to or from the server, in the server's text form; nullopt is SQL's NULL.
using TPgValue = std::optional<std::string>;
using TPgParams = std::vector<TPgValue>;

// The rows a statement gave back, copied out of the library's result.
class TPgResult {
public:
    int Rows() const { return static_cast<int>(rows_.size()); }
    int Columns() const { return columns_; }
    const TPgValue& At(int row, int column) const;
    // The value as text; NULL is refused (EServerRefusal), never read as "".
    const std::string& Text(int row, int column) const;
    long long Integer(int row, int column) const;
    // Rows inserted, updated or deleted by the statement.
    long long Affected() const { return affected_; }
    // The statement's command tag: "INSERT 0 1", "COMMIT", "ROLLBACK" ...
    const std::string& Command() const { return command_; }

private:
    friend class TPgConnection;
    int columns_ = 0;
    long long affected_ = 0;
    std::string command_;
    std::vector<std::vector<TPgValue>> rows_;
};

// What is wrong with a connection string before it is used, in plain words: it cannot
// be read, or it holds a password (which belongs in the password file, not in a file
// every user can read). "" when nothing is.
std::string ConnectionStringProblem(const std::string& connection);

class TPgConnection {
public:
    // Connects at once. `connection` is the client library's connection string or URI
    // ("host=depot-db dbname=haltguard", "service=depot"); the PG* environment variables
    // and the service file fill in what it leaves out. Throws EServerUnreachable.
    explicit TPgConnection(const std::string& connection);
    ~TPgConnection();
    TPgConnection(const TPgConnection&) = delete;
    TPgConnection& operator=(const TPgConnection&) = delete;

    // One statement with $1, $2 ... for its parameters.
    TPgResult Exec(const std::string& sql, const TPgParams& params = {});
    // A statement kept on the server under `name` for this connection, and its use.
    void Prepare(const std::string& name, const std::string& sql);
    TPgResult ExecPrepared(const std::string& name, const TPgParams& params = {});

    // After EServerLost: connect again to the same server (prepared statements are gone).
    void Reconnect();

    // The server, as messages name it.
    const std::string& Server() const { return server_; }
    const std::string& ConnectionString() const { return connection_; }
    const TPgTarget& Target() const { return target_; }
    // Whether the connection is encrypted (sslmode and the server decide).
    bool Encrypted() const;
    // Whether the connection is known to be broken.
    bool Broken() const;

private:
    friend class TPgTransaction;
    struct TState;
    void Connect();
    TPgResult Finish(void* result, const std::string& what);
    [[noreturn]] void FailStatement(void* result, const std::string& what);
    void AbandonTransaction() noexcept;

    std::string connection_;
    std::string server_;
    TPgTarget target_;
    std::unique_ptr<TState> state_;
};

// A transaction on one connection: begun when made, rolled back when left without
// Commit (an exception on the way out leaves nothing half-done on the server).
class TPgTransaction {
public:
    enum class TIsolation { ReadCommitted, RepeatableRead, Serializable };
    explicit TPgTransaction(TPgConnection& connection,
                            TIsolation isolation = TIsolation::ReadCommitted);
    ~TPgTransaction();
    TPgTransaction(const TPgTransaction&) = delete;
    TPgTransaction& operator=(const TPgTransaction&) = delete;

    void Commit();

private:
    TPgConnection& connection_;
    bool open_ = true;
};
