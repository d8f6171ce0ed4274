#include "store/PlainFiles.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

fs::path NativePath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

namespace {
std::string Utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
}  // namespace

bool IsThereButNotPlain(const std::string& path) {
    std::error_code ec;
    const fs::file_status s = fs::symlink_status(NativePath(path), ec);
    return fs::exists(s) && !fs::is_regular_file(s);
}

#ifdef _WIN32

TFileIdentity IdentityOf(const std::string& path) {
    // The entry itself, a link (reparse point) included; opening it asks for no access.
    HANDLE h = CreateFileW(
        NativePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!known) return {};
    return {true, info.dwVolumeSerialNumber,
            (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

std::error_code CreateNewFile(const std::string& path) {
    const int fd = _wopen(NativePath(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                          _S_IREAD | _S_IWRITE);
    if (fd < 0) return {errno, std::generic_category()};
    _close(fd);
    return {};
}

namespace {
bool MayRead(const fs::path& file) {
    return _waccess(file.c_str(), 04) == 0;
}
bool MayMakeFilesIn(const fs::path& dir) {
    return _waccess(dir.c_str(), 02) == 0;
}
}  // namespace

#else

TFileIdentity IdentityOf(const std::string& path) {
    struct stat s {};
    if (lstat(path.c_str(), &s) != 0) return {};
    return {true, static_cast<std::uint64_t>(s.st_dev), static_cast<std::uint64_t>(s.st_ino)};
}

std::error_code CreateNewFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return {errno, std::generic_category()};
    close(fd);
    return {};
}

namespace {
bool MayRead(const fs::path& file) {
    return access(file.c_str(), R_OK) == 0;
}
bool MayMakeFilesIn(const fs::path& dir) {
    return access(dir.c_str(), W_OK | X_OK) == 0;
}
}  // namespace

#endif

std::string OpenFailureCause(const std::string& path, int systemError) {
    if (systemError == 0) return "";
    const fs::path file = NativePath(path);
    const auto reachable = [](const fs::path& p) {
        std::error_code ec;
        (void)fs::status(p, ec);
        return ec != std::errc::permission_denied;
    };
    const auto Exists = [](const fs::path& p) {
        std::error_code ec;
        return fs::exists(p, ec);
    };
    const bool denied = systemError == EACCES || systemError == EPERM;
    if (!reachable(file)) {
        // The deepest folder that can still be looked at is the one that may not be entered.
        for (fs::path dir = file.parent_path(); dir.has_relative_path(); dir = dir.parent_path())
            if (reachable(dir))
                return "permission denied (this user may not enter the folder " + Utf8Of(dir) + ")";
    } else if (denied && Exists(file) && !MayRead(file)) {
        return "permission denied (this user may not read the file)";
    } else if (denied && !Exists(file) && !MayMakeFilesIn(file.parent_path())) {
        return "permission denied (this user may not make files in the folder " +
               Utf8Of(file.parent_path()) + ")";
    }
    std::string text = std::error_code(systemError, std::generic_category()).message();
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}
