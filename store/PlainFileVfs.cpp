#include "store/PlainFileVfs.h"

#include <sqlite3.h>

#include <string>

#include "store/PlainFiles.h"

namespace fs = std::filesystem;

namespace {

// SQLite's own file system with one rule added: a path that is there but is not a
// plain file is never opened. The tables are opened with SQLITE_OPEN_NOFOLLOW, so
// SQLite refuses a link in a table's own name, even one swapped in during the open;
// this adds what that flag leaves out (a directory, a device or a pipe at the name,
// and the journals), and lets the folders on the way be links (data kept on another
// disk) by resolving them first, so that the flag meets a link only in the file's
// own name. Registered as the default, over whatever the default was.
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
        const int rc = Base()->xFullPathname(Base(), name, size, out);
        if (rc != SQLITE_OK_SYMLINK) return rc;
        // A link on the way, which SQLITE_OPEN_NOFOLLOW refuses wherever it is. The
        // folders are resolved here, so that only a link in the file's own name is left.
        const fs::path given = NativePath(name);
        std::error_code ec;
        const fs::path folder =
            fs::canonical(given.has_parent_path() ? given.parent_path() : ".", ec);
        if (ec || !given.has_filename()) return rc;
        const std::u8string inFolder = (folder / given.filename()).u8string();
        return Base()->xFullPathname(Base(), std::string(inFolder.begin(), inFolder.end()).c_str(),
                                     size, out);
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
