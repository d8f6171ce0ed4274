#pragma once
// A fixed moment and a clock stopped at it, for the tests of whatever reads the time:
// the ID list table name of a new group, the tester's clock frame.
#include <ctime>

#include "base/DateTimeSource.h"

inline std::tm Moment(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

// Stopped at 7 December 2026, 14:05:33 unless told otherwise; dd/MM/yyyy and HH:mm:ss.
inline TDateTimeSource FixedClock(int year = 2026, int month = 12, int day = 7, int hour = 14,
                                  int minute = 5, int second = 33) {
    TDateTimeSource clock = DefaultDateTimeSource();
    clock.Now = [t = Moment(year, month, day, hour, minute, second)] { return t; };
    return clock;
}
