#include "testutil.h"

#include <algorithm>
#include <utility>

#include "data/calendar.h"
#include "platform/testhooks.h"
#include "update/fill.h"
#include "update/ratesreader.h"

namespace {

// A bank of its own on the scripted clock: tables dated Tuesday to Saturday, a price per
// currency and day, the daily form (through the update's download) and the range form.
struct Bank {
    std::vector<std::string> urls;  // every request, daily ones as "daily dd.mm.yyyy"
    std::vector<uint32_t> times;
    std::string rangeAnswer;  // "" for the bank's own; "fail" fails; anything else is sent as it is
    int stopAfter = -1;
    bool dailyWithoutIds = false;  // a daily table whose Valutes name no ID
    int failFrom = -1;              // range requests from this one on (counting all) fail
    std::vector<int32_t> planned;   // fillPlannedRequests() at each range request
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
    return dayNumber(makeDayCode(std::stoi(text), std::stoi(text.substr(3)), std::stoi(text.substr(6))));
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
    bank.times.push_back(scripted.clock);
    std::string text = "<ValCurs Date=\"" + dateText(n, '.') + "\">";
    for (int c = 0; c < CurrencyCount; ++c)
        if (c != 8)
            text += "<Valute" + (bank.dailyWithoutIds ? "" : " ID=\"" + idOf(c) + "\"") + "><CharCode>" + isoCode[c] +
                    "</CharCode><Nominal>1</Nominal><Value>" + std::to_string(priceOf(c, n)) + "</Value></Valute>";
    text += "</ValCurs>";
    DayRates rates;
    if (!parseDailyRates(&text[0], text.size(), rates)) return false;
    storeDay(rates);
    return true;
}

bool fetch(const char16_t* url, char*& body, size_t& length)
{
    std::string u = toUtf8(url);
    bank.urls.push_back(u);
    bank.times.push_back(scripted.clock);
    bank.planned.push_back(fillPlannedRequests());
    scripted.clock += 40;
    if (int(bank.urls.size()) == bank.stopAfter) stopFill();
    if (bank.rangeAnswer == "fail" || (bank.failFrom > 0 && int(bank.urls.size()) >= bank.failFrom)) return false;
    bank.body = bank.rangeAnswer.empty() ? rangeDocument(u) : bank.rangeAnswer;
    body = &bank.body[0];
    length = bank.body.size();
    return true;
}

// A fill to its end, as the worker runs inline: its outcome, FillIdle when it did not start.
FillOutcome fillToTheEnd() { return startFill() ? fillOutcome() : FillIdle; }

struct RangeFill : ::testing::Test {
    ScriptedSchedule run;
    void start(int capacity)
    {
        run.restart(capacity);
        schedulePlatform.download = dailyDownload;
        schedulePlatform.fetchDocument = fetch;
        dailyDownload(true, DayCode{});
        forgetCurrencyIds();  // as after the module is loaded again
        bank = Bank();
    }
    void TearDown() override { fileWriteFailAfter = -1; }
    // Every table day from the newest stored back, none missing, each at the bank's price.
    void expectEveryTableDayNewestFirst(int count, int currency = 1)
    {
        DayCode oldest;
        ASSERT_EQ(storedDaySummary(oldest), count);
        int32_t n = dayNumber(makeDayCode(8, 12, 2026));
        for (int i = 0; i < count; ++i, --n) {
            while (!tableDay(n)) --n;
            ASSERT_EQ(dayNumber(history.records[i].code), n) << i;
            EXPECT_EQ(history.records[i].rates[currency].rate, priceOf(currency, n)) << i;
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
    EXPECT_EQ(fillToTheEnd(), FillComplete);
    expectEveryTableDayNewestFirst(365);
    EXPECT_LE(bank.urls.size(), 40u);
    EXPECT_EQ(bank.urls[0], "daily 08.12.2026");
    EXPECT_NE(bank.urls[1].find("/scripts/XML_dynamic.asp?date_req1="), std::string::npos);
    EXPECT_TRUE(std::any_of(bank.urls.begin(), bank.urls.end(),
                            [](const std::string& u) { return param(u, "date_req2") == "07/12/2026"; }));
    for (size_t i = 1; i < bank.times.size(); ++i) EXPECT_GE(bank.times[i] - bank.times[i - 1], FillSpacingMs) << i;
    EXPECT_LE(fileAccessCount - accessesBefore, 5);
    EXPECT_EQ(fillRequests(), int32_t(bank.urls.size()));
}

// A range service that fails, or answers with something that is no range
// document (another currency's, a page), leaves the fill to the daily form; so does
// a daily table that names no ID to ask the range service for.
TEST_F(RangeFill, FallsBackToOneRequestADayWhenTheRangeFormFails)
{
    for (const char* answer : {"fail", "<html><body>Not found</body></html>",
                               "<ValCurs ID=\"R09999\" DateRange1=\"01.01.2026\"></ValCurs>", "no IDs"}) {
        start(12);
        bank.rangeAnswer = answer;
        bank.dailyWithoutIds = std::string(answer) == "no IDs";
        EXPECT_EQ(fillToTheEnd(), FillComplete) << answer;
        expectEveryTableDayNewestFirst(12);
        EXPECT_EQ(bank.urls.back().substr(0, 6), "daily ") << answer;
    }
    // Stopped half-way through a span: what came of it is kept.
    start(30);
    bank.stopAfter = 4;
    EXPECT_EQ(fillToTheEnd(), FillStopped);
    EXPECT_EQ(bank.urls.size(), 4u);
    expectEveryTableDayNewestFirst(30, 2);
}

// Stopped or failed, a fill keeps what its requests brought, from the newest span down
// (no hole before the stored days); while the files lag behind memory it ends failed.
TEST_F(RangeFill, KeepsWhatCameAndEndsFailedWhileTheFilesLag)
{
    struct {
        int stopAfter, failFrom;
        bool writesFail, secondCurrencyOnOlderDays;
        FillOutcome outcome;
    } rows[] = {{2, -1, false, false, FillStopped}, {-1, 3, false, false, FillComplete},
                {2, -1, true, false, FillFailed}, {-1, -1, true, true, FillFailed}, {-1, 2, true, true, FillFailed}};
    for (const auto& row : rows) {
        start(300);  // two range requests a currency: 400 days and 32
        bank.stopAfter = row.stopAfter;
        bank.failFrom = row.failFrom;
        fileWriteFailAfter = row.writesFail ? 0 : -1;
        EXPECT_EQ(fillToTheEnd(), row.outcome) << row.stopAfter << row.failFrom << row.writesFail;
        EXPECT_EQ(historyFilesHold(), !row.writesFail);
        fileWriteFailAfter = -1;
        DayCode oldest;
        int32_t stored = storedDaySummary(oldest);
        EXPECT_GT(stored, 250);
        expectEveryTableDayNewestFirst(stored, 0);
        EXPECT_EQ(history.records[200].rates[1].nominal > 0, row.secondCurrencyOnOlderDays);
    }
}

// A currency shown after the store was filled (the panel, the chart, the converter, a
// ratio) gets a rate on every stored day it lacks one on, the days' other rates kept and
// no day added, each request counted before it is made; a second fill asks for nothing.
// A failing service leaves the fill failed.
TEST_F(RangeFill, FillsTheStoredDaysOfACurrencyShownLater)
{
    struct {
        int currency;
        void (*show)(Settings&);
        const char* answer;
    } rows[] = {{20, [](Settings& s) { s.items[2].currency = 20; }, ""},
                {5, [](Settings& s) { s.chartCurrency = 5; }, ""},
                {22, [](Settings& s) { s.converterFrom = 23; }, ""},
                {6, [](Settings& s) { s.converterTo = 7; }, ""},
                {21, [](Settings& s) { s.items[0].isRatio = 1, s.items[0].currency2 = 21; }, "fail"}};
    for (const auto& row : rows) {
        start(600);
        std::vector<DayRates> older;  // 599 table days with the rates shown so far, one left out
        for (int32_t n = dayNumber(makeDayCode(7, 12, 2026)), k = 0; older.size() < 599; --n)
            if (tableDay(n) && ++k != 10) {
                older.push_back(dayRecord(0, 0, 0));
                older.back().code = dayFromNumber(n);
                for (int c : {0, 1}) older.back().rates[c] = {1, priceOf(c, n)};
            }
        storeDays(older.data(), 599);
        dailyDownload(true, DayCode{});  // the IDs, as the update leaves them
        bank = Bank();
        bank.rangeAnswer = row.answer;
        bool quoted = !row.answer[0];
        row.show(settings);
        EXPECT_EQ(fillToTheEnd(), quoted ? FillComplete : FillFailed) << row.currency;
        EXPECT_TRUE(!bank.urls.empty() && bank.urls.size() <= 3u) << row.currency;
        for (size_t i = 0; i < bank.urls.size(); ++i) {
            EXPECT_EQ(param(bank.urls[i], "VAL_NM_RQ"), idOf(row.currency));
            if (quoted) EXPECT_EQ(bank.planned[i], int32_t(bank.urls.size()));
        }
        DayCode oldest;
        ASSERT_EQ(storedDaySummary(oldest), 600);
        for (int i = 1; i < 600; ++i) {
            int32_t n = dayNumber(older[size_t(i - 1)].code);
            ASSERT_EQ(dayNumber(history.records[i].code), n) << i;
            EXPECT_EQ(history.records[i].rates[0].rate, priceOf(0, n));
            EXPECT_EQ(history.records[i].rates[row.currency].rate, quoted ? priceOf(row.currency, n) : 0.0f);
        }
        bank.urls.clear();
        fillToTheEnd();
        EXPECT_EQ(bank.urls.empty(), quoted) << row.currency;
        setDefaultSettings(settings, 96);
    }
}

// --- Day by day ------------------------------------------------------------------------

namespace {

struct FillScript {
    std::vector<uint32_t> requestTimes;
    std::vector<std::pair<bool, DayCode>> requests;
    int failAt = -1;    // this request fails
    int stopAfter = -1; // stopFill after this many requests
    int answerDaysEarlier = 0;  // the bank's table is this many days older than asked
    bool alwaysTheLatest = false;  // the bank always answers with the same table
    bool updateTriedDuringFill = false;
} fill;

struct Fill : ::testing::Test {
    ScriptedSchedule run;
    void SetUp() override
    {
        fill = FillScript();
        scripted.clock = 5000;
        schedulePlatform.startThread = [] {
            scripted.startTicks.push_back(tickCounter);  // an update that ends at once
            releaseWorker();
            updateState = Stale;
            return true;
        };
        schedulePlatform.download = [](bool latest, const DayCode& wanted) {
            fill.requestTimes.push_back(scripted.clock);
            fill.requests.push_back({latest, wanted});
            scripted.clock += 30;  // the request itself takes a while
            if (!std::exchange(fill.updateTriedDuringFill, true))
                EXPECT_FALSE(startUpdate());  // the update waits for the fill
            if (int(fill.requests.size()) == fill.stopAfter) stopFill();
            if (int(fill.requests.size()) - 1 == fill.failAt) return false;
            DayCode answered = latest || fill.alwaysTheLatest ? makeDayCode(8, 12, 2026) : wanted;
            for (int i = 0; i < fill.answerDaysEarlier; ++i) answered = previousDay(answered);
            storeDay(dayRecord(answered.day, answered.month, yearOf(answered), 90.0f));
            return true;
        };
        updateState = Stale;
    }
};

}  // namespace

// 2 of 15 days stored: 13 requests, each for the day before the oldest, each a
// second or more after the one before on the platform's clock; then the update
// that was asked for meanwhile starts.
TEST_F(Fill, FillsTheStoreOneRequestPerDayASecondApart)
{
    storeDay(dayRecord(8, 12, 2026, 90.0f));
    storeDay(dayRecord(7, 12, 2026, 90.0f));
    EXPECT_EQ(fillToTheEnd(), FillComplete);
    ASSERT_EQ(fill.requests.size(), 13u);
    EXPECT_EQ(fillRequests(), 13);
    DayCode expected = makeDayCode(7, 12, 2026);
    for (size_t i = 0; i < fill.requests.size(); ++i) {
        expected = previousDay(expected);
        EXPECT_FALSE(fill.requests[i].first);
        EXPECT_TRUE(sameDay(fill.requests[i].second, expected)) << i;
        if (i > 0) EXPECT_GE(fill.requestTimes[i] - fill.requestTimes[i - 1], FillSpacingMs) << i;
    }
    EXPECT_LT(fill.requestTimes[1] - fill.requestTimes[0], FillSpacingMs + 100);
    DayCode oldest;
    EXPECT_EQ(storedDaySummary(oldest), 15);
    EXPECT_TRUE(sameDay(oldest, makeDayCode(24, 11, 2026)));
    EXPECT_EQ(scripted.startTicks.size(), 1u);
    EXPECT_FALSE(updateWorkerRunning() && fillRunning());
}

TEST_F(Fill, StopsWhenToldOrAtTheFirstFailureAndKeepsWhatItGot)
{
    storeDay(dayRecord(8, 12, 2026, 90.0f));
    fill.stopAfter = 3;
    EXPECT_EQ(fillToTheEnd(), FillStopped);
    EXPECT_EQ(fill.requests.size(), 3u);
    DayCode oldest;
    EXPECT_EQ(storedDaySummary(oldest), 4);

    fill = FillScript();
    fill.failAt = 2;
    EXPECT_EQ(fillToTheEnd(), FillFailed);
    EXPECT_EQ(fill.requests.size(), 3u);
    EXPECT_EQ(storedDaySummary(oldest), 6);
    EXPECT_TRUE(sameDay(oldest, makeDayCode(3, 12, 2026)));
}

// Weekends: the bank answers with an older table, and the next request goes on
// from there. An empty store starts with the latest rates. A bank with nothing
// older ends the fill instead of asking for the same day again.
TEST_F(Fill, WalksBackFromWhatTheBankAnswersAndEndsWhenNothingIsOlder)
{
    fill.answerDaysEarlier = 2;
    fill.failAt = 4;
    EXPECT_TRUE(startFill());
    ASSERT_EQ(fill.requests.size(), 5u);
    EXPECT_TRUE(fill.requests[0].first);
    EXPECT_TRUE(sameDay(fill.requests[1].second, makeDayCode(5, 12, 2026)));  // after 6 December
    EXPECT_TRUE(sameDay(fill.requests[2].second, makeDayCode(2, 12, 2026)));  // after 3 December

    fill = FillScript();
    fill.alwaysTheLatest = true;
    EXPECT_EQ(fillToTheEnd(), FillComplete);
    EXPECT_EQ(fill.requests.size(), 1u);
}

TEST_F(Fill, NeverRunsBesideAnUpdate)
{
    ASSERT_TRUE(claimWorker(WorkerUpdate));
    EXPECT_FALSE(startFill());
    EXPECT_FALSE(fillRunning());
    releaseWorker();
    EXPECT_TRUE(scripted.startTicks.empty());
    schedulePlatform.startFillThread = [] { return false; };
    EXPECT_FALSE(startFill());
    EXPECT_TRUE(claimWorker(WorkerUpdate));  // a refused start leaves the claim free
    releaseWorker();
}
