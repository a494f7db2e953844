// The scheduler's seam to the platform (clock, threads, downloads, repaint) and
// the states the panel draws, shared by the update's modules.
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
// The day in Moscow (UTC+3, no summer time) at the device's UTC time utc.
DayCode moscowDay(const LocalTime& utc);
// The panel's repaint, when the platform has one.
void invalidatePanel();
