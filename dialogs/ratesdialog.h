// The rates dialog (template IDD_HISTORY, titled "Курсы"): the stored days in a
// table, a converter at one day's rates, and a chart of one currency. Its
// parameter is the first view: 0 the table, 1 the converter. The dialog's rooms
// (ratesdialog_win32.cpp the shell, ratestable_, ratesconverter_ and
// rateschart_win32.cpp) share one state, ratesDialog, which lives while it is open.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "data/currency.h"
#include "dialogs/core/chart.h"
#include "resources/resource.h"

INT_PTR CALLBACK ratesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

enum RatesView { TableView, ConverterView, ChartView };

struct RatesDialogState {
    HWND table;             // the list view, null while the dialog is not set up
    DayRates* rowRecords;   // the history as it was when the dialog opened (or the fill last added)
    uint16_t* rowOrder;     // table row r shows rowRecords[rowOrder[r]]
    int32_t rowCount;
    int32_t sortColumn;
    uint8_t sortDescending;
    DayRates shownRates;    // the shown day when the dialog opened: the headers' nominals
    DayRates chosenRates;   // the converter's day
    double inputAmount;
    int8_t fromIndex;
    int8_t toIndex;
    ChartPoint* chartPoints;  // one per row
    ChartPlot chartPlot;
    int32_t chosenPoint;
    uint8_t chartCurrency;
    bool fillWanted;  // asked for; it starts once no update holds the worker
    bool fillStarted;
    int32_t fillShownDays;
};
extern RatesDialogState ratesDialog;

bool useHistoryComma();
void showView(HWND dialog, RatesView view);

// The table.
bool takeRows();
void freeRows();
bool refreshRows(HWND dialog);
void placeTable(HWND dialog);
void setUpTable(HWND dialog, const DayRates& shown);
void onTableNotice(HWND dialog, NMHDR* notice);
void copyTable(HWND dialog);

// The converter.
void setUpConverter(HWND dialog);
void setChosenDay(HWND dialog, const DayRates& day);
void runConversion(HWND dialog);
void addCurrencyChoice(HWND dialog, const wchar_t* text);
// True when the command was the converter's.
bool onConverterCommand(HWND dialog, int id, int notice);

// The chart.
void setUpChart(HWND dialog);
void collectChart(HWND dialog);
void drawChartItem(const DRAWITEMSTRUCT* item);
void chooseChartCurrency(HWND dialog);
