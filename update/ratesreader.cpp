#include "update/ratesreader.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

// Copies length bytes of src into dst of capacity bytes, cut to fit, NUL-terminated.
static void copyCut(char* dst, size_t capacity, const char* src, size_t length)
{
    if (!dst || capacity == 0) return;
    if (length > capacity - 1) length = capacity - 1;
    std::memcpy(dst, src, length);
    dst[length] = 0;
}

static bool buildPattern(char* out, const char* format, const char* name)
{
    int n = std::snprintf(out, TagPatternCapacity, format, name);
    return n > 0 && static_cast<size_t>(n) < TagPatternCapacity;
}

int findElement(const char* text, const char* name, char* attributes, size_t attributeCapacity, char* content,
                size_t contentCapacity)
{
    char pattern[TagPatternCapacity];
    const char* attributeStart;
    const char* tagEnd;
    if (!buildPattern(pattern, "<%s ", name)) return 0;
    const char* found = std::strstr(text, pattern);
    if (found) {
        attributeStart = found + std::strlen(pattern);
        tagEnd = std::strchr(attributeStart, '>');
        if (!tagEnd) return 0;
    } else {
        if (!buildPattern(pattern, "<%s>", name)) return 0;
        found = std::strstr(text, pattern);
        if (!found) return 0;
        tagEnd = found + std::strlen(pattern) - 1;
        attributeStart = tagEnd;
    }
    copyCut(attributes, attributeCapacity, attributeStart, static_cast<size_t>(tagEnd - attributeStart));
    const char* contentStart = tagEnd + 1;
    int contentOffset = static_cast<int>(contentStart - text);
    if (!content) return contentOffset;
    if (!buildPattern(pattern, "</%s>", name)) return 0;
    const char* endTag = std::strstr(contentStart, pattern);
    if (!endTag) {
        copyCut(content, contentCapacity, contentStart, 0);
        return contentOffset;
    }
    copyCut(content, contentCapacity, contentStart, static_cast<size_t>(endTag - contentStart));
    return static_cast<int>(endTag + std::strlen(pattern) - text);
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

// Decimal only: no hexadecimal, infinity or NaN forms, and independent of the locale.
double readRateField(const char* text)
{
    while (isBlank(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    uint64_t mantissa = 0;
    int exponent = 0;
    int significant = 0;
    bool anyDigit = false;
    for (; isDigit(*text); ++text) {
        anyDigit = true;
        if (significant < 19) {
            mantissa = mantissa * 10 + uint64_t(*text - '0');
            if (mantissa) ++significant;
        } else {
            ++exponent;
        }
    }
    if (*text == '.') {
        ++text;
        for (; isDigit(*text); ++text) {
            anyDigit = true;
            if (significant < 19) {
                mantissa = mantissa * 10 + uint64_t(*text - '0');
                if (mantissa) ++significant;
                --exponent;
            }
        }
    }
    if (!anyDigit) return 0.0;
    if (*text == 'e' || *text == 'E') {
        const char* p = text + 1;
        bool expNegative = false;
        if (*p == '+' || *p == '-') expNegative = *p++ == '-';
        if (isDigit(*p)) {
            int e = 0;
            for (; isDigit(*p); ++p)
                if (e < 100000) e = e * 10 + (*p - '0');
            exponent += expNegative ? -e : e;
        }
    }
    static const double exact[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                     1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    double value;
    if (mantissa == 0) {
        value = 0.0;
    } else if (mantissa < (uint64_t(1) << 53) && exponent >= -22 && exponent <= 22) {
        value = exponent < 0 ? double(mantissa) / exact[-exponent] : double(mantissa) * exact[exponent];
    } else {
        value = double(mantissa) * std::pow(10.0, exponent);
    }
    return negative ? -value : value;
}

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

// The reader runs on one update worker at a time; its buffers are static.
static char rootAttributes[RootAttributeCapacity];
static char rootContent[RootContentCapacity];
static char elementContent[ElementContentCapacity];

bool parseDailyRates(char* text, DayRates& rates)
{
    for (char* p = text; *p; ++p)
        if (*p >= 'A' && *p <= 'Z') *p = char(*p - 'A' + 'a');
    std::memset(&rates, 0, sizeof rates);
    if (findElement(text, "valcurs", rootAttributes, sizeof rootAttributes, rootContent, sizeof rootContent) == 0)
        return false;
    const char* date = std::strstr(rootAttributes, "date=\"");
    if (!date) return false;
    date += 6;
    rates.code.day = static_cast<uint8_t>(dateField(date, 0, 2));
    rates.code.month = static_cast<uint8_t>(dateField(date, 3, 5));
    rates.code.yearCode = static_cast<uint8_t>(dateField(date, 6, 10) + 59);

    const char* cursor = rootContent;
    for (;;) {
        int advance = findElement(cursor, "valute", nullptr, 0, elementContent, sizeof elementContent);
        if (advance == 0) break;
        char code[CodeCapacity] = {};
        char nominal[NominalCapacity] = {};
        char value[ValueCapacity] = {};
        findElement(elementContent, "charcode", nullptr, 0, code, sizeof code);
        findElement(elementContent, "nominal", nullptr, 0, nominal, sizeof nominal);
        findElement(elementContent, "value", nullptr, 0, value, sizeof value);
        if (char* comma = std::strchr(value, ',')) *comma = '.';
        for (int i = 0; i < CurrencyCount; ++i) {
            if (sameCode(code, isoCode[i])) {
                rates.rates[i].nominal = readIntegerField(nominal);
                rates.rates[i].rate = toRate(readRateField(value));
                break;
            }
        }
        cursor += advance;
    }
    return true;
}
