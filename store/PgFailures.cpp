#include "store/PgFailures.h"

#include <string_view>

namespace {

bool Holds(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

bool IsSocketFolder(const std::string& host) {
    // A host that starts with '/' is a socket folder; '@' is Linux's abstract namespace.
    return !host.empty() && (host.front() == '/' || host.front() == '@');
}

std::string WhoWhere(const TPgTarget& target) {
    return "user " + target.user + " (database " + target.dbname + ")";
}

}  // namespace

std::string OneLine(const std::string& message) {
    std::string line;
    std::string_view rest = message;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view part = rest.substr(0, end);
        while (!part.empty() && (part.back() == '\r' || part.back() == ' ')) part.remove_suffix(1);
        while (!part.empty() && (part.front() == '\t' || part.front() == ' '))
            part.remove_prefix(1);
        if (!part.empty()) {
            if (!line.empty()) line += "; ";
            line += part;
        }
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return line;
}

std::string DescribeServer(const TPgTarget& target) {
    std::string where;
    if (IsSocketFolder(target.host))
        where = "the local socket " + target.host + "/.s.PGSQL." + target.port;
    else
        where = target.host + " port " + target.port;
    return where + ", database " + target.dbname + ", user " + target.user;
}

std::string PasswordFilePath() {
#ifdef _WIN32
    return "%APPDATA%\\postgresql\\pgpass.conf";
#else
    return "~/.pgpass";
#endif
}

std::string PasswordFileAdvice() {
#ifdef _WIN32
    return PasswordFilePath() + ", one line host:port:database:user:password";
#else
    return PasswordFilePath() +
           ", one line host:port:database:user:password, readable by you alone (chmod 600 "
           "~/.pgpass)";
#endif
}

std::string SetupCommandFor(const std::string& connection) {
    std::string quoted = "'";
    for (const char c : connection) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return "haltguard-ids-setup --server " + quoted + "'";
}

TFaultReason ClassifyConnectFailure(const std::string& message, bool passwordNeeded,
                                    const TPgTarget& target) {
    const bool socket = IsSocketFolder(target.host);
    // The server's own refusals come first: a message may also carry an earlier
    // attempt's network failure (several hosts, or TLS tried and then plain).
    if (passwordNeeded || Holds(message, "no password supplied"))
        return {TServerFault::Authentication, "it asks for the password of " + WhoWhere(target) +
                                                  ", and none is known here; put it in " +
                                                  PasswordFileAdvice()};
    if (Holds(message, "password authentication failed") ||
        Holds(message, "SCRAM authentication") || Holds(message, "authentication failed for"))
        return {TServerFault::Authentication, "authentication failed: the password of " +
                                                  WhoWhere(target) + " is wrong; mend it in " +
                                                  PasswordFileAdvice()};
    if (Holds(message, "no pg_hba.conf entry"))
        return {TServerFault::Authentication,
                "it lets no connection from this PC in as " + WhoWhere(target) +
                    " (no line of its pg_hba.conf matches); the administrator adds one"};
    if (Holds(message, "role \"") && Holds(message, "\" does not exist"))
        return {TServerFault::Authentication,
                "it has no role " + target.user + "; the administrator makes it, or mend user="};
    if (Holds(message, "Peer authentication failed") ||
        Holds(message, "Ident authentication failed"))
        return {TServerFault::Authentication,
                "it lets " + target.user +
                    " in only from the operating-system user of that name (peer or ident "
                    "in its pg_hba.conf)"};
    if (Holds(message, "database \"") && Holds(message, "\" does not exist"))
        return {TServerFault::NoDatabase,
                "it has no database " + target.dbname +
                    "; the administrator makes it (createdb), or mend dbname="};
    if (Holds(message, "could not translate host name"))
        return {TServerFault::UnknownHost,
                "the host name " + target.host +
                    " is not known here; check its spelling and the PC's name service (DNS, "
                    "hosts file)"};
    if (Holds(message, "timeout expired"))
        return {TServerFault::NoAnswer,
                "no answer within the connect time-out; is the server up, and does the "
                "network let this PC reach it?"};
    if (Holds(message, "No route to host") || Holds(message, "Network is unreachable"))
        return {TServerFault::NoAnswer,
                "the network has no way from this PC to it; check the network and the address"};
    if (socket &&
        (Holds(message, "No such file or directory") || Holds(message, "Connection refused")))
        return {TServerFault::Refused,
                "no server is listening at that socket; is PostgreSQL running on this machine, "
                "and with that port?"};
    if (Holds(message, "Connection refused"))
        return {TServerFault::Refused,
                "the connection was refused; is PostgreSQL running there, listening on that "
                "address (listen_addresses) and port, and let through the firewall?"};
    if (Holds(message, "the database system is starting up") ||
        Holds(message, "the database system is shutting down") ||
        Holds(message, "the database system is in recovery mode"))
        return {TServerFault::Unusable,
                "it is starting up or shutting down; try again in a moment"};
    if (Holds(message, "too many clients") || Holds(message, "connection slots are reserved"))
        return {TServerFault::Unusable,
                "it has no connection free (max_connections); try again, or the administrator "
                "raises the limit"};
    if (Holds(message, "SSL") || Holds(message, "certificate") || Holds(message, "GSSAPI"))
        return {TServerFault::Unusable,
                "the encrypted connection that sslmode asks for could not be made: " +
                    OneLine(message)};
    return {TServerFault::Unusable, OneLine(message)};
}

TServerFault ClassifyStatementFailure(const std::string& sqlState, bool connectionBroken) {
    // A failure without the server's code is the client library's own: the line to the
    // server broke (also before the library has noticed that the connection is gone).
    if (connectionBroken || sqlState.empty()) return TServerFault::Lost;
    // Class 08: connection exceptions; 57P01-57P03: the server shut down or is restarting.
    if (sqlState.starts_with("08") || sqlState == "57P01" || sqlState == "57P02" ||
        sqlState == "57P03")
        return TServerFault::Lost;
    // No such schema or table: the tables for the groups are not (or no longer) there.
    if (sqlState == "3F000" || sqlState == "42P01") return TServerFault::NoSchema;
    return TServerFault::Refusal;
}
