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
#include "httpserver.h"
#include "platform/shell.h"
#include "platform/today.h"
#include "resources/resource.h"
#include "winetest.h"

namespace {

HBITMAP strip;
int stripSize;
std::vector<int> framesSeen;
COLORREF endToEndText = RGB(10, 20, 250);

// Which strip frame the icon area of dc shows, or -1.
int frameIn(HDC dc, int panelHeight)
{
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, strip);
    int y0 = (panelHeight - stripSize) / 2, found = -1;
    for (int frame = 0; frame < 5 && found < 0; ++frame) {
        bool same = true;
        int compared = 0;
        for (int y = 0; y < stripSize && same; ++y)
            for (int x = 0; x < stripSize && same; ++x) {
                COLORREF want = GetPixel(source, frame * stripSize + x, y);
                if (want == RGB(1, 2, 3)) continue;
                ++compared;
                same = GetPixel(dc, x, y0 + y) == want;
            }
        if (same && compared > 0) found = frame;
    }
    SelectObject(source, old);
    DeleteDC(source);
    return found;
}

// The background request of each paint finds the previous paint still in the buffer.
LRESULT CALLBACK recordingHost(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == 1124) return endToEndText;
    if (message == 1125) {
        auto* info = reinterpret_cast<TODAYDRAWWATERMARKINFO*>(lParam);
        int frame = frameIn(info->hdc, info->rc.bottom);
        if (frame >= 0 && (framesSeen.empty() || framesSeen.back() != frame)) framesSeen.push_back(frame);
        HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
        FillRect(info->hdc, &info->rc, white);
        DeleteObject(white);
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// What the panel window shows, row by row, 240 pixels a row.
std::vector<COLORREF> panelPixels(HWND panel, int height)
{
    HDC panelDC = GetDC(panel);
    HDC shot = CreateCompatibleDC(panelDC);
    HBITMAP bitmap = CreateCompatibleBitmap(panelDC, 240, height);
    HGDIOBJ old = SelectObject(shot, bitmap);
    BitBlt(shot, 0, 0, 240, height, panelDC, 0, 0, SRCCOPY);
    ReleaseDC(panel, panelDC);
    std::vector<COLORREF> pixels(size_t(240) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 240; ++x) pixels[size_t(y) * 240 + x] = GetPixel(shot, x, y);
    SelectObject(shot, old);
    DeleteObject(bitmap);
    DeleteDC(shot);
    return pixels;
}

// The Today screen's window as a host makes it, answering with recordingHost.
HWND makeRecordingHost()
{
    WNDCLASSW hostClass = {};
    hostClass.lpfnWndProc = recordingHost;
    hostClass.hInstance = GetModuleHandleW(nullptr);
    hostClass.lpszClassName = L"vokEndToEndHost";
    RegisterClassW(&hostClass);
    return CreateWindowExW(0, L"vokEndToEndHost", L"host", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

std::string todaysDocument(const SYSTEMTIME& now)
{
    char head[160];
    std::snprintf(head, sizeof head,
                  "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<ValCurs Date=\"%02d.%02d.%04d\" "
                  "name=\"Foreign Currency Market\">\r\n",
                  now.wDay, now.wMonth, now.wYear);
    std::string doc = head;
    doc += "<Valute ID=\"R01235\"><NumCode>840</NumCode><CharCode>USD</CharCode><Nominal>1</Nominal>"
           "<Name>\xC4\xEE\xEB\xEB\xE0\xF0 \xD1\xD8\xC0</Name><Value>80,5000</Value></Valute>\r\n";
    doc += "<Valute ID=\"R01239\"><NumCode>978</NumCode><CharCode>EUR</CharCode><Nominal>1</Nominal>"
           "<Name>\xC5\xE2\xF0\xEE</Name><Value>96,6000</Value></Valute>\r\n";
    doc += "</ValCurs>\r\n";
    return doc;
}

}  // namespace

TEST(EndToEnd, FirstUpdateThroughTheProxySettingIsStoredAndShown)
{
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    SYSTEMTIME now;
    GetLocalTime(&now);
    ScriptedResponse response;
    response.body = todaysDocument(now);
    response.pauseBeforeAnswerMs = 400;  // long enough to see the downloading frame
    service.respondWith(response);

    PluginFolder folder;
    setDefaultSettings(settings, 96);
    writeSettingsThroughProxy(folder, service.port());

    strip = SHLoadImageFile((folder.file(L"vokCurrency.png")).c_str());
    ASSERT_NE(strip, nullptr);
    BITMAP info;
    GetObjectW(strip, sizeof info, &info);
    stripSize = info.bmHeight;

    HMODULE dll = LoadLibraryW(folder.file(L"vokcurrency.dll").c_str());
    ASSERT_NE(dll, nullptr);
    auto initialize = initializeEntry(dll);
    HWND host = makeRecordingHost();
    HostItem item{};
    HWND panel = initialize(&item, host);
    ASSERT_NE(panel, nullptr);
    framesSeen.clear();
    SendMessageW(panel, 1267, WPARAM(&item), 0);
    SetWindowPos(panel, nullptr, 0, 0, 240, int(item.cyp), SWP_NOZORDER);
    UpdateWindow(panel);

    // A tap on the icon starts the update.
    SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(panel, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    std::wstring historyFile = folder.file(L"vokCurrency.his");
    DWORD began = GetTickCount();
    while (GetTickCount() - began < 15000) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        InvalidateRect(panel, nullptr, FALSE);  // every paint's background request sees the one before
        UpdateWindow(panel);
        if (!framesSeen.empty() && framesSeen.back() == 0 && readFileBytes(historyFile).size() == 15 * 140) break;
        Sleep(10);
    }
    InvalidateRect(panel, nullptr, FALSE);
    UpdateWindow(panel);
    InvalidateRect(panel, nullptr, FALSE);
    UpdateWindow(panel);  // its background request reads the last picture

    // Stale (empty history) → Downloading → Succeeded → Fresh.
    EXPECT_EQ(framesSeen, (std::vector<int>{1, 2, 3, 0}));
    std::vector<unsigned char> history = readFileBytes(historyFile);
    ASSERT_EQ(history.size(), 15u * 140u);
    EXPECT_EQ(history[0], now.wDay);
    EXPECT_EQ(history[1], now.wMonth);
    EXPECT_EQ(history[2], (now.wYear + 59) % 256);
    float eur, usd;
    std::memcpy(&eur, &history[8], 4);
    std::memcpy(&usd, &history[16], 4);
    EXPECT_EQ(eur, 96.6f);
    EXPECT_EQ(usd, 80.5f);
    ASSERT_FALSE(service.requests().empty());
    EXPECT_NE(service.requests()[0].requestLine.find("http://www.cbr.ru"), std::string::npos)
        << service.requests()[0].requestLine;

    // The three default items with their values: a tap on the first copies EUR,
    // and the host's text colour covers three separate stretches of the line.
    if (OpenClipboard(panel)) {
        EmptyClipboard();
        CloseClipboard();
    }
    Sleep(260);
    SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 5));
    SendMessageW(panel, WM_LBUTTONUP, 0, MAKELPARAM(30, 5));
    std::wstring copied;
    if (OpenClipboard(nullptr)) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) copied = static_cast<const wchar_t*>(GlobalLock(data));
        CloseClipboard();
    }
    EXPECT_EQ(copied, L"96,6000");

    std::vector<COLORREF> pixels = panelPixels(panel, int(item.cyp));
    std::vector<bool> ink(240 - 20);
    for (int x = 20; x < 240; ++x)
        for (int y = 0; y < int(item.cyp) && !ink[x - 20]; ++y) {
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

    DestroyWindow(host);
    DeleteObject(strip);
    FreeLibrary(dll);
    service.stop();
}

TEST(EndToEnd, UnloadingDuringAnUpdateWaitsForTheWorkerWithoutBlocking)
{
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    SYSTEMTIME now;
    GetLocalTime(&now);
    ScriptedResponse response;
    response.body = todaysDocument(now);
    response.pauseBeforeAnswerMs = 1500;  // the worker is still downloading when the host lets go
    service.respondWith(response);

    PluginFolder folder;
    setDefaultSettings(settings, 96);
    writeSettingsThroughProxy(folder, service.port());

    HMODULE dll = LoadLibraryW(folder.file(L"vokcurrency.dll").c_str());
    ASSERT_NE(dll, nullptr);
    auto initialize = initializeEntry(dll);
    HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 240, 320, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    HostItem item{};
    HWND panel = initialize(&item, host);
    ASSERT_NE(panel, nullptr);
    SendMessageW(panel, 1267, WPARAM(&item), 0);
    SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(panel, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    DestroyWindow(host);

    DWORD before = GetTickCount();
    EXPECT_TRUE(FreeLibrary(dll));
    EXPECT_LT(GetTickCount() - before, 1000u);  // the host is never made to wait
    // The worker keeps the library loaded until it has stored the day, then lets it go.
    std::wstring historyFile = folder.file(L"vokCurrency.his");
    bool stored = false, unloaded = false;
    for (DWORD began = GetTickCount(); GetTickCount() - began < 15000 && !unloaded; Sleep(20)) {
        stored = stored || readFileBytes(historyFile).size() == 15 * 140;
        unloaded = GetModuleHandleW(folder.file(L"vokcurrency.dll").c_str()) == nullptr;
    }
    EXPECT_TRUE(stored || readFileBytes(historyFile).size() == 15 * 140);
    EXPECT_TRUE(unloaded);
    std::vector<unsigned char> history = readFileBytes(historyFile);
    ASSERT_EQ(history.size(), 15u * 140u);
    EXPECT_EQ(history[0], now.wDay);
    service.stop();
}

namespace {

// The real DLL in a recording host: settings that reach service through the
// proxy setting, and a history written before the DLL loads.
struct PanelUnderTest {
    PluginFolder folder;
    HMODULE dll = nullptr;
    HWND host = nullptr;
    HWND panel = nullptr;
    HostItem item{};

    void open(int servicePort, const std::vector<DayRates>& records, uint8_t firstItemFlags = ShowArrow)
    {
        setDefaultSettings(settings, 96);
        settings.items[0].itemFlags = firstItemFlags;
        writeSettingsThroughProxy(folder, servicePort);
        std::vector<DayRates> file(15);
        std::memset(file.data(), 0, file.size() * sizeof(DayRates));
        for (size_t i = 0; i < records.size() && i < file.size(); ++i) file[i] = records[i];
        writeFileBytes(folder.file(L"vokCurrency.his"), file.data(), file.size() * sizeof(DayRates));

        strip = SHLoadImageFile(folder.file(L"vokCurrency.png").c_str());
        BITMAP info;
        GetObjectW(strip, sizeof info, &info);
        stripSize = info.bmHeight;
        dll = LoadLibraryW(folder.file(L"vokcurrency.dll").c_str());
        ASSERT_NE(dll, nullptr);
        auto initialize = initializeEntry(dll);
        host = makeRecordingHost();
        panel = initialize(&item, host);
        ASSERT_NE(panel, nullptr);
        SendMessageW(panel, 1267, WPARAM(&item), 0);
        SetWindowPos(panel, nullptr, 0, 0, 240, int(item.cyp), SWP_NOZORDER);
        repaint();
    }

    void repaint()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        InvalidateRect(panel, nullptr, FALSE);
        UpdateWindow(panel);
    }

    // A tap on the icon, then the icon's frames until the update has shown its
    // outcome and settled again (at most limitMs).
    std::vector<int> tapIcon(DWORD limitMs = 15000)
    {
        Sleep(300);  // never a double tap with the one before
        repaint();
        framesSeen.clear();
        SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        SendMessageW(panel, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        for (DWORD began = GetTickCount(); GetTickCount() - began < limitMs; Sleep(10)) {
            repaint();
            bool ended = std::find(framesSeen.begin(), framesSeen.end(), 3) != framesSeen.end() ||
                         std::find(framesSeen.begin(), framesSeen.end(), 4) != framesSeen.end();
            if (ended && !framesSeen.empty() && framesSeen.back() <= 1) break;
        }
        Sleep(700);  // a second download, if any, would show by now
        repaint();
        repaint();
        return framesSeen;
    }

    std::vector<unsigned char> history() { return readFileBytes(folder.file(L"vokCurrency.his")); }

    // How many pixels of the panel are drawn in colour.
    int pixelsOf(COLORREF colour)
    {
        repaint();
        std::vector<COLORREF> pixels = panelPixels(panel, int(item.cyp));
        return int(std::count(pixels.begin(), pixels.end(), colour));
    }

    ~PanelUnderTest()
    {
        if (host) DestroyWindow(host);
        if (strip) DeleteObject(strip);
        strip = nullptr;
        if (dll) FreeLibrary(dll);
        // The worker holds the library until it ends; let it go before the folder does.
        for (DWORD began = GetTickCount(); GetTickCount() - began < 5000; Sleep(20))
            if (!GetModuleHandleW(folder.file(L"vokcurrency.dll").c_str())) break;
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

DayRates record(const DayCode& day, float eur, int eurNominal, float usd)
{
    DayRates r;
    std::memset(&r, 0, sizeof r);
    r.code = day;
    r.rates[0] = {eurNominal, eur};
    r.rates[1] = {1, usd};
    return r;
}

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
    SYSTEMTIME now;
    GetLocalTime(&now);
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    const std::string table = valute("R01235", "USD", 1, "80,5000") + valute("R01239", "EUR", 1, "96,6000");
    std::string whole = document(now, table);
    ScriptedResponse cut;
    cut.body = whole;
    cut.ending = ResponseEnding::CloseAfter;
    cut.cutAfter = whole.size() * 4 / 10;
    ScriptedResponse damagedDate;
    damagedDate.body = document(now, table, "xx.yy.zzzz");
    ScriptedResponse unknownOnly;
    unknownOnly.body = document(now, valute("R01020A", "AZN", 1, "58,9371") + valute("R0", "XYZ", 1, "1,0"));
    struct Case {
        const char* why;
        ScriptedResponse response;
    };
    const Case refused[] = {{"a table cut at 40%", cut}, {"a damaged date", damagedDate},
                            {"no known currency", unknownOnly}};

    PanelUnderTest plugin;
    plugin.open(service.port(), {record(makeDayCode(now.wDay, now.wMonth, now.wYear), 96.1f, 1, 80.1f)});
    std::vector<unsigned char> before = plugin.history();
    ASSERT_EQ(before.size(), 15u * 140u);
    for (const Case& c : refused) {
        service.respondWith(c.response);
        size_t asked = service.requests().size();
        std::vector<int> frames = plugin.tapIcon();
        EXPECT_GT(service.requests().size(), asked) << c.why;
        EXPECT_EQ(plugin.history(), before) << c.why;
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
    SYSTEMTIME now;
    GetLocalTime(&now);
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    ScriptedResponse silent;
    silent.ending = ResponseEnding::StallAfter;
    silent.headOnly = true;
    service.respondWith(silent);
    PanelUnderTest plugin;
    // Today's record keeps the rates current after the failure: no second download.
    plugin.open(service.port(), {record(makeDayCode(now.wDay, now.wMonth, now.wYear), 96.1f, 1, 80.1f)});
    std::vector<unsigned char> before = plugin.history();
    std::vector<int> frames = plugin.tapIcon(75000);
    EXPECT_NE(std::find(frames.begin(), frames.end(), 4), frames.end()) << "not given up within 75 s";
    EXPECT_EQ(plugin.history(), before);

    ScriptedResponse table;
    table.body = document(now, valute("R01235", "USD", 1, "80,5000") + valute("R01239", "EUR", 1, "96,6000"));
    service.respondWith(table);
    frames = plugin.tapIcon();
    EXPECT_NE(std::find(frames.begin(), frames.end(), 3), frames.end());
    float eur = 0;
    std::vector<unsigned char> history = plugin.history();
    ASSERT_EQ(history.size(), 15u * 140u);
    std::memcpy(&eur, &history[8], 4);
    EXPECT_EQ(eur, 96.6f);
}

// The bank's document has moved: the 302 is followed, the day stored, and the
// Belarusian rouble, published as BYN, lands in its slot.
TEST(EndToEnd, ARedirectIsFollowedAndBynLandsInItsSlot)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    ScriptedResponse moved;
    moved.status = 302;
    moved.location = "http://www.cbr.ru/moved/XML_daily.asp?nocache";
    moved.body = "<html><body>Moved</body></html>";
    ScriptedResponse table;
    table.body = document(now, valute("R01235", "USD", 1, "80,5000") + valute("R01090B", "BYN", 1, "29,6453"));
    service.respondTo("XML_daily.asp", moved);
    service.respondTo("/moved/", table);

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

    std::vector<unsigned char> history = plugin.history();
    ASSERT_EQ(history.size(), 15u * 140u);
    EXPECT_EQ(history[0], now.wDay);
    int32_t nominal;
    float rate;
    std::memcpy(&nominal, &history[4 + 8 * 5], 4);
    std::memcpy(&rate, &history[8 + 8 * 5], 4);
    EXPECT_EQ(nominal, 1);
    EXPECT_EQ(rate, 29.6453f);
}

// EUR went from 300.00 for 10 yesterday to 31.50 for 1 today: per unit a rise,
// so the arrows are green (the EUR item and the EUR/USD ratio), none red.
TEST(EndToEnd, ANominalChangeWithAPerUnitRiseDrawsAGreenArrow)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    ScriptedResponse table;
    table.body = document(now, valute("R01235", "USD", 1, "80,0000") + valute("R01239", "EUR", 1, "31,5000"));
    service.respondWith(table);

    PanelUnderTest plugin;
    plugin.open(service.port(), {record(dayBefore(now, 1), 300.0f, 10, 80.0f)}, ShowArrow | ShowDifference);
    std::vector<int> frames = plugin.tapIcon();
    EXPECT_NE(std::find(frames.begin(), frames.end(), 3), frames.end());
    std::vector<unsigned char> history = plugin.history();
    ASSERT_EQ(history.size(), 15u * 140u);
    int32_t nominal;
    std::memcpy(&nominal, &history[140 + 4], 4);
    EXPECT_EQ(nominal, 10);  // yesterday's record keeps what the bank published
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

// Steps run on the history dialog that a tap-and-hold on the rates opens, from
// inside its modal loop.
std::function<void(HWND)> historySteps;
bool historyStepsRan;
int historyTicks;

void CALLBACK runHistorySteps(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindWindowW(L"#32770", L"\x041A\x0443\x0440\x0441\x044B");  // "Курсы"
    if (!dialog) {
        if (++historyTicks > 250) KillTimer(nullptr, timer);
        return;
    }
    KillTimer(nullptr, timer);
    if (historyStepsRan) return;
    historyStepsRan = true;
    historySteps(dialog);
    PostMessageW(dialog, WM_COMMAND, IDM_CANCEL, 0);
}

void holdOnTheRates(PanelUnderTest& plugin, std::function<void(HWND)> steps)
{
    historySteps = std::move(steps);
    historyStepsRan = false;
    historyTicks = 0;
    SetTimer(nullptr, 0, 20, runHistorySteps);
    Sleep(300);
    SetPropW(plugin.host, L"SHGestureHold", HANDLE(1));
    SendMessageW(plugin.panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 5));
    RemovePropW(plugin.host, L"SHGestureHold");
    SendMessageW(plugin.panel, WM_LBUTTONUP, 0, MAKELPARAM(150, 5));
    EXPECT_TRUE(historyStepsRan) << "the history dialog never showed";
}

std::wstring captionOf(HWND window)
{
    wchar_t text[64] = L"";
    GetWindowTextW(window, text, 64);
    return text;
}

}  // namespace

// A fresh install: one tap stores the latest day and the day before it, and the
// panel draws the arrows between them (EUR up, USD down).
TEST(EndToEnd, OneTapOnAnEmptyHistoryStoresTwoDaysAndDrawsArrows)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    DayCode today = makeDayCode(now.wDay, now.wMonth, now.wYear), yesterday = dayBefore(now, 1);
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    service.respondTo("nocache", tableOf(now, today, 96.6f, 80.5f));
    service.respondTo(asked(yesterday), tableOf(now, yesterday, 95.0f, 81.0f));

    PanelUnderTest plugin;
    plugin.open(service.port(), {});
    std::vector<int> frames = plugin.tapIcon();
    EXPECT_NE(std::find(frames.begin(), frames.end(), 3), frames.end());
    std::vector<RecordedRequest> seen = service.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(seen[1].requestLine.find(asked(yesterday)), std::string::npos) << seen[1].requestLine;
    std::vector<unsigned char> history = plugin.history();
    ASSERT_EQ(history.size(), 15u * 140u);
    EXPECT_TRUE(std::memcmp(&history[0], &yesterday, 3) == 0);
    EXPECT_TRUE(std::memcmp(&history[140], &today, 3) == 0);
    EXPECT_EQ(history[280], 0);
    EXPECT_GT(plugin.pixelsOf(RGB(0, 192, 0)), 0);  // EUR rose
    EXPECT_GT(plugin.pixelsOf(RGB(192, 0, 0)), 0);  // USD fell
}

// 2 of 15 days stored: "Заполнить" asks for each day before the oldest, one
// request at a time and a second or more apart, counts the days in the caption,
// and ends with a full store; "Копировать" then gives a header and 15 rows.
TEST(EndToEnd, FillFetchesOneDayPerRequestASecondApartThenTheCopyHasEveryDay)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    for (int k = 2; k < 15; ++k)
        service.respondTo(asked(dayBefore(now, k)), tableOf(now, dayBefore(now, k), 95.0f + k / 10.0f, 80.0f - k / 10.0f));
    ScriptedResponse missing;
    missing.status = 404;
    missing.body = "not here";
    service.respondWith(missing);

    PanelUnderTest plugin;
    DayCode today = makeDayCode(now.wDay, now.wMonth, now.wYear);
    plugin.open(service.port(), {record(today, 96.6f, 1, 80.5f), record(dayBefore(now, 1), 96.5f, 1, 80.6f)});
    std::vector<std::wstring> captions;
    std::wstring copied;
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
    holdOnTheRates(plugin, [&](HWND dialog) {
        SendMessageW(dialog, WM_COMMAND, IDM_FILL, 0);  // "Заполнить", as its menu item sends it
        for (DWORD began = GetTickCount(); GetTickCount() - began < 40000; Sleep(20)) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            std::wstring caption = captionOf(dialog);
            if (captions.empty() || captions.back() != caption) captions.push_back(caption);
            if (captions.size() > 1 && caption == L"\x041A\x0443\x0440\x0441\x044B") break;
        }
        EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_HISTORY_TABLE), LVM_GETITEMCOUNT, 0, 0), 15);
        SendMessageW(dialog, WM_COMMAND, IDM_COPY_TABLE, 0);  // "Копировать"
        if (OpenClipboard(nullptr)) {
            if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) copied = static_cast<const wchar_t*>(GlobalLock(data));
            CloseClipboard();
        }
    });
    std::vector<RecordedRequest> seen = service.requests();
    ASSERT_EQ(seen.size(), 13u);
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_NE(seen[i].requestLine.find(asked(dayBefore(now, int(i) + 2))), std::string::npos) << i;
        // Its own clock and the service's may differ by a tick's granularity.
        if (i > 0) EXPECT_GE(seen[i].receivedAt - seen[i - 1].receivedAt, 1000u - 20u) << i;
    }
    bool counted = false;
    for (const std::wstring& caption : captions) counted = counted || caption.find(L"/ 15") != std::wstring::npos;
    EXPECT_TRUE(counted);
    EXPECT_EQ(plugin.history().size(), 15u * 140u);
    EXPECT_NE(plugin.history()[14 * 140], 0);

    size_t lines = 0;
    for (size_t at = copied.find(L"\r\n"); at != std::wstring::npos; at = copied.find(L"\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 16u);
    EXPECT_EQ(copied.find(L"\x0414\x0430\x0442\x0430\tEUR\tUSD"), 0u);
}

// In a host whose locale writes numbers with a comma, the converter reads the
// amount with either separator.
TEST(EndToEnd, TheConverterReadsAPointOrACommaInARussianLocaleHost)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    ASSERT_NE(setlocale(LC_ALL, "Russian"), nullptr);
    EXPECT_EQ(atof("1,5"), 1.5);  // the host's C library now reads commas, and stops at points
    PanelUnderTest plugin;
    plugin.open(deadLoopbackPort(), {record(makeDayCode(now.wDay, now.wMonth, now.wYear), 96.1f, 1, 80.1f)});
    wchar_t results[2][16] = {};
    holdOnTheRates(plugin, [&results](HWND dialog) {
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
    EXPECT_STREQ(results[0], L"120,1500");
    EXPECT_STREQ(results[1], L"120.1500");
}
