// The history's chart geometry, its text for the clipboard, the calendar the
// fill walks back on, and the fill itself on a scripted platform and clock.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/calendar.h"
#include "data/history.h"
#include "data/settings.h"
#include "dialogs/core/chart.h"
#include "dialogs/core/historytable.h"
#include "platform/testhooks.h"
#include "testutil.h"
#include "update/fill.h"
#include "update/schedule.h"

namespace {

DayRates day(int d, int m, int y, float eur, int eurNominal = 1)
{
    DayRates r;
    std::memset(&r, 0, sizeof r);
    r.code = makeDayCode(d, m, y);
    r.rates[0] = {eurNominal, eur};
    r.rates[1] = {1, 80.0f + d / 100.0f};
    return r;
}

std::u16string u16(const char16_t* s) { return s; }

}  // namespace

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

// A known series, stored out of date order and across a year's end: the highest
// value sits at the top of the plot on its day, the lowest at the bottom, the
// shown day is found, and x follows the calendar.
TEST(Chart, HighestAndLowestSitOnTheirDaysAndTheShownDayIsFound)
{
    std::vector<DayRates> rows = {day(2, 1, 2027, 90.0f), day(29, 12, 2026, 92.5f), day(30, 12, 2026, 88.0f),
                                  day(28, 12, 2026, 91.0f), day(31, 12, 2026, 89.5f)};
    DayRates none;
    std::memset(&none, 0, sizeof none);
    rows.push_back(none);  // an empty slot is no point
    std::vector<ChartPoint> points(rows.size());
    ChartPlot plot = collectChartPoints(rows.data(), int32_t(rows.size()), 0, rows[2], points.data(),
                                       int32_t(points.size()));
    ASSERT_EQ(plot.count, 5);
    const int order[] = {28, 29, 30, 31, 2};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(points[i].day.day, order[i]);
    EXPECT_EQ(points[plot.maxIndex].day.day, 29);
    EXPECT_EQ(points[plot.minIndex].day.day, 30);
    EXPECT_EQ(points[plot.shownIndex].day.day, 30);

    placeChartPoints(plot, points.data(), 10, 20, 130, 120);
    EXPECT_EQ(points[0].x, 10);
    EXPECT_EQ(points[4].x, 130);
    EXPECT_EQ(points[1].x, 10 + 120 / 5);  // 29 December: one day of five after the first
    EXPECT_EQ(points[plot.maxIndex].y, 20);
    EXPECT_EQ(points[plot.minIndex].y, 120);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(points[i].y >= 20 && points[i].y <= 120);

    EXPECT_EQ(nearestChartPoint(plot, points.data(), 0), 0);
    EXPECT_EQ(nearestChartPoint(plot, points.data(), points[2].x + 3), 2);
    EXPECT_EQ(nearestChartPoint(plot, points.data(), 500), 4);
}

// Rates per unit of the shown day's nominal: 300 for 10 then 31.5 for 1 is a
// rise from 30 to 31.5, not a fall.
TEST(Chart, ANominalChangeKeepsTheLineWhole)
{
    DayRates rows[] = {day(8, 12, 2026, 31.5f, 1), day(7, 12, 2026, 300.0f, 10), day(6, 12, 2026, 0.0f, 0)};
    ChartPoint points[3];
    ChartPlot plot = collectChartPoints(rows, 3, 0, rows[0], points, 3);
    ASSERT_EQ(plot.count, 2);  // the day without the currency is left out
    EXPECT_EQ(plot.unitNominal, 1);
    EXPECT_DOUBLE_EQ(points[0].value, 30.0);
    EXPECT_EQ(points[plot.maxIndex].day.day, 8);

    // Shown day without the currency: the newest day's nominal; one point alone sits in the middle.
    DayRates empty;
    std::memset(&empty, 0, sizeof empty);
    plot = collectChartPoints(rows + 1, 1, 0, empty, points, 3);
    EXPECT_EQ(plot.unitNominal, 10);
    EXPECT_EQ(plot.shownIndex, -1);
    placeChartPoints(plot, points, 0, 0, 100, 50);
    EXPECT_EQ(points[0].x, 50);
    EXPECT_EQ(points[0].y, 25);
    // A currency outside the table draws nothing.
    EXPECT_EQ(collectChartPoints(rows, 3, 17, rows[0], points, 3).count, 0);
}

TEST(TableText, HeaderCodesAndNominalsThenOneTabSeparatedRowPerDay)
{
    DayRates rows[] = {day(8, 12, 2026, 90.8f), day(7, 12, 2026, 907.0f, 10)};
    rows[0].rates[3] = {100, 53.4f};  // JPY
    uint16_t order[] = {1, 0};
    std::vector<char16_t> text(composeTableText(nullptr, 0, rows, order, 2, rows[0], 2, true) + 1);
    size_t length = composeTableText(text.data(), text.size(), rows, order, 2, rows[0], 2, true);
    std::u16string got(text.data(), length);
    std::u16string want = u16(u"\x0414\x0430\x0442\x0430\tEUR\tUSD\tGBP\tJPY(100)\tUAH\tBYN\tAUD\tDKK\tISK\tKZT\tCAD\tNOK"
                              u"\tXDR\tSGD\tTRY\tSEK\tCHF\r\n");
    // 907 for 10 is 90.70 for the shown day's one; a missing rate is an empty cell.
    want += u"07/12/2026\t90,70\t80,07\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\r\n";
    want += u"08/12/2026\t90,80\t80,08\t\t53,40\t\t\t\t\t\t\t\t\t\t\t\t\t\r\n";
    EXPECT_EQ(got, want);

    // Too little room: nothing, not a cut table.
    std::vector<char16_t> small(40, u'x');
    EXPECT_EQ(composeTableText(small.data(), small.size(), rows, order, 2, rows[0], 2, true), 0u);
    EXPECT_EQ(small[0], 0);
    // No rows: the header alone, with points when the options say so.
    length = composeTableText(text.data(), text.size(), rows, nullptr, 0, rows[0], 4, false);
    EXPECT_EQ(std::u16string(text.data(), length).find(u"\r\n"), length - 2);
}

TEST(SettingsRecord, TheChartCurrencyLivesInASpareByte)
{
    Settings s;
    std::memset(&s, 0, sizeof s);
    s.chartCurrency = 16;
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&s)[179], 16);
    clampSettings(s);
    EXPECT_EQ(s.chartCurrency, 16);
    s.chartCurrency = 17;
    clampSettings(s);
    EXPECT_EQ(s.chartCurrency, 0);
}

// --- The fill on a scripted platform ----------------------------------------------

namespace {

struct FillScript {
    uint32_t clock = 5000;
    std::vector<uint32_t> requestTimes;
    std::vector<std::pair<bool, DayCode>> requests;
    int failAt = -1;    // this request fails
    int stopAfter = -1; // stopFill after this many requests
    int answerDaysEarlier = 0;  // the bank's table is this many days older than asked
    bool updateTriedDuringFill = false;
    int updatesStarted = 0;
} fill;

struct Fill : ::testing::Test {
    ScratchFolder folder;
    void SetUp() override
    {
        fill = FillScript();
        resetSchedule();
        setDefaultSettings(settings, 96);
        schedulePlatform = SchedulePlatform{};
        schedulePlatform.tickCount = [] { return fill.clock; };
        schedulePlatform.sleepMs = [](int ms) { fill.clock += uint32_t(ms); };
        schedulePlatform.startFillThread = [] {
            fillWorker();
            return true;
        };
        schedulePlatform.startThread = [] {
            ++fill.updatesStarted;  // an update that ends at once
            releaseWorker();
            updateState = Stale;
            return true;
        };
        schedulePlatform.download = [](bool latest, const DayCode& wanted) {
            fill.requestTimes.push_back(fill.clock);
            fill.requests.push_back({latest, wanted});
            fill.clock += 30;  // the request itself takes a while
            if (!fill.updateTriedDuringFill) {
                fill.updateTriedDuringFill = true;
                EXPECT_FALSE(startUpdate());  // the update waits for the fill
            }
            if (int(fill.requests.size()) == fill.stopAfter) stopFill();
            if (int(fill.requests.size()) - 1 == fill.failAt) return false;
            DayCode answered = latest ? makeDayCode(8, 12, 2026) : wanted;
            for (int i = 0; i < fill.answerDaysEarlier; ++i) answered = previousDay(answered);
            storeDay(day(answered.day, answered.month, yearOf(answered), 90.0f));
            return true;
        };
        loadHistory(folder.path16("vokCurrency.his").c_str(), 15);
        updateState = Stale;
    }
    void TearDown() override
    {
        freeHistory();
        schedulePlatform = SchedulePlatform{};
        fillSpacingOverrideMs = 0;
    }
};

}  // namespace

// 2 of 15 days stored: 13 requests, each for the day before the oldest, each a
// second or more after the one before on the platform's clock; then the update
// that was asked for meanwhile starts.
TEST_F(Fill, FillsTheStoreOneRequestPerDayASecondApart)
{
    storeDay(day(8, 12, 2026, 90.0f));
    storeDay(day(7, 12, 2026, 90.0f));
    EXPECT_TRUE(startFill());
    EXPECT_EQ(fillOutcome(), FillComplete);
    ASSERT_EQ(fill.requests.size(), 13u);
    EXPECT_EQ(fillRequests(), 13);
    DayCode expected = makeDayCode(7, 12, 2026);
    for (size_t i = 0; i < fill.requests.size(); ++i) {
        expected = previousDay(expected);
        EXPECT_FALSE(fill.requests[i].first);
        EXPECT_TRUE(sameDay(fill.requests[i].second, expected)) << i;
        if (i > 0) EXPECT_GE(fill.requestTimes[i] - fill.requestTimes[i - 1], FillSpacingMs) << i;
    }
    EXPECT_LT(fill.requestTimes[1] - fill.requestTimes[0], FillSpacingMs + 100);
    DayCode oldest;
    EXPECT_EQ(storedDaySummary(oldest), 15);
    EXPECT_TRUE(sameDay(oldest, makeDayCode(24, 11, 2026)));
    EXPECT_EQ(fill.updatesStarted, 1);
    EXPECT_FALSE(updateWorkerRunning() && fillRunning());
}

TEST_F(Fill, StopsWhenToldOrAtTheFirstFailureAndKeepsWhatItGot)
{
    storeDay(day(8, 12, 2026, 90.0f));
    fill.stopAfter = 3;
    EXPECT_TRUE(startFill());
    EXPECT_EQ(fillOutcome(), FillStopped);
    EXPECT_EQ(fill.requests.size(), 3u);
    DayCode oldest;
    EXPECT_EQ(storedDaySummary(oldest), 4);

    fill = FillScript();
    fill.failAt = 2;
    fill.updateTriedDuringFill = true;
    EXPECT_TRUE(startFill());
    EXPECT_EQ(fillOutcome(), FillFailed);
    EXPECT_EQ(fill.requests.size(), 3u);
    EXPECT_EQ(storedDaySummary(oldest), 6);
    EXPECT_TRUE(sameDay(oldest, makeDayCode(3, 12, 2026)));
}

// Weekends: the bank answers with an older table, and the next request goes on
// from there. An empty store starts with the latest rates. A bank with nothing
// older ends the fill instead of asking for the same day again.
TEST_F(Fill, WalksBackFromWhatTheBankAnswersAndEndsWhenNothingIsOlder)
{
    fill.answerDaysEarlier = 2;
    fill.failAt = 4;
    EXPECT_TRUE(startFill());
    ASSERT_EQ(fill.requests.size(), 5u);
    EXPECT_TRUE(fill.requests[0].first);
    EXPECT_TRUE(sameDay(fill.requests[1].second, makeDayCode(5, 12, 2026)));  // after 6 December
    EXPECT_TRUE(sameDay(fill.requests[2].second, makeDayCode(2, 12, 2026)));  // after 3 December

    fill = FillScript();
    fill.updateTriedDuringFill = true;
    schedulePlatform.download = [](bool, const DayCode&) {
        fill.requests.push_back({false, DayCode{}});
        storeDay(day(8, 12, 2026, 91.0f));  // always the same table
        return true;
    };
    EXPECT_TRUE(startFill());
    EXPECT_EQ(fillOutcome(), FillComplete);
    EXPECT_EQ(fill.requests.size(), 1u);
}

TEST_F(Fill, NeverRunsBesideAnUpdate)
{
    ASSERT_TRUE(claimWorker(WorkerUpdate));
    EXPECT_FALSE(startFill());
    EXPECT_FALSE(fillRunning());
    releaseWorker();
    EXPECT_EQ(fill.updatesStarted, 0);
    schedulePlatform.startFillThread = [] { return false; };
    EXPECT_FALSE(startFill());
    EXPECT_TRUE(claimWorker(WorkerUpdate));  // a refused start leaves the claim free
    releaseWorker();
}
