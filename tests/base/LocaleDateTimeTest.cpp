// The user's date and time formats through the system locale (Qt), as the ID list
// table name of a new group uses them.
#include <gtest/gtest.h>

#include <QLocale>
#include <ctime>

#include "base/LocaleDateTime.h"
#include "tests/common/FixedTime.h"

TEST(LocaleDateTime, TimeZoneLeavesTheTimeFormat) {
    EXPECT_EQ(WithoutTimeZone("HH:mm:ss t"), "HH:mm:ss");
    EXPECT_EQ(WithoutTimeZone("h:mm:ss AP t"), "h:mm:ss AP");
    EXPECT_EQ(WithoutTimeZone("t HH:mm"), "HH:mm");
    EXPECT_EQ(WithoutTimeZone("HH 'h' mm 'at' t"), "HH 'h' mm 'at'");
    EXPECT_EQ(WithoutTimeZone("HH:mm:ss"), "HH:mm:ss");
}

TEST(LocaleDateTime, BritishFormatsGiveDayMonthYearAndTheWholeTime) {
    const TDateTimeSource source =
        LocaleDateTimeSource(QLocale(QLocale::English, QLocale::UnitedKingdom));
    const std::tm t = Moment(2026, 12, 7, 14, 5, 33);
    EXPECT_EQ(source.ShortDate(t), "07/12/2026");
    EXPECT_EQ(source.LongTime(t), "14:05:33");
    const std::tm now = source.Now();
    EXPECT_GE(now.tm_year, 124);
}
