#include "app/core/ConfigValues.h"

#include <gtest/gtest.h>

using config::BusinessDate;
using config::ParseInteger;
using config::ParseTimeOfDay;

TEST(ConfigValues, IntegersAsTheStationFilesWriteThem) {
    EXPECT_EQ(ParseInteger("1"), 1);
    EXPECT_EQ(ParseInteger("-1"), -1);
    EXPECT_EQ(ParseInteger(" 42 "), 42);
    EXPECT_EQ(ParseInteger("1234"), 1234);
    EXPECT_EQ(ParseInteger("$1F"), 31);
    EXPECT_EQ(ParseInteger("0x10"), 16);
    EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseInteger("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", " ", "abc", "1a", "-", "+", "1 2", "2147483648", "$", "0x", "12.5"})
        EXPECT_FALSE(ParseInteger(bad).has_value()) << bad;
}

TEST(ConfigValues, TimesOfDay) {
    EXPECT_EQ(ParseTimeOfDay("0"), QTime(0, 0));
    EXPECT_EQ(ParseTimeOfDay("5"), QTime(5, 0));
    EXPECT_EQ(ParseTimeOfDay("05:30"), QTime(5, 30));
    EXPECT_EQ(ParseTimeOfDay("06:00:15"), QTime(6, 0, 15));
    EXPECT_EQ(ParseTimeOfDay("06:00:15.5"), QTime(6, 0, 15, 500));
    EXPECT_EQ(ParseTimeOfDay("6 PM"), QTime(18, 0));
    EXPECT_EQ(ParseTimeOfDay("pm 6:30"), QTime(18, 30));
    EXPECT_EQ(ParseTimeOfDay("12 AM"), QTime(0, 0));
    EXPECT_EQ(ParseTimeOfDay("12:10 pm"), QTime(12, 10));
    for (const char* bad : {"", "25:00", "word", "6:60", "13 PM", "6:", ":30", "6:30:61", "123"})
        EXPECT_FALSE(ParseTimeOfDay(bad).has_value()) << bad;
}

TEST(ConfigValues, BusinessDateAroundTheDayChange) {
    const QDate march10(2026, 3, 10);
    const QTime six(6, 0);
    EXPECT_EQ(BusinessDate(QDateTime(march10, QTime(5, 59, 59)), six), QDate(2026, 3, 9));
    EXPECT_EQ(BusinessDate(QDateTime(march10, QTime(6, 0, 0)), six), QDate(2026, 3, 9));
    EXPECT_EQ(BusinessDate(QDateTime(march10, QTime(6, 0, 1)), six), march10);
    // With midnight as the change, only exact midnight belongs to the day before.
    EXPECT_EQ(BusinessDate(QDateTime(march10, QTime(0, 0)), QTime(0, 0)), QDate(2026, 3, 9));
    EXPECT_EQ(BusinessDate(QDateTime(march10, QTime(0, 0, 0, 1)), QTime(0, 0)), march10);
    EXPECT_EQ(BusinessDate(QDateTime(QDate(2026, 3, 1), QTime(1, 0)), six), QDate(2026, 2, 28));
}
