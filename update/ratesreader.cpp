#include "update/ratesreader.h"

#include <cstdint>
#include <cstring>

#include "data/calendar.h"
#include "data/numbertext.h"

int readIntegerField(const char* text)
{
    while (isBlank(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    int64_t value = 0;
    for (; isDigit(*text); ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT32_MAX) value = int64_t(INT32_MAX) + 1;  // saturate, never overflow
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<int>(value);
}

double readRateField(const char* text) { return readDecimal(text, nullptr); }

// Rates above what a float holds would become infinities; keep them finite.
static float toRate(double value)
{
    const double largest = 3.4028234663852886e38;
    if (value > largest) value = largest;
    if (value < -largest) value = -largest;
    return static_cast<float>(value);
}

static bool sameCode(const char* a, const char* b)
{
    for (int i = 0;; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
        if (!x) return true;
    }
}

// Copies the bytes from..to-1 of the attribute text, stopping at its end.
static int dateField(const char* at, int from, int to)
{
    char field[8] = {};
    int n = 0;
    for (int i = 0; i < from; ++i)
        if (!at[i]) return 0;
    for (int i = from; i < to && at[i]; ++i) field[n++] = at[i];
    return readIntegerField(field);
}

// The reader runs on one worker at a time; its buffer is static.
static char rootAttributes[RootAttributeCapacity];
static char learnedIds[CurrencyCount][CurrencyIdCapacity];

const char* currencyId(int currency)
{
    return currency >= 0 && currency < CurrencyCount ? learnedIds[currency] : "";
}


#ifdef VOK_TEST
void forgetCurrencyIds() { std::memset(learnedIds, 0, sizeof learnedIds); }
#endif

// Keeps the ID the document gives a table currency ("R01235"), upper-cased as
// the service writes it, for the range requests.
static void learnId(int currency, const ElementSpan& valute)
{
    char id[CurrencyIdCapacity];
    attributeValue(valute.attributes, valute.tagEnd, "id", id, sizeof id);
    if (!id[0]) return;
    for (char* c = id; *c; ++c)
        if (*c >= 'a' && *c <= 'z') *c = char(*c - 'a' + 'A');
    copyCut(learnedIds[currency], CurrencyIdCapacity, id, std::strlen(id));
}

// "dd.mm.yyyy" (or any separators) as a day that exists; the all-zero code if not.
static DayCode readDate(const char* date)
{
    int day = dateField(date, 0, 2);
    int month = dateField(date, 3, 5);
    int year = dateField(date, 6, 10);
    return isCalendarDay(day, month, year) ? makeDayCode(day, month, year) : DayCode{0, 0, 0};
}

bool parseDailyRates(char* text, DayRates& rates) { return parseDailyRates(text, std::strlen(text), rates); }

bool parseDailyRates(char* text, size_t length, DayRates& rates)
{
    std::memset(&rates, 0, sizeof rates);
    if (std::memchr(text, 0, length)) return false;
    lowerCase(text, length);
    // The root must be whole: a body cut before its end tag is no document.
    ElementSpan root;
    if (!locateElement(text, "valcurs", root) || !root.contentEnd) return false;
    copyCut(rootAttributes, sizeof rootAttributes, root.attributes, size_t(root.tagEnd - root.attributes));
    const char* date = std::strstr(rootAttributes, "date=\"");
    if (!date) return false;
    date += 6;
    DayRates read;
    std::memset(&read, 0, sizeof read);
    read.code = readDate(date);
    if (read.code.day == 0) return false;

    int quoted = 0;
    RootContent content;
    openRoot(root, content);
    const char* cursor = content.start;
    ElementSpan valute;
    while (locateElement(cursor, "valute", valute)) {
        // The element's content as a copy cut to ElementContentCapacity would hold it.
        const char* contentStart = valute.tagEnd + 1;
        const char* limit = contentLimit(valute);
        char code[CodeCapacity] = {};
        char nominal[NominalCapacity] = {};
        char value[ValueCapacity] = {};
        ChildWanted children[3] = {{"charcode", 8, code, sizeof code},
                                   {"nominal", 7, nominal, sizeof nominal},
                                   {"value", 5, value, sizeof value}};
        readChildren(contentStart, limit, children, 3);
        for (int i = 0; i < CurrencyCount; ++i) {
            if (sameCode(code, isoCode[i])) {
                read.rates[i].nominal = readIntegerField(nominal);
                read.rates[i].rate = toRate(readRateField(value));
                learnId(i, valute);
                break;
            }
        }
        cursor = valute.contentEnd ? valute.after : contentStart;
    }
    closeRoot(content);
    // A currency listed twice keeps its last quote; count what the record holds.
    for (int i = 0; i < CurrencyCount; ++i) quoted += read.rates[i].nominal > 0 && read.rates[i].rate > 0.0f;
    if (quoted == 0) return false;
    rates = read;
    return true;
}

int32_t parseRangeRates(char* text, size_t length, int currency, const char* id, int32_t firstNumber, DayRates* days,
                        int32_t span)
{
    if (currency < 0 || currency >= CurrencyCount || !days || span < 1) return -1;
    if (std::memchr(text, 0, length)) return -1;
    lowerCase(text, length);
    ElementSpan root;
    if (!locateElement(text, "valcurs", root) || !root.contentEnd) return -1;
    // A range document names its range; one for another currency is not ours.
    char field[CurrencyIdCapacity];
    attributeValue(root.attributes, root.tagEnd, "daterange1", field, sizeof field);
    if (!field[0]) return -1;
    attributeValue(root.attributes, root.tagEnd, "id", field, sizeof field);
    if (field[0] && id && !sameCode(field, id)) return -1;

    RootContent content;
    openRoot(root, content);
    int32_t read = 0;
    const char* cursor = content.start;
    ElementSpan record;
    while (locateElement(cursor, "record", record)) {
        const char* limit = contentLimit(record);
        cursor = record.contentEnd ? record.after : record.tagEnd + 1;
        char date[16];
        attributeValue(record.attributes, record.tagEnd, "date", date, sizeof date);
        DayCode day = readDate(date);
        if (day.day == 0) continue;
        int32_t k = dayNumber(day) - firstNumber;
        if (k < 0 || k >= span) continue;
        char nominal[NominalCapacity] = {};
        char value[ValueCapacity] = {};
        ChildWanted children[2] = {{"nominal", 7, nominal, sizeof nominal}, {"value", 5, value, sizeof value}};
        readChildren(record.tagEnd + 1, limit, children, 2);
        RateEntry entry{readIntegerField(nominal), toRate(readRateField(value))};
        if (entry.nominal <= 0 || !(entry.rate > 0.0f)) continue;
        days[k].code = day;
        days[k].rates[currency] = entry;
        ++read;
    }
    closeRoot(content);
    return read;
}
