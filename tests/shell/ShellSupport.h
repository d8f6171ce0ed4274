#pragma once
// What the window tests share: a temporary home with the data folders and an
// empty ports folder (so that no port is ever available), the error box recorded,
// and Start pressed with a script that runs inside the new window's modal show.
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/Cp1252.h"
#include "shell/TForm1.h"
#include "shell/TIDForm.h"
#include "tests/common/GroupFiles.h"
#include "tests/common/TempHome.h"
#include "tests/common/WindowDriver.h"

// A temporary home: the groups directory and the ID list directory, an empty
// ports folder (so that no COM number names a real device), and the groups table
// unless told otherwise.
class TShellHome {
public:
    explicit TShellHome(bool withGroupsTable = true) : paths_(ProgramStorePaths(Home)) {
        std::filesystem::create_directories(paths_.IDListDir);
        std::filesystem::create_directories(Home.portsDir());
        if (withGroupsTable) WriteGroupsTable(Paths());
    }
    // Adds a group with blank IDs, or with "V<v>" in vehicle slot v and "T<t>" in
    // trailer slot t when filled is true.
    void AddGroup(const std::string& name, bool filled = false) {
        AddGroupFiles(Paths(), name, name + " list",
                      filled ? NumberedRecords() : std::vector<TGroupRecord>(kVehicleSlots));
    }
    std::vector<std::filesystem::path> IDListFiles() const {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(paths_.IDListDir))
            files.push_back(entry.path());
        return files;
    }
    const TStorePaths& Paths() const { return paths_; }

    TempHome Home;

private:
    TStorePaths paths_;
};

// Presses Start; `script` runs inside the new window's modal show, and the window
// is closed afterwards if the script left it open. Gives the window (null once
// it has been destroyed).
inline QPointer<TIDForm> RunStart(TForm1& launcher, const std::function<void(TIDForm*)>& script,
                                  int watchdogMs = 30000) {
    QPointer<TIDForm> created;
    QTimer modalShow;  // an error box of the creation steps comes before it
    QObject::connect(&modalShow, &QTimer::timeout, &launcher, [&] {
        auto* window = qobject_cast<TIDForm*>(QApplication::activeModalWidget());
        if (!window) return;
        modalShow.stop();
        created = window;
        // The window may be released while the script waits for it to close.
        QTimer::singleShot(watchdogMs, window, [window] {
            qWarning("watchdog: the window did not close in time");
            window->close();
        });
        script(window);
        if (created && created->isVisible()) created->close();
    });
    modalShow.start(10);
    Child<QAbstractButton>(&launcher, "Button1")->click();
    return created;
}

// The configuration windows that exist, as the window system lists them.
inline std::vector<TIDForm*> ConfigWindows() {
    std::vector<TIDForm*> alive;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<TIDForm*>(window)) alive.push_back(form);
    return alive;
}

// Waits until the window has closed or gone; the caller must not touch it after.
inline bool WaitClosed(QPointer<TIDForm> window, int timeoutMs = 5000) {
    for (int waited = 0; window && window->isVisible() && waited < timeoutMs; waited += 10)
        QTest::qWait(10);
    return !window || !window->isVisible();
}

// The key filter's message, as the user reads it.
inline const char* const kRejected = "Please enter an alphabetical or numerical character";

inline QString CharOfCode(unsigned code) {
    return QString::fromStdString(Cp1252ToUtf8(std::string(1, char(code))));
}

// One typed character: a key press carrying its text, as the keyboard gives it.
inline void TypeText(QWidget* box, const QString& text, int key = 0) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(box, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(box, &release);
}

inline QStringList Items(QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

// Lets queued work run: deferred deletions and queued close-ups.
inline void Settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}
