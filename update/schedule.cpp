#include "update/schedule.h"

#include <cstring>

#include "data/calendar.h"
#include "data/history.h"
#include "data/keepfiles.h"
#include "data/settings.h"

SchedulePlatform schedulePlatform;
std::atomic<uint8_t> updateState{Fresh};
std::atomic<uint8_t> redrawFlag{1};
int32_t tickCounter;
uint8_t dailyLatch;

// today, shownDay and currentRates are written and read under the history lock,
// so neither thread ever sees them half-written.
static DayCode today;
static DayCode shownDay;
static DayRates currentRates;
// The day on which the bank, asked for that very day, answered: the table it gave
// is the one in force that day, nothing newer exists (a holiday), so until the day
// changes the rates shown are current. Under the history lock too.
static DayCode confirmedCurrentOn;
// Who holds the worker's claim (WorkerNone when nobody does): one update from
// startUpdate until its last evaluation, or one fill. Taken and let go in one
// atomic step, so the holder read is always the one that holds it.
static std::atomic<uint8_t> claimHolder{WorkerNone};
// An update asked for while a worker held the claim (a tap during any worker, a
// rule during a fill); started by that worker as it lets go.
static std::atomic<bool> updateWaiting{false};
// Ticks since the interval or daily rule last started an update; starts at the
// gap so that the first tick may start one.
static int32_t ticksSinceRuleStart = RuleStartGapTicks;

static void invalidatePanel()
{
    if (schedulePlatform.invalidate) schedulePlatform.invalidate();
}

static void setState(UpdateState state)
{
    updateState = state;
    invalidatePanel();
}

DayCode todayNow()
{
    lockHistory();
    DayCode day = today;
    unlockHistory();
    return day;
}

void setToday(const DayCode& day)
{
    lockHistory();
    if (!sameDay(day, today)) std::memset(&confirmedCurrentOn, 0, sizeof confirmedCurrentOn);
    today = day;
    unlockHistory();
}

DayCode moscowDay(const LocalTime& utc)
{
    DayCode day = makeDayCode(utc.day, utc.month, utc.year);
    if (utc.hour < 21) return day;
    return dayFromNumber(dayNumber(day) + 1);
}

// Whether day has begun in Moscow, where the bank dates its tables. Before that
// (just after midnight east of Moscow, or on a clock that runs fast) the bank's
// answer for day is only the table still in force the day before.
static bool begunInMoscow(const DayCode& day)
{
    LocalTime now{};
    if (schedulePlatform.utcTime)
        schedulePlatform.utcTime(now);
    else if (schedulePlatform.localTime)
        schedulePlatform.localTime(now);
    else
        return true;
    return dayNumber(moscowDay(now)) >= dayNumber(day);
}

// The bank's answer to the request for day: whatever table it gave is current on
// day, once day has begun where the bank is.
static void confirmCurrentOn(const DayCode& day)
{
    if (!begunInMoscow(day)) return;
    lockHistory();
    confirmedCurrentOn = day;
    unlockHistory();
}

static bool confirmedCurrentToday(const DayCode& day)
{
    lockHistory();
    bool confirmed = day.day != 0 && sameDay(confirmedCurrentOn, day);
    unlockHistory();
    return confirmed;
}

void readShownRates(DayCode& shown, DayRates& rates)
{
    lockHistory();
    shown = shownDay;
    rates = currentRates;
    unlockHistory();
}

void readPanelDays(DayRates& previous, DayRates& current, DayRates& next)
{
    lockHistory();
    current = currentRates;
    previous = findDayHeld(findLatestBeforeHeld(shownDay));
    next = findDayHeld(findEarliestAfterHeld(shownDay));
    unlockHistory();
}

static bool weekendRuleHolds(const DayCode& day)
{
    uint8_t weekday = DayOfWeek(day);
    if (weekday != 0 && weekday != 1) return false;
    DayCode before = findLatestBefore(day);
    if (before.day == 0) return false;
    uint8_t beforeWeekday = DayOfWeek(before);
    if (beforeWeekday != 6 && beforeWeekday != 0) return false;
    int32_t distance = DayDistance(day, before);
    return (distance < 0 ? -distance : distance) < 5;
}

void evaluateFreshness()
{
    DayCode day = todayNow();
    DayCode shown = findLatestOnOrBefore(day);
    DayRates rates = findDay(shown);
    lockHistory();
    shownDay = shown;
    currentRates = rates;
    unlockHistory();

    uint8_t state = updateState.load();
    if (state == Fresh || state == Stale) {
        bool current = sameDay(shown, day) || confirmedCurrentToday(day) || weekendRuleHolds(day);
        uint8_t wanted = current ? Fresh : Stale;
        // A worker may have claimed the state meanwhile; never overwrite its claim.
        updateState.compare_exchange_strong(state, wanted);
    }
    redrawFlag = 1;
    invalidatePanel();
}

// The update's part once it holds the claim: Downloading, and its thread.
static bool launchUpdate(uint8_t state)
{
    while (!updateState.compare_exchange_weak(state, Downloading)) {
        if (state != Fresh && state != Stale) {
            releaseWorker();
            return false;
        }
    }
    if (!schedulePlatform.startThread || !schedulePlatform.startThread()) {
        updateState = state;  // no worker: everything stays as it was
        releaseWorker();
        return false;
    }
    return true;
}

// An update waits for the worker that holds the claim. The worker lets go of the
// claim before it looks for a waiting update: if it still holds the claim now, it
// will see this one; if not, whoever takes the wait back starts the update (the
// caller, trying again, or the worker). True while the wait stands.
static bool waitForTheClaim()
{
    updateWaiting = true;
    return claimHolder.load() != WorkerNone || !updateWaiting.exchange(false);
}

bool startUpdate()
{
    for (;;) {
        uint8_t state = updateState.load();
        if (state != Fresh && state != Stale) return false;
        uint8_t holder = WorkerNone;
        if (claimHolder.compare_exchange_strong(holder, WorkerUpdate)) return launchUpdate(state);
        if (holder != WorkerFill) return false;  // an update runs already
        if (waitForTheClaim()) return false;
    }
}

bool tapUpdate()
{
    for (;;) {
        uint8_t holder = WorkerNone;
        if (claimHolder.compare_exchange_strong(holder, WorkerUpdate)) return launchUpdate(updateState.load());
        if (waitForTheClaim()) return true;
    }
}

static void pause(int milliseconds)
{
    if (schedulePlatform.sleepMs) schedulePlatform.sleepMs(milliseconds);
}

static bool download(bool latest, const DayCode& day)
{
    return schedulePlatform.download && schedulePlatform.download(latest, day);
}

// A shown day without an earlier stored day has nothing to compare with: the
// table before it is asked for too (the bank answers a day without a table with
// the last one before it). When the latest table is tomorrow's, today's is asked
// for first, as the shown day. Whatever these extra requests bring, the update
// stands. True when the day before the shown one was asked for.
static bool giveShownDayAnEarlier()
{
    for (int extra = 0; extra < 2; ++extra) {
        DayCode day = todayNow();
        DayCode shown = findLatestOnOrBefore(day);
        DayCode wanted = day;
        if (shown.day != 0) {
            if (findLatestBefore(shown).day != 0) return false;
            wanted = previousDay(shown);
        }
        if (wanted.day == 0) return false;
        DayCode oldest;
        int32_t stored = storedDaySummary(oldest);
        // A failed request, or one that brought no new day, ends the asking.
        bool brought = download(false, wanted) && storedDaySummary(oldest) != stored;
        if (shown.day != 0) return true;
        if (!brought) return false;
    }
    return false;
}

// After an update's downloads: a save that found the file busy (a backup or sync
// tool, a scan, a viewer holding it) is tried again soon, a few times; after that
// the ticks go on trying. False when the file still lags behind memory.
static bool historyKept()
{
    static const int waits[] = {200, 600, 1500};
    for (int wait : waits) {
        if (saveHistoryIfUnsaved()) return true;
        pause(wait);
    }
    // The settings file is the panel thread's: its retries stay with the ticks.
    return saveHistoryIfUnsaved();
}

uint8_t iconState()
{
    uint8_t state = updateState.load();
    return (state == Fresh || state == Stale) && !filesHoldMemory() ? uint8_t(Failed) : state;
}

bool claimWorker(WorkerKind kind)
{
    uint8_t expected = WorkerNone;
    return claimHolder.compare_exchange_strong(expected, kind);
}

void releaseWorker()
{
    claimHolder = WorkerNone;
    if (updateWaiting.exchange(false)) startUpdate();
}

uint32_t updateWorker()
{
    if (schedulePlatform.beginRun) schedulePlatform.beginRun();
    setState(Downloading);
    // The earlier day is asked for at most once a run, on any run that finds the
    // shown day without one (an earlier run's extra request may have failed).
    bool earlierAsked = false;
    bool ok = download(true, DayCode{0, 0, 0});
    if (ok) earlierAsked = giveShownDayAnEarlier();
    ok = historyKept() && ok;
    setState(ok ? Succeeded : Failed);
    pause(500);
    updateState = Fresh;
    evaluateFreshness();
    if (updateState.load() == Stale) {
        pause(500);
        setState(Downloading);
        DayCode asked = todayNow();
        ok = download(false, asked);
        if (ok) confirmCurrentOn(asked);  // a failed request proves nothing
        if (ok && !earlierAsked) giveShownDayAnEarlier();
        ok = historyKept() && ok;
        setState(ok ? Succeeded : Failed);
        pause(500);
        updateState = Fresh;
        evaluateFreshness();
    }
    if (schedulePlatform.endRun) schedulePlatform.endRun();
    releaseWorker();
    return 0;
}

// A rule's start, at most once a minute: a failing service is tried again by the
// rules no sooner than that, even where the tick counter's wrap or both rules
// meeting in one minute would start updates close together.
static bool startByRule()
{
    if (ticksSinceRuleStart < RuleStartGapTicks) return false;
    if (!startUpdate()) return false;
    ticksSinceRuleStart = 0;
    return true;
}

// The daily time has come and its update has not started yet. It starts as soon
// as the once-a-minute gap allows, unless an update is already under way then
// (running, or shown): that one serves it. One asked for while a fill runs
// starts when the fill ends.
static bool dailyPending;

static bool updateUnderway()
{
    uint8_t state = updateState.load();
    return claimHolder.load() == WorkerUpdate || (state != Fresh && state != Stale);
}

static void serveDailyRule()
{
    if (dailyPending && (updateUnderway() || startByRule())) dailyPending = false;
}

void refreshTick()
{
    if (ticksSinceRuleStart < RuleStartGapTicks) ++ticksSinceRuleStart;
    // A file whose save failed, or that could not be read, is tried again with
    // growing waits until it holds what memory holds; the icon shows the failed
    // state meanwhile. Nothing but two atomic reads while all is well.
    if (!filesHoldMemory()) {
        if (keepFilesTick()) redrawFlag = 1;
        if (filesHoldMemory()) invalidatePanel();
    }
    LocalTime now{};
    if (schedulePlatform.localTime) schedulePlatform.localTime(now);
    DayCode day = makeDayCode(now.day, now.month, now.year);
    if (!sameDay(day, todayNow())) {
        setToday(day);
        evaluateFreshness();
    }

    if ((settings.updateFlags & UpdateEvery) && settings.updateInterval != 0) {
        int64_t period = int64_t(settings.updateInterval) * 30;
        if (period < 0) period = -period;
        if (tickCounter % period == 0 && (!(settings.updateFlags & OnlyIfStale) || updateState.load() == Stale))
            startByRule();
    }

    if (settings.updateFlags & UpdateDaily) {
        if (now.hour == settings.dailyHour && now.minute == settings.dailyMinute) {
            if (!dailyLatch) dailyPending = true;
            dailyLatch = 1;
        } else {
            dailyLatch = 0;
        }
        serveDailyRule();
    }
}

bool updateWorkerRunning() { return claimHolder.load() != WorkerNone; }

void advanceTickCounter()
{
    if (++tickCounter > 8192) tickCounter = 0;
}

void resetSchedule()
{
    updateState = Fresh;
    redrawFlag = 1;
    tickCounter = 0;
    dailyLatch = 0;
    dailyPending = false;
    claimHolder = WorkerNone;
    updateWaiting = false;
    ticksSinceRuleStart = RuleStartGapTicks;
    resetFileKeeping();
    std::memset(&today, 0, sizeof today);
    std::memset(&shownDay, 0, sizeof shownDay);
    std::memset(&currentRates, 0, sizeof currentRates);
    std::memset(&confirmedCurrentOn, 0, sizeof confirmedCurrentOn);
}
