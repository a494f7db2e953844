// The options dialog's first page, "Панель": the list of panel items (template
// IDD_ITEMS_PAGE) and the modal item editor (template IDD_ITEM_EDITOR). Both work on workingItems only.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include "data/currency.h"
#include "data/numbertext.h"
#include "dialogs/dialogstart.h"
#include "dialogs/options.h"
#include "platform/module.h"
#include "platform/shell.h"
#include "platform/testhooks.h"

HWND itemList;
int32_t editIndex;
COLORREF editColour;
#ifdef VOK_TEST
BOOL(WINAPI* chooseColourCall)(LPCHOOSECOLORW) = ChooseColorW;
static BOOL chooseColour(LPCHOOSECOLORW choice) { return chooseColourCall && chooseColourCall(choice); }
#else
static BOOL chooseColour(LPCHOOSECOLORW choice) { return ChooseColorW(choice); }
#endif

static const wchar_t* const digitRows[] = {L"0", L"1", L"2", L"3", L"4"};

// --- The list -----------------------------------------------------------------------

static void insertColumn(int index, int width, const wchar_t* text)
{
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(text);
    SendMessageW(itemList, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

static void setRowCount() { SendMessageW(itemList, LVM_SETITEMCOUNT, workingItems.count, 0); }

static void redrawRow(int row) { SendMessageW(itemList, LVM_UPDATE, row, 0); }

static void setRowSelected(int row, bool selected)
{
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED;
    state.state = selected ? LVIS_SELECTED : 0;
    SendMessageW(itemList, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
}

static void onItemsInit(HWND itemsPage)
{
    itemList = GetDlgItem(itemsPage, IDC_ITEM_LIST);
    LRESULT extended = SendMessageW(itemList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    SendMessageW(itemList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, extended | LVS_EX_FULLROWSELECT);
    insertColumn(0, settings.itemColumnWidths[0], L"Содержание");
    insertColumn(1, settings.itemColumnWidths[1], L"Период");
    setRowCount();
}

// The list keeps its top and a margin of 5 pixels on the other three sides.
static void onItemsSize(HWND itemsPage)
{
    if (!itemList) return;  // a size that comes before the page's WM_INITDIALOG
    RECT client, list;
    GetClientRect(itemsPage, &client);
    GetWindowRect(itemList, &list);
    POINT topLeft = {list.left, list.top};
    ScreenToClient(itemsPage, &topLeft);
    int width = client.right - 10, height = client.bottom - topLeft.y - 5;
    SetWindowPos(itemList, nullptr, 5, topLeft.y, width < 0 ? 0 : width, height < 0 ? 0 : height, SWP_NOZORDER);
}

static bool onRowText(const NMHDR* header)
{
    auto* request = reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(header));
    LVITEMW& item = request->item;
    if (!(item.mask & LVIF_TEXT)) return false;
    if (item.pszText && item.cchTextMax > 0)
        workingRowText(workingItems, item.iItem, item.iSubItem, reinterpret_cast<char16_t*>(item.pszText),
                       static_cast<size_t>(item.cchTextMax));
    return true;
}

static INT_PTR runEditor(HWND itemsPage, LPARAM isNew)
{
    return openDialog(IDD_ITEM_EDITOR, itemEditorProc, GetParent(itemsPage), isNew);
}

static void onAdd(HWND itemsPage)
{
    if (!canAddItem(workingItems)) {
        MessageBoxW(itemsPage, L"Извините, но максимальное число элементов достигнуто.", L"vok Currency",
                    MB_OK | MB_ICONERROR | MB_TOPMOST);
        return;
    }
    editIndex = workingItems.count;
    // Only the editor's OK (1) counts: a dialog that failed to open gives 0 or -1.
    if (runEditor(itemsPage, 1) == 1) ++workingItems.count;
    setRowCount();
}

// Up and Down: the selection follows the moved item.
static void onMoved(int row, int to)
{
    redrawRow(row);
    redrawRow(to);
    SendMessageW(itemList, LVM_SETSELECTIONMARK, 0, to);
    setRowSelected(row, false);
    setRowSelected(to, true);
}

static void onDelete(int row)
{
    if (!deleteItem(workingItems, row)) return;
    for (int i = row; i < workingItems.count; ++i) redrawRow(i);
    setRowCount();
    SendMessageW(itemList, LVM_SETSELECTIONMARK, 0, -1);
    setRowSelected(row, false);
}

static bool onItemsCommand(HWND itemsPage, int command)
{
    if (command == IDC_ITEM_ADD) {
        onAdd(itemsPage);
        return true;
    }
    int row = static_cast<int>(SendMessageW(itemList, LVM_GETSELECTIONMARK, 0, 0));
    if (row < 0 || row >= workingItems.count) return false;
    switch (command) {
    case IDC_ITEM_UP:
        if (moveItemUp(workingItems, row)) onMoved(row, row - 1);
        return true;
    case IDC_ITEM_DOWN:
        if (moveItemDown(workingItems, row)) onMoved(row, row + 1);
        return true;
    case IDC_ITEM_DELETE:
        onDelete(row);
        return true;
    case IDC_ITEM_EDIT:
        editIndex = row;
        if (runEditor(itemsPage, 0) == 1) redrawRow(row);
        return true;
    }
    return false;
}

INT_PTR CALLBACK itemsPageProc(HWND itemsPage, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        onItemsInit(itemsPage);
        return TRUE;
    case WM_SIZE:
        onItemsSize(itemsPage);
        return TRUE;
    case WM_COMMAND:
        return onItemsCommand(itemsPage, LOWORD(wParam)) ? TRUE : FALSE;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (!header || header->idFrom != IDC_ITEM_LIST || header->code != static_cast<UINT>(LVN_GETDISPINFOW))
            return FALSE;
        return onRowText(header) ? TRUE : FALSE;
    }
    }
    return FALSE;
}

// --- The editor ---------------------------------------------------------------------

static void setChecked(HWND editor, int id, bool on)
{
    SendDlgItemMessageW(editor, id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

static bool checked(HWND editor, int id) { return SendDlgItemMessageW(editor, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

static void showRatio(HWND editor, bool show)
{
    ShowWindow(GetDlgItem(editor, IDC_EDITOR_CURRENCY2), show ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(editor, IDC_EDITOR_SLASH), show ? SW_SHOW : SW_HIDE);
}

static void addRows(HWND editor, int id, const wchar_t* const* rows, int count)
{
    for (int i = 0; i < count; ++i) SendDlgItemMessageW(editor, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(rows[i]));
}

// The item's byte taken as signed: a row the list lacks selects none.
static void selectRow(HWND editor, int id, uint8_t row)
{
    SendDlgItemMessageW(editor, id, CB_SETCURSEL, static_cast<WPARAM>(static_cast<int8_t>(row)), 0);
}

static int32_t selectedRow(HWND editor, int id)
{
    return static_cast<int32_t>(SendDlgItemMessageW(editor, id, CB_GETCURSEL, 0, 0));
}

static void onEditorInit(HWND editor, bool isNew)
{
    SHDoneButton(editor, SHDB_SHOW);
    for (int i = 0; i < CurrencyCount; ++i) {
        LPARAM text = reinterpret_cast<LPARAM>(symbol[i]);
        SendDlgItemMessageW(editor, IDC_EDITOR_CURRENCY, CB_ADDSTRING, 0, text);
        SendDlgItemMessageW(editor, IDC_EDITOR_CURRENCY2, CB_ADDSTRING, 0, text);
    }
    addRows(editor, IDC_EDITOR_DIGITS, digitRows, 5);
    if (editIndex < 0 || editIndex >= ItemSlots) editIndex = 0;
    if (isNew) startNewItem(workingItems, editIndex);
    const PanelItem& item = workingItems.items[editIndex];
    if (!item.isRatio)
        showRatio(editor, false);
    else
        setChecked(editor, IDC_EDITOR_RATIO, true);
    if (item.period != 0) {
        setChecked(editor, IDC_EDITOR_NEXT_PERIOD, true);
        setChecked(editor, IDC_EDITOR_IF_AVAILABLE, item.period == 2);
    } else {
        EnableWindow(GetDlgItem(editor, IDC_EDITOR_IF_AVAILABLE), FALSE);
    }
    selectRow(editor, IDC_EDITOR_CURRENCY, item.currency);
    selectRow(editor, IDC_EDITOR_CURRENCY2, item.currency2);
    if (item.itemFlags & ShowArrow) setChecked(editor, IDC_EDITOR_ARROW, true);
    if (item.itemFlags & ShowDifference) setChecked(editor, IDC_EDITOR_DIFFERENCE, true);
    selectRow(editor, IDC_EDITOR_DIGITS, item.digits);
    if (item.useDefaultColour) {
        setChecked(editor, IDC_EDITOR_DEFAULT_COLOUR, true);
        EnableWindow(GetDlgItem(editor, IDC_EDITOR_COLOUR), FALSE);
    }
    editColour = item.colour;
    const ItemLimits& limits = workingItems.limits[editIndex];
    bool comma = (settings.commaFlags & CommaOnPanel) != 0;
    const int fields[2] = {IDC_EDITOR_UPPER, IDC_EDITOR_LOWER};
    for (int k = 0; k < 2; ++k) {
        SendDlgItemMessageW(editor, fields[k], EM_LIMITTEXT, LimitTextUnits, 0);
        wchar_t text[FixedTextUnits] = L"";
        if (limits.flags & (k == 0 ? LimitUpper : LimitLower))
            limitText(k == 0 ? limits.upper : limits.lower, comma, reinterpret_cast<char16_t*>(text), FixedTextUnits);
        SetDlgItemTextW(editor, fields[k], text);
    }
    if (limits.flags & PercentDifference) setChecked(editor, IDC_EDITOR_PERCENT, true);
}

// The limit fields first: text that is no number is refused, the editor stays
// open and the field keeps what was typed. False then.
static bool storeLimits(HWND editor)
{
    wchar_t upper[LimitTextUnits + 2], lower[LimitTextUnits + 2];
    GetDlgItemTextW(editor, IDC_EDITOR_UPPER, upper, LimitTextUnits + 2);
    GetDlgItemTextW(editor, IDC_EDITOR_LOWER, lower, LimitTextUnits + 2);
    LimitsChoice choice{reinterpret_cast<const char16_t*>(upper), reinterpret_cast<const char16_t*>(lower),
                        checked(editor, IDC_EDITOR_PERCENT)};
    int refused = storeLimitsChoice(workingItems.limits[editIndex], choice);
    if (refused == 0) return true;
    MessageBoxW(editor, L"Извините, но граница курса должна быть числом.", L"vok Currency",
                MB_OK | MB_ICONERROR | MB_TOPMOST);
    SetFocus(GetDlgItem(editor, refused == 1 ? IDC_EDITOR_UPPER : IDC_EDITOR_LOWER));
    return false;
}

static void chooseColour(HWND editor)
{
    COLORREF customColours[16] = {};  // fresh every time: custom colours are not kept
    CHOOSECOLORW choice = {};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = editor;
    choice.hInstance = reinterpret_cast<HWND>(moduleInstance);
    choice.rgbResult = editColour;
    choice.lpCustColors = customColours;
    choice.Flags = CC_RGBINIT | CC_ANYCOLOR;
    if (chooseColour(&choice)) editColour = choice.rgbResult;
}

static void onEditorOk(HWND editor)
{
    if (!storeLimits(editor)) return;
    EditorChoice choice;
    choice.ratio = checked(editor, IDC_EDITOR_RATIO);
    choice.nextPeriod = checked(editor, IDC_EDITOR_NEXT_PERIOD);
    choice.ifAvailable = checked(editor, IDC_EDITOR_IF_AVAILABLE);
    choice.currencyRow = selectedRow(editor, IDC_EDITOR_CURRENCY);
    choice.currency2Row = selectedRow(editor, IDC_EDITOR_CURRENCY2);
    choice.arrow = checked(editor, IDC_EDITOR_ARROW);
    choice.difference = checked(editor, IDC_EDITOR_DIFFERENCE);
    choice.digitsRow = selectedRow(editor, IDC_EDITOR_DIGITS);
    choice.defaultColour = checked(editor, IDC_EDITOR_DEFAULT_COLOUR);
    choice.colour = editColour;
    storeEditorChoice(workingItems.items[editIndex], choice);
    EndDialog(editor, 1);
}

static bool onEditorCommand(HWND editor, int command)
{
    switch (command) {
    case IDC_EDITOR_RATIO:
        showRatio(editor, checked(editor, IDC_EDITOR_RATIO));
        return true;
    case IDC_EDITOR_NEXT_PERIOD:
        EnableWindow(GetDlgItem(editor, IDC_EDITOR_IF_AVAILABLE), checked(editor, IDC_EDITOR_NEXT_PERIOD));
        return true;
    case IDC_EDITOR_DEFAULT_COLOUR:
        EnableWindow(GetDlgItem(editor, IDC_EDITOR_COLOUR), !checked(editor, IDC_EDITOR_DEFAULT_COLOUR));
        return true;
    case IDC_EDITOR_COLOUR:
        chooseColour(editor);
        return true;
    case IDOK:
        onEditorOk(editor);
        return true;
    case IDCANCEL:  // the desktop's Escape: as the close box
        EndDialog(editor, 0);
        return true;
    }
    return false;
}

INT_PTR CALLBACK itemEditorProc(HWND editor, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        onEditorInit(editor, lParam != 0);
        return TRUE;
    case WM_COMMAND:
        return onEditorCommand(editor, LOWORD(wParam)) ? TRUE : FALSE;
    case WM_CLOSE:
        EndDialog(editor, 0);
        return TRUE;
    }
    return FALSE;
}
