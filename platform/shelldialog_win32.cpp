// The shell's dialog set-up, Done button and menu bar for desktop Win32.
//
// A dialog that uses any of them is subclassed (comctl32's SetWindowSubclass) so that
// its Done button turns into IDOK and its bar and button stay in place when it is
// resized. Neither the Done button nor the bar buttons are tab stops: on the device
// they live outside the dialog, in the title bar and the menu bar, so a dialog's tab
// order and first focus are its own.
#include <windows.h>
#include <commctrl.h>

#include "platform/shell.h"
#include "platform/shelldialog_win32.h"
#include "platform/testhooks.h"


ShellDialog shellDialogs[MaxShellDialogs];

constexpr UINT_PTR DialogSubclassId = 0x766F6B31;  // "vok1"

// --- Metrics -------------------------------------------------------------------------

static int scaled(int pixels)
{
    static int dpi;
    if (!dpi) {
        HDC screen = GetDC(nullptr);
        dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen) ReleaseDC(nullptr, screen);
        if (dpi <= 0) dpi = 96;
    }
    return MulDiv(pixels, dpi, 96);
}

HFONT dialogFont(HWND dialog)
{
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    return font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// Width of text and the font's line height, in pixels.
static SIZE measureText(HFONT font, const wchar_t* text)
{
    SIZE size = {0, 0};
    HDC screen = GetDC(nullptr);
    if (!screen) return size;
    HGDIOBJ previous = SelectObject(screen, font);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(screen, &metrics);
    int length = lstrlenW(text);
    if (length > 0) GetTextExtentPoint32W(screen, text, length, &size);
    size.cy = metrics.tmHeight;
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    return size;
}

static int stripMargin() { return scaled(2); }

static int separatorGap() { return scaled(8); }

int pushButtonWidth(HFONT font, const wchar_t* text)
{
    int width = measureText(font, text).cx + scaled(10);
    return width < scaled(20) ? scaled(20) : width;
}

int barHeightFor(HFONT font)
{
    int height = measureText(font, L"").cy + scaled(10);
    return height < scaled(26) ? scaled(26) : height;
}

// --- Per-dialog records ------------------------------------------------------------

ShellDialog* findDialog(HWND dialog)
{
    if (!dialog) return nullptr;
    for (ShellDialog& record : shellDialogs)
        if (record.dialog == dialog) return &record;
    return nullptr;
}

// Places the bar's buttons from the left; when they don't fit in the bar's width
// they all narrow in proportion, so none is cut off by the Done button.
static void layoutBarButtons(ShellDialog* record, int barWidth)
{
    int margin = stripMargin();
    int fixed = margin, wanted = 0;
    for (int i = 0; i < record->barButtonCount; ++i) {
        fixed += margin + (record->barButtons[i].afterSeparator ? separatorGap() : 0);
        wanted += record->barButtons[i].width;
    }
    int room = barWidth - fixed;
    if (room < 0) room = 0;
    int x = margin;
    for (int i = 0; i < record->barButtonCount; ++i) {
        const BarButton& button = record->barButtons[i];
        int width = wanted > room ? MulDiv(button.width, room, wanted) : button.width;
        if (button.afterSeparator) x += separatorGap();
        SetWindowPos(button.window, nullptr, x, margin, width, record->barHeight - 2 * margin,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        x += width + margin;
    }
}

static void layoutDialog(ShellDialog* record)
{
    RECT client;
    if (!GetClientRect(record->dialog, &client)) return;
    int width = client.right, height = client.bottom;
    int margin = stripMargin();
    HFONT font = dialogFont(record->dialog);
    // The button's own visibility: the dialog itself may not be shown yet.
    bool doneShown = record->doneButton && (GetWindowLongPtrW(record->doneButton, GWL_STYLE) & WS_VISIBLE);
    int doneWidth = pushButtonWidth(font, L"OK");
    UINT flags = SWP_NOACTIVATE | SWP_NOOWNERZORDER;

    if (record->menuBar) {
        int barTop = height - record->barHeight;
        int barWidth = width - (doneShown ? doneWidth + 2 * margin : 0);
        if (barWidth < 0) barWidth = 0;
        SetWindowPos(record->menuBar, HWND_TOP, 0, barTop, barWidth, record->barHeight, flags);
        layoutBarButtons(record, barWidth);
        if (record->doneButton)
            SetWindowPos(record->doneButton, HWND_TOP, width - margin - doneWidth, barTop + margin, doneWidth,
                         record->barHeight - 2 * margin, flags);
    } else if (record->doneButton) {
        int doneHeight = measureText(font, L"OK").cy + scaled(6);
        if (doneHeight < scaled(18)) doneHeight = scaled(18);
        SetWindowPos(record->doneButton, HWND_TOP, width - margin - doneWidth, margin, doneWidth, doneHeight, flags);
    }
}

static LRESULT CALLBACK dialogSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR data)
{
    ShellDialog* record = reinterpret_cast<ShellDialog*>(data);
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == ShellDoneButtonId && HIWORD(wParam) == BN_CLICKED && record->doneButton &&
            reinterpret_cast<HWND>(lParam) == record->doneButton)
            return DefSubclassProc(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), lParam);
        break;
    case WM_SIZE:
        layoutDialog(record);
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, dialogSubclass, DialogSubclassId);
        *record = ShellDialog{};
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

// The dialog's record, made (and the dialog subclassed) on first use.
ShellDialog* attachDialog(HWND dialog)
{
    if (!dialog || !IsWindow(dialog)) return nullptr;
    if (ShellDialog* record = findDialog(dialog)) return record;
    // A record whose window has gone without its last messages is free again.
    for (ShellDialog& record : shellDialogs)
        if (record.dialog && !IsWindow(record.dialog)) record = ShellDialog{};
    for (ShellDialog& record : shellDialogs) {
        if (record.dialog) continue;
        if (!SetWindowSubclass(dialog, dialogSubclass, DialogSubclassId, reinterpret_cast<DWORD_PTR>(&record)))
            return nullptr;
        record = ShellDialog{};
        record.dialog = dialog;
        return &record;
    }
    return nullptr;
}

HINSTANCE windowInstance(HWND window)
{
    return reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
}

// --- Full screen and the Done button -----------------------------------------------

static void sizeFullScreen(HWND dialog)
{
    RECT area = {};
    HWND owner = GetWindow(dialog, GW_OWNER);
    HWND top = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
    if (top && GetClientRect(top, &area) && !IsRectEmpty(&area)) {
        MapWindowPoints(top, nullptr, reinterpret_cast<POINT*>(&area), 2);
    } else {
        // No host window: the device's portrait screen, in the middle of the desktop.
        RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        int width = scaled(240), height = scaled(320);
        int left = work.left + (work.right - work.left - width) / 2;
        int topEdge = work.top + (work.bottom - work.top - height) / 2;
        area = {left < work.left ? work.left : left, topEdge < work.top ? work.top : topEdge, 0, 0};
        area.right = area.left + width;
        area.bottom = area.top + height;
    }
    if (GetWindowLongPtrW(dialog, GWL_STYLE) & WS_CHILD)
        MapWindowPoints(nullptr, GetParent(dialog), reinterpret_cast<POINT*>(&area), 2);
    SetWindowPos(dialog, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

static bool showDoneButton(ShellDialog* record, bool show)
{
    if (!record->doneButton) {
        if (!show) return true;
        record->doneButton = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | BS_PUSHBUTTON, 0, 0, 0, 0,
                                             record->dialog, reinterpret_cast<HMENU>(INT_PTR(ShellDoneButtonId)),
                                             windowInstance(record->dialog), nullptr);
        if (!record->doneButton) return false;
        SendMessageW(record->doneButton, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont(record->dialog)), FALSE);
    }
    ShowWindow(record->doneButton, show ? SW_SHOWNA : SW_HIDE);
    layoutDialog(record);
    return true;
}

BOOL SHInitDialog(SHINITDLGINFO* info)
{
    if (!info || !info->hDlg || !IsWindow(info->hDlg)) return FALSE;
    if (!(info->dwMask & SHIDIM_FLAGS)) return TRUE;
    DWORD flags = info->dwFlags;
    ShellDialog* record = attachDialog(info->hDlg);
    if (!record) return FALSE;
    if (flags & SHIDIF_SIZEDLGFULLSCREEN) sizeFullScreen(info->hDlg);
    if ((flags & SHIDIF_DONEBUTTON) && !showDoneButton(record, true)) return FALSE;
    if (flags & SHIDIF_SIPDOWN) SHSipPreference(info->hDlg, SIP_DOWN);
    layoutDialog(record);
    return TRUE;
}

BOOL SHDoneButton(HWND dialog, DWORD state)
{
    if (!dialog || !IsWindow(dialog)) return FALSE;
    if (state == SHDB_SHOW) {
        ShellDialog* record = attachDialog(dialog);
        return record && showDoneButton(record, true);
    }
    if (state == SHDB_HIDE) {
        ShellDialog* record = findDialog(dialog);
        return !record || showDoneButton(record, false);
    }
    return FALSE;
}
