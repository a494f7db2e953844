#include "update/ratesurl.h"

#include <cstdio>

char16_t ratesServiceBase[RatesServiceBaseCapacity] = u"http://www.cbr.ru";

static const char latestPath[] = "/scripts/XML_daily.asp?nocache";

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
    // The year is always yearCode + 1989: 1989 to 2244.
    char path[64];
    std::snprintf(path, sizeof path, "/scripts/XML_daily.asp?date_req=%02d/%02d/%d", day.day, day.month,
                  day.yearCode + 1989);
    return append(out, capacity, &length, path);
}
