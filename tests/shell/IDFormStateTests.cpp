#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QToolTip>

#include "IDFormTests.h"
#include "ShellSupport.h"
#include "tests/common/RecordingBoxes.h"

void TIDFormStateTests::stateAtCreation() {
    TShellHome home;
    home.AddGroup("Alpha");
    home.AddGroup("Beta");
    TScriptedBoxes boxes;
    TForm1 launcher;
    launcher.show();
    bool checked = false;
    RunStart(launcher, [&](TIDForm* w) {
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Configure ID's"));
        QCOMPARE(w->objectName(), QStringLiteral("IDForm"));
        auto* upper = Child<QTabWidget>(w, "PageControl1");
        QCOMPARE(upper->currentWidget(), Child<QWidget>(w, "TabSheet1"));
        QVERIFY(Child<QGroupBox>(w, "GroupNameBox")->isVisible());
        QVERIFY(!Child<QGroupBox>(w, "StatusBox")->isVisible());
        QCOMPARE(Child<QLabel>(w, "Label3")->text(), QString());
        QCOMPARE(Child<QLabel>(w, "Label4")->text(), QString());
        QVERIFY(Child<QProgressBar>(w, "ProgressBar1")->isHidden());
        QVERIFY(Child<QLabel>(w, "Label5")->isHidden());
        auto* combo = Child<QComboBox>(w, "GroupNameComboBox");
        QCOMPARE(Items(combo), QStringList({"Alpha", "Beta"}));
        QCOMPARE(combo->currentIndex(), -1);
        auto* pages = Child<QTabWidget>(w, "PageControl");
        QVERIFY(!pages->isEnabled());
        QCOMPARE(pages->currentWidget(), Child<QWidget>(w, "VehiclesTab1"));
        for (int k = 0; k < 128; ++k) QCOMPARE(IDBox(w, k)->text(), QString());
        QCOMPARE(Child<QLineEdit>(w, "CompanyNameEdit")->text(), QString());
        QCOMPARE(Child<QToolButton>(w, "ExitButton")->text(), QStringLiteral("Exit"));
        QVERIFY(!ExitRed(w));
        QVERIFY(!Child<QToolButton>(w, "SpeedButton3")->isVisible());
        // No poll and no panel restore run before a session.
        QVERIFY(!Child<QTimer>(w, "Timer1")->isActive());
        QVERIFY(!Child<QTimer>(w, "Timer2")->isActive());
        // The Company Name page hides the group list, which was never open.
        upper->setCurrentWidget(Child<QWidget>(w, "TabSheet2"));
        Settle();
        QVERIFY(!pages->isEnabled());
        // Neither Esc nor Enter closes the window.
        QTest::keyClick(w, Qt::Key_Escape);
        QTest::keyClick(w, Qt::Key_Return);
        QVERIFY(w->isVisible());
        checked = true;
    });
    QVERIFY(checked);
    QVERIFY(boxes.Errors.isEmpty());
    QVERIFY(boxes.Informations.empty());
}

void TIDFormStateTests::layoutAndSlotTable() {
    TShellHome home;
    TIDForm w;
    QCOMPARE(w.size(), QSize(274, 566));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QCOMPARE(Child<QTabWidget>(&w, "PageControl1")->geometry(), QRect(8, 0, 257, 113));
    QCOMPARE(Child<QTabWidget>(&w, "PageControl1")->tabPosition(), QTabWidget::South);
    auto* pages = Child<QTabWidget>(&w, "PageControl");
    QCOMPARE(pages->geometry(), QRect(8, 115, 257, 425));
    QCOMPARE(pages->tabPosition(), QTabWidget::South);
    QCOMPARE(Child<QToolButton>(&w, "DateSpeedButton")->geometry(), QRect(9, 544, 100, 17));
    QCOMPARE(Child<QToolButton>(&w, "ExitButton")->geometry(), QRect(153, 544, 49, 17));
    QCOMPARE(Child<QToolButton>(&w, "ExitButton")->focusPolicy(), Qt::NoFocus);
    QCOMPARE(Child<QToolButton>(&w, "DateSpeedButton")->focusPolicy(), Qt::NoFocus);
    QCOMPARE(Child<QComboBox>(&w, "GroupNameComboBox")->geometry(), QRect(56, 24, 145, 21));
    QCOMPARE(Child<QLineEdit>(&w, "CompanyNameEdit")->maxLength(), 16);
    // The progress bar sits below the status box's two lines, which stay where they are.
    QCOMPARE(Child<QLabel>(&w, "Label3")->pos(), QPoint(16, 16));
    QCOMPARE(Child<QLabel>(&w, "Label4")->pos(), QPoint(16, 36));
    auto* bar = Child<QProgressBar>(&w, "ProgressBar1");
    QCOMPARE(bar->parentWidget(), Child<QWidget>(&w, "StatusBox"));
    QVERIFY(bar->y() > Child<QLabel>(&w, "Label4")->geometry().bottom() &&
            bar->parentWidget()->rect().contains(bar->geometry()));
    // So does the explanation line, in the bar's place, with room for three lines.
    auto* explanation = Child<QLabel>(&w, "Label5");
    QCOMPARE(explanation->parentWidget(), bar->parentWidget());
    QCOMPARE(explanation->geometry().left(), bar->geometry().left());
    QCOMPARE(explanation->width(), bar->width());
    QVERIFY(explanation->y() > Child<QLabel>(&w, "Label4")->geometry().bottom() &&
            explanation->parentWidget()->rect().contains(explanation->geometry()));
    QVERIFY(explanation->wordWrap());
    QVERIFY(explanation->height() >= 3 * explanation->fontMetrics().lineSpacing());
    bar->setValue(5);
    QCOMPARE(bar->text(), QStringLiteral("5 of 128"));
    QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(bar);
    QCOMPARE(spoken->role(), QAccessible::ProgressBar);
    QCOMPARE(spoken->text(QAccessible::Name), QStringLiteral("Commands answered"));
    QCOMPARE(spoken->valueInterface()->currentValue().toInt(), 5);
    for (const char* name : {"NewGroupButton", "DeleteGroupButton", "SaveButton", "ReadButton",
                             "SendButton", "ReadNameButton", "SendNameButton"})
        QVERIFY2(!Child<QPushButton>(&w, name)->autoDefault(), name);

    const QStringList captions = {"Vehicles 1", "Vehicles 2", "Vehicles 3", "Vehicles 4",
                                  "Vehicles 5", "Vehicles 6", "Trailers 1", "Trailers 2"};
    QCOMPARE(pages->count(), 8);
    for (int p = 0; p < 8; ++p) QCOMPARE(pages->tabText(p), captions[p]);
    for (int k = 0; k < 128; ++k) {
        QLineEdit* box = IDBox(&w, k);
        QCOMPARE(box->objectName(), QStringLiteral("Edit%1").arg(k + 1));
        QCOMPARE(box->maxLength(), 16);
        const int page = k / 16, row = k % 16;
        QCOMPARE(box->parentWidget(), pages->widget(page));
        QCOMPARE(box->geometry(), QRect(56, 8 + 24 * row, 150, 21));
        // The number beside the box is its slot number.
        auto* number = Child<QLabel>(&w, QStringLiteral("NumberLabel%1").arg(k + 1).toLatin1());
        QCOMPARE(number->parentWidget(), pages->widget(page));
        QCOMPARE(number->pos(), QPoint(32, 12 + 24 * row));
        const int slot = k < 96 ? k : k - 96;
        QCOMPARE(number->text(), QString::number(slot));
    }
}

void TIDFormStateTests::hints() {
    TShellHome home;
    TIDForm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto hintOf = [&](const char* name) -> QString {
        QToolTip::hideText();
        for (int waited = 0; QToolTip::isVisible() && waited < 3000; waited += 10) QTest::qWait(10);
        if (QToolTip::isVisible()) return QStringLiteral("(a hint would not go)");
        QWidget* control = Child<QWidget>(&w, name);
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), control->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(control, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    QCOMPARE(hintOf("ReadNameButton"), QStringLiteral("Retrieve ID from tester"));
    QCOMPARE(hintOf("SendNameButton"), QString());
    QCOMPARE(Child<QWidget>(&w, "SendNameButton")->toolTip(), QStringLiteral("Send ID to tester"));
    QCOMPARE(hintOf("ExitButton"), QStringLiteral("Close"));
    QCOMPARE(hintOf("DateSpeedButton"), QStringLiteral("Set instrument date & time to now"));
    QCOMPARE(hintOf("NewGroupButton"), QStringLiteral("Setup a new ID group"));
    QCOMPARE(hintOf("SendButton"), QStringLiteral("Send ID's to tester"));
    Child<QToolButton>(&w, "ExitButton")->setText(QStringLiteral("Cancel"));
    QCOMPARE(hintOf("ExitButton"), QStringLiteral("Close"));
    QToolTip::hideText();
}
