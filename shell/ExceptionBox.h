#pragma once
// The default error box: shown for every exception that ends an event handler.
// Caption: the application title (the program file's name); error icon; one OK.
#include <QString>
#include <exception>
#include <string>

// The text as shown: a full stop is added when the last character's code is above
// that of the full stop.
std::string ExceptionBoxText(const std::string& message);
// The program sets no title of its own: the program file's name stands in.
QString ApplicationTitle();

// The text for an exception that carries none of its own (not a std::exception).
inline constexpr const char* kUnknownErrorText = "Unknown error";

void ShowExceptionBox(const std::exception& error);
void ShowExceptionBox(const std::string& message);
