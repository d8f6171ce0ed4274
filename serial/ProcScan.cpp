#include "serial/ProcScan.h"

#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

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

std::string ProcessName(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}
