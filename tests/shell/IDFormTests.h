#pragma once
#include <QObject>

// The configuration window: its state at creation, layout and slot table, key
// filter, paste, the store's operations and messages through it, a groups table
// that cannot be opened, closing, and what an exception leaving a handler does.
class TIDFormTests : public QObject {
    Q_OBJECT
private slots:
    void stateAtCreation();
    void layoutAndSlotTable();
    void hints();
    void keyFilterAtTheBoundaries();
    void keysWithoutCharactersAndControlCodes();
    void pasteIsNotFilteredButLosesWhatHasNoCode();
    void seventeenthCharacter();
    void companyNameHasNoFilter();
    void newGroupThroughTheWindow();
    void saveReloadAndDeleteThroughTheWindow();
    void groupListPopupAndDuplicateNames();
    void newGroupWhileLoadedReloadsIt();
    void groupsTableThatCannotBeOpened();
    void closeWhileNoHandlerRuns();
    void closeDuringAHandlerWaitsForIt();
    void closeDuringATransferWaitsForCancel();
    void handlerExceptionsEndInTheErrorBox();
};
