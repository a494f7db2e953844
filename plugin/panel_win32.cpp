// The item window on the Today screen: the host's messages, the back buffer, the stylus.
#include <windows.h>
#include <windowsx.h>

#include "data/settings.h"
#include "dialogs/dialogstart.h"
#include "dialogs/ratesdialog.h"
#include "dialogs/options.h"
#include "platform/clipboard.h"
#include "platform/module.h"
#include "platform/shell.h"
#include "platform/today.h"
#include "plugin/core/layout.h"
#include "plugin/panel.h"
#include "update/schedule.h"

HWND panelWindow;

// The DC being drawn in: the painting window's own, which it keeps with its back
// buffer in its window data, so a host that makes a second item window before it
// destroys the first leaves each its own.
HDC memoryDC;
int panelWidth;
int panelHeight;
COLORREF hostTextColour;

static int dragX;
static BYTE tapPending;
static DWORD lastPressTime;
// The first press after the window was made is never half of a double tap,
// however long the system has been up.
static bool pressSeen;

void repaintPanel()
{
    if (panelWindow) InvalidateRect(panelWindow, nullptr, FALSE);
}

void panelSettingsChanged()
{
    redrawFlag = 1;
    firstVisible = 0;
    repaintPanel();
}

static HDC windowMemoryDC(HWND window) { return reinterpret_cast<HDC>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

static void onSize(HWND window, LPARAM lParam)
{
    panelWidth = LOWORD(lParam);
    panelHeight = HIWORD(lParam);
    if (panelHeight > 0) {
        HDC windowDC = GetDC(window);
        HBITMAP bitmap = CreateCompatibleBitmap(windowDC, panelWidth, panelHeight);
        ReleaseDC(window, windowDC);
        HGDIOBJ old = SelectObject(windowMemoryDC(window), bitmap);
        if (old) DeleteObject(old);
    }
    redrawFlag = 1;
}

static void onCreate(HWND window)
{
    HDC windowDC = GetDC(window);
    HDC dc = CreateCompatibleDC(windowDC);
    ReleaseDC(window, windowDC);
    SetBkMode(dc, TRANSPARENT);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dc));
    memoryDC = dc;
}

static void onDestroy(HWND window)
{
    HDC dc = windowMemoryDC(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (!dc) return;
    // The back buffer goes with its DC: put the DC's own bitmap back first.
    HBITMAP stock = CreateCompatibleBitmap(dc, 1, 1);
    HGDIOBJ buffer = SelectObject(dc, stock);
    if (buffer) DeleteObject(buffer);
    DeleteDC(dc);
    DeleteObject(stock);
    if (memoryDC == dc) memoryDC = nullptr;
}

static void onPaint(HWND window)
{
    memoryDC = windowMemoryDC(window);
    TODAYDRAWWATERMARKINFO watermark;
    watermark.hdc = memoryDC;
    GetClientRect(window, &watermark.rc);
    watermark.hwnd = window;
    SendMessageW(GetParent(window), TODAYM_DRAWWATERMARK, 0, reinterpret_cast<LPARAM>(&watermark));
    drawPanel();
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(window, &paint);
    BitBlt(screen, 0, 0, panelWidth, panelHeight, memoryDC, 0, 0, SRCCOPY);
    EndPaint(window, &paint);
}

static LRESULT onQueryRefresh(WPARAM wParam)
{
    refreshTick();
    advanceTickCounter();
    panelHeight = settings.panelFont.lfHeight + 2;
    auto* item = reinterpret_cast<TODAYLISTITEM*>(wParam);
    if (!item || item->cyp == DWORD(panelHeight)) return 0;
    item->cyp = panelHeight;
    return 1;
}

static void onPress(HWND window, LPARAM lParam)
{
    // Signed: with the stylus captured, left of the window is negative.
    int x = GET_X_LPARAM(lParam);
    int y = HIWORD(lParam);
    DWORD now = schedulePlatform.tickCount ? schedulePlatform.tickCount() : GetTickCount();
    if (pressSeen && LONG(now - lastPressTime) < 250) {
        openDialog(IDD_HISTORY, ratesDialogProc, window, 1);
    } else {
        SHRGINFO gesture;
        gesture.cbSize = sizeof gesture;
        gesture.hwndClient = window;
        gesture.ptDown.x = x;
        gesture.ptDown.y = y;
        gesture.dwFlags = SHRG_RETURNCMD;
        if (SHRecognizeGesture(&gesture) == GN_CONTEXTMENU) {
            if (x > iconSize)
                openDialog(IDD_HISTORY, ratesDialogProc, window, 0);
            else
                openDialog(IDD_OPTIONS, CustomItemOptionsDlgProc, window, 0);
        } else if (x > iconSize) {
            dragX = x;
            tapPending = 1;
            SetCapture(window);
        } else {
            startUpdate();
        }
    }
    lastPressTime = now;
    pressSeen = true;
}

static void onMove(HWND window, WPARAM wParam, LPARAM lParam)
{
    int x = GET_X_LPARAM(lParam);
    if (wParam != MK_LBUTTON || dragX <= 0) return;
    int distance = x > dragX ? x - dragX : dragX - x;
    if (distance <= dragThreshold) return;
    bool stepped = false;
    if (x > dragX) {
        if (firstVisible > 0) {
            --firstVisible;
            stepped = true;
        }
    } else if (firstVisible < settings.itemCount - settings.visibleItems) {
        ++firstVisible;
        stepped = true;
    }
    if (stepped) {
        redrawFlag = 1;
        InvalidateRect(window, nullptr, FALSE);
    }
    dragX = x;
    tapPending = 0;
}

static void copyToClipboard(HWND window, const ItemSlot& slot)
{
    char16_t text[SlotTextUnits];
    int digits = settings.items[slot.itemIndex].digits;
    formatCopyValue(text, SlotTextUnits, slot.value, digits, (settings.commaFlags & CommaOnCopy) != 0);
    putClipboardText(window, reinterpret_cast<const wchar_t*>(text), SlotTextUnits);
}

static void onRelease(HWND window, LPARAM lParam)
{
    int x = GET_X_LPARAM(lParam);
    dragX = 0;
    ReleaseCapture();
    if (!tapPending) return;
    tapPending = 0;
    for (int i = 0; i <= lastSlot; ++i) {
        if (slots[i].x < x && x < slots[i].x + slots[i].width) {
            copyToClipboard(window, slots[i]);
            return;
        }
    }
}

LRESULT CALLBACK panelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        onCreate(window);
        pressSeen = false;
        dragX = 0;
        tapPending = 0;
        return 0;
    case WM_DESTROY:
        onDestroy(window);
        return 0;
    case WM_SIZE:
        onSize(window, lParam);
        return 0;
    case WM_PAINT:
        onPaint(window);
        return 0;
    case WM_ERASEBKGND:
        return 0;
    case WM_MOUSEMOVE:
        onMove(window, wParam, lParam);
        return 0;
    case WM_LBUTTONDOWN:
        onPress(window, lParam);
        return 0;
    case WM_LBUTTONUP:
        onRelease(window, lParam);
        return 0;
    case WM_TODAYCUSTOM_CLEARCACHE:
        hostTextColour = COLORREF(SendMessageW(GetParent(window), TODAYM_GETCOLOR, TODAYCOLOR_TEXT, 0));
        redrawFlag = 1;
        return 0;
    case WM_TODAYCUSTOM_QUERYREFRESHCACHE:
        return onQueryRefresh(wParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
