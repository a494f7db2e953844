#include "data/history.h"

#include <cstdlib>
#include <cstring>

#include "data/calendar.h"
#include "platform/fileio.h"
#include "platform/text16.h"

HistoryStore history;

// A slot's place in the order: later days first, empty slots last.
struct SlotKey {
    int32_t number;  // dateOrder, or -1 for an empty slot
    int32_t index;   // where it lay: of two slots with one date, the one nearer the front stays in front
};

static int compareSlotKeys(const void* a, const void* b)
{
    const SlotKey& x = *static_cast<const SlotKey*>(a);
    const SlotKey& y = *static_cast<const SlotKey*>(b);
    if (x.number != y.number) return x.number > y.number ? -1 : 1;
    return x.index < y.index ? -1 : x.index > y.index ? 1 : 0;
}

static int32_t slotNumber(const DayRates& rec) { return rec.code.day != 0 ? dateOrder(rec.code) : -1; }

// Files written before the store kept date order (a fill stored older days in
// front) are put in order once, when they are read: newest first, empty slots at
// the end. Records already in order are left as they are.
static void putInDateOrder(DayRates* records, int32_t n)
{
    bool ordered = true;
    for (int32_t i = 1; i < n && ordered; ++i) ordered = slotNumber(records[i - 1]) >= slotNumber(records[i]);
    if (ordered) return;
    auto* keys = static_cast<SlotKey*>(std::malloc(size_t(n) * sizeof(SlotKey)));
    auto* sorted = static_cast<DayRates*>(std::malloc(size_t(n) * sizeof(DayRates)));
    if (keys && sorted) {
        for (int32_t i = 0; i < n; ++i) keys[i] = SlotKey{slotNumber(records[i]), i};
        std::qsort(keys, size_t(n), sizeof(SlotKey), compareSlotKeys);
        for (int32_t i = 0; i < n; ++i) sorted[i] = records[keys[i].index];
        std::memcpy(records, sorted, size_t(n) * sizeof(DayRates));
    }
    std::free(keys);
    std::free(sorted);
}

// Reads up to room whole records of the file into records (the rest stays zero: a
// cut last record is not a record); how many slots the file filled, 0 for none.
static int32_t readRecords(const char16_t* path, DayRates* records, int32_t room)
{
    long got = readFileStart(path, records, static_cast<size_t>(room) * sizeof(DayRates));
    if (got <= 0) return 0;
    int32_t whole = int32_t(got / long(sizeof(DayRates)));
    if (whole < room && got % long(sizeof(DayRates)) != 0) std::memset(&records[whole], 0, sizeof(DayRates));
    return whole;
}

// A file longer than the store (written at a greater history length) is read
// whole, as far as any store can hold, and put in date order before it is cut,
// so the store keeps the newest days whatever order the file had.
static void readLongerFile(const char16_t* path)
{
    auto* all = static_cast<DayRates*>(std::calloc(size_t(MaxHistoryLength), sizeof(DayRates)));
    if (!all) return;
    int32_t n = readRecords(path, all, MaxHistoryLength);
    if (n > history.capacity) {
        putInDateOrder(all, n);
        std::memcpy(history.records, all, size_t(history.capacity) * sizeof(DayRates));
    }
    std::free(all);
}

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
    if (readRecords(path, history.records, capacity) == capacity && capacity < MaxHistoryLength)
        readLongerFile(path);
    putInDateOrder(history.records, capacity);
}

// Whether the file lags behind memory: the last save failed. Under historyLock.
static bool unsaved;

bool saveHistory()
{
    // With no place for the file the store lives in memory only: nothing to keep.
    unsaved = history.path[0] != 0 &&
              !replaceFileContents(history.path, history.records,
                                   static_cast<size_t>(history.capacity) * sizeof(DayRates));
    return !unsaved;
}

bool saveHistoryIfUnsaved()
{
    if (!history.records) return true;
    enterLock(history.historyLock);
    bool saved = !unsaved || saveHistory();
    leaveLock(history.historyLock);
    return saved;
}

void freeHistory(bool leaveInPlace)
{
    if (!history.records || leaveInPlace) return;
    saveHistoryIfUnsaved();
    unsaved = false;
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

// Puts rec where its date belongs (held lock, no write). False when nothing changed:
// a day older than every stored one in a full store.
static bool placeDay(const DayRates& rec)
{
    int32_t number = dateOrder(rec.code);
    int32_t filled = 0;
    int32_t at = -1;  // the first slot holding an earlier day
    for (; filled < history.capacity && history.records[filled].code.day != 0; ++filled) {
        const DayRates& slot = history.records[filled];
        if (sameDay(slot.code, rec.code)) {
            history.records[filled] = rec;
            return true;
        }
        if (at < 0 && dateOrder(slot.code) < number) at = filled;
    }
    if (at < 0) {
        if (filled >= history.capacity) return false;
        at = filled;
    }
    int32_t last = filled < history.capacity ? filled : history.capacity - 1;  // the slot that is given up
    std::memmove(&history.records[at + 1], &history.records[at], size_t(last - at) * sizeof(DayRates));
    history.records[at] = rec;
    return true;
}

void storeDay(const DayRates& rec) { storeDays(&rec, 1); }

void storeDays(const DayRates* recs, int32_t count)
{
    if (!history.records || count < 1) return;
    enterLock(history.historyLock);
    bool changed = false;
    for (int32_t i = 0; i < count; ++i)
        if (recs[i].code.day != 0 && placeDay(recs[i])) changed = true;
    if (changed) saveHistory();
    leaveLock(history.historyLock);
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
