#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "IDFormTests.h"
#include "ShellSupport.h"

void TIDFormGroupTests::newGroupThroughTheWindow() {
    TShellHome home;
    TScriptedBoxes boxes;
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

    // A name that could not be a file name on Windows: the same box, saying why.
    boxes.Clear();
    boxes.Texts = {"com1.a"};
    QTest::mouseClick(newButton, Qt::LeftButton);
    QCOMPARE(boxes.Informations,
             std::vector<std::string>{"the group name \"com1.a\" names the Windows device "
                                      "\"COM1\", which cannot be a file name, with or without "
                                      "an extension"});
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
    QVERIFY(boxes.Errors.isEmpty());
}

void TIDFormGroupTests::saveReloadAndDeleteThroughTheWindow() {
    TShellHome home;
    home.AddGroup("Fleet", true);
    home.AddGroup("Spare");
    TScriptedBoxes boxes;
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
    // Hiding the list (another page, the window hidden) keeps edits and asks nothing;
    // closing it reloads once the typing has been let go.
    IDBox(&w, 3)->setText(QStringLiteral("unsaved"));
    Child<QTabWidget>(&w, "PageControl1")->setCurrentIndex(1);
    w.hide();
    w.show();
    Settle();
    QCOMPARE(IDBox(&w, 3)->text(), QStringLiteral("unsaved"));
    QVERIFY(boxes.Questions.empty());
    boxes.Answers = {TConfirmAnswer::No, TConfirmAnswer::No};
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
    QCOMPARE(boxes.Questions, std::vector<std::string>(2, "Save changes to the Fleet Group?"));

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
    QVERIFY(boxes.Errors.isEmpty());
}

void TIDFormGroupTests::groupListClosesHoweverItCloses() {
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
    // Esc closes the list without a choice: still a reload, the typing let go.
    boxes.Answers = {TConfirmAnswer::No, TConfirmAnswer::No};
    IDBox(&w, 10)->setText(QStringLiteral("edit"));
    combo->showPopup();
    QTRY_VERIFY(combo->view()->isVisible());
    QTest::keyClick(combo->view(), Qt::Key_Escape);
    Settle();
    QCOMPARE(IDBox(&w, 10)->text(), QStringLiteral("V10"));
    // Another window comes to the front while the list is open: the window system
    // closes the list itself, and that is a close-up too.
    IDBox(&w, 10)->setText(QStringLiteral("edit"));
    combo->showPopup();
    QTRY_VERIFY(combo->view()->isVisible());
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY(!combo->view()->isVisible());
    Settle();
    QCOMPARE(IDBox(&w, 10)->text(), QStringLiteral("V10"));
}

void TIDFormGroupTests::newGroupWhileLoadedReloadsIt() {
    TShellHome home;
    home.AddGroup("Main", true);
    TScriptedBoxes boxes;
    TIDForm w;
    w.show();
    auto* combo = Child<QComboBox>(&w, "GroupNameComboBox");
    ChooseGroup(&w, QStringLiteral("Main"));
    Settle();
    IDBox(&w, 7)->setText(QStringLiteral("unsaved"));
    boxes.Answers = {TConfirmAnswer::No};  // the typing let go
    boxes.Texts = {"Other"};
    QTest::mouseClick(Child<QPushButton>(&w, "NewGroupButton"), Qt::LeftButton);
    QCOMPARE(Items(combo), QStringList({"Main", "Other"}));
    QCOMPARE(combo->currentText(), QStringLiteral("Main"));
    QCOMPARE(IDBox(&w, 7)->text(), QStringLiteral("V7"));
}
