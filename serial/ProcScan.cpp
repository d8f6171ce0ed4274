#include "serial/ProcScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

// Unix 98 pseudo-terminal slaves: majors 136 to 143.
constexpr unsigned kFirstPtySlaveMajor = 136;
constexpr unsigned kPtySlaveMajors = 8;

struct TDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using TDir = std::unique_ptr<DIR, TDirCloser>;

bool AllDigits(const char* name) {
    return *name != '\0' && std::strspn(name, "0123456789") == std::strlen(name);
}

// Whether an open file (as stat gives it through /proc/<pid>/fd) is the device.
bool SameDevice(const struct stat& held, const struct stat& device) {
    if (!S_ISCHR(held.st_mode) || held.st_rdev != device.st_rdev) return false;
    // Every devpts instance (a container's own) numbers its terminals from 0: there the
    // node itself must match.
    const unsigned major = ::major(device.st_rdev);
    if (major >= kFirstPtySlaveMajor && major < kFirstPtySlaveMajor + kPtySlaveMajors)
        return held.st_dev == device.st_dev && held.st_ino == device.st_ino;
    return true;
}

// Whether the process whose /proc folder is procFd/pid has the device open.
bool HasOpen(int procFd, const char* pid, const struct stat& device) {
    const int fdFolder =
        ::openat(procFd, (std::string(pid) + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdFolder < 0) return false;  // ended, or not ours to look at
    TDir fds(::fdopendir(fdFolder));
    if (!fds) {
        ::close(fdFolder);
        return false;
    }
    while (const dirent* entry = ::readdir(fds.get())) {
        if (!AllDigits(entry->d_name)) continue;
        // Through the descriptor's link to the open file; nothing is opened.
        struct stat held {};
        if (::fstatat(fdFolder, entry->d_name, &held, 0) == 0 && SameDevice(held, device))
            return true;
    }
    return false;
}

}  // namespace

// /proc/locks, which everyone may read: "1: FLOCK  ADVISORY  WRITE <pid>
// <major>:<minor>:<inode> 0 EOF" (numbers in hex but the inode); waiting entries carry
// "->".
long FlockHolder(unsigned long long device, unsigned long long inode) {
    std::ifstream in("/proc/locks");
    std::string line;
    while (std::getline(in, line)) {
        if (line.find("->") != std::string::npos) continue;
        std::istringstream fields(line);
        std::string id, kind, mode, access, where;
        long pid = 0;
        if (!(fields >> id >> kind >> mode >> access >> pid >> where) || kind != "FLOCK") continue;
        unsigned maj = 0, min = 0;
        unsigned long long node = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%llu", &maj, &min, &node) != 3) continue;
        if (pid > 0 && maj == ::major(device) && min == ::minor(device) && node == inode)
            return pid;
    }
    return 0;
}

long Opener(const std::string& path) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return 0;
    TDir proc(::opendir("/proc"));
    if (!proc) return 0;
    const std::string self = std::to_string(::getpid());
    while (const dirent* entry = ::readdir(proc.get())) {
        if (!AllDigits(entry->d_name) || self == entry->d_name) continue;
        if (HasOpen(::dirfd(proc.get()), entry->d_name, device)) return std::atol(entry->d_name);
    }
    return 0;
}

std::string ProcessName(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}
