// The companion file of the history: the other currencies' rates by day, and
// whatever is wrong with it leaving them absent and the history file's days as
// they are.
#include "testutil.h"

#include <cmath>

#include "data/companion.h"

namespace {

constexpr int Cny = 17;

// Two stored days, each with a yuan rate; the companion image as this build writes it.
std::vector<DayRates> twoDays()
{
    std::vector<DayRates> days = {dayRecord(8, 12, 2026, 90.8f), dayRecord(7, 12, 2026, 90.7f)};
    days[0].rates[Cny] = {1, 11.8f};
    days[1].rates[Cny] = {1, 11.7f};
    days[1].rates[CurrencyCount - 1] = {1000, 55.5f};
    return days;
}

std::vector<unsigned char> imageOf(const std::vector<DayRates>& days)
{
    std::vector<unsigned char> image(companionImageSize(days.data(), int32_t(days.size())));
    writeCompanionImage(days.data(), int32_t(days.size()), image.data());
    return image;
}

void putRate(std::vector<unsigned char>& image, size_t record, int currency, RateEntry entry)
{
    size_t at = CompanionHeaderBytes + record * CompanionRecordBytes + 4 + (currency - RecordCurrencies) * 8;
    std::memcpy(&image[at], &entry, sizeof entry);
}

}  // namespace

TEST(Companion, WhateverIsWrongWithTheFileLeavesTheOtherRatesAbsentAndTheDaysAsTheyAre)
{
    ScratchFolder folder;
    const std::vector<DayRates> days = twoDays();
    const std::vector<unsigned char> good = imageOf(days);
    std::vector<unsigned char> cut(good.begin(), good.end() - 10), marker = good, header = good, lacking = good,
        damagedDay = good, noPrice = good, longer(CompanionHeaderBytes + 2 * (4 + 30 * 8));
    marker[3] = 'Y';
    header[6] = 0;  // the record's size no longer fits the count
    DayCode other = makeDayCode(6, 12, 2026), bad = {40, 12, 37};
    std::memcpy(&lacking[CompanionHeaderBytes], &other, 3);
    std::memcpy(&damagedDay[CompanionHeaderBytes], &bad, 3);
    putRate(noPrice, 0, Cny, {1, std::nanf("")});
    putRate(noPrice, 1, Cny, {-1, 11.7f});
    // A later build's record: 30 currencies, the first 27 this build's own.
    std::memcpy(&longer[0], good.data(), 4);
    longer[4] = 30, longer[6] = uint8_t(4 + 30 * 8);
    for (size_t r = 0; r < 2; ++r) {
        unsigned char* at = &longer[CompanionHeaderBytes + r * (4 + 30 * 8)];
        std::memcpy(at, &good[CompanionHeaderBytes + r * CompanionRecordBytes], CompanionRecordBytes);
    }
    const struct {
        const char* what;
        const std::vector<unsigned char>* file;  // none: no companion file at all (an upgrade)
        float yuan[2];                           // the two days' yuan rates after loading; 0 absent
    } cases[] = {
        {"as written", &good, {11.8f, 11.7f}},     {"missing", nullptr, {0, 0}},
        {"cut short", &cut, {11.8f, 0}},           {"not a companion file", &marker, {0, 0}},
        {"a damaged header", &header, {0, 0}},     {"a day the history lacks", &lacking, {0, 11.7f}},
        {"a damaged day", &damagedDay, {0, 11.7f}}, {"rates that are no price", &noPrice, {0, 0}},
        {"a later build's longer records", &longer, {11.8f, 11.7f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeHistoryFile(folder.file("vokCurrency.his"), days);
        std::remove(folder.file("vokCurrency.hix").c_str());
        if (c.file) writeBytes(folder.file("vokCurrency.hix"), c.file->data(), c.file->size());
        loadHistory(folder.path16("vokCurrency.his").c_str(), 3);
        for (int d = 0; d < 2; ++d) {
            ASSERT_TRUE(sameDay(history.records[d].code, days[d].code));
            EXPECT_EQ(std::memcmp(&history.records[d], &days[d], sizeof(HistoryRecord)), 0);
            EXPECT_EQ(history.records[d].rates[Cny].rate, c.yuan[d]);
            EXPECT_EQ(history.records[d].rates[Cny].nominal, c.yuan[d] > 0 ? 1 : 0);
        }
        EXPECT_TRUE(isEmpty(history.records[2]));
        freeHistory();
    }
}

// A damaged history record whose date sorts with a real day's (33.01 beside 01.02)
// hides none of that day's rates; a later build's wider records keep the rates
// this build does not know through a save.
TEST(Companion, ItsEdgesLoseNoRateThroughASave)
{
    ScratchFolder folder;
    std::vector<DayRates> days = {dayRecord(2, 2, 2026, 92.0f), dayRecord(1, 2, 2026, 91.0f),
                                  dayRecord(31, 1, 2026, 90.0f)};
    for (DayRates& d : days) d.rates[Cny] = {1, 11.0f + d.code.day / 100.0f};
    std::vector<unsigned char> image = imageOf(days);
    std::vector<DayRates> onFile = days;
    onFile.insert(onFile.begin() + 1, dayRecord(33, 1, 2026, 1.0f));  // damaged: sorts with 01.02
    const size_t wide = 4 + 30 * 8;
    std::vector<unsigned char> later(CompanionHeaderBytes + days.size() * wide);
    std::memcpy(&later[0], image.data(), 4);
    later[4] = 30, later[6] = uint8_t(wide);
    for (size_t r = 0; r < days.size(); ++r) {
        unsigned char* at = &later[CompanionHeaderBytes + r * wide];
        std::memcpy(at, &image[CompanionHeaderBytes + r * CompanionRecordBytes], CompanionRecordBytes);
        RateEntry unknown{int32_t(r + 1), 7.5f};
        std::memcpy(at + CompanionRecordBytes + 2 * 8, &unknown, 8);  // the 30th currency
    }
    for (const std::vector<unsigned char>* file : {&image, &later}) {
        writeHistoryFile(folder.file("vokCurrency.his"), onFile);
        writeBytes(folder.file("vokCurrency.hix"), file->data(), file->size());
        for (int pass = 0; pass < 2; ++pass) {  // as loaded, then after a save
            loadHistory(folder.path16("vokCurrency.his").c_str(), 4);  // the search's middle lands on 33.01
            for (const DayRates& d : days) EXPECT_EQ(findDay(d.code).rates[Cny].rate, d.rates[Cny].rate);
            storeDay(findDay(days[0].code));
            freeHistory();
        }
        std::vector<unsigned char> saved = readBytes(folder.file("vokCurrency.hix"));
        size_t record = file == &later ? wide : CompanionRecordBytes;
        ASSERT_EQ(saved.size(), CompanionHeaderBytes + 4 * record);  // 02.02, 33.01, 01.02, 31.01
        if (file != &later) continue;
        EXPECT_EQ(saved[4], 30);
        for (size_t r = 0; r < 4; ++r) {
            RateEntry unknown;
            std::memcpy(&unknown, &saved[CompanionHeaderBytes + r * wide + CompanionRecordBytes + 16], 8);
            int expected[] = {1, 0, 2, 3};  // the damaged day never had one
            EXPECT_EQ(unknown.nominal, expected[r]) << r;
        }
    }
}
