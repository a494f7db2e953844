#include "data/history.h"

#include <cstdlib>
#include <cstring>

#include "data/calendar.h"
#include "data/companion.h"
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

static int32_t slotNumber(const DayCode& code) { return code.day != 0 ? dateOrder(code) : -1; }

// Reads up to room whole records of the history file into image (the rest stays
// zero: a cut last record is not a record); how many slots it filled, 0 for none.
static int32_t readRecords(const char16_t* path, HistoryRecord* image, int32_t room)
{
    long got = readFileStart(path, image, static_cast<size_t>(room) * sizeof(HistoryRecord));
    if (got <= 0) return 0;
    int32_t whole = int32_t(got / long(sizeof(HistoryRecord)));
    if (whole < room && got % long(sizeof(HistoryRecord)) != 0) std::memset(&image[whole], 0, sizeof(HistoryRecord));
    return whole;
}

// The store's slots from the file's n records: put in date order, newest first,
// empty slots at the end (files written before the store kept date order had a
// fill's older days in front), then cut to the newest the store holds. Of two
// records with one date, the one nearer the front stays in front.
static void takeRecords(const HistoryRecord* image, int32_t n)
{
    auto* keys = static_cast<SlotKey*>(std::malloc(size_t(n > 0 ? n : 1) * sizeof(SlotKey)));
    if (!keys) return;
    for (int32_t i = 0; i < n; ++i) keys[i] = SlotKey{slotNumber(image[i].code), i};
    std::qsort(keys, size_t(n), sizeof(SlotKey), compareSlotKeys);
    for (int32_t i = 0; i < n && i < history.capacity; ++i)
        std::memcpy(&history.records[i], &image[keys[i].index], sizeof(HistoryRecord));
    std::free(keys);
}

// Reads up to room records of the history file and takes them; false when the
// file may hold more (it filled the room) or there was no memory for them.
static bool takeFileRecords(const char16_t* path, int32_t room)
{
    auto* image = static_cast<HistoryRecord*>(std::calloc(size_t(room), sizeof(HistoryRecord)));
    if (!image) return false;
    int32_t n = readRecords(path, image, room);
    takeRecords(image, n);
    std::free(image);
    return n < room;
}

// Reads the history file whole (as far as any store could hold: a file written at
// a greater history length keeps its newest days here too). One record more than
// the store is read first, so only a longer file costs the whole read.
static void readHistoryFile(const char16_t* path)
{
    int32_t room = history.capacity < MaxHistoryLength ? history.capacity + 1 : MaxHistoryLength;
    if (!takeFileRecords(path, room) && room < MaxHistoryLength) takeFileRecords(path, MaxHistoryLength);
}

// The other currencies' rates from the companion file; whatever is wrong with it
// leaves them absent, and the history file's days as they are. Its records are
// newest first, as the store writes them: the store's own count of them is read.
static void readCompanionFile()
{
    char16_t path[260];
    unsigned char header[CompanionHeaderBytes];
    if (!companionPath(path, 260, history.path)) return;
    if (readFileStart(path, header, sizeof header) != long(sizeof header)) return;
    size_t recordBytes = size_t(header[6]) | size_t(header[7]) << 8;
    if (recordBytes > CompanionLargestRecord) return;
    size_t room = CompanionHeaderBytes + size_t(history.capacity) * recordBytes;
    auto* image = static_cast<unsigned char*>(std::malloc(room));
    if (!image) return;
    long got = readFileStart(path, image, room);
    if (got > 0) mergeCompanionImage(image, size_t(got), history.records, history.capacity);
    std::free(image);
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
    if (!history.path[0]) return;
    readHistoryFile(history.path);
    readCompanionFile();
}

// Whether the files lag behind memory: the last save failed. Under historyLock.
static bool unsaved;

// The history file, records of the first RecordCurrencies rates, then the
// companion file with the others; each is replaced whole, so a crash between the
// two leaves days that still pair by their dates.
static bool writeFiles()
{
    int32_t n = history.capacity;
    auto* image = static_cast<HistoryRecord*>(std::malloc(size_t(n) * sizeof(HistoryRecord)));
    size_t companionSize = companionImageSize(history.records, n);
    auto* companion = static_cast<unsigned char*>(std::malloc(companionSize));
    char16_t path[260];
    bool saved = image && companion && companionPath(path, 260, history.path);
    if (saved) {
        for (int32_t i = 0; i < n; ++i) std::memcpy(&image[i], &history.records[i], sizeof(HistoryRecord));
        writeCompanionImage(history.records, n, companion);
        saved = replaceFileContents(history.path, image, size_t(n) * sizeof(HistoryRecord)) &&
                replaceFileContents(path, companion, companionSize);
    }
    std::free(image);
    std::free(companion);
    return saved;
}

bool saveHistory()
{
    // With no place for the files the store lives in memory only: nothing to keep.
    unsaved = history.path[0] != 0 && !writeFiles();
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
