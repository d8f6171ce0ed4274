#pragma once
// The clock and the user's date and time formats, injectable so that tests can fix them.
#include <ctime>
#include <functional>
#include <string>

struct TDateTimeSource {
    std::function<std::tm()> Now;                          // local date and time
    std::function<std::string(const std::tm&)> ShortDate;  // user's short date format
    std::function<std::string(const std::tm&)> LongTime;   // user's long time format
};

// The system clock with "dd/MM/yyyy" and "HH:mm:ss"; the window puts in the locale's formats.
TDateTimeSource DefaultDateTimeSource();
