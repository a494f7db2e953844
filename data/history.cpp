#include "data/history.h"

#include <cstdlib>
#include <cstring>

#include "data/settings.h"
#include "platform/fileio.h"
#include "platform/text16.h"

HistoryStore history;

void loadHistory(const char16_t* path, int32_t capacity)
{
    freeHistory();
    history.capacity = capacity;
    // A path that doesn't fit is not cut into the name of some other file: the
    // store then lives in memory only.
    if (length16(path, 260) < 260)
        copy16(history.path, 260, path);
    else
        history.path[0] = 0;
    if (capacity < 1 || capacity > MaxHistoryLength) return;
    history.records = static_cast<DayRates*>(std::calloc(static_cast<size_t>(capacity), sizeof(DayRates)));
    if (!history.records) return;
    createLock(history.historyLock);
    long got = readFileStart(path, history.records, static_cast<size_t>(capacity) * sizeof(DayRates));
    // A partial last record (a cut file) is not a record: clear what it left.
    if (got > 0 && got % static_cast<long>(sizeof(DayRates)) != 0) {
        size_t whole = static_cast<size_t>(got) / sizeof(DayRates);
        std::memset(&history.records[whole], 0, sizeof(DayRates));
    }
}

void saveHistory()
{
    replaceFileContents(history.path, history.records, static_cast<size_t>(history.capacity) * sizeof(DayRates));
}

void freeHistory(bool leaveInPlace)
{
    if (!history.records || leaveInPlace) return;
    deleteLock(history.historyLock);
    std::free(history.records);
    history.records = nullptr;
}

void lockHistory()
{
    if (history.records) enterLock(history.historyLock);
}

void unlockHistory()
{
    if (history.records) leaveLock(history.historyLock);
}

DayRates findDay(const DayCode& code)
{
    DayRates out;
    std::memset(&out, 0, sizeof out);
    if (!history.records) return out;
    enterLock(history.historyLock);
    for (int32_t i = 0; i < history.capacity; ++i) {
        if (sameDay(history.records[i].code, code)) {
            out = history.records[i];
            break;
        }
    }
    leaveLock(history.historyLock);
    return out;
}

void storeDay(const DayRates& rec)
{
    if (!history.records) return;
    enterLock(history.historyLock);
    int32_t found = -1;
    for (int32_t i = 0; i < history.capacity; ++i) {
        if (sameDay(history.records[i].code, rec.code)) {
            found = i;
            break;
        }
    }
    if (found >= 0) {
        history.records[found] = rec;
    } else {
        std::memmove(&history.records[1], &history.records[0],
                     static_cast<size_t>(history.capacity - 1) * sizeof(DayRates));
        history.records[0] = rec;
    }
    saveHistory();
    leaveLock(history.historyLock);
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

DayCode findNearestDay(const DayCode& target, NearestRule rule, int32_t start)
{
    DayCode out{0, 0, 0};
    if (!history.records) return out;
    enterLock(history.historyLock);
    int32_t t = DayKey(target);
    int32_t best = start;
    for (int32_t i = 0; i < history.capacity; ++i) {
        int32_t k = DayKey(history.records[i].code);
        if (qualifies(rule, k, t, best)) {
            out = history.records[i].code;
            best = k;
        }
    }
    leaveLock(history.historyLock);
    return out;
}

DayCode findLatestOnOrBefore(const DayCode& target) { return findNearestDay(target, NearestRule::LatestOnOrBefore, 0); }
DayCode findLatestBefore(const DayCode& target) { return findNearestDay(target, NearestRule::LatestBefore, 0); }
DayCode findEarliestAfter(const DayCode& target) { return findNearestDay(target, NearestRule::EarliestAfter, 65535); }

int32_t copyHistory(DayRates* out, int32_t maxRecords)
{
    if (!history.records) return 0;
    enterLock(history.historyLock);
    int32_t n = history.capacity < maxRecords ? history.capacity : maxRecords;
    std::memcpy(out, history.records, static_cast<size_t>(n) * sizeof(DayRates));
    leaveLock(history.historyLock);
    return n;
}
