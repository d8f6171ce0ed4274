#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <fstream>

#include "IDFormTests.h"
#include "ShellSupport.h"
#include "shell/Beep.h"
#include "shell/THandlerRunner.h"
#ifndef _WIN32  // its testers sit on pseudo-terminals
#include "tests/tester/session_Support.h"
#endif

void TIDFormClosingTests::groupsTableThatCannotBeOpened() {
    TShellHome home(false);
#ifdef _WIN32
    const QString setUp = "\nRun haltguard-ids-setup.exe from the program's folder to create it.";
#else
    const QString setUp = "\nRun haltguard-ids-setup to create it.";
#endif
    TScriptedBoxes boxes;
    TForm1 launcher;
    launcher.CreateConfigWindow();  // the start-up window
    // The store's own line, then what to do about it; again at Start.
    const QString openText = boxes.Errors.value(0);
    QVERIFY2(openText.startsWith("IDGroupTable: Table does not exist: ") &&
                 openText.endsWith("IDGroup.db." + setUp),
             qPrintable(openText));
    QCOMPARE(boxes.ErrorCaptions, QStringList({"shell_tests"}));
    launcher.show();
    bool usable = false;
    RunStart(launcher, [&](TIDForm* w) {
        // Shown anyway, after the box; the slot table filled, the pages usable.
        QCOMPARE(boxes.Errors, QStringList({openText, openText}));
        QVERIFY(w->isVisible());
        auto* combo = Child<QComboBox>(w, "GroupNameComboBox");
        QCOMPARE(combo->count(), 0);
        combo->showPopup();
        combo->hidePopup();
        Settle();
        QVERIFY(Child<QTabWidget>(w, "PageControl")->isEnabled());
        QTest::keyClicks(IDBox(w, 127), "T31");
        QCOMPARE(IDBox(w, 127)->text(), QStringLiteral("T31"));
        // New fails at the closed groups table, through the error box.
        boxes.Texts = {"Fresh"};
        QTest::mouseClick(Child<QPushButton>(w, "NewGroupButton"), Qt::LeftButton);
        QCOMPARE(
            boxes.Errors.last(),
            QStringLiteral("IDGroupTable: Cannot perform this operation on a closed dataset."));
        usable = true;
    });
    QVERIFY(usable && launcher.isVisible());
    // A file that is not a table: the engine's text alone.
    std::ofstream(std::filesystem::path(home.Paths().GroupsDir) / "IDGroup.db")
        << "this is not a table, just some text that fills a page";
    TIDForm broken;
    QVERIFY2(boxes.Errors.last().startsWith("IDGroupTable: File is not a table: ") &&
                 !boxes.Errors.last().contains(setUp),
             qPrintable(boxes.Errors.last()));
    TypeText(IDBox(&broken, 127), QStringLiteral("."));  // the slot table's boxes are filtered
    QCOMPARE(boxes.Informations.back(), std::string(kRejected));
    // No groups directory at all: the setup tool makes that too.
    std::filesystem::remove_all(home.Paths().GroupsDir);
    TIDForm bare;
    QVERIFY2(boxes.Errors.last().startsWith("Network control directory does not exist: ") &&
                 boxes.Errors.last().endsWith("Haltguard IDs." + setUp),
             qPrintable(boxes.Errors.last()));
}

void TIDFormClosingTests::closeWhileNoHandlerRuns() {
    TShellHome home;
    TScriptedBoxes boxes;
    TForm1 launcher;
    launcher.show();
    int destroyed = 0;
    bool launcherBack = false;
    QPointer<TIDForm> window = RunStart(launcher, [&](TIDForm* w) {
        QObject::connect(w, &QObject::destroyed, [&] { ++destroyed; });
        QVERIFY(!launcher.isVisible());
        QCOMPARE(QApplication::activeModalWidget(), w);
        w->close();  // the close box
        launcherBack = launcher.isVisible();
        QVERIFY(!w->isVisible());
        QCOMPARE(destroyed, 0);  // released from the event loop, not now
    });
    QVERIFY(launcherBack);
    Settle();
    QVERIFY(window.isNull());
    QCOMPARE(destroyed, 1);

    // The Exit button does the same.
    destroyed = 0;
    window = RunStart(launcher, [&](TIDForm* w) {
        QObject::connect(w, &QObject::destroyed, [&] { ++destroyed; });
        QTest::mouseClick(Child<QToolButton>(w, "ExitButton"), Qt::LeftButton);
        // The click's handler has returned: the close comes right after it.
        QVERIFY(WaitClosed(w));
    });
    QVERIFY(launcher.isVisible());
    Settle();
    QVERIFY(window.isNull());
    QCOMPARE(destroyed, 1);
}

void TIDFormClosingTests::closeDuringAHandlerWaitsForIt() {
    TShellHome home;
    TScriptedBoxes boxes;
    TForm1 launcher;
    launcher.show();
    int destroyed = 0;
    bool openDuringHandler = false;
    bool closedAfterHandler = false;
    RunStart(launcher, [&](TIDForm* w) {
        QObject::connect(w, &QObject::destroyed, [&] { ++destroyed; });
        // While New's input box is up, the close box is pressed.
        boxes.WhileShown = [&] {
            w->close();
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            openDuringHandler = w->isVisible() && !launcher.isVisible() && destroyed == 0;
        };
        boxes.Texts = {"Late"};
        QTest::mouseClick(Child<QPushButton>(w, "NewGroupButton"), Qt::LeftButton);
        boxes.WhileShown = nullptr;
        // The handler finished its work; the close follows from the event loop.
        QCOMPARE(Child<QComboBox>(w, "GroupNameComboBox")->count(), 1);
        QVERIFY(WaitClosed(w));
        closedAfterHandler = launcher.isVisible();
    });
    QVERIFY(openDuringHandler);
    QVERIFY(closedAfterHandler);
    Settle();
    QCOMPARE(destroyed, 1);
}

void TIDFormClosingTests::closeDuringATransferWaitsForCancel() {
    TShellHome home;
    home.AddGroup("Road", true);
    TScriptedBoxes boxes;
    TForm1 launcher;
    launcher.show();
    int destroyed = 0;
    bool sawSession = false, stillOpenAfterClose = false, returned = false;
    const int beepsBefore = BeepCount();
    RunStart(launcher, [&](TIDForm* w) {
        QObject::connect(w, &QObject::destroyed, [&] { ++destroyed; });
        ChooseGroup(w, QStringLiteral("Road"));
        Settle();
        QCOMPARE(IDBox(w, 0)->text(), QStringLiteral("V0"));
        IDBox(w, 0)->setText(QStringLiteral("typed"));  // kept while the session runs
        boxes.Answers = {TConfirmAnswer::No};           // and let go at the close
        auto* exitButton = Child<QToolButton>(w, "ExitButton");
        // Driven from inside the transfer's wait: look, close, then Cancel after the
        // first time-out's beep.
        auto* driver = new QTimer(w);
        int step = 0;
        QObject::connect(driver, &QTimer::timeout, w, [&, w, exitButton, driver] {
            if (step == 0 && Child<QTimer>(w, "Timer1")->isActive()) {
                sawSession = exitButton->text() == QStringLiteral("Cancel") && ExitRed(w) &&
                             Child<QGroupBox>(w, "StatusBox")->isVisible() &&
                             !Child<QGroupBox>(w, "GroupNameBox")->isVisible() &&
                             IDBox(w, 0)->text() == "typed";
                w->close();
                step = 1;
            } else if (step == 1 && BeepCount() > beepsBefore) {
                stillOpenAfterClose = w->isVisible() && destroyed == 0;
                QTest::mouseClick(exitButton, Qt::LeftButton);  // Cancel
                driver->stop();
                step = 2;
            }
        });
        driver->start(50);
        QTest::mouseClick(Child<QPushButton>(w, "SendButton"), Qt::LeftButton);
        returned = true;
        QCOMPARE(Child<QLabel>(w, "Label3")->text(), QStringLiteral("Communications aborted"));
        QVERIFY(WaitClosed(w));
    });
    QVERIFY(sawSession);
    QVERIFY(stillOpenAfterClose);
    QVERIFY(returned);
    QVERIFY(launcher.isVisible());
    Settle();
    QCOMPARE(destroyed, 1);
    QVERIFY(boxes.Errors.isEmpty());
}

void TIDFormClosingTests::handlerExceptionsEndInTheErrorBox() {
#ifdef _WIN32
    QSKIP("the session stand-ins sit on pseudo-terminals");
#else
    session_test::TRig rig(false);
    QWidget window;
    THandlerRunner handlers(window, *rig.session, rig.view);
    TScriptedBoxes boxes;
    std::vector<std::string> atTheBox;  // the poll and the caption while the box is up
    boxes.WhileShown = [&] {
        atTheBox.push_back((rig.view.Poll ? "poll " : "") + rig.view.Caption);
    };
    // A session waiting for a reply: its poll stops before the box, it ends after it.
    rig.session->Stopped = false;
    rig.view.Poll = true;
    rig.view.Caption = "Cancel";
    handlers.Run([] { throw std::runtime_error("Output buffer too small for block"); });
    QVERIFY(rig.session->Stopped && !rig.view.Poll && rig.view.Restore &&
            rig.view.Caption == "Exit");
    // No session: the box alone.
    rig.view.Restore = false;
    handlers.Run([] { throw std::runtime_error("Table is busy"); });
    QVERIFY(!rig.view.Restore);
    // Whatever is thrown ends in the box, and the window can close afterwards.
    handlers.Run([&] {
        QVERIFY(!handlers.MayClose());
        throw 7;
    });
    QVERIFY(handlers.MayClose());
    QCOMPARE(boxes.Errors, QStringList({"Output buffer too small for block.", "Table is busy.",
                                        "Unknown error."}));
    QCOMPARE(atTheBox, (std::vector<std::string>{"Cancel", "Exit", "Exit"}));
#endif
}
