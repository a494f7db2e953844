#include "testutil.h"

#include "update/schedule.h"

namespace {

// A scripted platform: a settable clock, a worker that runs inline, a download
// that stores what the test wants, and a log of what the panel would see.
struct Script {
    LocalTime now{2026, 12, 7, 10, 0};
    bool threadsWork = true;
    int threadsStarted = 0;
    std::vector<int> startTicks;
    std::vector<uint8_t> statesSeen;  // updateState at each invalidation
    std::vector<int> sleeps;
    std::vector<std::pair<bool, DayCode>> downloads;
    std::vector<DayRates> toStore;  // one per download; day 0 means fail
    DayCode todayDuringDownload{};
} script;

DayRates dayOf(int day, int month, int year)
{
    DayRates r;
    std::memset(&r, 0, sizeof r);
    r.code = makeDayCode(day, month, year);
    r.rates[1].nominal = 1;
    r.rates[1].rate = float(day);
    return r;
}

void installScript()
{
    schedulePlatform.localTime = [](LocalTime& out) { out = script.now; };
    schedulePlatform.startThread = [] {
        if (!script.threadsWork) return false;
        ++script.threadsStarted;
        script.startTicks.push_back(tickCounter);
        updateWorker();
        return true;
    };
    schedulePlatform.sleepMs = [](int ms) { script.sleeps.push_back(ms); };
    schedulePlatform.invalidate = [] { script.statesSeen.push_back(updateState.load()); };
    schedulePlatform.download = [](bool latest, const DayCode& day) {
        script.downloads.push_back({latest, day});
        size_t n = script.downloads.size() - 1;
        if (n >= script.toStore.size() || script.toStore[n].code.day == 0) return false;
        storeDay(script.toStore[n]);
        return true;
    };
}

struct Schedule : ::testing::Test {
    ScratchFolder folder;
    void SetUp() override
    {
        script = Script();
        installScript();
        resetSchedule();
        setDefaultSettings(settings, 96);
        settings.updateFlags = 0;
        std::u16string path = folder.path16("vokCurrency.his");
        loadHistory(path.c_str(), 15);
    }
    void TearDown() override
    {
        freeHistory();
        schedulePlatform = SchedulePlatform{};
    }
    void tick()
    {
        refreshTick();
        advanceTickCounter();
    }
    // An empty history and the scheduler as at module load.
    void restart()
    {
        freeHistory();
        std::remove(folder.file("vokCurrency.his").c_str());
        std::u16string path = folder.path16("vokCurrency.his");
        loadHistory(path.c_str(), 15);
        resetSchedule();
    }
    UpdateState stateFor(DayCode today, DayCode stored)
    {
        restart();
        if (stored.day) storeDay(dayOf(stored.day, stored.month, yearOf(stored)));
        script.now = LocalTime{yearOf(today), today.month, today.day, 10, 0};
        refreshTick();
        return UpdateState(updateState.load());
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
    EXPECT_EQ(stateFor(makeDayCode(2, 3, 2026), makeDayCode(28, 2, 2026)), Stale);    // key distance 5
    EXPECT_EQ(stateFor(monday, DayCode{0, 0, 0}), Stale);                              // empty history
    // A record after today does not become the shown day within a year.
    EXPECT_EQ(stateFor(monday, makeDayCode(8, 12, 2026)), Stale);
    DayCode shown;
    DayRates rates;
    readShownRates(shown, rates);
    EXPECT_EQ(shown.day, 0);
    EXPECT_EQ(rates.rates[1].nominal, 0);
    // Across the turn of the year the key order rules: 5 January counts as before 31 December.
    EXPECT_EQ(stateFor(makeDayCode(31, 12, 2026), makeDayCode(5, 1, 2027)), Stale);
    readShownRates(shown, rates);
    EXPECT_TRUE(sameDay(shown, makeDayCode(5, 1, 2027)));
    EXPECT_EQ(rates.rates[1].rate, 5.0f);
}

TEST_F(Schedule, IntervalRuleFollowsTheTickCycle)
{
    settings.updateFlags = UpdateEvery;
    settings.updateInterval = 30;
    storeDay(dayOf(7, 12, 2026));
    for (int i = 0; i < 8193 + 901; ++i) tick();
    std::vector<int> expected;
    for (int t = 0; t <= 8100; t += 900) expected.push_back(t);
    expected.push_back(0);
    expected.push_back(900);
    EXPECT_EQ(script.startTicks, expected);

    // Interval 0 disables the rule.
    script.startTicks.clear();
    settings.updateInterval = 0;
    for (int i = 0; i < 2000; ++i) tick();
    EXPECT_TRUE(script.startTicks.empty());
}

// The rules start an update at most once a minute: the last gap of the tick
// cycle is skipped, and a daily time falling next to an interval start waits
// for the gap.
TEST_F(Schedule, RulesStartAtMostOnceAMinute)
{
    settings.updateFlags = UpdateEvery;
    settings.updateInterval = 1;  // every 30 ticks; 8193 leaves a gap of 3 at the wrap
    tickCounter = 8100;
    for (int i = 0; i < 93 + 31; ++i) tick();
    EXPECT_EQ(script.startTicks, (std::vector<int>{8100, 8130, 8160, 8190, 30}));

    // The daily minute arrives 10 ticks after an interval start: the daily
    // update starts as soon as the gap allows, and once only.
    settings.updateFlags = 0;
    for (int i = 0; i < 30; ++i) tick();  // a minute after the last start
    script.startTicks.clear();
    settings.updateFlags = UpdateEvery | UpdateDaily;
    settings.updateInterval = 3;
    settings.dailyHour = 10;
    settings.dailyMinute = 1;
    tickCounter = 0;
    for (int i = 0; i < 10; ++i) tick();
    script.now.minute = 1;
    for (int i = 0; i < 20; ++i) tick();
    script.now.minute = 2;
    for (int i = 0; i < 40; ++i) tick();
    EXPECT_EQ(script.startTicks, (std::vector<int>{0, 30}));

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
    auto download = schedulePlatform.download;
    static bool (*inner)(bool, const DayCode&);
    inner = download;
    schedulePlatform.download = [](bool latest, const DayCode& day) {
        events.push_back('d');
        return inner(latest, day);
    };
    tick();
    startUpdate();  // nothing stored: both downloads fail
    EXPECT_EQ(std::string(events.begin(), events.end()), "bdde");
    EXPECT_FALSE(updateWorkerRunning());
}

TEST_F(Schedule, OnlyIfStaleWaitsForStaleRates)
{
    settings.updateFlags = UpdateEvery | OnlyIfStale;
    settings.updateInterval = 1;
    storeDay(dayOf(7, 12, 2026));
    for (int i = 0; i < 100; ++i) tick();
    EXPECT_EQ(script.threadsStarted, 0);
    EXPECT_EQ(updateState.load(), Fresh);

    script.now.day = 8;  // a Tuesday with Monday's rates: stale
    for (int i = 0; i < 31; ++i) tick();
    EXPECT_GE(script.threadsStarted, 1);
}

TEST_F(Schedule, DailyRuleStartsOncePerMatchingMinute)
{
    settings.updateFlags = UpdateDaily | OnlyIfStale;
    settings.dailyHour = 15;
    settings.dailyMinute = 0;
    storeDay(dayOf(7, 12, 2026));
    script.now.hour = 14;
    script.now.minute = 59;
    for (int i = 0; i < 30; ++i) tick();
    EXPECT_EQ(script.threadsStarted, 0);
    script.now.hour = 15;
    script.now.minute = 0;
    for (int i = 0; i < 30; ++i) tick();
    EXPECT_EQ(script.threadsStarted, 1);  // and freshness did not matter
    script.now.minute = 1;
    tick();
    script.now.minute = 0;
    tick();
    EXPECT_EQ(script.threadsStarted, 2);

    // A download running at the first tick of the minute: none that minute.
    script.now.minute = 5;
    tick();
    script.now.minute = 0;
    updateState = Downloading;
    tick();
    updateState = Fresh;
    for (int i = 0; i < 29; ++i) tick();
    EXPECT_EQ(script.threadsStarted, 2);

    // With the daily rule off the latch is left alone.
    settings.updateFlags = 0;
    script.now.minute = 7;
    tick();
    settings.updateFlags = UpdateDaily;
    script.now.minute = 0;
    tick();
    EXPECT_EQ(script.threadsStarted, 2);
}

TEST_F(Schedule, DateChangeWhileDownloadingKeepsTheState)
{
    storeDay(dayOf(7, 12, 2026));
    storeDay(dayOf(8, 12, 2026));
    tick();
    updateState = Downloading;
    script.now.day = 8;
    tick();
    EXPECT_EQ(updateState.load(), Downloading);
    DayCode shown;
    DayRates rates;
    readShownRates(shown, rates);
    EXPECT_EQ(shown.day, 8);
    EXPECT_EQ(rates.rates[1].rate, 8.0f);
    EXPECT_EQ(redrawFlag.load(), 1);
}

TEST_F(Schedule, WorkerRunsOnceWhenTheLatestRatesAreToday)
{
    tick();
    EXPECT_EQ(updateState.load(), Stale);
    script.statesSeen.clear();
    storeDay(dayOf(1, 12, 2026));  // an earlier day: nothing more is asked for
    script.toStore = {dayOf(7, 12, 2026)};
    EXPECT_TRUE(startUpdate());
    ASSERT_EQ(script.downloads.size(), 1u);
    EXPECT_TRUE(script.downloads[0].first);
    EXPECT_EQ(script.sleeps, std::vector<int>{500});
    EXPECT_EQ(updateState.load(), Fresh);
    EXPECT_EQ(script.statesSeen, (std::vector<uint8_t>{Downloading, Succeeded, Fresh}));
}

TEST_F(Schedule, SecondDownloadAsksForTodayWhenStillStale)
{
    tick();
    storeDay(dayOf(1, 12, 2026));  // an earlier day: nothing more is asked for
    script.toStore = {dayOf(8, 12, 2026), dayOf(7, 12, 2026)};  // tomorrow first, then today
    script.statesSeen.clear();
    startUpdate();
    ASSERT_EQ(script.downloads.size(), 2u);
    EXPECT_TRUE(script.downloads[0].first);
    EXPECT_FALSE(script.downloads[1].first);
    EXPECT_TRUE(sameDay(script.downloads[1].second, makeDayCode(7, 12, 2026)));
    EXPECT_EQ(script.sleeps, (std::vector<int>{500, 500, 500}));
    EXPECT_EQ(updateState.load(), Fresh);
    EXPECT_EQ(script.statesSeen,
              (std::vector<uint8_t>{Downloading, Succeeded, Stale, Downloading, Succeeded, Fresh}));

    // Both failing: shown as Failed each time, no third try.
    script.downloads.clear();
    script.toStore.clear();
    script.now.day = 9;
    tick();
    script.statesSeen.clear();
    startUpdate();
    EXPECT_EQ(script.downloads.size(), 2u);
    EXPECT_EQ(script.statesSeen, (std::vector<uint8_t>{Downloading, Failed, Stale, Downloading, Failed, Stale}));
}

TEST_F(Schedule, StartsOnlyFromFreshOrStale)
{
    for (uint8_t state : {Downloading, Succeeded, Failed}) {
        updateState = state;
        EXPECT_FALSE(startUpdate());
    }
    EXPECT_EQ(script.threadsStarted, 0);

    updateState = Stale;
    script.threadsWork = false;
    EXPECT_FALSE(startUpdate());
    EXPECT_EQ(updateState.load(), Stale);  // no worker: nothing changed
    script.threadsWork = true;
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
        freeHistory();
        std::remove(folder.file("vokCurrency.his").c_str());
        loadHistory(folder.path16("vokCurrency.his").c_str(), 15);
        resetSchedule();
        script = Script();
        script.now = c.now;
        for (int d : c.answers)
            script.toStore.push_back(d == 0 ? DayRates{} : d < 0 ? dayOf(-d, 1, 2027) : dayOf(d, 12, 2026));
        tick();
        script.statesSeen.clear();
        EXPECT_TRUE(startUpdate()) << c.what;
        ASSERT_EQ(script.downloads.size(), c.asked.size() + 1) << c.what;
        EXPECT_TRUE(script.downloads[0].first) << c.what;
        for (size_t i = 0; i < c.asked.size(); ++i) {
            EXPECT_FALSE(script.downloads[i + 1].first) << c.what;
            EXPECT_EQ(script.downloads[i + 1].second.day, c.asked[i]) << c.what << " request " << i + 1;
        }
        std::vector<int> stored;
        for (int i = 0; i < history.capacity && history.records[i].code.day; ++i)
            stored.push_back(history.records[i].code.month == 1 ? -history.records[i].code.day
                                                                 : history.records[i].code.day);
        EXPECT_EQ(stored, c.stored) << c.what;
        EXPECT_EQ(updateState.load(), Fresh) << c.what;
        EXPECT_EQ(script.statesSeen.back(), Fresh) << c.what;
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
        restart();
        script = Script();
        script.now = LocalTime{2026, 12, 9, 10, 0};  // a Wednesday: no weekend rule
        storeDay(dayOf(2, 12, 2026));
        storeDay(dayOf(3, 12, 2026));
        script.toStore = {c.latest, c.forToday};
        settings.updateFlags = UpdateEvery | OnlyIfStale;
        settings.updateInterval = 1;
        for (int i = 0; i < 91; ++i) tick();  // the update at once, then three minutes
        EXPECT_EQ(updateState.load(), c.after);
        EXPECT_EQ(script.downloads.size() == 2, c.after == Fresh);
        script.now.day = 10;
        tick();
        EXPECT_EQ(updateState.load(), Stale);  // the next day is judged afresh
    }
}
