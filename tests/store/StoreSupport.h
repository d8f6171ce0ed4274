#pragma once
// Pieces of the write-failure tests: a scripted window and boxes, raw SQLite access
// for writing what the sqlite3 tool could leave behind, and a fresh data home.
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/TIDGroupStore.h"
#include "store/TTable.h"
#include "tests/common/TempHome.h"

namespace storetest {

namespace fs = std::filesystem;

class TScriptedWindow : public TStoreWindow {
public:
    TScriptedWindow() : vehicles(kVehicleSlots), trailers(kTrailerSlots) {}
    std::string VehicleSlot(int slot) const override { return vehicles.at(slot); }
    void SetVehicleSlot(int slot, const std::string& text) override { vehicles.at(slot) = text; }
    std::string TrailerSlot(int slot) const override { return trailers.at(slot); }
    void SetTrailerSlot(int slot, const std::string& text) override { trailers.at(slot) = text; }
    void ShowGroupList(const std::vector<std::string>& names, const std::string& shown) override {
        listNames = names;
        listShown = shown;
    }
    void Fill(const std::string& prefix) {
        for (int v = 0; v < kVehicleSlots; ++v) vehicles[v] = prefix + "V" + std::to_string(v);
        for (int t = 0; t < kTrailerSlots; ++t) trailers[t] = prefix + "T" + std::to_string(t);
    }

    std::vector<std::string> vehicles, trailers;
    std::vector<std::string> listNames;
    std::string listShown;
};

// Answers the boxes from queues and records what was asked; an unscripted question
// fails the test instead of being answered by chance.
class TScriptedBoxes : public TMessageBoxes {
public:
    void Information(const std::string& text) override { informations.push_back(text); }
    TConfirmAnswer Confirm(const std::string& question) override {
        questions.push_back(question);
        if (answers.empty()) throw std::logic_error("unscripted confirmation: " + question);
        const TConfirmAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& preset) override {
        inputs.push_back(caption + "|" + prompt + "|" + preset);
        if (texts.empty()) throw std::logic_error("unscripted input box");
        const std::string t = texts.front();
        texts.pop_front();
        return t;
    }

    std::deque<std::string> texts;
    std::deque<TConfirmAnswer> answers;
    std::vector<std::string> informations, questions, inputs;
};

// A fixed clock: en_GB-like formats over a given moment.
inline TDateTimeSource FixedClock(int year, int month, int day, int h, int m, int s) {
    TDateTimeSource c;
    c.Now = [=] {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = h;
        t.tm_min = m;
        t.tm_sec = s;
        return t;
    };
    c.ShortDate = [](const std::tm& t) {
        char b[32];
        std::snprintf(b, sizeof b, "%02d/%02d/%04d", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900);
        return std::string(b);
    };
    c.LongTime = [](const std::tm& t) {
        char b[32];
        std::snprintf(b, sizeof b, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
        return std::string(b);
    };
    return c;
}

// Raw SQL on a file, as the sqlite3 tool would run it.
inline void Sql(const fs::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(file.string().c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    char* err = nullptr;
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    const std::string msg = err ? err : (db ? sqlite3_errmsg(db) : "open failed");
    sqlite3_free(err);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("sql on " + file.string() + ": " + msg);
}

// Rows of `records` in rowid order, each column as text (NULL as "<null>").
inline std::vector<std::vector<std::string>> Rows(const fs::path& file) {
    sqlite3* db = nullptr;
    std::vector<std::vector<std::string>> out;
    if (sqlite3_open_v2(file.string().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + file.string());
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT * FROM records ORDER BY rowid", -1, &st, nullptr) !=
        SQLITE_OK) {
        const std::string msg = sqlite3_errmsg(db);
        sqlite3_close(db);
        throw std::runtime_error("cannot read " + file.string() + ": " + msg);
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            row.push_back(t ? t : "<null>");
        }
        out.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

// The first column of the first row of a query, as text ("" when there is none).
inline std::string Scalar(const fs::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(file.string().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        const int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
        if (rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            result = t ? t : "";
        } else {
            result = rc == SQLITE_OK ? "" : sqlite3_errmsg(db);
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return result;
}

inline std::string IntegrityCheck(const fs::path& file) {
    return Scalar(file, "PRAGMA integrity_check");
}

// All files of a directory tree (to see that nothing appeared or vanished).
inline std::vector<std::string> FilesUnder(const fs::path& root) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        out.push_back(fs::relative(e.path(), root).string());
    std::sort(out.begin(), out.end());
    return out;
}

// A data home with both directories and an empty groups table, as the setup tool
// leaves it.
class TStoreHome {
public:
    TStoreHome() : paths{home.groupsDir().string(), home.idListDir().string()} {
        fs::create_directories(home.idListDir());
        TTable t("setup");
        t.SetDatabaseName(paths.GroupsDir);
        t.SetTableName(kGroupsTableName);
        t.CreateTable({{kGroupNameField, 30}, {kIDListNameField, 150}}, {kGroupNameField});
    }
    fs::path GroupsFile() const { return home.groupsDir() / kGroupsTableName; }
    fs::path ListFile(const std::string& listName) const {
        return home.idListDir() / (listName + ".db");
    }

    TempHome home;
    TStorePaths paths;
};

}  // namespace storetest
