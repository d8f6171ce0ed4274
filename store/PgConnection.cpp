#include "store/PgConnection.h"

#include <libpq-fe.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <locale.h>
#include <clocale>
#endif

namespace {

// The connect time-out when neither the connection string nor PGCONNECT_TIMEOUT gives
// one: without it a host that drops packets keeps the program waiting for minutes.
constexpr const char* kDefaultConnectSeconds = "10";

// The client library's own messages in English while it runs on this thread, whatever
// the user's language: the failures are recognised by their wording (the library has
// no codes for failed connections), and the messages above put them in plain words
// anyway. Thread-local, so nothing else in the program changes language. The Windows
// build of the library has no translations.
class TEnglishMessages {
public:
#ifndef _WIN32
    TEnglishMessages() : c_(newlocale(LC_ALL_MASK, "C", nullptr)) {
        if (c_) previous_ = uselocale(c_);
    }
    ~TEnglishMessages() {
        if (!c_) return;
        uselocale(previous_);
        freelocale(c_);
    }

private:
    locale_t c_;
    locale_t previous_ = nullptr;
#else
    // Nothing to change; declared so that the guard objects above are not "unused".
    TEnglishMessages() {}
    ~TEnglishMessages() {}
#endif
};

std::string Text(const char* s) {
    return s ? s : "";
}

TPgTarget TargetOf(PGconn* conn) {
    return {Text(PQhost(conn)), Text(PQport(conn)), Text(PQdb(conn)), Text(PQuser(conn))};
}

}  // namespace

struct TPgConnection::TState {
    PGconn* conn = nullptr;
    ~TState() { Close(); }
    void Close() {
        if (conn) PQfinish(conn);
        conn = nullptr;
    }
};

const TPgValue& TPgResult::At(int row, int column) const {
    return rows_.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column));
}

const std::string& TPgResult::Text(int row, int column) const {
    const TPgValue& value = At(row, column);
    if (!value)
        throw EServerRefusal(TServerFault::Refusal, "",
                             "The group server sent no value (NULL) where a text belongs");
    return *value;
}

long long TPgResult::Integer(int row, int column) const {
    const std::string& text = Text(row, column);
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0)
        throw EServerRefusal(TServerFault::Refusal, "",
                             "The group server sent \"" + text + "\" where a number belongs");
    return n;
}

std::string ConnectionStringProblem(const std::string& connection) {
    if (connection.find_first_not_of(" \t") == std::string::npos)
        return "the connection string is empty; give the server, for example "
               "'host=depot-db dbname=haltguard user=lane1' or 'service=depot'";
    for (const char c : connection)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
            return "the connection string holds a line break or another control character";
    char* error = nullptr;
    PQconninfoOption* options = nullptr;
    {
        TEnglishMessages english;
        options = PQconninfoParse(connection.c_str(), &error);
    }
    if (!options) {
        const std::string why = error ? OneLine(error) : "out of memory";
        PQfreemem(error);
        return "the connection string cannot be read: " + why;
    }
    bool password = false;
    for (const PQconninfoOption* o = options; o->keyword; ++o)
        if (std::strcmp(o->keyword, "password") == 0 && o->val && *o->val) password = true;
    PQconninfoFree(options);
    if (password)
        return "the connection string holds a password, which would be written where every "
               "user of this PC can read it; leave it out and put it in " +
               PasswordFileAdvice();
    return "";
}

TPgConnection::TPgConnection(const std::string& connection)
    : connection_(connection), state_(std::make_unique<TState>()) {
    Connect();
}

TPgConnection::~TPgConnection() = default;

void TPgConnection::Connect() {
    // Later keywords override earlier ones, and the connection string (expanded from
    // "dbname") overrides what stands before it: the time-out and the application name
    // are defaults the user may change; the encoding is not, as every text is UTF-8.
    std::vector<const char*> keys;
    std::vector<const char*> values;
    if (!std::getenv("PGCONNECT_TIMEOUT")) {
        keys.push_back("connect_timeout");
        values.push_back(kDefaultConnectSeconds);
    }
    keys.push_back("fallback_application_name");
    values.push_back("haltguard-ids");
    keys.push_back("dbname");
    values.push_back(connection_.c_str());
    keys.push_back("client_encoding");
    values.push_back("UTF8");
    keys.push_back(nullptr);
    values.push_back(nullptr);

    state_->Close();
    {
        TEnglishMessages english;
        state_->conn = PQconnectdbParams(keys.data(), values.data(), 1);
    }
    PGconn* conn = state_->conn;
    if (!conn)
        throw EServerUnreachable(TServerFault::Unusable, connection_,
                                 "Cannot use the group server: out of memory");
    target_ = TargetOf(conn);
    server_ = DescribeServer(target_);
    if (PQstatus(conn) == CONNECTION_OK) return;
    const TFaultReason why = ClassifyConnectFailure(Text(PQerrorMessage(conn)),
                                                    PQconnectionNeedsPassword(conn) != 0, target_);
    state_->Close();
    throw EServerUnreachable(why.fault, server_,
                             "Cannot use the group server " + server_ + ": " + why.reason);
}

void TPgConnection::Reconnect() {
    Connect();
}

bool TPgConnection::Encrypted() const {
    return state_->conn && PQsslInUse(state_->conn) != 0;
}

bool TPgConnection::Broken() const {
    return !state_->conn || PQstatus(state_->conn) == CONNECTION_BAD;
}

namespace {

// The parameters as the library takes them. A text holding a NUL would reach the
// server cut short at it: refused instead (the server stores no NUL in a text anyway).
std::vector<const char*> ValuesOf(const TPgParams& params, const std::string& server) {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const TPgValue& p : params) {
        if (p && p->find('\0') != std::string::npos)
            throw EServerRefusal(
                TServerFault::Refusal, server,
                "A text holding a NUL character cannot go to the group server " + server, "22021");
        values.push_back(p ? p->c_str() : nullptr);
    }
    return values;
}

}  // namespace

TPgResult TPgConnection::Exec(const std::string& sql, const TPgParams& params) {
    const std::vector<const char*> values = ValuesOf(params, server_);
    if (!state_->conn) FailStatement(nullptr, sql);
    PGresult* result = nullptr;
    {
        TEnglishMessages english;
        result = PQexecParams(state_->conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                              values.data(), nullptr, nullptr, 0);
    }
    return Finish(result, sql);
}

void TPgConnection::Prepare(const std::string& name, const std::string& sql) {
    if (!state_->conn) FailStatement(nullptr, sql);
    PGresult* result = nullptr;
    {
        TEnglishMessages english;
        result = PQprepare(state_->conn, name.c_str(), sql.c_str(), 0, nullptr);
    }
    Finish(result, sql);
}

TPgResult TPgConnection::ExecPrepared(const std::string& name, const TPgParams& params) {
    const std::vector<const char*> values = ValuesOf(params, server_);
    if (!state_->conn) FailStatement(nullptr, name);
    PGresult* result = nullptr;
    {
        TEnglishMessages english;
        result = PQexecPrepared(state_->conn, name.c_str(), static_cast<int>(values.size()),
                                values.data(), nullptr, nullptr, 0);
    }
    return Finish(result, name);
}

TPgResult TPgConnection::Finish(void* handle, const std::string& what) {
    auto* result = static_cast<PGresult*>(handle);
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) FailStatement(result, what);
    TPgResult rows;
    rows.columns_ = PQnfields(result);
    const int count = PQntuples(result);
    rows.rows_.resize(static_cast<std::size_t>(count));
    for (int r = 0; r < count; ++r) {
        auto& row = rows.rows_[static_cast<std::size_t>(r)];
        row.reserve(static_cast<std::size_t>(rows.columns_));
        for (int c = 0; c < rows.columns_; ++c) {
            if (PQgetisnull(result, r, c))
                row.emplace_back(std::nullopt);
            else
                row.emplace_back(std::string(PQgetvalue(result, r, c),
                                             static_cast<std::size_t>(PQgetlength(result, r, c))));
        }
    }
    const char* affected = PQcmdTuples(result);
    rows.affected_ = (affected && *affected) ? std::strtoll(affected, nullptr, 10) : 0;
    rows.command_ = Text(PQcmdStatus(result));
    PQclear(result);
    return rows;
}

void TPgConnection::FailStatement(void* handle, const std::string& what) {
    auto* result = static_cast<PGresult*>(handle);
    std::string sqlState;
    std::string message;
    if (result) {
        sqlState = Text(PQresultErrorField(result, PG_DIAG_SQLSTATE));
        message = Text(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
        if (message.empty()) message = Text(PQresultErrorMessage(result));
        PQclear(result);
    }
    if (message.empty() && state_->conn) message = Text(PQerrorMessage(state_->conn));
    if (message.empty()) message = "the connection was closed after an earlier failure";
    message = OneLine(message);
    switch (ClassifyStatementFailure(sqlState, Broken())) {
        case TServerFault::Lost:
            // Closed here, so that every later use meets the same, until Reconnect.
            state_->Close();
            throw EServerLost(
                TServerFault::Lost, server_,
                "The connection to the group server " + server_ + " was lost: " + message,
                sqlState);
        case TServerFault::NoSchema:
            throw EServerSchema(TServerFault::NoSchema, server_,
                                "The group server " + server_ + " has no tables for the groups (" +
                                    message + "); run " + SetupCommandFor(connection_),
                                sqlState);
        default:
            throw EServerRefusal(TServerFault::Refusal, server_,
                                 "The group server " + server_ + " refused " + what.substr(0, 60) +
                                     (what.size() > 60 ? "...: " : ": ") + message,
                                 sqlState);
    }
}

void TPgConnection::AbandonTransaction() noexcept {
    // On a broken connection the server has already thrown the transaction away.
    if (Broken()) return;
    PGresult* result =
        PQexecParams(state_->conn, "ROLLBACK", 0, nullptr, nullptr, nullptr, nullptr, 0);
    const bool done = result && PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    // A rollback refused on a live connection would leave the transaction open for the
    // next operation to join: the connection is closed instead, which ends it on the
    // server, and the next use reports it lost.
    if (!done) state_->Close();
}

TPgTransaction::TPgTransaction(TPgConnection& connection, TIsolation isolation)
    : connection_(connection) {
    const char* level = isolation == TIsolation::Serializable     ? "SERIALIZABLE"
                        : isolation == TIsolation::RepeatableRead ? "REPEATABLE READ"
                                                                  : "READ COMMITTED";
    connection_.Exec(std::string("BEGIN ISOLATION LEVEL ") + level);
}

TPgTransaction::~TPgTransaction() {
    if (open_) connection_.AbandonTransaction();
}

void TPgTransaction::Commit() {
    open_ = false;
    const TPgResult result = connection_.Exec("COMMIT");
    // COMMIT in a transaction that a failed statement aborted is answered "ROLLBACK":
    // nothing was kept, which must not pass for success.
    if (result.Command() != "COMMIT")
        throw EServerRefusal(TServerFault::Refusal, connection_.Server(),
                             "The group server " + connection_.Server() +
                                 " kept nothing of the transaction: a statement in it had failed",
                             "25P02");
}
