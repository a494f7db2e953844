#include "testutil.h"

#include "data/calendar.h"
#include "platform/testhooks.h"

namespace {

std::vector<uint8_t> statesSeen;  // updateState at each repaint of the panel

// A day's record priced at its day of the month.
DayRates dayOf(int day, int month, int year) { return dayRecord(day, month, year, float(day)); }

struct Schedule : ::testing::Test {
    ScriptedSchedule run;
    void SetUp() override
    {
        settings.updateFlags = 0;
        schedulePlatform.invalidate = [] { statesSeen.push_back(updateState.load()); };
    }
    UpdateState stateFor(DayCode today, DayCode stored)
    {
        run.restart();
        if (stored.day) storeDay(dayOf(stored.day, stored.month, yearOf(stored)));
        scripted.now = LocalTime{yearOf(today), today.month, today.day, 10, 0};
        refreshTick();
        return UpdateState(updateState.load());
    }
    // count ticks at hour:minute on Monday 7 December; how many updates have started by then.
    size_t ticksAt(int hour, int minute, int count = 1)
    {
        scripted.now = {2026, 12, 7, hour, minute};
        tick(count);
        return scripted.startTicks.size();
    }
};

}  // namespace

TEST_F(Schedule, TheLastWorkdaysRatesStayFreshOverTheWeekend)
{
    DayCode monday = makeDayCode(7, 12, 2026);
    EXPECT_EQ(stateFor(monday, monday), Fresh);
    EXPECT_EQ(stateFor(monday, makeDayCode(5, 12, 2026)), Fresh);                      // Saturday before
    EXPECT_EQ(stateFor(makeDayCode(6, 12, 2026), makeDayCode(5, 12, 2026)), Fresh);    // Sunday after Saturday
    EXPECT_EQ(stateFor(monday, makeDayCode(6, 12, 2026)), Fresh);                      // Monday after Sunday
    EXPECT_EQ(stateFor(monday, makeDayCode(4, 12, 2026)), Stale);                      // Friday before
    EXPECT_EQ(stateFor(makeDayCode(8, 12, 2026), monday), Stale);                      // Tuesday after Monday
    EXPECT_EQ(stateFor(monday, makeDayCode(28, 11, 2026)), Stale);                     // Saturday nine days before
    EXPECT_EQ(stateFor(makeDayCode(2, 3, 2026), makeDayCode(28, 2, 2026)), Fresh);    // two calendar days
    EXPECT_EQ(stateFor(monday, DayCode{0, 0, 0}), Stale);                              // empty history
    // A record after today does not become the shown day within a year.
    EXPECT_EQ(stateFor(monday, makeDayCode(8, 12, 2026)), Stale);
    DayCode shown;
    DayRates rates;
    readShownRates(shown, rates);
    EXPECT_EQ(shown.day, 0);
    EXPECT_TRUE(isEmpty(rates));
    // Across the turn of the year the calendar rules: 5 January comes after 31 December.
    EXPECT_EQ(stateFor(makeDayCode(31, 12, 2026), makeDayCode(5, 1, 2027)), Stale);
    readShownRates(shown, rates);
    EXPECT_EQ(shown.day, 0);
    EXPECT_EQ(stateFor(makeDayCode(3, 1, 2027), makeDayCode(2, 1, 2027)), Fresh);     // Sunday after Saturday
    EXPECT_EQ(stateFor(makeDayCode(4, 1, 2027), makeDayCode(31, 12, 2026)), Stale);   // Monday after Thursday
    readShownRates(shown, rates);
    EXPECT_TRUE(sameDay(shown, makeDayCode(31, 12, 2026)));
    expectRate(rates, 0, 1, 31.0f);
}

TEST_F(Schedule, IntervalRuleFollowsTheTickCycle)
{
    settings.updateFlags = UpdateEvery;
    settings.updateInterval = 30;
    storeDay(dayOf(7, 12, 2026));
    tick(8193 + 901);
    EXPECT_EQ(scripted.startTicks, (std::vector<int>{0, 900, 1800, 2700, 3600, 4500, 5400, 6300, 7200, 8100, 0, 900}));

    // Interval 0 disables the rule.
    scripted.startTicks.clear();
    settings.updateInterval = 0;
    tick(2000);
    EXPECT_TRUE(scripted.startTicks.empty());
}

// The rules start an update at most once a minute: the last gap of the tick
// cycle is skipped, and a daily time falling next to an interval start waits
// for the gap.
TEST_F(Schedule, RulesStartAtMostOnceAMinute)
{
    settings.updateFlags = UpdateEvery;
    settings.updateInterval = 1;  // every 30 ticks; 8193 leaves a gap of 3 at the wrap
    tickCounter = 8100;
    tick(93 + 31);
    EXPECT_EQ(scripted.startTicks, (std::vector<int>{8100, 8130, 8160, 8190, 30}));

    // The daily minute arrives 10 ticks after an interval start: the daily
    // update starts as soon as the gap allows, and once only.
    settings.updateFlags = 0;
    tick(30);  // a minute after the last start
    scripted.startTicks.clear();
    settings.updateFlags = UpdateEvery | UpdateDaily;
    settings.updateInterval = 3;
    settings.dailyHour = 10;
    settings.dailyMinute = 1;
    tickCounter = 0;
    tick(10);
    ticksAt(10, 1, 20);
    ticksAt(10, 2, 40);
    EXPECT_EQ(scripted.startTicks, (std::vector<int>{0, 30}));

    // A tap is the user's: it starts whenever no update runs.
    EXPECT_TRUE(startUpdate());
}

// Both downloads of one run lie inside one time limit, begun and ended by the worker.
TEST_F(Schedule, TheRunsDownloadsShareOneTimeLimit)
{
    static std::vector<char> events;
    events.clear();
    schedulePlatform.beginRun = [] { events.push_back('b'); };
    schedulePlatform.endRun = [] { events.push_back('e'); };
    schedulePlatform.download = [](bool, const DayCode&) {
        events.push_back('d');
        return false;  // nothing stored: both downloads fail
    };
    tick();
    startUpdate();
    EXPECT_EQ(std::string(events.begin(), events.end()), "bdde");
    EXPECT_FALSE(updateWorkerRunning());
}

TEST_F(Schedule, OnlyIfStaleWaitsForStaleRates)
{
    settings.updateFlags = UpdateEvery | OnlyIfStale;
    settings.updateInterval = 1;
    storeDay(dayOf(7, 12, 2026));
    tick(100);
    EXPECT_TRUE(scripted.startTicks.empty());
    EXPECT_EQ(updateState.load(), Fresh);

    scripted.now.day = 8;  // a Tuesday with Monday's rates: stale
    tick(31);
    EXPECT_GE(scripted.startTicks.size(), 1u);
}

TEST_F(Schedule, DailyRuleStartsOncePerMatchingMinute)
{
    settings.updateFlags = UpdateDaily | OnlyIfStale;
    settings.dailyHour = 15;
    settings.dailyMinute = 0;
    storeDay(dayOf(7, 12, 2026));
    EXPECT_EQ(ticksAt(14, 59, 30), 0u);
    EXPECT_EQ(ticksAt(15, 0, 30), 1u);  // and freshness did not matter
    ticksAt(15, 1);
    EXPECT_EQ(ticksAt(15, 0), 2u);

    // A download running at the first tick of the minute: none that minute.
    ticksAt(15, 5);
    updateState = Downloading;
    ticksAt(15, 0);
    updateState = Fresh;
    EXPECT_EQ(ticksAt(15, 0, 29), 2u);

    // With the daily rule off the latch is left alone.
    settings.updateFlags = 0;
    ticksAt(15, 7);
    settings.updateFlags = UpdateDaily;
    EXPECT_EQ(ticksAt(15, 0), 2u);
}

TEST_F(Schedule, DateChangeWhileDownloadingKeepsTheState)
{
    storeDay(dayOf(7, 12, 2026));
    storeDay(dayOf(8, 12, 2026));
    tick();
    updateState = Downloading;
    scripted.now.day = 8;
    tick();
    EXPECT_EQ(updateState.load(), Downloading);
    DayCode shown;
    DayRates rates;
    readShownRates(shown, rates);
    EXPECT_EQ(shown.day, 8);
    expectRate(rates, 0, 1, 8.0f);
    EXPECT_EQ(redrawFlag.load(), 1);
}

TEST_F(Schedule, WorkerRunsOnceWhenTheLatestRatesAreToday)
{
    tick();
    EXPECT_EQ(updateState.load(), Stale);
    statesSeen.clear();
    storeDay(dayOf(30, 11, 2026));
    storeDay(dayOf(1, 12, 2026));  // the shown day has an earlier one: nothing more is asked for
    scripted.answers = {dayOf(7, 12, 2026)};
    EXPECT_TRUE(startUpdate());
    ASSERT_EQ(scripted.downloads.size(), 1u);
    EXPECT_TRUE(scripted.downloads[0].first);
    EXPECT_EQ(scripted.sleeps, std::vector<int>{500});
    EXPECT_EQ(updateState.load(), Fresh);
    EXPECT_EQ(statesSeen, (std::vector<uint8_t>{Downloading, Succeeded, Fresh}));
}

TEST_F(Schedule, SecondDownloadAsksForTodayWhenStillStale)
{
    tick();
    storeDay(dayOf(30, 11, 2026));
    storeDay(dayOf(1, 12, 2026));  // the shown day has an earlier one: nothing more is asked for
    scripted.answers = {dayOf(8, 12, 2026), dayOf(7, 12, 2026)};  // tomorrow first, then today
    statesSeen.clear();
    startUpdate();
    ASSERT_EQ(scripted.downloads.size(), 2u);
    EXPECT_TRUE(scripted.downloads[0].first);
    EXPECT_FALSE(scripted.downloads[1].first);
    EXPECT_TRUE(sameDay(scripted.downloads[1].second, makeDayCode(7, 12, 2026)));
    EXPECT_EQ(scripted.sleeps, (std::vector<int>{500, 500, 500}));
    EXPECT_EQ(updateState.load(), Fresh);
    EXPECT_EQ(statesSeen,
              (std::vector<uint8_t>{Downloading, Succeeded, Stale, Downloading, Succeeded, Fresh}));

    // Both failing: shown as Failed each time, no third try.
    scripted.downloads.clear();
    scripted.answers.clear();
    scripted.now.day = 9;
    tick();
    statesSeen.clear();
    startUpdate();
    EXPECT_EQ(scripted.downloads.size(), 2u);
    EXPECT_EQ(statesSeen, (std::vector<uint8_t>{Downloading, Failed, Stale, Downloading, Failed, Stale}));
}

TEST_F(Schedule, StartsOnlyFromFreshOrStale)
{
    for (uint8_t state : {Downloading, Succeeded, Failed}) {
        updateState = state;
        EXPECT_FALSE(startUpdate());
    }
    EXPECT_TRUE(scripted.startTicks.empty());

    updateState = Stale;
    auto startThread = schedulePlatform.startThread;
    schedulePlatform.startThread = [] { return false; };
    EXPECT_FALSE(startUpdate());
    EXPECT_EQ(updateState.load(), Stale);  // no worker: nothing changed
    schedulePlatform.startThread = startThread;
    EXPECT_TRUE(startUpdate());
}

TEST_F(Schedule, TickCounterWraps)
{
    tickCounter = 8191;
    advanceTickCounter();
    EXPECT_EQ(tickCounter, 8192);
    advanceTickCounter();
    EXPECT_EQ(tickCounter, 0);
}

// The first update of an empty history gives the shown day an earlier day: the
// day before the shown one is asked for (the bank answers a day without a table
// with the one before), and when the latest table is tomorrow's, today's first.
// A failed extra request ends the asking and leaves the update a success.
TEST_F(Schedule, TheFirstUpdateGivesTheShownDayAnEarlierDay)
{
    struct Case {
        const char* what;
        LocalTime now;
        std::vector<int> answers;  // day of December 2026 (or of January 2027 when below 0) per request; 0 fails
        std::vector<int> asked;    // the days asked for after the latest
        std::vector<int> stored;   // newest first
    } cases[] = {
        {"today's table, Saturday's before it", {2026, 12, 7, 10, 0}, {7, 5}, {6}, {7, 5}},
        {"tomorrow's table: today's, then the one before", {2026, 12, 7, 16, 0}, {8, 7, 5}, {7, 6}, {8, 7, 5}},
        {"tomorrow's table, today's request fails, then comes with the stale retry",
         {2026, 12, 7, 16, 0}, {8, 0, 7, 0}, {7, 7, 6}, {8, 7}},
        {"the day before lies in the year before and fails", {2027, 1, 1, 10, 0}, {-1}, {31}, {-1}},
    };
    for (const Case& c : cases) {
        run.restart();
        scripted.now = c.now;
        for (int d : c.answers)
            scripted.answers.push_back(d == 0 ? DayRates{} : d < 0 ? dayOf(-d, 1, 2027) : dayOf(d, 12, 2026));
        tick();
        statesSeen.clear();
        EXPECT_TRUE(startUpdate()) << c.what;
        ASSERT_EQ(scripted.downloads.size(), c.asked.size() + 1) << c.what;
        EXPECT_TRUE(scripted.downloads[0].first) << c.what;
        for (size_t i = 0; i < c.asked.size(); ++i) {
            EXPECT_FALSE(scripted.downloads[i + 1].first) << c.what;
            EXPECT_EQ(scripted.downloads[i + 1].second.day, c.asked[i]) << c.what << " request " << i + 1;
        }
        std::vector<int> stored;
        for (const DayRates* r = history.records; r < history.records + history.capacity && r->code.day; ++r)
            stored.push_back(r->code.month == 1 ? -r->code.day : r->code.day);
        EXPECT_EQ(stored, c.stored) << c.what;
        EXPECT_EQ(updateState.load(), Fresh) << c.what;
        EXPECT_EQ(statesSeen.back(), Fresh) << c.what;
    }
}

// Asked for today's date, the bank settles it: any table it gives is current until
// the day changes, and only-if-stale then asks for nothing. A failure proves nothing.
TEST_F(Schedule, TheAnswerForTodaysDateSettlesWhetherOlderRatesAreCurrent)
{
    const DayRates failed{}, holiday = dayOf(4, 12, 2026);
    const struct {
        DayRates latest, forToday;
        UpdateState after;
    } cases[] = {{holiday, holiday, Fresh}, {holiday, failed, Stale}, {failed, holiday, Fresh}};
    for (const auto& c : cases) {
        run.restart();
        scripted.now = LocalTime{2026, 12, 9, 10, 0};  // a Wednesday: no weekend rule
        storeDay(dayOf(2, 12, 2026));
        storeDay(dayOf(3, 12, 2026));
        scripted.answers = {c.latest, c.forToday};
        settings.updateFlags = UpdateEvery | OnlyIfStale;
        settings.updateInterval = 1;
        tick(91);  // the update at once, then three minutes
        EXPECT_EQ(updateState.load(), c.after);
        EXPECT_EQ(scripted.downloads.size() == 2, c.after == Fresh);
        scripted.now.day = 10;
        tick();
        EXPECT_EQ(updateState.load(), Stale);  // the next day is judged afresh
    }
}

// The answer for today's date settles "nothing newer" only once that day has begun
// in Moscow. Before that (just after local midnight east of Moscow) the rates stay
// out of date and the interval rule goes on asking.
TEST_F(Schedule, TheAnswerForTodaysDateCountsOnlyOnceTheDayHasBegunInMoscow)
{
    static LocalTime utc;
    auto at = [](int32_t minutes) {  // minutes since 1 January 1989, 00:00
        DayCode d = dayFromNumber(minutes / 1440);
        return LocalTime{yearOf(d), d.month, d.day, minutes % 1440 / 60, minutes % 60};
    };
    const int32_t tuesday = dayNumber(makeDayCode(8, 12, 2026)) * 1440;
    for (int zone = -12; zone <= 14; ++zone) {
        // Local times around local midnight and around Moscow's, all on Tuesday.
        for (int32_t local : {10, 1430, 1430 - (3 - zone) * 60, 10 + (zone - 3) * 60, 1440 + 10 - (3 - zone) * 60}) {
            if (local < 0 || local >= 1440) continue;
            int32_t utcMinutes = tuesday + local - zone * 60;
            bool begun = (utcMinutes + 180) / 1440 >= tuesday / 1440;
            SCOPED_TRACE(testing::Message() << "UTC" << zone << " at " << local / 60 << ":" << local % 60);
            run.restart();
            utc = at(utcMinutes);
            schedulePlatform.utcTime = [](LocalTime& out) { out = utc; };
            scripted.now = at(tuesday + local);
            storeDay(dayOf(4, 12, 2026));
            storeDay(dayOf(7, 12, 2026));
            scripted.answers = {dayOf(7, 12, 2026), dayOf(7, 12, 2026)};
            settings.updateFlags = UpdateEvery | OnlyIfStale;
            settings.updateInterval = 1;
            tick();
            EXPECT_EQ(updateState.load(), begun ? Fresh : Stale);
            tick(30);
            EXPECT_EQ(scripted.downloads.size(), begun ? 2u : 4u);
        }
    }
}

// Any run that finds the shown day without an earlier stored day asks for the day
// before it once, however the store came to hold one day.
TEST_F(Schedule, EveryRunAsksOnceForTheDayBeforeAShownDayWithoutOne)
{
    storeDay(dayOf(7, 12, 2026));  // an earlier run's extra request failed
    scripted.now = {2026, 12, 7, 10, 0};
    tick();
    scripted.answers = {dayOf(7, 12, 2026), {}, dayOf(7, 12, 2026), dayOf(5, 12, 2026), dayOf(7, 12, 2026)};
    const size_t downloadsAfter[] = {2, 4, 5};  // the failed ask; asked again and stored; nothing to ask
    for (size_t runs = 0; runs < 3; ++runs) {
        EXPECT_TRUE(startUpdate());
        EXPECT_EQ(scripted.downloads.size(), downloadsAfter[runs]) << "run " << runs;
        EXPECT_EQ(updateState.load(), Fresh);
    }
    EXPECT_TRUE(sameDay(scripted.downloads[1].second, makeDayCode(6, 12, 2026)));
    EXPECT_TRUE(sameDay(scripted.downloads[3].second, makeDayCode(6, 12, 2026)));
    EXPECT_TRUE(sameDay(findLatestBefore(makeDayCode(7, 12, 2026)), makeDayCode(5, 12, 2026)));
}

// A save that finds the file busy is tried again, soon and then on every tick,
// until the file holds the day; meanwhile the icon shows the failed state and the
// update never says it succeeded.
TEST_F(Schedule, ASaveThatFindsTheFileBusyIsTriedAgainUntilTheFileHoldsWhatMemoryHolds)
{
    static int sleepsUntilFree;
    schedulePlatform.sleepMs = [](int) {
        if (--sleepsUntilFree == 0) fileWriteFailAfter = -1;
    };
    const struct {
        int freeAfterSleeps;  // the busy file is let go after this many of the worker's waits
        uint8_t shown;        // what the update showed as it ended
    } cases[] = {{1, Succeeded}, {3, Succeeded}, {-1, Failed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.freeAfterSleeps);
        run.restart();
        scripted.now = {2026, 12, 7, 10, 0};
        tick();
        scripted.answers = {dayOf(7, 12, 2026), dayOf(5, 12, 2026)};
        sleepsUntilFree = c.freeAfterSleeps;
        fileWriteFailAfter = 0;
        statesSeen.clear();
        EXPECT_TRUE(tapUpdate());
        EXPECT_EQ(statesSeen[statesSeen.size() - 2], c.shown);
        tick();
        EXPECT_EQ(iconState(), c.shown == Failed ? Failed : Fresh);
        fileWriteFailAfter = -1;
        tick();
        EXPECT_EQ(iconState(), Fresh);
        std::vector<unsigned char> file = readBytes(run.folder.file("vokCurrency.his"));
        EXPECT_TRUE(file.size() == 15 * sizeof(HistoryRecord) && file[0] == 7 && file[sizeof(HistoryRecord)] == 5);
    }
}
