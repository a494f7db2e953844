// The chart's points: one currency per unit of the shown day's nominal, in
// calendar order, its extremes and the shown day; placing them.
#include "testutil.h"

#include "dialogs/core/chart.h"

// A known series, stored out of date order and across a year's end: the highest
// value sits at the top of the plot on its day, the lowest at the bottom, the
// shown day is found, and x follows the calendar.
TEST(Chart, HighestAndLowestSitOnTheirDaysAndTheShownDayIsFound)
{
    const DayRates rows[] = {dayRecord(2, 1, 2027, 90.0f), dayRecord(29, 12, 2026, 92.5f),
                             dayRecord(30, 12, 2026, 88.0f), dayRecord(28, 12, 2026, 91.0f),
                             dayRecord(31, 12, 2026, 89.5f), DayRates{}};  // an empty slot is no point
    ChartPoint points[6];
    ChartPlot plot = collectChartPoints(rows, 6, 0, rows[2], points, 6);
    ASSERT_EQ(plot.count, 5);
    const int order[] = {28, 29, 30, 31, 2};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(points[i].day.day, order[i]);
    EXPECT_EQ(points[plot.maxIndex].day.day, 29);
    EXPECT_EQ(points[plot.minIndex].day.day, 30);
    EXPECT_EQ(points[plot.shownIndex].day.day, 30);

    placeChartPoints(plot, points, 10, 20, 130, 120);
    EXPECT_EQ(points[0].x, 10);
    EXPECT_EQ(points[4].x, 130);
    EXPECT_EQ(points[1].x, 10 + 120 / 5);  // 29 December: one day of five after the first
    EXPECT_EQ(points[plot.maxIndex].y, 20);
    EXPECT_EQ(points[plot.minIndex].y, 120);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(points[i].y >= 20 && points[i].y <= 120);

    EXPECT_EQ(nearestChartPoint(plot, points, 0), 0);
    EXPECT_EQ(nearestChartPoint(plot, points, points[2].x + 3), 2);
    EXPECT_EQ(nearestChartPoint(plot, points, 500), 4);
}

// Rates per unit of the shown day's nominal: 300 for 10 then 31.5 for 1 is a
// rise from 30 to 31.5, not a fall.
TEST(Chart, ANominalChangeKeepsTheLineWhole)
{
    DayRates rows[] = {dayRecord(8, 12, 2026, 31.5f, 1), dayRecord(7, 12, 2026, 300.0f, 10),
                       dayRecord(6, 12, 2026, 0.0f, 0)};
    ChartPoint points[3];
    ChartPlot plot = collectChartPoints(rows, 3, 0, rows[0], points, 3);
    ASSERT_EQ(plot.count, 2);  // the day without the currency is left out
    EXPECT_EQ(plot.unitNominal, 1);
    EXPECT_DOUBLE_EQ(points[0].value, 30.0);
    EXPECT_EQ(points[plot.maxIndex].day.day, 8);

    // Shown day without the currency: the newest day's nominal; one point alone sits in the middle.
    plot = collectChartPoints(rows + 1, 1, 0, DayRates{}, points, 3);
    EXPECT_EQ(plot.unitNominal, 10);
    EXPECT_EQ(plot.shownIndex, -1);
    placeChartPoints(plot, points, 0, 0, 100, 50);
    EXPECT_EQ(points[0].x, 50);
    EXPECT_EQ(points[0].y, 25);
    // A currency outside the table draws nothing.
    EXPECT_EQ(collectChartPoints(rows, 3, 17, rows[0], points, 3).count, 0);
}
