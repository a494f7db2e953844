// libFuzzer target for the daily-rates reader. The input becomes the document
// text (NUL-terminated, as the download hands it over). Besides what the
// sanitizers catch, it stops on:
//  - a reserved byte that is not 0, or a refused document with a non-zero record;
//  - an ASCII byte of the text changed other than by lower-casing A-Z, or its NUL
//    moved (bytes above 127 may be folded too, or not);
//  - a second reading of the (now lower-case) text that gives another answer.
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

static char lowered(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> text(size + 1);
    if (size) std::memcpy(text.data(), data, size);
    text[size] = 0;
    size_t length = std::strlen(text.data());  // the document ends at its first NUL

    DayRates rates;
    std::memset(&rates, 0xA5, sizeof rates);  // the reader must clear what it is given
    bool accepted = parseDailyRates(text.data(), rates);
    if (rates.reserved != 0) std::abort();
    if (!accepted && !allZero(rates)) std::abort();

    if (text[length] != 0 || text[size] != 0) std::abort();
    for (size_t i = 0; i < length; ++i)
        if (data[i] < 0x80 && text[i] != lowered(static_cast<char>(data[i]))) std::abort();

    DayRates again;
    std::memset(&again, 0x5A, sizeof again);
    if (parseDailyRates(text.data(), again) != accepted) std::abort();
    if (std::memcmp(&rates, &again, sizeof rates) != 0) std::abort();
    return 0;
}
