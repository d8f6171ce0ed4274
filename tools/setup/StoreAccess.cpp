#include "tools/setup/StoreAccess.h"

#include <algorithm>
#include <filesystem>

#include "tools/setup/FileRights.h"

namespace fs = std::filesystem;

namespace {

// Named in the warning; the rest are counted.
constexpr size_t kNamed = 10;

// A table file or the journal SQLite keeps beside it.
bool IsTableFile(const fs::path& file) {
    const std::string name = file.filename().string();
    return name.size() > 3 && (name.ends_with(".db") || name.find(".db-") != std::string::npos);
}

// The table files in dir, by name.
std::vector<fs::path> TableFiles(const fs::path& dir) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (IsTableFile(it->path()) && it->is_regular_file(ec)) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

std::vector<std::string> UnwritableStoreFiles(const TStorePaths& paths) {
    std::vector<std::string> refused;
    auto check = [&](const fs::path& path) {
        std::error_code ec;
        if (fs::exists(path, ec) && !MayWrite(path)) refused.push_back(path.string());
    };
    for (const std::string& dir : {paths.GroupsDir, paths.IDListDir}) {
        check(dir);
        for (const fs::path& file : TableFiles(dir)) check(file);
    }
    return refused;
}
std::string UnwritableStoreWarning(const TStorePaths& paths,
                                   const std::vector<std::string>& files) {
    std::string named;
    for (size_t i = 0; i < files.size() && i < kNamed; ++i) named += "\n  " + files[i];
    if (files.size() > kNamed)
        named += "\n  and " + std::to_string(files.size() - kNamed) + " more";
    const std::string folder = "'" + paths.GroupsDir + "'";
    return "Warning: the store exists, but you may not write these, so the program and the "
           "groups tool cannot save there:" +
           named + "\nFix: sudo chown -R $USER " + folder + " && chmod -R u+rwX " + folder;
}
