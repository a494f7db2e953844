#include "data/history.h"

#include <cstring>

#include "data/calendar.h"

// The store's reads: the days by date and the nearest ones, under historyLock.

DayRates findDayHeld(const DayCode& code)
{
    DayRates out;
    std::memset(&out, 0, sizeof out);
    for (int32_t i = 0; history.records && i < history.capacity; ++i) {
        if (sameDay(history.records[i].code, code)) {
            out = history.records[i];
            break;
        }
    }
    return out;
}

DayRates findDay(const DayCode& code)
{
    if (!history.records) return findDayHeld(code);
    enterLock(history.historyLock);
    DayRates out = findDayHeld(code);
    leaveLock(history.historyLock);
    return out;
}

int32_t storedDaySummary(DayCode& oldest)
{
    oldest = DayCode{0, 0, 0};
    if (!history.records) return 0;
    enterLock(history.historyLock);
    int32_t filled = 0;
    while (filled < history.capacity && history.records[filled].code.day != 0) ++filled;
    // Newest first: the last filled slot holds the oldest day.
    if (filled > 0) oldest = history.records[filled - 1].code;
    leaveLock(history.historyLock);
    return filled;
}

static bool qualifies(NearestRule rule, int32_t k, int32_t t, int32_t best)
{
    switch (rule) {
    case NearestRule::LatestOnOrBefore: return best < k && k <= t;
    case NearestRule::LatestBefore: return best < k && k < t;
    case NearestRule::EarliestAfter: return t < k && k < best;
    }
    return false;
}

static DayCode findNearestDayHeld(const DayCode& target, NearestRule rule, int32_t start)
{
    DayCode out{0, 0, 0};
    int32_t t = dateOrder(target);
    int32_t best = start;
    for (int32_t i = 0; history.records && i < history.capacity; ++i) {
        if (history.records[i].code.day == 0) continue;
        int32_t k = dateOrder(history.records[i].code);
        if (qualifies(rule, k, t, best)) {
            out = history.records[i].code;
            best = k;
        }
    }
    return out;
}

DayCode findNearestDay(const DayCode& target, NearestRule rule, int32_t start)
{
    if (!history.records) return DayCode{0, 0, 0};
    enterLock(history.historyLock);
    DayCode out = findNearestDayHeld(target, rule, start);
    leaveLock(history.historyLock);
    return out;
}

DayCode findLatestOnOrBefore(const DayCode& target) { return findNearestDay(target, NearestRule::LatestOnOrBefore, 0); }
DayCode findLatestBefore(const DayCode& target) { return findNearestDay(target, NearestRule::LatestBefore, 0); }
DayCode findEarliestAfter(const DayCode& target) { return findNearestDay(target, NearestRule::EarliestAfter, NearestAfterStart); }
DayCode findLatestBeforeHeld(const DayCode& target)
{
    return findNearestDayHeld(target, NearestRule::LatestBefore, 0);
}
DayCode findEarliestAfterHeld(const DayCode& target)
{
    return findNearestDayHeld(target, NearestRule::EarliestAfter, NearestAfterStart);
}

int32_t copyHistory(DayRates* out, int32_t maxRecords)
{
    if (!history.records) return 0;
    enterLock(history.historyLock);
    int32_t n = history.capacity < maxRecords ? history.capacity : maxRecords;
    std::memcpy(out, history.records, static_cast<size_t>(n) * sizeof(DayRates));
    leaveLock(history.historyLock);
    return n;
}

DayCode newestStoredDay()
{
    if (!history.records) return DayCode{0, 0, 0};
    enterLock(history.historyLock);
    DayCode out = history.records[0].code;  // newest first
    leaveLock(history.historyLock);
    return out;
}
