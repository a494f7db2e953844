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

// The companion image of the n records' stored days: its size, and the image
// itself written into out (of at least that size).
size_t companionImageSize(const DayRates* records, int32_t n);
void writeCompanionImage(const DayRates* records, int32_t n, unsigned char* out);

// What a companion image holds for records (n of them, in date order, newest
// first): each of its days that records hold gets its rates there, as far as this
// build's list reaches; a damaged or short image, a day records lack and a rate
// that is no price are left out, and nothing else of records is touched. How many
// days got their rates; -1 when the header is not a companion file's.
int32_t mergeCompanionImage(const unsigned char* image, size_t size, DayRates* records, int32_t n);

// The companion file's path beside the history file's: its ".his" read ".hix"
// (any other name gets ".hix" added). False when it does not fit capacity.
bool companionPath(char16_t* out, size_t capacity, const char16_t* historyPath);
