#include "data/history.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "data/calendar.h"
#include "data/companion.h"
#include "data/filelag.h"
#include "platform/fileio.h"
#include "platform/text16.h"

HistoryStore history;

// How the two files stand against memory. "Unread": the file was there but could
// not be read (another program held it); it is never written over until it has
// been read and its days taken in. "Unsaved": memory holds what the file lacks, a
// save is due. Written under historyLock, read without it.
// Kept as bits of fileLag (data/keepfiles.h). CapacityGuessed: the store's size
// is a guess (the settings file could not be read yet): the history file is not
// written at that size.
// The rates past this build's currencies that the companion file held.
static CompanionTail companionTail;

bool historyFilesHold() { return !lagging(HistoryLags); }

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

// Reads up to room records of the history file into image; how many whole ones
// it read (a cut last record is not a record), FileUnreadable for a file that is
// there but could not be read.
static int32_t readRecords(const char16_t* path, HistoryRecord* image, int32_t room)
{
    long got = readFileStart(path, image, static_cast<size_t>(room) * sizeof(HistoryRecord));
    if (got == FileUnreadable) return int32_t(FileUnreadable);
    return got <= 0 ? 0 : int32_t(got / long(sizeof(HistoryRecord)));
}

// The n records of image put into out (capacity slots, zero) in date order, newest
// first, empty slots at the end (files written before the store kept date order
// had a fill's older days in front), cut to the newest out holds. Of two records
// with one date, the one nearer the front stays in front.
static void takeRecords(const HistoryRecord* image, int32_t n, DayRates* out, int32_t capacity)
{
    auto* keys = static_cast<SlotKey*>(std::malloc(size_t(n > 0 ? n : 1) * sizeof(SlotKey)));
    if (!keys) return;
    bool ordered = true;  // as the store writes them: no sort needed
    for (int32_t i = 0; i < n; ++i) {
        keys[i] = SlotKey{slotNumber(image[i].code), i};
        ordered = ordered && (i == 0 || keys[i - 1].number >= keys[i].number);
    }
    if (!ordered) std::qsort(keys, size_t(n), sizeof(SlotKey), compareSlotKeys);
    for (int32_t i = 0; i < n && i < capacity; ++i) std::memcpy(&out[i], &image[keys[i].index], sizeof(HistoryRecord));
    std::free(keys);
}

enum class FileRead { Taken, MayHoldMore, Unreadable, NoMemory };

static FileRead takeFileRecords(const char16_t* path, int32_t room, DayRates* out, int32_t capacity)
{
    auto* image = static_cast<HistoryRecord*>(std::malloc(size_t(room) * sizeof(HistoryRecord)));
    if (!image) return FileRead::NoMemory;
    int32_t n = readRecords(path, image, room);
    if (n >= 0) takeRecords(image, n, out, capacity);
    std::free(image);
    return n < 0 ? FileRead::Unreadable : n < room ? FileRead::Taken : FileRead::MayHoldMore;
}

// Reads the history file whole into out (as far as any store could hold: a file
// written at a greater history length keeps its newest days here too). One record
// more than the store is read first, so only a longer file costs the whole read.
// False when the file is there but could not be read.
static bool readHistoryFile(DayRates* out, int32_t capacity)
{
    int32_t room = capacity < MaxHistoryLength ? capacity + 1 : MaxHistoryLength;
    FileRead read = takeFileRecords(history.path, room, out, capacity);
    if (read == FileRead::MayHoldMore && room < MaxHistoryLength)
        read = takeFileRecords(history.path, MaxHistoryLength, out, capacity);
    return read != FileRead::Unreadable;
}

// The other currencies' rates from the companion file into the days of out;
// whatever is wrong with it leaves them absent, and the days as they are. One read
// at this build's record size (the store's count of records, newest first as the
// store writes them), a second only for a later build's wider records. False when
// the file is there but could not be read.
static bool readCompanionFile(DayRates* out, int32_t capacity)
{
    char16_t path[260];
    if (!companionPath(path, 260, history.path)) return true;
    size_t recordBytes = CompanionRecordBytes;
    for (int pass = 0; pass < 2; ++pass) {
        size_t room = CompanionHeaderBytes + size_t(capacity) * recordBytes;
        auto* image = static_cast<unsigned char*>(std::malloc(room));
        if (!image) return true;
        long got = readFileStart(path, image, room);
        size_t wanted = got >= long(CompanionHeaderBytes) ? size_t(image[6]) | size_t(image[7]) << 8 : recordBytes;
        bool again = pass == 0 && wanted > recordBytes && wanted <= CompanionLargestRecord;
        if (got > 0 && !again) mergeCompanionImage(image, size_t(got), out, capacity, &companionTail);
        std::free(image);
        if (got == FileUnreadable) return false;
        if (!again) return true;
        recordBytes = wanted;
    }
    return true;
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

// rec's present rates laid over its stored day, or rec itself for a day not stored.
static DayRates mergedWithStored(const DayRates& rec)
{
    DayRates merged = findDayHeld(rec.code);
    if (merged.code.day == 0) return rec;
    for (int c = 0; c < CurrencyCount; ++c)
        if (rec.rates[c].nominal > 0) merged.rates[c] = rec.rates[c];
    return merged;
}

// Lays count days over the store (held lock, no write); true when any changed it.
static bool placeDays(const DayRates* recs, int32_t count, bool merge)
{
    bool changed = false;
    for (int32_t i = 0; i < count; ++i)
        if (recs[i].code.day != 0 && placeDay(merge ? mergedWithStored(recs[i]) : recs[i])) changed = true;
    return changed;
}

// The files read afresh into a store of capacity days (held lock), and the days
// memory holds laid over theirs: the days fetched meanwhile stay, newest kept, and
// their rates win over the file's. A file that still can't be read leaves all as
// it was; false then.
static bool takeFilesIn(int32_t capacity, bool readHistory)
{
    auto* fresh = static_cast<DayRates*>(std::calloc(size_t(capacity), sizeof(DayRates)));
    if (!fresh) return false;
    if (readHistory && !readHistoryFile(fresh, capacity)) {
        std::free(fresh);
        return false;
    }
    DayRates* held = history.records;
    int32_t heldCount = history.capacity;
    history.records = fresh;
    history.capacity = capacity;
    bool changed = placeDays(held, heldCount, true);
    if (readHistory) {
        setLag(CompanionUnread, !readCompanionFile(fresh, capacity));
        setLag(HistoryUnread, false);
    }
    std::free(held);
    if (changed) setLag(HistoryUnsaved | CompanionUnsaved, true);
    return true;
}

void loadHistory(const char16_t* path, int32_t capacity, bool capacityIsAGuess)
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
    setLag(CapacityGuessed, capacityIsAGuess && history.path[0]);
    if (!history.path[0]) return;
    setLag(HistoryUnread, !readHistoryFile(history.records, capacity));
    // The companion's days are the history file's: with that unread it waits too.
    setLag(CompanionUnread, lagging(HistoryUnread) || !readCompanionFile(history.records, capacity));
}

// The files' images written: the history file's records of the first
// RecordCurrencies rates, the companion file's of the others; each is replaced
// whole, so a crash between the two leaves days that still pair by their dates.
// Each is written only when asked for; false when either write failed.
static bool writeFiles(bool historyFile, bool companionFile)
{
    int32_t n = history.capacity;
    bool saved = true;
    if (historyFile) {
        auto* image = static_cast<HistoryRecord*>(std::malloc(size_t(n) * sizeof(HistoryRecord)));
        if (image)
            for (int32_t i = 0; i < n; ++i) std::memcpy(&image[i], &history.records[i], sizeof(HistoryRecord));
        setLag(HistoryUnsaved, !image || !replaceFileContents(history.path, image, size_t(n) * sizeof(HistoryRecord)));
        saved = !lagging(HistoryUnsaved);
        std::free(image);
    }
    char16_t path[260];
    if (companionFile && companionPath(path, 260, history.path)) {
        size_t size = companionImageSize(history.records, n, &companionTail);
        auto* image = static_cast<unsigned char*>(std::malloc(size));
        if (image) writeCompanionImage(history.records, n, image, &companionTail);
        setLag(CompanionUnsaved, !image || !replaceFileContents(path, image, size));
        saved = saved && !lagging(CompanionUnsaved);
        std::free(image);
    }
    return saved;
}

// Brings the files up to memory (held lock): a file that could not be read is
// read first and its days taken in, and only then written; a store whose size is
// a guess writes nothing. Writes the files that are due, or both with all set.
static bool bringFilesUp(bool all)
{
    // With no place for the files the store lives in memory only: nothing to keep.
    if (!history.path[0]) return true;
    if (all) setLag(HistoryUnsaved | CompanionUnsaved, true);
    if (lagging(CapacityGuessed)) return false;
    if (lagging(HistoryUnread) && !takeFilesIn(history.capacity, true)) return false;
    if (lagging(CompanionUnread)) {
        setLag(CompanionUnread, !readCompanionFile(history.records, history.capacity));
        if (lagging(CompanionUnread)) {
            // The history file alone may go ahead: its days pair by their dates.
            if (lagging(HistoryUnsaved)) writeFiles(true, false);
            return false;
        }
    }
    return writeFiles(lagging(HistoryUnsaved), lagging(CompanionUnsaved));
}

bool saveHistory() { return bringFilesUp(true); }

bool saveHistoryIfUnsaved()
{
    if (!history.records || historyFilesHold()) return true;
    enterLock(history.historyLock);
    bool saved = bringFilesUp(false);
    leaveLock(history.historyLock);
    return saved;
}

void settleHistoryCapacity(int32_t capacity)
{
    if (!history.records || !lagging(CapacityGuessed)) return;
    enterLock(history.historyLock);
    setLag(CapacityGuessed, false);
    if (capacity >= 1 && capacity <= MaxHistoryLength && capacity != history.capacity)
        takeFilesIn(capacity, !lagging(HistoryUnread));
    bringFilesUp(false);
    leaveLock(history.historyLock);
}

void freeHistory(bool leaveInPlace)
{
    if (!history.records || leaveInPlace) return;
    saveHistoryIfUnsaved();
    setLag(HistoryLags, false);
    freeCompanionTail(companionTail);
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

void storeDay(const DayRates& rec) { storeDays(&rec, 1); }

static void placeAndSave(const DayRates* recs, int32_t count, bool merge)
{
    if (!history.records || count < 1) return;
    enterLock(history.historyLock);
    if (placeDays(recs, count, merge)) saveHistory();
    leaveLock(history.historyLock);
}

void storeDays(const DayRates* recs, int32_t count) { placeAndSave(recs, count, false); }
void mergeDays(const DayRates* recs, int32_t count) { placeAndSave(recs, count, true); }
