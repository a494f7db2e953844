// The real DLL in a test host, its rates fetched through its own proxy setting
// from a loopback service: the first update, as the user sees it.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "harness.h"
#include "httpserver.h"
#include "resources/resource.h"
#include "update/ratesreader.h"

namespace {

constexpr int Eur = 0, Usd = 1;
const std::wstring Title = L"Курсы";  // the rates dialog's caption

// The real DLL in a recording host: the test's settings, reaching the service at
// servicePort through the proxy setting, and a history written before the DLL loads.
void openPanel(PluginHost& plugin, int servicePort, const std::vector<DayRates>& records,
               const std::function<void(HMODULE)>& beforeItem = nullptr)
{
    plugin.prepare(servicePort, records);
    ASSERT_TRUE(plugin.load(true, beforeItem));
    plugin.query();
    plugin.repaint();
}

DayCode dayBefore(const SYSTEMTIME& now, int days)
{
    FILETIME file;
    SystemTimeToFileTime(&now, &file);
    ULARGE_INTEGER t = {{file.dwLowDateTime, file.dwHighDateTime}};
    t.QuadPart -= ULONGLONG(days) * 24 * 3600 * 10000000ULL;
    file = {t.LowPart, t.HighPart};
    SYSTEMTIME then;
    FileTimeToSystemTime(&file, &then);
    return makeDayCode(then.wDay, then.wMonth, then.wYear);
}

// Every case: the day it runs on, the default settings, a loopback service, and the
// plug-in (let go before the service stops).
struct EndToEnd : ::testing::Test {
    SYSTEMTIME now = localNow();
    DayCode today = makeDayCode(now.wDay, now.wMonth, now.wYear);
    DayCode yesterday = dayBefore(now, 1), tomorrow = dayBefore(now, -1);
    TestHttpServer service;
    PluginHost plugin;

    void SetUp() override
    {
        setDefaultSettings(settings, 96);
        ASSERT_TRUE(service.start());
    }
};

bool showed(const std::vector<int>& seen, int frame) { return std::count(seen.begin(), seen.end(), frame) > 0; }

TEST_F(EndToEnd, FirstUpdateThroughTheProxySettingIsStoredAndShown)
{
    service.respondWith(serving(todaysDocument(now), 400));  // long enough to see the downloading frame
    openPanel(plugin, service.port(), {});

    // A tap on the icon starts the update: stale (empty history) → downloading → succeeded → fresh.
    EXPECT_EQ(plugin.tapIcon(), (std::vector<int>{1, 2, 3, 0}));
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

TEST_F(EndToEnd, UnloadingDuringAnUpdateWaitsForTheWorkerWithoutBlocking)
{
    // The worker is still downloading when the host lets go.
    service.respondWith(serving(todaysDocument(now), 1500));
    writeSettingsThroughProxy(plugin.folder, service.port());
    ASSERT_TRUE(plugin.load(false));
    SendMessageW(plugin.panel, ItemQueryRefresh, WPARAM(&plugin.item), 0);
    plugin.tap(2, 2);

    EXPECT_LT(plugin.unload(), 1000u);  // the host is never made to wait
    // The worker keeps the library loaded until it has stored the day, then lets it go.
    EXPECT_TRUE(pumpUntil([&] { return plugin.unloaded(); }, 15000, 20));
    std::vector<DayRates> history = plugin.history();
    ASSERT_EQ(history.size(), 15u);
    EXPECT_EQ(history[0].code.day, now.wDay);
}

// A day as the bank's tables write it, or with slashes as requests and the table do.
std::string dateOf(const DayCode& day, char separator = '.')
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d%c%02d%c%04d", day.day, separator, day.month, separator, yearOf(day));
    return text;
}

std::wstring slashed(const DayCode& day)
{
    std::string text = dateOf(day, '/');
    return std::wstring(text.begin(), text.end());
}

std::string asked(const DayCode& day) { return "date_req=" + dateOf(day, '/'); }

// The bank's table of a date, padded past the 256 bytes an answer needs to be read.
std::string document(const std::string& date, const std::string& valutes)
{
    std::string doc = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<ValCurs Date=\"" + date +
                      "\" name=\"Foreign Currency Market\">\r\n" + valutes + "</ValCurs>\r\n";
    if (doc.size() <= 256) doc.insert(doc.size() - 12, 300 - doc.size(), ' ');
    return doc;
}

std::string valute(const char* id, const char* code, int nominal, const char* value)
{
    return std::string("<Valute ID=\"") + id + "\"><CharCode>" + code + "</CharCode><Nominal>" +
           std::to_string(nominal) + "</Nominal><Value>" + value + "</Value></Valute>\r\n";
}

// The bank's table of a day: EUR and USD moving a little from day to day.
ScriptedResponse tableOf(const DayCode& day, float eur, float usd)
{
    char eurText[16], usdText[16];
    std::snprintf(eurText, sizeof eurText, "%.4f", eur);
    std::snprintf(usdText, sizeof usdText, "%.4f", usd);
    for (char* p : {eurText, usdText}) std::replace(p, p + std::strlen(p), '.', ',');
    return serving(document(dateOf(day), valute("R01235", "USD", 1, usdText) + valute("R01239", "EUR", 1, eurText)));
}

// A cut table, a damaged date, a table without a known currency: each leaves
// today's stored record byte for byte as it was, and the icon shows the failure.
TEST_F(EndToEnd, RefusedDocumentsLeaveTheStoredDayAndShowFailure)
{
    const std::string table = valute("R01235", "USD", 1, "80,5000") + valute("R01239", "EUR", 1, "96,6000");
    const std::string whole = document(dateOf(today), table);
    const ScriptedResponse cut = endedAs(serving(whole), ResponseEnding::CloseAfter, whole.size() * 4 / 10);
    const std::string unknownOnly = valute("R01436", "LTL", 1, "28,9371") + valute("R0", "XYZ", 1, "1,0");
    const std::pair<const char*, ScriptedResponse> refused[] = {
        {"a table cut at 40%", cut},
        {"a damaged date", serving(document("xx.yy.zzzz", table))},
        {"no known currency", serving(document(dateOf(today), unknownOnly))}};

    openPanel(plugin, service.port(), {dayOf(today, 96.1f, 80.1f)});
    std::vector<unsigned char> before = plugin.historyBytes();
    ASSERT_EQ(before.size(), 15u * 140u);
    for (const auto& [why, response] : refused) {
        service.respondWith(response);
        size_t sent = service.requests().size();
        std::vector<int> frames = plugin.tapIcon();
        EXPECT_GT(service.requests().size(), sent) << why;
        EXPECT_EQ(plugin.historyBytes(), before) << why;
        EXPECT_TRUE(showed(frames, 4)) << why;
        EXPECT_FALSE(showed(frames, 3)) << why;
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.back(), 0) << why;  // today's record still makes it fresh
    }
}

// A service that takes the request and never answers is given up within the
// update's minute, as the built limits have it; the next tap stores the day.
TEST_F(EndToEnd, ASilentServiceIsGivenUpAndTheNextTapStoresTheDay)
{
    ScriptedResponse silent;
    silent.ending = ResponseEnding::StallAfter;
    silent.headOnly = true;
    service.respondWith(silent);
    // Today's record keeps the rates current after the failure: no second download.
    openPanel(plugin, service.port(), {dayOf(today, 96.1f, 80.1f)});
    std::vector<unsigned char> before = plugin.historyBytes();
    EXPECT_TRUE(showed(plugin.tapIcon(75000), 4)) << "not given up within 75 s";
    EXPECT_EQ(plugin.historyBytes(), before);

    service.respondWith(tableOf(today, 96.6f, 80.5f));
    EXPECT_TRUE(showed(plugin.tapIcon(), 3));
    std::vector<DayRates> history = plugin.history();
    ASSERT_EQ(history.size(), 15u);
    EXPECT_EQ(history[0].rates[Eur].rate, 96.6f);
}

// The bank's document has moved: the 302 is followed, the day stored, and the
// Belarusian rouble, published as BYN, lands in its slot.
TEST_F(EndToEnd, ARedirectIsFollowedAndBynLandsInItsSlot)
{
    service.respondTo("XML_daily.asp", answering(302, "<html><body>Moved</body></html>",
                                                 "http://www.cbr.ru/moved/XML_daily.asp?nocache"));
    service.respondTo("/moved/", serving(document(dateOf(today), valute("R01235", "USD", 1, "80,5000") +
                                                                     valute("R01090B", "BYN", 1, "29,6453"))));

    openPanel(plugin, service.port(), {});
    EXPECT_TRUE(showed(plugin.tapIcon(), 3));
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
TEST_F(EndToEnd, ANominalChangeWithAPerUnitRiseDrawsAGreenArrow)
{
    service.respondWith(tableOf(today, 31.5f, 80.0f));
    settings.items[0].itemFlags = ShowArrow | ShowDifference;
    openPanel(plugin, service.port(), {dayOf(yesterday, 300.0f, 80.0f, 10)});
    EXPECT_TRUE(showed(plugin.tapIcon(), 3));
    std::vector<DayRates> history = plugin.history();
    ASSERT_EQ(history.size(), 15u);
    EXPECT_EQ(history[1].rates[Eur].nominal, 10);  // yesterday's record keeps what the bank published
    EXPECT_GT(plugin.pixelsOf(RGB(0, 192, 0)), 0);
    EXPECT_EQ(plugin.pixelsOf(RGB(192, 0, 0)), 0);
}

// A fresh install: one tap stores the latest day and the table before the shown
// day, and the panel draws the arrows between them (EUR up, USD down). When the
// latest table is tomorrow's, today's is asked for too: it is the shown day. Each
// pass has a service and an empty history of its own.
TEST_F(EndToEnd, OneTapOnAnEmptyHistoryGivesTheShownDayItsArrowsAtAnyHour)
{
    for (bool tomorrowsOut : {false, true}) {
        TestHttpServer bank;
        ASSERT_TRUE(bank.start());
        bank.respondTo("nocache", tomorrowsOut ? tableOf(tomorrow, 97.0f, 80.0f) : tableOf(today, 96.6f, 80.5f));
        bank.respondTo(asked(today), tableOf(today, 96.6f, 80.5f));
        bank.respondTo(asked(yesterday), tableOf(yesterday, 95.0f, 81.0f));

        PluginHost install;
        openPanel(install, bank.port(), {});
        std::vector<int> frames = install.tapIcon();
        EXPECT_TRUE(showed(frames, 3));
        std::vector<RecordedRequest> seen = bank.requests();
        ASSERT_EQ(seen.size(), tomorrowsOut ? 3u : 2u);
        EXPECT_NE(seen[tomorrowsOut ? 1 : 0].requestLine.find(tomorrowsOut ? asked(today) : "nocache"),
                  std::string::npos);
        EXPECT_NE(seen.back().requestLine.find(asked(yesterday)), std::string::npos) << seen.back().requestLine;
        std::vector<DayRates> history = install.history();
        ASSERT_EQ(history.size(), 15u);
        size_t at = tomorrowsOut ? 1 : 0;  // newest first
        EXPECT_TRUE(!tomorrowsOut || sameDay(history[0].code, tomorrow));
        EXPECT_TRUE(sameDay(history[at].code, today));
        EXPECT_TRUE(sameDay(history[at + 1].code, yesterday));
        EXPECT_EQ(history[at + 2].code.day, 0);
        EXPECT_GT(install.pixelsOf(RGB(0, 192, 0)), 0) << tomorrowsOut;  // EUR rose
        EXPECT_GT(install.pixelsOf(RGB(192, 0, 0)), 0) << tomorrowsOut;  // USD fell
        EXPECT_EQ(frames.back(), 0) << "today's rates count as current";
    }
}

// "Заполнить", as its menu item sends it; then the dialog's messages until the fill
// has ended (the caption no longer counts) or 40 s. The captions it showed meanwhile.
Captions fillUntilItEnds(HWND dialog)
{
    SendMessageW(dialog, WM_COMMAND, IDM_FILL, 0);
    return captionsUntil(dialog, [](const Captions& seen) {
        return seen.size() > 1 && seen.back().find(L'/') == std::wstring::npos;
    }, 40000);
}

// One currency's records over a range, as the bank's range form gives them.
ScriptedResponse rangeOf(const char* id, const std::vector<std::pair<DayCode, std::string>>& records)
{
    std::string body = std::string("<?xml version=\"1.0\" encoding=\"windows-1251\"?><ValCurs ID=\"") + id +
                       "\" DateRange1=\"01.01.2020\" DateRange2=\"01.01.2030\" "
                       "name=\"Foreign Currency Market Dynamic\">";
    for (const auto& r : records)
        body += "<Record Date=\"" + dateOf(r.first) + "\" Id=\"" + id + "\">" + r.second + "</Record>";
    return serving(body + "</ValCurs>");
}

// A 4-day store with today only: "Заполнить" learns the currencies' IDs from
// today's table and asks the range form for each, a second apart, and shows
// every cell for its header's nominal (a day of EUR published for 10 sorts as
// the price of 1). Then an update whose latest table is tomorrow's keeps
// tomorrow, today and the two days before today.
TEST_F(EndToEnd, FillByRangeThenTomorrowsTableKeepsTheNewestDays)
{
    DayCode before[3] = {yesterday, dayBefore(now, 2), dayBefore(now, 3)};
    service.respondTo(asked(today), tableOf(today, 96.6f, 80.5f));
    service.respondTo("VAL_NM_RQ=R01239", rangeOf("R01239", {{before[0], "<Nominal>1</Nominal><Value>96,5000</Value>"},
                                                            {before[1], "<Nominal>10</Nominal><Value>950,0</Value>"},
                                                            {before[2], "<Nominal>1</Nominal><Value>96,0</Value>"}}));
    service.respondTo("VAL_NM_RQ=R01235", rangeOf("R01235", {{before[0], "<Nominal>1</Nominal><Value>80,6</Value>"}}));
    service.respondTo("nocache", tableOf(tomorrow, 97.0f, 80.0f));

    settings.historyLength = 4;
    openPanel(plugin, service.port(), {dayOf(today, 96.6f, 80.5f)});
    EXPECT_TRUE(plugin.holdOnTheRates([&](HWND dialog) {
        Captions captions = fillUntilItEnds(dialog);
        EXPECT_EQ(captions.back(), Title);
        EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_HISTORY_TABLE), LVM_GETITEMCOUNT, 0, 0), 4);
        EXPECT_EQ(tableCell(dialog, 2, 1), L"95,0000");  // 950 for 10 under €
        clickColumnHeader(dialog, 1);                           // EUR ascending
        EXPECT_EQ(tableCell(dialog, 0, 1), L"95,0000");
        EXPECT_EQ(tableCell(dialog, 3, 1), L"96,6000");
    })) << "the history dialog never showed";
    std::vector<RecordedRequest> seen = service.requests();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_NE(seen[0].requestLine.find(asked(today)), std::string::npos) << seen[0].requestLine;
    EXPECT_NE(seen[1].requestLine.find("/scripts/XML_dynamic.asp?date_req1="), std::string::npos)
        << seen[1].requestLine;
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
TEST_F(EndToEnd, WithoutTheRangeFormTheFillAsksDayByDayAndAFailureSaysSo)
{
    for (int k = 1; k < 7; ++k)
        service.respondTo(asked(dayBefore(now, k)), tableOf(dayBefore(now, k), 95.0f + k / 10.0f, 80.0f - k / 10.0f));
    service.respondWith(answering(404, "not here"));

    openPanel(plugin, service.port(), {dayOf(today, 96.6f, 80.5f), dayOf(yesterday, 96.5f, 80.6f)});
    std::vector<std::wstring> captions;
    std::wstring copied, firstRow, lastRow;
    emptyClipboard();
    EXPECT_TRUE(plugin.holdOnTheRates([&](HWND dialog) {
        clickColumnHeader(dialog, 0);  // oldest first
        captions = fillUntilItEnds(dialog);
        EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_HISTORY_TABLE), LVM_GETITEMCOUNT, 0, 0), 7);
        firstRow = tableCell(dialog, 0, 0);
        lastRow = tableCell(dialog, 6, 0);
        SendMessageW(dialog, WM_COMMAND, IDM_COPY_TABLE, 0);  // "Копировать"
        copied = clipboardText();
    })) << "the history dialog never showed";
    // The IDs from the oldest day's table, the range form refused, then five days and a failure.
    std::vector<RecordedRequest> seen = service.requests();
    ASSERT_EQ(seen.size(), 8u);
    EXPECT_NE(seen[0].requestLine.find(asked(yesterday)), std::string::npos) << seen[0].requestLine;
    EXPECT_NE(seen[1].requestLine.find("XML_dynamic.asp"), std::string::npos) << seen[1].requestLine;
    for (size_t i = 2; i < seen.size(); ++i)
        EXPECT_NE(seen[i].requestLine.find(asked(dayBefore(now, int(i)))), std::string::npos) << i;
    // The service notes arrivals on its own thread: a loaded machine may note one late.
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i].receivedAt - seen[i - 1].receivedAt, 800u) << i;
    EXPECT_TRUE(std::any_of(captions.begin(), captions.end(),
                            [](const std::wstring& caption) { return caption.find(L"3 / ") != std::wstring::npos; }));
    EXPECT_EQ(captions.back(), Title + L"  ошибка");
    EXPECT_EQ(firstRow, slashed(dayBefore(now, 6)));
    EXPECT_EQ(lastRow, slashed(today));

    size_t lines = 0;
    for (size_t at = copied.find(L"\r\n"); at != std::wstring::npos; at = copied.find(L"\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 8u);
    EXPECT_EQ(copied.find(L"Дата\tEUR\tUSD"), 0u);
}

SYSTEMTIME testClock;
void WINAPI readTestClock(SYSTEMTIME* now) { *now = testClock; }

// Points the DLL's imports of GetLocalTime and GetSystemTime at the test's clock
// (a clock in UTC, where Moscow's day begins three hours before its own).
bool useTestClock(HMODULE dll)
{
    auto* base = reinterpret_cast<BYTE*>(dll);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto local = ULONG_PTR(GetProcAddress(kernel, "GetLocalTime"));
    auto utc = ULONG_PTR(GetProcAddress(kernel, "GetSystemTime"));
    int patched = 0;
    DWORD was;
    for (auto* from = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
             base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
         from->Name; ++from)
        for (auto* slot = reinterpret_cast<ULONG_PTR*>(base + from->FirstThunk); *slot; ++slot)
            if ((*slot == local || *slot == utc) && VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &was)) {
                *slot = ULONG_PTR(readTestClock);
                ++patched;
            }
    return patched == 2;
}

// The icon's frame once it has kept the coin or the clock for 1.5 s on end: an
// update's second download would have begun by then.
int settledFrame(PluginHost& plugin)
{
    size_t changes = ~size_t(0);
    for (DWORD began = GetTickCount(), since = began; GetTickCount() - began < 20000; Sleep(20)) {
        plugin.repaint();
        if (PluginHost::framesSeen.size() != changes) changes = PluginHost::framesSeen.size(), since = GetTickCount();
        if (PluginHost::framesSeen.back() <= 1 && GetTickCount() - since >= 1500) break;
    }
    return PluginHost::framesSeen.back();
}

// A holiday: the bank's latest table is four days old, and asked for today's date it
// answers with that table again. Until the day changes those rates are current: the
// coin shows, and "every minute, only if out of date" asks for nothing (30 of the
// host's queries make a minute). The next day's first tick asks for that day once.
TEST_F(EndToEnd, OnAHolidayTheBanksLastTableIsCurrentUntilTheDayChanges)
{
    testClock = SYSTEMTIME{2027, 5, 3, 5, 10, 0, 0, 0};  // Wednesday 5 May 2027, 10:00
    service.respondWith(tableOf(makeDayCode(1, 5, 2027), 96.6f, 80.5f));
    PluginHost::framesSeen = {-1};
    openPanel(plugin, service.port(), {dayOf(makeDayCode(30, 4, 2027), 96.5f, 80.6f),
                                       dayOf(makeDayCode(29, 4, 2027), 96.4f, 80.7f)}, [&](HMODULE dll) {
        ASSERT_TRUE(useTestClock(dll));
        settings.updateFlags = UpdateEvery | OnlyIfStale;
        settings.updateInterval = 1;
        writeSettingsThroughProxy(plugin.folder, service.port());
    });  // its first tick finds the rates out of date and starts the update
    EXPECT_EQ(settledFrame(plugin), 0);
    size_t before = service.requests().size();
    for (int tick = 1; tick < 120; ++tick) {  // four more minutes
        SendMessageW(plugin.panel, ItemQueryRefresh, WPARAM(&plugin.item), 0);
        if (tick % 30 == 0) settledFrame(plugin);  // an update begun would end meanwhile
    }
    EXPECT_EQ(PluginHost::framesSeen.back(), 0);
    ASSERT_EQ(service.requests().size(), before);
    testClock.wDay = 6;
    SendMessageW(plugin.panel, ItemQueryRefresh, WPARAM(&plugin.item), 0);  // tick 120: the rule's minute
    EXPECT_EQ(settledFrame(plugin), 0);
    std::vector<RecordedRequest> seen = service.requests();
    EXPECT_EQ(std::count_if(seen.begin() + long(before), seen.end(), [](const RecordedRequest& r) {
                  return r.requestLine.find(asked(makeDayCode(6, 5, 2027))) != std::string::npos;
              }), 1);
}

// Days across a New Year in calendar order: in January the panel shows the latest
// day, 1 January, not the December days after it in a 31-day-month count.
TEST_F(EndToEnd, AfterNewYearThePanelShowsTheLatestDay)
{
    testClock = SYSTEMTIME{2026, 1, 1, 12, 10, 0, 0, 0};  // Monday 12 January 2026, 10:00
    openPanel(plugin, service.port(), {dayOf(makeDayCode(27, 12, 2025), 101.0f, 81.0f),
                                       dayOf(makeDayCode(31, 12, 2025), 102.0f, 82.0f),
                                       dayOf(makeDayCode(1, 1, 2026), 103.0f, 83.0f)}, [](HMODULE dll) {
        ASSERT_TRUE(useTestClock(dll));
    });
    emptyClipboard();
    plugin.tap(30, 5);
    EXPECT_EQ(clipboardText(), L"103,0000");
    std::wstring sorted;  // the first tap on the date sorts oldest first
    EXPECT_TRUE(plugin.holdOnTheRates([&sorted](HWND dialog) {
        clickColumnHeader(dialog, 0);
        for (int row = 0; row < 3; ++row) sorted += tableCell(dialog, row, 0) + L" ";
    }));
    EXPECT_EQ(sorted, L"27/12/2025 31/12/2025 01/01/2026 ");
}

// Another program holds the history file open (shared for read, write and delete,
// as a backup or sync tool does) while the update saves: the update shows failure
// and the icon keeps it, never success; once the file is let go the day reaches
// it within seconds, and the icon clears.
TEST_F(EndToEnd, ADayThatFindsTheFileHeldOpenReachesItOnceItIsLetGo)
{
    service.respondWith(tableOf(today, 96.6f, 80.5f));
    openPanel(plugin, service.port(), {dayOf(yesterday, 96.1f, 80.1f)});
    std::wstring his = plugin.folder.file(L"vokCurrency.his");
    HANDLE held = CreateFileW(his.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::vector<int> frames = plugin.tapIcon(8000);
    EXPECT_TRUE(showed(frames, 4));
    EXPECT_FALSE(showed(frames, 3));
    EXPECT_EQ(frames.back(), 4);
    EXPECT_TRUE(sameDay(plugin.history()[0].code, yesterday));
    CloseHandle(held);
    auto stored = [&] {
        SendMessageW(plugin.panel, ItemQueryRefresh, WPARAM(&plugin.item), 0);
        plugin.repaint();
        return sameDay(plugin.history()[0].code, today);
    };
    EXPECT_TRUE(pumpUntil(stored, 10000, 200));
    EXPECT_EQ(plugin.history()[0].rates[Eur].rate, 96.6f);
    EXPECT_LE(PluginHost::framesSeen.back(), 1);
}

// A service that trickles its head, a line every 2 s, for longer than this test
// runs: the update is given up at its limit, and a tap after that, on the item
// made again for a second, good service, makes its own request and stores the
// day while the first request still hangs.
TEST_F(EndToEnd, ATricklingRequestGivenUpBlocksNoLaterTap)
{
    ScriptedResponse trickle;
    trickle.trickleHeadMs = 2000;
    service.respondWith(trickle);
    openPanel(plugin, service.port(), {dayOf(yesterday, 96.1f, 80.1f)});
    EXPECT_TRUE(showed(plugin.tapIcon(75000), 4)) << "not given up within 75 s";
    TestHttpServer good;
    ASSERT_TRUE(good.start());
    good.respondWith(tableOf(today, 96.6f, 80.5f));
    writeSettingsThroughProxy(plugin.folder, good.port());
    plugin.makeItemAgain();
    EXPECT_TRUE(showed(plugin.tapIcon(), 3));
    EXPECT_EQ(good.requests().size(), 1u);
    EXPECT_EQ(service.requests().size(), 1u);  // the trickle's own, still being answered
    EXPECT_TRUE(sameDay(plugin.history()[0].code, today));
    plugin.unload();
    service.stop();  // ends the trickle, and with it the request that holds the library
}

// The item made again while the last update is still ending (as the shell does
// after the options' OK) and a tap at once: every such tap makes its request.
TEST_F(EndToEnd, ATapAtOnceAfterTheItemIsMadeAgainMakesItsRequest)
{
    service.respondWith(tableOf(today, 96.6f, 80.5f));
    openPanel(plugin, service.port(), {dayOf(yesterday, 96.1f, 80.1f)});
    for (size_t round = 0; round < 5; ++round) {
        size_t before = service.requests().size();
        Sleep(300);  // never a double tap with the round before
        plugin.tap(2, 2);
        auto asked = [&](size_t more) { return [&, more] { return service.requests().size() >= before + more; }; };
        ASSERT_TRUE(pumpUntil(asked(1), 10000)) << round;
        plugin.makeItemAgain();
        plugin.tap(2, 2);
        EXPECT_TRUE(pumpUntil(asked(2), 12000)) << round;
        settledFrame(plugin);
    }
}

// The bank's real table of 43 currencies: an item for the yuan shows and copies its
// rate, and still does after the library is loaded again with the service down;
// the settings file keeps its size and the history file's record is the one the
// table's first 17 currencies make. The rates table has the yuan's column, and the
// converter turns roubles into yuan.
TEST_F(EndToEnd, TheYuanFromTheBanksFullTableOnThePanelTheTableAndTheConverter)
{
    std::ifstream xml(std::string(VOK_SOURCE_DIR) + "/tests/fixtures/daily_full.xml", std::ios::binary);
    std::string body((std::istreambuf_iterator<char>(xml)), std::istreambuf_iterator<char>());
    DayRates read;
    ASSERT_TRUE(parseDailyRates(&std::string(body)[0], read));
    constexpr int Cny = 17;
    ASSERT_EQ(read.rates[Cny].rate, 13.8322f);
    service.respondWith(serving(body));
    settings.items[0].currency = Cny;
    openPanel(plugin, service.port(), {});
    EXPECT_TRUE(showed(plugin.tapIcon(), 3));
    for (int load = 0; load < 2; ++load) {
        emptyClipboard();
        plugin.tap(30, 5);
        EXPECT_EQ(clipboardText(), L"13,8322") << load;
        std::vector<unsigned char> his = plugin.historyBytes();
        ASSERT_GE(his.size(), sizeof(HistoryRecord));
        EXPECT_EQ(std::memcmp(his.data(), &read, sizeof(HistoryRecord)), 0) << load;
        EXPECT_EQ(readFileBytes(plugin.folder.file(L"vokCurrency.set")).size(), 584u);
        if (load == 1) break;
        plugin.unload();
        service.respondWith(answering(503, "Service Unavailable"));
        ASSERT_TRUE(plugin.load(true));
        plugin.query();
        plugin.repaint();
        EXPECT_TRUE(showed(plugin.tapIcon(), 4));
    }
    std::wstring header, cell, yuan;
    EXPECT_TRUE(plugin.holdOnTheRates([&](HWND dialog) {
        HWND table = GetDlgItem(dialog, IDC_HISTORY_TABLE);
        HWND headers = reinterpret_cast<HWND>(SendMessageW(table, LVM_GETHEADER, 0, 0));
        wchar_t text[16] = L"";
        HDITEMW item = {};
        item.mask = HDI_TEXT, item.pszText = text, item.cchTextMax = 16;
        SendMessageW(headers, HDM_GETITEMW, Cny + 1, LPARAM(&item));
        header = text;
        cell = tableCell(dialog, 0, Cny + 1);
        SendDlgItemMessageW(dialog, IDC_CONVERT_FROM, CB_SETCURSEL, 0, 0);
        SendDlgItemMessageW(dialog, IDC_CONVERT_TO, CB_SETCURSEL, Cny + 1, 0);
        for (int list : {IDC_CONVERT_FROM, IDC_CONVERT_TO})
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE), LPARAM(GetDlgItem(dialog, list)));
        setText(dialog, IDC_AMOUNT, L"1383,22");
        yuan = itemText(dialog, IDC_RESULT);
    }));
    EXPECT_EQ(header, L"CNY");
    EXPECT_EQ(cell, L"13,8322");
    EXPECT_EQ(yuan, L"100,0000");
}

// In a host whose locale writes numbers with a comma, the converter reads the
// amount with either separator.
TEST_F(EndToEnd, TheConverterReadsAPointOrACommaInARussianLocaleHost)
{
    ASSERT_NE(setlocale(LC_ALL, "Russian"), nullptr);
    EXPECT_EQ(atof("1,5"), 1.5);  // the host's C library now reads commas, and stops at points
    openPanel(plugin, deadLoopbackPort(), {dayOf(today, 96.1f, 80.1f)});
    std::wstring results[2];
    EXPECT_TRUE(plugin.holdOnTheRates([&results](HWND dialog) {
        for (int list : {IDC_CONVERT_FROM, IDC_CONVERT_TO}) {  // dollars into roubles
            SendDlgItemMessageW(dialog, list, CB_SETCURSEL, list == IDC_CONVERT_FROM ? 2 : 0, 0);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE), LPARAM(GetDlgItem(dialog, list)));
        }
        for (int i = 0; i < 2; ++i) {
            setText(dialog, IDC_AMOUNT, i ? L"1.5" : L"1,5");
            results[i] = itemText(dialog, IDC_RESULT);
        }
    })) << "the rates dialog never showed";
    setlocale(LC_ALL, "C");
    EXPECT_EQ(results[0], L"120,1500");
    EXPECT_EQ(results[1], L"120.1500");
}

}  // namespace
