#pragma once
// A full disk on demand: an SQLite VFS over the default one that answers SQLITE_FULL
// to writes into files whose path holds a chosen text, once a number of such writes
// have gone through; or runs a step of the test at the first such write. It becomes the default VFS
// of the test process, so the table layer meets it without knowing.
#include <sqlite3.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>

namespace storetest {

class FaultVfs {
public:
    // From now on, writes to files whose path contains `pathPart` fail after `allowed`
    // of them have succeeded. An empty part turns the faults off.
    static void FailWritesAfter(const std::string& pathPart, int allowed) {
        Install();
        part() = pathPart;
        allowedWrites() = allowed;
        failures() = 0;
    }
    static void Off() {
        FailWritesAfter("", 0);
        step() = nullptr;
    }
    // Runs `action` once, at the first write to a file whose path holds `pathPart`.
    static void AtFirstWrite(const std::string& pathPart, std::function<void()> action) {
        FailWritesAfter(pathPart, 1 << 30);
        step() = std::move(action);
    }
    static int Failures() { return failures(); }

private:
    struct File {
        sqlite3_file base;
        sqlite3_file* real;
        bool watched;
    };

    static std::string& part() {
        static std::string p;
        return p;
    }
    static int& allowedWrites() {
        static int n = 0;
        return n;
    }
    static std::function<void()>& step() {
        static std::function<void()> s;
        return s;
    }
    static int& failures() {
        static int n = 0;
        return n;
    }
    static sqlite3_vfs*& base() {
        static sqlite3_vfs* v = nullptr;
        return v;
    }

    static void Install() {
        static sqlite3_vfs vfs;
        if (base()) return;
        base() = sqlite3_vfs_find(nullptr);
        vfs = *base();
        vfs.zName = "hg-fault";
        vfs.szOsFile = static_cast<int>(sizeof(File)) + base()->szOsFile;
        vfs.xOpen = Open;
        sqlite3_vfs_register(&vfs, 1);
    }

    // The part is written with "/"; a Windows path has "\\" in the same places.
    static bool Holds(std::string path, const std::string& pathPart) {
        for (char& c : path)
            if (c == '\\') c = '/';
        return path.find(pathPart) != std::string::npos;
    }

    static sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

    static int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags,
                    int* outFlags) {
        static const sqlite3_io_methods methods = {
            3,
            [](sqlite3_file* f) {
                const int rc = Real(f)->pMethods->xClose(Real(f));
                return rc;
            },
            [](sqlite3_file* f, void* b, int n, sqlite3_int64 o) {
                return Real(f)->pMethods->xRead(Real(f), b, n, o);
            },
            [](sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
                if (reinterpret_cast<File*>(f)->watched) {
                    if (auto action = std::exchange(step(), nullptr)) action();
                    if (allowedWrites() <= 0) {
                        ++failures();
                        return SQLITE_FULL;
                    }
                    --allowedWrites();
                }
                return Real(f)->pMethods->xWrite(Real(f), b, n, o);
            },
            [](sqlite3_file* f, sqlite3_int64 s) {
                return Real(f)->pMethods->xTruncate(Real(f), s);
            },
            [](sqlite3_file* f, int fl) { return Real(f)->pMethods->xSync(Real(f), fl); },
            [](sqlite3_file* f, sqlite3_int64* s) {
                return Real(f)->pMethods->xFileSize(Real(f), s);
            },
            [](sqlite3_file* f, int l) { return Real(f)->pMethods->xLock(Real(f), l); },
            [](sqlite3_file* f, int l) { return Real(f)->pMethods->xUnlock(Real(f), l); },
            [](sqlite3_file* f, int* r) {
                return Real(f)->pMethods->xCheckReservedLock(Real(f), r);
            },
            [](sqlite3_file* f, int op, void* a) {
                return Real(f)->pMethods->xFileControl(Real(f), op, a);
            },
            [](sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); },
            [](sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); },
            [](sqlite3_file* f, int r, int s, int e, void volatile** p) {
                return Real(f)->pMethods->xShmMap(Real(f), r, s, e, p);
            },
            [](sqlite3_file* f, int o, int n, int fl) {
                return Real(f)->pMethods->xShmLock(Real(f), o, n, fl);
            },
            [](sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); },
            [](sqlite3_file* f, int d) { return Real(f)->pMethods->xShmUnmap(Real(f), d); },
            [](sqlite3_file* f, sqlite3_int64 o, int n, void** p) {
                return Real(f)->pMethods->xFetch(Real(f), o, n, p);
            },
            [](sqlite3_file* f, sqlite3_int64 o, void* p) {
                return Real(f)->pMethods->xUnfetch(Real(f), o, p);
            },
        };
        File* file = reinterpret_cast<File*>(f);
        file->base.pMethods = nullptr;
        file->real = reinterpret_cast<sqlite3_file*>(file + 1);
        file->watched = name && !part().empty() && Holds(name, part());
        const int rc = base()->xOpen(base(), name, file->real, flags, outFlags);
        // Only a file the real VFS opened gets methods (SQLite closes only those).
        if (file->real->pMethods) file->base.pMethods = &methods;
        return rc;
    }
};

}  // namespace storetest
