// Numbers as text, for every number the plug-in shows, copies or reads, whatever
// the C library's locale.
#include "data/numbertext.h"

#include <cmath>
#include <cstring>

int fixedDigitsInRange(int32_t digits) { return digits < 0 ? 0 : (digits > 4 ? 4 : digits); }

// Writes the decimal digits of the whole number held in limbs (base 2^32, least
// significant first; destroyed) at the end of text[0..at); returns the new start.
static size_t wholeDigits(uint32_t* limbs, size_t count, char* text, size_t at)
{
    do {
        uint64_t rest = 0;
        bool more = false;
        for (size_t i = count; i-- > 0;) {
            uint64_t part = (rest << 32) | limbs[i];
            limbs[i] = static_cast<uint32_t>(part / 1000000000u);
            rest = part % 1000000000u;
            more = more || limbs[i] != 0;
        }
        for (int k = 0; k < 9 && (more || rest || k == 0) && at > 0; ++k) {
            text[--at] = static_cast<char>('0' + rest % 10);
            rest /= 10;
        }
        if (!more) break;
    } while (at > 0);
    return at;
}

// A 128-bit whole number as two halves: what 32-bit targets lack as a type.
struct WideBits {
    uint64_t high, low;
};

static WideBits multiplyWide(uint64_t value, uint32_t factor)
{
    uint64_t lowPart = (value & 0xFFFFFFFFu) * factor;
    uint64_t highPart = (value >> 32) * factor;
    WideBits product;
    product.low = lowPart + (highPart << 32);
    product.high = (highPart >> 32) + (product.low < lowPart ? 1 : 0);
    return product;
}

// The low 64 bits of bits shifted down by count (0 once count reaches 128).
static uint64_t shiftedDown(const WideBits& bits, int count)
{
    if (count >= 128) return 0;
    if (count >= 64) return bits.high >> (count - 64);
    if (count == 0) return bits.low;
    return (bits.low >> count) | (bits.high << (64 - count));
}

static bool bitAt(const WideBits& bits, int index)
{
    if (index >= 128) return false;
    return ((index >= 64 ? bits.high >> (index - 64) : bits.low >> index) & 1) != 0;
}

// Whether any of the count lowest bits is set.
static bool anyBitBelow(const WideBits& bits, int count)
{
    if (count <= 0) return false;
    if (count >= 128) return bits.high || bits.low;
    if (count >= 64) return bits.low || (count > 64 && (bits.high << (128 - count)) != 0);
    return (bits.low << (64 - count)) != 0;
}

size_t formatFixed(char16_t* out, size_t capacity, double value, int32_t digits, bool comma)
{
    if (capacity == 0) return 0;
    int places = fixedDigitsInRange(digits);
    static const uint32_t scale[] = {1, 10, 100, 1000, 10000};
    char text[FixedTextUnits];
    size_t end = sizeof text, start = end;
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    bool negative = (bits >> 63) != 0;
    int exponent = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t mantissa = bits & ((uint64_t(1) << 52) - 1);
    if (exponent == 0x7FF) {
        const char* word = mantissa ? "nan" : "inf";
        start -= 3;
        std::memcpy(text + start, word, 3);
    } else {
        if (exponent) mantissa |= uint64_t(1) << 52;
        int shift = (exponent ? exponent : 1) - 1075;  // value = mantissa * 2^shift
        if (shift >= 0) {
            // A whole number: its digits, then zeros after the point.
            uint32_t limbs[36] = {};
            limbs[shift / 32] = static_cast<uint32_t>(mantissa << (shift % 32));
            limbs[shift / 32 + 1] = static_cast<uint32_t>((mantissa << (shift % 32)) >> 32);
            if (shift % 32) limbs[shift / 32 + 2] = static_cast<uint32_t>(mantissa >> (64 - shift % 32));
            for (int k = 0; k < places; ++k) text[--start] = '0';
            if (places) text[--start] = '.';
            start = wholeDigits(limbs, 36, text, start);
        } else {
            // The whole part, then the fraction's bits times 10^places, rounded half to
            // even over the last digit written.
            int down = -shift;
            uint64_t whole = down < 64 ? mantissa >> down : 0;
            uint64_t fractionBits = down < 64 ? mantissa - (whole << down) : mantissa;
            WideBits scaled = multiplyWide(fractionBits, scale[places]);
            uint64_t fraction = shiftedDown(scaled, down);
            // Past the last digit: above half, or exactly half, of its unit.
            bool halfBit = down <= 128 && bitAt(scaled, down - 1);
            bool belowHalf = anyBitBelow(scaled, down - 1);
            bool odd = places ? (fraction & 1) != 0 : (whole & 1) != 0;
            if (halfBit && (belowHalf || odd)) ++fraction;
            if (fraction == scale[places]) {
                fraction = 0;
                ++whole;
            }
            for (int k = 0; k < places; ++k, fraction /= 10) text[--start] = static_cast<char>('0' + fraction % 10);
            if (places) text[--start] = '.';
            uint32_t limbs[2] = {static_cast<uint32_t>(whole), static_cast<uint32_t>(whole >> 32)};
            start = wholeDigits(limbs, 2, text, start);
        }
    }
    if (negative && start > 0) text[--start] = '-';
    size_t length = 0;
    for (; start + length < end && length + 1 < capacity; ++length) {
        char c = text[start + length];
        out[length] = static_cast<char16_t>(c == '.' && comma ? ',' : c);
    }
    out[length] = 0;
    return length;
}


// mantissa * 10^exponent (exponent 0 or more), exactly rounded to a double: the
// whole number in limbs of 32 bits, then its 53 leading bits rounded to even.
static double wholeTimesPowerOfTen(uint64_t mantissa, int exponent)
{
    if (exponent > 330) return HUGE_VAL;
    uint32_t limbs[40] = {static_cast<uint32_t>(mantissa), static_cast<uint32_t>(mantissa >> 32)};
    size_t count = 2;
    for (int k = 0; k < exponent; ++k) {
        uint64_t carry = 0;
        for (size_t i = 0; i < count; ++i) {
            uint64_t part = uint64_t(limbs[i]) * 10 + carry;
            limbs[i] = static_cast<uint32_t>(part);
            carry = part >> 32;
        }
        if (carry) limbs[count++] = static_cast<uint32_t>(carry);
    }
    size_t top = count - 1;
    while (top > 0 && !limbs[top]) --top;
    int bits = static_cast<int>(top) * 32;
    for (uint32_t t = limbs[top]; t; t >>= 1) ++bits;
    if (bits <= 64) return static_cast<double>((uint64_t(limbs[1]) << 32) | limbs[0]);
    // The 64 bits from bits - 64 upward, and whether anything below them is set.
    int from = bits - 64;
    uint64_t lead = 0;
    for (int b = 63; b >= 0; --b) {
        int at = from + b;
        lead = (lead << 1) | ((limbs[at / 32] >> (at % 32)) & 1);
    }
    bool sticky = false;
    for (int at = 0; at < from && !sticky; ++at) sticky = ((limbs[at / 32] >> (at % 32)) & 1) != 0;
    uint64_t kept = lead >> 11;
    uint64_t rest = lead & 0x7FF;
    if (rest > 0x400 || (rest == 0x400 && (sticky || (kept & 1)))) ++kept;
    return std::ldexp(static_cast<double>(kept), bits - 53);
}

static const char* readDigits(const char* text, uint64_t& mantissa, int& significant, int& exponent, bool fraction,
                              bool& anyDigit)
{
    for (; isDigit(*text); ++text) {
        anyDigit = true;
        if (significant < 19) {
            mantissa = mantissa * 10 + uint64_t(*text - '0');
            if (mantissa) ++significant;
            if (fraction) --exponent;
        } else if (!fraction) {
            ++exponent;
        }
    }
    return text;
}

// value times 10 to the (negative) exponent, in steps of the exact powers: a few
// rounding steps, and 0 far below the smallest double.
static double timesNegativePowerOfTen(double value, int exponent)
{
    static const double steps[4] = {1e1, 1e2, 1e4, 1e8};
    if (exponent < -400) return 0.0;
    for (; exponent <= -16; exponent += 16) value /= 1e16;
    for (int k = 3; k >= 0; --k)
        if (-exponent >= (1 << k)) {
            value /= steps[k];
            exponent += 1 << k;
        }
    return value;
}

double readDecimal(const char* text, const char** end)
{
    const char* start = text;
    if (end) *end = start;
    while (isBlank(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    uint64_t mantissa = 0;
    int exponent = 0;
    int significant = 0;
    bool anyDigit = false;
    text = readDigits(text, mantissa, significant, exponent, false, anyDigit);
    if (*text == '.' || *text == ',') text = readDigits(text + 1, mantissa, significant, exponent, true, anyDigit);
    if (!anyDigit) return 0.0;
    if (*text == 'e' || *text == 'E') {
        const char* p = text + 1;
        bool exponentNegative = false;
        if (*p == '+' || *p == '-') exponentNegative = *p++ == '-';
        if (isDigit(*p)) {
            int e = 0;
            for (; isDigit(*p); ++p)
                if (e < 100000) e = e * 10 + (*p - '0');
            exponent += exponentNegative ? -e : e;
            text = p;
        }
    }
    if (end) *end = text;
    static const double exact[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                     1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    double value;
    if (mantissa == 0)
        value = 0.0;
    else if (mantissa < (uint64_t(1) << 53) && exponent >= -22 && exponent < 0)
        value = double(mantissa) / exact[-exponent];
    else if (exponent >= 0)
        value = wholeTimesPowerOfTen(mantissa, exponent);
    else
        value = timesNegativePowerOfTen(double(mantissa), exponent);
    return negative ? -value : value;
}

size_t formatWhole(char* out, size_t capacity, int32_t value, int width)
{
    if (capacity == 0) return 0;
    char text[16];
    size_t start = sizeof text;
    if (width > 10) width = 10;  // no int32 has more digits
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    for (int k = 0; magnitude || k < width || k == 0; ++k, magnitude /= 10)
        text[--start] = static_cast<char>('0' + magnitude % 10);
    if (value < 0 && start > 0) text[--start] = '-';
    size_t length = 0;
    for (; start + length < sizeof text && length + 1 < capacity; ++length) out[length] = text[start + length];
    out[length] = 0;
    return length;
}
