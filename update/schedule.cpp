#include "update/schedule.h"

#include <cstring>

#include "data/calendar.h"
#include "data/history.h"
#include "data/keepfiles.h"
#include "data/settings.h"

int32_t tickCounter;
uint8_t dailyLatch;

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

static void setState(UpdateState state)
{
    updateState = state;
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

// The kind of the next run a rule starts, and the day of a dated one.
static std::atomic<uint8_t> nextRunKind{RunFull};
static DayCode nextRunDay;

uint32_t updateWorker()
{
    uint8_t kind = nextRunKind.exchange(RunFull);
    DayCode dated = nextRunDay;
    if (schedulePlatform.beginRun) schedulePlatform.beginRun();
    setState(Downloading);
    // The earlier day is asked for at most once a run, on any run that finds the
    // shown day without one (an earlier run's extra request may have failed).
    bool earlierAsked = false;
    bool ok = download(kind != RunDated, dated);
    if (ok && kind == RunDated) {
        confirmCurrentOn(dated);
        notePublicationAnswer(dated);
    }
    if (ok) earlierAsked = giveShownDayAnEarlier();
    ok = historyKept() && ok;
    setState(ok ? Succeeded : Failed);
    pause(500);
    updateState = Fresh;
    evaluateFreshness();
    if (kind == RunFull && updateState.load() == Stale) {
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

bool startRuleRun(RunKind kind, const DayCode& day)
{
    if (ticksSinceRuleStart < RuleStartGapTicks || updateUnderway()) return false;
    nextRunKind = kind;
    nextRunDay = day;
    if (startByRule()) return true;
    nextRunKind = RunFull;
    return false;
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
    // state meanwhile. Nothing but an atomic read while all is well.
    if (!filesHoldMemory()) {
        if (keepFilesTick()) redrawFlag = 1;
        if (filesHoldMemory()) invalidatePanel();
    }
    LocalTime now{};
    if (schedulePlatform.localTime) schedulePlatform.localTime(now);
    DayCode day = makeDayCode(now.day, now.month, now.year);
    if (!isTodayOnPanel(day)) {
        setToday(day);
        evaluateFreshness();
    }

    if ((settings.updateFlags & UpdateEvery) && settings.updateInterval != 0) {
        int64_t period = int64_t(settings.updateInterval) * 30;
        if (period < 0) period = -period;
        if (tickCounter % period == 0 && (!(settings.updateFlags & OnlyIfStale) || updateState.load() == Stale))
            startByRule();
    }

    if ((settings.updateFlags & UpdateOnPublication) && servePublicationRule(startRuleRun, updateWorkerRunning()))
        evaluateFreshness();

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
    resetPublicationRule();
    nextRunKind = RunFull;
    resetFreshness();
}
