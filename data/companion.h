// The companion file of the history: the rates of the currencies after the
// history record's own (rows RecordCurrencies and on), one record per stored day,
// each with its day, so that no day's rates can ever be paired with another's.
// The history file itself stays as older builds read it.
//
// Layout: a header ('v' 'o' 'k' 'X', the number of currencies per record and the
// record's size, both little-endian 16-bit), then one record per day: the day
// code, a reserved byte, then a RateEntry per currency in list order.
#pragma once
#include <cstddef>
#include <cstdint>

#include "data/currency.h"

constexpr size_t CompanionHeaderBytes = 8;
constexpr size_t CompanionRecordBytes = 4 + ExtraCurrencies * sizeof(RateEntry);
// A later build may keep more currencies per record; one that claims more than
// this is damaged.
constexpr int CompanionMostCurrencies = 64;
constexpr size_t CompanionLargestRecord = 4 + CompanionMostCurrencies * sizeof(RateEntry);

// What a companion file written by a later build holds past this build's list:
// for each of its days that the store holds, the rates of the currencies this
// build does not know, kept so that a save writes them back as they were.
struct CompanionTail {
    int32_t currencies;      // rates per day past this build's list; 0: none kept
    int32_t days;
    unsigned char* records;  // days records, newest first: the day code, a reserved byte, the rates
};
void freeCompanionTail(CompanionTail& tail);

// The companion image of the n records' stored days: its size, and the image
// itself written into out (of at least that size). With a tail, each record
// reaches as far as the later build's did, its days' unknown rates as they were
// (absent for a day it did not have).
size_t companionImageSize(const DayRates* records, int32_t n, const CompanionTail* tail = nullptr);
void writeCompanionImage(const DayRates* records, int32_t n, unsigned char* out, const CompanionTail* tail = nullptr);

// What a companion image holds for records (n of them, in date order, newest
// first): each of its days that records hold gets its rates there, as far as this
// build's list reaches, where records have no rate of that currency yet (a rate
// fetched since wins); a damaged or short image, a day records lack and a rate
// that is no price are left out, and nothing else of records is touched. How many
// days got their rates; -1 when the header is not a companion file's. With tail,
// the rates past this build's list are kept there (replacing what it held).
int32_t mergeCompanionImage(const unsigned char* image, size_t size, DayRates* records, int32_t n,
                            CompanionTail* tail = nullptr);

// The slot of an array of n records (stride bytes apart, each starting with its
// day code, newest first) that holds day; -1 when none does. A damaged code that
// sorts equal to a real day never hides it.
int32_t findDaySlot(const void* base, size_t stride, int32_t n, const DayCode& day);

// The companion file's path beside the history file's: its ".his" read ".hix"
// (any other name gets ".hix" added). False when it does not fit capacity.
bool companionPath(char16_t* out, size_t capacity, const char16_t* historyPath);
