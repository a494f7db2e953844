// Reader of the bank's documents, daily and over a range of days, on the scanner
// of update/xmlscan.h.
#pragma once
#include <cstddef>

#include "data/currency.h"
#include "update/xmlscan.h"

// Capacities, each counting the terminating NUL.
constexpr size_t RootAttributeCapacity = 64;
constexpr size_t CodeCapacity = 8;
constexpr size_t NominalCapacity = 16;
constexpr size_t ValueCapacity = 16;
constexpr size_t CurrencyIdCapacity = 16;  // "R01235": the service's own name of a currency

// Reads a whole document (NUL-terminated; lower-cased in place) into rates.
// A document is read only when it is whole: the root with its end tag and a
// date that is a real calendar day within the years a day code holds, and at
// least one table currency quoted (nominal and rate above 0). Anything else
// gives false and an all-zero record.
bool parseDailyRates(char* text, DayRates& rates);
// The same for the length bytes at text (text[length] is NUL); false when a NUL
// lies inside them, as in a damaged body.
bool parseDailyRates(char* text, size_t length, DayRates& rates);

// The service's ID of a table currency, as the last daily document read gave it
// ("R01235"); empty while no document has named it.
const char* currencyId(int currency);
#ifdef VOK_TEST
void forgetCurrencyIds();
#endif

// Reads the range document of one currency (root "ValCurs" with "DateRange1",
// one "Record Date=..." per day quoted; NUL-terminated, lower-cased in place)
// into days: days[k] is the day with dayNumber firstNumber + k, k below span.
// A record sets that day's code and the currency's entry; other currencies are
// left alone. Returns the records read, 0 for an empty root (not quoted in the
// range), -1 when the text is no whole range document, or is for another ID.
int32_t parseRangeRates(char* text, size_t length, int currency, const char* id, int32_t firstNumber, DayRates* days,
                        int32_t span);

// Number fields as the document writes them (exposed for tests).
int readIntegerField(const char* text);
double readRateField(const char* text);
