// The history chart's geometry, apart from any window: one currency's rate over
// the stored days, oldest at the left, per unit of the shown day's nominal.
#pragma once
#include <cstdint>

#include "data/currency.h"

struct ChartPoint {
    DayCode day;
    int32_t number;  // the day's place in the calendar
    double value;  // the rate per unitNominal units
    int32_t x, y;  // pixels, once placed
};

struct ChartPlot {
    int32_t count;
    int32_t minIndex, maxIndex;  // -1 without points
    int32_t shownIndex;          // the point of the shown day, or -1
    int32_t unitNominal;         // the units every value prices
};

// The nominal the chart prices: the shown day's, else the newest day's that has
// the currency, else 1.
int32_t chartNominal(const DayRates* rows, int32_t rowCount, int currency, const DayRates& shown);

// Collects the days of rows (any order) that have a rate for currency, oldest
// first, each valued per plot.unitNominal units, and finds the lowest, the
// highest and the shown day. At most maxPoints points.
ChartPlot collectChartPoints(const DayRates* rows, int32_t rowCount, int currency, const DayRates& shown,
                             ChartPoint* points, int32_t maxPoints);

// Places the points in the rectangle: x by calendar day, the highest value at
// top, the lowest at bottom; one value alone sits in the middle.
void placeChartPoints(const ChartPlot& plot, ChartPoint* points, int32_t left, int32_t top, int32_t right,
                      int32_t bottom);

// The point nearest to x (ties to the left one); -1 without points.
int32_t nearestChartPoint(const ChartPlot& plot, const ChartPoint* points, int32_t x);
