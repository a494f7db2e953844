// The shell's menu bar for desktop Win32 (SHCreateMenuBar): a strip of buttons at
// the foot of a dialog, read from our RCDATA bar format; a drop-down button opens
// the menu of its command number.
#include <windows.h>
#include <commctrl.h>

#include "platform/shell.h"
#include "platform/shelldialog_win32.h"
#include "platform/testhooks.h"

namespace {

struct MenuBarEntry {
    WORD command;
    WORD stringId;
    WORD flags;
};

}  // namespace

constexpr UINT_PTR MenuBarSubclassId = 0x766F6B32;

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
