#include "tests/common/PgTestServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kReadyWithin = std::chrono::seconds(60);
// The role whose members pg_hba asks for a password.
constexpr const char* kPasswordGroup = "hg_password_login";
// The socket's port when the server listens on no TCP port: the folder is private.
constexpr int kSocketOnlyPort = 5432;

// The caller's PG* variables would steer every connection the tests make (and the
// programs they start) to another server or user: the tests name everything themselves.
void ForgetCallersServer() {
    for (const char* name : {"PGHOST",
                             "PGHOSTADDR",
                             "PGPORT",
                             "PGDATABASE",
                             "PGUSER",
                             "PGPASSWORD",
                             "PGPASSFILE",
                             "PGSERVICE",
                             "PGSERVICEFILE",
                             "PGSSLMODE",
                             "PGREQUIRESSL",
                             "PGSSLROOTCERT",
                             "PGCONNECT_TIMEOUT",
                             "PGOPTIONS",
                             "PGAPPNAME",
                             "PGCLIENTENCODING",
                             "PGSYSCONFDIR",
                             "PGTARGETSESSIONATTRS",
                             "PGGSSENCMODE",
                             "PGCHANNELBINDING"})
        ::unsetenv(name);
}

std::string Program(const char* name) {
    return std::string(TPgTestServer::kBinDir) + "/" + name;
}

std::string Quoted(const std::string& value) {
    std::string q = "'";
    for (const char c : value) {
        if (c == '\'' || c == '\\') q += '\\';
        q += c;
    }
    return q + "'";
}

std::string SqlIdentifier(const std::string& name) {
    std::string q = "\"";
    for (const char c : name) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + "\"";
}

std::string SqlLiteral(const std::string& text) {
    std::string q = "'";
    for (const char c : text) {
        if (c == '\'') q += '\'';
        q += c;
    }
    return q + "'";
}

// Becomes the server's account in a child about to exec (root only), and asks to be
// stopped with SIGQUIT (the server's immediate shutdown) when the parent thread ends.
// The request is made after the change of user, which would clear it.
void BecomeServerAccount(uid_t uid, gid_t gid, pid_t parent) {
    if (uid != 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) _exit(126);
    }
    ::prctl(PR_SET_PDEATHSIG, SIGQUIT);
    if (::getppid() != parent) _exit(126);
}

// Runs argv, output into `output` (standard output and error together); the exit status.
int Run(const std::vector<std::string>& argv, std::string* output, uid_t uid = 0, gid_t gid = 0) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        BecomeServerAccount(uid, gid, parent);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        _exit(127);
    }
    ::close(pipeFds[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        if (output) output->append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("no socket for a free port");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("no free loopback port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

std::string Tail(const std::string& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    return all.size() > 2000 ? all.substr(all.size() - 2000) : all;
}

}  // namespace

bool TPgTestServer::Installed(std::string* why) {
    for (const char* name : {"initdb", "postgres", "psql"}) {
        if (::access(Program(name).c_str(), X_OK) != 0) {
            if (why)
                *why = Program(name) + " is missing: install postgresql-15 (make test installs it)";
            return false;
        }
    }
    if (::geteuid() == 0 && !::getpwnam("postgres")) {
        if (why) *why = "the account postgres is missing (postgresql-15's package makes it)";
        return false;
    }
    return true;
}

TPgTestServer::TPgTestServer(TOptions options) : options_(options) {
    ForgetCallersServer();
    std::string why;
    if (!Installed(&why)) throw std::runtime_error("No PostgreSQL for the tests: " + why);
    if (::geteuid() == 0) {
        const passwd* account = ::getpwnam("postgres");
        serverUid_ = account->pw_uid;
        serverGid_ = account->pw_gid;
    }
    // In /tmp, not in TMPDIR or the build tree: the server's account must reach it.
    std::string pattern = "/tmp/hg-pg-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder for the server");
    root_ = pattern;
    if (serverUid_ != 0 && ::chown(root_.c_str(), serverUid_, serverGid_) != 0)
        throw std::runtime_error("cannot give " + root_ + " to the account postgres");
    port_ = options_.tcp ? FreeLoopbackPort() : kSocketOnlyPort;
    const auto started = Clock::now();
    InitDb();
    Launch();
    WaitReady();
    Sql("CREATE ROLE " + std::string(kPasswordGroup) + " NOLOGIN");
    startMilliseconds_ = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
}

TPgTestServer::~TPgTestServer() {
    if (pid_ > 0) {
        // Fast shutdown: the sessions are ended, nothing is written to keep.
        ::kill(pid_, SIGINT);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void TPgTestServer::InitDb() {
    std::string output;
    const int status = Run({Program("initdb"), "-D", DataDir(), "-U", kSuperuser, "-A", "trust",
                            "-E", "UTF8", "--locale=C", "--no-sync", "--no-instructions"},
                           &output, serverUid_, serverGid_);
    if (status != 0) throw std::runtime_error("initdb failed:\n" + output);
    // Written by us as root, read by the server's account: the files stay its own.
    const std::string hba = DataDir() + "/pg_hba.conf";
    {
        std::ofstream out(hba, std::ios::trunc);
        out << "local all +" << kPasswordGroup << " scram-sha-256\n"
            << "host all +" << kPasswordGroup << " 127.0.0.1/32 scram-sha-256\n"
            << "local all all trust\n"
            << "host all all 127.0.0.1/32 trust\n";
    }
    std::ofstream conf(DataDir() + "/postgresql.conf", std::ios::app);
    // Quick to start and stop: a test's server, not a depot's. Without fsync what is
    // committed still survives the server being killed (the system keeps it), which the
    // tests of a server stopped mid-operation rely on; synchronous_commit stays on.
    conf << "listen_addresses = " << Quoted(options_.tcp ? "127.0.0.1" : "") << "\n"
         << "port = " << port_ << "\n"
         << "unix_socket_directories = " << Quoted(root_) << "\n"
         << "fsync = off\nfull_page_writes = off\n"
         << "shared_buffers = 16MB\nmax_connections = 60\n"
         << "lc_messages = 'C'\nlogging_collector = off\n"
         << "password_encryption = 'scram-sha-256'\n";
}

void TPgTestServer::Launch() {
    const std::string log = root_ + "/server.log";
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
        }
        const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (nothing >= 0) ::dup2(nothing, 0);
        // The log file was made by us; the server's account must write it.
        if (serverUid_ != 0 && ::fchown(fd, serverUid_, serverGid_) != 0) _exit(126);
        BecomeServerAccount(serverUid_, serverGid_, parent);
        const std::string postgres = Program("postgres");
        const std::string data = DataDir();
        ::execl(postgres.c_str(), postgres.c_str(), "-D", data.c_str(), nullptr);
        _exit(127);
    }
    pid_ = pid;
}

void TPgTestServer::WaitReady() {
    // The server writes "ready" as the last line of postmaster.pid once it takes
    // connections.
    const std::string pidFile = DataDir() + "/postmaster.pid";
    const auto deadline = Clock::now() + kReadyWithin;
    while (Clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("the test server did not start:\n" +
                                     Tail(root_ + "/server.log"));
        }
        std::ifstream in(pidFile);
        std::string line;
        std::string last;
        while (std::getline(in, line))
            if (!line.empty()) last = line;
        if (last.find("ready") != std::string::npos) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    throw std::runtime_error("the test server was not ready within a minute:\n" +
                             Tail(root_ + "/server.log"));
}

void TPgTestServer::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGQUIT);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

void TPgTestServer::Start() {
    if (pid_ > 0) return;
    const auto started = Clock::now();
    Launch();
    WaitReady();
    startMilliseconds_ = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
}

std::string TPgTestServer::Connection(const std::string& dbname, const std::string& user) const {
    return "host=" + Quoted(root_) + " port=" + std::to_string(port_) +
           " dbname=" + Quoted(dbname) + " user=" + Quoted(user);
}

std::string TPgTestServer::TcpConnection(const std::string& dbname, const std::string& user) const {
    if (!options_.tcp) throw std::logic_error("this test server listens on no TCP port");
    return "host=127.0.0.1 port=" + std::to_string(port_) + " dbname=" + Quoted(dbname) +
           " user=" + Quoted(user);
}

std::string TPgTestServer::Sql(const std::string& sql, const std::string& dbname) const {
    std::string output;
    const int status =
        Run({Program("psql"), "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", root_, "-p",
             std::to_string(port_), "-U", kSuperuser, "-d", dbname, "-c", sql},
            &output);
    if (status != 0) throw std::runtime_error("psql failed on \"" + sql + "\":\n" + output);
    return output;
}

void TPgTestServer::CreateDatabase(const std::string& name, const std::string& owner) const {
    Sql("CREATE DATABASE " + SqlIdentifier(name) + " OWNER " + SqlIdentifier(owner) +
        " ENCODING 'UTF8' TEMPLATE template0");
}

void TPgTestServer::CreatePasswordRole(const std::string& name, const std::string& password) const {
    Sql("CREATE ROLE " + SqlIdentifier(name) + " LOGIN PASSWORD " + SqlLiteral(password) +
        " IN ROLE " + kPasswordGroup);
}

void TPgTestServer::CreateRole(const std::string& name) const {
    Sql("CREATE ROLE " + SqlIdentifier(name) + " LOGIN");
}
