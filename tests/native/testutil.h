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
#include "update/schedule.h"

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

// Days as the history file holds them: each day's first RecordCurrencies rates.
inline std::vector<HistoryRecord> fileImage(const std::vector<DayRates>& days)
{
    std::vector<HistoryRecord> image(days.size());
    for (size_t i = 0; i < days.size(); ++i) std::memcpy(&image[i], &days[i], sizeof(HistoryRecord));
    return image;
}

inline void writeHistoryFile(const std::string& path, const std::vector<DayRates>& days)
{
    std::vector<HistoryRecord> image = fileImage(days);
    writeBytes(path, image.data(), image.size() * sizeof(HistoryRecord));
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

// --- a store and the scheduler on a scripted platform ---

// The scripted platform: local time reads now and the tick count clock, which each
// sleep moves on and is logged in; an update or fill worker runs inline, an update's
// start noting the tick counter; a download is logged and stores the next of answers
// (one with day 0, or none left, fails it).
struct ScriptedPlatform {
    LocalTime now{2026, 12, 7, 10, 0};
    uint32_t clock = 0;
    std::vector<int> sleeps, startTicks;
    std::vector<std::pair<bool, DayCode>> downloads;  // latest or the day asked for
    std::vector<DayRates> answers;
};
extern ScriptedPlatform scripted;

// A test's store of capacity days on a file of its own, the default settings and the
// scheduler as at module load on the scripted platform; all put away at the end.
struct ScriptedSchedule {
    explicit ScriptedSchedule(int capacity = 15);
    ~ScriptedSchedule();
    void restart(int capacity = 15);  // an empty store and all afresh but the platform's calls
    ScratchFolder folder;
};

void tick(int count = 1);  // count clock ticks of the panel, each moving the tick counter on
