#include "serial/PortCheck.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "serial/PortNames.h"
#include "serial/TUucpLock.h"
#include "serial/TVarnBaseDispatcher.h"
#include "serial/VarnExceptions.h"

namespace fs = std::filesystem;

namespace {

TPortReport Report(unsigned n, const std::string& device, TPortState state,
                   const std::string& words, const std::string& fix = "") {
    return TPortReport{n, device, state, fix.empty() ? words : words + ": " + fix, fix};
}

// What a link says it points at, as written; the path itself when it is no link.
std::string Shown(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : path;
}

std::string RealPath(const std::string& path) {
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec);
    return ec ? path : real.string();
}

const char* KindOf(mode_t mode) {
    if (S_ISREG(mode)) return "a regular file";
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISBLK(mode)) return "a block device";
    return "no device";
}

std::string FirstLine(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// A serial-core node whose port type is 0 (unknown) has no UART behind it; sysfs
// says so to everyone, without opening the node.
bool NoHardware(const std::string& realPath) {
    const std::string name = fs::path(realPath).filename().string();
    return FirstLine("/sys/class/tty/" + name + "/type") == "0";
}

std::string Holder(long pid) {
    const std::string name = FirstLine("/proc/" + std::to_string(pid) + "/comm");
    return "PID " + std::to_string(pid) + (name.empty() ? "" : " (" + name + ")");
}

// The process holding a flock on the node, from /proc/locks, which everyone may read:
// "1: FLOCK  ADVISORY  WRITE <pid> <major>:<minor>:<inode> 0 EOF" (numbers in hex but
// the inode); waiting entries carry "->".
long FlockHolder(const struct stat& node) {
    std::ifstream in("/proc/locks");
    std::string line;
    while (std::getline(in, line)) {
        if (line.find("->") != std::string::npos) continue;
        std::istringstream fields(line);
        std::string id, kind, mode, access, where;
        long pid = 0;
        if (!(fields >> id >> kind >> mode >> access >> pid >> where) || kind != "FLOCK") continue;
        unsigned maj = 0, min = 0;
        unsigned long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%lu", &maj, &min, &inode) != 3) continue;
        if (pid > 0 && maj == ::major(node.st_dev) && min == ::minor(node.st_dev) &&
            inode == node.st_ino)
            return pid;
    }
    return 0;
}

// Another process that has the device open, from /proc/*/fd where this user may look
// (all of them for root, its own processes otherwise).
long Opener(const std::string& realPath) {
    const std::string self = std::to_string(::getpid());
    std::error_code ec;
    for (fs::directory_iterator proc("/proc", ec), end; !ec && proc != end; proc.increment(ec)) {
        const std::string pid = proc->path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
        std::error_code fdError;
        for (fs::directory_iterator fd(proc->path() / "fd", fdError);
             !fdError && fd != fs::directory_iterator(); fd.increment(fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd->path(), linkError) == realPath && !linkError)
                return std::stol(pid);
        }
    }
    return 0;
}

bool InGroupOfSession(gid_t gid) {
    if (::getegid() == gid) return true;
    gid_t groups[NGROUPS_MAX];
    const int n = ::getgroups(NGROUPS_MAX, groups);
    for (int i = 0; i < n; ++i)
        if (groups[i] == gid) return true;
    return false;
}

bool InGroupOfUser(gid_t gid) {
    const passwd* user = ::getpwuid(::getuid());
    if (!user) return false;
    gid_t groups[NGROUPS_MAX];
    int n = NGROUPS_MAX;
    if (::getgrouplist(user->pw_name, user->pw_gid, groups, &n) < 0) return false;
    for (int i = 0; i < n; ++i)
        if (groups[i] == gid) return true;
    return false;
}

std::string NameOfGroup(gid_t gid) {
    const group* g = ::getgrgid(gid);
    return g ? g->gr_name : std::to_string(gid);
}

std::string NameOfUser(uid_t uid) {
    const passwd* u = ::getpwuid(uid);
    return u ? u->pw_name : std::to_string(uid);
}

// What keeps this user off a device, and what to do about it; worded so that one line
// can serve several devices.
std::string PermissionFix(const std::string& device, const struct stat& st) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    const bool groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (st.st_uid == ::geteuid())
        return "mode " + std::string(mode) + " keeps even its owner (you) out: chmod u+rw " +
               device;
    if (groupMayUse) {
        const std::string name = NameOfGroup(st.st_gid);
        if (InGroupOfUser(st.st_gid) && !InGroupOfSession(st.st_gid))
            return "you are in the group " + name +
                   ", but this session began before that: log out and in again";
        return "you are not in the group " + name + ": sudo adduser $USER " + name +
               ", then log in again";
    }
    return "mode " + std::string(mode) + " keeps all but " + NameOfUser(st.st_uid) + " out";
}

// Everything that can be told without opening the device; Free means "open it to see".
TPortReport Look(unsigned n) {
    const std::string path = PortPath(n);
    if (path.empty()) return Report(n, "", TPortState::NotPresent, "no device for this number");
    const std::string device = Shown(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        struct stat link {};
        if (err == ENOENT && ::lstat(path.c_str(), &link) != 0)
            return Report(n, "", TPortState::NotPresent, "no link");
        if (err == ENOENT || err == ENOTDIR)
            return Report(n, device, TPortState::NotPresent, "the link's target does not exist");
        if (err == EACCES)
            return Report(n, device, TPortState::NotPermitted, "present but not permitted",
                          "a folder on the way may not be entered");
        return Report(n, device, TPortState::Unusable,
                      std::string("unusable: ") + std::strerror(err));
    }
    if (!S_ISCHR(st.st_mode))
        return Report(n, device, TPortState::NotSerial,
                      std::string("not a serial device: ") + KindOf(st.st_mode));
    const std::string real = RealPath(path);
    if (NoHardware(real))
        return Report(n, device, TPortState::NotPresent, "no hardware behind " + real);
    if (const long pid = TUucpLock::Holder(path); pid != 0)
        return Report(n, device, TPortState::InUse,
                      "in use by another program: " +
                          (pid > 0 ? Holder(pid) + ", lock file " : "lock file ") +
                          TUucpLock::FileOf(path));
    if (::access(path.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
        return Report(n, device, TPortState::NotPermitted, "present but not permitted",
                      PermissionFix(real, st));
    return Report(n, device, TPortState::Free, "present and free");
}

}  // namespace

TPortReport CheckPort(unsigned n) {
    TPortReport report = Look(n);
    if (report.state != TPortState::Free) return report;
    const std::string path = PortPath(n);
    const std::string real = RealPath(path);
    struct stat st {};
    ::stat(path.c_str(), &st);

    const int rc = CreateSystemDispatcher()->Probe(ComDeviceName(n));
    const std::string& device = report.device;
    if (rc == 0) {
        // Opened and let go at once; a program that locks it in no way we see may
        // still have it open.
        if (const long pid = Opener(real); pid != 0)
            return Report(n, device, TPortState::InUse,
                          "in use by another program that does not lock it: " + Holder(pid) +
                              " (the scan would share the port with it)");
        return report;
    }
    if (rc == kVarnAccessDenied) {
        long pid = FlockHolder(st);
        if (pid == 0) pid = Opener(real);
        return Report(n, device, TPortState::InUse,
                      "in use by another program" +
                          (pid != 0 ? ": " + Holder(pid) : " (which one, this user may not see)"));
    }
    if (rc == kVarnNotFound)
        return Report(n, device, TPortState::NotPresent, "no hardware behind it");
    if (rc == -EACCES)
        return Report(n, device, TPortState::NotPermitted, "present but not permitted",
                      PermissionFix(real, st));
    return Report(n, device, TPortState::Unusable, "cannot be opened: " + VarnErrorText(rc));
}

std::vector<std::string> PortPermissionWarnings(unsigned first, unsigned last) {
    std::map<std::string, std::vector<std::string>> devicesByFix;
    for (unsigned n = first; n <= last; ++n) {
        const TPortReport r = Look(n);
        if (r.state == TPortState::NotPermitted)
            devicesByFix[r.fix].push_back(r.device + " (COM" + std::to_string(n) + ")");
    }
    std::vector<std::string> lines;
    for (const auto& [fix, devices] : devicesByFix) {
        std::string line = "you may not open " + devices.front();
        if (devices.size() > 1) line += " and " + std::to_string(devices.size() - 1) + " more";
        lines.push_back(line + ": " + fix + ".");
    }
    return lines;
}
