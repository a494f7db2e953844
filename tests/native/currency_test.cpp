#include "testutil.h"

#include "data/calendar.h"

TEST(DayCodes, YearCodesWrapAfter2244)
{
    DayCode d = makeDayCode(1, 1, 2005);
    expectDay(d, 1, 1, 16);
    EXPECT_EQ(DayOfWeek(d), 6);  // Saturday

    EXPECT_EQ(makeDayCode(1, 1, 2024).yearCode, 35);
    EXPECT_EQ(makeDayCode(1, 1, 2244).yearCode, 255);
    DayCode wrapped = makeDayCode(1, 1, 2245);
    EXPECT_EQ(wrapped.yearCode, 0);
    EXPECT_EQ(yearOf(wrapped), 1989);
}

// Distances and the order count calendar days: a January comes after the December
// before it, a short month is as long as it is.
TEST(DayCodes, DistancesAndOrderFollowTheCalendar)
{
    const struct {
        DayCode later, earlier;
        int32_t days;
    } cases[] = {
        {makeDayCode(1, 1, 2026), makeDayCode(31, 12, 2025), 1},
        {makeDayCode(12, 1, 2027), makeDayCode(26, 12, 2026), 17},
        {makeDayCode(1, 3, 2005), makeDayCode(28, 2, 2005), 1},
        {makeDayCode(1, 3, 2024), makeDayCode(28, 2, 2024), 2},
        {makeDayCode(1, 1, 2244), makeDayCode(1, 1, 1989), 93136},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DayDistance(c.later, c.earlier), c.days) << int(c.later.day) << "." << int(c.later.month);
        EXPECT_EQ(DayDistance(c.earlier, c.later), -c.days);
        EXPECT_GT(dateOrder(c.later), dateOrder(c.earlier));
    }
    EXPECT_EQ(DayDistance(makeDayCode(5, 5, 2020), makeDayCode(5, 5, 2020)), 0);
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

// The history record's 17 rows keep their places and labels; every other
// currency of the bank's table follows, labelled by its code; no row twice, none
// the rouble.
TEST(CurrencyTable, TheRecordsRowsFirstThenEveryOtherPublishedCurrency)
{
    const struct {
        int row;
        const char* code;
        const char16_t* label;
    } rows[] = {{0, "EUR", u"\u20AC"}, {1, "USD", u"$"},   {2, "GBP", u"\u00A3"}, {3, "JPY", u"\u00A5"},
                {5, "BYN", u"BYN"},    {8, "ISK", u"ISK"}, {16, "CHF", u"CHF"},   {17, "CNY", u"CNY"},
                {43, "KRW", u"KRW"}};
    EXPECT_EQ(RecordCurrencies, 17);
    EXPECT_EQ(CurrencyCount, 44);
    for (const auto& r : rows) {
        EXPECT_STREQ(isoCode[r.row], r.code);
        EXPECT_EQ(std::u16string(symbol[r.row]), r.label) << r.code;
    }
    for (int i = 0; i < CurrencyCount; ++i) {
        EXPECT_STRNE(isoCode[i], "RUB");
        EXPECT_EQ(std::strlen(isoCode[i]), 3u);
        for (int j = 0; j < i; ++j) EXPECT_STRNE(isoCode[i], isoCode[j]);
        if (i >= RecordCurrencies) EXPECT_EQ(toUtf8(symbol[i]), isoCode[i]);
    }
}
