// The history store: the last days' rates in a fixed array, mirrored whole to
// the history file after every change. One lock serialises all of it.
#pragma once
#include <cstdint>

#include "data/currency.h"
#include "platform/lock.h"

struct HistoryStore {
    DayRates* records;  // null when the store is absent
    int32_t capacity;
    PlatformLock historyLock;
    char16_t path[260];
};

extern HistoryStore history;

// Creates the store with room for capacity days and reads the file at path and
// its companion. A capacity below 1, or a failed allocation, leaves the store
// absent: every operation is then a harmless no-op. A file that is there but
// could not be read (another program holding it) is left as it is: the store
// starts without its days, and takes them in when a later save or retry can read
// it. With capacityIsAGuess (the settings file, which gives the history length,
// could not be read) nothing is written until settleHistoryCapacity.
void loadHistory(const char16_t* path, int32_t capacity, bool capacityIsAGuess = false);
// The history length, once the settings file could be read: the store takes that
// size (the files read again, the days fetched meanwhile kept), and its saves go
// ahead. Nothing when the size was no guess.
void settleHistoryCapacity(int32_t capacity);
// Writes both files whole; called with historyLock held. A file that could not
// be read is read first and its days taken in; false when that still fails, or
// a file could not be replaced (another program holding it open, a read-only
// folder, a full disk): the store then stays unsaved, and memory keeps what it
// holds, until a later save succeeds.
bool saveHistory();
// Brings the files up to memory when they lag: reads a file that could not be
// read, writes only the file whose save is due. True once both hold what memory
// holds (or there is no file to hold it). Takes historyLock only when they lag.
bool saveHistoryIfUnsaved();
// Deletes the lock and frees the array, after a last try at an unsaved store's
// file. With leaveInPlace set the store stays as it is (a worker may still be
// inside an operation).
void freeHistory(bool leaveInPlace = false);

DayRates findDay(const DayCode& code);
// Stores a day where its date belongs, newest first; a day already stored is
// replaced in place. In a full store the oldest day gives way, and a day older
// than every stored one is not stored. The file is rewritten whole.
void storeDay(const DayRates& rec);
// The same for count days at once (any order), with one file write at the end.
void storeDays(const DayRates* recs, int32_t count);
// For count days at once: each rate present in a rec (nominal above 0) goes into
// its stored day, whose other rates stay; a day not stored yet is stored as above.
// One file write at the end. A fill's range requests bring one currency at a time.
void mergeDays(const DayRates* recs, int32_t count);
// Whether the files hold what memory holds: no save failed since the last that
// took, and no file waits to be read. A plain atomic read, no lock.
bool historyFilesHold();

// The most days a store holds; a damaged settings file can't ask for more.
constexpr int MaxHistoryLength = 3660;  // ten years

// The nearest stored day to target by rule, in calendar order (dateOrder): start
// is the bound a found day must beat, 0 for the latest-day rules and
// NearestAfterStart for the earliest-after one.
enum class NearestRule { LatestOnOrBefore, LatestBefore, EarliestAfter };
constexpr int32_t NearestAfterStart = 0x7FFFFFFF;
DayCode findNearestDay(const DayCode& target, NearestRule rule, int32_t start);
DayCode findLatestOnOrBefore(const DayCode& target);
DayCode findLatestBefore(const DayCode& target);
DayCode findEarliestAfter(const DayCode& target);
// The same reads for a caller that holds historyLock already.
DayRates findDayHeld(const DayCode& code);
DayCode findLatestBeforeHeld(const DayCode& target);
DayCode findEarliestAfterHeld(const DayCode& target);

// The filled slots of the store and its oldest day (all zero when it is empty),
// read under the lock.
int32_t storedDaySummary(DayCode& oldest);

// The newest stored day (all zero for an empty store), under the lock.
DayCode newestStoredDay();

// Copies up to maxRecords records into out under the lock; returns how many.
int32_t copyHistory(DayRates* out, int32_t maxRecords);

// For callers that must read shared state together with the store.
void lockHistory();
void unlockHistory();
