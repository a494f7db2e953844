// The history table's texts and its row order, apart from any window.
#pragma once
#include <cstddef>
#include <cstdint>

#include "data/currency.h"

// A sort column: 0 is the date, c the currency c - 1.
constexpr int TableColumns = CurrencyCount + 1;
// Room for any cell or header text.
constexpr int CellTextUnits = 64;

// "dd/mm/yyyy" of a day code; the all-zero code reads 00/00/1989.
void formatDay(char16_t* out, size_t capacity, const DayCode& code);

// A stored rate as the table shows it: digits after the point ("%.0<digits>f"),
// the first '.' turned into ',' with comma set.
void formatRate(char16_t* out, size_t capacity, double rate, int digits, bool comma);

// The header of currency's column: its symbol, followed by "(nominal)" when the
// shown day prices more than one unit; "Дата" for currency -1, the date column.
void formatColumnHeader(char16_t* out, size_t capacity, int currency, int32_t nominal);

// The table's rows: the filled slots at the front of the store, up to the first empty one.
int32_t countRows(const DayRates* records, int32_t capacity);

// The table's currencies after the date, column by column, into currencies (room
// for CurrencyCount): the history record's own, then each other one that has a
// rate on some of the count rows, in list order. How many.
int tableCurrencies(const DayRates* rows, int32_t count, uint8_t* currencies);

// A day's rate as the price of unit units (the column header's nominal), whatever
// nominal the day was published for; as stored when either nominal is unknown.
double rateForNominal(const RateEntry& entry, int32_t unit);

// Orders two rows by column: by day distance for the date, by rate in thousandths
// for a currency (closer than 0.001 is equal), each rate for the shown day's
// nominal when shown is given. Positive when a sorts after b; descending turns
// the order round. Columns outside the table compare equal.
int32_t compareRows(const DayRates& a, const DayRates& b, int column, bool descending,
                    const DayRates* shown = nullptr);

// The whole table as tab-separated text, for a spreadsheet: a header row ("Дата",
// then each of the table's currencies' code with the shown day's nominal when above one), then
// one row per entry of order, CR LF after each. A rate is given per the header's
// nominal, so a day with another nominal still fits its column; a day without
// the currency leaves its cell empty. The length written, or 0 (and an empty
// text) when capacity is short. Without out, the length it would have.
size_t composeTableText(char16_t* out, size_t capacity, const DayRates* rows, const uint16_t* order, int32_t count,
                        const DayRates& shown, int digits, bool comma);

// The dialog's title: "Курсы"; while a fill runs (done >= 0) its requests made
// and expected, "Курсы  7 / 18"; after a failed fill "Курсы  ошибка".
void composeRatesCaption(char16_t* out, size_t capacity, int32_t done, int32_t planned, bool failed);
