// The rates dialog's shell (template IDD_HISTORY): its three views, the menu
// bar's commands, the fill's progress, and what OK keeps. The dialog reads a copy
// of the history taken when it opens, so a day stored by the update worker
// meanwhile can't move rows under the open table (a fill's days are taken as they
// come). Only OK keeps anything: the column widths, the converter's state and the
// chart's currency, in the settings file.
#include <cstring>

#include "data/history.h"
#include "data/settings.h"
#include "dialogs/core/historytable.h"
#include "dialogs/dialogstart.h"
#include "dialogs/ratesdialog.h"
#include "platform/shell.h"
#include "platform/module.h"
#include "update/fill.h"
#include "update/schedule.h"

constexpr UINT_PTR FillTimer = 1;
constexpr UINT FillTimerMs = 250;

RatesDialogState ratesDialog;

bool useHistoryComma() { return (settings.commaFlags & CommaInHistory) != 0; }

// The converter's controls: every child but the table, the chart's and the shell's.
static bool converterControl(HWND child)
{
    int id = GetDlgCtrlID(child);
    return id != IDC_HISTORY_TABLE && id != IDC_CHART && id != IDC_CHART_CURRENCY && id != ShellMenuBarId &&
           id != ShellDoneButtonId;
}

void showView(HWND dialog, RatesView view)
{
    // The table covers the converter; the chart, drawn whole, replaces it.
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (converterControl(child)) ShowWindow(child, view == ChartView ? SW_HIDE : SW_SHOW);
    ShowWindow(GetDlgItem(dialog, IDC_CHART), view == ChartView ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_CHART_CURRENCY), view == ChartView ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_HISTORY_TABLE), view == TableView ? SW_SHOW : SW_HIDE);
    SHSipPreference(dialog, view == ConverterView ? SIP_UP : SIP_FORCEDOWN);
    int focus = view == ConverterView ? IDC_AMOUNT : view == ChartView ? IDC_CHART_CURRENCY : IDC_HISTORY_TABLE;
    SetFocus(GetDlgItem(dialog, focus));
}

// --- The fill ---------------------------------------------------------------------

// "Курсы"; while a fill is wanted its requests ("Курсы  7 / 18"); after a
// failed one "Курсы  ошибка".
static void showFillProgress(HWND dialog, bool running)
{
    char16_t caption[48];
    composeRatesCaption(caption, 48, running ? fillRequests() : -1, fillPlannedRequests(),
                        !running && fillOutcome() == FillFailed);
    SetWindowTextW(dialog, reinterpret_cast<wchar_t*>(caption));
}

static void endFillTimer(HWND dialog)
{
    ratesDialog.fillWanted = ratesDialog.fillStarted = false;
    KillTimer(dialog, FillTimer);
}

static void fillTick(HWND dialog)
{
    RatesDialogState& s = ratesDialog;
    if (s.fillWanted && !s.fillStarted) s.fillStarted = startFill();
    DayCode oldest;
    int32_t days = storedDaySummary(oldest);
    if (days != s.fillShownDays) {
        s.fillShownDays = days;
        if (!refreshRows(dialog)) {
            EndDialog(dialog, 0);
            return;
        }
    }
    if (s.fillStarted && !fillRunning()) {
        endFillTimer(dialog);
        showFillProgress(dialog, false);
        return;
    }
    showFillProgress(dialog, true);
}

// The first tap starts a fill (as soon as no update runs), the next one stops it.
static void toggleFill(HWND dialog)
{
    RatesDialogState& s = ratesDialog;
    if (s.fillWanted) {
        stopFill();
        if (!s.fillStarted) {
            endFillTimer(dialog);
            char16_t caption[48];
            composeRatesCaption(caption, 48, -1, 0, false);
            SetWindowTextW(dialog, reinterpret_cast<wchar_t*>(caption));
        }
        return;
    }
    s.fillWanted = true;
    s.fillShownDays = -1;
    SetTimer(dialog, FillTimer, FillTimerMs, nullptr);
    fillTick(dialog);
}

// --- Opening and closing ---------------------------------------------------------

static void onInit(HWND dialog, LPARAM firstView)
{
    RatesDialogState& s = ratesDialog;
    RatesSort kept = s.sort;
    s = RatesDialogState{};
    s.sort = kept;
    s.chosenPoint = -1;
    setUpFullScreenDialog(dialog, IDR_HISTORY_MENUBAR);
    DayCode shownDay;
    readShownRates(shownDay, s.shownRates);
    setChosenDay(dialog, s.shownRates);
    if (!takeRows()) {
        EndDialog(dialog, 0);
        return;
    }
    setUpTable(dialog, s.shownRates);
    SendMessageW(s.table, LVM_SETITEMCOUNT, WPARAM(s.rowCount), 0);
    setUpConverter(dialog);
    setUpChart(dialog);
    collectChart(dialog);
    showView(dialog, firstView != 0 ? ConverterView : TableView);
}

static void saveAndEnd(HWND dialog)
{
    RatesDialogState& s = ratesDialog;
    uint16_t widths[HistoryColumns];
    for (int c = 0; c < HistoryColumns; ++c)
        widths[c] = s.table ? LOWORD(SendMessageW(s.table, LVM_GETCOLUMNWIDTH, WPARAM(c), 0))
                            : settings.historyColumnWidths[c];
    keepExtraColumnWidths();
    // Every writer of the settings record takes the lock a download reads it under.
    lockHistory();
    std::memcpy(settings.historyColumnWidths, widths, sizeof widths);
    settings.converterAmount = s.inputAmount;
    settings.converterFrom = s.fromIndex;
    settings.converterTo = s.toIndex;
    settings.chartCurrency = s.chartCurrency;
    unlockHistory();
    saveSettingsFile();
    s.table = nullptr;
    EndDialog(dialog, 1);
}

static void cancelAndEnd(HWND dialog)
{
    ratesDialog.table = nullptr;
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
    }
    return onConverterCommand(dialog, id, notice);
}

INT_PTR CALLBACK ratesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
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
        if (ratesDialog.fillWanted) stopFill();
        endFillTimer(dialog);
        freeRows();
        ratesDialog.table = nullptr;
        return FALSE;
    }
    return FALSE;
}
