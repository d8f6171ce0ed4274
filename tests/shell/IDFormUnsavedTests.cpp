#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

#include "IDFormTests.h"
#include "ShellSupport.h"

namespace {

const std::string kAskDepot = "Save changes to the Depot Group?";

QString StoredVehicle(const TShellHome& home, const std::string& group, int slot) {
    return QString::fromStdString(ReadListTable(home.Paths(), group + " list")[slot].Vehicle);
}

// A widget's place in the window's own coordinates.
QRect InWindow(const QWidget* widget, const QWidget* window) {
    return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size());
}

}  // namespace

void TIDFormUnsavedTests::closingAsksAboutTyping() {
    TShellHome home;
    home.AddGroup("Depot", true);
    TScriptedBoxes boxes;
    TForm1 launcher;
    launcher.show();
    // Nothing typed: the close box closes at once, as ever.
    bool closed = false;
    RunStart(launcher, [&](TIDForm* w) {
        ChooseGroup(w, QStringLiteral("Depot"));
        Settle();
        w->close();
        closed = !w->isVisible() && launcher.isVisible();
    });
    QVERIFY(closed);
    QVERIFY(boxes.Questions.empty());

    // Typed: Cancel keeps the window and the typing; No at Exit closes without them.
    bool keptOpen = false;
    closed = false;
    RunStart(launcher, [&](TIDForm* w) {
        ChooseGroup(w, QStringLiteral("Depot"));
        Settle();
        IDBox(w, 12)->setText(QStringLiteral("UNSAVED12"));
        boxes.Answers = {TConfirmAnswer::Cancel};
        w->close();
        keptOpen = w->isVisible() && !launcher.isVisible() &&
                   IDBox(w, 12)->text() == QStringLiteral("UNSAVED12") &&
                   Child<QComboBox>(w, "GroupNameComboBox")->currentText() == "Depot";
        boxes.Answers = {TConfirmAnswer::No};
        QTest::mouseClick(Child<QToolButton>(w, "ExitButton"), Qt::LeftButton);
        closed = WaitClosed(w);
    });
    QVERIFY(keptOpen);
    QVERIFY(closed);
    QCOMPARE(boxes.Questions, (std::vector<std::string>{kAskDepot, kAskDepot}));
    QCOMPARE(StoredVehicle(home, "Depot", 12), QStringLiteral("V12"));

    // Yes saves, then closes.
    closed = false;
    RunStart(launcher, [&](TIDForm* w) {
        ChooseGroup(w, QStringLiteral("Depot"));
        Settle();
        IDBox(w, 12)->setText(QStringLiteral("SAVED12"));
        boxes.Answers = {TConfirmAnswer::Yes};
        w->close();
        closed = !w->isVisible();
    });
    QVERIFY(closed);
    QCOMPARE(StoredVehicle(home, "Depot", 12), QStringLiteral("SAVED12"));
    QVERIFY(boxes.Errors.isEmpty());
}

void TIDFormUnsavedTests::refusedSaveKeepsTheWindowOpen() {
    TShellHome home;
    home.AddGroup("Depot", true);
    TScriptedBoxes boxes;
    TForm1 launcher;
    launcher.show();
    bool stayed = false, closed = false;
    RunStart(launcher, [&](TIDForm* w) {
        ChooseGroup(w, QStringLiteral("Depot"));
        Settle();
        {
            // Another copy of the program saves the group meanwhile.
            TIDForm other;
            other.show();
            ChooseGroup(&other, QStringLiteral("Depot"));
            Settle();
            IDBox(&other, 0)->setText(QStringLiteral("OTHER"));
            QTest::mouseClick(Child<QPushButton>(&other, "SaveButton"), Qt::LeftButton);
        }
        IDBox(w, 0)->setText(QStringLiteral("MINE"));
        boxes.Answers = {TConfirmAnswer::Yes};
        w->close();
        stayed = w->isVisible() && IDBox(w, 0)->text() == QStringLiteral("MINE") &&
                 !launcher.isVisible();
        boxes.Answers = {TConfirmAnswer::No};
        w->close();
        closed = !w->isVisible();
    });
    QVERIFY(stayed);
    QVERIFY(closed);
    QCOMPARE(boxes.Errors.size(), 1);
    QVERIFY2(boxes.Errors[0].contains("Record was changed by another user"),
             qPrintable(boxes.Errors[0]));
    QCOMPARE(StoredVehicle(home, "Depot", 0), QStringLiteral("OTHER"));
}

void TIDFormUnsavedTests::groupListAndNewAskAboutTyping() {
    TShellHome home;
    home.AddGroup("Depot", true);
    home.AddGroup("Yard");
    TScriptedBoxes boxes;
    TIDForm w;
    w.show();
    auto* combo = Child<QComboBox>(&w, "GroupNameComboBox");
    ChooseGroup(&w, QStringLiteral("Depot"));
    Settle();

    // Another group chosen: Cancel leaves the list on the group typed into.
    IDBox(&w, 12)->setText(QStringLiteral("UNSAVED12"));
    boxes.Answers = {TConfirmAnswer::Cancel};
    ChooseGroup(&w, QStringLiteral("Yard"));
    Settle();
    QCOMPARE(boxes.Questions, std::vector<std::string>{kAskDepot});
    QCOMPARE(combo->currentText(), QStringLiteral("Depot"));
    QCOMPARE(IDBox(&w, 12)->text(), QStringLiteral("UNSAVED12"));
    // The same group again: No loads it over the typing.
    boxes.Answers = {TConfirmAnswer::No};
    ChooseGroup(&w, QStringLiteral("Depot"));
    Settle();
    QCOMPARE(IDBox(&w, 12)->text(), QStringLiteral("V12"));
    // Yes saves into the group typed into, then loads the one chosen.
    IDBox(&w, 100)->setText(QStringLiteral("T4 TYPED"));
    boxes.Answers = {TConfirmAnswer::Yes};
    ChooseGroup(&w, QStringLiteral("Yard"));
    Settle();
    QCOMPARE(combo->currentText(), QStringLiteral("Yard"));
    QCOMPARE(IDBox(&w, 100)->text(), QString());
    QCOMPARE(QString::fromStdString(ReadListTable(home.Paths(), "Depot list")[4].Trailer),
             QStringLiteral("T4 TYPED"));
    QCOMPARE(boxes.Questions.size(), std::size_t(3));

    // New: Cancel asks for no name and makes nothing; nothing typed asks nothing.
    IDBox(&w, 0)->setText(QStringLiteral("typed"));
    boxes.Answers = {TConfirmAnswer::Cancel};
    QTest::mouseClick(Child<QPushButton>(&w, "NewGroupButton"), Qt::LeftButton);
    QVERIFY(boxes.Inputs.empty());
    QCOMPARE(boxes.Questions.back(), std::string("Save changes to the Yard Group?"));
    QCOMPARE(IDBox(&w, 0)->text(), QStringLiteral("typed"));
    IDBox(&w, 0)->setText(QString());
    boxes.Clear();
    boxes.Texts = {"Fresh"};
    QTest::mouseClick(Child<QPushButton>(&w, "NewGroupButton"), Qt::LeftButton);
    QVERIFY(boxes.Questions.empty());
    QCOMPARE(Items(combo), QStringList({"Depot", "Yard", "Fresh"}));
    QVERIFY(boxes.Errors.isEmpty());
}

void TIDFormUnsavedTests::storedTextTheBoxCutsIsNoTyping() {
    // Another program stored 16 characters that take 17 UTF-16 units: the box keeps
    // less than it was given, which nobody typed.
    TShellHome home;
    std::vector<TGroupRecord> records(kVehicleSlots);
    records[0].Vehicle = "\xF0\x9F\x98\x80" + std::string(15, 'A');
    AddGroupFiles(home.Paths(), "Odd", "Odd list", records);
    home.AddGroup("Plain");
    TScriptedBoxes boxes;
    TIDForm w;
    w.show();
    ChooseGroup(&w, QStringLiteral("Odd"));
    Settle();
    QVERIFY(IDBox(&w, 0)->text() != QString::fromStdString(records[0].Vehicle));
    ChooseGroup(&w, QStringLiteral("Plain"));
    Settle();
    QVERIFY(boxes.Questions.empty());
    QCOMPARE(IDBox(&w, 0)->text(), QString());
}

void TIDFormUnsavedTests::outcomeLine() {
    TShellHome home;
    home.AddGroup("Depot", true);
    TScriptedBoxes boxes;
    TIDForm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* line = Child<QLabel>(&w, "OutcomeLabel");
    QVERIFY(line->isHidden());

    // Below the group box, in the upper tab control's free strip, over no control.
    const QRect place = InWindow(line, &w);
    auto* upper = Child<QTabWidget>(&w, "PageControl1");
    QVERIFY(InWindow(upper->currentWidget(), &w).contains(place));
    QVERIFY(!InWindow(Child<QWidget>(&w, "GroupNameBox"), &w).intersects(place));
    QVERIFY(!InWindow(upper->tabBar(), &w).intersects(place));
    QVERIFY(place.height() >= line->fontMetrics().height());

    ChooseGroup(&w, QStringLiteral("Depot"));
    Settle();
    QTest::mouseClick(Child<QPushButton>(&w, "SaveButton"), Qt::LeftButton);
    QVERIFY(line->isVisible());
    QVERIFY2(
        QRegularExpression(QStringLiteral("^Saved, \\d\\d:\\d\\d$")).match(line->text()).hasMatch(),
        qPrintable(line->text()));
    // Both pages show it.
    upper->setCurrentIndex(1);
    QVERIFY(line->isVisible());
    upper->setCurrentIndex(0);

    // A send that never reaches a tester (no port at all): the line is emptied while
    // the status box is up, and says so once the box has gone, whole on the bus.
    auto* status = Child<QGroupBox>(&w, "StatusBox");
    bool hiddenDuringSession = false;
    auto* driver = new QTimer(&w);
    QObject::connect(driver, &QTimer::timeout, &w, [&] {
        if (!status->isVisible()) return;
        hiddenDuringSession = line->isHidden();
        driver->stop();
        Child<QToolButton>(&w, "ExitButton")->click();  // Cancel
    });
    driver->start(20);
    QTest::mouseClick(Child<QPushButton>(&w, "SendButton"), Qt::LeftButton);
    QVERIFY(hiddenDuringSession);
    QTRY_VERIFY_WITH_TIMEOUT(line->isVisible(), 5000);
    const QString told = QAccessible::queryAccessibleInterface(line)->text(QAccessible::Name);
    QVERIFY2(told.startsWith("IDs not sent: cancelled before the tester was found, "),
             qPrintable(told));
    // Shortened to its line if need be, and whole in its hint.
    QVERIFY(line->text() == told ||
            (line->text().endsWith(QChar(0x2026)) && line->toolTip() == told));
    QVERIFY(line->fontMetrics().horizontalAdvance(line->text()) <= line->width());
    QCOMPARE(Child<QLabel>(&w, "Label3")->text(), QStringLiteral("Communications aborted"));
}

void TIDFormUnsavedTests::fileMenuOnTheAccessibilityBus() {
    TShellHome home;
    home.AddGroup("Depot", true);
    TScriptedBoxes boxes;
    TIDForm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* file = Child<QToolButton>(&w, "GroupFileButton");
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(file);
    QCOMPARE(button->text(QAccessible::Name), QStringLiteral("File"));
    QVERIFY(button->text(QAccessible::Description).contains("Import or export"));
    // Reached with Tab, after Send, as the group box's other buttons are.
    QVERIFY(file->focusPolicy() & Qt::TabFocus);
    QWidget* next = Child<QWidget>(&w, "SendButton")->nextInFocusChain();
    while (next && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    QCOMPARE(next, static_cast<QWidget*>(file));

    // The action a screen reader offers opens the menu, whose items are on the bus by
    // name and can be pressed from there.
    QAccessibleActionInterface* actions = button->actionInterface();
    QVERIFY(actions);
    const QStringList names = actions->actionNames();
    QVERIFY2(names.contains(QAccessibleActionInterface::showMenuAction()),
             qPrintable(names.join(",")));
    QMenu* menu = file->menu();
    QStringList items;
    bool pressable = false, shown = false;
    QTimer::singleShot(200, menu, [&] {
        shown = menu->isVisible();
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(menu);
        for (int i = 0; i < spoken->childCount(); ++i) {
            items << spoken->child(i)->text(QAccessible::Name);
            if (QAccessibleActionInterface* a = spoken->child(i)->actionInterface())
                pressable = a->actionNames().contains(QAccessibleActionInterface::pressAction());
        }
        menu->close();
    });
    actions->doAction(QAccessibleActionInterface::showMenuAction());
    QTRY_VERIFY(!menu->isVisible());
    QVERIFY(shown);
    QCOMPARE(items, QStringList({QStringLiteral("Import…"), QStringLiteral("Export…")}));
    QVERIFY(pressable);
    QCOMPARE(QAccessible::queryAccessibleInterface(menu)->text(QAccessible::Name),
             QStringLiteral("File"));
}
