#include "update/ratesurl.h"

#include "platform/text16.h"

char16_t ratesServiceBase[RatesServiceBaseCapacity] = u"http://www.cbr.ru";

static const char latestPath[] = "/scripts/XML_daily.asp?nocache";
static const char datePath[] = "/scripts/XML_daily.asp?date_req=";

// Appends 8-bit ASCII text at *length; false when it did not fit whole.
static bool append(char16_t* out, size_t capacity, size_t* length, const char* text)
{
    for (size_t i = 0; text[i]; ++i) {
        if (*length + 1 >= capacity) return false;
        out[(*length)++] = static_cast<unsigned char>(text[i]);
        out[*length] = 0;
    }
    return true;
}

bool buildRatesUrl(char16_t* out, size_t capacity, bool latest, const DayCode& day)
{
    if (!out || capacity == 0) return false;
    out[0] = 0;
    size_t length = 0;
    for (size_t i = 0; i < RatesServiceBaseCapacity && ratesServiceBase[i]; ++i) {
        if (length + 1 >= capacity) return false;
        out[length++] = ratesServiceBase[i];
        out[length] = 0;
    }
    if (latest) return append(out, capacity, &length, latestPath);
    // "...?date_req=dd/mm/yyyy"; the year is 1989 to 2244.
    char field[16];
    if (!append(out, capacity, &length, datePath)) return false;
    formatWhole(field, sizeof field, day.day, 2);
    if (!append(out, capacity, &length, field) || !append(out, capacity, &length, "/")) return false;
    formatWhole(field, sizeof field, day.month, 2);
    if (!append(out, capacity, &length, field) || !append(out, capacity, &length, "/")) return false;
    formatWhole(field, sizeof field, yearOf(day), 0);
    return append(out, capacity, &length, field);
}
