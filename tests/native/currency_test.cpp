#include "testutil.h"

TEST(DayCodes, YearCodesWrapAfter2244AndKeysCountFrom1989)
{
    DayCode d = makeDayCode(1, 1, 2005);
    expectDay(d, 1, 1, 16);
    EXPECT_EQ(DayKey(d), 5841);
    EXPECT_EQ(DayOfWeek(d), 6);  // Saturday

    EXPECT_EQ(makeDayCode(1, 1, 2024).yearCode, 35);
    EXPECT_EQ(makeDayCode(1, 1, 2244).yearCode, 255);
    DayCode wrapped = makeDayCode(1, 1, 2245);
    EXPECT_EQ(wrapped.yearCode, 0);
    EXPECT_EQ(yearOf(wrapped), 1989);

    EXPECT_EQ(DayKey(DayCode{0, 0, 0}), -31);
    EXPECT_EQ(DayKey(makeDayCode(1, 1, 1989)), 1);
}

TEST(DayCodes, DistancesAreKeyDifferencesAcrossTheYearBoundary)
{
    EXPECT_EQ(DayKey(makeDayCode(31, 12, 2005)), 6212);
    EXPECT_EQ(DayKey(makeDayCode(7, 1, 2006)), 6212);  // the same key
    EXPECT_EQ(DayKey(makeDayCode(26, 12, 2005)), DayKey(makeDayCode(1, 1, 2006)) + 1);

    const DayCode a = makeDayCode(28, 2, 2005), b = makeDayCode(1, 3, 2005);
    EXPECT_EQ(DayDistance(b, a), 4);
    EXPECT_EQ(DayDistance(a, b), -4);
    EXPECT_EQ(DayDistance(a, a), 0);
    EXPECT_EQ(DayDistance(b, a), DayKey(b) - DayKey(a));
    // Distances across the byte wrap stay plain signed arithmetic on the bytes.
    EXPECT_EQ(DayDistance(makeDayCode(1, 1, 2245), makeDayCode(1, 1, 2244)), -365 * 255);
}

TEST(DayCodes, WeekdaysAgreeWithTheCalendar)
{
    EXPECT_EQ(DayOfWeek(makeDayCode(7, 12, 2026)), 1);   // Monday
    EXPECT_EQ(DayOfWeek(makeDayCode(29, 2, 2000)), 2);   // Tuesday
    EXPECT_EQ(DayOfWeek(makeDayCode(1, 3, 2100)), 1);    // Monday, 2100 is no leap year
    EXPECT_EQ(DayOfWeek(makeDayCode(1, 1, 1989)), 0);    // Sunday
    EXPECT_EQ(DayOfWeek(makeDayCode(31, 12, 2244)), 2);  // Tuesday
    // Seven consecutive days cover every weekday once.
    int seen = 0;
    for (int d = 1; d <= 7; ++d) seen |= 1 << DayOfWeek(makeDayCode(d, 8, 2031));
    EXPECT_EQ(seen, 0x7F);
}

TEST(CurrencyTable, SeventeenRowsWithoutTheRouble)
{
    EXPECT_EQ(sizeof(isoCode) / sizeof(isoCode[0]), 17u);
    EXPECT_STREQ(isoCode[0], "EUR");
    EXPECT_STREQ(isoCode[3], "JPY");
    EXPECT_STREQ(isoCode[16], "CHF");
    EXPECT_EQ(symbol[0][0], u'\u20AC');
    EXPECT_EQ(symbol[2][0], u'\u00A3');
    EXPECT_EQ(symbol[3][0], u'\u00A5');
    for (int i = 0; i < CurrencyCount; ++i) {
        EXPECT_STRNE(isoCode[i], "RUB");
        EXPECT_EQ(isoCode[i][3], 0);
        EXPECT_EQ(isoCode[i][4], 0);
    }
}
