// The options dialog (template 500, export 241): a tab control over four pages,
// the update, misc and about pages, and OK and Cancel. The items page is in
// items_win32.cpp. Nothing reaches Settings or the settings file before OK.
#include <windows.h>
#include <commctrl.h>

#include "data/settings.h"
#include "dialogs/options.h"
#include "platform/shell.h"
#include "platform/text16.h"
#include "plugin/core/layout.h"
#include "plugin/globals.h"
#include "plugin/panel.h"
#include "update/schedule.h"

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
    if (message != WM_COMMAND || LOWORD(wParam) != 1000) return FALSE;
    LRESULT every = SendDlgItemMessageW(updatePage, 1000, BM_GETCHECK, 0, 0);
    EnableWindow(GetDlgItem(updatePage, 1009), every == BST_CHECKED);
    return TRUE;
}

INT_PTR CALLBACK miscPageProc(HWND miscPage, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG) return FALSE;
    static const wchar_t* const rows[] = {L"0", L"1", L"2", L"3", L"4"};
    for (const wchar_t* row : rows)
        SendDlgItemMessageW(miscPage, 1037, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
    return TRUE;
}

INT_PTR CALLBACK aboutPageProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

void fillOptionsPages()
{
    const Settings& s = settings;
    check(UpdatePage, 1000, s.updateFlags & UpdateEvery);
    setNumber(UpdatePage, 1001, static_cast<unsigned>(s.updateInterval));
    EnableWindow(GetDlgItem(page(UpdatePage), 1009), (s.updateFlags & UpdateEvery) != 0);
    check(UpdatePage, 1009, s.updateFlags & OnlyIfStale);
    check(UpdatePage, 1002, s.updateFlags & UpdateDaily);
    setNumber(UpdatePage, 1003, s.dailyHour);
    setTwoDigits(UpdatePage, 1004, s.dailyMinute);
    check(UpdatePage, 1064, s.useProxy != 0);
    wchar_t proxy[65];
    copy16(reinterpret_cast<char16_t*>(proxy), 65, s.proxy);
    SetDlgItemTextW(page(UpdatePage), 1065, proxy);
    check(UpdatePage, 1068, s.updateFlags & EstablishConnection);
    check(UpdatePage, 1020, s.updateFlags & UpdateOnConnect);

    setNumber(MiscPage, 1021, s.visibleItems);
    setNumber(MiscPage, 1058, static_cast<unsigned>(s.panelFont.lfHeight));
    check(MiscPage, 1060, s.panelFont.lfWeight == 700);
    check(MiscPage, 1061, s.centerItems != 0);
    check(MiscPage, 1062, s.filledArrows != 0);
    check(MiscPage, 1008, s.commaFlags & CommaOnPanel);
    check(MiscPage, 1017, s.commaFlags & CommaOnCopy);
    check(MiscPage, 1018, s.commaFlags & CommaInHistory);
    // A value outside the five rows selects none (CB_SETCURSEL with an index it lacks).
    int32_t digits = s.historyDigits >= 0 && s.historyDigits <= 4 ? s.historyDigits : -1;
    SendDlgItemMessageW(page(MiscPage), 1037, CB_SETCURSEL, static_cast<WPARAM>(digits), 0);
    setNumber(MiscPage, 1010, static_cast<unsigned>(s.historyLength));

    SetDlgItemTextW(page(AboutPage), 1069, L"RUB");
}

void readOptionsPages()
{
    wchar_t proxy[ProxyReadUnits] = L"";
    GetDlgItemTextW(page(UpdatePage), 1065, proxy, ProxyReadUnits);
    UpdatePageInput update;
    update.updateEvery = isChecked(UpdatePage, 1000);
    update.interval = number(UpdatePage, 1001);
    update.onlyIfStale = isChecked(UpdatePage, 1009);
    update.updateDaily = isChecked(UpdatePage, 1002);
    update.hour = number(UpdatePage, 1003);
    update.minute = number(UpdatePage, 1004);
    update.useProxy = isChecked(UpdatePage, 1064);
    update.proxy = reinterpret_cast<const char16_t*>(proxy);
    update.establishConnection = isChecked(UpdatePage, 1068);
    update.updateOnConnect = isChecked(UpdatePage, 1020);
    readUpdatePage(settings, update);

    MiscPageInput misc;
    misc.visibleItems = number(MiscPage, 1021);
    misc.fontHeight = number(MiscPage, 1058);
    misc.bold = isChecked(MiscPage, 1060);
    misc.centerItems = isChecked(MiscPage, 1061);
    misc.filledArrows = isChecked(MiscPage, 1062);
    misc.commaOnPanel = isChecked(MiscPage, 1008);
    misc.commaOnCopy = isChecked(MiscPage, 1017);
    misc.commaInHistory = isChecked(MiscPage, 1018);
    misc.historyDigitsRow = static_cast<int32_t>(SendDlgItemMessageW(page(MiscPage), 1037, CB_GETCURSEL, 0, 0));
    misc.historyLength = number(MiscPage, 1010);
    readMiscPage(settings, misc);
}

// --- The dialog ---------------------------------------------------------------------

static HWND createPage(HWND dialog, int templateId, DLGPROC procedure)
{
    HRSRC found = FindResourceW(moduleInstance, MAKEINTRESOURCEW(templateId), RT_DIALOG);
    HGLOBAL loaded = found ? LoadResource(moduleInstance, found) : nullptr;
    auto* pageTemplate = loaded ? static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)) : nullptr;
    if (!pageTemplate) return nullptr;
    return CreateDialogIndirectParamW(moduleInstance, pageTemplate, dialog, procedure, 0);
}

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
    optionsTab = GetDlgItem(dialog, OptionsTabId);
    setUpFullScreenDialog(dialog, 109);

    loadWorkingItems(workingItems, settings);
    optionsPages[ItemsPage] = createPage(dialog, 102, itemsPageProc);
    optionsPages[UpdatePage] = createPage(dialog, 105, updatePageProc);
    optionsPages[MiscPage] = createPage(dialog, 104, miscPageProc);
    optionsPages[AboutPage] = createPage(dialog, 103, aboutPageProc);
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

static void endOptions(HWND dialog, INT_PTR result)
{
    forgetOptions();
    EndDialog(dialog, result);
}

static void onOk(HWND dialog)
{
    readOptionsPages();
    storeWorkingItems(settings, workingItems);
    for (int column = 0; column < 5; ++column)
        settings.itemColumnWidths[column] =
            static_cast<uint16_t>(SendMessageW(itemList, LVM_GETCOLUMNWIDTH, column, 0));
    saveSettingsFile();
    redrawFlag = 1;
    firstVisible = 0;
    if (panelWindow) InvalidateRect(panelWindow, nullptr, FALSE);
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
        if (!header || header->idFrom != OptionsTabId || header->code != static_cast<UINT>(TCN_SELCHANGE))
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
        if (LOWORD(wParam) == OptionsCancelCommand || LOWORD(wParam) == IDCANCEL) {
            endOptions(dialog, OptionsCancelCommand);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        forgetOptions();
        return FALSE;
    }
    return FALSE;
}
