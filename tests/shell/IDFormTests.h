#pragma once
#include <QObject>

// The configuration window at creation: its state, layout and slot table, the
// status box's progress bar, and the hints.
class TIDFormStateTests : public QObject {
    Q_OBJECT
private slots:
    void stateAtCreation();
    void layoutAndSlotTable();
    void hints();
};

// The key filter of the ID boxes and what gets past it, in one window.
class TIDFormKeyTests : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void typedCharactersPassTheKeyFilter();
    void keysWithoutCharactersAndControlCodes();
    void pasteIsNotFilteredButLosesWhatHasNoCode();
    void seventeenthCharacter();
    void companyNameHasNoFilter();
};

// The store's operations and messages through the window, and the group list's
// close-up however the list closes.
class TIDFormGroupTests : public QObject {
    Q_OBJECT
private slots:
    void newGroupThroughTheWindow();
    void saveReloadAndDeleteThroughTheWindow();
    void groupListClosesHoweverItCloses();
    void newGroupWhileLoadedReloadsIt();
};

// A groups table that cannot be opened, closing the window, and what an exception
// leaving a handler does.
class TIDFormClosingTests : public QObject {
    Q_OBJECT
private slots:
    void groupsTableThatCannotBeOpened();
    void closeWhileNoHandlerRuns();
    void closeDuringAHandlerWaitsForIt();
    void closeDuringATransferWaitsForCancel();
    void handlerExceptionsEndInTheErrorBox();
};

// Typing that no Save has kept, asked about wherever it would be lost; the outcome
// line; the File button's menu as a screen reader reaches it.
class TIDFormUnsavedTests : public QObject {
    Q_OBJECT
private slots:
    void closingAsksAboutTyping();
    void refusedSaveKeepsTheWindowOpen();
    void groupListAndNewAskAboutTyping();
    void storedTextTheBoxCutsIsNoTyping();
    void outcomeLine();
    void fileMenuOnTheAccessibilityBus();
};
