#pragma once
// The end-to-end rig: a temporary home with one group on disk, the real
// configuration window with scripted boxes, and helpers to watch what it shows.
#include <sqlite3.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/Beep.h"
#include "shell/TIDForm.h"
#include "tests/common/GroupFiles.h"
#include "tests/common/TempHome.h"
#include "tests/common/WindowDriver.h"
#include "tests/e2e/e2e_Simulator.h"

namespace e2e {

using TRecord = TGroupRecord;

// The group the end-to-end tests keep: "Veh <k>" and "Trl <k>".
inline std::vector<TRecord> FleetRecords() {
    return NumberedRecords("Veh ", "Trl ");
}

inline const char* const kGroup = "Fleet";
inline const char* const kListName = "Fleet 01-02-2026 09_30_00 by ";

// A temporary home with the groups table, one group and an empty ports folder.
class THome {
public:
    THome() : paths{ProgramStorePaths(home)} {
        std::filesystem::create_directories(home.portsDir());
        std::filesystem::create_directories(paths.IDListDir);
    }

    // The groups table, empty, as the setup tool leaves it.
    void WriteGroupsTable() { ::WriteGroupsTable(paths); }

    void WriteGroup(const std::vector<TRecord>& records = FleetRecords()) {
        WriteGroupFiles(paths, kGroup, kListName, records);
    }

    std::string ListFile() const {
        return (std::filesystem::path(paths.IDListDir) / (std::string(kListName) + ".db")).string();
    }

    // The ID list table as it lies in the file, read with SQLite itself.
    std::vector<TRecord> ReadGroupFile() const {
        std::vector<TRecord> out;
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(ListFile().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            return out;
        }
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT \"Trailer ID\", \"Vehicle ID\" FROM records ORDER BY rowid",
                           -1, &st, nullptr);
        auto text = [st](int col) {
            const unsigned char* t = sqlite3_column_text(st, col);
            return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
        };
        while (st && sqlite3_step(st) == SQLITE_ROW) out.push_back({text(0), text(1)});
        sqlite3_finalize(st);
        sqlite3_close(db);
        return out;
    }

    TempHome home;
    TStorePaths paths;
};

// The window with its group loaded and every box scripted.
class TWindowRig {
public:
    // `beforeWindow` runs in the home before the window opens its store (to choose a
    // group server there, say).
    explicit TWindowRig(bool withGroup = true, const std::vector<TRecord>& records = FleetRecords(),
                        const std::function<void(THome&)>& beforeWindow = {}) {
        if (withGroup)
            home.WriteGroup(records);
        else
            home.WriteGroupsTable();
        if (beforeWindow) beforeWindow(home);
        window = new TIDForm();
        window->show();
        if (withGroup) {
            ChooseGroup(window, QString::fromUtf8(kGroup));
            QTRY_VERIFY_WITH_TIMEOUT(Widget<QWidget>("PageControl")->isEnabled(), 5000);
        }
        beeps0_ = BeepCount();
    }
    ~TWindowRig() { delete window.data(); }
    TWindowRig(const TWindowRig&) = delete;
    TWindowRig& operator=(const TWindowRig&) = delete;

    template <class T = QAbstractButton>
    T* Widget(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    void Click(const char* button) { Widget<QAbstractButton>(button)->click(); }
    QString Status() const { return Widget<QLabel>("Label3")->text(); }
    QString Instrument() const { return Widget<QLabel>("Label4")->text(); }
    QString Caption() const { return Widget<QAbstractButton>("ExitButton")->text(); }
    bool StatusBoxShown() const { return !Widget<QGroupBox>("StatusBox")->isHidden(); }
    int Beeps() const { return BeepCount() - beeps0_; }
    // Whether the program has the device behind COM1 open, as lsof would tell.
    bool PortOpen() const {
        std::error_code ec;
        const auto device = std::filesystem::read_symlink(home.home.portsDir() / "com1", ec);
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", ec))
            if (std::filesystem::read_symlink(fd.path(), ec) == device) return true;
        return false;
    }

    // Runs `action` from the event loop whenever `condition` holds, checked every
    // 5 ms while a handler waits; once only.
    void When(std::function<bool()> condition, std::function<void()> action) {
        auto* timer = new QTimer(window);
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, condition, action] {
            if (!condition()) return;
            timer->stop();
            action();
            timer->deleteLater();
        });
        timer->start();
    }

    // Every line the status line showed while the watch ran, in order.
    void WatchStatus() {
        When(
            [this] {
                const QString s = Status();
                if (StatusHistory.empty() || StatusHistory.back() != s) {
                    StatusHistory.push_back(s);
                    StatusTimes.push_back(clock_.elapsed());
                }
                return false;
            },
            [] {});
        clock_.start();
    }

    THome home;
    TScriptedBoxes boxes;
    QPointer<TIDForm> window;
    std::vector<QString> StatusHistory;
    std::vector<qint64> StatusTimes;

private:
    int beeps0_ = 0;
    QElapsedTimer clock_;
};

inline int CountRx(const std::vector<TLogLine>& log, const std::string& command) {
    return static_cast<int>(Received(log, command).size());
}

inline std::string Hex4(unsigned address) {
    char text[5];
    std::snprintf(text, sizeof text, "%04X", address);
    return text;
}

}  // namespace e2e
