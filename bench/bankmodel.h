// The bank as poll_figures simulates it: the Russian production calendar of
// December 2025 and 2026, one table published on each working day at a fixed
// Moscow time and dated the next calendar day, and the answers of its daily
// service to the latest and the date_req request, as documents in its format.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Civil days: days since 1 January 1970 (Gregorian), so that the bench can walk
// a year by the minute without the core's day codes.
int32_t civilDay(int year, int month, int day);
void civilDate(int32_t number, int& year, int& month, int& day);
int civilWeekday(int32_t number);  // 0 = Sunday
// A working day of the Moscow exchange and the bank: no weekend, no public
// holiday (the days off of December 2025 and of the whole of 2026).
bool isWorkingDay(int32_t number);

constexpr int64_t MinuteMs = 60 * 1000;
constexpr int64_t HourMs = 60 * MinuteMs;
constexpr int64_t DayMs = 24 * HourMs;
constexpr int MoscowOffsetMinutes = 3 * 60;  // UTC+3 all year

// The currencies each table quotes (their rates move from table to table).
constexpr int TableCurrencies = 4;

struct BankTable {
    int32_t dated;        // the civil day the table carries
    int64_t publishedMs;  // when it came out, UTC milliseconds since 1970
    double rate[TableCurrencies];  // each quoted currency's price of its nominal, as the document writes it
};

class Bank {
public:
    // The tables of every working day from 1 December 2025 to 31 December 2026,
    // each out at publishMinute after midnight, Moscow time.
    explicit Bank(int publishMinute);
    int publishMinute() const { return minute; }
    const std::vector<BankTable>& tables() const { return published; }
    // The table a request made at utcMs gets: the newest published by then
    // (latest), or the newest published by then dated on or before day. -1 when
    // there is none.
    int answer(int64_t utcMs, bool latest, int32_t day) const;
    // The document of table index in the bank's daily form (windows-1251, CRLF,
    // comma decimals), NUL-terminated in out; for -1 the empty root the service
    // sends when it has no table. Returns its length.
    size_t document(int index, std::vector<char>& out) const;
    // The tables dated in year.
    int datedIn(int year) const;
    // Row of the core's currency table of quoted currency k, for checking what was stored.
    static int currencyRow(int k);

private:
    int minute;
    std::vector<BankTable> published;  // in order of publication, so of date too
};
