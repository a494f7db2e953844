#include "update/fill.h"

#include <atomic>

#include "data/calendar.h"
#include "data/history.h"
#include "platform/testhooks.h"
#include "update/schedule.h"

static std::atomic<uint8_t> outcome{FillIdle};
static std::atomic<bool> stopWanted{false};
static std::atomic<int32_t> requests{0};

#ifdef VOK_TEST
unsigned long fillSpacingOverrideMs = 0;
static uint32_t spacing() { return fillSpacingOverrideMs ? uint32_t(fillSpacingOverrideMs) : FillSpacingMs; }
#else
static uint32_t spacing() { return FillSpacingMs; }
#endif

int32_t storedDaySummary(DayCode& oldest)
{
    oldest = DayCode{0, 0, 0};
    int32_t filled = 0;
    lockHistory();
    if (history.records) {
        int32_t oldestNumber = 0;
        for (; filled < history.capacity && history.records[filled].code.day != 0; ++filled) {
            const DayCode& day = history.records[filled].code;
            int32_t number = dayNumber(day);
            if (filled == 0 || number < oldestNumber) {
                oldest = day;
                oldestNumber = number;
            }
        }
    }
    unlockHistory();
    return filled;
}

bool startFill()
{
    if (!history.records || outcome.load() == FillRunning) return false;
    if (!claimWorker(WorkerFill)) return false;
    stopWanted = false;
    requests = 0;
    outcome = FillRunning;
    if (!schedulePlatform.startFillThread || !schedulePlatform.startFillThread()) {
        outcome = FillIdle;
        releaseWorker();
        return false;
    }
    return true;
}

void stopFill() { stopWanted = true; }
bool fillRunning() { return outcome.load() == FillRunning; }
FillOutcome fillOutcome() { return FillOutcome(outcome.load()); }
int32_t fillRequests() { return requests.load(); }

static uint32_t now() { return schedulePlatform.tickCount ? schedulePlatform.tickCount() : 0; }

// Waits until the spacing since the last request has passed, in short steps so
// that a stop is noticed; false when stopped.
static bool waitSpacing(uint32_t lastRequest)
{
    for (;;) {
        if (stopWanted.load()) return false;
        uint32_t elapsed = now() - lastRequest;
        if (elapsed >= spacing()) return true;
        uint32_t step = spacing() - elapsed;
        if (step > 100) step = 100;
        if (!schedulePlatform.sleepMs) return true;
        schedulePlatform.sleepMs(int(step));
    }
}

static FillOutcome fillLoop()
{
    uint32_t lastRequest = 0;
    for (bool first = true;; first = false) {
        if (stopWanted.load()) return FillStopped;
        DayCode oldest;
        if (storedDaySummary(oldest) >= history.capacity) return FillComplete;
        bool latest = oldest.day == 0;
        DayCode wanted = latest ? oldest : previousDay(oldest);
        if (!latest && wanted.day == 0) return FillComplete;
        if (!first && !waitSpacing(lastRequest)) return FillStopped;
        lastRequest = now();
        ++requests;
        if (!schedulePlatform.download || !schedulePlatform.download(latest, wanted)) return FillFailed;
        // The bank answers a day without a table with the last one before it;
        // an answer no older than what is stored means there is nothing older.
        DayCode after;
        storedDaySummary(after);
        if (!latest && dayNumber(after) >= dayNumber(oldest)) return FillComplete;
    }
}

uint32_t fillWorker()
{
    FillOutcome result = fillLoop();
    outcome = result;
    // Older days change the panel's differences: lay it out again.
    evaluateFreshness();
    releaseWorker();
    return 0;
}
