// The real DLL in a test host, its rates fetched through its own proxy setting
// from a loopback service: the first update, as the user sees it.
#include <cstring>
#include <string>

#include "data/settings.h"
#include "httpserver.h"
#include "platform/shell.h"
#include "platform/today.h"
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
    std::wstring settingsFile = folder.file(L"vokCurrency.set");
    setDefaultSettings(settings, 96);
    settings.useProxy = 1;
    std::wstring proxy = L"127.0.0.1:" + std::to_wstring(service.port());
    for (size_t i = 0; i <= proxy.size(); ++i) settings.proxy[i] = char16_t(proxy.c_str()[i]);
    std::memcpy(settings.magic2, "vok", 4);
    writeFileBytes(settingsFile, &settings, sizeof settings);

    strip = SHLoadImageFile((folder.file(L"vokCurrency.png")).c_str());
    ASSERT_NE(strip, nullptr);
    BITMAP info;
    GetObjectW(strip, sizeof info, &info);
    stripSize = info.bmHeight;

    HMODULE dll = LoadLibraryW(folder.file(L"vokcurrency.dll").c_str());
    ASSERT_NE(dll, nullptr);
    using InitializeItem = HWND(WINAPI*)(HostItem*, HWND);
    auto initialize =
        reinterpret_cast<InitializeItem>(reinterpret_cast<void*>(GetProcAddress(dll, MAKEINTRESOURCEA(240))));
    WNDCLASSW hostClass = {};
    hostClass.lpfnWndProc = recordingHost;
    hostClass.hInstance = GetModuleHandleW(nullptr);
    hostClass.lpszClassName = L"vokEndToEndHost";
    RegisterClassW(&hostClass);
    HWND host = CreateWindowExW(0, L"vokEndToEndHost", L"host", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
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

    HDC panelDC = GetDC(panel);
    HDC shot = CreateCompatibleDC(panelDC);
    HBITMAP bitmap = CreateCompatibleBitmap(panelDC, 240, int(item.cyp));
    HGDIOBJ old = SelectObject(shot, bitmap);
    BitBlt(shot, 0, 0, 240, int(item.cyp), panelDC, 0, 0, SRCCOPY);
    ReleaseDC(panel, panelDC);
    std::vector<bool> ink(240 - 20);
    for (int x = 20; x < 240; ++x)
        for (int y = 0; y < int(item.cyp) && !ink[x - 20]; ++y) {
            COLORREF c = GetPixel(shot, x, y);
            ink[x - 20] = GetBValue(c) > GetRValue(c) + 60;  // the host's blue, however smoothed
        }
    HFONT panelFont = CreateFontW(defaultFontHeight(), 0, 0, 0, FW_BOLD, 0, 0, 0, RUSSIAN_CHARSET, 0, 0, 0, 0,
                                  L"Tahoma");
    SelectObject(shot, panelFont);
    SIZE twoSpaces = {};
    GetTextExtentPoint32W(shot, L"  ", 2, &twoSpaces);
    SelectObject(shot, old);
    DeleteObject(panelFont);
    DeleteObject(bitmap);
    DeleteDC(shot);
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
    settings.useProxy = 1;
    std::wstring proxy = L"127.0.0.1:" + std::to_wstring(service.port());
    for (size_t i = 0; i <= proxy.size(); ++i) settings.proxy[i] = char16_t(proxy.c_str()[i]);
    std::memcpy(settings.magic2, "vok", 4);
    writeFileBytes(folder.file(L"vokCurrency.set"), &settings, sizeof settings);

    HMODULE dll = LoadLibraryW(folder.file(L"vokcurrency.dll").c_str());
    ASSERT_NE(dll, nullptr);
    using InitializeItem = HWND(WINAPI*)(HostItem*, HWND);
    auto initialize =
        reinterpret_cast<InitializeItem>(reinterpret_cast<void*>(GetProcAddress(dll, MAKEINTRESOURCEA(240))));
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
