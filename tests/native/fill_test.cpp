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
    scripted.clock += 40;
    if (int(bank.urls.size()) == bank.stopAfter) stopFill();
    if (bank.rangeAnswer == "fail") return false;
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
    // Stopped half-way through a span: nothing of that span is stored.
    start(30);
    bank.stopAfter = 4;
    EXPECT_EQ(fillToTheEnd(), FillStopped);
    EXPECT_EQ(bank.urls.size(), 4u);
    DayCode oldest;
    EXPECT_EQ(storedDaySummary(oldest), 1);
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
