#include "serial/TUucpLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>

#include "serial/DeviceNodes.h"

namespace {

// /var/lock is the name other programs use; on Debian it links to /run/lock.
constexpr const char* kSystemDirectories[] = {"/var/lock", "/run/lock"};
constexpr std::string_view kDev = "/dev/";
constexpr std::string_view kPrefix = "LCK..";
// A locker creates its file and writes its PID a moment later: a file without a PID is
// taken for one in between for this long, and for a leftover after.
constexpr std::time_t kGraceSeconds = 5;
// Other claimers may make and remove the file between our looks; after so many rounds
// the device counts as held.
constexpr int kRounds = 8;
// No system gives out higher PIDs (Linux's PID_MAX_LIMIT).
constexpr int32_t kHighestPid = 4194304;

// "LCK.." and the path below /dev with "/" as "_"; "" for a path elsewhere.
std::string LockName(const std::string& realPath) {
    if (realPath.size() <= kDev.size() || realPath.compare(0, kDev.size(), kDev) != 0) return "";
    std::string name = std::string(kPrefix) + realPath.substr(kDev.size());
    std::replace(name.begin() + static_cast<std::ptrdiff_t>(kPrefix.size()), name.end(), '/', '_');
    return name;
}

// ---- reading a lock file as its writer wrote it ---------------------------------

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The PID in ASCII: optional blanks, then the decimal digits up to the first non-digit;
// what follows is the writer's (a terminal program's name and user, CR LF, a NUL). Gives
// 0 when there is none.
long AsciiPid(std::string_view text) {
    size_t i = text.find_first_not_of(" \t");
    if (i == std::string_view::npos || !IsDigit(text[i])) return 0;
    long pid = 0;
    for (const size_t first = i; i < text.size() && IsDigit(text[i]); ++i) {
        if (i - first == 10) return 0;  // longer than any PID
        pid = pid * 10 + (text[i] - '0');
    }
    return pid <= INT_MAX ? pid : 0;
}

// Old programs wrote the PID as a binary int of four bytes. A file of four bytes is read
// so when that gives a PID the system could have; else it is ASCII ("123\n", "1234").
long PidOfLockText(std::string_view text) {
    if (text.size() == sizeof(int32_t)) {
        int32_t pid = 0;
        std::memcpy(&pid, text.data(), sizeof pid);
        if (pid > 0 && pid <= kHighestPid) return pid;
    }
    return AsciiPid(text);
}

bool Alive(long pid) {
    // EPERM: it runs, under another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// A lock file as found: whether it is there and readable, the PID it names (0 when
// none), when it was written, and which file it was.
struct TFound {
    bool exists = false;
    bool readable = false;
    long pid = 0;
    std::time_t written = 0;
    dev_t device = 0;
    ino_t inode = 0;
};

TFound Look(const std::string& file) {
    TFound found;
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        found.exists = errno != ENOENT;
        return found;
    }
    found.exists = true;
    struct stat st {};
    char text[64];
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0) n = ::read(fd, text, sizeof text);
    ::close(fd);
    if (n < 0) return found;
    found.readable = true;
    found.pid = PidOfLockText(std::string_view(text, static_cast<size_t>(n)));
    found.written = st.st_mtime;
    found.device = st.st_dev;
    found.inode = st.st_ino;
    return found;
}

TLockHolder Judge(const TFound& found, const std::string& file) {
    TLockHolder holder;
    holder.file = file;
    if (!found.exists) return holder;
    // A file we may not read may still name a live process: it is not ours to judge.
    if (!found.readable) {
        holder.kind = TLockHolder::Unreadable;
    } else if (found.pid > 0) {
        if (Alive(found.pid)) holder.kind = TLockHolder::Process;
        holder.pid = found.pid;
    } else {
        const std::time_t age = std::time(nullptr) - found.written;
        if (age > -kGraceSeconds && age < kGraceSeconds) holder.kind = TLockHolder::BeingWritten;
    }
    return holder;
}

// ---- claiming -----------------------------------------------------------------------

// A name of this process's own in the lock directory, for a file on its way in or out.
std::string PrivateName(const std::string& dir) {
    static std::atomic<unsigned> next{0};
    return dir + "/.hg-lock." + std::to_string(::getpid()) + "." + std::to_string(next++);
}

// Our PID in a file of our own in the lock directory, complete before it is linked to
// the lock name; the private name goes when the object does.
class TOurFile {
public:
    explicit TOurFile(const std::string& dir) : path_(PrivateName(dir)) {
        const int fd =
            ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) return;  // a lock directory this user may not write
        ::fchmod(fd, 0644);  // readable by every program that looks, whatever the umask
        char text[16];
        std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(::getpid()));
        struct stat st {};
        written_ = ::write(fd, text, 11) == 11 && ::fstat(fd, &st) == 0;
        ::close(fd);
        device_ = st.st_dev;
        inode_ = st.st_ino;
    }
    ~TOurFile() { ::unlink(path_.c_str()); }
    TOurFile(const TOurFile&) = delete;
    TOurFile& operator=(const TOurFile&) = delete;

    bool Written() const { return written_; }
    const std::string& Path() const { return path_; }
    dev_t Device() const { return device_; }
    ino_t Inode() const { return inode_; }

private:
    std::string path_;
    bool written_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

enum TRemoval { Removed, Refused };

// Removes the stale file judged in found, and nothing else: it is first moved to a name
// of our own, so that of several claimers who judged it only one gets it, and then
// checked to be the very file judged. A fresh one that a claimer put in its place in
// the meantime goes back.
TRemoval RemoveStale(const std::string& dir, const std::string& file, const TFound& found) {
    const std::string taken = PrivateName(dir);
    if (::rename(file.c_str(), taken.c_str()) != 0) return errno == ENOENT ? Removed : Refused;
    struct stat st {};
    const bool judged =
        ::lstat(taken.c_str(), &st) == 0 && st.st_dev == found.device && st.st_ino == found.inode;
    // By link, not rename: should yet another file stand there by now, that one stays.
    [[maybe_unused]] const bool putBack = !judged && ::link(taken.c_str(), file.c_str()) == 0;
    ::unlink(taken.c_str());
    return Removed;
}

}  // namespace

std::string TUucpLock::SystemDirectory() {
    for (const char* dir : kSystemDirectories) {
        struct stat st {};
        if (::stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) return dir;
    }
    return "";
}

TUucpLock::TUucpLock(std::string directory) : dir_(std::move(directory)) {}

TUucpLock::~TUucpLock() {
    Release();
}

std::string TUucpLock::FileOf(const std::string& devicePath) const {
    if (dir_.empty()) return "";
    const std::string real = RealPath(devicePath);
    const std::string name = real.empty() ? "" : LockName(real);
    return name.empty() ? "" : dir_ + "/" + name;
}

TLockHolder TUucpLock::Holder(const std::string& devicePath) const {
    const std::string file = FileOf(devicePath);
    if (file.empty()) return {};
    return Judge(Look(file), file);
}

bool TUucpLock::Claim(const std::string& devicePath) {
    Release();
    const std::string file = FileOf(devicePath);
    if (file.empty()) return true;
    // The whole file appears at once under the lock name, so nobody reads it half made.
    const TOurFile ours(dir_);
    if (!ours.Written()) return !Holder(devicePath).Held();
    for (int round = 0; round < kRounds; ++round) {
        if (::link(ours.Path().c_str(), file.c_str()) == 0) {
            file_ = file;
            device_ = ours.Device();
            inode_ = ours.Inode();
            return true;
        }
        // A file system without links: go on without a file of our own.
        if (errno != EEXIST) return !Holder(devicePath).Held();
        const TFound found = Look(file);
        if (Judge(found, file).Held()) return false;
        // A stale file we may not remove (another user's, in a sticky folder) claims
        // nothing: go on without a file of our own.
        if (found.exists && RemoveStale(dir_, file, found) == Refused) return true;
    }
    return false;
}

void TUucpLock::Release() {
    if (file_.empty()) return;
    // Only while it is the very file we made and still names us.
    const TFound found = Look(file_);
    if (found.device == device_ && found.inode == inode_ && found.pid == ::getpid())
        ::unlink(file_.c_str());
    file_.clear();
}
