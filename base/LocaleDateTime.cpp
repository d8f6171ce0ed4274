#include "base/LocaleDateTime.h"

#include <QDateTime>

namespace {

QDate DateOf(const std::tm& t) {
    return QDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
}
QTime TimeOf(const std::tm& t) {
    return QTime(t.tm_hour, t.tm_min, t.tm_sec);
}

}  // namespace

QString WithoutTimeZone(const QString& format) {
    QString out;
    bool quoted = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u't') {
            while (!out.isEmpty() && out.back().isSpace()) out.chop(1);
            continue;
        }
        out.append(c);
    }
    return out.trimmed();
}

std::tm LocalNow() {
    const QDateTime now = QDateTime::currentDateTime();
    std::tm t{};
    t.tm_year = now.date().year() - 1900;
    t.tm_mon = now.date().month() - 1;
    t.tm_mday = now.date().day();
    t.tm_hour = now.time().hour();
    t.tm_min = now.time().minute();
    t.tm_sec = now.time().second();
    t.tm_wday = now.date().dayOfWeek() % 7;
    t.tm_yday = now.date().dayOfYear() - 1;
    t.tm_isdst = -1;
    return t;
}

TDateTimeSource LocaleDateTimeSource(const QLocale& locale) {
    const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    const QString timeFormat = WithoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    TDateTimeSource source;
    source.Now = &LocalNow;
    source.ShortDate = [locale, dateFormat](const std::tm& t) {
        return locale.toString(DateOf(t), dateFormat).toStdString();
    };
    source.LongTime = [locale, timeFormat](const std::tm& t) {
        return locale.toString(TimeOf(t), timeFormat).toStdString();
    };
    return source;
}
