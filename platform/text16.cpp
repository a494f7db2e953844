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

// Appends text, each unit widened to the output's; the one bounded append behind
// every form.
template <typename Out, typename Unit>
static bool appendUnits(Out* out, size_t capacity, size_t& used, const Unit* text, bool whole)
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
    for (size_t i = 0; i < length; ++i) out[used++] = static_cast<Out>(static_cast<std::make_unsigned_t<Unit>>(text[i]));
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

bool appendText(char* out, size_t capacity, size_t& used, const char* text, bool whole)
{
    return appendUnits(out, capacity, used, text, whole);
}
