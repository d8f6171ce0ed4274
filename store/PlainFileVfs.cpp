#include "store/PlainFileVfs.h"

#include <sqlite3.h>

#include <filesystem>

namespace fs = std::filesystem;

fs::path NativePath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

bool IsThereButNotPlain(const std::string& path) {
    std::error_code ec;
    const fs::file_status s = fs::symlink_status(NativePath(path), ec);
    return fs::exists(s) && !fs::is_regular_file(s);
}

namespace {

// SQLite's own file system with one rule added: a path that is there but is not a
// plain file is never opened. SQLite resolves links in a table's path before it
// opens the file, and names the journal after the resolved path; so without this a
// link in the data folders would lead reads, writes and a new journal outside.
// Registered as the default, over whatever the default was, so that it holds for
// every table file and journal of the process.
class TPlainFileVfs {
public:
    static void Install() {
        static const bool installed = [] {
            static sqlite3_vfs vfs;
            Base() = sqlite3_vfs_find(nullptr);
            vfs = *Base();
            vfs.zName = "haltguard-plain-files";
            vfs.xFullPathname = FullPathname;
            vfs.xOpen = Open;
            return sqlite3_vfs_register(&vfs, 1) == SQLITE_OK;
        }();
        (void)installed;
    }

private:
    static sqlite3_vfs*& Base() {
        static sqlite3_vfs* base = nullptr;
        return base;
    }
    // Sees the path as given, before the links in it are resolved.
    static int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
        if (IsThereButNotPlain(name)) return SQLITE_CANTOPEN;
        return Base()->xFullPathname(Base(), name, size, out);
    }
    // Sees the journals too; a file SQLite creates itself is passed through.
    static int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags,
                    int* outFlags) {
        if (name && IsThereButNotPlain(name)) {
            file->pMethods = nullptr;
            return SQLITE_CANTOPEN;
        }
        return Base()->xOpen(Base(), name, file, flags, outFlags);
    }
};

}  // namespace

void InstallPlainFileVfs() {
    TPlainFileVfs::Install();
}
