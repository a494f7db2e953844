#include "dialogs/core/chart.h"

#include <cstdlib>

#include "data/calendar.h"

static bool hasRate(const DayRates& day, int currency)
{
    return day.code.day != 0 && day.rates[currency].nominal > 0 && day.rates[currency].rate > 0.0f;
}

static int compareDays(const void* a, const void* b)
{
    int32_t x = static_cast<const ChartPoint*>(a)->number, y = static_cast<const ChartPoint*>(b)->number;
    return x < y ? -1 : x > y ? 1 : 0;
}

int32_t chartNominal(const DayRates* rows, int32_t rowCount, int currency, const DayRates& shown)
{
    if (currency < 0 || currency >= CurrencyCount) return 1;
    if (hasRate(shown, currency)) return shown.rates[currency].nominal;
    int32_t newest = -1;
    for (int32_t r = 0; r < rowCount; ++r)
        if (hasRate(rows[r], currency) && (newest < 0 || dayNumber(rows[r].code) > dayNumber(rows[newest].code)))
            newest = r;
    return newest >= 0 ? rows[newest].rates[currency].nominal : 1;
}

ChartPlot collectChartPoints(const DayRates* rows, int32_t rowCount, int currency, const DayRates& shown,
                             ChartPoint* points, int32_t maxPoints)
{
    ChartPlot plot = {0, -1, -1, -1, 1};
    if (currency < 0 || currency >= CurrencyCount || !points) return plot;
    plot.unitNominal = chartNominal(rows, rowCount, currency, shown);
    for (int32_t r = 0; r < rowCount && plot.count < maxPoints; ++r) {
        const DayRates& row = rows[r];
        if (!hasRate(row, currency)) continue;
        double value = double(row.rates[currency].rate) / row.rates[currency].nominal * plot.unitNominal;
        points[plot.count++] = ChartPoint{row.code, dayNumber(row.code), value, 0, 0};
    }
    // The store keeps the order of storing, not of dates.
    std::qsort(points, size_t(plot.count), sizeof(ChartPoint), compareDays);
    for (int32_t i = 0; i < plot.count; ++i) {
        if (plot.minIndex < 0 || points[i].value < points[plot.minIndex].value) plot.minIndex = i;
        if (plot.maxIndex < 0 || points[i].value > points[plot.maxIndex].value) plot.maxIndex = i;
        if (shown.code.day != 0 && sameDay(points[i].day, shown.code)) plot.shownIndex = i;
    }
    return plot;
}

void placeChartPoints(const ChartPlot& plot, ChartPoint* points, int32_t left, int32_t top, int32_t right,
                      int32_t bottom)
{
    if (plot.count < 1) return;
    int32_t first = points[0].number, span = points[plot.count - 1].number - first;
    double low = points[plot.minIndex].value, high = points[plot.maxIndex].value;
    for (int32_t i = 0; i < plot.count; ++i) {
        ChartPoint& p = points[i];
        p.x = span > 0 ? left + int32_t(int64_t(p.number - first) * (right - left) / span)
                       : (left + right) / 2;
        p.y = high > low ? bottom - int32_t((p.value - low) / (high - low) * (bottom - top) + 0.5)
                         : (top + bottom) / 2;
    }
}

int32_t nearestChartPoint(const ChartPlot& plot, const ChartPoint* points, int32_t x)
{
    int32_t best = -1, bestDistance = 0;
    for (int32_t i = 0; i < plot.count; ++i) {
        int32_t distance = points[i].x > x ? points[i].x - x : x - points[i].x;
        if (best < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}
