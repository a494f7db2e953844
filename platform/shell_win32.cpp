// The shell's drawing, image, gesture and soft-keyboard calls for desktop Win32.
#include <windows.h>
#include <objidl.h>

#include <gdiplus.h>

#include <cstdlib>

#include "platform/shell.h"
#include "platform/testhooks.h"

// --- TransparentImage --------------------------------------------------------------

BOOL TransparentImage(HDC destination, LONG xDest, LONG yDest, LONG cxDest, LONG cyDest, HANDLE source,
                      LONG xSrc, LONG ySrc, LONG cxSrc, LONG cySrc, COLORREF transparentColour)
{
    if (!destination || !source) return FALSE;
    DWORD type = GetObjectType(source);
    if (type == OBJ_DC || type == OBJ_MEMDC)
        return TransparentBlt(destination, xDest, yDest, cxDest, cyDest, static_cast<HDC>(source), xSrc, ySrc,
                              cxSrc, cySrc, transparentColour);
    if (type != OBJ_BITMAP) return FALSE;
    HDC sourceDC = CreateCompatibleDC(destination);
    if (!sourceDC) return FALSE;
    BOOL drawn = FALSE;
    // Fails when the bitmap is selected into another device context.
    HGDIOBJ previous = SelectObject(sourceDC, source);
    if (previous) {
        drawn = TransparentBlt(destination, xDest, yDest, cxDest, cyDest, sourceDC, xSrc, ySrc, cxSrc, cySrc,
                               transparentColour);
        SelectObject(sourceDC, previous);
    }
    DeleteDC(sourceDC);
    return drawn;
}

// --- SHLoadImageFile ---------------------------------------------------------------

// GDI+ is started on the first image and stays up for the life of the process: its
// shutdown may not run from a library's detach, where the plug-in would otherwise do
// it. The background thread is suppressed, so starting it is safe at attach time too.
static INIT_ONCE gdiplusOnce = INIT_ONCE_STATIC_INIT;
static ULONG_PTR gdiplusToken;
static bool gdiplusReady;

static BOOL CALLBACK startGdiplus(PINIT_ONCE, PVOID, PVOID*)
{
    Gdiplus::GdiplusStartupInput input;
    input.SuppressBackgroundThread = TRUE;
    Gdiplus::GdiplusStartupOutput output;
    gdiplusReady = Gdiplus::GdiplusStartup(&gdiplusToken, &input, &output) == Gdiplus::Ok;
    return TRUE;
}

// Copies the decoded image into a new top-down 32-bit DIB section.
static HBITMAP copyToDibSection(Gdiplus::GpBitmap* image)
{
    using namespace Gdiplus;
    UINT width = 0, height = 0;
    if (DllExports::GdipGetImageWidth(image, &width) != Ok || DllExports::GdipGetImageHeight(image, &height) != Ok)
        return nullptr;
    if (width == 0 || height == 0 || width > 16384 || height > 16384) return nullptr;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib || !bits) {
        if (dib) DeleteObject(dib);
        return nullptr;
    }

    GpRect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    BitmapData locked = {};
    if (DllExports::GdipBitmapLockBits(image, &all, ImageLockModeRead, PixelFormat32bppRGB, &locked) != Ok) {
        DeleteObject(dib);
        return nullptr;
    }
    for (UINT y = 0; y < height; ++y) {
        const DWORD* from = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.Scan0) +
                                                           static_cast<INT_PTR>(y) * locked.Stride);
        DWORD* to = static_cast<DWORD*>(bits) + static_cast<size_t>(y) * width;
        // Blue, green, red as in the file; the fourth byte of a BI_RGB pixel is zero.
        for (UINT x = 0; x < width; ++x) to[x] = from[x] & 0x00FFFFFF;
    }
    DllExports::GdipBitmapUnlockBits(image, &locked);
    GdiFlush();
    return dib;
}

HBITMAP SHLoadImageFile(LPCWSTR path)
{
    if (!path || !*path) return nullptr;
    InitOnceExecuteOnce(&gdiplusOnce, startGdiplus, nullptr, nullptr);
    if (!gdiplusReady) return nullptr;
    Gdiplus::GpBitmap* image = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromFile(path, &image) != Gdiplus::Ok || !image) return nullptr;
    HBITMAP result = copyToDibSection(image);
    Gdiplus::DllExports::GdipDisposeImage(image);
    return result;
}

// --- SHRecognizeGesture ------------------------------------------------------------

#ifdef VOK_TEST
static DWORD forcedGesture;

void shellForceNextGesture(DWORD gesture) { forcedGesture = gesture; }
#endif

static bool leftButtonDown()
{
    // With swapped buttons the physical left button is VK_RBUTTON.
    int key = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    return (GetAsyncKeyState(key) & 0x8000) != 0;
}

static bool movedAway(POINT from, POINT to)
{
    int slackX = GetSystemMetrics(SM_CXDRAG), slackY = GetSystemMetrics(SM_CYDRAG);
    if (slackX < 3) slackX = 3;
    if (slackY < 3) slackY = 3;
    return abs(to.x - from.x) > slackX || abs(to.y - from.y) > slackY;
}

DWORD SHRecognizeGesture(SHRGINFO* info)
{
#ifdef VOK_TEST
    DWORD forced = forcedGesture;
    forcedGesture = 0;
#endif
    if (!info || (info->cbSize != sizeof(SHRGINFO) && info->cbSize != 20)) return 0;
#ifdef VOK_TEST
    if (forced) return forced;
#endif
    // A host without a stylus (the desktop Today host) asks for tap-and-hold by
    // setting this property on the item's parent while it sends the press.
    HWND parent = info->hwndClient ? GetParent(info->hwndClient) : nullptr;
    if (parent && GetPropW(parent, ShellHoldProperty)) return GN_CONTEXTMENU;
    if (!leftButtonDown()) return 0;

    POINT start = info->ptDown;
    if (!info->hwndClient || !ClientToScreen(info->hwndClient, &start)) GetCursorPos(&start);

    DWORD began = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - began;
        if (elapsed >= ShellHoldTime) return GN_CONTEXTMENU;
        if (!leftButtonDown()) return 0;
        POINT cursor;
        if (GetCursorPos(&cursor) && movedAway(start, cursor)) return 0;

        MSG msg;
        if (PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE)) {
            // A release, another button or a real move is the window's to handle.
            if (msg.message != WM_MOUSEMOVE || movedAway(start, msg.pt)) return 0;
            // A tremble of the stylus: drop it, the press stands.
            PeekMessageW(&msg, msg.hwnd, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE);
            continue;
        }
        DWORD wait = ShellHoldTime - elapsed;
        if (wait > 20) wait = 20;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_MOUSE);
    }
}

// --- SHSipPreference ---------------------------------------------------------------

#ifdef VOK_TEST
static int lastSipPreference = SIP_UNCHANGED;

int shellLastSipPreference() { return lastSipPreference; }
#endif

BOOL SHSipPreference(HWND, int state)
{
    if (state < SIP_UP || state > SIP_INPUTDIALOG) return FALSE;
#ifdef VOK_TEST
    lastSipPreference = state;
#endif
    return TRUE;
}
