// The true calendar the fill walks back on, and its inverse.
#include <gtest/gtest.h>

#include "data/calendar.h"

TEST(Calendar, PreviousDayCrossesMonthsYearsAndLeapDays)
{
    struct Case {
        DayCode from, want;
    } cases[] = {
        {makeDayCode(8, 12, 2026), makeDayCode(7, 12, 2026)},
        {makeDayCode(1, 3, 2024), makeDayCode(29, 2, 2024)},
        {makeDayCode(1, 3, 2100), makeDayCode(28, 2, 2100)},
        {makeDayCode(1, 1, 2027), makeDayCode(31, 12, 2026)},
        {makeDayCode(1, 5, 2026), makeDayCode(30, 4, 2026)},
        {DayCode{1, 1, 0}, DayCode{0, 0, 0}},
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
