#pragma once
// Whether the program has a display to show its windows on, told before Qt is asked:
// without one Qt ends with advice to reinstall, which helps no one.
#include <string>

// "" when a display is named (DISPLAY, WAYLAND_DISPLAY) or the platform is chosen
// (QT_QPA_PLATFORM, -platform); otherwise the one line that says what is missing and
// how to get it.
std::string MissingDisplayMessage(int argc, char** argv);
