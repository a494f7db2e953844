// The rates dialog's chart: one currency over the stored days, drawn by
// chart_win32.cpp into an owner-drawn static; a tap chooses the nearest day.
#include "data/settings.h"
#include "dialogs/chart.h"
#include "dialogs/ratesdialog.h"

constexpr UINT_PTR ChartSubclassId = 0x766F6B33;

void collectChart(HWND dialog)
{
    RatesDialogState& s = ratesDialog;
    s.chartPlot = collectChartPoints(s.rowRecords, s.rowCount, s.chartCurrency, s.shownRates, s.chartPoints, s.rowCount);
    s.chosenPoint = -1;
    InvalidateRect(GetDlgItem(dialog, IDC_CHART), nullptr, FALSE);
}

void drawChartItem(const DRAWITEMSTRUCT* item)
{
    const RatesDialogState& s = ratesDialog;
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(GetParent(item->hwndItem), WM_GETFONT, 0, 0));
    drawChart(item->hDC, item->rcItem, font, s.chartPlot, s.chartPoints, s.chosenPoint, settings.historyDigits,
              useHistoryComma());
}

// A tap on the chart chooses the nearest point; its date and value show at the top.
static LRESULT CALLBACK chartSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    RatesDialogState& s = ratesDialog;
    if (message == WM_LBUTTONDOWN && s.chartPoints) {
        RECT area;
        GetClientRect(window, &area);
        HDC dc = GetDC(window);
        placeChart(dc, area, reinterpret_cast<HFONT>(SendMessageW(GetParent(window), WM_GETFONT, 0, 0)), s.chartPlot,
                   s.chartPoints);
        ReleaseDC(window, dc);
        s.chosenPoint = nearestChartPoint(s.chartPlot, s.chartPoints, short(LOWORD(lParam)));
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    }
    if (message == WM_NCHITTEST) return HTCLIENT;  // a static would let taps fall through
    if (message == WM_NCDESTROY) RemoveWindowSubclass(window, chartSubclass, ChartSubclassId);
    return DefSubclassProc(window, message, wParam, lParam);
}

void setUpChart(HWND dialog)
{
    RatesDialogState& s = ratesDialog;
    s.chartCurrency = settings.chartCurrency < CurrencyCount ? settings.chartCurrency : 0;
    for (int i = 0; i < CurrencyCount; ++i)
        SendDlgItemMessageW(dialog, IDC_CHART_CURRENCY, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(symbol[i]));
    SendDlgItemMessageW(dialog, IDC_CHART_CURRENCY, CB_SETCURSEL, s.chartCurrency, 0);
    SetWindowSubclass(GetDlgItem(dialog, IDC_CHART), chartSubclass, ChartSubclassId, 0);
}

void chooseChartCurrency(HWND dialog)
{
    LRESULT position = SendDlgItemMessageW(dialog, IDC_CHART_CURRENCY, CB_GETCURSEL, 0, 0);
    if (position < 0 || position >= CurrencyCount) return;
    ratesDialog.chartCurrency = uint8_t(position);
    collectChart(dialog);
}
