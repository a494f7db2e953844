// The true calendar the fill walks back on, and its inverse.
#include "testutil.h"

#include "data/calendar.h"

TEST(Calendar, PreviousDayCrossesMonthsYearsAndLeapDays)
{
    struct Case {
        DayCode from, want;
    } cases[] = {
        {makeDayCode(8, 12, 2026), makeDayCode(7, 12, 2026)}, {makeDayCode(1, 3, 2024), makeDayCode(29, 2, 2024)},
        {makeDayCode(1, 3, 2100), makeDayCode(28, 2, 2100)}, {makeDayCode(1, 1, 2027), makeDayCode(31, 12, 2026)},
        {makeDayCode(1, 5, 2026), makeDayCode(30, 4, 2026)}, {DayCode{1, 1, 0}, DayCode{0, 0, 0}},
        {DayCode{0, 0, 0}, DayCode{0, 0, 0}},
    };
    for (const Case& c : cases) {
        DayCode got = previousDay(c.from);
        EXPECT_TRUE(sameDay(got, c.want)) << int(c.from.day) << "." << int(c.from.month);
        if (c.want.day) EXPECT_EQ(dayNumber(c.from) - dayNumber(got), 1);
    }
    // Unlike the store's key, the calendar puts January after the December before.
    EXPECT_GT(dayNumber(makeDayCode(5, 1, 2027)), dayNumber(makeDayCode(31, 12, 2026)));
}

TEST(Calendar, DayNumbersRoundTripAndOnlyRealDaysAreDays)
{
    for (int32_t n = 0; n < 93500; n += 7) {  // 1989 to 2244, a week at a time
        DayCode day = dayFromNumber(n);
        ASSERT_NE(day.day, 0) << n;
        ASSERT_EQ(dayNumber(day), n);
    }
    EXPECT_EQ(dayFromNumber(-1).day, 0);
    EXPECT_EQ(dayFromNumber(dayNumber(makeDayCode(31, 12, 2244)) + 1).day, 0);
    struct Case {
        int day, month, year;
        bool real;
    } cases[] = {{29, 2, 2024, true}, {29, 2, 2100, false}, {29, 2, 2000, true}, {31, 4, 2026, false},
                 {1, 1, 1988, false}, {31, 12, 2244, true}, {1, 1, 2245, false}, {0, 5, 2026, false},
                 {1, 13, 2026, false}};
    for (const Case& c : cases)
        EXPECT_EQ(isCalendarDay(c.day, c.month, c.year), c.real) << c.day << "." << c.month << "." << c.year;
}
