// Shared helpers of the native tests: a scratch folder per test, raw file access and
// day records; with the headers nearly every test needs.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/currency.h"
#include "data/history.h"
#include "data/settings.h"
#include "tests/native/utf8.h"

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    std::string file(const char* name) const { return dir + "/" + name; }
    std::u16string path16(const char* name) const { return fromUtf8(file(name)); }
    std::string dir;
};

std::vector<unsigned char> readBytes(const std::string& path);
void writeBytes(const std::string& path, const void* data, size_t size);
bool fileExists(const std::string& path);

// A day's record for the tests: no rate at all, or EUR at eur for eurNominal
// units and USD at 80 + day / 100.
inline DayRates dayRecord(int d, int m, int y)
{
    DayRates r;
    std::memset(&r, 0, sizeof r);
    r.code = makeDayCode(d, m, y);
    return r;
}

inline DayRates dayRecord(int d, int m, int y, float eur, int eurNominal = 1)
{
    DayRates r = dayRecord(d, m, y);
    r.rates[0] = {eurNominal, eur};
    r.rates[1] = {1, 80.0f + d / 100.0f};
    return r;
}

// Whether every byte of a record is zero, as an empty slot is.
inline bool isEmpty(const DayRates& r)
{
    static const DayRates zero{};
    return std::memcmp(&r, &zero, sizeof r) == 0;
}

// A record's date, and one currency's entry in it, checked field by field.
inline void expectDay(const DayCode& code, int day, int month, int yearCode)
{
    EXPECT_EQ(code.day, day);
    EXPECT_EQ(code.month, month);
    EXPECT_EQ(code.yearCode, yearCode);
}

inline void expectRate(const DayRates& r, int currency, int nominal, float rate)
{
    EXPECT_EQ(r.rates[currency].nominal, nominal) << "currency " << currency;
    EXPECT_EQ(r.rates[currency].rate, rate) << "currency " << currency;
}
