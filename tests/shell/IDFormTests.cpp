#include "IDFormTests.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QToolTip>

#include "ShellSupport.h"
#include "base/Cp1252.h"
#include "shell/Beep.h"
#include "shell/THandlerRunner.h"
#include "tests/common/RecordingBoxes.h"
#ifndef _WIN32  // its testers sit on pseudo-terminals
#include "tests/tester/session_Support.h"
#endif

namespace {

// The key filter's message, as the user reads it.
const char* const kRejected = "Please enter an alphabetical or numerical character";

QString CharOfCode(unsigned code) {
    return QString::fromStdString(Cp1252ToUtf8(std::string(1, char(code))));
}

// One typed character: a key press carrying its text, as the keyboard gives it.
void TypeText(QWidget* box, const QString& text, int key = 0) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(box, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(box, &release);
}

// The ID pages are enabled the way a user enables them: by closing the group list.
void EnableIDPages(TIDForm* window) {
    ChooseGroup(window, QString());
    Settle();
}

QStringList Items(QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

}  // namespace

void TIDFormTests::stateAtCreation() {
    TShellHome home;
    home.AddGroup("Alpha");
    home.AddGroup("Beta");
    TScriptedBoxes boxes;
    TErrorBoxRecorder errors;
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
        QVERIFY(!Child<QTimer>(w, "Timer1")->isActive());
        QVERIFY(!Child<QTimer>(w, "Timer2")->isActive());
        QCOMPARE(Child<QTimer>(w, "Timer1")->interval(), 100);
        QCOMPARE(Child<QTimer>(w, "Timer2")->interval(), 1000);
        QCOMPARE(Child<QTimer>(w, "Timer1")->parent(), w);
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
    QVERIFY(errors.Texts.isEmpty());
    QVERIFY(boxes.Informations.empty());
}

void TIDFormTests::layoutAndSlotTable() {
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

void TIDFormTests::hints() {
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

void TIDFormTests::keyFilterAtTheBoundaries() {
    TShellHome home;
    TScriptedBoxes boxes;
    TIDForm w;
    w.show();
    EnableIDPages(&w);
    QLineEdit* box = IDBox(&w, 5);
    struct TCase {
        unsigned code;
        bool accepted;
    };
    const TCase cases[] = {{31, true},   {32, true},  {33, false},  {44, false},  {45, true},
                           {46, false},  {47, false}, {48, true},   {57, true},   {58, false},
                           {64, false},  {65, true},  {90, true},   {91, false},  {96, false},
                           {97, true},   {122, true}, {123, false}, {127, false}, {128, false},
                           {150, false}, {151, true}, {233, true},  {255, true}};
    for (const TCase& c : cases) {
        box->setText(QStringLiteral("ab"));
        box->setCursorPosition(1);
        boxes.Clear();
        const QString ch = CharOfCode(c.code);
        TypeText(box, ch);
        const QString label = QStringLiteral("code %1").arg(c.code);
        if (c.accepted) {
            QVERIFY2(boxes.Informations.empty(), qPrintable(label));
            const QString expected =
                c.code < 32 ? QStringLiteral("ab") : QStringLiteral("a") + ch + QStringLiteral("b");
            QVERIFY2(box->text() == expected, qPrintable(label));
        } else {
            QVERIFY2(boxes.Informations == std::vector<std::string>{kRejected}, qPrintable(label));
            QVERIFY2(box->text() == QStringLiteral("ab"), qPrintable(label));
            QVERIFY2(box->cursorPosition() == 1, qPrintable(label));
        }
    }
    // A character without a Windows-1252 code is refused like a refused code.
    for (const QString& foreign : {QStringLiteral("\u2603"), QString::fromUcs4(U"\U0001F600", 1)}) {
        box->setText(QStringLiteral("ab"));
        box->setCursorPosition(2);
        boxes.Clear();
        TypeText(box, foreign);
        QCOMPARE(boxes.Informations, std::vector<std::string>{kRejected});
        QCOMPARE(box->text(), QStringLiteral("ab"));
    }
    // Several characters in one key or an input method's commit: one message for each
    // refused character, the others go in.
    box->setText(QStringLiteral("ab"));
    boxes.Clear();
    TypeText(box, QStringLiteral("c.d"));
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("e!\u00E9\u2603f"));
    QApplication::sendEvent(box, &commit);
    QCOMPARE(box->text(), QStringLiteral("abcde\u00E9f"));
    QCOMPARE(boxes.Informations, std::vector<std::string>(3, kRejected));
    // Through the keyboard as QTest types it: full stop refused, hyphen taken.
    box->clear();
    boxes.Clear();
    QTest::keyClicks(box, "A-1.b");
    QCOMPARE(box->text(), QStringLiteral("A-1b"));
    QCOMPARE(boxes.Informations.size(), size_t(1));
}

void TIDFormTests::keysWithoutCharactersAndControlCodes() {
    TShellHome home;
    TScriptedBoxes boxes;
    TIDForm w;
    w.show();
    EnableIDPages(&w);
    QLineEdit* box = IDBox(&w, 0);
    box->setText(QStringLiteral("abcd"));
    box->setCursorPosition(2);
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), QStringLiteral("acd"));
    QTest::keyClick(box, Qt::Key_Delete);  // carries code 127, but types nothing
    QCOMPARE(box->text(), QStringLiteral("ad"));
    QTest::keyClick(box, Qt::Key_Left);
    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_Tab);
    QVERIFY(boxes.Informations.empty());
    QVERIFY(w.isVisible());
}

void TIDFormTests::pasteIsNotFilteredButLosesWhatHasNoCode() {
    TShellHome home;
    TScriptedBoxes boxes;
    TIDForm w;
    w.show();
    EnableIDPages(&w);
    QLineEdit* box = IDBox(&w, 100);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("A.b/\u20AC\u2603\u00E9!"));
    box->paste();
    QCOMPARE(box->text(), QStringLiteral("A.b/\u20AC\u00E9!"));
    box->setCursorPosition(2);
    clipboard->setText(QStringLiteral("\u2603x"));
    box->paste();
    QCOMPARE(box->text(), QStringLiteral("A.xb/\u20AC\u00E9!"));
    QCOMPARE(box->cursorPosition(), 3);
    // The keyboard's paste takes the same road.
    box->clear();
    clipboard->setText(QStringLiteral("x.y"));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box->text(), QStringLiteral("x.y"));
    // The length limit holds for pasted text.
    box->clear();
    clipboard->setText(QStringLiteral("0123456789abcdefXYZ"));
    box->paste();
    QCOMPARE(box->text(), QStringLiteral("0123456789abcdef"));
    QVERIFY(boxes.Informations.empty());
}

void TIDFormTests::seventeenthCharacter() {
    TShellHome home;
    TScriptedBoxes boxes;
    TIDForm w;
    w.show();
    EnableIDPages(&w);
    QLineEdit* box = IDBox(&w, 40);
    QTest::keyClicks(box, "ABCDEFGHIJKLMNOP");
    QCOMPARE(box->text().size(), 16);
    TypeText(box, QStringLiteral("Q"), Qt::Key_Q);
    QCOMPARE(box->text(), QStringLiteral("ABCDEFGHIJKLMNOP"));
    QVERIFY(boxes.Informations.empty());
    TypeText(box, QStringLiteral("."), Qt::Key_Period);
    QCOMPARE(boxes.Informations, std::vector<std::string>{kRejected});
    QCOMPARE(box->text(), QStringLiteral("ABCDEFGHIJKLMNOP"));
}

void TIDFormTests::companyNameHasNoFilter() {
    TShellHome home;
    TScriptedBoxes boxes;
    TIDForm w;
    w.show();
    auto* company = Child<QLineEdit>(&w, "CompanyNameEdit");
    Child<QTabWidget>(&w, "PageControl1")->setCurrentIndex(1);
    QTest::keyClicks(company, "A.B/C:@[{~");
    TypeText(company, CharOfCode(128));
    TypeText(company, CharOfCode(127));
    QCOMPARE(company->text(), QStringLiteral("A.B/C:@[{~\u20AC"));
    QTest::keyClicks(company, "123456789");
    QCOMPARE(company->text().size(), 16);
    QVERIFY(boxes.Informations.empty());
}

void TIDFormTests::newGroupThroughTheWindow() {
    TShellHome home;
    TScriptedBoxes boxes;
    TErrorBoxRecorder errors;
    TIDForm w;
    w.show();
    auto* newButton = Child<QPushButton>(&w, "NewGroupButton");
    auto* combo = Child<QComboBox>(&w, "GroupNameComboBox");

    // Cancel gives the preset back: nothing happens, no message.
    QTest::mouseClick(newButton, Qt::LeftButton);
    QCOMPARE(boxes.Inputs.size(), size_t(1));
    QCOMPARE(boxes.Inputs[0].Caption, std::string("Identities - New Group"));
    QCOMPARE(boxes.Inputs[0].Prompt, std::string("Please Enter a new group name"));
    QCOMPARE(boxes.Inputs[0].Preset, std::string("New"));
    QVERIFY(boxes.Informations.empty());
    QCOMPARE(combo->count(), 0);

    const std::string name31(31, 'x');
    boxes.Texts = {name31};
    QTest::mouseClick(newButton, Qt::LeftButton);
    QCOMPARE(boxes.Informations,
             std::vector<std::string>{name31 + " is more than 30 characters please reduce it"});
    QCOMPARE(combo->count(), 0);
    QVERIFY(home.IDListFiles().empty());

    boxes.Clear();
    const std::string name30(30, 'y');
    boxes.Texts = {name30, "new"};
    QTest::mouseClick(newButton, Qt::LeftButton);
    QTest::mouseClick(newButton, Qt::LeftButton);
    QVERIFY(boxes.Informations.empty());
    QCOMPARE(Items(combo), QStringList({QString::fromStdString(name30), "new"}));
    // The new group is listed, not chosen.
    QCOMPARE(combo->currentIndex(), -1);
    QCOMPARE(home.IDListFiles().size(), size_t(2));
    QVERIFY(errors.Texts.isEmpty());
}

void TIDFormTests::saveReloadAndDeleteThroughTheWindow() {
    TShellHome home;
    home.AddGroup("Fleet", true);
    home.AddGroup("Spare");
    TScriptedBoxes boxes;
    TErrorBoxRecorder errors;
    TIDForm w;
    w.show();
    auto* combo = Child<QComboBox>(&w, "GroupNameComboBox");
    auto* save = Child<QPushButton>(&w, "SaveButton");
    auto* del = Child<QPushButton>(&w, "DeleteGroupButton");

    // Nothing selected.
    QTest::mouseClick(save, Qt::LeftButton);
    QCOMPARE(boxes.Informations, std::vector<std::string>{"Please select a group to save to"});
    boxes.Clear();
    QTest::mouseClick(del, Qt::LeftButton);
    QCOMPARE(boxes.Informations, std::vector<std::string>{"Please select a group to delete"});
    QVERIFY(boxes.Questions.empty());

    // Choosing a group loads it and enables the ID pages.
    ChooseGroup(&w, QStringLiteral("Fleet"));
    Settle();
    QVERIFY(Child<QTabWidget>(&w, "PageControl")->isEnabled());
    QCOMPARE(combo->currentText(), QStringLiteral("Fleet"));
    QCOMPARE(IDBox(&w, 0)->text(), QStringLiteral("V0"));
    QCOMPARE(IDBox(&w, 95)->text(), QStringLiteral("V95"));
    QCOMPARE(IDBox(&w, 96)->text(), QStringLiteral("T0"));
    QCOMPARE(IDBox(&w, 127)->text(), QStringLiteral("T31"));

    // Edit, save, edit again, reload: the saved texts come back.
    IDBox(&w, 3)->setText(QStringLiteral("SAVED3"));
    IDBox(&w, 120)->setText(QStringLiteral("SAVEDT24"));
    boxes.Clear();
    QTest::mouseClick(save, Qt::LeftButton);
    QVERIFY(boxes.Informations.empty());
    // Hiding the list (another page, the window hidden) keeps edits; closing it reloads.
    IDBox(&w, 3)->setText(QStringLiteral("unsaved"));
    Child<QTabWidget>(&w, "PageControl1")->setCurrentIndex(1);
    w.hide();
    w.show();
    Settle();
    QCOMPARE(IDBox(&w, 3)->text(), QStringLiteral("unsaved"));
    ChooseGroup(&w, QStringLiteral("Fleet"));
    Settle();
    QCOMPARE(IDBox(&w, 3)->text(), QStringLiteral("SAVED3"));
    QCOMPARE(IDBox(&w, 120)->text(), QStringLiteral("SAVEDT24"));
    // Closing the list without a choice reloads too.
    IDBox(&w, 3)->setText(QStringLiteral("unsaved"));
    combo->showPopup();
    combo->hidePopup();
    Settle();
    QCOMPARE(IDBox(&w, 3)->text(), QStringLiteral("SAVED3"));

    // No and Cancel change nothing.
    boxes.Clear();
    boxes.Answers = {TConfirmAnswer::No, TConfirmAnswer::Cancel};
    QTest::mouseClick(del, Qt::LeftButton);
    QTest::mouseClick(del, Qt::LeftButton);
    QCOMPARE(boxes.Questions,
             std::vector<std::string>({"Delete the Fleet Group?", "Delete the Fleet Group?"}));
    QVERIFY(boxes.Informations.empty());
    QCOMPARE(combo->count(), 2);

    // Selected without a load (the list changed without opening it): asks, then refuses.
    ChooseGroup(&w, QStringLiteral("Spare"));
    Settle();
    const QString spareBlank = IDBox(&w, 0)->text();
    QCOMPARE(spareBlank, QString());
    combo->setCurrentIndex(combo->findText(QStringLiteral("Fleet")));
    // Spare is loaded, Fleet selected: Delete acts on the selection, Fleet.
    boxes.Clear();
    boxes.Answers = {TConfirmAnswer::Yes};
    QTest::mouseClick(del, Qt::LeftButton);
    QCOMPARE(boxes.Questions, std::vector<std::string>{"Delete the Fleet Group?"});
    QCOMPARE(Items(combo), QStringList({"Spare"}));
    QCOMPARE(combo->currentIndex(), -1);
    for (int k = 0; k < 128; ++k) QCOMPARE(IDBox(&w, k)->text(), QString());
    QCOMPARE(home.IDListFiles().size(), size_t(1));

    // A selection whose group is not loaded: the question, then the message.
    combo->setCurrentIndex(0);
    boxes.Clear();
    boxes.Answers = {TConfirmAnswer::Yes};
    QTest::mouseClick(del, Qt::LeftButton);
    QCOMPARE(boxes.Questions, std::vector<std::string>{"Delete the Spare Group?"});
    QCOMPARE(boxes.Informations, std::vector<std::string>{"Please select a group to delete"});
    QCOMPARE(combo->count(), 1);
    QVERIFY(errors.Texts.isEmpty());
}

void TIDFormTests::groupListPopupAndDuplicateNames() {
    TShellHome home;
    home.AddGroup("One", true);
    home.AddGroup("Two");
    TScriptedBoxes boxes;
    TIDForm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* combo = Child<QComboBox>(&w, "GroupNameComboBox");
    // A choice made in the open list with the keyboard: the load follows the choice.
    combo->showPopup();
    QTRY_VERIFY(combo->view()->isVisible());
    combo->view()->setCurrentIndex(combo->model()->index(0, 0));
    QTest::keyClick(combo->view(), Qt::Key_Return);
    Settle();
    QCOMPARE(combo->currentText(), QStringLiteral("One"));
    QCOMPARE(IDBox(&w, 10)->text(), QStringLiteral("V10"));
    // Esc closes the list without a choice: still a reload.
    IDBox(&w, 10)->setText(QStringLiteral("edit"));
    combo->showPopup();
    QTRY_VERIFY(combo->view()->isVisible());
    QTest::keyClick(combo->view(), Qt::Key_Escape);
    Settle();
    QCOMPARE(IDBox(&w, 10)->text(), QStringLiteral("V10"));
}

void TIDFormTests::newGroupWhileLoadedReloadsIt() {
    TShellHome home;
    home.AddGroup("Main", true);
    TScriptedBoxes boxes;
    TIDForm w;
    w.show();
    auto* combo = Child<QComboBox>(&w, "GroupNameComboBox");
    ChooseGroup(&w, QStringLiteral("Main"));
    Settle();
    IDBox(&w, 7)->setText(QStringLiteral("unsaved"));
    boxes.Texts = {"Other"};
    QTest::mouseClick(Child<QPushButton>(&w, "NewGroupButton"), Qt::LeftButton);
    QCOMPARE(Items(combo), QStringList({"Main", "Other"}));
    QCOMPARE(combo->currentText(), QStringLiteral("Main"));
    QCOMPARE(IDBox(&w, 7)->text(), QStringLiteral("V7"));
}

void TIDFormTests::groupsTableThatCannotBeOpened() {
    TShellHome home(false);
    // What the store says when the table is missing, found without a window.
    std::string missingText;
    {
        struct TQuiet : TStoreWindow {
            std::string VehicleSlot(int) const override { return {}; }
            void SetVehicleSlot(int, const std::string&) override {}
            std::string TrailerSlot(int) const override { return {}; }
            void SetTrailerSlot(int, const std::string&) override {}
            void ShowGroupList(const std::vector<std::string>&, const std::string&) override {}
        } quiet;
        TRecordingBoxes none;
        TIDGroupStore store(quiet, none);
        try {
            store.OpenStore();
        } catch (const std::exception& error) {
            missingText = error.what();
        }
    }
    QVERIFY(!missingText.empty());
    const QString openText = QString::fromStdString(ExceptionBoxText(missingText));

    TScriptedBoxes boxes;
    TErrorBoxRecorder errors;
    TForm1 launcher;
    launcher.CreateConfigWindow();  // the start-up window
    QCOMPARE(errors.Texts, QStringList({openText}));
    QCOMPARE(errors.Captions, QStringList({QCoreApplication::applicationName()}));
    launcher.show();
    for (int start = 1; start <= 2; ++start) {
        bool usable = false;
        RunStart(launcher, [&](TIDForm* w) {
            // Shown anyway, after the box; the slot table filled, the pages usable.
            QCOMPARE(errors.Texts.last(), openText);
            QCOMPARE(errors.Texts.count(openText), 1 + start);
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
            QCOMPARE(errors.Texts.last(),
                     QStringLiteral("IDGroupTable: Cannot perform this operation on a closed "
                                    "dataset."));
            usable = true;
        });
        QVERIFY(usable);
        QVERIFY(launcher.isVisible());
    }
    // A file that is not a table at all: also an error box, with the engine's text.
    {
        std::FILE* f = std::fopen(
            (std::filesystem::path(home.Paths().GroupsDir) / "IDGroup.db").string().c_str(), "wb");
        QVERIFY(f);
        std::fputs("this is not a table, just some text that fills a page", f);
        std::fclose(f);
    }
    const qsizetype before = errors.Texts.size();
    TIDForm broken;
    QCOMPARE(errors.Texts.size(), before + 1);
    QVERIFY(!errors.Texts.last().isEmpty());
    TypeText(IDBox(&broken, 127), QStringLiteral("."));  // the slot table's boxes are filtered
    QCOMPARE(boxes.Informations.back(), std::string(kRejected));
}

void TIDFormTests::closeWhileNoHandlerRuns() {
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

void TIDFormTests::closeDuringAHandlerWaitsForIt() {
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

void TIDFormTests::closeDuringATransferWaitsForCancel() {
    TShellHome home;
    home.AddGroup("Road", true);
    TScriptedBoxes boxes;
    TErrorBoxRecorder errors;
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
    QVERIFY(errors.Texts.isEmpty());
}

void TIDFormTests::handlerExceptionsEndInTheErrorBox() {
#ifdef _WIN32
    QSKIP("the session stand-ins sit on pseudo-terminals");
#else
    session_test::TRig rig(false);
    QWidget window;
    THandlerRunner handlers(window, *rig.session, rig.view);
    std::vector<std::string> atTheBox;  // the box's text, the poll and the caption then
    SetExceptionBoxPresenter([&](const QString&, const QString& text) {
        atTheBox.push_back(text.toStdString() + (rig.view.Poll ? " poll " : " ") +
                           rig.view.Caption);
    });
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
    SetExceptionBoxPresenter({});
    QCOMPARE(atTheBox, (std::vector<std::string>{"Output buffer too small for block. Cancel",
                                                 "Table is busy. Exit"}));
#endif
}
