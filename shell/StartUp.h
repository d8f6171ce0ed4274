#pragma once
// The program's start-up, once the application object exists: the launcher first
// (it is the main window), one configuration window made and never shown, so that
// the groups table has been opened before the launcher appears, then the event
// loop. Every window still alive goes at the end, closing its tables. Gives the
// loop's exit code.
int RunStartUp();
