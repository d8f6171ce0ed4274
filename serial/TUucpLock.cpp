#include "serial/TUucpLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// /var/lock is the name other programs use; on Debian it links to /run/lock.
constexpr const char* kLockDirectories[] = {"/var/lock", "/run/lock"};
constexpr std::string_view kDev = "/dev/";
constexpr std::string_view kPrefix = "LCK..";

std::string LockDirectory() {
    for (const char* dir : kLockDirectories) {
        struct stat st {};
        if (::stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) return dir;
    }
    return "";
}

std::string RealPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return "";
    std::string result(real);
    std::free(real);
    return result;
}

// "LCK.." and the path below /dev with "/" as "_"; "" for a path elsewhere.
std::string LockName(const std::string& realPath) {
    if (realPath.size() <= kDev.size() || realPath.compare(0, kDev.size(), kDev) != 0) return "";
    std::string name = std::string(kPrefix) + realPath.substr(kDev.size());
    std::replace(name.begin() + static_cast<std::ptrdiff_t>(kPrefix.size()), name.end(), '/', '_');
    return name;
}

// The PID in a lock file: ASCII with spaces around it (HDB), or, from old programs,
// a binary int of four bytes. 0 when neither.
long PidIn(const char* text, size_t n) {
    std::string_view s(text, n);
    const size_t first = s.find_first_not_of(" \t\n");
    const size_t last = s.find_last_not_of(" \t\n");
    if (first != std::string_view::npos) {
        const std::string_view digits = s.substr(first, last - first + 1);
        if (digits.size() <= 10 &&
            digits.find_first_not_of("0123456789") == std::string_view::npos) {
            const long pid = std::strtol(std::string(digits).c_str(), nullptr, 10);
            return pid <= INT_MAX ? pid : 0;
        }
    }
    if (n == sizeof(int)) {
        int pid = 0;
        std::memcpy(&pid, text, sizeof pid);
        return pid > 0 ? pid : 0;
    }
    return 0;
}

bool Alive(long pid) {
    // EPERM: it runs, under another user.
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

struct TLockFile {
    bool exists = false;
    bool live = false;  // a live process holds the device
    long pid = 0;       // 0 when the file does not say
};

TLockFile Inspect(const std::string& file) {
    TLockFile found;
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // A file we may not read may still name a live process: it is not ours to judge.
        found.exists = errno != ENOENT;
        found.live = found.exists;
        return found;
    }
    char text[64];
    const ssize_t n = ::read(fd, text, sizeof text);
    ::close(fd);
    found.exists = true;
    found.pid = n > 0 ? PidIn(text, static_cast<size_t>(n)) : 0;
    found.live = Alive(found.pid);
    return found;
}

}  // namespace

TUucpLock::~TUucpLock() {
    Release();
}

std::string TUucpLock::FileOf(const std::string& devicePath) {
    const std::string name = LockName(RealPath(devicePath));
    if (name.empty()) return "";
    const std::string dir = LockDirectory();
    return dir.empty() ? "" : dir + "/" + name;
}

long TUucpLock::Holder(const std::string& devicePath) {
    const std::string file = FileOf(devicePath);
    if (file.empty()) return 0;
    const TLockFile found = Inspect(file);
    if (!found.live) return 0;
    return found.pid > 0 ? found.pid : -1;
}

bool TUucpLock::Claim(const std::string& devicePath) {
    Release();
    const std::string file = FileOf(devicePath);
    if (file.empty()) return true;
    // Twice at most: a file that appears between the look and the create was made by
    // someone claiming the device at this very moment, and is looked at once more.
    for (int look = 0; look < 2; ++look) {
        const TLockFile found = Inspect(file);
        if (found.live) return false;
        // A stale file that we may not remove claims nothing: go on without our own.
        if (found.exists && ::unlink(file.c_str()) != 0 && errno != ENOENT) return true;

        const int fd =
            ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return true;  // a lock directory this user may not write
        }
        ::fchmod(fd, 0644);  // readable by every program that looks, whatever the umask
        char text[16];
        std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(::getpid()));
        const bool written = ::write(fd, text, 11) == 11;
        ::close(fd);
        if (!written) {
            ::unlink(file.c_str());  // a file without our PID would look stale to others
            return true;
        }
        file_ = file;
        return true;
    }
    return false;
}

void TUucpLock::Release() {
    if (file_.empty()) return;
    // Only while it still names us: another program may have taken it over as stale.
    if (Inspect(file_).pid == static_cast<long>(::getpid())) ::unlink(file_.c_str());
    file_.clear();
}
