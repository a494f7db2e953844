// Currencies, day codes and the one-day rates record.
// Plain data and pure functions; the record layouts are file formats.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int CurrencyCount = 17;

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

struct DayRates {
    DayCode code;
    uint8_t reserved;
    RateEntry rates[CurrencyCount];
};

static_assert(sizeof(DayCode) == 3, "DayCode is 3 bytes");
static_assert(offsetof(DayCode, day) == 0 && offsetof(DayCode, month) == 1 &&
                  offsetof(DayCode, yearCode) == 2,
              "DayCode layout");
static_assert(sizeof(RateEntry) == 8, "RateEntry is 8 bytes");
static_assert(offsetof(RateEntry, nominal) == 0 && offsetof(RateEntry, rate) == 4, "RateEntry layout");
static_assert(sizeof(float) == 4, "rates are IEEE singles");
static_assert(sizeof(DayRates) == 140, "DayRates is 140 bytes");
static_assert(offsetof(DayRates, code) == 0 && offsetof(DayRates, reserved) == 3 &&
                  offsetof(DayRates, rates) == 4,
              "DayRates layout");
static_assert(offsetof(DayRates, rates) + 8 * 16 + 4 == 136, "CHF rate at 136");

bool sameDay(const DayCode& a, const DayCode& b);
DayCode makeDayCode(int day, int month, int year);
int yearOf(const DayCode& code);

uint8_t DayOfWeek(const DayCode& code);
