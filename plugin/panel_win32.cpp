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

#include <cstdlib>

HWND panelWindow;

void repaintPanel()
{
    if (panelWindow) InvalidateRect(panelWindow, nullptr, FALSE);
}

void panelSettingsChanged()
{
    redrawFlag = 1;
    firstVisible = 0;
    forgetAlertNotifications();
    repaintPanel();
}

static PanelWindow* panelOf(HWND window)
{
    return reinterpret_cast<PanelWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

static void onSize(PanelWindow& panel, HWND window, LPARAM lParam)
{
    panel.width = LOWORD(lParam);
    panel.height = HIWORD(lParam);
    if (panel.height > 0) {
        HDC windowDC = GetDC(window);
        HBITMAP bitmap = CreateCompatibleBitmap(windowDC, panel.width, panel.height);
        ReleaseDC(window, windowDC);
        HGDIOBJ old = SelectObject(panel.memoryDC, bitmap);
        if (old) DeleteObject(old);
    }
    redrawFlag = 1;
}

// The window's own state and DC; false (the window is not made) without them.
static bool onCreate(HWND window)
{
    auto* panel = static_cast<PanelWindow*>(std::calloc(1, sizeof(PanelWindow)));
    if (!panel) return false;
    HDC windowDC = GetDC(window);
    panel->memoryDC = CreateCompatibleDC(windowDC);
    ReleaseDC(window, windowDC);
    if (!panel->memoryDC) {
        std::free(panel);
        return false;
    }
    SetBkMode(panel->memoryDC, TRANSPARENT);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(panel));
    return true;
}

static void onDestroy(HWND window)
{
    PanelWindow* panel = panelOf(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (!panel) return;
    // The back buffer goes with its DC: put the DC's own bitmap back first.
    HDC dc = panel->memoryDC;
    HBITMAP stock = CreateCompatibleBitmap(dc, 1, 1);
    HGDIOBJ buffer = SelectObject(dc, stock);
    if (buffer) DeleteObject(buffer);
    DeleteDC(dc);
    DeleteObject(stock);
    std::free(panel);
}

static void onPaint(const PanelWindow& panel, HWND window)
{
    TODAYDRAWWATERMARKINFO watermark;
    watermark.hdc = panel.memoryDC;
    GetClientRect(window, &watermark.rc);
    watermark.hwnd = window;
    SendMessageW(GetParent(window), TODAYM_DRAWWATERMARK, 0, reinterpret_cast<LPARAM>(&watermark));
    drawPanel(panel);
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(window, &paint);
    BitBlt(screen, 0, 0, panel.width, panel.height, panel.memoryDC, 0, 0, SRCCOPY);
    EndPaint(window, &paint);
    // Notifications and the limits file's write come after the paint, not in it.
    if (pendingCrossingCount > 0) PostMessageW(window, WM_ANNOUNCE_ALERTS, 0, 0);
}

static LRESULT onQueryRefresh(WPARAM wParam)
{
    refreshTick();
    advanceTickCounter();
    DWORD wanted = DWORD(settings.panelFont.lfHeight + 2);
    auto* item = reinterpret_cast<TODAYLISTITEM*>(wParam);
    if (!item || item->cyp == wanted) return 0;
    item->cyp = wanted;
    return 1;
}

static void onPress(PanelWindow& panel, HWND window, LPARAM lParam)
{
    // Signed: with the stylus captured, left of the window is negative.
    int x = GET_X_LPARAM(lParam);
    int y = HIWORD(lParam);
    DWORD now = schedulePlatform.tickCount ? schedulePlatform.tickCount() : GetTickCount();
    if (panel.pressSeen && LONG(now - panel.lastPressTime) < 250) {
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
            panel.dragX = x;
            panel.tapPending = 1;
            SetCapture(window);
        } else {
            tapUpdate();
        }
    }
    panel.lastPressTime = now;
    panel.pressSeen = true;
}

static void onMove(PanelWindow& panel, HWND window, WPARAM wParam, LPARAM lParam)
{
    int x = GET_X_LPARAM(lParam);
    if (wParam != MK_LBUTTON || panel.dragX <= 0) return;
    int distance = x > panel.dragX ? x - panel.dragX : panel.dragX - x;
    if (distance <= dragThreshold) return;
    bool stepped = false;
    if (x > panel.dragX) {
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
    panel.dragX = x;
    panel.tapPending = 0;
}

static void copyToClipboard(HWND window, const ItemSlot& slot)
{
    char16_t text[SlotTextUnits];
    int digits = settings.items[slot.itemIndex].digits;
    formatCopyValue(text, SlotTextUnits, slot.value, digits, (settings.commaFlags & CommaOnCopy) != 0);
    putClipboardText(window, reinterpret_cast<const wchar_t*>(text), SlotTextUnits);
}

static void onRelease(PanelWindow& panel, HWND window, LPARAM lParam)
{
    int x = GET_X_LPARAM(lParam);
    panel.dragX = 0;
    ReleaseCapture();
    if (!panel.tapPending) return;
    panel.tapPending = 0;
    for (int i = 0; i <= lastSlot; ++i) {
        if (slots[i].x < x && x < slots[i].x + slots[i].width) {
            copyToClipboard(window, slots[i]);
            return;
        }
    }
}

LRESULT CALLBACK panelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) return onCreate(window) ? 0 : -1;
    PanelWindow* panel = panelOf(window);
    if (!panel) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY:
        onDestroy(window);
        return 0;
    case WM_SIZE:
        onSize(*panel, window, lParam);
        return 0;
    case WM_PAINT:
        onPaint(*panel, window);
        return 0;
    case WM_ERASEBKGND:
        return 0;
    case WM_MOUSEMOVE:
        onMove(*panel, window, wParam, lParam);
        return 0;
    case WM_LBUTTONDOWN:
        onPress(*panel, window, lParam);
        return 0;
    case WM_LBUTTONUP:
        onRelease(*panel, window, lParam);
        return 0;
    case WM_TODAYCUSTOM_CLEARCACHE:
        panel->hostTextColour = COLORREF(SendMessageW(GetParent(window), TODAYM_GETCOLOR, TODAYCOLOR_TEXT, 0));
        redrawFlag = 1;
        return 0;
    case WM_TODAYCUSTOM_QUERYREFRESHCACHE:
        return onQueryRefresh(wParam);
    case WM_ANNOUNCE_ALERTS:
        announceAlerts(window);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
