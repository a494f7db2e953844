#include "platform/text16.h"

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

std::string toUtf8(const char16_t* s)
{
    std::string out;
    for (size_t i = 0; s[i]; ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string fromUtf8(const std::string& s)
{
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        uint32_t c;
        int extra;
        if (b < 0x80) { c = b; extra = 0; }
        else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; extra = 1; }
        else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; extra = 2; }
        else { c = b & 0x07; extra = 3; }
        ++i;
        for (int k = 0; k < extra && i < s.size(); ++k, ++i) c = (c << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
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
