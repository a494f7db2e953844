// The rates dialog's table: every stored day in a virtual list view, sortable by
// any column, each rate for its header's nominal; the whole table as text.
#include <cstdlib>

#include "data/history.h"
#include "data/settings.h"
#include "dialogs/core/historytable.h"
#include "dialogs/ratesdialog.h"
#include "platform/clipboard.h"
#include "platform/shell.h"
#include "platform/testhooks.h"

#ifdef VOK_TEST
bool historyRowsUnavailable;
#endif

void freeRows()
{
    RatesDialogState& s = ratesDialog;
    std::free(s.rowOrder);
    std::free(s.rowRecords);
    std::free(s.chartPoints);
    s.rowOrder = nullptr;
    s.rowRecords = nullptr;
    s.chartPoints = nullptr;
    s.rowCount = 0;
    s.chartPlot = ChartPlot{0, -1, -1, -1, 1};
}

// Copies the history and makes the row index in the store's order. False when
// there is no memory for either.
bool takeRows()
{
    RatesDialogState& s = ratesDialog;
    freeRows();
    int32_t capacity = history.capacity;
    if (capacity < 1 || capacity > MaxHistoryLength) capacity = 0;
    s.rowRecords = static_cast<DayRates*>(std::calloc(capacity > 0 ? capacity : 1, sizeof(DayRates)));
    if (!s.rowRecords) return false;
    int32_t copied = copyHistory(s.rowRecords, capacity);
    s.rowCount = countRows(s.rowRecords, copied);
#ifdef VOK_TEST
    if (!historyRowsUnavailable)
#endif
        s.rowOrder = static_cast<uint16_t*>(std::calloc(s.rowCount > 0 ? s.rowCount : 1, sizeof(uint16_t)));
    s.chartPoints = static_cast<ChartPoint*>(std::calloc(s.rowCount > 0 ? s.rowCount : 1, sizeof(ChartPoint)));
    if (!s.rowOrder || !s.chartPoints) {
        freeRows();
        return false;
    }
    for (int32_t r = 0; r < s.rowCount; ++r) s.rowOrder[r] = static_cast<uint16_t>(r);
    return true;
}

// Rows that compare equal keep the store's order (newest first).
static int compareOrder(const void* a, const void* b)
{
    const RatesDialogState& s = ratesDialog;
    uint16_t indexA = *static_cast<const uint16_t*>(a), indexB = *static_cast<const uint16_t*>(b);
    int32_t d = compareRows(s.rowRecords[indexA], s.rowRecords[indexB], s.sort.column, s.sort.descending != 0,
                            &s.shownRates);
    if (d != 0) return d > 0 ? 1 : -1;
    return indexA < indexB ? -1 : indexA > indexB ? 1 : 0;
}

static void applySort()
{
    if (ratesDialog.rowOrder && ratesDialog.rowCount > 1)
        std::qsort(ratesDialog.rowOrder, static_cast<size_t>(ratesDialog.rowCount), sizeof(uint16_t), compareOrder);
}

// The rows again from the store, as days arrive, in the order the user chose;
// false without memory.
bool refreshRows(HWND dialog)
{
    if (!takeRows()) return false;
    if (ratesDialog.userSorted) applySort();
    SendMessageW(ratesDialog.table, LVM_SETITEMCOUNT, WPARAM(ratesDialog.rowCount), 0);
    InvalidateRect(ratesDialog.table, nullptr, FALSE);
    collectChart(dialog);
    return true;
}

// The table fills the dialog above its menu bar, 5 pixels from every edge; the
// chart the same room below its currency list.
void placeTable(HWND dialog)
{
    RECT client;
    if (!GetClientRect(dialog, &client)) return;
    int width = client.right - client.left - 10;
    int height = client.bottom - client.top - shellMenuBarHeight(dialog) - 10;
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    SetWindowPos(GetDlgItem(dialog, IDC_HISTORY_TABLE), nullptr, client.left + 5, client.top + 5, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    HWND list = GetDlgItem(dialog, IDC_CHART_CURRENCY);
    RECT listRect = {};
    GetWindowRect(list, &listRect);
    int listHeight = listRect.bottom - listRect.top + 4;
    SetWindowPos(GetDlgItem(dialog, IDC_CHART), nullptr, client.left + 5, client.top + 5 + listHeight, width,
                 height > listHeight ? height - listHeight : 0, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The widths of the other currencies' columns: the settings keep the first
// HistoryColumns; these last while the module does.
static uint16_t extraColumnWidths[ExtraCurrencies];

static uint16_t& columnWidth(int column)
{
    if (column < HistoryColumns) return settings.historyColumnWidths[column];
    uint16_t& width = extraColumnWidths[ratesDialog.columnCurrency[column - 1] - RecordCurrencies];
    if (width == 0) width = 90;
    return width;
}

void keepExtraColumnWidths()
{
    const RatesDialogState& s = ratesDialog;
    for (int c = HistoryColumns; s.table && c <= s.currencyColumns; ++c)
        columnWidth(c) = LOWORD(SendMessageW(s.table, LVM_GETCOLUMNWIDTH, WPARAM(c), 0));
}

static void addColumn(HWND list, int column, const char16_t* header)
{
    LVCOLUMNW info = {};
    info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    info.fmt = column == 0 ? LVCFMT_LEFT : LVCFMT_CENTER;
    info.cx = columnWidth(column);
    info.pszText = const_cast<wchar_t*>(reinterpret_cast<const wchar_t*>(header));
    info.iSubItem = column;
    SendMessageW(list, LVM_INSERTCOLUMNW, WPARAM(column), reinterpret_cast<LPARAM>(&info));
}

// The columns' headers come from the shown day, whichever days the rows hold.
void setUpTable(HWND dialog, const DayRates& shown)
{
    RatesDialogState& s = ratesDialog;
    s.table = GetDlgItem(dialog, IDC_HISTORY_TABLE);
    SetWindowPos(s.table, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(s.table, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    s.currencyColumns = tableCurrencies(s.rowRecords, s.rowCount, s.columnCurrency);
    for (int c = 0; c <= s.currencyColumns; ++c) {
        int currency = c > 0 ? s.columnCurrency[c - 1] : -1;
        char16_t header[CellTextUnits];
        formatColumnHeader(header, CellTextUnits, currency, c > 0 ? shown.rates[currency].nominal : 0);
        addColumn(s.table, c, header);
    }
    placeTable(dialog);
}

static void fillCell(NMLVDISPINFOW* info)
{
    const RatesDialogState& s = ratesDialog;
    LVITEMW& item = info->item;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
    auto* out = reinterpret_cast<char16_t*>(item.pszText);
    size_t capacity = static_cast<size_t>(item.cchTextMax);
    out[0] = 0;
    if (!s.rowOrder || item.iItem < 0 || item.iItem >= s.rowCount) return;
    const DayRates& row = s.rowRecords[s.rowOrder[item.iItem]];
    int currency = item.iSubItem > 0 && item.iSubItem <= s.currencyColumns ? s.columnCurrency[item.iSubItem - 1] : -1;
    if (item.iSubItem == 0)
        formatDay(out, capacity, row.code);
    else if (currency >= 0)
        formatRate(out, capacity, rateForNominal(row.rates[currency], s.shownRates.rates[currency].nominal),
                   settings.historyDigits, useHistoryComma());
}

static void sortTable(int listColumn)
{
    RatesDialogState& s = ratesDialog;
    if (listColumn < 0 || listColumn > s.currencyColumns) return;
    int column = listColumn == 0 ? 0 : s.columnCurrency[listColumn - 1] + 1;
    if (column == s.sort.column) {
        s.sort.descending = !s.sort.descending;
    } else {
        s.sort.column = column;
        s.sort.descending = 0;
    }
    s.userSorted = true;
    if (!s.rowOrder || s.rowCount < 1) return;
    applySort();
    SendMessageW(s.table, LVM_REDRAWITEMS, 0, s.rowCount - 1);
}

static void activateRow(HWND dialog, int row)
{
    const RatesDialogState& s = ratesDialog;
    if (!s.rowOrder || row < 0 || row >= s.rowCount) return;
    setChosenDay(dialog, s.rowRecords[s.rowOrder[row]]);
    runConversion(dialog);
    showView(dialog, ConverterView);
}

void onTableNotice(HWND dialog, NMHDR* notice)
{
    switch (notice->code) {
    case LVN_GETDISPINFOW:
        fillCell(reinterpret_cast<NMLVDISPINFOW*>(notice));
        break;
    case LVN_COLUMNCLICK:
        sortTable(reinterpret_cast<NMLISTVIEW*>(notice)->iSubItem);
        break;
    case LVN_ITEMACTIVATE:
        activateRow(dialog, reinterpret_cast<NMITEMACTIVATE*>(notice)->iItem);
        break;
    }
}

// The text is counted first and made in a block of just that size: the
// clipboard's copy is the only other one.
void copyTable(HWND dialog)
{
    const RatesDialogState& s = ratesDialog;
    size_t length = composeTableText(nullptr, 0, s.rowRecords, s.rowOrder, s.rowCount, s.shownRates,
                                     settings.historyDigits, useHistoryComma());
    auto* text = static_cast<char16_t*>(std::malloc((length + 1) * sizeof(char16_t)));
    if (!text) return;
    length = composeTableText(text, length + 1, s.rowRecords, s.rowOrder, s.rowCount, s.shownRates,
                              settings.historyDigits, useHistoryComma());
    if (length > 0) putClipboardText(dialog, wide(text), int(length + 1));
    std::free(text);
}
