#include "tools/setup/SetupFailures.h"

#include <cerrno>

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

struct TCause {
    std::string why;
    std::string fix;  // "" when there is none to give
};

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

#ifndef _WIN32
// The nearest folder on the way to path that exists (path itself when it does).
fs::path ExistingAncestor(fs::path path) {
    struct stat st {};
    while (path.has_relative_path() && ::lstat(path.c_str(), &st) != 0 && errno == ENOENT)
        path = path.parent_path();
    return path;
}

// The first part of path that exists and is no folder, or "" when there is none.
fs::path FileInTheWay(const fs::path& path) {
    fs::path part;
    for (const fs::path& name : path) {
        part /= name;
        struct stat st {};
        if (::stat(part.c_str(), &st) != 0) return "";
        if (!S_ISDIR(st.st_mode)) return part;
    }
    return "";
}

TCause NotPermitted(const fs::path& path) {
    const fs::path folder = ExistingAncestor(path.parent_path());
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return {"you may not enter the folders on the way", ""};
    if (st.st_uid == ::geteuid())
        return {"you may not write in " + folder.string(), "chmod u+rwx " + Quoted(folder)};
    const passwd* owner = ::getpwuid(st.st_uid);
    const std::string name = owner ? owner->pw_name : std::to_string(st.st_uid);
    return {"you may not write in " + folder.string() + " (it belongs to " + name + ")",
            "sudo chown $USER " + Quoted(folder)};
}

TCause CauseOf(const fs::path& path, std::error_code err) {
    const int number =
        err.category() == std::generic_category() || err.category() == std::system_category()
            ? err.value()
            : 0;
    switch (number) {
        case EACCES:
        case EPERM:
            return NotPermitted(path);
        case EROFS:
            return {"the disk holding " + ExistingAncestor(path).string() + " is read-only",
                    "make it writable"};
        case ENOSPC:
        case EDQUOT:
            return {"the disk holding " + ExistingAncestor(path).string() + " is full",
                    "free some space on it"};
        case EEXIST:
        case ENOTDIR:
            if (const fs::path file = FileInTheWay(path); !file.empty())
                return {file.string() + " is a file, not a folder", "move it away"};
            break;
        default:
            break;
    }
    return {err.message(), ""};
}
#else
TCause CauseOf(const fs::path&, std::error_code err) {
    return {err.message(), ""};
}
#endif

}  // namespace

void FailToCreate(const std::string& what, const fs::path& path, std::error_code err) {
    const TCause cause = CauseOf(path, err);
    std::string text = "Cannot create " + what + " " + path.string() + ": " + cause.why + ".";
    if (!cause.fix.empty()) text += " Fix: " + cause.fix + ", then run haltguard-ids-setup again.";
    throw ESetupFailure(text);
}

std::error_code WriteAccess([[maybe_unused]] const fs::path& dir) {
#ifndef _WIN32
    if (::access(dir.c_str(), W_OK | X_OK) != 0) return {errno, std::generic_category()};
#endif
    return {};
}
