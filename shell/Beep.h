#pragma once
// The system beep, through one function so that tests can count the beeps.

void Beep();      // QApplication::beep(), counted
int BeepCount();  // beeps since the program started
