#pragma once
// What the window tests share: a temporary home with the data folders and an
// empty ports folder, boxes answered by the test, the error box recorded, and
// Start pressed with a script that runs inside the new window's modal show.
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "shell/ExceptionBox.h"
#include "shell/TForm1.h"
#include "shell/TIDForm.h"
#include "store/TIDGroupStore.h"
#include "store/TTable.h"
#include "tests/common/TempHome.h"

// Boxes answered by the test: questions take the queued answers (none left:
// Cancel), input boxes the queued texts (none left: the preset, as Cancel does).
class TScriptedBoxes : public TMessageBoxes {
public:
    struct TInputCall {
        std::string Caption, Prompt, Preset;
    };
    std::vector<std::string> Informations;
    std::vector<std::string> Questions;
    std::vector<TInputCall> Inputs;
    std::deque<TConfirmAnswer> Answers;
    std::deque<std::string> Texts;
    // Runs while a box is up, as if the user did something meanwhile.
    std::function<void()> WhileShown;

    void Information(const std::string& text) override {
        Informations.push_back(text);
        if (WhileShown) WhileShown();
    }
    TConfirmAnswer Confirm(const std::string& question) override {
        Questions.push_back(question);
        if (WhileShown) WhileShown();
        if (Answers.empty()) return TConfirmAnswer::Cancel;
        const TConfirmAnswer answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& preset) override {
        Inputs.push_back({caption, prompt, preset});
        if (WhileShown) WhileShown();
        if (Texts.empty()) return preset;
        std::string text = Texts.front();
        Texts.pop_front();
        return text;
    }
    void Clear() {
        Informations.clear();
        Questions.clear();
        Inputs.clear();
    }
};

// The error box, recorded instead of shown, for as long as this object lives.
class TErrorBoxRecorder {
public:
    TErrorBoxRecorder() {
        SetExceptionBoxPresenter([this](const QString& caption, const QString& text) {
            Captions.push_back(caption);
            Texts.push_back(text);
        });
    }
    ~TErrorBoxRecorder() { SetExceptionBoxPresenter({}); }
    TErrorBoxRecorder(const TErrorBoxRecorder&) = delete;
    TErrorBoxRecorder& operator=(const TErrorBoxRecorder&) = delete;
    QStringList Captions;
    QStringList Texts;
};

// A temporary home: the groups directory and the ID list directory, an empty
// ports folder (so that no COM number names a real device), and the groups table
// unless told otherwise.
class TShellHome {
public:
    explicit TShellHome(bool withGroupsTable = true) {
        std::filesystem::create_directories(Home.idListDir());
        std::filesystem::create_directories(Home.portsDir());
        if (withGroupsTable) {
            TTable table("Setup");
            table.SetDatabaseName(Home.groupsDir().string());
            table.SetTableName(kGroupsTableName);
            table.CreateTable({{kGroupNameField, 30}, {kIDListNameField, 150}}, {kGroupNameField});
        }
    }
    // Adds a group as the window's New would, with the given IDs (vehicle slot v
    // and trailer slot t of the group get "V<v>" and "T<t>" when filled is true).
    void AddGroup(const std::string& name, bool filled = false) {
        TNullWindow window;
        TScriptedBoxes boxes;
        boxes.Texts.push_back(name);
        TIDGroupStore store(window, boxes);
        store.OpenStore();
        store.NewGroup();
        if (!filled) return;
        store.Select(name);
        store.LoadGroup();
        for (int v = 0; v < kVehicleSlots; ++v) window.vehicles[v] = "V" + std::to_string(v);
        for (int t = 0; t < kTrailerSlots; ++t) window.trailers[t] = "T" + std::to_string(t);
        store.SaveGroup();
    }
    std::vector<std::filesystem::path> IDListFiles() const {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(Home.idListDir()))
            files.push_back(entry.path());
        return files;
    }

    TempHome Home;

private:
    class TNullWindow : public TStoreWindow {
    public:
        std::string vehicles[kVehicleSlots];
        std::string trailers[kTrailerSlots];
        std::string VehicleSlot(int slot) const override { return vehicles[slot]; }
        void SetVehicleSlot(int slot, const std::string& text) override { vehicles[slot] = text; }
        std::string TrailerSlot(int slot) const override { return trailers[slot]; }
        void SetTrailerSlot(int slot, const std::string& text) override { trailers[slot] = text; }
        void ShowGroupList(const std::vector<std::string>&, const std::string&) override {}
    };
};

// No port is ever available to a test window, whatever the ports folder says.
inline void NoPorts(TIDForm* window) {
    window->Session().Probe = [](unsigned) { return false; };
}

// Presses Start; `script` runs inside the new window's modal show, and the window
// is closed afterwards if the script left it open. Gives the window (null once
// it has been destroyed).
inline QPointer<TIDForm> RunStart(TForm1& launcher, TMessageBoxes* boxes,
                                  const std::function<void(TIDForm*)>& script,
                                  int watchdogMs = 30000) {
    QPointer<TIDForm> created;
    const QMetaObject::Connection connection =
        QObject::connect(&launcher, &TForm1::ConfigWindowCreated, [&](TIDForm* window) {
            created = window;
            window->SetMessageBoxes(boxes);
            NoPorts(window);
            QTimer::singleShot(0, window, [window, script] {
                // The window may be released while the script waits for it to close.
                QPointer<TIDForm> guard(window);
                script(window);
                if (guard && guard->isVisible()) guard->close();
            });
            QTimer::singleShot(watchdogMs, window, [window] {
                qWarning("watchdog: the window did not close in time");
                window->close();
            });
        });
    launcher.Button1Click();
    QObject::disconnect(connection);
    return created;
}

// Waits until the window has closed or gone; the caller must not touch it after.
inline bool WaitClosed(QPointer<TIDForm> window, int timeoutMs = 5000) {
    for (int waited = 0; window && window->isVisible() && waited < timeoutMs; waited += 10)
        QTest::qWait(10);
    return !window || !window->isVisible();
}

// Lets queued work run: deferred deletions and queued close-ups.
inline void Settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}
