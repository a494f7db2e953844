#include "update/ratesreader.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "data/calendar.h"
#include "data/numbertext.h"
#include "platform/text16.h"

// Copies length bytes of src into dst of capacity bytes, cut to fit, NUL-terminated.
static void copyCut(char* dst, size_t capacity, const char* src, size_t length)
{
    if (!dst || capacity == 0) return;
    if (length > capacity - 1) length = capacity - 1;
    std::memcpy(dst, src, length);
    dst[length] = 0;
}

// The first "<name " in text when there is one anywhere, else the first "<name>";
// one pass over the text. Sets withAttributes for the first form.
static const char* findStartTag(const char* text, const char* name, size_t nameLength, bool& withAttributes)
{
    char prefix[TagPatternCapacity];
    prefix[0] = '<';
    std::memcpy(prefix + 1, name, nameLength);
    prefix[nameLength + 1] = 0;
    const char* plain = nullptr;
    for (const char* at = std::strstr(text, prefix); at; at = std::strstr(at + 1, prefix)) {
        char after = at[nameLength + 1];
        if (after == ' ') {
            withAttributes = true;
            return at;
        }
        if (after == '>' && !plain) plain = at;
    }
    withAttributes = false;
    return plain;
}

// Where an element lies: its attribute text [attributes, tagEnd), its content from
// tagEnd + 1 up to contentEnd (null when the end tag is missing), and after, just
// past the end tag. False when the start tag is not found.
struct ElementSpan {
    const char* attributes;
    const char* tagEnd;
    const char* contentEnd;
    const char* after;
};

static bool locateElement(const char* text, const char* name, ElementSpan& span)
{
    size_t nameLength = std::strlen(name);
    if (nameLength + 4 > TagPatternCapacity) return false;  // "</name>" and its NUL must fit
    bool withAttributes = false;
    const char* found = findStartTag(text, name, nameLength, withAttributes);
    if (!found) return false;
    span.attributes = found + nameLength + 2;
    if (withAttributes) {
        span.tagEnd = std::strchr(span.attributes, '>');
        if (!span.tagEnd) return false;
    } else {
        span.tagEnd = span.attributes - 1;
        span.attributes = span.tagEnd;
    }
    char pattern[TagPatternCapacity];
    pattern[0] = '<';
    pattern[1] = '/';
    std::memcpy(pattern + 2, name, nameLength);
    pattern[nameLength + 2] = '>';
    pattern[nameLength + 3] = 0;
    span.contentEnd = std::strstr(span.tagEnd + 1, pattern);
    span.after = span.contentEnd ? span.contentEnd + nameLength + 3 : nullptr;
    return true;
}

int findElement(const char* text, const char* name, char* attributes, size_t attributeCapacity, char* content,
                size_t contentCapacity)
{
    ElementSpan span;
    if (!locateElement(text, name, span)) return 0;
    copyCut(attributes, attributeCapacity, span.attributes, static_cast<size_t>(span.tagEnd - span.attributes));
    const char* contentStart = span.tagEnd + 1;
    if (!content) return static_cast<int>(contentStart - text);
    if (!span.contentEnd) {
        copyCut(content, contentCapacity, contentStart, 0);
        return static_cast<int>(contentStart - text);
    }
    copyCut(content, contentCapacity, contentStart, static_cast<size_t>(span.contentEnd - contentStart));
    return static_cast<int>(span.after - text);
}

static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
static bool isDigit(char c) { return c >= '0' && c <= '9'; }

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

// What findElement without an attribute buffer finds for each of count names in
// the element content [text, limit), in one pass over its tags: the content of
// each into its buffer (empty when the element or its end tag is missing). The
// content is read where it lies; limit stands where a copy cut to its buffer would end.
struct ChildWanted {
    const char* name;
    size_t nameLength;
    char* content;
    size_t capacity;
};

static const char* nextTagEnd(const char* at, const char* limit)
{
    return at < limit ? static_cast<const char*>(std::memchr(at, '>', static_cast<size_t>(limit - at))) : nullptr;
}

static const char* nextTag(const char* at, const char* limit)
{
    return at < limit ? static_cast<const char*>(std::memchr(at, '<', static_cast<size_t>(limit - at))) : nullptr;
}

// "</name>" at or after from, wholly before limit.
static const char* findEndTag(const char* from, const char* limit, const char* name, size_t nameLength)
{
    for (const char* at = nextTag(from, limit); at; at = nextTag(at + 1, limit)) {
        if (static_cast<size_t>(limit - at) < nameLength + 3) return nullptr;
        if (at[1] == '/' && std::memcmp(at + 2, name, nameLength) == 0 && at[nameLength + 2] == '>') return at;
    }
    return nullptr;
}

static void readChildren(const char* text, const char* limit, ChildWanted* children, int count)
{
    const char* withAttributes[4] = {};
    const char* plain[4] = {};
    for (const char* at = nextTag(text, limit); at; at = nextTag(at + 1, limit)) {
        for (int i = 0; i < count; ++i) {
            const ChildWanted& c = children[i];
            if (withAttributes[i] || static_cast<size_t>(limit - at) < c.nameLength + 2) continue;
            if (at[1] != c.name[0] || std::memcmp(at + 1, c.name, c.nameLength) != 0) continue;
            char after = at[c.nameLength + 1];
            if (after == ' ')
                withAttributes[i] = at;
            else if (after == '>' && !plain[i])
                plain[i] = at;
        }
    }
    for (int i = 0; i < count; ++i) {
        const ChildWanted& c = children[i];
        const char* start = withAttributes[i] ? withAttributes[i] : plain[i];
        c.content[0] = 0;
        if (!start) continue;
        const char* tagEnd = start + c.nameLength + 1;
        if (withAttributes[i]) {
            tagEnd = nextTagEnd(start + c.nameLength + 2, limit);
            if (!tagEnd) continue;
        }
        const char* end = findEndTag(tagEnd + 1, limit, c.name, c.nameLength);
        if (end) copyCut(c.content, c.capacity, tagEnd + 1, static_cast<size_t>(end - tagEnd - 1));
    }
}

// A-Z to a-z in place, eight bytes at a time; every other byte stays as it is.
static void lowerCase(char* text, size_t length)
{
    const uint64_t ones = 0x0101010101010101ull;
    const uint64_t high = 0x8080808080808080ull;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t w;
        std::memcpy(&w, text + i, 8);
        uint64_t low7 = w & ~high;
        uint64_t aboveZ = low7 + ones * (0x7F - 'Z');
        uint64_t fromA = low7 + ones * (0x80 - 'A');
        uint64_t upper = ~w & (fromA ^ aboveZ) & high;
        w ^= upper >> 2;
        std::memcpy(text + i, &w, 8);
    }
    for (; i < length; ++i)
        if (static_cast<unsigned char>(text[i] - 'A') < 26) text[i] = char(text[i] + ('a' - 'A'));
}

// The reader runs on one worker at a time; its buffer is static.
static char rootAttributes[RootAttributeCapacity];
static char learnedIds[CurrencyCount][CurrencyIdCapacity];

const char* currencyId(int currency)
{
    return currency >= 0 && currency < CurrencyCount ? learnedIds[currency] : "";
}

// The value of attribute name (lower case) in the attribute text [from, to),
// cut to capacity; empty when it is not there. The name must start the text or
// follow a blank.
static void attributeValue(const char* from, const char* to, const char* name, char* out, size_t capacity)
{
    size_t nameLength = std::strlen(name);
    out[0] = 0;
    for (const char* at = from; at + nameLength + 2 <= to; ++at) {
        if ((at != from && !isBlank(at[-1])) || std::memcmp(at, name, nameLength) != 0) continue;
        if (at[nameLength] != '=' || at[nameLength + 1] != '"') continue;
        const char* value = at + nameLength + 2;
        const char* end = static_cast<const char*>(std::memchr(value, '"', static_cast<size_t>(to - value)));
        if (end) copyCut(out, capacity, value, static_cast<size_t>(end - value));
        return;
    }
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

// The root's content is read where it lies, up to what a copy cut to
// RootContentCapacity would hold: a NUL stands at its end while it is read and
// the byte it replaced is put back.
struct RootContent {
    char* start;
    char* end;
    char saved;
};

static void openRoot(const ElementSpan& root, RootContent& content)
{
    content.start = const_cast<char*>(root.tagEnd) + 1;
    content.end = const_cast<char*>(root.contentEnd);
    if (static_cast<size_t>(content.end - content.start) > RootContentCapacity - 1)
        content.end = content.start + (RootContentCapacity - 1);
    content.saved = *content.end;
    *content.end = 0;
}

static void closeRoot(RootContent& content) { *content.end = content.saved; }

// The content of a child element as a copy cut to ElementContentCapacity would
// end: where the element's end tag is, or earlier.
static const char* contentLimit(const ElementSpan& element)
{
    const char* start = element.tagEnd + 1;
    const char* limit = element.contentEnd ? element.contentEnd : start;
    if (static_cast<size_t>(limit - start) > ElementContentCapacity - 1) limit = start + (ElementContentCapacity - 1);
    return limit;
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
    findElement(text, "valcurs", rootAttributes, sizeof rootAttributes, nullptr, 0);
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
        if (char* comma = std::strchr(value, ',')) *comma = '.';
        RateEntry entry{readIntegerField(nominal), toRate(readRateField(value))};
        if (entry.nominal <= 0 || !(entry.rate > 0.0f)) continue;
        days[k].code = day;
        days[k].rates[currency] = entry;
        ++read;
    }
    closeRoot(content);
    return read;
}
