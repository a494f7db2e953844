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
