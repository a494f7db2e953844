// The download against a local service: both request forms, the read loop and
// its limits, what reaches the history and its file, the proxy setting (through
// a real tinyproxy where the test run provides one) and the connection manager.
#include "httpserver.h"
#include "winetest.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "data/history.h"
#include "data/settings.h"
#include "platform/connmgr.h"
#include "platform/testhooks.h"
#include "update/download.h"
#include "update/ratesurl.h"
#include "update/schedule.h"
#include "update/schedule_win32.h"

namespace {

struct Quote {
    std::string code;
    int nominal;
    std::string value;  // as the bank writes it, with a decimal comma
};

// Every table currency, with distinct values: currency i costs i+10 roubles and some odd kopecks.
std::vector<Quote> tableQuotes()
{
    std::vector<Quote> quotes;
    for (int i = 0; i < CurrencyCount; ++i) {
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
// root's start tag and its first Valute until the document is exactly that long,
// so the currencies sit at its very end.
std::string ratesDocument(const std::string& date, const std::vector<Quote>& quotes, size_t size = 0)
{
    std::string head = "<ValCurs Date=\"" + date + "\" name=\"Foreign Currency Market\">";
    std::string rest;
    for (const Quote& q : quotes)
        rest += "<Valute ID=\"R0\"><CharCode>" + q.code + "</CharCode><Nominal>" + std::to_string(q.nominal) +
                "</Nominal><Value>" + q.value + "</Value></Valute>";
    rest += "</ValCurs>";
    if (size > head.size() + rest.size()) head.append(size - head.size() - rest.size(), ' ');
    return head + rest;
}

int tableIndex(const std::string& code)
{
    for (int i = 0; i < CurrencyCount; ++i)
        if (code == isoCode[i]) return i;
    return -1;
}

bool downloadResult;
bool latestArgument;
DayCode dayArgument;

DWORD WINAPI downloadThread(LPVOID)
{
    downloadResult = downloadRates(latestArgument, dayArgument);
    return 0;
}

// Runs downloadRates on a thread and waits for it at most a minute. A download
// that hangs ends the test run: it can't be stopped, and it holds the history.
bool runDownload(bool latest, DayCode day = {0, 0, 0})
{
    latestArgument = latest;
    dayArgument = day;
    downloadResult = false;
    HANDLE thread = CreateThread(nullptr, 0, downloadThread, nullptr, 0, nullptr);
    if (!thread) {
        ADD_FAILURE() << "no download thread";
        return false;
    }
    if (WaitForSingleObject(thread, 60000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "downloadRates did not return within 60 s\n");
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    CloseHandle(thread);
    return downloadResult;
}

void setProxy(bool use, const std::string& text)
{
    settings.useProxy = use ? 1 : 0;
    std::memset(settings.proxy, 0, sizeof settings.proxy);
    for (size_t i = 0; i < text.size() && i < 64; ++i) settings.proxy[i] = static_cast<char16_t>(text[i]);
}

std::u16string loopbackBase(int port)
{
    std::string text = "http://127.0.0.1:" + std::to_string(port);
    return std::u16string(text.begin(), text.end());
}

std::string proxyUnderTest()
{
    const char* proxy = std::getenv("VOK_TEST_PROXY");
    return proxy ? proxy : "";
}

class RateDownload : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memcpy(savedBase, ratesServiceBase, sizeof savedBase);
        setDefaultSettings(settings, 96);
        historyFile = folder.file(L"vokCurrency.his");
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

    void pointServiceAt(const std::u16string& base)
    {
        std::memset(ratesServiceBase, 0, sizeof ratesServiceBase);
        base.copy(ratesServiceBase, RatesServiceBaseCapacity - 1);
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
    void expectStored(DayCode day, const std::vector<Quote>& quotes)
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
        ASSERT_EQ(file.size(), 15 * sizeof(DayRates));
        EXPECT_EQ(std::memcmp(file.data(), history.records, file.size()), 0);
    }

    PluginFolder folder;
    std::wstring historyFile;
    std::vector<unsigned char> fileBefore;
    TestHttpServer server;
    char16_t savedBase[RatesServiceBaseCapacity];
};

const DayCode march2 = {2, 3, 16};  // 02.03.2005

TEST_F(RateDownload, BothRequestFormsReachTheServiceWithTheUserAgent)
{
    server.respondWith(serving(ratesDocument("02.03.2005", tableQuotes())));
    EXPECT_TRUE(runDownload(true, {99, 99, 99}));
    server.respondWith(serving(ratesDocument("07.12.2026", tableQuotes())));
    EXPECT_TRUE(runDownload(false, {7, 12, 37}));

    std::vector<RecordedRequest> seen = server.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].requestLine, "GET /scripts/XML_daily.asp?nocache HTTP/1.1");
    EXPECT_EQ(seen[1].requestLine, "GET /scripts/XML_daily.asp?date_req=07/12/2026 HTTP/1.1");
    for (const RecordedRequest& r : seen) {
        EXPECT_EQ(r.userAgent, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.2)");
        EXPECT_EQ(r.via, "");  // straight to the service
    }
    expectStored({7, 12, 37}, tableQuotes());
    expectStored(march2, tableQuotes());
    EXPECT_TRUE(sameDay(history.records[0].code, {7, 12, 37}));
}

TEST_F(RateDownload, ResponsesOf256BytesOrFewerAreNotRead)
{
    const std::vector<Quote> dollar = {{"USD", 1, "27,95"}};
    std::string at256 = ratesDocument("02.03.2005", dollar, 256);
    ASSERT_EQ(at256.size(), 256u);
    server.respondWith(serving(at256));
    EXPECT_FALSE(runDownload(true));
    server.respondWith(serving(""));
    EXPECT_FALSE(runDownload(true));
    EXPECT_EQ(server.requests().size(), 2u);
    expectNothingStored();

    // The same document one byte longer is read.
    std::string at257 = ratesDocument("02.03.2005", dollar, 257);
    ASSERT_EQ(at257.size(), 257u);
    server.respondWith(serving(at257));
    EXPECT_TRUE(runDownload(true));
    expectStored(march2, dollar);
}

TEST_F(RateDownload, DocumentsBeyondTheOldFourKilobytesAreReadWhole)
{
    // Exactly 4096 bytes, the last currency (CHF) right before the root's end tag.
    std::string at4096 = ratesDocument("02.03.2005", tableQuotes(), 4096);
    ASSERT_EQ(at4096.size(), 4096u);
    server.respondWith(serving(at4096));
    EXPECT_TRUE(runDownload(true));
    expectStored(march2, tableQuotes());

    // One byte short of the limit, currencies at the very end.
    std::string justUnder = ratesDocument("03.03.2005", tableQuotes(), DocumentLimit - 1);
    ASSERT_EQ(justUnder.size(), 65535u);
    server.respondWith(serving(justUnder));
    EXPECT_TRUE(runDownload(true));
    expectStored({3, 3, 16}, tableQuotes());
}

TEST_F(RateDownload, TheBanksFullDocumentStoresEveryTableCurrency)
{
    std::string base = std::string(VOK_SOURCE_DIR) + "/tests/fixtures/daily_full";
    std::ifstream xml(base + ".xml", std::ios::binary);
    std::ifstream expected(base + ".expected");
    ASSERT_TRUE(xml && expected) << "fixture missing: " << base;
    std::string body((std::istreambuf_iterator<char>(xml)), std::istreambuf_iterator<char>());
    ASSERT_GT(body.size(), 4096u);

    DayCode day = {0, 0, 0};
    std::vector<Quote> quotes;
    std::string line;
    while (std::getline(expected, line)) {
        std::istringstream words(line);
        std::string first;
        if (!(words >> first) || first[0] == '#') continue;
        if (first == "date") {
            int d, m, y;
            words >> d >> m >> y;
            day = makeDayCode(d, m, y);
        } else {
            Quote q{first, 0, ""};
            words >> q.nominal >> q.value;
            quotes.push_back(q);
        }
    }
    int inTable = 0;
    for (const Quote& q : quotes) inTable += tableIndex(q.code) >= 0;
    ASSERT_NE(day.day, 0);
    ASSERT_GE(inTable, 10);

    server.respondWith(serving(body));
    EXPECT_TRUE(runDownload(true));
    expectStored(day, quotes);
}

TEST_F(RateDownload, ADocumentThatFillsTheBufferIsRefused)
{
    // Read to the limit, these would look like a root with a date and no
    // currencies, a day that must not be stored.
    for (size_t size : {DocumentLimit, DocumentLimit + 1, size_t(100000)}) {
        server.respondWith(serving(ratesDocument("02.03.2005", tableQuotes(), size)));
        EXPECT_FALSE(runDownload(true)) << size;
    }
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
        ScriptedResponse r = serving(document + "<!--" + std::string(6000, '-') + "-->");
        r.ending = ending;
        r.cutAfter = 3000;
        r.pauseBeforeCloseMs = 300;  // the bytes are in before the connection goes
        return r;
    };
    server.respondWith(cutAt3000("02.03.2005", ResponseEnding::ResetAfter));
    EXPECT_TRUE(runDownload(true));
    expectStored(march2, tableQuotes());

    // An orderly close short of the announced length.
    server.respondWith(cutAt3000("03.03.2005", ResponseEnding::CloseAfter));
    EXPECT_TRUE(runDownload(true));
    expectStored({3, 3, 16}, tableQuotes());
}

TEST_F(RateDownload, ErrorPagesAndEarlyClosesStoreNothing)
{
    ScriptedResponse notFound;
    notFound.status = 404;
    notFound.contentType = "text/html";
    notFound.body = "<!DOCTYPE html><html><head><title>404 Not Found</title></head><body><h1>Not Found</h1>"
                    "<p>The requested URL /scripts/XML_daily.asp was not found on this server. Try the "
                    "daily rates again later, or contact the administrator of this service.</p><hr>"
                    "<address>Test server at 127.0.0.1</address></body></html>";
    ASSERT_GT(notFound.body.size(), DocumentFloor);  // so it is the reader that turns it away
    ScriptedResponse empty = serving("");
    ScriptedResponse unanswered = serving(ratesDocument("02.03.2005", tableQuotes()));
    unanswered.ending = ResponseEnding::NoResponse;
    ScriptedResponse headersOnly = unanswered;
    headersOnly.ending = ResponseEnding::CloseAfter;
    headersOnly.cutAfter = 0;

    int n = 0;
    for (const ScriptedResponse& r : {notFound, empty, unanswered, headersOnly}) {
        server.respondWith(r);
        EXPECT_FALSE(runDownload(true)) << "response " << n;
        ++n;
    }
    EXPECT_GE(server.requests().size(), 4u);  // WinINet may retry a dropped request
    expectNothingStored();

    // Nobody listening at all.
    pointServiceAt(loopbackBase(deadLoopbackPort()));
    EXPECT_FALSE(runDownload(true));
    expectNothingStored();
}

TEST_F(RateDownload, TheHistoryFileIsRewrittenOnlyOnSuccess)
{
    server.respondWith(serving(ratesDocument("02.03.2005", tableQuotes())));
    ASSERT_TRUE(runDownload(true));
    std::vector<unsigned char> afterSuccess = readFileBytes(historyFile);
    ASSERT_EQ(afterSuccess.size(), 15 * sizeof(DayRates));
    // Marks the file: a rewrite from memory would put the record's first byte back.
    afterSuccess[0] = 0xEE;
    writeFileBytes(historyFile, afterSuccess.data(), afterSuccess.size());

    ScriptedResponse notFound;
    notFound.status = 404;
    notFound.body = std::string(300, 'x');
    server.respondWith(notFound);
    EXPECT_FALSE(runDownload(true));
    EXPECT_EQ(readFileBytes(historyFile), afterSuccess);

    // The same day again: replaced in place, and the file is rewritten.
    std::vector<Quote> changed = {{"EUR", 1, "36,6000"}};
    server.respondWith(serving(ratesDocument("02.03.2005", changed, 400)));
    ASSERT_TRUE(runDownload(true));
    std::vector<unsigned char> rewritten = readFileBytes(historyFile);
    ASSERT_EQ(rewritten.size(), 15 * sizeof(DayRates));
    EXPECT_EQ(rewritten[0], 2);
    expectStored(march2, changed);
    EXPECT_EQ(storedDays(), 1);
}

TEST_F(RateDownload, TheProxyTextIsUsedOnlyWithUseProxy)
{
    std::string dead = "127.0.0.1:" + std::to_string(deadLoopbackPort());
    server.respondWith(serving(ratesDocument("02.03.2005", tableQuotes())));

    // A stored proxy without useProxy: straight to the service.
    setProxy(false, dead);
    EXPECT_TRUE(runDownload(true));
    ASSERT_EQ(server.requests().size(), 1u);
    expectStored(march2, tableQuotes());

    // useProxy with a proxy nobody answers: the service is never reached.
    setProxy(true, dead);
    EXPECT_FALSE(runDownload(true));
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(RateDownload, ThroughTinyproxyTheRequestReachesTheService)
{
    std::string proxy = proxyUnderTest();
    if (proxy.empty()) GTEST_SKIP() << "VOK_TEST_PROXY is not set (ctest starts tinyproxy and sets it)";
    setProxy(true, proxy);
    server.respondWith(serving(ratesDocument("02.03.2005", tableQuotes())));
    EXPECT_TRUE(runDownload(false, march2));
    std::vector<RecordedRequest> seen = server.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].via.find("tinyproxy"), std::string::npos) << "Via: " << seen[0].via;
    EXPECT_NE(seen[0].requestLine.find("/scripts/XML_daily.asp?date_req=02/03/2005 HTTP/1."), std::string::npos)
        << seen[0].requestLine;
    EXPECT_EQ(seen[0].userAgent, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.2)");
    expectStored(march2, tableQuotes());
}

TEST_F(RateDownload, TinyproxysErrorPageForAnUnknownHostStoresNothing)
{
    std::string proxy = proxyUnderTest();
    if (proxy.empty()) GTEST_SKIP() << "VOK_TEST_PROXY is not set (ctest starts tinyproxy and sets it)";
    int proxyPort = std::atoi(proxy.substr(proxy.find(':') + 1).c_str());
    // What the proxy answers: its own HTML page, long enough to reach the reader.
    std::string page = exchangeWithLoopback(
        proxyPort, "GET http://no-such-host.invalid/scripts/XML_daily.asp?nocache HTTP/1.0\r\n\r\n", 15000);
    size_t bodyAt = page.find("\r\n\r\n");
    ASSERT_NE(bodyAt, std::string::npos) << page;
    EXPECT_GT(page.size() - bodyAt - 4, DocumentFloor);
    EXPECT_NE(page.find("<html"), std::string::npos);

    setProxy(true, proxy);
    pointServiceAt(u"http://no-such-host.invalid");
    EXPECT_FALSE(runDownload(true));
    expectNothingStored();
}

TEST_F(RateDownload, NoConnectionIsRequestedUnlessAsked)
{
    server.respondWith(serving(ratesDocument("02.03.2005", tableQuotes())));
    ASSERT_EQ(settings.updateFlags & EstablishConnection, 0);
    EXPECT_TRUE(runDownload(true));
    EXPECT_EQ(connMgrLog.mapCalls, 0);
    EXPECT_EQ(connMgrLog.establishCalls, 0);
    EXPECT_EQ(connMgrLog.releaseCalls, 0);
}

TEST_F(RateDownload, TheConnectionIsRequestedForTheServiceAndReleased)
{
    settings.updateFlags |= EstablishConnection;
    server.respondWith(serving(ratesDocument("02.03.2005", tableQuotes())));
    EXPECT_TRUE(runDownload(true));
    const CONNMGR_CONNECTIONINFO& request = connMgrLog.lastRequest;
    EXPECT_EQ(connMgrLog.mapCalls, 1);
    EXPECT_EQ(std::wstring(connMgrLog.lastMappedUrl),
              L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/scripts/XML_daily.asp?nocache");
    EXPECT_EQ(connMgrLog.establishCalls, 1);
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
    EXPECT_EQ(connMgrLog.lastTimeout, 30000u);
    EXPECT_EQ(connMgrLog.releaseCalls, 1);
    EXPECT_EQ(connMgrLog.lastCache, 0);
    EXPECT_EQ(connMgrLog.openConnections, 0);
    EXPECT_EQ(connMgrLog.badReleases, 0);

    // With useProxy the request asks for an HTTP proxy; the failure still releases.
    resetConnMgrLog();
    setProxy(true, "127.0.0.1:" + std::to_string(deadLoopbackPort()));
    EXPECT_FALSE(runDownload(true));
    EXPECT_EQ(connMgrLog.establishCalls, 1);
    EXPECT_EQ(connMgrLog.lastRequest.dwFlags, CONNMGR_FLAG_PROXY_HTTP);
    EXPECT_EQ(connMgrLog.lastRequest.dwPriority, CONNMGR_PRIORITY_USERINTERACTIVE);
    EXPECT_EQ(connMgrLog.releaseCalls, 1);
    EXPECT_EQ(connMgrLog.openConnections, 0);
}

TEST_F(RateDownload, EveryFailureReleasesTheConnection)
{
    settings.updateFlags |= EstablishConnection;
    ScriptedResponse unanswered = serving("");
    unanswered.ending = ResponseEnding::NoResponse;
    ScriptedResponse notFound;
    notFound.status = 404;
    notFound.body = std::string(400, 'x');
    const ScriptedResponse failures[] = {
        unanswered,                                                            // no request handle
        serving(ratesDocument("02.03.2005", {{"USD", 1, "27,95"}}, 256)),       // the floor
        notFound,                                                              // the reader says no
        serving(ratesDocument("02.03.2005", tableQuotes(), DocumentLimit)),     // too long
    };
    int n = 0;
    for (const ScriptedResponse& r : failures) {
        resetConnMgrLog();
        server.respondWith(r);
        EXPECT_FALSE(runDownload(true)) << "failure " << n;
        EXPECT_EQ(connMgrLog.establishCalls, 1) << "failure " << n;
        EXPECT_EQ(connMgrLog.releaseCalls, 1) << "failure " << n;
        EXPECT_EQ(connMgrLog.openConnections, 0) << "failure " << n;
        EXPECT_EQ(connMgrLog.badReleases, 0) << "failure " << n;
        ++n;
    }
    expectNothingStored();
}

// Whatever the service sends that is no whole document of a real day with a
// table currency, the day stored before stays byte for byte as it was.
TEST_F(RateDownload, RefusedAnswersLeaveTheStoredDayAsItWas)
{
    server.respondWith(serving(ratesDocument("02.03.2005", tableQuotes())));
    ASSERT_TRUE(runDownload(true));
    const std::vector<unsigned char> stored = readFileBytes(historyFile);
    const DayRates before = findDay(march2);

    std::string whole = ratesDocument("02.03.2005", tableQuotes());
    std::string withNul = whole;
    withNul[whole.find("<Valute") + 3] = '\0';
    ScriptedResponse cut = serving(whole);
    cut.ending = ResponseEnding::CloseAfter;
    cut.cutAfter = whole.size() * 4 / 10;
    ScriptedResponse blockPage = serving("<html><head><title>Access denied</title></head><body><h1>This site is "
                                         "blocked</h1><p>The page you asked for is not available on this network. "
                                         "Contact your operator for details.</p>" + std::string(200, ' ') +
                                         "</body></html>");
    blockPage.contentType = "text/html";
    struct Case {
        const char* why;
        ScriptedResponse response;
    };
    const Case refused[] = {
        {"table cut at 40%", cut},
        {"a NUL inside the body", serving(withNul)},
        {"a date that is no date", serving(ratesDocument("xx.yy.zzzz", tableQuotes()))},
        {"month 13", serving(ratesDocument("02.13.2005", tableQuotes()))},
        {"31 February", serving(ratesDocument("31.02.2005", tableQuotes()))},
        {"no table currency", serving(ratesDocument("02.03.2005", {{"AZN", 1, "58,9371"}, {"XYZ", 1, "1,0"}}, 400))},
        {"the root without rates", serving(ratesDocument("02.03.2005", {}, 400))},
        {"a block page", blockPage},
    };
    for (const Case& c : refused) {
        server.respondWith(c.response);
        EXPECT_FALSE(runDownload(true)) << c.why;
        EXPECT_EQ(readFileBytes(historyFile), stored) << c.why;
        DayRates after = findDay(march2);
        EXPECT_EQ(std::memcmp(&after, &before, sizeof before), 0) << c.why;
        EXPECT_EQ(storedDays(), 1) << c.why;
    }
    EXPECT_EQ(server.requests().size(), 1u + sizeof refused / sizeof refused[0]);
}

TEST_F(RateDownload, AStalledServiceIsGivenUpAtTheTimeLimit)
{
    updateLimitOverrideMs = 3000;  // a minute, shortened for the test
    ScriptedResponse silent = serving(ratesDocument("02.03.2005", tableQuotes()));
    silent.ending = ResponseEnding::StallAfter;
    silent.headOnly = true;  // the request is taken, nothing ever comes back
    ScriptedResponse halfway = serving(ratesDocument("02.03.2005", tableQuotes()));
    halfway.ending = ResponseEnding::StallAfter;
    halfway.cutAfter = 500;  // the head and part of the table, then silence
    for (const ScriptedResponse& stall : {silent, halfway}) {
        server.respondWith(stall);
        DWORD began = GetTickCount();
        EXPECT_FALSE(runDownload(true));
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
    ScriptedResponse moved;
    moved.status = 302;
    moved.location = "http://127.0.0.1:" + std::to_string(server.port()) + "/moved/XML_daily.asp?nocache";
    moved.body = "<html><body>Moved</body></html>";
    server.respondTo("/scripts/XML_daily.asp", moved);
    server.respondTo("/moved/", serving(ratesDocument("02.03.2005", tableQuotes())));
    EXPECT_TRUE(runDownload(true));
    std::vector<RecordedRequest> seen = server.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].requestLine, "GET /scripts/XML_daily.asp?nocache HTTP/1.1");
    EXPECT_EQ(seen[1].requestLine, "GET /moved/XML_daily.asp?nocache HTTP/1.1");
    expectStored(march2, tableQuotes());
}

TEST_F(RateDownload, ARedirectToHttpsIsAttemptedAndAnUntrustedPeerRefused)
{
    HandshakeListener tls;
    ASSERT_TRUE(tls.start());
    ScriptedResponse moved;
    moved.status = 301;
    moved.location = "https://127.0.0.1:" + std::to_string(tls.port()) + "/scripts/XML_daily.asp?nocache";
    server.respondWith(moved);
    EXPECT_FALSE(runDownload(true));  // no trusted certificate there: refused, never ignored
    for (DWORD began = GetTickCount(); tls.handshakes() == 0 && GetTickCount() - began < 5000;) Sleep(20);
    EXPECT_GE(tls.handshakes(), 1) << tls.connections() << " connection(s) without a ClientHello";
    tls.stop();
    expectNothingStored();
}

TEST_F(RateDownload, ACacheableAnswerNeverStandsInForTheNextOne)
{
    ScriptedResponse morning = serving(ratesDocument("02.03.2005", tableQuotes()));
    morning.cacheable = true;
    server.respondWith(morning);
    EXPECT_TRUE(runDownload(true));
    ScriptedResponse afternoon = serving(ratesDocument("03.03.2005", tableQuotes()));
    afternoon.cacheable = true;
    server.respondWith(afternoon);
    EXPECT_TRUE(runDownload(true));
    std::vector<RecordedRequest> seen = server.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].requestLine, seen[1].requestLine);  // the same URL, asked twice
    expectStored({3, 3, 16}, tableQuotes());
}

// Only a 200 is read: an error status whose body is a whole table stores nothing.
TEST_F(RateDownload, AnErrorStatusWithATableInItsBodyStoresNothing)
{
    for (int status : {403, 500}) {
        ScriptedResponse refused = serving(ratesDocument("02.03.2005", tableQuotes()));
        refused.status = status;
        server.respondWith(refused);
        EXPECT_FALSE(runDownload(true)) << status;
    }
    EXPECT_EQ(server.requests().size(), 2u);
    expectNothingStored();
}

// Whatever the service or the proxy does, a download ends within the update's
// limit, and one asked for while a given-up request still runs fails at once.
TEST_F(RateDownload, EveryMisbehaviourEndsWithinTheTimeLimit)
{
    updateLimitOverrideMs = 3000;  // a minute, shortened for the test
    ScriptedResponse silent = serving("");
    silent.ending = ResponseEnding::StallAfter;
    silent.headOnly = true;
    ScriptedResponse trickle, toItself;
    trickle.trickleHeadMs = 300;
    toItself.status = 302;
    toItself.location = "/scripts/XML_daily.asp?nocache";
    const ScriptedResponse* proxyAnswer[3] = {nullptr, nullptr, &silent};  // a head that never ends,
    const ScriptedResponse* serviceAnswer[3] = {&trickle, &toItself, &silent};  // a loop, a mute proxy
    for (int c = 0; c < 3; ++c) {
        TestHttpServer service, proxy;
        ASSERT_TRUE(service.start() && proxy.start());
        pointServiceAt(loopbackBase(service.port()));
        service.respondWith(*serviceAnswer[c]);
        if (proxyAnswer[c]) proxy.respondWith(*proxyAnswer[c]);
        setProxy(proxyAnswer[c] != nullptr, "127.0.0.1:" + std::to_string(proxy.port()));
        for (int again = 0; again < (c == 0 ? 2 : 1); ++again) {  // again: while the first still runs
            DWORD began = GetTickCount();
            EXPECT_FALSE(runDownload(true)) << c;
            EXPECT_LE(GetTickCount() - began, again ? 500u : 4500u) << c;
        }
        EXPECT_LE(service.requests().size(), 6u);  // five redirects at most
        service.stop();
        proxy.stop();
        EXPECT_TRUE(waitForFetchThread(15000)) << c;
    }
    expectNothingStored();
}

// An update given up at its limit shows Failed; once its request has ended,
// the next tap stores the day.
TEST_F(RateDownload, AnUpdateGivenUpShowsFailureAndTheNextTapStoresTheDay)
{
    updateLimitOverrideMs = 3000;
    installSchedulePlatform(nullptr);
    resetSchedule();
    auto tapShows = [](UpdateState wanted) {  // whether the update shows wanted before it ends (15 s at most)
        bool seen = false;
        EXPECT_TRUE(startUpdate());
        for (DWORD began = GetTickCount(); updateWorkerRunning() && GetTickCount() - began < 15000; Sleep(5))
            seen = seen || updateState.load() == wanted;
        return seen && !updateWorkerRunning();
    };
    ScriptedResponse trickle;
    trickle.trickleHeadMs = 300;
    server.respondWith(trickle);
    EXPECT_TRUE(tapShows(Failed));
    expectNothingStored();

    server.stop();
    ASSERT_TRUE(waitForFetchThread(15000));
    ASSERT_TRUE(server.start());
    pointServiceAt(loopbackBase(server.port()));
    server.respondWith(serving(ratesDocument("02.03.2005", tableQuotes())));
    EXPECT_TRUE(tapShows(Succeeded));
    expectStored(march2, tableQuotes());
    schedulePlatform = SchedulePlatform{};
    resetSchedule();
}

}  // namespace
