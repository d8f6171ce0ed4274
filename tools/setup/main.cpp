// haltguard-ids-setup: makes what the program needs and never makes itself — the
// groups directory, the ID list directory, an empty groups table and the default
// port links. It never overwrites what exists and says what it did; it warns when
// this user may not write the store that exists, or may not open the devices the ports
// lead to. With --check-ports it tells the state of every port instead. With --server
// it chooses a group server instead of the local files (checked, its tables made or
// upgraded, then the choice written); --local goes back to the local files.
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "serial/PortNames.h"
#include "store/DataPaths.h"
#include "store/LocalGroupRepository.h"
#include "store/PgConnection.h"
#include "store/ServerErrors.h"
#include "store/StoreChoice.h"
#include "tools/setup/CheckPorts.h"
#include "tools/setup/FileRights.h"
#include "tools/setup/ServerSetup.h"
#include "tools/setup/SetupFailures.h"
#include "tools/setup/StoreAccess.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned kDefaultLinkedPorts = 96;

// Exit statuses.
constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kStoreNotWritable = 3;

constexpr const char* kUsageLine =
    "usage: haltguard-ids-setup [--quiet] [--server CONNECTION | --local] | --check-ports | "
    "--help\n";

std::string HelpText() {
    const TStorePaths paths = DefaultStorePaths();
    const std::string ports = PortsFolder();
    std::string text = kUsageLine;
    text += "\nMakes what Haltguard IDs needs and never makes itself: the groups folder\n  " +
            paths.GroupsDir + "\nwith an empty groups table, the ID list folder inside it";
    if (!ports.empty())
        text += ", and the port links\n  " + ports +
                "\n(COM1-32 -> /dev/ttyS0-31, COM33-64 -> /dev/ttyUSB0-31, COM65-96 -> "
                "/dev/ttyACM0-31)";
    text +=
        ".\nIt never overwrites what exists, and says what it made.\n"
        "\n"
        "  --quiet        say nothing but failures and the warning of status 3\n"
        "  --server CONNECTION\n"
        "                 keep the groups on a PostgreSQL server, shared by several PCs:\n"
        "                 check that it answers, make or upgrade its tables for the groups\n"
        "                 (when the role may), then write the choice into\n"
        "                   " +
        StoreChoiceFile() +
        "\n"
        "                 CONNECTION is libpq's connection string, for example\n"
        "                 'host=depot-db dbname=haltguard user=lane1' or 'service=depot'\n"
        "                 (pg_service.conf); the PG* environment variables fill in the rest,\n"
        "                 and sslmode works as libpq defines it. No password here: it goes\n"
        "                 into libpq's password file, " +
        PasswordFilePath() +
        ".\n"
        "                 Run again without options, it upgrades the server's tables.\n"
        "  --local        keep the groups in the local files again (the default)\n"
        "  --check-ports  make nothing; for COM1 to COM254 tell the device each port leads\n"
        "                 to and whether it can be used (free, in use by which program,\n"
        "                 not permitted with the fix, not there), then what to do next\n"
        "  --help         show this text\n"
        "\n"
        "Exit status: 0 done (--check-ports: a port is free); 1 failed, for --server: the\n"
        "server cannot be reached or used, and nothing was written (--check-ports: no port\n"
        "is usable); 2 unknown option; 3 the store exists, but you may not write it.\n";
    return text;
}

class Reporter {
public:
    explicit Reporter(bool quiet) : quiet_(quiet) {}
    void Did(const std::string& line) {
        did_ = true;
        if (!quiet_) std::cout << line << '\n';
    }
    void Note(const std::string& line) {
        if (!quiet_) std::cout << line << '\n';
    }
    bool DidAnything() const { return did_; }

private:
    bool quiet_;
    bool did_ = false;
};

// Whether path stands there (as a link, if it is one); refusals to look are failures.
bool Exists(const std::string& what, const fs::path& path) {
    std::error_code err;
    const fs::file_status st = fs::symlink_status(path, err);
    if (st.type() == fs::file_type::not_found) return false;
    if (err) FailToCreate(what, path, err);
    return true;
}

void MakeDirectory(const fs::path& dir, Reporter& out) {
    std::error_code err;
    if (fs::is_directory(dir, err)) return;
    fs::create_directories(dir, err);
    if (err) FailToCreate("the folder", dir, err);
    out.Did("Created directory " + dir.string());
}

void MakeGroupsTable(const TStorePaths& paths, Reporter& out) {
    const fs::path file = fs::path(paths.GroupsDir) / kGroupsTableName;
    if (Exists("the groups table", file)) return;
    try {
        CreateGroupsTable(paths);
    } catch (const std::exception& e) {
        // A folder that exists, but not for us to write in, says so in plain words.
        if (!MayWrite(paths.GroupsDir))
            FailToCreate("the groups table", file,
                         std::make_error_code(std::errc::permission_denied));
        throw ESetupFailure("Cannot create the groups table " + file.string() + ": " + e.what());
    }
    out.Did("Created the groups table " + file.string());
}

void MakePortLinks(Reporter& out) {
    const fs::path folder = PortsFolder();
    // Windows names its COM ports itself: there is no folder of links to make.
    if (folder.empty()) return;
    // Once the folder exists its links are the user's: a link removed on purpose (to
    // keep a port, or a console that answers to a serial name, out of the scan) stays
    // removed, and nothing is added behind a link the user made.
    if (Exists("the folder", folder)) {
        out.Note("Ports folder " + folder.string() + " exists; its links are left as they are");
        return;
    }
    MakeDirectory(folder, out);
    for (unsigned n = 1; n <= kDefaultLinkedPorts; ++n) {
        const fs::path link = folder / ("com" + std::to_string(n));
        std::error_code err;
        fs::create_symlink(DefaultDeviceOfPort(n), link, err);
        // Another setup tool started at the same moment made the folder too, and this
        // very link: that is no failure.
        std::error_code unread;
        if (err == std::errc::file_exists &&
            fs::read_symlink(link, unread) == fs::path(DefaultDeviceOfPort(n)))
            continue;
        if (err) FailToCreate("the port link", link, err);
    }
    out.Did("Created links com1 to com" + std::to_string(kDefaultLinkedPorts) + " in " +
            folder.string());
}

// The store option given, if any.
enum class TStoreOption { Unchanged, Server, Local };

// Checks and prepares the chosen server, then writes the choice: nothing is written
// when the server cannot be used.
void ChooseServer(const std::string& connection, bool alreadyChosen, Reporter& out) {
    if (const std::string problem = ConnectionStringProblem(connection); !problem.empty())
        throw ESetupFailure("Cannot use that server: " + problem);
    for (const std::string& line : PrepareServer(connection)) out.Did(line);
    if (alreadyChosen) return;
    WriteServerChoice(connection);
    out.Did("Chose this server for the groups: wrote " + StoreChoiceFile());
}

void ChooseLocal(Reporter& out) {
    if (RemoveStoreChoice())
        out.Did("Back to the local files for the groups: removed " + StoreChoiceFile());
}

void MakeLocalStore(const TStorePaths& paths, Reporter& out) {
    MakeDirectory(paths.GroupsDir, out);
    MakeDirectory(paths.IDListDir, out);
    MakeGroupsTable(paths, out);
}

}  // namespace

int main(int argc, char** argv) {
    bool quiet = false;
    bool checkPorts = false;
    TStoreOption storeOption = TStoreOption::Unchanged;
    std::string connection;
    const auto usage = [] {
        std::cerr << kUsageLine << "(haltguard-ids-setup --help explains the options)\n";
        return kUsage;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--check-ports") {
            checkPorts = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << HelpText();
            return kDone;
        } else if ((arg == "--server" || arg.starts_with("--server=")) &&
                   storeOption == TStoreOption::Unchanged) {
            if (arg == "--server") {
                if (++i == argc) return usage();
                connection = argv[i];
            } else {
                connection = arg.substr(std::strlen("--server="));
            }
            storeOption = TStoreOption::Server;
        } else if (arg == "--local" && storeOption == TStoreOption::Unchanged) {
            storeOption = TStoreOption::Local;
        } else {
            return usage();
        }
    }
    if (checkPorts) return storeOption == TStoreOption::Unchanged ? CheckPorts(std::cout) : usage();
    // Spaces around the string mean nothing to libpq; the choice file would not keep them.
    connection.erase(0, connection.find_first_not_of(" \t"));
    connection.erase(connection.find_last_not_of(" \t") + 1);

    Reporter out(quiet);
    const TStorePaths paths = DefaultStorePaths();
    bool local = true;
    try {
        switch (storeOption) {
            case TStoreOption::Server:
                ChooseServer(connection, false, out);
                local = false;
                break;
            case TStoreOption::Local:
                ChooseLocal(out);
                break;
            case TStoreOption::Unchanged:
                // Run again after an update, the tool upgrades the chosen server's tables.
                if (const TStoreChoice choice = ReadStoreChoice();
                    choice.kind == TStoreKind::Server) {
                    ChooseServer(choice.connection, true, out);
                    local = false;
                }
                break;
        }
        if (local) MakeLocalStore(paths, out);
        MakePortLinks(out);
    } catch (const std::exception& e) {
        std::cerr << "haltguard-ids-setup: " << e.what() << '\n';
        return kFailed;
    }
    if (!out.DidAnything()) out.Note("Everything already exists; nothing was changed");
    int status = kDone;
    // Said even when quiet: it is what status 3 means.
    if (const std::vector<std::string> files =
            local ? UnwritableStoreFiles(paths) : std::vector<std::string>{};
        !files.empty()) {
        std::cerr << UnwritableStoreWarning(paths, files) << '\n';
        status = kStoreNotWritable;
    }
    if (!quiet) WarnAboutPortPermissions(std::cerr);
    return status;
}
