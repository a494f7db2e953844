#include "data/currency.h"

#include <cstring>

// Row 5 is the Belarusian rouble as the bank has published it since 2016 (BYN,
// ID R01090B); the slot is the one the old BYR used, so the files are unchanged.
// From row 17 on, the other currencies of the bank's daily table, the yuan first,
// then in the order of the bank's IDs; each reads as its ISO code.
const char isoCode[CurrencyCount][5] = {
    "EUR", "USD", "GBP", "JPY", "UAH", "BYN", "AUD", "DKK", "ISK", "KZT", "CAD", "NOK", "XDR", "SGD", "TRY",
    "SEK", "CHF", "CNY", "AZN", "AMD", "BGN", "BRL", "HUF", "VND", "HKD", "GEL", "AED", "EGP", "INR", "IDR",
    "QAR", "KGS", "MDL", "NZD", "PLN", "RON", "TJS", "THB", "TMT", "UZS", "CZK", "RSD", "ZAR", "KRW"};

const char16_t symbol[CurrencyCount][5] = {
    u"\u20AC", u"$",   u"\u00A3", u"\u00A5", u"UAH", u"BYN", u"AUD", u"DKK", u"ISK", u"KZT", u"CAD",
    u"NOK",    u"XDR", u"SGD",    u"TRY",    u"SEK", u"CHF", u"CNY", u"AZN", u"AMD", u"BGN", u"BRL",
    u"HUF",    u"VND", u"HKD",    u"GEL",    u"AED", u"EGP", u"INR", u"IDR", u"QAR", u"KGS", u"MDL",
    u"NZD",    u"PLN", u"RON",    u"TJS",    u"THB", u"TMT", u"UZS", u"CZK", u"RSD", u"ZAR", u"KRW"};

static_assert(sizeof(isoCode[0]) == 5 && sizeof(symbol[0]) == 10, "table slot widths");

bool sameDay(const DayCode& a, const DayCode& b) { return std::memcmp(&a, &b, sizeof(DayCode)) == 0; }

DayCode makeDayCode(int day, int month, int year)
{
    DayCode c;
    c.day = static_cast<uint8_t>(day);
    c.month = static_cast<uint8_t>(month);
    c.yearCode = static_cast<uint8_t>(year + 59);
    return c;
}

int yearOf(const DayCode& code) { return code.yearCode + 1989; }

// Gregorian weekday (Sakamoto's method), 0 = Sunday.
uint8_t DayOfWeek(const DayCode& code)
{
    static const int offsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int y = yearOf(code);
    int m = code.month;
    if (m < 1 || m > 12) return 0;
    if (m < 3) y -= 1;
    return static_cast<uint8_t>((y + y / 4 - y / 100 + y / 400 + offsets[m - 1] + code.day) % 7);
}
