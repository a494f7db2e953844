#include "update/ratesurl.h"

#include "data/numbertext.h"
#include "platform/text16.h"

char16_t ratesServiceBase[RatesServiceBaseCapacity] = u"http://www.cbr.ru";

static const char latestPath[] = "/scripts/XML_daily.asp?nocache";
static const char datePath[] = "/scripts/XML_daily.asp?date_req=";
static const char rangePath[] = "/scripts/XML_dynamic.asp?date_req1=";

static bool append(char16_t* out, size_t capacity, size_t* length, const char* text)
{
    return appendText(out, capacity, *length, text);
}

// The service's base at the start of out; false when it did not fit.
static bool appendBase(char16_t* out, size_t capacity, size_t* length)
{
    if (!out || capacity == 0) return false;
    out[0] = 0;
    *length = 0;
    for (size_t i = 0; i < RatesServiceBaseCapacity && ratesServiceBase[i]; ++i) {
        if (*length + 1 >= capacity) return false;
        out[(*length)++] = ratesServiceBase[i];
        out[*length] = 0;
    }
    return true;
}

// "dd/mm/yyyy"; the year is 1989 to 2244.
static bool appendDate(char16_t* out, size_t capacity, size_t* length, const DayCode& day)
{
    char field[16];
    formatWhole(field, sizeof field, day.day, 2);
    if (!append(out, capacity, length, field) || !append(out, capacity, length, "/")) return false;
    formatWhole(field, sizeof field, day.month, 2);
    if (!append(out, capacity, length, field) || !append(out, capacity, length, "/")) return false;
    formatWhole(field, sizeof field, yearOf(day), 0);
    return append(out, capacity, length, field);
}

bool buildRatesUrl(char16_t* out, size_t capacity, bool latest, const DayCode& day)
{
    size_t length = 0;
    if (!appendBase(out, capacity, &length)) return false;
    if (latest) return append(out, capacity, &length, latestPath);
    return append(out, capacity, &length, datePath) && appendDate(out, capacity, &length, day);
}

bool buildRangeUrl(char16_t* out, size_t capacity, const char* currencyId, const DayCode& from, const DayCode& to)
{
    size_t length = 0;
    if (!appendBase(out, capacity, &length)) return false;
    if (!currencyId || !currencyId[0]) return false;
    // The ID goes into the query as it is: only letters and digits are let through.
    for (const char* c = currencyId; *c; ++c)
        if (!((*c >= '0' && *c <= '9') || (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z'))) return false;
    return append(out, capacity, &length, rangePath) && appendDate(out, capacity, &length, from) &&
           append(out, capacity, &length, "&date_req2=") && appendDate(out, capacity, &length, to) &&
           append(out, capacity, &length, "&VAL_NM_RQ=") && append(out, capacity, &length, currencyId);
}
