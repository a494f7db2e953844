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
#include "platform/testhooks.h"

namespace {

// One button of a menu bar, as laid out.
struct BarButton {
    HWND window;
    int width;           // wanted width: the text and a margin
    bool afterSeparator;  // a gap to its left
};

struct ShellDialog {
    HWND dialog;  // null: a free record
    HWND doneButton;
    HWND menuBar;
    int barHeight;
    BarButton barButtons[MenuBarMaxButtons];
    int barButtonCount;
};

struct MenuBarEntry {
    WORD command;
    WORD stringId;
    WORD flags;
};

}  // namespace

constexpr int MaxShellDialogs = 16;  // dialogs open at once, nested ones included
static ShellDialog shellDialogs[MaxShellDialogs];

constexpr UINT_PTR DialogSubclassId = 0x766F6B31;  // "vok1"
constexpr UINT_PTR MenuBarSubclassId = 0x766F6B32;

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

static HFONT dialogFont(HWND dialog)
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

static int pushButtonWidth(HFONT font, const wchar_t* text)
{
    int width = measureText(font, text).cx + scaled(10);
    return width < scaled(20) ? scaled(20) : width;
}

static int barHeightFor(HFONT font)
{
    int height = measureText(font, L"").cy + scaled(10);
    return height < scaled(26) ? scaled(26) : height;
}

// --- Per-dialog records ------------------------------------------------------------

static ShellDialog* findDialog(HWND dialog)
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
static ShellDialog* attachDialog(HWND dialog)
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

static HINSTANCE windowInstance(HWND window)
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

// --- Menu bar ----------------------------------------------------------------------

#ifdef VOK_TEST
UINT shellPopupAnswer;
UINT shellLastPopupItems[8];
#endif

// Opens a drop-down button's menu above it; the chosen command, or 0.
static UINT dropDownChoice(HWND button, UINT menuId)
{
    HMENU menu = LoadMenuW(windowInstance(button), MAKEINTRESOURCEW(menuId));
    HMENU popup = menu ? GetSubMenu(menu, 0) : nullptr;
    UINT chosen = 0;
#ifdef VOK_TEST
    if (popup && shellPopupAnswer) {
        int count = GetMenuItemCount(popup);
        for (int i = 0; i < 8; ++i) shellLastPopupItems[i] = i < count ? GetMenuItemID(popup, i) : 0;
        for (int i = 0; i < count; ++i)
            if (GetMenuItemID(popup, i) == shellPopupAnswer) chosen = shellPopupAnswer;
        popup = nullptr;
    }
#endif
    if (popup) {
        RECT place;
        GetWindowRect(button, &place);
        chosen = UINT(TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_BOTTOMALIGN | TPM_RETURNCMD | TPM_NONOTIFY, place.left,
                                     place.top, 0, button, nullptr));
    }
    if (menu) DestroyMenu(menu);
    return chosen;
}

static LRESULT CALLBACK menuBarSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR)
{
    switch (message) {
    case WM_COMMAND:
        // A button of the bar: its command goes to the bar's parent, as a menu's does.
        if (HIWORD(wParam) == BN_CLICKED && lParam) {
            UINT command = LOWORD(wParam);
            if (GetWindowLongPtrW(reinterpret_cast<HWND>(lParam), GWLP_USERDATA) == MenuBarDropDown)
                command = dropDownChoice(reinterpret_cast<HWND>(lParam), command);
            if (command) SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(command, 0), 0);
            return 0;
        }
        break;
    case WM_NCHITTEST:
        return HTCLIENT;  // a static control would let clicks fall through
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, menuBarSubclass, MenuBarSubclassId);
        for (ShellDialog& record : shellDialogs)
            if (record.menuBar == window) {
                record.menuBar = nullptr;
                record.barButtonCount = 0;
            }
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

// Reads the bar resource into entries; the number of entries, or -1 when the
// resource is missing or malformed.
static int readMenuBar(HINSTANCE instance, UINT barId, MenuBarEntry* entries)
{
    if (barId == 0 || barId > 0xFFFF) return -1;
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(barId), RT_RCDATA);
    if (!found) return -1;
    DWORD size = SizeofResource(instance, found);
    HGLOBAL loaded = LoadResource(instance, found);
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!data || size < 2) return -1;
    auto word = [data](size_t index) { return static_cast<WORD>(data[2 * index] | (data[2 * index + 1] << 8)); };
    int count = word(0);
    if (count > MenuBarMaxButtons || size < 2u + 6u * count) return -1;
    for (int i = 0; i < count; ++i) {
        entries[i].command = word(1 + 3 * i);
        entries[i].stringId = word(2 + 3 * i);
        entries[i].flags = word(3 + 3 * i);
    }
    return count;
}

BOOL SHCreateMenuBar(SHMENUBARINFO* info)
{
    if (!info || info->cbSize != sizeof(SHMENUBARINFO)) return FALSE;
    info->hwndMB = nullptr;
    HWND parent = info->hwndParent;
    if (!parent || !IsWindow(parent)) return FALSE;
    MenuBarEntry entries[MenuBarMaxButtons];
    int count = readMenuBar(info->hInstRes, info->nToolBarId, entries);
    if (count < 0) return FALSE;
    ShellDialog* record = attachDialog(parent);
    if (!record) return FALSE;
    if (record->menuBar) {
        DestroyWindow(record->menuBar);
        record->menuBar = nullptr;
        record->barButtonCount = 0;
    }

    HINSTANCE instance = windowInstance(parent);
    HWND bar = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | SS_LEFT, 0, 0, 0, 0,
                               parent, reinterpret_cast<HMENU>(INT_PTR(ShellMenuBarId)), instance, nullptr);
    if (!bar) return FALSE;
    if (!SetWindowSubclass(bar, menuBarSubclass, MenuBarSubclassId, 0)) {
        DestroyWindow(bar);
        return FALSE;
    }

    HFONT font = dialogFont(parent);
    bool afterSeparator = false;
    for (int i = 0; i < count; ++i) {
        if (entries[i].flags & MenuBarSeparator) {
            afterSeparator = true;
            continue;
        }
        wchar_t text[64] = L"";
        if (entries[i].stringId && LoadStringW(info->hInstRes, entries[i].stringId, text, 64) <= 0) text[0] = 0;
        DWORD style = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON;
        if (!(entries[i].flags & MenuBarButtonEnabled)) style |= WS_DISABLED;
        HWND button = CreateWindowExW(0, L"BUTTON", text, style, 0, 0, 0, 0, bar,
                                      reinterpret_cast<HMENU>(INT_PTR(entries[i].command)), instance, nullptr);
        if (!button) continue;
        if (entries[i].flags & MenuBarDropDown) SetWindowLongPtrW(button, GWLP_USERDATA, MenuBarDropDown);
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        record->barButtons[record->barButtonCount++] = {button, pushButtonWidth(font, text), afterSeparator};
        afterSeparator = false;
    }

    record->menuBar = bar;
    record->barHeight = barHeightFor(font);
    info->hwndMB = bar;
    // The dialog lays itself out again, now above the bar (the bar moves first).
    RECT client;
    GetClientRect(parent, &client);
    SendMessageW(parent, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    return TRUE;
}

int shellMenuBarHeight(HWND parent)
{
    ShellDialog* record = findDialog(parent);
    return record && record->menuBar ? record->barHeight : 0;
}
