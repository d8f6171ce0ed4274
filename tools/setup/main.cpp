// haltguard-ids-setup: makes what the program needs and never makes itself — the
// groups directory, the ID list directory, an empty groups table and the default
// port links. It never overwrites what exists and says what it did, and warns when
// this user may not open the devices the ports lead to. With --check-ports it tells
// the state of every port instead.
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "serial/PortNames.h"
#include "store/DataPaths.h"
#include "store/TIDGroupStore.h"
#include "store/TTable.h"
#include "tools/setup/CheckPorts.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned kDefaultLinkedPorts = 96;

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

void MakeDirectory(const std::string& dir, Reporter& out) {
    if (fs::is_directory(dir)) return;
    fs::create_directories(dir);
    out.Did("Created directory " + dir);
}

void MakeGroupsTable(const TStorePaths& paths, Reporter& out) {
    const fs::path file = fs::path(paths.GroupsDir) / kGroupsTableName;
    if (fs::exists(fs::symlink_status(file))) return;
    TTable table("IDGroupTable");
    table.SetDatabaseName(paths.GroupsDir);
    table.SetTableName(kGroupsTableName);
    table.CreateTable({{kGroupNameField, 30}, {kIDListNameField, 150}}, {kGroupNameField});
    out.Did("Created the groups table " + file.string());
}

void MakePortLinks(Reporter& out) {
    const fs::path folder = PortsFolder();
    // Windows names its COM ports itself: there is no folder of links to make.
    if (folder.empty()) return;
    // Once the folder exists its links are the user's: a link removed on purpose (to
    // keep a port, or a console that answers to a serial name, out of the scan) stays
    // removed, and nothing is added behind a link the user made.
    if (fs::exists(fs::symlink_status(folder))) {
        out.Note("Ports folder " + folder.string() + " exists; its links are left as they are");
        return;
    }
    MakeDirectory(folder.string(), out);
    for (unsigned n = 1; n <= kDefaultLinkedPorts; ++n)
        fs::create_symlink(DefaultDeviceOfPort(n), folder / ("com" + std::to_string(n)));
    out.Did("Created links com1 to com" + std::to_string(kDefaultLinkedPorts) + " in " +
            folder.string());
}

}  // namespace

int main(int argc, char** argv) {
    bool quiet = false;
    bool checkPorts = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quiet") == 0) {
            quiet = true;
        } else if (std::strcmp(argv[i], "--check-ports") == 0) {
            checkPorts = true;
        } else {
            std::cerr << "usage: haltguard-ids-setup [--quiet | --check-ports]\n";
            return 2;
        }
    }
    if (checkPorts) {
        CheckPorts(std::cout);
        return 0;
    }
    Reporter out(quiet);
    try {
        const TStorePaths paths = DefaultStorePaths();
        MakeDirectory(paths.GroupsDir, out);
        MakeDirectory(paths.IDListDir, out);
        MakeGroupsTable(paths, out);
        MakePortLinks(out);
    } catch (const std::exception& e) {
        std::cerr << "haltguard-ids-setup: " << e.what() << '\n';
        return 1;
    }
    if (!out.DidAnything()) out.Note("Everything already exists; nothing was changed");
    if (!quiet) WarnAboutPortPermissions(std::cerr);
    return 0;
}
