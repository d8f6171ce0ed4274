#include "serial/TUucpLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <optional>
#include <thread>
#include <utility>

#include "serial/DeviceNodes.h"
#include "serial/LockFileText.h"

namespace {

// /var/lock is the name other programs use; on Debian it links to /run/lock.
constexpr const char* kSystemDirectories[] = {"/var/lock", "/run/lock"};
// A locker creates its file and writes its PID a moment later: a file without a PID is
// taken for one in between for this long, and for a leftover after.
constexpr std::time_t kGraceSeconds = 5;
// Other claimers may make and remove the file between our looks; after so long the
// device counts as held.
constexpr auto kClaimPatience = std::chrono::seconds(1);
constexpr auto kFirstPause = std::chrono::microseconds(20);
constexpr auto kLongestPause = std::chrono::microseconds(1000);
// Where the system does not say, the highest PID Linux can be set to give out.
constexpr long kPidMaxFallback = 4194304;

// The highest PID this system gives out now (it may be changed while we run).
long SystemPidMax() {
    const int fd = ::open("/proc/sys/kernel/pid_max", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return kPidMaxFallback;
    char text[32];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    const long value = n > 0 ? AsciiPid(std::string_view(text, static_cast<size_t>(n))) : 0;
    return value > 0 ? value : kPidMaxFallback;
}

bool Alive(long pid) {
    // EPERM: it runs, under another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// An open descriptor, closed with the object.
class TFd {
public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(TFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    TFd& operator=(TFd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// ---- reading a lock file as its writer wrote it ---------------------------------

// A lock file as found: what stands under the lock name, the PID it names (0 when
// none), when it was written, and which file it was. The file stays open with the
// object, so that its inode number cannot pass to another file meanwhile.
struct TFound {
    enum TWhat { Missing, Text, Unreadable, NotAFile } what = Missing;
    long pid = 0;
    std::time_t written = 0;
    dev_t device = 0;
    ino_t inode = 0;
    TFd fd;

    bool Exists() const { return what != Missing; }
};

TFound Look(const std::string& file) {
    TFound found;
    // Not through a link, never waiting on a FIFO, never taking a terminal for ours.
    found.fd = TFd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (found.fd.Get() < 0) {
        if (errno == ENOENT) return found;
        found.what = errno == ELOOP ? TFound::NotAFile : TFound::Unreadable;
        return found;
    }
    found.what = TFound::Unreadable;
    struct stat st {};
    if (::fstat(found.fd.Get(), &st) != 0) return found;
    found.device = st.st_dev;
    found.inode = st.st_ino;
    // A link, a FIFO, a device or a folder under the lock name is nobody's text to judge.
    if (!S_ISREG(st.st_mode)) {
        found.what = TFound::NotAFile;
        return found;
    }
    char text[64];
    const ssize_t n = ::read(found.fd.Get(), text, sizeof text);
    if (n < 0) return found;
    found.what = TFound::Text;
    const std::string_view written(text, static_cast<size_t>(n));
    // The system's highest PID matters only to a file that may be binary.
    found.pid = PidOfLockText(written, CouldBeAscii(written) ? 0 : SystemPidMax());
    found.written = st.st_mtime;
    return found;
}

TLockHolder Judge(const TFound& found, const std::string& file) {
    TLockHolder holder;
    holder.file = file;
    switch (found.what) {
        case TFound::Missing:
            break;
        // A file we may not read may still name a live process: it is not ours to judge.
        case TFound::Unreadable:
            holder.kind = TLockHolder::Unreadable;
            break;
        case TFound::NotAFile:
            holder.kind = TLockHolder::NotAFile;
            break;
        case TFound::Text:
            if (found.pid > 0) {
                if (Alive(found.pid)) holder.kind = TLockHolder::Process;
                holder.pid = found.pid;
            } else {
                const std::time_t age = std::time(nullptr) - found.written;
                if (age > -kGraceSeconds && age < kGraceSeconds)
                    holder.kind = TLockHolder::BeingWritten;
            }
            break;
    }
    return holder;
}

// ---- claiming -----------------------------------------------------------------------

// A name of this process's own in the lock directory, for a file on its way in.
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
        const std::string text = LockFileText(::getpid());
        struct stat st {};
        written_ = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                   ::fstat(fd, &st) == 0;
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

enum TRemoval {
    Gone,     // the judged file no longer stands under the lock name
    Busy,     // another claimer is removing it
    Refused,  // this user may not remove it
};

// Removes the stale file judged in found, and nothing else. Claimers who judged it
// take turns by a flock on it, and under the flock the lock name must still lead to
// that very file: a file leaves the name only under its own flock, and a new one comes
// in by link, which never replaces one, so whatever stands there now stays. (Moving the
// file aside and putting back what proves fresh is not enough: a third claimer may link
// its own in meanwhile, and the fresh one is lost.)
TRemoval RemoveStale(const std::string& file, const TFound& found) {
    if (::flock(found.fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? Busy : Refused;
    struct stat now {};
    if (::lstat(file.c_str(), &now) != 0 || now.st_dev != found.device || now.st_ino != found.inode)
        return Gone;
    if (::unlink(file.c_str()) == 0 || errno == ENOENT) return Gone;
    return Refused;
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
    const std::string name = real.empty() ? "" : LockFileName(real);
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
    // The whole file appears at once under the lock name, so nobody reads it half made;
    // it is made once the name is free.
    std::optional<TOurFile> ours;
    const auto patience = std::chrono::steady_clock::now() + kClaimPatience;
    // While another claimer removes a stale file, the processor is better left to it.
    std::chrono::microseconds pause = kFirstPause;
    for (;;) {
        const TFound found = Look(file);
        if (!found.Exists()) {
            if (!ours) ours.emplace(dir_);
            if (!ours->Written()) return !Holder(devicePath).Held();
            if (::link(ours->Path().c_str(), file.c_str()) == 0) {
                file_ = file;
                device_ = ours->Device();
                inode_ = ours->Inode();
                return true;
            }
            // A file system without links: go on without a file of our own.
            if (errno != EEXIST) return !Holder(devicePath).Held();
        } else {
            if (Judge(found, file).Held()) return false;
            const TRemoval removal = RemoveStale(file, found);
            // A stale file we may not remove (another user's, in a sticky folder)
            // claims nothing: go on without a file of our own.
            if (removal == Refused) return true;
            if (removal == Busy) {
                std::this_thread::sleep_for(pause);
                pause = std::min(pause * 2, kLongestPause);
            }
        }
        if (std::chrono::steady_clock::now() > patience) return false;
    }
}

void TUucpLock::Release() {
    if (file_.empty()) return;
    // Only while it is the very file we made and still names us.
    const TFound found = Look(file_);
    if (found.device == device_ && found.inode == inode_ && found.pid == ::getpid())
        ::unlink(file_.c_str());
    file_.clear();
}
