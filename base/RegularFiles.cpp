#include "base/RegularFiles.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "base/WindowsNames.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace fs = std::filesystem;

namespace {

// UTF-8 as such on Windows too, where a plain string would be read in the ANSI code page.
fs::path NativePath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// Beside the target, in its own folder (a rename cannot cross file systems), under a
// name another user of that folder cannot guess and plant something at in advance.
fs::path FreshNameBeside(const fs::path& target) {
    static thread_local std::mt19937_64 random{(std::uint64_t{std::random_device{}()} << 32) ^
                                               std::random_device{}()};
    char suffix[17];
    const std::uint64_t value = random();
    for (int k = 0; k < 16; ++k) suffix[k] = "0123456789abcdef"[(value >> (4 * k)) & 15];
    suffix[16] = '\0';
    fs::path name = target.parent_path();
    name /= u8"." + target.filename().u8string() + u8"." + std::u8string(suffix, suffix + 16) +
            u8".partial";
    return name;
}

}  // namespace

std::string FileKindText(TFileKind kind) {
    switch (kind) {
        case TFileKind::Missing:
            return "nothing";
        case TFileKind::Regular:
            return "a regular file";
        case TFileKind::Folder:
            return "a folder";
        case TFileKind::Link:
            return "a symbolic link";
        case TFileKind::Pipe:
            return "a named pipe (FIFO)";
        case TFileKind::Device:
            return "a device";
        case TFileKind::Socket:
            return "a socket";
        case TFileKind::Other:
            break;
    }
    return "not a regular file";
}

#ifdef _WIN32

namespace {

std::string SystemWords(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

// A device name, with or without an extension, names the device in every folder:
// opening one would open it.
bool NamesDevice(const fs::path& path) {
    return !WindowsDeviceName(path.filename().u32string()).empty();
}

// What an open handle is: its type and attributes, a link (reparse point) itself.
TFileKind KindOfHandle(HANDLE h) {
    const DWORD type = GetFileType(h);
    if (type == FILE_TYPE_PIPE) return TFileKind::Pipe;
    if (type != FILE_TYPE_DISK) return TFileKind::Device;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) return TFileKind::Other;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return TFileKind::Link;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return TFileKind::Folder;
    return TFileKind::Regular;
}

}  // namespace

TFileKind FileKindAt(const std::string& path) {
    const fs::path native = NativePath(path);
    if (NamesDevice(native)) return TFileKind::Device;
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return TFileKind::Missing;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return TFileKind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TFileKind::Folder;
    // Asks for no access: only what the entry is.
    HANDLE h = CreateFileW(
        native.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return TFileKind::Other;
    const TFileKind kind = KindOfHandle(h);
    CloseHandle(h);
    return kind;
}

TFileRead ReadRegularFile(const std::string& path, std::size_t limit) {
    TFileRead out;
    out.Kind = FileKindAt(path);
    if (out.Kind == TFileKind::Missing) {
        out.Kind = TFileKind::Regular;
        out.Failure = SystemWords(GetLastError());
        return out;
    }
    if (out.Kind != TFileKind::Regular) return out;
    HANDLE h = CreateFileW(NativePath(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        out.Failure = SystemWords(GetLastError());
        return out;
    }
    out.Kind = KindOfHandle(h);  // what was opened, should it have been swapped meanwhile
    char buffer[65536];
    DWORD n = 0;
    while (out.Kind == TFileKind::Regular && !out.TooLarge) {
        if (!ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
            out.Failure = SystemWords(GetLastError());
            break;
        }
        if (n == 0) break;
        out.Bytes.append(buffer, std::min<std::size_t>(n, limit + 1 - out.Bytes.size()));
        out.TooLarge = out.Bytes.size() > limit;
    }
    CloseHandle(h);
    return out;
}

TFileWrite ReplaceRegularFile(const std::string& path, std::string_view bytes) {
    TFileWrite out;
    const fs::path target = NativePath(path);
    const TFileKind there = FileKindAt(path);
    if (there != TFileKind::Missing && there != TFileKind::Regular) {
        out.Kind = there;
        return out;
    }
    // CREATE_NEW fails on anything already there, a link included.
    fs::path fresh;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        fresh = FreshNameBeside(target);
        h = CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (h == INVALID_HANDLE_VALUE) {
        out.Failure = SystemWords(GetLastError());
        return out;
    }
    bool written = true;
    for (std::size_t at = 0; written && at < bytes.size();) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
        written = WriteFile(h, bytes.data() + at, chunk, &n, nullptr) && n > 0;
        at += n;
    }
    if (!written) out.Failure = SystemWords(GetLastError());
    if (!CloseHandle(h) && out.Failure.empty()) out.Failure = SystemWords(GetLastError());
    // The rename replaces whatever entry is at the target then, a link itself, not its
    // target. Windows refuses it while someone has the target open (another export of
    // it, a virus scanner that looks at every new file): for a second, it is tried again.
    for (int attempt = 0; out.Failure.empty(); ++attempt) {
        if (MoveFileExW(fresh.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            break;
        const DWORD error = GetLastError();
        if (attempt == 50 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
                              error != ERROR_LOCK_VIOLATION))
            out.Failure = SystemWords(error);
        else
            Sleep(20);
    }
    if (!out.Failure.empty()) DeleteFileW(fresh.c_str());
    return out;
}

#else

namespace {

std::string SystemWords(int error) {
    return std::generic_category().message(error);
}

TFileKind KindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return TFileKind::Regular;
    if (S_ISDIR(mode)) return TFileKind::Folder;
    if (S_ISLNK(mode)) return TFileKind::Link;
    if (S_ISFIFO(mode)) return TFileKind::Pipe;
    if (S_ISCHR(mode) || S_ISBLK(mode)) return TFileKind::Device;
    if (S_ISSOCK(mode)) return TFileKind::Socket;
    return TFileKind::Other;
}

}  // namespace

TFileKind FileKindAt(const std::string& path) {
    struct stat s {};
    if (lstat(path.c_str(), &s) != 0) return TFileKind::Missing;
    return KindOfMode(s.st_mode);
}

TFileRead ReadRegularFile(const std::string& path, std::size_t limit) {
    TFileRead out;
    // Looked at first, so that a device is never opened at all (opening a terminal
    // can change its lines); then opened without following a link and without
    // waiting for a writer, and the opened file judged again, should something else
    // have been put at the name in between.
    struct stat s {};
    if (lstat(path.c_str(), &s) != 0) {
        out.Failure = SystemWords(errno);
        return out;
    }
    out.Kind = KindOfMode(s.st_mode);
    if (out.Kind != TFileKind::Regular) return out;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP)
            out.Kind = TFileKind::Link;
        else
            out.Failure = SystemWords(errno);
        return out;
    }
    if (fstat(fd, &s) != 0)
        out.Failure = SystemWords(errno);
    else
        out.Kind = KindOfMode(s.st_mode);
    char buffer[65536];
    while (out.Kind == TFileKind::Regular && out.Failure.empty() && !out.TooLarge) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) out.Failure = SystemWords(errno);
        if (n <= 0) break;
        out.Bytes.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(n),
                                                       limit + 1 - out.Bytes.size()));
        out.TooLarge = out.Bytes.size() > limit;
    }
    close(fd);
    return out;
}

TFileWrite ReplaceRegularFile(const std::string& path, std::string_view bytes) {
    TFileWrite out;
    const fs::path target = NativePath(path);
    const TFileKind there = FileKindAt(path);
    if (there != TFileKind::Missing && there != TFileKind::Regular) {
        out.Kind = there;
        return out;
    }
    // O_EXCL with O_NOFOLLOW: never a file that was there, nor one a link points to.
    fs::path fresh;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        fresh = FreshNameBeside(target);
        fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        out.Failure = SystemWords(errno);
        return out;
    }
    for (std::size_t at = 0; out.Failure.empty() && at < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            out.Failure = SystemWords(n < 0 ? errno : EIO);
        else
            at += static_cast<std::size_t>(n);
    }
    if (close(fd) != 0 && out.Failure.empty()) out.Failure = SystemWords(errno);
    // rename() replaces whatever entry is at the target then, a link itself, never
    // what it points to.
    if (out.Failure.empty() && rename(fresh.c_str(), target.c_str()) != 0)
        out.Failure = SystemWords(errno);
    if (!out.Failure.empty()) unlink(fresh.c_str());
    return out;
}

#endif
