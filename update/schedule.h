// The plug-in's clock and update controller: which day the panel shows, whether
// its rates are current, and when to start an update worker.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "data/currency.h"

enum UpdateState : uint8_t { Fresh = 0, Stale = 1, Downloading = 2, Succeeded = 3, Failed = 4 };

struct LocalTime {
    int year, month, day, hour, minute;
};

// What the scheduler needs from the platform, one function each.
struct SchedulePlatform {
    void (*localTime)(LocalTime& out);
    void (*utcTime)(LocalTime& out);  // the device's clock in UTC (may be null: then local time is taken)
    bool (*startThread)();  // runs updateWorker on a new thread; false when none could be made
    void (*sleepMs)(int milliseconds);
    void (*invalidate)();   // repaint the panel window, no erase
    bool (*download)(bool latest, const DayCode& day);
    uint32_t (*tickCount)();  // milliseconds since start-up, wrapping; the panel's double tap
    // Around one worker's downloads, which share one time limit (may be null).
    void (*beginRun)();
    void (*endRun)();
    bool (*startFillThread)();  // runs fillWorker on a new thread; false when none could be made
    // Fetches url and gives the body of the service's answer, NUL-terminated, in
    // the one document buffer (valid until the next fetch or download); false on
    // any failure, an answer that does not fit the buffer included.
    bool (*fetchDocument)(const char16_t* url, char*& body, size_t& length);
};

// The update rules start an update at most once in this many ticks (a minute).
constexpr int32_t RuleStartGapTicks = 30;
extern SchedulePlatform schedulePlatform;

extern std::atomic<uint8_t> updateState;
extern std::atomic<uint8_t> redrawFlag;
extern int32_t tickCounter;  // kept by the panel: 0..8192
extern uint8_t dailyLatch;

// Shared with the worker: read them through these, which take the history lock.
DayCode todayNow();
void readShownRates(DayCode& shown, DayRates& rates);
// What the panel draws: the shown day's rates and the nearest stored days before
// and after it (all zero when there is none), read together under the lock.
void readPanelDays(DayRates& previous, DayRates& current, DayRates& next);
void setToday(const DayCode& day);
// The day in Moscow (UTC+3, no summer time) at the device's UTC time utc.
DayCode moscowDay(const LocalTime& utc);

void refreshTick();
// Starts a worker when the state is Fresh or Stale and no worker holds the claim
// (the rules' start; one asked for during a fill starts when the fill ends).
bool startUpdate();
// The icon's tap: every tap makes its update. One that meets a worker holding the
// claim (an update still ending, a fill) starts as that worker lets go; taps
// meanwhile make that one update. False when no worker thread could be made.
bool tapUpdate();
// The shown day becomes the latest stored on or before today. Its rates are current
// (Fresh) when that day is today, when the bank, asked for today's date, answered
// with it or an older table once that day has begun in Moscow (nothing newer
// exists: a holiday; until the day changes), or when the weekend rule holds;
// otherwise Stale.
void evaluateFreshness();
uint32_t updateWorker();
// True from a start until the worker's last evaluation.
bool updateWorkerRunning();
// The icon's frame: the update state, but the failed one while a file lags
// behind memory (its save failed, and the retries have not succeeded yet).
uint8_t iconState();
// After refreshTick: 0, 1, ..., 8192, 0, ...
void advanceTickCounter();
// The worker's claim, held by one update or one fill at a time. An update asked
// for while a fill holds it starts when the fill releases it.
enum WorkerKind : uint8_t { WorkerNone = 0, WorkerUpdate, WorkerFill };
bool claimWorker(WorkerKind kind);
void releaseWorker();
// Back to the state at module load (tests and a fresh attach).
void resetSchedule();
