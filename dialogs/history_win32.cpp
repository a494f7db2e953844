// The rates history and converter dialog (template IDD_HISTORY): every stored day in a
// table sortable by any column, a converter at one chosen day's rates, and a chart
// of one currency over the stored days. The table goes to the clipboard as text,
// and a fill fetches the days before the oldest one until the store is full. The
// dialog reads a copy of the history taken when it opens, so a day stored by the
// update worker meanwhile can't move rows under the open table. Only OK keeps
// anything: the column widths, the converter's state and the chart's currency, in
// the settings file.
#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "data/history.h"
#include "data/settings.h"
#include "dialogs/chart.h"
#include "dialogs/core/converter.h"
#include "dialogs/core/historytable.h"
#include "dialogs/dialogstart.h"
#include "dialogs/history.h"
#include "platform/clipboard.h"
#include "platform/shell.h"
#include "platform/testhooks.h"
#include "platform/text16.h"
#include "platform/module.h"
#include "resources/resource.h"
#include "update/fill.h"
#include "update/schedule.h"

enum HistoryView { TableView, ConverterView, ChartView };
constexpr UINT_PTR FillTimer = 1;
constexpr UINT FillTimerMs = 250;
constexpr UINT_PTR ChartSubclassId = 0x766F6B33;
constexpr int PasteTextUnits = 1024;  // more than the amount field reads: a longer text converts as 0

#ifdef VOK_TEST
bool historyRowsUnavailable;
#endif

static HWND historyList;
static uint16_t* rowOrder;  // table row r shows rowRecords[rowOrder[r]]
static int32_t rowCount;
static DayRates* rowRecords;  // the history as it was when the dialog opened
static int32_t sortColumn;
static uint8_t sortDescending = 1;
static DayRates chosenRates;
static double inputAmount;
static int8_t fromIndex;
static int8_t toIndex;
static DayRates shownRates;     // the shown day when the dialog opened: the headers' nominals
static ChartPoint* chartPoints;  // one per row
static ChartPlot chartPlot;
static int32_t chosenPoint = -1;
static uint8_t chartCurrency;
static bool fillWanted;    // asked for; it starts once no update holds the worker
static bool fillStarted;
static int32_t fillShownDays = -1;

static bool useComma() { return (settings.commaFlags & CommaInHistory) != 0; }

static wchar_t* wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

// --- The two views ---------------------------------------------------------------

static void setChosenDay(HWND dialog, const DayRates& day)
{
    chosenRates = day;
    char16_t text[CellTextUnits];
    formatDay(text, CellTextUnits, day.code);
    SetDlgItemTextW(dialog, IDC_RATES_DATE, wide(text));
}

// The converter's controls: every child but the table, the chart's and the shell's.
static bool converterControl(HWND child)
{
    int id = GetDlgCtrlID(child);
    return id != IDC_HISTORY_TABLE && id != IDC_CHART && id != IDC_CHART_CURRENCY && id != ShellMenuBarId &&
           id != ShellDoneButtonId;
}

static void showView(HWND dialog, HistoryView view)
{
    HWND list = GetDlgItem(dialog, IDC_HISTORY_TABLE);
    // The table covers the converter; the chart, drawn whole, replaces it.
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (converterControl(child)) ShowWindow(child, view == ChartView ? SW_HIDE : SW_SHOW);
    ShowWindow(GetDlgItem(dialog, IDC_CHART), view == ChartView ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_CHART_CURRENCY), view == ChartView ? SW_SHOW : SW_HIDE);
    ShowWindow(list, view == TableView ? SW_SHOW : SW_HIDE);
    SHSipPreference(dialog, view == ConverterView ? SIP_UP : SIP_FORCEDOWN);
    SetFocus(GetDlgItem(dialog, view == ConverterView ? IDC_AMOUNT : view == ChartView ? IDC_CHART_CURRENCY : IDC_HISTORY_TABLE));
}

// The table fills the dialog above its menu bar, 5 pixels from every edge; the
// chart the same room below its currency list.
static void placeTable(HWND dialog)
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

// --- Converter -------------------------------------------------------------------

// The list's position; no selection counts as the rouble.
static int8_t chosenPosition(HWND dialog, int list)
{
    LRESULT position = SendDlgItemMessageW(dialog, list, CB_GETCURSEL, 0, 0);
    if (position < 0 || position >= ConverterPositions) return 0;
    return static_cast<int8_t>(position);
}

static void runConversion(HWND dialog)
{
    inputAmount = 0.0;
    fromIndex = chosenPosition(dialog, IDC_CONVERT_FROM);
    toIndex = chosenPosition(dialog, IDC_CONVERT_TO);
    // One unit more than is read: a text that fills it is too long to be an amount.
    char16_t input[AmountTextChars + 2];
    GetDlgItemTextW(dialog, IDC_AMOUNT, wide(input), AmountTextChars + 2);
    char16_t result[NumberTextUnits];
    inputAmount = convertAmount(input, chosenRates, fromIndex, toIndex, settings.historyDigits, result,
                                NumberTextUnits);
    SetDlgItemTextW(dialog, IDC_RESULT, wide(result));
}

static void selectPosition(HWND dialog, int list, int position)
{
    if (position < 0 || position >= ConverterPositions) position = 0;
    SendDlgItemMessageW(dialog, list, CB_SETCURSEL, WPARAM(position), 0);
}

static void swapCurrencies(HWND dialog)
{
    int8_t from = fromIndex, to = toIndex;
    selectPosition(dialog, IDC_CONVERT_FROM, to);
    selectPosition(dialog, IDC_CONVERT_TO, from);
    runConversion(dialog);
}

static void pasteAmount(HWND dialog)
{
    wchar_t text[PasteTextUnits];
    text[0] = 0;
    if (!OpenClipboard(dialog)) return;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const wchar_t* source = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (source) {
        // Clipboard text need not end in a NUL: never read past the block.
        SIZE_T units = GlobalSize(data) / sizeof(wchar_t);
        size_t n = 0;
        for (; n < units && n + 1 < PasteTextUnits && source[n]; ++n) text[n] = source[n];
        text[n] = 0;
        GlobalUnlock(data);
    }
    CloseClipboard();
    if (text[0]) SetDlgItemTextW(dialog, IDC_AMOUNT, text);
}

static void copyResult(HWND dialog)
{
    wchar_t text[AmountTextChars + 1];
    text[0] = 0;
    GetDlgItemTextW(dialog, IDC_RESULT, text, AmountTextChars + 1);
    putClipboardText(dialog, text, AmountTextChars + 1);
}

static void clearAmount(HWND dialog)
{
    SetDlgItemTextW(dialog, IDC_AMOUNT, L"");
    SetFocus(GetDlgItem(dialog, IDC_AMOUNT));
}

// --- Table -----------------------------------------------------------------------

static void freeRows()
{
    std::free(rowOrder);
    std::free(rowRecords);
    std::free(chartPoints);
    rowOrder = nullptr;
    rowRecords = nullptr;
    chartPoints = nullptr;
    rowCount = 0;
    chartPlot = ChartPlot{0, -1, -1, -1, 1};
}

// Copies the history and makes the row index in the store's order. False when
// there is no memory for either.
static bool takeRows()
{
    freeRows();
    int32_t capacity = history.capacity;
    if (capacity < 1 || capacity > MaxHistoryLength) capacity = 0;
    rowRecords = static_cast<DayRates*>(std::calloc(capacity > 0 ? capacity : 1, sizeof(DayRates)));
    if (!rowRecords) return false;
    int32_t copied = copyHistory(rowRecords, capacity);
    rowCount = countRows(rowRecords, copied);
#ifdef VOK_TEST
    if (!historyRowsUnavailable)
#endif
        rowOrder = static_cast<uint16_t*>(std::calloc(rowCount > 0 ? rowCount : 1, sizeof(uint16_t)));
    chartPoints = static_cast<ChartPoint*>(std::calloc(rowCount > 0 ? rowCount : 1, sizeof(ChartPoint)));
    if (!rowOrder || !chartPoints) {
        freeRows();
        return false;
    }
    for (int32_t r = 0; r < rowCount; ++r) rowOrder[r] = static_cast<uint16_t>(r);
    return true;
}

// --- Chart -----------------------------------------------------------------------

static void collectChart(HWND dialog)
{
    chartPlot = collectChartPoints(rowRecords, rowCount, chartCurrency, shownRates, chartPoints, rowCount);
    chosenPoint = -1;
    InvalidateRect(GetDlgItem(dialog, IDC_CHART), nullptr, FALSE);
}

static void drawChartItem(const DRAWITEMSTRUCT* item)
{
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(GetParent(item->hwndItem), WM_GETFONT, 0, 0));
    drawChart(item->hDC, item->rcItem, font, chartPlot, chartPoints, chosenPoint, settings.historyDigits,
              useComma());
}

// A tap on the chart chooses the nearest point; its date and value show at the top.
static LRESULT CALLBACK chartSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_LBUTTONDOWN && chartPoints) {
        RECT area;
        GetClientRect(window, &area);
        HDC dc = GetDC(window);
        placeChart(dc, area, reinterpret_cast<HFONT>(SendMessageW(GetParent(window), WM_GETFONT, 0, 0)), chartPlot,
                   chartPoints);
        ReleaseDC(window, dc);
        chosenPoint = nearestChartPoint(chartPlot, chartPoints, short(LOWORD(lParam)));
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    }
    if (message == WM_NCHITTEST) return HTCLIENT;  // a static would let taps fall through
    if (message == WM_NCDESTROY) RemoveWindowSubclass(window, chartSubclass, ChartSubclassId);
    return DefSubclassProc(window, message, wParam, lParam);
}

static void setUpChart(HWND dialog)
{
    chartCurrency = settings.chartCurrency < CurrencyCount ? settings.chartCurrency : 0;
    for (int i = 0; i < CurrencyCount; ++i)
        SendDlgItemMessageW(dialog, IDC_CHART_CURRENCY, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(symbol[i]));
    SendDlgItemMessageW(dialog, IDC_CHART_CURRENCY, CB_SETCURSEL, chartCurrency, 0);
    SetWindowSubclass(GetDlgItem(dialog, IDC_CHART), chartSubclass, ChartSubclassId, 0);
}

static void chooseChartCurrency(HWND dialog)
{
    LRESULT position = SendDlgItemMessageW(dialog, IDC_CHART_CURRENCY, CB_GETCURSEL, 0, 0);
    if (position < 0 || position >= CurrencyCount) return;
    chartCurrency = uint8_t(position);
    collectChart(dialog);
}

// --- The table as text and the fill ---------------------------------------------

static void copyTable(HWND dialog)
{
    size_t units = tableTextUnits(rowCount);
    auto* text = static_cast<char16_t*>(std::malloc(units * sizeof(char16_t)));
    if (!text) return;
    size_t length = composeTableText(text, units, rowRecords, rowOrder, rowCount, shownRates,
                                     settings.historyDigits, useComma());
    if (length > 0) putClipboardText(dialog, wide(text), int(length + 1));
    std::free(text);
}

// The rows again from the store, as days arrive; false without memory.
static bool refreshRows(HWND dialog)
{
    if (!takeRows()) return false;
    SendMessageW(historyList, LVM_SETITEMCOUNT, WPARAM(rowCount), 0);
    InvalidateRect(historyList, nullptr, FALSE);
    collectChart(dialog);
    return true;
}

// "Курсы", or "Курсы  7 / 15" while a fill is wanted.
static void showFillProgress(HWND dialog, int32_t days)
{
    char16_t caption[48] = u"\x041A\x0443\x0440\x0441\x044B";  // "Курсы"
    if (days >= 0) {
        char numbers[32];
        size_t used = formatWhole(numbers, sizeof numbers, days, 0);
        numbers[used++] = ' ';
        numbers[used++] = '/';
        numbers[used++] = ' ';
        formatWhole(numbers + used, sizeof numbers - used, history.capacity, 0);
        copy16(caption + 5, 43, u"  ");
        widen16(caption + 7, 41, numbers);
    }
    SetWindowTextW(dialog, wide(caption));
}

static void fillTick(HWND dialog)
{
    if (fillWanted && !fillStarted) fillStarted = startFill();
    DayCode oldest;
    int32_t days = storedDaySummary(oldest);
    if (days != fillShownDays) {
        fillShownDays = days;
        if (!refreshRows(dialog)) {
            EndDialog(dialog, 0);
            return;
        }
    }
    if (fillStarted && !fillRunning()) {
        fillWanted = fillStarted = false;
        KillTimer(dialog, FillTimer);
        showFillProgress(dialog, -1);
        return;
    }
    showFillProgress(dialog, days);
}

// The first tap starts a fill (as soon as no update runs), the next one stops it.
static void toggleFill(HWND dialog)
{
    if (fillWanted) {
        stopFill();
        if (!fillStarted) {
            fillWanted = false;
            KillTimer(dialog, FillTimer);
            showFillProgress(dialog, -1);
        }
        return;
    }
    fillWanted = true;
    fillShownDays = -1;
    SetTimer(dialog, FillTimer, FillTimerMs, nullptr);
    fillTick(dialog);
}

static void addColumn(HWND list, int column, const wchar_t* header)
{
    LVCOLUMNW info = {};
    info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    info.fmt = column == 0 ? LVCFMT_LEFT : LVCFMT_CENTER;
    info.cx = settings.historyColumnWidths[column];
    info.pszText = const_cast<wchar_t*>(header);
    info.iSubItem = column;
    SendMessageW(list, LVM_INSERTCOLUMNW, WPARAM(column), reinterpret_cast<LPARAM>(&info));
}

static void addCurrencyChoice(HWND dialog, const wchar_t* text)
{
    SendDlgItemMessageW(dialog, IDC_CONVERT_FROM, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendDlgItemMessageW(dialog, IDC_CONVERT_TO, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

// The columns' headers come from the shown day, whichever days the rows hold.
static void setUpColumns(HWND dialog, const DayRates& shown)
{
    addColumn(historyList, 0, L"\x0414\x0430\x0442\x0430");  // "Дата"
    for (int i = 0; i < CurrencyCount; ++i) {
        char16_t header[CellTextUnits];
        formatColumnHeader(header, CellTextUnits, i, shown.rates[i].nominal);
        addColumn(historyList, i + 1, wide(header));
        addCurrencyChoice(dialog, reinterpret_cast<const wchar_t*>(symbol[i]));
    }
}

static void fillCell(NMLVDISPINFOW* info)
{
    LVITEMW& item = info->item;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
    auto* out = reinterpret_cast<char16_t*>(item.pszText);
    size_t capacity = static_cast<size_t>(item.cchTextMax);
    out[0] = 0;
    if (!rowOrder || item.iItem < 0 || item.iItem >= rowCount) return;
    const DayRates& row = rowRecords[rowOrder[item.iItem]];
    if (item.iSubItem == 0)
        formatDay(out, capacity, row.code);
    else if (item.iSubItem > 0 && item.iSubItem < TableColumns)
        formatRate(out, capacity, row.rates[item.iSubItem - 1].rate, settings.historyDigits, useComma());
}

static int compareOrder(const void* a, const void* b)
{
    const DayRates& rowA = rowRecords[*static_cast<const uint16_t*>(a)];
    const DayRates& rowB = rowRecords[*static_cast<const uint16_t*>(b)];
    return compareRows(rowA, rowB, sortColumn, sortDescending != 0);
}

static void sortTable(int column)
{
    if (column < 0 || column >= TableColumns) return;
    if (column == sortColumn) {
        sortDescending = !sortDescending;
    } else {
        sortColumn = column;
        sortDescending = 0;
    }
    if (!rowOrder || rowCount < 1) return;
    std::qsort(rowOrder, static_cast<size_t>(rowCount), sizeof(uint16_t), compareOrder);
    SendMessageW(historyList, LVM_REDRAWITEMS, 0, rowCount - 1);
}

static void activateRow(HWND dialog, int row)
{
    if (!rowOrder || row < 0 || row >= rowCount) return;
    setChosenDay(dialog, rowRecords[rowOrder[row]]);
    runConversion(dialog);
    showView(dialog, ConverterView);
}

static void onTableNotice(HWND dialog, NMHDR* notice)
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

// --- Opening and closing ---------------------------------------------------------

static void setInitialAmount(HWND dialog)
{
    double amount = std::isfinite(settings.converterAmount) ? settings.converterAmount : 0.0;
    char16_t text[NumberTextUnits];
    formatAmount(text, NumberTextUnits, amount, settings.historyDigits, useComma());
    SendDlgItemMessageW(dialog, IDC_AMOUNT, EM_SETLIMITTEXT, AmountTextChars, 0);
    // The field's update notice makes the first conversion.
    SetDlgItemTextW(dialog, IDC_AMOUNT, wide(text));
}

static void onInit(HWND dialog, LPARAM firstView)
{
    historyList = nullptr;
    setUpFullScreenDialog(dialog, IDR_HISTORY_MENUBAR);
    DayCode shownDay;
    DayRates shown;
    readShownRates(shownDay, shown);
    shownRates = shown;
    fillWanted = fillStarted = false;
    setChosenDay(dialog, shown);
    addCurrencyChoice(dialog, L"RUB");

    historyList = GetDlgItem(dialog, IDC_HISTORY_TABLE);
    SetWindowPos(historyList, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(historyList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    setUpColumns(dialog, shown);
    placeTable(dialog);

    if (!takeRows()) {
        historyList = nullptr;
        EndDialog(dialog, 0);
        return;
    }
    SendMessageW(historyList, LVM_SETITEMCOUNT, WPARAM(rowCount), 0);
    selectPosition(dialog, IDC_CONVERT_FROM, settings.converterFrom);
    selectPosition(dialog, IDC_CONVERT_TO, settings.converterTo);
    setInitialAmount(dialog);
    setUpChart(dialog);
    collectChart(dialog);
    showView(dialog, firstView != 0 ? ConverterView : TableView);
}

static void saveAndEnd(HWND dialog)
{
    for (int c = 0; c < TableColumns && historyList; ++c)
        settings.historyColumnWidths[c] = LOWORD(SendMessageW(historyList, LVM_GETCOLUMNWIDTH, WPARAM(c), 0));
    settings.converterAmount = inputAmount;
    settings.converterFrom = fromIndex;
    settings.converterTo = toIndex;
    settings.chartCurrency = chartCurrency;
    saveSettingsFile();
    historyList = nullptr;
    EndDialog(dialog, 1);
}

static void cancelAndEnd(HWND dialog)
{
    historyList = nullptr;
    EndDialog(dialog, IDM_CANCEL);
}

static bool onCommand(HWND dialog, WPARAM wParam)
{
    int id = LOWORD(wParam), notice = HIWORD(wParam);
    switch (id) {
    case IDOK: saveAndEnd(dialog); return true;
    case IDCANCEL:  // the close box and Esc: as "Отмена"
    case IDM_CANCEL: cancelAndEnd(dialog); return true;
    case IDM_TABLE: showView(dialog, TableView); return true;
    case IDM_CONVERTER: showView(dialog, ConverterView); return true;
    case IDM_CHART: showView(dialog, ChartView); return true;
    case IDM_COPY_TABLE: copyTable(dialog); return true;
    case IDM_FILL: toggleFill(dialog); return true;
    case IDC_CHART_CURRENCY:
        if (notice != CBN_SELENDOK) return false;
        chooseChartCurrency(dialog);
        return true;
    case IDC_AMOUNT:
        if (notice == EN_CHANGE) return false;
        runConversion(dialog);
        return true;
    case IDC_CONVERT_FROM:
    case IDC_CONVERT_TO:
        if (notice != CBN_SELENDOK) return false;
        runConversion(dialog);
        return true;
    }
    if (notice != BN_CLICKED) return false;
    switch (id) {
    case IDC_PASTE_AMOUNT: pasteAmount(dialog); return true;
    case IDC_COPY_RESULT: copyResult(dialog); return true;
    case IDC_CLEAR_AMOUNT: clearAmount(dialog); return true;
    case IDC_SWAP_CURRENCIES: swapCurrencies(dialog); return true;
    }
    return false;
}

INT_PTR CALLBACK historyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        onInit(dialog, lParam);
        return FALSE;  // the focus is set by the first view
    case WM_SIZE:
        placeTable(dialog);
        return FALSE;
    case WM_NOTIFY: {
        auto* notice = reinterpret_cast<NMHDR*>(lParam);
        if (!notice || notice->idFrom != IDC_HISTORY_TABLE) return FALSE;
        onTableNotice(dialog, notice);
        return TRUE;
    }
    case WM_COMMAND:
        return onCommand(dialog, wParam) ? TRUE : FALSE;
    case WM_DRAWITEM:
        if (wParam != IDC_CHART) return FALSE;
        drawChartItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_TIMER:
        if (wParam != FillTimer) return FALSE;
        fillTick(dialog);
        return TRUE;
    case WM_CLOSE:
        cancelAndEnd(dialog);
        return TRUE;
    case WM_DESTROY:
        // A fill ends with the dialog that shows it.
        if (fillWanted) stopFill();
        fillWanted = fillStarted = false;
        KillTimer(dialog, FillTimer);
        freeRows();
        historyList = nullptr;
        return FALSE;
    }
    return FALSE;
}
