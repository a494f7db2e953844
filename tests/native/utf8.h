// UTF-8 and UTF-16 as std::string for the native tests and the benchmarks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/text16.h"

inline std::string toUtf8(const char16_t* s)
{
    size_t units = 0;
    while (s[units]) ++units;
    std::vector<char> out(units * 3 + 1);
    return encodeUtf8(out.data(), out.size(), s) ? std::string(out.data()) : std::string();
}

inline std::u16string fromUtf8(const std::string& s)
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
