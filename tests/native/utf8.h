// UTF-8 and UTF-16 as std::string for the native tests and the benchmarks, through
// the product's own bounded conversions (empty when a text won't convert).
#pragma once
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
    std::vector<char16_t> out(s.size() + 1);
    return decodeUtf8(out.data(), out.size(), s.c_str()) ? std::u16string(out.data()) : std::u16string();
}
