// The real DLL in a test host, its rates fetched through its own proxy setting
// from a loopback service: the first update, as the user sees it.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
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
    int32_t historyLength = 15;

    // beforeItem runs between loading the library and creating its item.
    void open(int servicePort, const std::vector<DayRates>& records, uint8_t firstItemFlags = ShowArrow,
              const std::function<void(HMODULE)>& beforeItem = nullptr)
    {
        setDefaultSettings(settings, 96);
        settings.historyLength = historyLength;
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
        if (beforeItem) beforeItem(dll);
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

// A fresh install: one tap stores the latest day and the table before the shown
// day, and the panel draws the arrows between them (EUR up, USD down). When the
// latest table is tomorrow's, today's is asked for too: it is the shown day.
TEST(EndToEnd, OneTapOnAnEmptyHistoryGivesTheShownDayItsArrowsAtAnyHour)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
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
        std::vector<unsigned char> history = plugin.history();
        ASSERT_EQ(history.size(), 15u * 140u);
        size_t at = tomorrowsOut ? 140 : 0;  // newest first
        EXPECT_TRUE(!tomorrowsOut || std::memcmp(&history[0], &tomorrow, 3) == 0);
        EXPECT_TRUE(std::memcmp(&history[at], &today, 3) == 0);
        EXPECT_TRUE(std::memcmp(&history[at + 140], &yesterday, 3) == 0);
        EXPECT_EQ(history[at + 280], 0);
        EXPECT_GT(plugin.pixelsOf(RGB(0, 192, 0)), 0) << tomorrowsOut;  // EUR rose
        EXPECT_GT(plugin.pixelsOf(RGB(192, 0, 0)), 0) << tomorrowsOut;  // USD fell
        EXPECT_EQ(frames.back(), 0) << "today's rates count as current";
    }
}
namespace {

// Runs the dialog's messages until the fill has ended (the caption no longer
// counts) or 40 s; the captions it showed meanwhile.
std::vector<std::wstring> captionsUntilTheFillEnds(HWND dialog)
{
    std::vector<std::wstring> captions;
    for (DWORD began = GetTickCount(); GetTickCount() - began < 40000; Sleep(20)) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        std::wstring caption = captionOf(dialog);
        if (captions.empty() || captions.back() != caption) captions.push_back(caption);
        if (captions.size() > 1 && caption.find(L'/') == std::wstring::npos) break;
    }
    return captions;
}

std::wstring tableCell(HWND dialog, int row, int column)
{
    wchar_t text[64] = L"";
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(GetDlgItem(dialog, IDC_HISTORY_TABLE), LVM_GETITEMTEXTW, WPARAM(row), LPARAM(&item));
    return text;
}

void clickColumn(HWND dialog, int column)
{
    NMLISTVIEW notice = {};
    notice.hdr.hwndFrom = GetDlgItem(dialog, IDC_HISTORY_TABLE);
    notice.hdr.idFrom = IDC_HISTORY_TABLE;
    notice.hdr.code = LVN_COLUMNCLICK;
    notice.iItem = -1;
    notice.iSubItem = column;
    SendMessageW(dialog, WM_NOTIFY, IDC_HISTORY_TABLE, LPARAM(&notice));
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
    SYSTEMTIME now;
    GetLocalTime(&now);
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
    holdOnTheRates(plugin, [&](HWND dialog) {
        SendMessageW(dialog, WM_COMMAND, IDM_FILL, 0);
        std::vector<std::wstring> captions = captionsUntilTheFillEnds(dialog);
        EXPECT_EQ(captions.back(), L"\x041A\x0443\x0440\x0441\x044B");
        EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_HISTORY_TABLE), LVM_GETITEMCOUNT, 0, 0), 4);
        EXPECT_EQ(tableCell(dialog, 2, 1), L"95,0000");  // 950 for 10 under €
        clickColumn(dialog, 1);                           // EUR ascending
        EXPECT_EQ(tableCell(dialog, 0, 1), L"95,0000");
        EXPECT_EQ(tableCell(dialog, 3, 1), L"96,6000");
    });
    std::vector<RecordedRequest> seen = service.requests();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_NE(seen[0].requestLine.find(asked(today)), std::string::npos) << seen[0].requestLine;
    EXPECT_NE(seen[1].requestLine.find("/scripts/XML_dynamic.asp?date_req1="), std::string::npos) << seen[1].requestLine;
    EXPECT_GE(seen[2].receivedAt - seen[1].receivedAt, 800u);

    plugin.tapIcon();
    std::vector<unsigned char> history = plugin.history();
    ASSERT_EQ(history.size(), 4u * 140u);
    const DayCode kept[4] = {tomorrow, today, before[0], before[1]};
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(std::memcmp(&history[i * 140], &kept[i], 3) == 0) << i;
}

// 2 of 15 days stored and no range form (404): "Заполнить" asks for each day
// before the oldest, one request at a time and a second or more apart, counting
// its requests in the caption, in the order the user chose for the table; a
// failed request ends it, says so, and keeps what came. "Копировать" then has
// every row.
TEST(EndToEnd, WithoutTheRangeFormTheFillAsksDayByDayAndAFailureSaysSo)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
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
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
    holdOnTheRates(plugin, [&](HWND dialog) {
        clickColumn(dialog, 0);  // oldest first
        SendMessageW(dialog, WM_COMMAND, IDM_FILL, 0);  // "Заполнить", as its menu item sends it
        captions = captionsUntilTheFillEnds(dialog);
        EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_HISTORY_TABLE), LVM_GETITEMCOUNT, 0, 0), 7);
        firstRow = tableCell(dialog, 0, 0);
        lastRow = tableCell(dialog, 6, 0);
        SendMessageW(dialog, WM_COMMAND, IDM_COPY_TABLE, 0);  // "Копировать"
        if (OpenClipboard(nullptr)) {
            if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) copied = static_cast<const wchar_t*>(GlobalLock(data));
            CloseClipboard();
        }
    });
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
        if (framesSeen.size() != changes) changes = framesSeen.size(), since = GetTickCount();
        if (framesSeen.back() <= 1 && GetTickCount() - since >= 1500) break;
    }
    return framesSeen.back();
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
    framesSeen = {-1};
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
    EXPECT_EQ(framesSeen.back(), 0);
    ASSERT_EQ(service.requests().size(), before);
    testClock.wDay = 6;
    SendMessageW(plugin.panel, 1267, WPARAM(&plugin.item), 0);  // tick 120: the rule's minute
    EXPECT_EQ(settledFrame(plugin), 0);
    std::vector<RecordedRequest> seen = service.requests();
    EXPECT_EQ(std::count_if(seen.begin() + long(before), seen.end(), [](const RecordedRequest& r) {
                  return r.requestLine.find(asked(makeDayCode(6, 5, 2027))) != std::string::npos;
              }), 1);
}
