#pragma once
#include <QObject>

// The launcher: its layout and picture, Start (a new window every time, shown
// modally with the launcher hidden), the hidden start-up window, and the end.
class TLauncherTests : public QObject {
    Q_OBJECT
private slots:
    void layoutAndPicture();
    void startShowsANewWindowModally();
    void secondStartGivesAFreshWindow();
    void hiddenStartupWindowIsNeverShown();
    void exitAndCloseBoxEndTheProgram();
    void windowsStillAliveAreDestroyedAtTheEnd();
};
