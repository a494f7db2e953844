// The real DLL in a test host, its rates fetched through its own proxy setting
// from a loopback service: the first update, as the user sees it.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <functional>

#include "data/currency.h"
#include "data/settings.h"
#include "harness.h"
#include "httpserver.h"
#include "resources/resource.h"

namespace {

constexpr int Eur = 0, Usd = 1;

}  // namespace

TEST(EndToEnd, FirstUpdateThroughTheProxySettingIsStoredAndShown)
{
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    SYSTEMTIME now = localNow();
    service.respondWith(serving(todaysDocument(now), 400));  // long enough to see the downloading frame

    PluginHost plugin;
    setDefaultSettings(settings, 96);
    writeSettingsThroughProxy(plugin.folder, service.port());
    ASSERT_TRUE(plugin.load());
    plugin.query();
    HWND panel = plugin.panel;
    UpdateWindow(panel);

    // A tap on the icon starts the update.
    std::vector<int>& framesSeen = PluginHost::framesSeen;
    plugin.tap(2, 2);
    pumpUntil([&] {
        InvalidateRect(panel, nullptr, FALSE);  // every paint's background request sees the one before
        UpdateWindow(panel);
        return !framesSeen.empty() && framesSeen.back() == 0 && plugin.history().size() == 15;
    }, 15000);
    InvalidateRect(panel, nullptr, FALSE);
    UpdateWindow(panel);
    InvalidateRect(panel, nullptr, FALSE);
    UpdateWindow(panel);  // its background request reads the last picture

    // Stale (empty history) → Downloading → Succeeded → Fresh.
    EXPECT_EQ(framesSeen, (std::vector<int>{1, 2, 3, 0}));
    std::vector<DayRates> history = plugin.history();
    ASSERT_EQ(history.size(), 15u);
    EXPECT_EQ(history[0].code.day, now.wDay);
    EXPECT_EQ(history[0].code.month, now.wMonth);
    EXPECT_EQ(history[0].code.yearCode, (now.wYear + 59) % 256);
    EXPECT_EQ(history[0].rates[Eur].rate, 96.6f);
    EXPECT_EQ(history[0].rates[Usd].rate, 80.5f);
    ASSERT_FALSE(service.requests().empty());
    EXPECT_NE(service.requests()[0].requestLine.find("http://www.cbr.ru"), std::string::npos)
        << service.requests()[0].requestLine;

    // The three default items with their values: a tap on the first copies EUR,
    // and the host's text colour covers three separate stretches of the line.
    emptyClipboard();
    Sleep(260);
    plugin.tap(30, 5);
    EXPECT_EQ(clipboardText(), L"96,6000");

    std::vector<COLORREF> pixels = plugin.pixels();
    std::vector<bool> ink(240 - 20);
    for (int x = 20; x < 240; ++x)
        for (int y = 0; y < int(plugin.item.cyp) && !ink[x - 20]; ++y) {
            COLORREF c = pixels[size_t(y) * 240 + x];
            ink[x - 20] = GetBValue(c) > GetRValue(c) + 60;  // the host's blue, however smoothed
        }
    HDC screen = GetDC(nullptr);
    HFONT panelFont = CreateFontW(settings.panelFont.lfHeight, 0, 0, 0, FW_BOLD, 0, 0, 0, RUSSIAN_CHARSET, 0, 0,
                                  0, 0, L"Tahoma");
    HGDIOBJ old = SelectObject(screen, panelFont);
    SIZE twoSpaces = {};
    GetTextExtentPoint32W(screen, L"  ", 2, &twoSpaces);
    SelectObject(screen, old);
    DeleteObject(panelFont);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(itemsInLine(ink, twoSpaces.cx), 3);
}

TEST(EndToEnd, UnloadingDuringAnUpdateWaitsForTheWorkerWithoutBlocking)
{
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    SYSTEMTIME now = localNow();
    // The worker is still downloading when the host lets go.
    service.respondWith(serving(todaysDocument(now), 1500));

    PluginHost plugin;
    setDefaultSettings(settings, 96);
    writeSettingsThroughProxy(plugin.folder, service.port());
    ASSERT_TRUE(plugin.load(false));
    SendMessageW(plugin.panel, ItemQueryRefresh, WPARAM(&plugin.item), 0);
    plugin.tap(2, 2);

    EXPECT_LT(plugin.unload(), 1000u);  // the host is never made to wait
    // The worker keeps the library loaded until it has stored the day, then lets it go.
    bool stored = false;
    bool unloaded = pumpUntil([&] {
        stored = stored || plugin.history().size() == 15;
        return plugin.unloaded();
    }, 15000, 20);
    EXPECT_TRUE(stored || plugin.history().size() == 15);
    EXPECT_TRUE(unloaded);
    std::vector<DayRates> history = plugin.history();
    ASSERT_EQ(history.size(), 15u);
    EXPECT_EQ(history[0].code.day, now.wDay);
}

namespace {

// The real DLL in a recording host: settings that reach service through the
// proxy setting, and a history written before the DLL loads.
struct PanelUnderTest : PluginHost {
    int32_t historyLength = 15;

    // beforeItem runs between loading the library and creating its item.
    void open(int servicePort, const std::vector<DayRates>& records, uint8_t firstItemFlags = ShowArrow,
              const std::function<void(HMODULE)>& beforeItem = nullptr)
    {
        setDefaultSettings(settings, 96);
        settings.historyLength = historyLength;
        settings.items[0].itemFlags = firstItemFlags;
        prepare(servicePort, records);
        ASSERT_TRUE(load(true, beforeItem));
        query();
        repaint();
    }
};

DayCode dayBefore(const SYSTEMTIME& now, int days)
{
    FILETIME file;
    SystemTimeToFileTime(&now, &file);
    ULARGE_INTEGER t;
    t.LowPart = file.dwLowDateTime;
    t.HighPart = file.dwHighDateTime;
    t.QuadPart -= ULONGLONG(days) * 24 * 3600 * 10000000ULL;
    file.dwLowDateTime = t.LowPart;
    file.dwHighDateTime = t.HighPart;
    SYSTEMTIME then;
    FileTimeToSystemTime(&file, &then);
    return makeDayCode(then.wDay, then.wMonth, then.wYear);
}

DayRates record(const DayCode& day, float eur, int eurNominal, float usd) { return dayOf(day, eur, usd, eurNominal); }

std::string document(const SYSTEMTIME& now, const std::string& valutes, const char* date = nullptr)
{
    char head[160];
    char today[16];
    std::snprintf(today, sizeof today, "%02d.%02d.%04d", now.wDay, now.wMonth, now.wYear);
    std::snprintf(head, sizeof head,
                  "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<ValCurs Date=\"%s\" "
                  "name=\"Foreign Currency Market\">\r\n",
                  date ? date : today);
    std::string doc = head + valutes + "</ValCurs>\r\n";
    if (doc.size() <= 256) doc.insert(doc.size() - 12, 300 - doc.size(), ' ');
    return doc;
}

std::string valute(const char* id, const char* code, int nominal, const char* value)
{
    return std::string("<Valute ID=\"") + id + "\"><CharCode>" + code + "</CharCode><Nominal>" +
           std::to_string(nominal) + "</Nominal><Value>" + value + "</Value></Valute>\r\n";
}

}  // namespace

// A cut table, a damaged date, a table without a known currency: each leaves
// today's stored record byte for byte as it was, and the icon shows the failure.
TEST(EndToEnd, RefusedDocumentsLeaveTheStoredDayAndShowFailure)
{
    SYSTEMTIME now = localNow();
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    const std::string table = valute("R01235", "USD", 1, "80,5000") + valute("R01239", "EUR", 1, "96,6000");
    std::string whole = document(now, table);
    ScriptedResponse cut;
    cut.body = whole;
    cut.ending = ResponseEnding::CloseAfter;
    cut.cutAfter = whole.size() * 4 / 10;
    ScriptedResponse damagedDate = serving(document(now, table, "xx.yy.zzzz"));
    ScriptedResponse unknownOnly = serving(document(now, valute("R01020A", "AZN", 1, "58,9371") + valute("R0", "XYZ", 1, "1,0")));
    struct Case {
        const char* why;
        ScriptedResponse response;
    };
    const Case refused[] = {{"a table cut at 40%", cut}, {"a damaged date", damagedDate},
                            {"no known currency", unknownOnly}};

    PanelUnderTest plugin;
    plugin.open(service.port(), {record(makeDayCode(now.wDay, now.wMonth, now.wYear), 96.1f, 1, 80.1f)});
    std::vector<unsigned char> before = plugin.historyBytes();
    ASSERT_EQ(before.size(), 15u * 140u);
    for (const Case& c : refused) {
        service.respondWith(c.response);
        size_t asked = service.requests().size();
        std::vector<int> frames = plugin.tapIcon();
        EXPECT_GT(service.requests().size(), asked) << c.why;
        EXPECT_EQ(plugin.historyBytes(), before) << c.why;
        EXPECT_NE(std::find(frames.begin(), frames.end(), 4), frames.end()) << c.why;
        EXPECT_EQ(std::find(frames.begin(), frames.end(), 3), frames.end()) << c.why;
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.back(), 0) << c.why;  // today's record still makes it fresh
    }
}

// A service that takes the request and never answers is given up within the
// update's minute, as the built limits have it; the next tap stores the day.
TEST(EndToEnd, ASilentServiceIsGivenUpAndTheNextTapStoresTheDay)
{
    SYSTEMTIME now = localNow();
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    ScriptedResponse silent;
    silent.ending = ResponseEnding::StallAfter;
    silent.headOnly = true;
    service.respondWith(silent);
    PanelUnderTest plugin;
    // Today's record keeps the rates current after the failure: no second download.
    plugin.open(service.port(), {record(makeDayCode(now.wDay, now.wMonth, now.wYear), 96.1f, 1, 80.1f)});
    std::vector<unsigned char> before = plugin.historyBytes();
    std::vector<int> frames = plugin.tapIcon(75000);
    EXPECT_NE(std::find(frames.begin(), frames.end(), 4), frames.end()) << "not given up within 75 s";
    EXPECT_EQ(plugin.historyBytes(), before);

    service.respondWith(serving(document(now, valute("R01235", "USD", 1, "80,5000") + valute("R01239", "EUR", 1, "96,6000"))));
    frames = plugin.tapIcon();
    EXPECT_NE(std::find(frames.begin(), frames.end(), 3), frames.end());
    std::vector<DayRates> history = plugin.history();
    ASSERT_EQ(history.size(), 15u);
    EXPECT_EQ(history[0].rates[Eur].rate, 96.6f);
}

// The bank's document has moved: the 302 is followed, the day stored, and the
// Belarusian rouble, published as BYN, lands in its slot.
TEST(EndToEnd, ARedirectIsFollowedAndBynLandsInItsSlot)
{
    SYSTEMTIME now = localNow();
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    ScriptedResponse moved;
    moved.status = 302;
    moved.location = "http://www.cbr.ru/moved/XML_daily.asp?nocache";
    moved.body = "<html><body>Moved</body></html>";
    service.respondTo("XML_daily.asp", moved);
    service.respondTo("/moved/",
                      serving(document(now, valute("R01235", "USD", 1, "80,5000") + valute("R01090B", "BYN", 1, "29,6453"))));

    PanelUnderTest plugin;
    plugin.open(service.port(), {});
    std::vector<int> frames = plugin.tapIcon();
    EXPECT_NE(std::find(frames.begin(), frames.end(), 3), frames.end());
    std::vector<RecordedRequest> seen = service.requests();
    ASSERT_GE(seen.size(), 2u);
    // Absolute through the proxy, the port written out or not.
    for (int i : {0, 1}) EXPECT_EQ(seen[i].requestLine.find("GET http://www.cbr.ru"), 0u) << seen[i].requestLine;
    EXPECT_NE(seen[0].requestLine.find("/scripts/XML_daily.asp?nocache HTTP/1.1"), std::string::npos);
    EXPECT_NE(seen[1].requestLine.find("/moved/XML_daily.asp?nocache HTTP/1.1"), std::string::npos);

    std::vector<DayRates> history = plugin.history();
    ASSERT_EQ(history.size(), 15u);
    EXPECT_EQ(history[0].code.day, now.wDay);
    EXPECT_EQ(history[0].rates[5].nominal, 1);  // BYN's row
    EXPECT_EQ(history[0].rates[5].rate, 29.6453f);
}

// EUR went from 300.00 for 10 yesterday to 31.50 for 1 today: per unit a rise,
// so the arrows are green (the EUR item and the EUR/USD ratio), none red.
TEST(EndToEnd, ANominalChangeWithAPerUnitRiseDrawsAGreenArrow)
{
    SYSTEMTIME now = localNow();
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    service.respondWith(serving(document(now, valute("R01235", "USD", 1, "80,0000") + valute("R01239", "EUR", 1, "31,5000"))));

    PanelUnderTest plugin;
    plugin.open(service.port(), {record(dayBefore(now, 1), 300.0f, 10, 80.0f)}, ShowArrow | ShowDifference);
    std::vector<int> frames = plugin.tapIcon();
    EXPECT_NE(std::find(frames.begin(), frames.end(), 3), frames.end());
    std::vector<DayRates> history = plugin.history();
    ASSERT_EQ(history.size(), 15u);
    EXPECT_EQ(history[1].rates[Eur].nominal, 10);  // yesterday's record keeps what the bank published
    EXPECT_GT(plugin.pixelsOf(RGB(0, 192, 0)), 0);
    EXPECT_EQ(plugin.pixelsOf(RGB(192, 0, 0)), 0);
}

namespace {

std::string dotted(const DayCode& day)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", day.day, day.month, yearOf(day));
    return text;
}

std::wstring slashed(const DayCode& day)
{
    std::string text = dotted(day);
    for (char& c : text)
        if (c == '.') c = '/';
    return std::wstring(text.begin(), text.end());
}

std::string asked(const DayCode& day)
{
    char text[32];
    std::snprintf(text, sizeof text, "date_req=%02d/%02d/%04d", day.day, day.month, yearOf(day));
    return text;
}

// The bank's table of a day: EUR and USD moving a little from day to day.
ScriptedResponse tableOf(const SYSTEMTIME& now, const DayCode& day, float eur, float usd)
{
    char eurText[16], usdText[16];
    std::snprintf(eurText, sizeof eurText, "%.4f", eur);
    std::snprintf(usdText, sizeof usdText, "%.4f", usd);
    for (char* p : {eurText, usdText})
        for (; *p; ++p)
            if (*p == '.') *p = ',';
    ScriptedResponse response;
    response.body =
        document(now, valute("R01235", "USD", 1, usdText) + valute("R01239", "EUR", 1, eurText), dotted(day).c_str());
    return response;
}

}  // namespace

// A fresh install: one tap stores the latest day and the table before the shown
// day, and the panel draws the arrows between them (EUR up, USD down). When the
// latest table is tomorrow's, today's is asked for too: it is the shown day.
TEST(EndToEnd, OneTapOnAnEmptyHistoryGivesTheShownDayItsArrowsAtAnyHour)
{
    SYSTEMTIME now = localNow();
    DayCode today = makeDayCode(now.wDay, now.wMonth, now.wYear), yesterday = dayBefore(now, 1);
    DayCode tomorrow = dayBefore(now, -1);
    for (bool tomorrowsOut : {false, true}) {
        TestHttpServer service;
        ASSERT_TRUE(service.start());
        service.respondTo("nocache", tomorrowsOut ? tableOf(now, tomorrow, 97.0f, 80.0f) : tableOf(now, today, 96.6f, 80.5f));
        service.respondTo(asked(today), tableOf(now, today, 96.6f, 80.5f));
        service.respondTo(asked(yesterday), tableOf(now, yesterday, 95.0f, 81.0f));

        PanelUnderTest plugin;
        plugin.open(service.port(), {});
        std::vector<int> frames = plugin.tapIcon();
        EXPECT_NE(std::find(frames.begin(), frames.end(), 3), frames.end());
        std::vector<RecordedRequest> seen = service.requests();
        ASSERT_EQ(seen.size(), tomorrowsOut ? 3u : 2u);
        EXPECT_NE(seen[tomorrowsOut ? 1 : 0].requestLine.find(tomorrowsOut ? asked(today) : "nocache"), std::string::npos);
        EXPECT_NE(seen.back().requestLine.find(asked(yesterday)), std::string::npos) << seen.back().requestLine;
        std::vector<DayRates> history = plugin.history();
        ASSERT_EQ(history.size(), 15u);
        size_t at = tomorrowsOut ? 1 : 0;  // newest first
        EXPECT_TRUE(!tomorrowsOut || sameDay(history[0].code, tomorrow));
        EXPECT_TRUE(sameDay(history[at].code, today));
        EXPECT_TRUE(sameDay(history[at + 1].code, yesterday));
        EXPECT_EQ(history[at + 2].code.day, 0);
        EXPECT_GT(plugin.pixelsOf(RGB(0, 192, 0)), 0) << tomorrowsOut;  // EUR rose
        EXPECT_GT(plugin.pixelsOf(RGB(192, 0, 0)), 0) << tomorrowsOut;  // USD fell
        EXPECT_EQ(frames.back(), 0) << "today's rates count as current";
    }
}
namespace {

// Runs the dialog's messages until the fill has ended (the caption no longer
// counts) or 40 s; the captions it showed meanwhile.
Captions captionsUntilTheFillEnds(HWND dialog)
{
    return captionsUntil(dialog, [](const Captions& seen) {
        return seen.size() > 1 && seen.back().find(L'/') == std::wstring::npos;
    }, 40000);
}

// One currency's records over a range, as the bank's range form gives them.
ScriptedResponse rangeOf(const char* id, const std::vector<std::pair<DayCode, std::string>>& records)
{
    ScriptedResponse response;
    response.body = std::string("<?xml version=\"1.0\" encoding=\"windows-1251\"?><ValCurs ID=\"") + id +
                    "\" DateRange1=\"01.01.2020\" DateRange2=\"01.01.2030\" name=\"Foreign Currency Market Dynamic\">";
    for (const auto& r : records)
        response.body += "<Record Date=\"" + dotted(r.first) + "\" Id=\"" + id + "\">" + r.second + "</Record>";
    response.body += "</ValCurs>";
    return response;
}

}  // namespace

// A 4-day store with today only: "Заполнить" learns the currencies' IDs from
// today's table and asks the range form for each, a second apart, and shows
// every cell for its header's nominal (a day of EUR published for 10 sorts as
// the price of 1). Then an update whose latest table is tomorrow's keeps
// tomorrow, today and the two days before today.
TEST(EndToEnd, FillByRangeThenTomorrowsTableKeepsTheNewestDays)
{
    SYSTEMTIME now = localNow();
    DayCode today = makeDayCode(now.wDay, now.wMonth, now.wYear), tomorrow = dayBefore(now, -1);
    DayCode before[3] = {dayBefore(now, 1), dayBefore(now, 2), dayBefore(now, 3)};
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    service.respondTo(asked(today), tableOf(now, today, 96.6f, 80.5f));
    service.respondTo("VAL_NM_RQ=R01239", rangeOf("R01239", {{before[0], "<Nominal>1</Nominal><Value>96,5000</Value>"},
                                                            {before[1], "<Nominal>10</Nominal><Value>950,0</Value>"},
                                                            {before[2], "<Nominal>1</Nominal><Value>96,0</Value>"}}));
    service.respondTo("VAL_NM_RQ=R01235", rangeOf("R01235", {{before[0], "<Nominal>1</Nominal><Value>80,6</Value>"}}));
    service.respondTo("nocache", tableOf(now, tomorrow, 97.0f, 80.0f));

    PanelUnderTest plugin;
    plugin.historyLength = 4;
    plugin.open(service.port(), {record(today, 96.6f, 1, 80.5f)});
    bool shown = plugin.holdOnTheRates([&](HWND dialog) {
        SendMessageW(dialog, WM_COMMAND, IDM_FILL, 0);
        std::vector<std::wstring> captions = captionsUntilTheFillEnds(dialog);
        EXPECT_EQ(captions.back(), L"\x041A\x0443\x0440\x0441\x044B");
        EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_HISTORY_TABLE), LVM_GETITEMCOUNT, 0, 0), 4);
        EXPECT_EQ(tableCell(dialog, 2, 1), L"95,0000");  // 950 for 10 under €
        clickColumnHeader(dialog, 1);                           // EUR ascending
        EXPECT_EQ(tableCell(dialog, 0, 1), L"95,0000");
        EXPECT_EQ(tableCell(dialog, 3, 1), L"96,6000");
    });
    EXPECT_TRUE(shown) << "the history dialog never showed";
    std::vector<RecordedRequest> seen = service.requests();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_NE(seen[0].requestLine.find(asked(today)), std::string::npos) << seen[0].requestLine;
    EXPECT_NE(seen[1].requestLine.find("/scripts/XML_dynamic.asp?date_req1="), std::string::npos) << seen[1].requestLine;
    EXPECT_GE(seen[2].receivedAt - seen[1].receivedAt, 800u);

    plugin.tapIcon();
    std::vector<DayRates> history = plugin.history();
    ASSERT_EQ(history.size(), 4u);
    const DayCode kept[4] = {tomorrow, today, before[0], before[1]};
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(sameDay(history[i].code, kept[i])) << i;
}

// 2 of 15 days stored and no range form (404): "Заполнить" asks for each day
// before the oldest, one request at a time and a second or more apart, counting
// its requests in the caption, in the order the user chose for the table; a
// failed request ends it, says so, and keeps what came. "Копировать" then has
// every row.
TEST(EndToEnd, WithoutTheRangeFormTheFillAsksDayByDayAndAFailureSaysSo)
{
    SYSTEMTIME now = localNow();
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    for (int k = 1; k < 7; ++k)
        service.respondTo(asked(dayBefore(now, k)), tableOf(now, dayBefore(now, k), 95.0f + k / 10.0f, 80.0f - k / 10.0f));
    ScriptedResponse missing;
    missing.status = 404;
    missing.body = "not here";
    service.respondWith(missing);

    PanelUnderTest plugin;
    DayCode today = makeDayCode(now.wDay, now.wMonth, now.wYear);
    plugin.open(service.port(), {record(today, 96.6f, 1, 80.5f), record(dayBefore(now, 1), 96.5f, 1, 80.6f)});
    std::vector<std::wstring> captions;
    std::wstring copied, firstRow, lastRow;
    emptyClipboard();
    bool shown = plugin.holdOnTheRates([&](HWND dialog) {
        clickColumnHeader(dialog, 0);  // oldest first
        SendMessageW(dialog, WM_COMMAND, IDM_FILL, 0);  // "Заполнить", as its menu item sends it
        captions = captionsUntilTheFillEnds(dialog);
        EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_HISTORY_TABLE), LVM_GETITEMCOUNT, 0, 0), 7);
        firstRow = tableCell(dialog, 0, 0);
        lastRow = tableCell(dialog, 6, 0);
        SendMessageW(dialog, WM_COMMAND, IDM_COPY_TABLE, 0);  // "Копировать"
        copied = clipboardText();
    });
    EXPECT_TRUE(shown) << "the history dialog never showed";
    // The IDs from the oldest day's table, the range form refused, then five days and a failure.
    std::vector<RecordedRequest> seen = service.requests();
    ASSERT_EQ(seen.size(), 8u);
    EXPECT_NE(seen[0].requestLine.find(asked(dayBefore(now, 1))), std::string::npos) << seen[0].requestLine;
    EXPECT_NE(seen[1].requestLine.find("XML_dynamic.asp"), std::string::npos) << seen[1].requestLine;
    for (size_t i = 2; i < seen.size(); ++i)
        EXPECT_NE(seen[i].requestLine.find(asked(dayBefore(now, int(i)))), std::string::npos) << i;
    // The service notes arrivals on its own thread: a loaded machine may note one late.
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i].receivedAt - seen[i - 1].receivedAt, 800u) << i;
    bool counted = false;
    for (const std::wstring& caption : captions) counted = counted || caption.find(L"3 / ") != std::wstring::npos;
    EXPECT_TRUE(counted);
    EXPECT_EQ(captions.back(), L"\x041A\x0443\x0440\x0441\x044B  \x043E\x0448\x0438\x0431\x043A\x0430");  // "Курсы  ошибка"
    EXPECT_EQ(firstRow, slashed(dayBefore(now, 6)));
    EXPECT_EQ(lastRow, slashed(today));

    size_t lines = 0;
    for (size_t at = copied.find(L"\r\n"); at != std::wstring::npos; at = copied.find(L"\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 8u);
    EXPECT_EQ(copied.find(L"\x0414\x0430\x0442\x0430\tEUR\tUSD"), 0u);
}

namespace {

SYSTEMTIME testClock;
void WINAPI readTestClock(SYSTEMTIME* now) { *now = testClock; }

// Points the DLL's import of GetLocalTime at the test's clock.
bool useTestClock(HMODULE dll)
{
    auto* base = reinterpret_cast<BYTE*>(dll);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto* from = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
        base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    auto real = ULONG_PTR(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetLocalTime"));
    DWORD was;
    for (; from->Name; ++from)
        for (auto* slot = reinterpret_cast<ULONG_PTR*>(base + from->FirstThunk); *slot; ++slot)
            if (*slot == real && VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &was)) {
                *slot = ULONG_PTR(readTestClock);
                return true;
            }
    return false;
}

// The icon's frame once it has kept the coin or the clock for 1.5 s on end: an
// update's second download would have begun by then.
int settledFrame(PanelUnderTest& plugin)
{
    size_t changes = ~size_t(0);
    for (DWORD began = GetTickCount(), since = began; GetTickCount() - began < 20000; Sleep(20)) {
        plugin.repaint();
        if (PluginHost::framesSeen.size() != changes) changes = PluginHost::framesSeen.size(), since = GetTickCount();
        if (PluginHost::framesSeen.back() <= 1 && GetTickCount() - since >= 1500) break;
    }
    return PluginHost::framesSeen.back();
}

}  // namespace

// A holiday: the bank's latest table is four days old, and asked for today's date it
// answers with that table again. Until the day changes those rates are current: the
// coin shows, and "every minute, only if out of date" asks for nothing (30 of the
// host's queries make a minute). The next day's first tick asks for that day once.
TEST(EndToEnd, OnAHolidayTheBanksLastTableIsCurrentUntilTheDayChanges)
{
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    testClock = SYSTEMTIME{2027, 5, 3, 5, 10, 0, 0, 0};  // Wednesday 5 May 2027, 10:00
    service.respondWith(tableOf(testClock, makeDayCode(1, 5, 2027), 96.6f, 80.5f));
    PanelUnderTest plugin;
    PluginHost::framesSeen = {-1};
    plugin.open(service.port(), {record(makeDayCode(30, 4, 2027), 96.5f, 1, 80.6f),
                                 record(makeDayCode(29, 4, 2027), 96.4f, 1, 80.7f)}, ShowArrow, [&](HMODULE dll) {
        ASSERT_TRUE(useTestClock(dll));
        settings.updateFlags = UpdateEvery | OnlyIfStale;
        settings.updateInterval = 1;
        writeSettingsThroughProxy(plugin.folder, service.port());
    });  // its first tick finds the rates out of date and starts the update
    EXPECT_EQ(settledFrame(plugin), 0);
    size_t before = service.requests().size();
    for (int tick = 1; tick < 120; ++tick) {  // four more minutes
        SendMessageW(plugin.panel, 1267, WPARAM(&plugin.item), 0);
        if (tick % 30 == 0) settledFrame(plugin);  // an update begun would end meanwhile
    }
    EXPECT_EQ(PluginHost::framesSeen.back(), 0);
    ASSERT_EQ(service.requests().size(), before);
    testClock.wDay = 6;
    SendMessageW(plugin.panel, 1267, WPARAM(&plugin.item), 0);  // tick 120: the rule's minute
    EXPECT_EQ(settledFrame(plugin), 0);
    std::vector<RecordedRequest> seen = service.requests();
    EXPECT_EQ(std::count_if(seen.begin() + long(before), seen.end(), [](const RecordedRequest& r) {
                  return r.requestLine.find(asked(makeDayCode(6, 5, 2027))) != std::string::npos;
              }), 1);
}

// In a host whose locale writes numbers with a comma, the converter reads the
// amount with either separator.
TEST(EndToEnd, TheConverterReadsAPointOrACommaInARussianLocaleHost)
{
    SYSTEMTIME now = localNow();
    ASSERT_NE(setlocale(LC_ALL, "Russian"), nullptr);
    EXPECT_EQ(atof("1,5"), 1.5);  // the host's C library now reads commas, and stops at points
    PanelUnderTest plugin;
    plugin.open(deadLoopbackPort(), {record(makeDayCode(now.wDay, now.wMonth, now.wYear), 96.1f, 1, 80.1f)});
    wchar_t results[2][16] = {};
    bool shown = plugin.holdOnTheRates([&results](HWND dialog) {
        for (int list : {IDC_CONVERT_FROM, IDC_CONVERT_TO}) {  // dollars into roubles
            SendDlgItemMessageW(dialog, list, CB_SETCURSEL, list == IDC_CONVERT_FROM ? 2 : 0, 0);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE), LPARAM(GetDlgItem(dialog, list)));
        }
        for (int i = 0; i < 2; ++i) {
            SetDlgItemTextW(dialog, IDC_AMOUNT, i ? L"1.5" : L"1,5");
            GetDlgItemTextW(dialog, IDC_RESULT, results[i], 16);
        }
    });
    setlocale(LC_ALL, "C");
    EXPECT_TRUE(shown) << "the rates dialog never showed";
    EXPECT_STREQ(results[0], L"120,1500");
    EXPECT_STREQ(results[1], L"120.1500");
}
