// todayhost: the Today-screen host, and nothing else. What the Today screen of a
// Pocket PC does for a plug-in, as a desktop program: a 240 x 320 screen (doubled at
// 192 dpi) with a Today-style background and a date line; loads vokcurrency.dll from
// its own folder, creates its item through ordinal 240, answers the item's colour and
// background (watermark) requests, sends the refresh query every two seconds and
// resizes the item when it asks, and its menu opens the plug-in's settings (template
// IDD_TODAY_CUSTOM, ordinal 241), taps the item's icon or exits. It knows none of the
// plug-in's files: the run command prepares them (vokfiles) and takes its pictures
// (todayshot). The plug-in's notifications (the shell's SHNotificationAdd, as
// platform/today.h spells their message) show as small windows over the screen.
//
//   --plugin DLL  --tick-ms N  --exit-after-ms N  --open-settings  --update-at-start
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

#include "platform/today.h"

namespace {

enum : UINT_PTR { TickTimer = 1, ExitTimer = 2 };
enum : UINT { CommandSettings = 100, CommandUpdate = 101, CommandExit = 102 };

struct Options {
    wchar_t plugin[MAX_PATH];
    int tickMs = 2000;
    int exitAfterMs = 0;
    bool openSettings = false;
    bool updateAtStart = false;
};

Options options;
HMODULE plugin;
HWND screenWindow;
HWND itemWindow;
TODAYLISTITEM item;
int scale = 1;
int headerHeight;
const COLORREF textColour = RGB(0, 0, 0);

void say(const char* format, const wchar_t* text = L"")
{
    char narrow[MAX_PATH * 3];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    std::printf(format, narrow);
    std::printf("\n");
    std::fflush(stdout);
}

void folderOfExecutable(wchar_t* out, const wchar_t* file)
{
    GetModuleFileNameW(nullptr, out, MAX_PATH);
    wchar_t* slash = std::wcsrchr(out, L'\\');
    size_t used = slash ? size_t(slash - out + 1) : 0;
    _snwprintf(out + used, MAX_PATH - used, L"%ls", file);
    out[MAX_PATH - 1] = 0;
}

bool parseOptions()
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    folderOfExecutable(options.plugin, L"vokcurrency.dll");
    for (int i = 1; i < count; ++i) {
        const wchar_t* a = args[i];
        const wchar_t* next = i + 1 < count ? args[i + 1] : nullptr;
        if (!std::wcscmp(a, L"--tick-ms") && next) {
            options.tickMs = _wtoi(args[++i]);
        } else if (!std::wcscmp(a, L"--plugin") && next) {
            _snwprintf(options.plugin, MAX_PATH, L"%ls", args[++i]);
        } else if (!std::wcscmp(a, L"--exit-after-ms") && next) {
            options.exitAfterMs = _wtoi(args[++i]);
        } else if (!std::wcscmp(a, L"--open-settings")) {
            options.openSettings = true;
        } else if (!std::wcscmp(a, L"--update-at-start")) {
            options.updateAtStart = true;
        } else {
            say("todayhost: unknown option %s", a);
            LocalFree(args);
            return false;
        }
    }
    options.plugin[MAX_PATH - 1] = 0;
    if (options.tickMs < 10) options.tickMs = 10;
    LocalFree(args);
    return true;
}

// The Today background: a soft vertical gradient, the same wherever it is asked for.
void paintBackground(HDC dc, const RECT& area, int originY)
{
    int height = 320 * scale;
    for (int y = area.top; y < area.bottom; ++y) {
        int screenY = y + originY;
        int t = screenY < 0 ? 0 : (screenY > height ? height : screenY);
        COLORREF c = RGB(214 + 41 * t / height, 230 + 25 * t / height, 250 + 5 * t / height);
        HBRUSH brush = CreateSolidBrush(c);
        RECT row{area.left, y, area.right, y + 1};
        FillRect(dc, &row, brush);
        DeleteObject(brush);
    }
}

// The screen without its items: background, the title bar with the date.
void drawScreen(HWND window, HDC dc)
{
    RECT client;
    GetClientRect(window, &client);
    paintBackground(dc, client, 0);
    RECT header{0, 0, client.right, headerHeight};
    HBRUSH bar = CreateSolidBrush(RGB(0, 84, 166));
    FillRect(dc, &header, bar);
    DeleteObject(bar);
    static const wchar_t* weekdays[] = {L"Воскресенье", L"Понедельник", L"Вторник", L"Среда",
                                        L"Четверг",     L"Пятница",     L"Суббота"};
    static const wchar_t* months[] = {L"января", L"февраля", L"марта",    L"апреля",  L"мая",    L"июня",
                                      L"июля",   L"августа", L"сентября", L"октября", L"ноября", L"декабря"};
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t line[96];
    _snwprintf(line, 95, L"%ls, %d %ls %d", weekdays[now.wDayOfWeek % 7], now.wDay, months[(now.wMonth + 11) % 12],
               now.wYear);
    line[95] = 0;
    HFONT font = CreateFontW(-13 * scale, 0, 0, 0, FW_BOLD, 0, 0, 0, RUSSIAN_CHARSET, 0, 0, 0, 0, L"Tahoma");
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    RECT text{6 * scale, 0, client.right, headerHeight};
    DrawTextW(dc, line, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    SelectObject(dc, old);
    DeleteObject(font);
}

void paintScreen(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    drawScreen(window, dc);
    EndPaint(window, &paint);
}

void placeItem()
{
    if (!itemWindow) return;
    RECT client;
    GetClientRect(screenWindow, &client);
    SetWindowPos(itemWindow, nullptr, 0, headerHeight + 4 * scale, client.right, int(item.cyp), SWP_NOZORDER);
}

void openSettings()
{
    if (!plugin) return;
    auto procedure = reinterpret_cast<DLGPROC>(reinterpret_cast<void*>(GetProcAddress(plugin, MAKEINTRESOURCEA(ORDINAL_OPTIONSDIALOGPROC))));
    HRSRC found = FindResourceW(plugin, MAKEINTRESOURCEW(IDD_TODAY_CUSTOM), MAKEINTRESOURCEW(5));
    if (!procedure || !found) {
        say("todayhost: the plug-in has no settings dialog");
        return;
    }
    auto* dialog = static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(plugin, found)));
    DialogBoxIndirectParamW(plugin, dialog, screenWindow, procedure, 0);
    // Settings may have changed what the item shows.
    if (itemWindow) SendMessageW(itemWindow, WM_TODAYCUSTOM_CLEARCACHE, 0, 0);
    InvalidateRect(itemWindow, nullptr, FALSE);
}

void tick()
{
    if (!itemWindow) return;
    if (SendMessageW(itemWindow, WM_TODAYCUSTOM_QUERYREFRESHCACHE, WPARAM(&item), 0)) placeItem();
}

// A tap on the item's icon, as the stylus would give it.
void tapIcon()
{
    if (!itemWindow) return;
    SendMessageW(itemWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2 * scale, 2 * scale));
    SendMessageW(itemWindow, WM_LBUTTONUP, 0, MAKELPARAM(2 * scale, 2 * scale));
}

// A notification of the item's: a small window over the lower part of the screen
// with the title and the text (its window text, for whoever reads it), closed by a
// tap or when its time is up. Its id is in its window data.
LRESULT CALLBACK notificationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        HBRUSH back = CreateSolidBrush(RGB(255, 255, 225));
        FillRect(dc, &area, back);
        DeleteObject(back);
        HFONT font = CreateFontW(-12 * scale, 0, 0, 0, FW_NORMAL, 0, 0, 0, RUSSIAN_CHARSET, 0, 0, 0, 0, L"Tahoma");
        HGDIOBJ old = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        wchar_t text[256];
        GetWindowTextW(window, text, 256);
        InflateRect(&area, -4 * scale, -4 * scale);
        DrawTextW(dc, text, -1, &area, DT_WORDBREAK | DT_LEFT);
        SelectObject(dc, old);
        DeleteObject(font);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_TIMER:
        DestroyWindow(window);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// WM_COPYDATA from the plug-in's notification calls: TRUE when it was one.
LRESULT onNotification(const COPYDATASTRUCT* copy)
{
    if (!copy || copy->cbData != sizeof(NotificationMessage)) return FALSE;
    NotificationMessage message = *static_cast<const NotificationMessage*>(copy->lpData);
    message.title[63] = message.text[191] = 0;
    if (copy->dwData == NotificationRemoveData) {
        for (HWND shown = FindWindowExW(screenWindow, nullptr, L"vokTodayNotification", nullptr); shown;) {
            HWND next = FindWindowExW(screenWindow, shown, L"vokTodayNotification", nullptr);
            if (DWORD(GetWindowLongPtrW(shown, GWLP_USERDATA)) == message.id) DestroyWindow(shown);
            shown = next;
        }
        return TRUE;
    }
    if (copy->dwData != NotificationAddData) return FALSE;
    wchar_t text[260];
    _snwprintf(text, 259, L"%ls\n%ls", message.title, message.text);
    text[259] = 0;
    say("todayhost: notification: %s", message.text);
    RECT client;
    GetClientRect(screenWindow, &client);
    int height = 52 * scale;
    HWND shown = CreateWindowExW(WS_EX_TOPMOST, L"vokTodayNotification", text, WS_CHILD | WS_VISIBLE | WS_BORDER,
                                 8 * scale, client.bottom - height - 8 * scale, client.right - 16 * scale, height,
                                 screenWindow, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!shown) return FALSE;
    SetWindowLongPtrW(shown, GWLP_USERDATA, LONG_PTR(message.id));
    SetWindowPos(shown, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetTimer(shown, 1, (message.seconds ? message.seconds : 10) * 1000, nullptr);
    return TRUE;
}

LRESULT CALLBACK screenProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COPYDATA:
        return onNotification(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_PAINT:
        paintScreen(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case TODAYM_GETCOLOR:
        return wParam == TODAYCOLOR_TEXT ? textColour : RGB(255, 255, 255);
    case TODAYM_DRAWWATERMARK: {
        auto* info = reinterpret_cast<TODAYDRAWWATERMARKINFO*>(lParam);
        if (!info) return 0;
        RECT itemRect{0, 0, 0, 0};
        if (info->hwnd) {
            GetWindowRect(info->hwnd, &itemRect);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&itemRect), 2);
        }
        paintBackground(info->hdc, info->rc, itemRect.top);
        return 1;
    }
    case WM_TIMER:
        if (wParam == TickTimer) tick();
        if (wParam == ExitTimer) PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == CommandSettings) openSettings();
        if (LOWORD(wParam) == CommandUpdate) tapIcon();
        if (LOWORD(wParam) == CommandExit) PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_SIZE:
        placeItem();
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HMENU makeMenu()
{
    HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_STRING, CommandSettings, L"Настройки");
    AppendMenuW(bar, MF_STRING, CommandUpdate, L"Обновить");
    AppendMenuW(bar, MF_STRING, CommandExit, L"Выход");
    return bar;
}

// Desktop habits: a right-click on the item is a tap-and-hold. The shell's gesture
// recogniser looks for this property on the item's parent.
bool translateForItem(MSG& msg)
{
    if (!itemWindow || msg.hwnd != itemWindow) return false;
    if (msg.message == WM_RBUTTONDOWN) {
        SetPropW(screenWindow, L"SHGestureHold", reinterpret_cast<HANDLE>(1));
        SendMessageW(itemWindow, WM_LBUTTONDOWN, MK_LBUTTON, msg.lParam);
        RemovePropW(screenWindow, L"SHGestureHold");
        SendMessageW(itemWindow, WM_LBUTTONUP, 0, msg.lParam);
        return true;
    }
    if (msg.message == WM_RBUTTONUP) return true;
    return false;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    if (!parseOptions()) return 2;
    HDC screen = GetDC(nullptr);
    if (GetDeviceCaps(screen, LOGPIXELSX) >= 192) scale = 2;
    ReleaseDC(nullptr, screen);
    headerHeight = 24 * scale;

    WNDCLASSW screenClass = {};
    screenClass.lpfnWndProc = screenProc;
    screenClass.hInstance = instance;
    screenClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    screenClass.lpszClassName = L"vokTodayScreen";
    RegisterClassW(&screenClass);
    WNDCLASSW notificationClass = {};
    notificationClass.lpfnWndProc = notificationProc;
    notificationClass.hInstance = instance;
    notificationClass.lpszClassName = L"vokTodayNotification";
    RegisterClassW(&notificationClass);
    RECT frame{0, 0, 240 * scale, 320 * scale};
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    AdjustWindowRect(&frame, style, TRUE);
    screenWindow = CreateWindowExW(0, L"vokTodayScreen", L"Сегодня — vokCurrency", style, CW_USEDEFAULT, CW_USEDEFAULT,
                                   frame.right - frame.left, frame.bottom - frame.top, nullptr, makeMenu(), instance,
                                   nullptr);
    ShowWindow(screenWindow, show ? show : SW_SHOW);

    plugin = LoadLibraryW(options.plugin);
    if (!plugin) {
        say("todayhost: can't load the plug-in %s", options.plugin);
    } else {
        auto initialize = reinterpret_cast<PFNCUSTOMINITIALIZEITEM>(reinterpret_cast<void*>(GetProcAddress(plugin, MAKEINTRESOURCEA(ORDINAL_INITIALIZEITEM))));
        if (!initialize || !GetProcAddress(plugin, MAKEINTRESOURCEA(ORDINAL_OPTIONSDIALOGPROC)))
            say("todayhost: %s has no Today-item entry points", options.plugin);
        item.cbCachedData = 0;
        _snwprintf(item.szName, 31, L"vokCurrency");
        _snwprintf(item.szDLLPath, MAX_PATH - 1, L"%ls", options.plugin);
        item.hinstDLL = plugin;
        item.fEnabled = TRUE;
        item.fOptions = TRUE;
        itemWindow = initialize ? initialize(&item, screenWindow) : nullptr;
        item.hwndCustom = itemWindow;
        say("todayhost: plug-in %s loaded", options.plugin);
    }
    tick();
    SetTimer(screenWindow, TickTimer, UINT(options.tickMs), nullptr);
    if (options.exitAfterMs > 0) SetTimer(screenWindow, ExitTimer, UINT(options.exitAfterMs), nullptr);
    if (options.updateAtStart) PostMessageW(screenWindow, WM_COMMAND, CommandUpdate, 0);
    if (options.openSettings) PostMessageW(screenWindow, WM_COMMAND, CommandSettings, 0);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (translateForItem(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    itemWindow = nullptr;
    if (plugin) FreeLibrary(plugin);
    say("todayhost: plug-in unloaded");
    return 0;
}
