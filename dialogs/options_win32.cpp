// The options dialog (template IDD_OPTIONS, export 241): a tab control over four pages,
// the update, misc and about pages, and OK and Cancel. The items page is in
// items_win32.cpp. Nothing reaches Settings or the settings file before OK.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "data/history.h"
#include "data/settings.h"
#include "dialogs/dialogstart.h"
#include "dialogs/options.h"
#include "platform/module.h"
#include "platform/shell.h"
#include "data/numbertext.h"
#include "platform/text16.h"
#include "platform/today.h"

// The Today shell opens the options dialog by a number of its own.
static_assert(IDD_OPTIONS == IDD_TODAY_CUSTOM, "the options dialog is the shell's template");

HWND optionsTab;
HWND optionsPages[4];

enum PageIndex { ItemsPage = 0, UpdatePage = 1, MiscPage = 2, AboutPage = 3 };

// --- Controls -----------------------------------------------------------------------

static HWND page(int index) { return optionsPages[index]; }

static void check(int pageIndex, int id, bool on)
{
    if (on) SendDlgItemMessageW(page(pageIndex), id, BM_SETCHECK, BST_CHECKED, 0);
}

static bool isChecked(int pageIndex, int id)
{
    return SendDlgItemMessageW(page(pageIndex), id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

static void setNumber(int pageIndex, int id, unsigned value) { SetDlgItemInt(page(pageIndex), id, value, FALSE); }

static uint32_t number(int pageIndex, int id) { return GetDlgItemInt(page(pageIndex), id, nullptr, FALSE); }

static void setTwoDigits(int pageIndex, int id, unsigned value)
{
    char text[16];
    formatWhole(text, sizeof text, static_cast<int32_t>(value), 2);
    SetDlgItemTextA(page(pageIndex), id, text);
}

// --- Pages --------------------------------------------------------------------------

INT_PTR CALLBACK updatePageProc(HWND updatePage, UINT message, WPARAM wParam, LPARAM)
{
    if (message != WM_COMMAND || LOWORD(wParam) != IDC_UPDATE_EVERY) return FALSE;
    LRESULT every = SendDlgItemMessageW(updatePage, IDC_UPDATE_EVERY, BM_GETCHECK, 0, 0);
    EnableWindow(GetDlgItem(updatePage, IDC_ONLY_IF_STALE), every == BST_CHECKED);
    return TRUE;
}

INT_PTR CALLBACK miscPageProc(HWND miscPage, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG) return FALSE;
    static const wchar_t* const rows[] = {L"0", L"1", L"2", L"3", L"4"};
    for (const wchar_t* row : rows)
        SendDlgItemMessageW(miscPage, IDC_HISTORY_DIGITS, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
    return TRUE;
}

INT_PTR CALLBACK aboutPageProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

void fillOptionsPages()
{
    const Settings& s = settings;
    check(UpdatePage, IDC_UPDATE_EVERY, s.updateFlags & UpdateEvery);
    setNumber(UpdatePage, IDC_UPDATE_INTERVAL, static_cast<unsigned>(s.updateInterval));
    EnableWindow(GetDlgItem(page(UpdatePage), IDC_ONLY_IF_STALE), (s.updateFlags & UpdateEvery) != 0);
    check(UpdatePage, IDC_ONLY_IF_STALE, s.updateFlags & OnlyIfStale);
    check(UpdatePage, IDC_UPDATE_DAILY, s.updateFlags & UpdateDaily);
    setNumber(UpdatePage, IDC_DAILY_HOUR, s.dailyHour);
    setTwoDigits(UpdatePage, IDC_DAILY_MINUTE, s.dailyMinute);
    check(UpdatePage, IDC_UPDATE_ON_PUBLICATION, s.updateFlags & UpdateOnPublication);
    check(UpdatePage, IDC_USE_PROXY, s.useProxy != 0);
    wchar_t proxy[65];
    copy16(reinterpret_cast<char16_t*>(proxy), 65, s.proxy);
    SetDlgItemTextW(page(UpdatePage), IDC_PROXY, proxy);
    check(UpdatePage, IDC_ESTABLISH_CONNECTION, s.updateFlags & EstablishConnection);
    check(UpdatePage, IDC_UPDATE_ON_CONNECT, s.updateFlags & UpdateOnConnect);

    setNumber(MiscPage, IDC_VISIBLE_ITEMS, s.visibleItems);
    setNumber(MiscPage, IDC_FONT_HEIGHT, static_cast<unsigned>(s.panelFont.lfHeight));
    check(MiscPage, IDC_BOLD, s.panelFont.lfWeight == 700);
    check(MiscPage, IDC_CENTER_ITEMS, s.centerItems != 0);
    check(MiscPage, IDC_FILLED_ARROWS, s.filledArrows != 0);
    check(MiscPage, IDC_COMMA_ON_PANEL, s.commaFlags & CommaOnPanel);
    check(MiscPage, IDC_COMMA_ON_COPY, s.commaFlags & CommaOnCopy);
    check(MiscPage, IDC_COMMA_IN_HISTORY, s.commaFlags & CommaInHistory);
    // A value outside the five rows selects none (CB_SETCURSEL with an index it lacks).
    int32_t digits = s.historyDigits >= 0 && s.historyDigits <= 4 ? s.historyDigits : -1;
    SendDlgItemMessageW(page(MiscPage), IDC_HISTORY_DIGITS, CB_SETCURSEL, static_cast<WPARAM>(digits), 0);
    setNumber(MiscPage, IDC_HISTORY_LENGTH, static_cast<unsigned>(s.historyLength));

    SetDlgItemTextW(page(AboutPage), IDC_ABOUT_CURRENCY, L"RUB");
}

void readOptionsPages()
{
    wchar_t proxy[ProxyReadUnits] = L"";
    GetDlgItemTextW(page(UpdatePage), IDC_PROXY, proxy, ProxyReadUnits);
    UpdatePageInput update;
    update.updateEvery = isChecked(UpdatePage, IDC_UPDATE_EVERY);
    update.interval = number(UpdatePage, IDC_UPDATE_INTERVAL);
    update.onlyIfStale = isChecked(UpdatePage, IDC_ONLY_IF_STALE);
    update.updateDaily = isChecked(UpdatePage, IDC_UPDATE_DAILY);
    update.hour = number(UpdatePage, IDC_DAILY_HOUR);
    update.minute = number(UpdatePage, IDC_DAILY_MINUTE);
    update.updateOnPublication = isChecked(UpdatePage, IDC_UPDATE_ON_PUBLICATION);
    update.useProxy = isChecked(UpdatePage, IDC_USE_PROXY);
    update.proxy = reinterpret_cast<const char16_t*>(proxy);
    update.establishConnection = isChecked(UpdatePage, IDC_ESTABLISH_CONNECTION);
    update.updateOnConnect = isChecked(UpdatePage, IDC_UPDATE_ON_CONNECT);
    readUpdatePage(settings, update);

    MiscPageInput misc;
    misc.visibleItems = number(MiscPage, IDC_VISIBLE_ITEMS);
    misc.fontHeight = number(MiscPage, IDC_FONT_HEIGHT);
    misc.bold = isChecked(MiscPage, IDC_BOLD);
    misc.centerItems = isChecked(MiscPage, IDC_CENTER_ITEMS);
    misc.filledArrows = isChecked(MiscPage, IDC_FILLED_ARROWS);
    misc.commaOnPanel = isChecked(MiscPage, IDC_COMMA_ON_PANEL);
    misc.commaOnCopy = isChecked(MiscPage, IDC_COMMA_ON_COPY);
    misc.commaInHistory = isChecked(MiscPage, IDC_COMMA_IN_HISTORY);
    misc.historyDigitsRow = static_cast<int32_t>(SendDlgItemMessageW(page(MiscPage), IDC_HISTORY_DIGITS, CB_GETCURSEL, 0, 0));
    misc.historyLength = number(MiscPage, IDC_HISTORY_LENGTH);
    lockHistory();  // every writer of the record takes the lock a download reads it under
    readMiscPage(settings, misc);
    unlockHistory();
}

// --- The dialog ---------------------------------------------------------------------

static void insertTab(int index, const wchar_t* text)
{
    TCITEMW tab = {};
    tab.mask = TCIF_TEXT;
    tab.pszText = const_cast<wchar_t*>(text);
    SendMessageW(optionsTab, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&tab));
}

static void bringToTop(HWND window) { SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE); }

// The tab control fills the dialog above the desktop's menu bar; the pages fill its
// display area.
static void layoutOptions(HWND dialog)
{
    RECT area;
    GetClientRect(dialog, &area);
    area.bottom -= shellMenuBarHeight(dialog);
    if (area.bottom < 0) area.bottom = 0;
    SetWindowPos(optionsTab, nullptr, 0, 0, area.right, area.bottom, SWP_NOZORDER);
    SendMessageW(optionsTab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    int width = area.right > area.left ? area.right - area.left : 0;
    int height = area.bottom > area.top ? area.bottom - area.top : 0;
    for (HWND optionsPage : optionsPages)
        if (optionsPage) SetWindowPos(optionsPage, nullptr, area.left, area.top, width, height, SWP_NOZORDER);
}

// Narrower tab padding (2 by 2 dialog units): the four tabs fit a 240-pixel screen
// without the tab control's scroll arrows.
static void narrowTabs(HWND dialog)
{
    RECT padding = {0, 0, 2, 2};
    MapDialogRect(dialog, &padding);
    SendMessageW(optionsTab, TCM_SETPADDING, 0, MAKELPARAM(padding.right, padding.bottom));
}

static void onInitDialog(HWND dialog)
{
    optionsTab = GetDlgItem(dialog, IDC_OPTIONS_TAB);
    setUpFullScreenDialog(dialog, IDR_OPTIONS_MENUBAR);

    loadWorkingItems(workingItems, settings, itemLimits);
    optionsPages[ItemsPage] = createDialogPage(dialog, IDD_ITEMS_PAGE, itemsPageProc);
    optionsPages[UpdatePage] = createDialogPage(dialog, IDD_UPDATE_PAGE, updatePageProc);
    optionsPages[MiscPage] = createDialogPage(dialog, IDD_MISC_PAGE, miscPageProc);
    optionsPages[AboutPage] = createDialogPage(dialog, IDD_ABOUT_PAGE, aboutPageProc);
    narrowTabs(dialog);
    insertTab(0, L"Панель");
    insertTab(1, L"Обновление");
    insertTab(2, L"Разное");
    insertTab(3, L"О");
    bringToTop(optionsPages[ItemsPage]);
    fillOptionsPages();
    // The shell's sizing came before the pages existed: place them now.
    layoutOptions(dialog);
}

static void onTabChanged()
{
    LRESULT selected = SendMessageW(optionsTab, TCM_GETCURSEL, 0, 0);
    if (selected >= 0 && selected < 4 && optionsPages[selected]) bringToTop(optionsPages[selected]);
}

// The handles mean nothing once the dialog has gone, however it went.
static void forgetOptions()
{
    for (HWND& optionsPage : optionsPages) optionsPage = nullptr;
    optionsTab = nullptr;
    itemList = nullptr;
}

static void (*settingsChanged)();

void setSettingsChangedHandler(void (*handler)()) { settingsChanged = handler; }

static void endOptions(HWND dialog, INT_PTR result)
{
    forgetOptions();
    EndDialog(dialog, result);
}

static void onOk(HWND dialog)
{
    readOptionsPages();
    uint16_t widths[5];
    for (int column = 0; column < 5; ++column)
        widths[column] = static_cast<uint16_t>(SendMessageW(itemList, LVM_GETCOLUMNWIDTH, column, 0));
    // Every writer of the settings record takes the lock a download reads it under.
    lockHistory();
    storeWorkingItems(settings, workingItems);
    std::memcpy(settings.itemColumnWidths, widths, sizeof widths);
    unlockHistory();
    saveSettingsFile();
    // The limits file is written only once there is something to keep in it.
    if (std::memcmp(itemLimits, workingItems.limits, sizeof itemLimits) != 0) {
        std::memcpy(itemLimits, workingItems.limits, sizeof itemLimits);
        saveLimits(true);
    }
    if (settingsChanged) settingsChanged();
    endOptions(dialog, 1);
}

extern "C" INT_PTR WINAPI CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        onInitDialog(dialog);
        return TRUE;
    case WM_SIZE:
        layoutOptions(dialog);
        return TRUE;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (!header || header->idFrom != IDC_OPTIONS_TAB || header->code != static_cast<UINT>(TCN_SELCHANGE))
            return FALSE;
        onTabChanged();
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            onOk(dialog);
            return TRUE;
        }
        // The desktop's close box and Escape come as IDCANCEL: the same as "Отмена".
        if (LOWORD(wParam) == IDM_CANCEL || LOWORD(wParam) == IDCANCEL) {
            endOptions(dialog, IDM_CANCEL);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        forgetOptions();
        return FALSE;
    }
    return FALSE;
}
