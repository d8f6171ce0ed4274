#include "tools/setup/SetupFailures.h"

#include "tools/setup/FileRights.h"

namespace fs = std::filesystem;

namespace {

struct TCause {
    std::string why;
    std::string fix;  // "" when there is none to give
};

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

// The nearest folder on the way to path that exists (path itself when it does).
fs::path ExistingAncestor(fs::path path) {
    std::error_code ec;
    while (path.has_relative_path() &&
           fs::symlink_status(path, ec).type() == fs::file_type::not_found)
        path = path.parent_path();
    return path;
}

// The first part of path that exists and is no folder, or "" when there is none.
fs::path FileInTheWay(const fs::path& path) {
    fs::path part;
    for (const fs::path& name : path) {
        part /= name;
        std::error_code ec;
        const fs::file_status st = fs::status(part, ec);
        if (ec) return "";
        if (!fs::is_directory(st)) return part;
    }
    return "";
}

TCause NotPermitted(const fs::path& path) {
    const fs::path folder = ExistingAncestor(path.parent_path());
    const std::string owner = OtherOwner(folder);
    if (owner.empty())
        return {"you may not write in " + folder.string(), "chmod u+rwx " + Quoted(folder)};
    return {"you may not write in " + folder.string() + " (it belongs to " + owner + ")",
            "sudo chown $USER " + Quoted(folder)};
}

TCause CauseOf(const fs::path& path, std::error_code err) {
    const std::error_condition what = err.default_error_condition();
    if (what == std::errc::permission_denied || what == std::errc::operation_not_permitted)
        return NotPermitted(path);
    if (what == std::errc::read_only_file_system)
        return {"the disk holding " + ExistingAncestor(path).string() + " is read-only",
                "make it writable"};
    if (what == std::errc::no_space_on_device)
        return {"the disk holding " + ExistingAncestor(path).string() + " is full",
                "free some space on it"};
    if (what == std::errc::file_exists || what == std::errc::not_a_directory)
        if (const fs::path file = FileInTheWay(path); !file.empty())
            return {file.string() + " is a file, not a folder", "move it away"};
    return {err.message(), ""};
}

}  // namespace

void FailToCreate(const std::string& what, const fs::path& path, std::error_code err) {
    const TCause cause = CauseOf(path, err);
    std::string text = "Cannot create " + what + " " + path.string() + ": " + cause.why + ".";
    if (!cause.fix.empty()) text += " Fix: " + cause.fix + ", then run haltguard-ids-setup again.";
    throw ESetupFailure(text);
}
