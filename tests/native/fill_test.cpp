#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/calendar.h"
#include "data/history.h"
#include "platform/testhooks.h"
#include "testutil.h"
#include "update/fill.h"
#include "update/ratesreader.h"
#include "update/schedule.h"

namespace {

// A bank of its own: tables dated Tuesday to Saturday, a price per currency and
// day, the daily form (through the update's download) and the range form.
struct Bank {
    uint32_t clock = 0;
    std::vector<std::string> urls;  // every request, daily ones as "daily dd.mm.yyyy"
    std::vector<uint32_t> times;
    std::string rangeAnswer;  // "" for the bank's own; "fail" fails; anything else is sent as it is
    int stopAfter = -1;
    std::string body;
} bank;

bool tableDay(int32_t number) { return DayOfWeek(dayFromNumber(number)) >= 2; }
float priceOf(int currency, int32_t number) { return 10.0f + currency + float(number % 97) / 8.0f; }
std::string dateText(int32_t number, char separator)
{
    DayCode d = dayFromNumber(number);
    char text[16];
    std::snprintf(text, sizeof text, "%02d%c%02d%c%04d", d.day, separator, d.month, separator, yearOf(d));
    return text;
}
int32_t numberOf(const std::string& text)  // "dd/mm/yyyy"
{
    return dayNumber(makeDayCode(std::stoi(text.substr(0, 2)), std::stoi(text.substr(3, 2)), std::stoi(text.substr(6))));
}
// "R01..": every table currency but the one at index 8, which this bank doesn't list.
std::string idOf(int currency) { return "R0" + std::to_string(1000 + currency); }

std::string param(const std::string& url, const std::string& name)
{
    size_t at = url.find(name + "=");
    return at == std::string::npos ? "" : url.substr(at + name.size() + 1, url.find('&', at) - at - name.size() - 1);
}

std::string rangeDocument(const std::string& url)
{
    std::string id = param(url, "VAL_NM_RQ");
    int32_t first = numberOf(param(url, "date_req1")), last = numberOf(param(url, "date_req2"));
    std::string text = "<?xml version=\"1.0\" encoding=\"windows-1251\"?><ValCurs ID=\"" + id + "\" DateRange1=\"" +
                       dateText(first, '.') + "\" DateRange2=\"" + dateText(last, '.') + "\" name=\"Foreign\">";
    for (int c = 0; c < CurrencyCount; ++c) {
        if (idOf(c) != id) continue;
        for (int32_t n = first; n <= last; ++n) {
            if (!tableDay(n)) continue;
            char value[32];
            std::snprintf(value, sizeof value, "%.4f", double(priceOf(c, n)));
            *std::strchr(value, '.') = ',';
            text += "<Record Date=\"" + dateText(n, '.') + "\" Id=\"" + id + "\"><Nominal>1</Nominal><Value>" + value +
                    "</Value></Record>\r\n";
        }
    }
    return text + "</ValCurs>";
}

// The daily form: the table on or before the day, which names every currency's ID.
bool dailyDownload(bool latest, const DayCode& day)
{
    int32_t n = latest ? dayNumber(makeDayCode(8, 12, 2026)) : dayNumber(day);
    while (!tableDay(n)) --n;
    bank.urls.push_back("daily " + dateText(n, '.'));
    bank.times.push_back(bank.clock);
    std::string text = "<ValCurs Date=\"" + dateText(n, '.') + "\">";
    for (int c = 0; c < CurrencyCount; ++c)
        if (c != 8)
            text += "<Valute ID=\"" + idOf(c) + "\"><CharCode>" + isoCode[c] + "</CharCode><Nominal>1</Nominal><Value>" +
                    std::to_string(priceOf(c, n)) + "</Value></Valute>";
    text += "</ValCurs>";
    DayRates rates;
    if (!parseDailyRates(&text[0], text.size(), rates)) return false;
    storeDay(rates);
    return true;
}

bool fetch(const char16_t* url, char*& body, size_t& length)
{
    std::string u;
    for (; *url; ++url) u += char(*url);
    bank.urls.push_back(u);
    bank.times.push_back(bank.clock);
    bank.clock += 40;
    if (int(bank.urls.size()) == bank.stopAfter) stopFill();
    if (bank.rangeAnswer == "fail") return false;
    bank.body = bank.rangeAnswer.empty() ? rangeDocument(u) : bank.rangeAnswer;
    body = &bank.body[0];
    length = bank.body.size();
    return true;
}

struct RangeFill : ::testing::Test {
    ScratchFolder folder;
    void start(int capacity)
    {
        bank = Bank();
        forgetCurrencyIds();
        resetSchedule();
        schedulePlatform = SchedulePlatform{};
        schedulePlatform.tickCount = [] { return bank.clock; };
        schedulePlatform.sleepMs = [](int ms) { bank.clock += uint32_t(ms); };
        schedulePlatform.startFillThread = [] {
            fillWorker();
            return true;
        };
        schedulePlatform.download = dailyDownload;
        schedulePlatform.fetchDocument = fetch;
        std::remove(folder.file("vokCurrency.his").c_str());
        loadHistory(folder.path16("vokCurrency.his").c_str(), capacity);
        dailyDownload(true, DayCode{});
        forgetCurrencyIds();  // as after the module is loaded again
        bank.urls.clear();
        bank.times.clear();
    }
    void TearDown() override
    {
        freeHistory();
        schedulePlatform = SchedulePlatform{};
    }
    // Every table day from the newest stored back, none missing, each at the bank's price.
    void expectEveryTableDayNewestFirst(int count)
    {
        DayCode oldest;
        ASSERT_EQ(storedDaySummary(oldest), count);
        int32_t n = dayNumber(makeDayCode(8, 12, 2026));
        for (int i = 0; i < count; ++i, --n) {
            while (!tableDay(n)) --n;
            ASSERT_EQ(dayNumber(history.records[i].code), n) << i;
            EXPECT_EQ(history.records[i].rates[1].rate, priceOf(1, n)) << i;
            EXPECT_EQ(history.records[i].rates[8].nominal, 0) << i;
        }
    }
};

}  // namespace

// A year on a one-day store: one daily table for the IDs, then each listed
// currency over a span at a time, a second apart; few writes of the file.
TEST_F(RangeFill, AYearComesInAFewRequestsPerCurrencyAndFewWrites)
{
    start(365);
    long accessesBefore = fileAccessCount;
    ASSERT_TRUE(startFill());
    EXPECT_EQ(fillOutcome(), FillComplete);
    expectEveryTableDayNewestFirst(365);
    EXPECT_LE(bank.urls.size(), 40u);
    EXPECT_EQ(bank.urls[0], "daily 08.12.2026");
    EXPECT_NE(bank.urls[1].find("/scripts/XML_dynamic.asp?date_req1="), std::string::npos);
    EXPECT_EQ(param(bank.urls[1], "date_req2"), "07/12/2026");
    for (size_t i = 1; i < bank.times.size(); ++i) EXPECT_GE(bank.times[i] - bank.times[i - 1], FillSpacingMs) << i;
    EXPECT_LE(fileAccessCount - accessesBefore, 5);
    EXPECT_EQ(fillRequests(), int32_t(bank.urls.size()));
}

// A range service that fails, or answers with something that is no range
// document (another currency's, a page), leaves the fill to the daily form.
TEST_F(RangeFill, FallsBackToOneRequestADayWhenTheRangeFormFails)
{
    for (const char* answer : {"fail", "<html><body>Not found</body></html>",
                               "<ValCurs ID=\"R09999\" DateRange1=\"01.01.2026\"></ValCurs>"}) {
        start(12);
        bank.rangeAnswer = answer;
        ASSERT_TRUE(startFill());
        EXPECT_EQ(fillOutcome(), FillComplete) << answer;
        expectEveryTableDayNewestFirst(12);
        EXPECT_EQ(bank.urls.back().substr(0, 6), "daily ") << answer;
        freeHistory();
    }
    // Stopped half-way through a span: nothing of that span is stored.
    start(30);
    bank.stopAfter = 4;
    ASSERT_TRUE(startFill());
    EXPECT_EQ(fillOutcome(), FillStopped);
    EXPECT_EQ(bank.urls.size(), 4u);
    DayCode oldest;
    EXPECT_EQ(storedDaySummary(oldest), 1);
}
