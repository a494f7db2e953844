// The download against a local service: both request forms, the read loop and
// its limits, what reaches the history and its file, the proxy setting (through
// a real tinyproxy where the test run provides one) and the connection manager.
#include "httpserver.h"
#include "harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>

#include "data/history.h"
#include "platform/testhooks.h"
#include "tests/fixtures/daily_full_expected.h"
#include "update/download.h"
#include "update/ratesurl.h"
#include "update/schedule.h"
#include "update/schedule_win32.h"

namespace {

// The history record's currencies, with distinct values: currency i costs i+10
// roubles and some odd kopecks.
std::vector<Quote> tableQuotes()
{
    std::vector<Quote> quotes;
    for (int i = 0; i < RecordCurrencies; ++i) {
        char value[16];
        std::snprintf(value, sizeof value, "%d,%04d", 10 + i, 1234 + 7 * i);
        quotes.push_back({isoCode[i], i % 4 == 3 ? 100 : 1, value});
    }
    return quotes;
}

float rateOf(const Quote& q)
{
    std::string text = q.value;
    size_t comma = text.find(',');
    if (comma != std::string::npos) text[comma] = '.';
    return static_cast<float>(std::strtod(text.c_str(), nullptr));
}

// A document in the bank's layout. With size set, blanks are put between the
// root's start tag and its first Valute until the document is exactly that long
// (checked), so the currencies sit at its very end.
std::string ratesDocument(const std::string& date, const std::vector<Quote>& quotes, size_t size = 0)
{
    std::string head = "<ValCurs Date=\"" + date + "\" name=\"Foreign Currency Market\">";
    std::string rest;
    for (const Quote& q : quotes)
        rest += "<Valute ID=\"R0\"><CharCode>" + q.code + "</CharCode><Nominal>" + std::to_string(q.nominal) +
                "</Nominal><Value>" + q.value + "</Value></Valute>";
    rest += "</ValCurs>";
    if (size > head.size() + rest.size()) head.append(size - head.size() - rest.size(), ' ');
    EXPECT_TRUE(size == 0 || head.size() + rest.size() == size) << head.size() + rest.size() << " bytes, not " << size;
    return head + rest;
}

// The service's answer: every table currency on that date, in a document of size bytes when set.
ScriptedResponse tableOn(const std::string& date, size_t size = 0)
{
    return serving(ratesDocument(date, tableQuotes(), size));
}

int tableIndex(const std::string& code)
{
    for (int i = 0; i < CurrencyCount; ++i)
        if (code == isoCode[i]) return i;
    return -1;
}

// Runs downloadRates on a thread and waits for it at most a minute. A download
// that hangs ends the test run: it can't be stopped, and it holds the history.
bool runDownload(bool latest, DayCode day = {0, 0, 0})
{
    std::future<bool> call = std::async(std::launch::async, [=] { return downloadRates(latest, day); });
    if (call.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        std::fprintf(stderr, "downloadRates did not return within 60 s\n");
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    return call.get();
}

void setProxy(bool use, const std::string& text)
{
    settings.useProxy = use ? 1 : 0;
    std::memset(settings.proxy, 0, sizeof settings.proxy);
    for (size_t i = 0; i < text.size() && i < 64; ++i) settings.proxy[i] = static_cast<char16_t>(text[i]);
}

std::string loopbackBase(int port) { return "http://127.0.0.1:" + std::to_string(port); }

class RateDownload : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memcpy(savedBase, ratesServiceBase, sizeof savedBase);
        setDefaultSettings(settings, 96);
        loadHistory(reinterpret_cast<const char16_t*>(historyFile.c_str()), 15);
        ASSERT_NE(history.records, nullptr);
        // Anything but a rewrite by the store leaves these bytes as they are.
        const char sentinel[] = "not yet written by the history store";
        writeFileBytes(historyFile, sentinel, sizeof sentinel);
        fileBefore = readFileBytes(historyFile);
        resetConnMgrLog();
        ASSERT_TRUE(server.start());
        pointServiceAt(loopbackBase(server.port()));
    }

    void TearDown() override
    {
        updateLimitOverrideMs = 0;
        server.stop();
        EXPECT_TRUE(waitForFetchThread(15000)) << "a fetch thread outlived its service";
        freeHistory();
        std::memcpy(ratesServiceBase, savedBase, sizeof savedBase);
    }

    void pointServiceAt(const std::string& base)
    {
        std::memset(ratesServiceBase, 0, sizeof ratesServiceBase);
        std::u16string(base.begin(), base.end()).copy(ratesServiceBase, RatesServiceBaseCapacity - 1);
    }

    // One download (of the latest table unless asked for day) that the service answers with response.
    bool download(const ScriptedResponse& response, bool latest = true, DayCode day = {0, 0, 0})
    {
        server.respondWith(response);
        return runDownload(latest, day);
    }

    std::vector<std::string> requestLines()
    {
        std::vector<std::string> lines;
        for (const RecordedRequest& r : server.requests()) lines.push_back(r.requestLine);
        return lines;
    }

    // calls connections asked of the connection manager, each released again.
    void expectConnections(int calls, const std::string& what = "")
    {
        EXPECT_EQ(connMgrLog.establishCalls, calls) << what;
        EXPECT_EQ(connMgrLog.releaseCalls, calls) << what;
        EXPECT_EQ(connMgrLog.openConnections, 0) << what;
        EXPECT_EQ(connMgrLog.badReleases, 0) << what;
    }

    int storedDays()
    {
        int n = 0;
        for (int i = 0; i < history.capacity; ++i) n += history.records[i].code.day != 0;
        return n;
    }

    // No day in memory, and the history file exactly as it was before the download.
    void expectNothingStored()
    {
        EXPECT_EQ(storedDays(), 0);
        EXPECT_EQ(readFileBytes(historyFile), fileBefore);
    }

    // The day is stored with every quote, and the file holds the whole store.
    void expectStored(DayCode day, const std::vector<Quote>& quotes = tableQuotes())
    {
        DayRates rec = findDay(day);
        ASSERT_EQ(rec.code.day, day.day) << "day not stored";
        for (const Quote& q : quotes) {
            int i = tableIndex(q.code);
            if (i < 0) continue;
            EXPECT_EQ(rec.rates[i].nominal, q.nominal) << q.code;
            EXPECT_FLOAT_EQ(rec.rates[i].rate, rateOf(q)) << q.code;
        }
        std::vector<unsigned char> file = readFileBytes(historyFile);
        ASSERT_EQ(file.size(), 15 * sizeof(HistoryRecord));
        for (size_t d = 0; d < 15; ++d)
            EXPECT_EQ(std::memcmp(&file[d * sizeof(HistoryRecord)], &history.records[d], sizeof(HistoryRecord)), 0);
    }

    PluginFolder folder;
    std::wstring historyFile = folder.file(L"vokCurrency.his");
    std::vector<unsigned char> fileBefore;
    TestHttpServer server;
    char16_t savedBase[RatesServiceBaseCapacity];
};

const DayCode march2 = {2, 3, 16};  // 02.03.2005
const char* const UserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.2)";
using Lines = std::vector<std::string>;

TEST_F(RateDownload, BothRequestFormsReachTheServiceWithTheUserAgent)
{
    EXPECT_TRUE(download(tableOn("02.03.2005"), true, {99, 99, 99}));
    EXPECT_TRUE(download(tableOn("07.12.2026"), false, {7, 12, 37}));
    EXPECT_EQ(requestLines(), (Lines{"GET /scripts/XML_daily.asp?nocache HTTP/1.1",
                                     "GET /scripts/XML_daily.asp?date_req=07/12/2026 HTTP/1.1"}));
    for (const RecordedRequest& r : server.requests()) {
        EXPECT_EQ(r.userAgent, UserAgent);
        EXPECT_EQ(r.via, "");  // straight to the service
    }
    expectStored({7, 12, 37});
    expectStored(march2);
    EXPECT_TRUE(sameDay(history.records[0].code, {7, 12, 37}));
}

TEST_F(RateDownload, ResponsesOf256BytesOrFewerAreNotRead)
{
    const std::vector<Quote> dollar = {{"USD", 1, "27,95"}};
    EXPECT_FALSE(download(serving(ratesDocument("02.03.2005", dollar, 256))));
    EXPECT_FALSE(download(serving("")));
    EXPECT_EQ(server.requests().size(), 2u);
    expectNothingStored();

    // The same document one byte longer is read.
    EXPECT_TRUE(download(serving(ratesDocument("02.03.2005", dollar, 257))));
    expectStored(march2, dollar);
}

TEST_F(RateDownload, DocumentsBeyondTheOldFourKilobytesAreReadWhole)
{
    // Exactly 4096 bytes, the last currency (CHF) right before the root's end tag.
    EXPECT_TRUE(download(tableOn("02.03.2005", 4096)));
    expectStored(march2);

    // One byte short of the limit, currencies at the very end.
    static_assert(DocumentLimit - 1 == 65535, "the limit the reader was built for");
    EXPECT_TRUE(download(tableOn("03.03.2005", DocumentLimit - 1)));
    expectStored({3, 3, 16});
}

TEST_F(RateDownload, TheBanksFullDocumentStoresEveryTableCurrency)
{
    std::string base = std::string(VOK_SOURCE_DIR) + "/tests/fixtures/daily_full";
    std::ifstream xml(base + ".xml", std::ios::binary);
    ASSERT_TRUE(xml) << "fixture missing: " << base;
    std::string body((std::istreambuf_iterator<char>(xml)), std::istreambuf_iterator<char>());
    ASSERT_GT(body.size(), 4096u);
    ExpectedTable expected = loadExpectedTable(base + ".expected");
    int inTable = 0;
    for (const Quote& q : expected.quotes) inTable += tableIndex(q.code) >= 0;
    ASSERT_NE(expected.day, 0);
    ASSERT_GE(inTable, 10);

    EXPECT_TRUE(download(serving(body)));
    expectStored(makeDayCode(expected.day, expected.month, expected.year), expected.quotes);
}

TEST_F(RateDownload, ADocumentThatFillsTheBufferIsRefused)
{
    // Read to the limit, these would look like a root with a date and no
    // currencies, a day that must not be stored.
    for (size_t size : {DocumentLimit, DocumentLimit + 1, size_t(100000)})
        EXPECT_FALSE(download(tableOn("02.03.2005", size))) << size;
    EXPECT_EQ(server.requests().size(), 3u);
    expectNothingStored();
}

TEST_F(RateDownload, AReadThatFailsLaterKeepsWhatCameBeforeIt)
{
    // A whole document in the first 3000 bytes of a longer body; the server
    // stops there. Wine's WinINet reads on until its request is filled, so the
    // reset comes back from the call that brought the 3000 bytes.
    auto cutAt3000 = [](const std::string& date, ResponseEnding ending) {
        std::string document = ratesDocument(date, tableQuotes());
        EXPECT_LT(document.size(), 3000u);
        ScriptedResponse r = endedAs(serving(document + "<!--" + std::string(6000, '-') + "-->"), ending, 3000);
        r.pauseBeforeCloseMs = 300;  // the bytes are in before the connection goes
        return r;
    };
    EXPECT_TRUE(download(cutAt3000("02.03.2005", ResponseEnding::ResetAfter)));
    expectStored(march2);

    // An orderly close short of the announced length.
    EXPECT_TRUE(download(cutAt3000("03.03.2005", ResponseEnding::CloseAfter)));
    expectStored({3, 3, 16});
}

TEST_F(RateDownload, ErrorPagesAndEarlyClosesStoreNothing)
{
    ScriptedResponse notFound = answering(
        404, "<!DOCTYPE html><html><head><title>404 Not Found</title></head><body><h1>Not Found</h1>"
             "<p>The requested URL /scripts/XML_daily.asp was not found on this server. Try the "
             "daily rates again later, or contact the administrator of this service.</p><hr>"
             "<address>Test server at 127.0.0.1</address></body></html>");
    notFound.contentType = "text/html";
    ASSERT_GT(notFound.body.size(), DocumentFloor);  // so it is the reader that turns it away
    ScriptedResponse unanswered = endedAs(tableOn("02.03.2005"), ResponseEnding::NoResponse);
    ScriptedResponse headersOnly = endedAs(unanswered, ResponseEnding::CloseAfter, 0);

    int n = 0;
    for (const ScriptedResponse& r : {notFound, serving(""), unanswered, headersOnly})
        EXPECT_FALSE(download(r)) << "response " << n++;
    EXPECT_GE(server.requests().size(), 4u);  // WinINet may retry a dropped request
    expectNothingStored();

    // Nobody listening at all.
    pointServiceAt(loopbackBase(deadLoopbackPort()));
    EXPECT_FALSE(runDownload(true));
    expectNothingStored();
}

TEST_F(RateDownload, TheHistoryFileIsRewrittenOnlyOnSuccess)
{
    ASSERT_TRUE(download(tableOn("02.03.2005")));
    std::vector<unsigned char> afterSuccess = readFileBytes(historyFile);
    ASSERT_EQ(afterSuccess.size(), 15 * sizeof(HistoryRecord));
    // Marks the file: a rewrite from memory would put the record's first byte back.
    afterSuccess[0] = 0xEE;
    writeFileBytes(historyFile, afterSuccess.data(), afterSuccess.size());

    EXPECT_FALSE(download(answering(404, std::string(300, 'x'))));
    EXPECT_EQ(readFileBytes(historyFile), afterSuccess);

    // The same day again: replaced in place, and the file is rewritten.
    std::vector<Quote> changed = {{"EUR", 1, "36,6000"}};
    ASSERT_TRUE(download(serving(ratesDocument("02.03.2005", changed, 400))));
    std::vector<unsigned char> rewritten = readFileBytes(historyFile);
    ASSERT_EQ(rewritten.size(), 15 * sizeof(HistoryRecord));
    EXPECT_EQ(rewritten[0], 2);
    expectStored(march2, changed);
    EXPECT_EQ(storedDays(), 1);
}

TEST_F(RateDownload, TheProxyTextIsUsedOnlyWithUseProxy)
{
    std::string dead = "127.0.0.1:" + std::to_string(deadLoopbackPort());
    server.respondWith(tableOn("02.03.2005"));

    // A stored proxy without useProxy: straight to the service.
    setProxy(false, dead);
    EXPECT_TRUE(runDownload(true));
    ASSERT_EQ(server.requests().size(), 1u);
    expectStored(march2);

    // useProxy with a proxy nobody answers: the service is never reached.
    setProxy(true, dead);
    EXPECT_FALSE(runDownload(true));
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(RateDownload, ThroughTinyproxyTheRequestReachesTheService)
{
    const char* proxy = std::getenv("VOK_TEST_PROXY");
    if (!proxy || !*proxy) GTEST_SKIP() << "VOK_TEST_PROXY is not set (ctest starts tinyproxy and sets it)";
    setProxy(true, proxy);
    EXPECT_TRUE(download(tableOn("02.03.2005"), false, march2));
    std::vector<RecordedRequest> seen = server.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].via.find("tinyproxy"), std::string::npos) << "Via: " << seen[0].via;
    EXPECT_NE(seen[0].requestLine.find("/scripts/XML_daily.asp?date_req=02/03/2005 HTTP/1."), std::string::npos)
        << seen[0].requestLine;
    EXPECT_EQ(seen[0].userAgent, UserAgent);
    expectStored(march2);
}

TEST_F(RateDownload, TinyproxysErrorPageForAnUnknownHostStoresNothing)
{
    const char* proxy = std::getenv("VOK_TEST_PROXY");
    if (!proxy || !*proxy) GTEST_SKIP() << "VOK_TEST_PROXY is not set (ctest starts tinyproxy and sets it)";
    const char* port = std::strchr(proxy, ':');
    ASSERT_NE(port, nullptr) << proxy;
    // What the proxy answers: its own HTML page, long enough to reach the reader.
    std::string page = exchangeWithLoopback(
        std::atoi(port + 1), "GET http://no-such-host.invalid/scripts/XML_daily.asp?nocache HTTP/1.0\r\n\r\n", 15000);
    size_t bodyAt = page.find("\r\n\r\n");
    ASSERT_NE(bodyAt, std::string::npos) << page;
    EXPECT_GT(page.size() - bodyAt - 4, DocumentFloor);
    EXPECT_NE(page.find("<html"), std::string::npos);

    setProxy(true, proxy);
    pointServiceAt("http://no-such-host.invalid");
    EXPECT_FALSE(runDownload(true));
    expectNothingStored();
}

TEST_F(RateDownload, NoConnectionIsRequestedUnlessAsked)
{
    ASSERT_EQ(settings.updateFlags & EstablishConnection, 0);
    EXPECT_TRUE(download(tableOn("02.03.2005")));
    EXPECT_EQ(connMgrLog.mapCalls, 0);
    expectConnections(0);
}

TEST_F(RateDownload, TheConnectionIsRequestedForTheServiceAndReleased)
{
    settings.updateFlags |= EstablishConnection;
    EXPECT_TRUE(download(tableOn("02.03.2005")));
    const CONNMGR_CONNECTIONINFO& request = connMgrLog.lastRequest;
    EXPECT_EQ(connMgrLog.mapCalls, 1);
    EXPECT_EQ(std::wstring(connMgrLog.lastMappedUrl),
              L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/scripts/XML_daily.asp?nocache");
    expectConnections(1);
    EXPECT_EQ(request.cbSize, 64u);
    EXPECT_EQ(request.dwParams, CONNMGR_PARAM_GUIDDESTNET);
    EXPECT_EQ(request.dwFlags, 0u);
    EXPECT_EQ(request.dwPriority, 0x8000u);
    EXPECT_EQ(request.bExclusive, 1);
    EXPECT_EQ(request.bDisabled, 0);
    EXPECT_TRUE(IsEqualGUID(request.guidDestNet, connMgrInternetNet));
    EXPECT_EQ(request.hWnd, nullptr);
    EXPECT_EQ(request.uMsg, 0u);
    EXPECT_EQ(request.lParam, 0);
    EXPECT_EQ(request.ulMaxCost + request.ulMinRcvBw + request.ulMaxConnLatency, 0u);
    // The connection's 30 s, or what is left of the update's minute a moment on.
    EXPECT_LE(connMgrLog.lastTimeout, 30000u);
    EXPECT_GE(connMgrLog.lastTimeout, 29000u);
    EXPECT_EQ(connMgrLog.lastCache, 0);

    // With useProxy the request asks for an HTTP proxy; the failure still releases.
    resetConnMgrLog();
    setProxy(true, "127.0.0.1:" + std::to_string(deadLoopbackPort()));
    EXPECT_FALSE(runDownload(true));
    EXPECT_EQ(connMgrLog.lastRequest.dwFlags, CONNMGR_FLAG_PROXY_HTTP);
    EXPECT_EQ(connMgrLog.lastRequest.dwPriority, CONNMGR_PRIORITY_USERINTERACTIVE);
    expectConnections(1, "through the proxy");
}

TEST_F(RateDownload, EveryFailureReleasesTheConnection)
{
    settings.updateFlags |= EstablishConnection;
    const ScriptedResponse failures[] = {
        endedAs(serving(""), ResponseEnding::NoResponse),                    // no request handle
        serving(ratesDocument("02.03.2005", {{"USD", 1, "27,95"}}, 256)),     // the floor
        answering(404, std::string(400, 'x')),                               // the reader says no
        tableOn("02.03.2005", DocumentLimit),                                // too long
    };
    int n = 0;
    for (const ScriptedResponse& r : failures) {
        resetConnMgrLog();
        EXPECT_FALSE(download(r)) << "failure " << n;
        expectConnections(1, "failure " + std::to_string(n++));
    }
    expectNothingStored();
}

// Whatever the service sends that is no whole document of a real day with a
// table currency, the day stored before stays byte for byte as it was.
TEST_F(RateDownload, RefusedAnswersLeaveTheStoredDayAsItWas)
{
    ASSERT_TRUE(download(tableOn("02.03.2005")));
    const std::vector<unsigned char> stored = readFileBytes(historyFile);
    const DayRates before = findDay(march2);

    std::string whole = ratesDocument("02.03.2005", tableQuotes());
    std::string withNul = whole;
    withNul[whole.find("<Valute") + 3] = '\0';
    ScriptedResponse blockPage = serving("<html><head><title>Access denied</title></head><body><h1>This site is "
                                         "blocked</h1><p>The page you asked for is not available on this network. "
                                         "Contact your operator for details.</p>" + std::string(200, ' ') +
                                         "</body></html>");
    blockPage.contentType = "text/html";
    const std::pair<const char*, ScriptedResponse> refused[] = {
        {"table cut at 40%", endedAs(serving(whole), ResponseEnding::CloseAfter, whole.size() * 4 / 10)},
        {"a NUL inside the body", serving(withNul)},
        {"a date that is no date", tableOn("xx.yy.zzzz")},
        {"month 13", tableOn("02.13.2005")},
        {"31 February", tableOn("31.02.2005")},
        {"no table currency", serving(ratesDocument("02.03.2005", {{"LTL", 1, "28,9371"}, {"XYZ", 1, "1,0"}}, 400))},
        {"the root without rates", serving(ratesDocument("02.03.2005", {}, 400))},
        {"a block page", blockPage},
    };
    for (const auto& [why, response] : refused) {
        EXPECT_FALSE(download(response)) << why;
        EXPECT_EQ(readFileBytes(historyFile), stored) << why;
        DayRates after = findDay(march2);
        EXPECT_EQ(std::memcmp(&after, &before, sizeof before), 0) << why;
        EXPECT_EQ(storedDays(), 1) << why;
    }
    EXPECT_EQ(server.requests().size(), 1u + std::size(refused));
}

TEST_F(RateDownload, AStalledServiceIsGivenUpAtTheTimeLimit)
{
    updateLimitOverrideMs = 3000;  // a minute, shortened for the test
    ScriptedResponse silent = endedAs(tableOn("02.03.2005"), ResponseEnding::StallAfter);
    silent.headOnly = true;  // the request is taken, nothing ever comes back
    // halfway: the head and part of the table, then silence
    ScriptedResponse halfway = endedAs(tableOn("02.03.2005"), ResponseEnding::StallAfter, 500);
    for (const ScriptedResponse& stall : {silent, halfway}) {
        DWORD began = GetTickCount();
        EXPECT_FALSE(download(stall));
        DWORD took = GetTickCount() - began;
        EXPECT_GE(took, 800u);    // it did wait for the service
        EXPECT_LE(took, 4500u);   // and gave up within the limit
    }
    expectNothingStored();

    // One update's downloads share the limit: once it is spent, nothing more is sent.
    server.respondWith(silent);
    size_t askedBefore = server.requests().size();
    beginUpdateRun();
    DWORD began = GetTickCount();
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(runDownload(i == 0, march2));
    endUpdateRun();
    EXPECT_LE(GetTickCount() - began, 4500u);
    size_t asked = server.requests().size() - askedBefore;
    EXPECT_GE(asked, 1u);
    EXPECT_LT(asked, 6u);
}

TEST_F(RateDownload, ARedirectToTheMovedDocumentIsFollowed)
{
    std::string movedTo = loopbackBase(server.port()) + "/moved/XML_daily.asp?nocache";
    server.respondTo("/scripts/XML_daily.asp", answering(302, "<html><body>Moved</body></html>", movedTo));
    server.respondTo("/moved/", tableOn("02.03.2005"));
    EXPECT_TRUE(runDownload(true));
    EXPECT_EQ(requestLines(), (Lines{"GET /scripts/XML_daily.asp?nocache HTTP/1.1",
                                     "GET /moved/XML_daily.asp?nocache HTTP/1.1"}));
    expectStored(march2);
}

TEST_F(RateDownload, ARedirectToHttpsIsAttemptedAndAnUntrustedPeerRefused)
{
    HandshakeListener tls;
    ASSERT_TRUE(tls.start());
    std::string movedTo = "https://127.0.0.1:" + std::to_string(tls.port()) + "/scripts/XML_daily.asp?nocache";
    EXPECT_FALSE(download(answering(301, "", movedTo)));  // no trusted certificate there: refused, never ignored
    pumpUntil([&tls] { return tls.handshakes() > 0; }, 5000, 20);
    EXPECT_GE(tls.handshakes(), 1) << tls.connections() << " connection(s) without a ClientHello";
    tls.stop();
    expectNothingStored();
}

TEST_F(RateDownload, ACacheableAnswerNeverStandsInForTheNextOne)
{
    for (const char* date : {"02.03.2005", "03.03.2005"}) {
        ScriptedResponse answer = tableOn(date);
        answer.cacheable = true;
        EXPECT_TRUE(download(answer)) << date;
    }
    // The same URL, asked twice.
    EXPECT_EQ(requestLines(), Lines(2, "GET /scripts/XML_daily.asp?nocache HTTP/1.1"));
    expectStored({3, 3, 16});
}

// Only a 200 is read: an error status whose body is a whole table stores nothing.
TEST_F(RateDownload, AnErrorStatusWithATableInItsBodyStoresNothing)
{
    for (int status : {403, 500})
        EXPECT_FALSE(download(answering(status, ratesDocument("02.03.2005", tableQuotes())))) << status;
    EXPECT_EQ(server.requests().size(), 2u);
    expectNothingStored();
}

// Whatever the service or the proxy does, a download ends within the update's
// limit. One asked for while a given-up request still runs makes its own; with
// two left hanging, the next fails at once.
TEST_F(RateDownload, EveryMisbehaviourEndsWithinTheTimeLimit)
{
    updateLimitOverrideMs = 3000;  // a minute, shortened for the test
    ScriptedResponse silent = endedAs(serving(""), ResponseEnding::StallAfter);
    silent.headOnly = true;
    ScriptedResponse trickle;
    trickle.trickleHeadMs = 300;
    const ScriptedResponse toItself = answering(302, "", "/scripts/XML_daily.asp?nocache");
    const ScriptedResponse* proxyAnswer[3] = {nullptr, nullptr, &silent};  // a head that never ends,
    const ScriptedResponse* serviceAnswer[3] = {&trickle, &toItself, &silent};  // a loop, a mute proxy
    for (int c = 0; c < 3; ++c) {
        TestHttpServer service, proxy;
        ASSERT_TRUE(service.start() && proxy.start());
        pointServiceAt(loopbackBase(service.port()));
        service.respondWith(*serviceAnswer[c]);
        if (proxyAnswer[c]) proxy.respondWith(*proxyAnswer[c]);
        setProxy(proxyAnswer[c] != nullptr, "127.0.0.1:" + std::to_string(proxy.port()));
        for (int again = 0; again < (c == 0 ? 2 : 1); ++again) {  // again: while the first may still run
            DWORD began = GetTickCount();
            EXPECT_FALSE(runDownload(true)) << c;
            EXPECT_LE(GetTickCount() - began, 4500u) << c;
        }
        EXPECT_LE(service.requests().size(), 6u);  // five redirects at most
        service.stop();
        proxy.stop();
        EXPECT_TRUE(waitForFetchThread(15000)) << c;
    }

    expectNothingStored();
}

// Requests whose calls never return: two are left hanging, the next fails at once
// without a request, and once they have ended a download goes out again.
TEST_F(RateDownload, PastTwoHangingRequestsTheNextFailsAtOnce)
{
    updateLimitOverrideMs = 3000;
    server.respondWith(tableOn("02.03.2005"));
    fetchThreadStall = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (int hanging = 0; hanging < 3; ++hanging) {
        DWORD began = GetTickCount();
        EXPECT_FALSE(runDownload(true)) << hanging;
        EXPECT_EQ(GetTickCount() - began < 500u, hanging == 2) << hanging;
    }
    EXPECT_EQ(server.requests().size(), 2u);
    SetEvent(fetchThreadStall);
    EXPECT_TRUE(waitForFetchThread(15000));
    CloseHandle(fetchThreadStall);
    fetchThreadStall = nullptr;
    EXPECT_TRUE(runDownload(true));
    expectStored(march2);
}

// An update given up at its limit shows Failed; once its request has ended,
// the next tap stores the day.
TEST_F(RateDownload, AnUpdateGivenUpShowsFailureAndTheNextTapStoresTheDay)
{
    updateLimitOverrideMs = 3000;
    installSchedulePlatform(nullptr);
    resetSchedule();
    // Whether a tap's update shows wanted before it ends (15 s at most).
    auto tapShows = [this](const ScriptedResponse& response, UpdateState wanted) {
        server.respondWith(response);
        bool seen = false;
        EXPECT_TRUE(startUpdate());
        for (DWORD began = GetTickCount(); updateWorkerRunning() && GetTickCount() - began < 15000; Sleep(5))
            seen = seen || updateState.load() == wanted;
        return seen && !updateWorkerRunning();
    };
    ScriptedResponse trickle;
    trickle.trickleHeadMs = 300;
    EXPECT_TRUE(tapShows(trickle, Failed));
    expectNothingStored();

    server.stop();
    ASSERT_TRUE(waitForFetchThread(15000));
    ASSERT_TRUE(server.start());
    pointServiceAt(loopbackBase(server.port()));
    EXPECT_TRUE(tapShows(tableOn("02.03.2005"), Succeeded));
    expectStored(march2);
    schedulePlatform = SchedulePlatform{};
    resetSchedule();
}

}  // namespace
