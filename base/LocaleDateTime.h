#pragma once
// The user's date and time formats and the local clock, through the system locale.
#include <QLocale>
#include <QString>
#include <ctime>

#include "base/DateTimeSource.h"

// A time format without its time-zone part ("t" outside quotes) and the blanks
// that stood before it.
QString WithoutTimeZone(const QString& format);
// The local date and time now.
std::tm LocalNow();
// The locale's short date format and its long time format without the time zone.
TDateTimeSource LocaleDateTimeSource(const QLocale& locale = QLocale::system());
