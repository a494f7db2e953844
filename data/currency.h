// Currencies, day codes and the one-day rates records.
// Plain data and pure functions; the record layouts are file formats.
#pragma once
#include <cstddef>
#include <cstdint>

// Rows 0-16 are the history file's own (its record holds exactly these); the
// others are appended after them, in a fixed order, and only ever appended: an
// index is stored in the files, so none is reused or moved.
constexpr int RecordCurrencies = 17;
constexpr int CurrencyCount = 44;
constexpr int ExtraCurrencies = CurrencyCount - RecordCurrencies;

// Row i of the currency table is currency i everywhere in the system.
extern const char isoCode[CurrencyCount][5];
extern const char16_t symbol[CurrencyCount][5];

struct DayCode {
    uint8_t day;       // 1..31, 0 = no day
    uint8_t month;     // 1..12
    uint8_t yearCode;  // (year + 59) mod 256
};

struct RateEntry {
    int32_t nominal;  // units the rate prices; 0 when absent
    float rate;       // price of nominal units in roubles
};

// One day's rates of every currency, as the program holds them. Its first 140
// bytes are the history file's record of that day (HistoryRecord), the rest is
// what the companion file keeps of it.
struct DayRates {
    DayCode code;
    uint8_t reserved;
    RateEntry rates[CurrencyCount];
};

// A record of the history file: the day and the first RecordCurrencies rates.
struct HistoryRecord {
    DayCode code;
    uint8_t reserved;
    RateEntry rates[RecordCurrencies];
};

static_assert(sizeof(DayCode) == 3, "DayCode is 3 bytes");
static_assert(offsetof(DayCode, day) == 0 && offsetof(DayCode, month) == 1 &&
                  offsetof(DayCode, yearCode) == 2,
              "DayCode layout");
static_assert(sizeof(RateEntry) == 8, "RateEntry is 8 bytes");
static_assert(offsetof(RateEntry, nominal) == 0 && offsetof(RateEntry, rate) == 4, "RateEntry layout");
static_assert(sizeof(float) == 4, "rates are IEEE singles");
static_assert(sizeof(HistoryRecord) == 140, "HistoryRecord is 140 bytes");
static_assert(offsetof(HistoryRecord, code) == 0 && offsetof(HistoryRecord, reserved) == 3 &&
                  offsetof(HistoryRecord, rates) == 4,
              "HistoryRecord layout");
static_assert(offsetof(HistoryRecord, rates) + 8 * 16 + 4 == 136, "CHF rate at 136");
static_assert(offsetof(DayRates, rates) == offsetof(HistoryRecord, rates), "a day's record is its start");

bool sameDay(const DayCode& a, const DayCode& b);
DayCode makeDayCode(int day, int month, int year);
int yearOf(const DayCode& code);

uint8_t DayOfWeek(const DayCode& code);
