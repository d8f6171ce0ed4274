#pragma once
// A real PostgreSQL 15 server for the tests: made in a fresh temporary folder with
// Debian's initdb, listening on a Unix socket in that folder (and on a free loopback
// TCP port when asked, for programs that cannot reach a socket, such as those under
// Wine), stopped and removed when the object goes. POSIX only.
//
// Run as root (CI), the server runs as the account "postgres" that Debian's package
// makes, as initdb and postgres refuse root; run as an ordinary user, as that user.
// The server also stops when the thread that made the object ends (the test dies),
// so make it on the test's main thread.
//
// Connections: the superuser kSuperuser gets in without a password; roles made by
// CreatePasswordRole must give theirs (scram-sha-256 in pg_hba.conf), the rest are
// trusted.
#include <sys/types.h>

#include <string>

class TPgTestServer {
public:
    static constexpr const char* kSuperuser = "hg_admin";
    static constexpr const char* kBinDir = "/usr/lib/postgresql/15/bin";

    struct TOptions {
        bool tcp = false;  // also listen on 127.0.0.1, on a free port
    };

    // Whether the server's programs are installed; `why` says what is missing.
    static bool Installed(std::string* why = nullptr);

    TPgTestServer() : TPgTestServer(TOptions{}) {}
    explicit TPgTestServer(TOptions options);
    ~TPgTestServer();
    TPgTestServer(const TPgTestServer&) = delete;
    TPgTestServer& operator=(const TPgTestServer&) = delete;

    const std::string& Folder() const { return root_; }
    const std::string& SocketDir() const { return root_; }
    int Port() const { return port_; }
    bool ListensOnTcp() const { return options_.tcp; }

    // Connection strings over the socket, and over TCP (with TOptions::tcp).
    std::string Connection(const std::string& dbname = "postgres",
                           const std::string& user = kSuperuser) const;
    std::string TcpConnection(const std::string& dbname = "postgres",
                              const std::string& user = kSuperuser) const;

    // Runs SQL as the superuser through psql and gives its rows, one a line, columns
    // split by '|'; throws std::runtime_error with psql's words when it fails.
    std::string Sql(const std::string& sql, const std::string& dbname = "postgres") const;
    // A UTF8 database owned by `owner`.
    void CreateDatabase(const std::string& name, const std::string& owner = kSuperuser) const;
    // A role that logs in with a password (pg_hba asks it for one).
    void CreatePasswordRole(const std::string& name, const std::string& password) const;
    // A role that logs in without one.
    void CreateRole(const std::string& name) const;

    // Stops the server at once, as a crash or a pulled cable would look to a client;
    // Start brings it up again on the same folder and port.
    void Stop();
    void Start();
    bool Running() const { return pid_ > 0; }

    // Milliseconds the last start took, from initdb or from Start.
    long StartMilliseconds() const { return startMilliseconds_; }

private:
    void InitDb();
    void Launch();
    void WaitReady();
    std::string DataDir() const { return root_ + "/data"; }

    TOptions options_;
    std::string root_;
    int port_ = 0;
    pid_t pid_ = -1;
    uid_t serverUid_ = 0;  // 0: run as ourselves
    gid_t serverGid_ = 0;
    long startMilliseconds_ = 0;
};
