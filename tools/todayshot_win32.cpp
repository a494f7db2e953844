// todayshot: the run command's helper for a run nobody watches. It waits for the
// Today-screen host's window, watches the plug-in's history file, and once the first
// update of this run has been stored and shown it saves a picture of the screen as a
// PNG and closes the host. Not part of the host: no Today shell takes pictures.
//
//   todayshot --screenshot FILE.png --history FILE.his [--history-ns NS]
//
// NS is the history file's modification time before the run, in nanoseconds since
// 1970 (0 or absent: there was none); a file that still has it is not an update of
// this run. Waits at most two and a half minutes for the host's window.
#include <windows.h>
#include <objidl.h>
#include <shellapi.h>
#include <gdiplus.h>

#include <cstdio>
#include <cwchar>

namespace {

const wchar_t hostClass[] = L"vokTodayScreen";

struct Options {
    wchar_t screenshot[MAX_PATH];
    wchar_t history[MAX_PATH];
    ULONGLONG historyStamp;  // FILETIME units; 0 for no file
};
Options options;

void say(const char* format, const wchar_t* text = L"")
{
    char narrow[MAX_PATH * 3];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    std::printf(format, narrow);
    std::printf("\n");
    std::fflush(stdout);
}

bool parseOptions()
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    bool ok = true;
    for (int i = 1; i < count && ok; ++i) {
        const wchar_t* a = args[i];
        const wchar_t* next = i + 1 < count ? args[i + 1] : nullptr;
        if (!std::wcscmp(a, L"--screenshot") && next) {
            _snwprintf(options.screenshot, MAX_PATH - 1, L"%ls", args[++i]);
        } else if (!std::wcscmp(a, L"--history") && next) {
            _snwprintf(options.history, MAX_PATH - 1, L"%ls", args[++i]);
        } else if (!std::wcscmp(a, L"--history-ns") && next) {
            ULONGLONG ns = _wcstoui64(args[++i], nullptr, 10);
            // From the Unix epoch in nanoseconds to FILETIME's 100-nanosecond steps since 1601.
            options.historyStamp = ns ? ns / 100 + 116444736000000000ULL : 0;
        } else {
            say("todayshot: unknown option %s", a);
            ok = false;
        }
    }
    LocalFree(args);
    return ok && options.screenshot[0] && options.history[0];
}

ULONGLONG historyStamp()
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(options.history, GetFileExInfoStandard, &data)) return 0;
    return (ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

bool savePng(HBITMAP bitmap, const wchar_t* path)
{
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    bool saved = false;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    Gdiplus::GpBitmap* image = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok) {
        // The PNG encoder's class id.
        CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
        saved = Gdiplus::DllExports::GdipSaveImageToFile(image, path, &png, nullptr) == Gdiplus::Ok;
        Gdiplus::DllExports::GdipDisposeImage(image);
    }
    Gdiplus::GdiplusShutdown(token);
    return saved;
}

// The host's client area as it is on the screen, its item window included.
bool saveScreenshot(HWND host, const wchar_t* path)
{
    RedrawWindow(host, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT client;
    GetClientRect(host, &client);
    POINT origin{0, 0};
    ClientToScreen(host, &origin);
    HDC screen = GetDC(nullptr);
    HDC copy = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
    SelectObject(copy, old);
    DeleteDC(copy);
    ReleaseDC(nullptr, screen);
    bool saved = savePng(bitmap, path);
    DeleteObject(bitmap);
    return saved;
}

}  // namespace

int wmain()
{
    if (!parseOptions()) {
        say("usage: todayshot --screenshot FILE.png --history FILE.his [--history-ns NS]");
        return 2;
    }
    ULONGLONG seenStamp = options.historyStamp;
    DWORD began = GetTickCount(), startedAt = 0, historySeenAt = 0;
    HWND host = nullptr;
    for (;; Sleep(200)) {
        DWORD now = GetTickCount();
        if (!host) {
            host = FindWindowW(hostClass, nullptr);
            if (host) startedAt = now;
            if (!host && now - began > 150000) {
                say("todayshot: the Today screen did not appear");
                return 1;
            }
            if (!host) continue;
        }
        if (!IsWindow(host)) {
            say("todayshot: the Today screen closed before its picture was taken");
            return 1;
        }
        ULONGLONG stamp = historyStamp();
        if (stamp && stamp != seenStamp) {
            seenStamp = stamp;
            historySeenAt = now ? now : 1;
            continue;
        }
        // The worker shows its result for half a second, then the panel lays out again.
        // With no update at all (no network), the picture is taken after 20 seconds.
        bool updated = historySeenAt && now - historySeenAt > 1500;
        bool givenUp = now - startedAt > 20000;
        if (updated || givenUp) break;
    }
    bool saved = saveScreenshot(host, options.screenshot);
    if (saved)
        say("todayshot: screenshot saved to %s", options.screenshot);
    else
        say("todayshot: the screenshot could not be saved to %s", options.screenshot);
    PostMessageW(host, WM_CLOSE, 0, 0);
    return saved ? 0 : 1;
}
