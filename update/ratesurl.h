// The request URL of the bank's daily-rates service.
#pragma once
#include <cstddef>

#include "data/currency.h"

constexpr size_t RatesServiceBaseCapacity = 128;
// Room for the base and the longest request form (the range form with its ID).
constexpr size_t RatesUrlCapacity = RatesServiceBaseCapacity + 128;

// Scheme and host of the service, no trailing '/': u"http://www.cbr.ru".
// The one place that names the host; the Wine tests point it at a local server.
extern char16_t ratesServiceBase[RatesServiceBaseCapacity];

// Builds the request for the latest rates ("...?nocache"; day is not read) or for
// the given day ("...?date_req=dd/mm/yyyy"). The result always ends in NUL within
// capacity; false when it had to be cut (a cut URL names some other document).
bool buildRatesUrl(char16_t* out, size_t capacity, bool latest, const DayCode& day);
// Builds the request for one currency's rates over a range of days:
// "/scripts/XML_dynamic.asp?date_req1=dd/mm/yyyy&date_req2=dd/mm/yyyy&VAL_NM_RQ=id".
// False when it had to be cut, or the ID is empty or not letters and digits.
bool buildRangeUrl(char16_t* out, size_t capacity, const char* currencyId, const DayCode& from, const DayCode& to);
