#include "platform/text16.h"

#include <type_traits>

#include <cstring>

size_t length16(const char16_t* s, size_t capacity)
{
    size_t n = 0;
    while (n < capacity && s[n]) ++n;
    return n;
}

void copy16(char16_t* dst, size_t capacity, const char16_t* src)
{
    if (capacity == 0) return;
    size_t n = 0;
    for (; n + 1 < capacity && src[n]; ++n) dst[n] = src[n];
    dst[n] = 0;
}

void widen16(char16_t* dst, size_t capacity, const char* src)
{
    if (capacity == 0) return;
    size_t n = 0;
    for (; n + 1 < capacity && src[n]; ++n) dst[n] = static_cast<unsigned char>(src[n]);
    dst[n] = 0;
}

void firstPointToComma(char16_t* text, size_t capacity)
{
    for (size_t i = 0; i < capacity && text[i]; ++i) {
        if (text[i] == u'.') {
            text[i] = u',';
            return;
        }
    }
}

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
            unsigned __int128 scaled = static_cast<unsigned __int128>(fractionBits) * scale[places];
            uint64_t fraction = down < 128 ? static_cast<uint64_t>(scaled >> down) : 0;
            if (down < 128) {
                unsigned __int128 dropped = scaled - (static_cast<unsigned __int128>(fraction) << down);
                unsigned __int128 half = static_cast<unsigned __int128>(1) << (down - 1);
                bool odd = places ? (fraction & 1) != 0 : (whole & 1) != 0;
                if (dropped > half || (dropped == half && odd)) ++fraction;
            }
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

bool encodeUtf8(char* out, size_t capacity, const char16_t* s)
{
    if (capacity == 0) return false;
    size_t used = 0;
    for (size_t i = 0; s[i]; ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        unsigned char bytes[4];
        size_t n;
        if (c < 0x80) {
            bytes[0] = static_cast<unsigned char>(c);
            n = 1;
        } else if (c < 0x800) {
            bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
            n = 2;
        } else if (c < 0x10000) {
            bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
            n = 3;
        } else {
            bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
            n = 4;
        }
        for (size_t k = 1; k < n; ++k) bytes[k] = static_cast<unsigned char>(0x80 | ((c >> (6 * (n - 1 - k))) & 0x3F));
        if (used + n + 1 > capacity) {
            out[0] = 0;
            return false;
        }
        for (size_t k = 0; k < n; ++k) out[used++] = static_cast<char>(bytes[k]);
    }
    out[used] = 0;
    return true;
}

bool composeDataPath(char16_t* out, size_t capacity, const char16_t* modulePath, const char16_t* fileName)
{
    if (capacity == 0) return false;
    size_t cut = 0;
    for (size_t i = 0; modulePath[i]; ++i)
        if (modulePath[i] == u'\\' || modulePath[i] == u'/') cut = i + 1;
    size_t nameLength = 0;
    while (fileName[nameLength]) ++nameLength;
    if (cut + nameLength + 1 > capacity) {
        out[0] = 0;  // a cut path would name some other file
        return false;
    }
    for (size_t n = 0; n < cut; ++n) out[n] = modulePath[n];
    for (size_t k = 0; k <= nameLength; ++k) out[cut + k] = fileName[k];
    return true;
}

bool decodeUtf8(char16_t* out, size_t capacity, const char* text)
{
    size_t n = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        uint32_t c = *p++;
        int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0) return false;
        if (more) c &= 0x3F >> more;
        for (int i = 0; i < more; ++i) {
            if ((*p & 0xC0) != 0x80) return false;
            c = (c << 6) | (*p++ & 0x3F);
        }
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c >= 0x10000) {
            if (n + 2 >= capacity) return false;
            c -= 0x10000;
            out[n++] = char16_t(0xD800 + (c >> 10));
            out[n++] = char16_t(0xDC00 + (c & 0x3FF));
        } else {
            if (n + 1 >= capacity) return false;
            out[n++] = char16_t(c);
        }
    }
    out[n] = 0;
    return true;
}

// Appends length units of text, each widened by unit(); the one bounded append
// behind both forms.
template <typename Unit>
static bool appendUnits(char16_t* out, size_t capacity, size_t& used, const Unit* text, bool whole)
{
    size_t length = 0;
    while (text[length]) ++length;
    if (!out) {
        used += length;
        return true;
    }
    if (used >= capacity) return false;
    bool fits = used + length < capacity;
    if (!fits && whole) return false;
    if (!fits) length = capacity - 1 - used;
    for (size_t i = 0; i < length; ++i) out[used++] = static_cast<char16_t>(static_cast<std::make_unsigned_t<Unit>>(text[i]));
    out[used] = 0;
    return fits;
}

bool appendText(char16_t* out, size_t capacity, size_t& used, const char16_t* text, bool whole)
{
    return appendUnits(out, capacity, used, text, whole);
}

bool appendText(char16_t* out, size_t capacity, size_t& used, const char* ascii, bool whole)
{
    return appendUnits(out, capacity, used, ascii, whole);
}
