// libFuzzer target for the daily-rates reader. The input becomes the document
// body with its length, a NUL after it, as the download hands it over. Besides
// what the sanitizers catch, it stops on:
//  - a reserved byte that is not 0, or a refused document with a non-zero record;
//  - a body with a NUL inside that is read, or changed;
//  - an ASCII byte of the text changed other than by lower-casing A-Z, or its NUL
//    moved (bytes above 127 may be folded too, or not);
//  - a second reading of the (now lower-case) text that gives another answer;
//  - an answer other than that of the plain reading below, which walks the
//    document with findElement and copies every element as the reader's design
//    describes (the reader itself reads the children where they lie), and
//    refuses what is no whole document of a real day with a quoted currency.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "data/currency.h"
#include "update/ratesreader.h"

static bool allZero(const DayRates& rates)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&rates);
    for (size_t i = 0; i < sizeof rates; ++i)
        if (p[i]) return false;
    return true;
}

static bool sameCode(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        char x = *a >= 'A' && *a <= 'Z' ? char(*a + 32) : *a;
        char y = *b >= 'A' && *b <= 'Z' ? char(*b + 32) : *b;
        if (x != y) return false;
        if (!x) return true;
    }
}

// Days in a month of the Gregorian calendar, counted the long way round.
static int daysIn(int month, int year)
{
    if (month == 2) {
        bool leap = year % 400 == 0 || (year % 100 != 0 && year % 4 == 0);
        return leap ? 29 : 28;
    }
    return (month == 4 || month == 6 || month == 9 || month == 11) ? 30 : 31;
}

// The same document read the plain way, on text that is lower-case already.
static bool plainReading(const char* text, DayRates& rates)
{
    static char attributes[RootAttributeCapacity];
    static char root[RootContentCapacity];
    std::memset(&rates, 0, sizeof rates);
    // With its end tag, the root's offset moves past it; without, it stays at the content.
    int contentAt = findElement(text, "valcurs", nullptr, 0, nullptr, 0);
    int after = findElement(text, "valcurs", attributes, sizeof attributes, root, sizeof root);
    if (after == 0 || after == contentAt) return false;
    const char* date = std::strstr(attributes, "date=\"");
    if (!date) return false;
    date += 6;
    char field[8];
    int fields[3];
    const int from[3] = {0, 3, 6}, to[3] = {2, 5, 10};
    for (int f = 0; f < 3; ++f) {
        size_t n = 0;
        bool ended = false;
        for (int i = 0; i < to[f]; ++i) {
            if (!date[i]) {
                ended = true;
                break;
            }
            if (i >= from[f]) field[n++] = date[i];
        }
        field[n] = 0;
        fields[f] = ended && n == 0 ? 0 : readIntegerField(field);
    }
    if (fields[2] < 1989 || fields[2] > 2244 || fields[1] < 1 || fields[1] > 12 || fields[0] < 1 ||
        fields[0] > daysIn(fields[1], fields[2]))
        return false;
    rates.code.day = static_cast<uint8_t>(fields[0]);
    rates.code.month = static_cast<uint8_t>(fields[1]);
    rates.code.yearCode = static_cast<uint8_t>(fields[2] + 59);
    const char* cursor = root;
    for (;;) {
        char element[ElementContentCapacity];
        int advance = findElement(cursor, "valute", nullptr, 0, element, sizeof element);
        if (advance == 0) break;
        char code[CodeCapacity] = {}, nominal[NominalCapacity] = {}, value[ValueCapacity] = {};
        findElement(element, "charcode", nullptr, 0, code, sizeof code);
        findElement(element, "nominal", nullptr, 0, nominal, sizeof nominal);
        findElement(element, "value", nullptr, 0, value, sizeof value);
        if (char* comma = std::strchr(value, ',')) *comma = '.';
        for (int i = 0; i < CurrencyCount; ++i) {
            if (sameCode(code, isoCode[i])) {
                rates.rates[i].nominal = readIntegerField(nominal);
                double rate = readRateField(value);
                if (rate > 3.4028234663852886e38) rate = 3.4028234663852886e38;
                if (rate < -3.4028234663852886e38) rate = -3.4028234663852886e38;
                rates.rates[i].rate = static_cast<float>(rate);
                break;
            }
        }
        cursor += advance;
    }
    bool quoted = false;
    for (const RateEntry& e : rates.rates) quoted = quoted || (e.nominal > 0 && e.rate > 0.0f);
    if (!quoted) std::memset(&rates, 0, sizeof rates);
    return quoted;
}

static char lowered(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> text(size + 1);
    if (size) std::memcpy(text.data(), data, size);
    text[size] = 0;
    size_t length = std::strlen(text.data());

    DayRates rates;
    std::memset(&rates, 0xA5, sizeof rates);  // the reader must clear what it is given
    bool accepted = parseDailyRates(text.data(), size, rates);
    if (rates.reserved != 0) std::abort();
    if (!accepted && !allZero(rates)) std::abort();
    if (length < size) {  // a NUL inside the body: refused, untouched
        if (accepted || std::memcmp(text.data(), data, size) != 0) std::abort();
        return 0;
    }

    if (text[length] != 0 || text[size] != 0) std::abort();
    for (size_t i = 0; i < length; ++i)
        if (data[i] < 0x80 && text[i] != lowered(static_cast<char>(data[i]))) std::abort();

    DayRates again;
    std::memset(&again, 0x5A, sizeof again);
    if (parseDailyRates(text.data(), again) != accepted) std::abort();
    if (std::memcmp(&rates, &again, sizeof rates) != 0) std::abort();

    DayRates plain;
    if (plainReading(text.data(), plain) != accepted) std::abort();
    if (std::memcmp(&rates, &plain, sizeof rates) != 0) std::abort();

    // The same bytes as a range document: records only inside the span, only the
    // currency asked for, and the text left as it was (lower-cased).
    std::vector<char> range(data, data + size);
    range.push_back(0);
    DayRates days[8];
    std::memset(days, 0, sizeof days);
    int32_t read = parseRangeRates(range.data(), size, 2, "r01235", 5903, days, 8);
    if (read < -1) std::abort();
    for (const DayRates& d : days) {
        for (int i = 0; i < CurrencyCount; ++i)
            if (i != 2 && (d.rates[i].nominal != 0 || d.rates[i].rate != 0.0f)) std::abort();
        if (d.reserved != 0) std::abort();
    }
    if (std::memcmp(range.data(), text.data(), size) != 0) std::abort();
    return 0;
}
