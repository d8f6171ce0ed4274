#pragma once
// Shared pieces of the store tests: the configuration window as the store sees it,
// with its boxes answered from a script, and a window's store over the local
// repository; a fixed clock; a fresh data folder with an empty groups table; and raw
// SQLite access for writing what the sqlite3 tool could leave and for checking what is
// on disk.
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "store/LocalGroupRepository.h"
#include "store/TIDGroupStore.h"
#include "tests/common/FixedTime.h"
#include "tests/common/TempHome.h"

namespace storetest {

// The error a call ends with: its kind and text, or "no error".
inline std::string Failure(const std::function<void()>& f) {
    try {
        f();
    } catch (const EStoreNotSetUp& e) {
        return std::string("not set up|") + e.what();
    } catch (const ERecordConflict& e) {
        return std::string("conflict|") + e.what();
    } catch (const EDBEngineError& e) {
        return std::string("engine|") + e.what();
    } catch (const EDatabaseError& e) {
        return std::string("data|") + e.what();
    }
    return "no error";
}

namespace fs = std::filesystem;

// The configuration window as the store sees it; every box is answered from a script
// and written to `log` in the order the store asked.
class ScriptedWindow : public TStoreWindow, public TMessageBoxes {
public:
    std::array<std::string, kVehicleSlots> vehicle;
    std::array<std::string, kTrailerSlots> trailer;
    std::vector<std::string> listNames;
    std::string listShown;
    std::string outcome;  // the outcome line

    std::deque<std::string> inputs;  // what OK returns
    std::deque<TConfirmAnswer> answers;
    std::vector<std::string> log;

    std::string VehicleSlot(int slot) const override { return vehicle.at(slot); }
    void SetVehicleSlot(int slot, const std::string& text) override { vehicle.at(slot) = text; }
    std::string TrailerSlot(int slot) const override { return trailer.at(slot); }
    void SetTrailerSlot(int slot, const std::string& text) override { trailer.at(slot) = text; }
    void ShowGroupList(const std::vector<std::string>& names, const std::string& shown) override {
        listNames = names;
        listShown = shown;
    }

    void ShowOutcome(const std::string& text) override { outcome = text; }

    void Information(const std::string& text) override { log.push_back("info: " + text); }
    TConfirmAnswer Confirm(const std::string& question) override {
        log.push_back("confirm: " + question);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << question;
            return TConfirmAnswer::Cancel;
        }
        const TConfirmAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& preset) override {
        log.push_back("input: " + caption + " | " + prompt + " | " + preset);
        if (inputs.empty()) {
            ADD_FAILURE() << "unexpected input box";
            return preset;
        }
        std::string text = inputs.front();
        inputs.pop_front();
        return text;
    }

    void FillSlots(const std::string& prefix) {
        for (int k = 0; k < kVehicleSlots; ++k) vehicle[k] = prefix + "v" + std::to_string(k);
        for (int k = 0; k < kTrailerSlots; ++k) trailer[k] = prefix + "t" + std::to_string(k);
    }
};

// IDs numbered by slot: "<prefix>V-<v>" and "<prefix>T-<t>".
inline TGroupIDs NumberedIDs(const std::string& prefix) {
    TGroupIDs ids;
    for (int k = 0; k < kVehicleSlots; ++k) ids.Vehicle[k] = prefix + "V-" + std::to_string(k);
    for (int k = 0; k < kTrailerSlots; ++k) ids.Trailer[k] = prefix + "T-" + std::to_string(k);
    return ids;
}

// The store operations of one window over its own local repository, as the window
// wires them.
struct TWindowStore {
    TWindowStore(const TStorePaths& paths, ScriptedWindow& window,
                 TDateTimeSource clock = FixedClock())
        : Groups(paths, std::move(clock)), Store(window, window, Groups) {}
    TLocalGroupRepository Groups;
    TIDGroupStore Store;
};

// The ID list table name the groups table holds for the first group named `name`.
inline std::string ListNameOf(const TGroupRepository& groups, const std::string& name) {
    for (const TGroupEntry& entry : groups.Entries())
        if (entry.Name == name) return entry.Where;
    return "";
}

// ---- raw access, as the sqlite3 tool would have it ----

using RowList = std::vector<std::vector<std::string>>;

class RawDb {
public:
    explicit RawDb(const fs::path& file) {
        if (sqlite3_open_v2(file.string().c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            sqlite3_close_v2(db_);  // a failed open still gives a handle to free
            throw std::runtime_error("cannot open " + file.string());
        }
        sqlite3_busy_timeout(db_, 5000);
    }
    ~RawDb() { sqlite3_close_v2(db_); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    void Exec(const std::string& sql) {
        char* err = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::string text = err ? err : "?";
            sqlite3_free(err);
            throw std::runtime_error(sql + ": " + text);
        }
    }
    RowList Query(const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            throw std::runtime_error(sql + ": " + sqlite3_errmsg(db_));
        RowList rows;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                row.push_back(t ? t : "<NULL>");
            }
            rows.push_back(std::move(row));
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) throw std::runtime_error(sql + ": " + sqlite3_errmsg(db_));
        return rows;
    }

private:
    sqlite3* db_ = nullptr;
};

inline RowList Query(const fs::path& file, const std::string& sql) {
    return RawDb(file).Query(sql);
}
inline void Sql(const fs::path& file, const std::string& sql) {
    RawDb(file).Exec(sql);
}
// Every record in table order, each field as text.
inline RowList Rows(const fs::path& file) {
    return Query(file, "SELECT * FROM records ORDER BY rowid");
}
inline std::string IntegrityCheck(const fs::path& file) {
    const RowList r = Query(file, "PRAGMA integrity_check");
    return r.empty() ? "no answer" : r[0][0];
}

// Every path under root with its contents, to show that nothing was made, changed or
// removed.
inline std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        std::string value = "dir";
        if (e.is_regular_file()) {
            std::ifstream in(e.path(), std::ios::binary);
            std::ostringstream s;
            s << in.rdbuf();
            value = s.str();
        }
        out[e.path().string()] = value;
    }
    return out;
}
// Only the names: reading a table this process holds locked would drop its locks.
inline std::vector<std::string> FilesUnder(const fs::path& root) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        out.push_back(fs::relative(e.path(), root).string());
    std::sort(out.begin(), out.end());
    return out;
}

#ifndef _WIN32
// Runs `f` in a child process once `prepare` has set it up (rights dropped, files
// limited); gives "engine|<text>" for an engine error, "other|<text>" or "no error".
inline std::string InChild(const std::function<void()>& prepare, const std::function<void()>& f) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        prepare();
        std::string result = "no error";
        try {
            f();
        } catch (const EDBEngineError& e) {
            result = std::string("engine|") + e.what();
        } catch (const std::exception& e) {
            result = std::string("other|") + e.what();
        }
        (void)!write(fds[1], result.data(), result.size());
        _exit(0);
    }
    close(fds[1]);
    std::string result;
    char buf[512];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) result.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? result : "child failed";
}
#endif

// A data folder with both directories and an empty groups table as the setup tool makes it.
class TStoreHome {
public:
    TStoreHome() : paths{home.groupsDir().string(), home.idListDir().string()} {
        fs::create_directories(home.idListDir());
        CreateGroupsTable(paths);
    }
    fs::path GroupsFile() const { return home.groupsDir() / kGroupsTableName; }
    fs::path ListFile(const std::string& idListName) const {
        return home.idListDir() / (idListName + ".db");
    }
    // A group as another program could have written it: a groups record and, when
    // `records` >= 0, an ID list table of that many records "<name>v<k>" / "<name>t<k>".
    void AddGroup(const std::string& name, const std::string& idListName, int records = 96) {
        Sql(GroupsFile(),
            "INSERT INTO records VALUES (" + Quote(name) + ", " + Quote(idListName) + ")");
        if (records < 0) return;
        RawDb db(ListFile(idListName));
        db.Exec("CREATE TABLE records (\"Trailer ID\" VARCHAR(16), \"Vehicle ID\" VARCHAR(16))");
        db.Exec("BEGIN");
        for (int k = 0; k < records; ++k)
            db.Exec("INSERT INTO records VALUES (" +
                    (k < kTrailerSlots ? Quote(name + "t" + std::to_string(k)) : "''") + ", " +
                    Quote(name + "v" + std::to_string(k)) + ")");
        db.Exec("COMMIT");
    }
    static std::string Quote(const std::string& s) {
        std::string out = "'";
        for (char c : s) {
            if (c == '\'') out += '\'';
            out += c;
        }
        return out + "'";
    }

    TempHome home;
    TStorePaths paths;
};

}  // namespace storetest
