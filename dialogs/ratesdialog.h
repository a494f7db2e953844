// The rates dialog (template IDD_HISTORY, titled "Курсы"): the stored days in a
// table, a converter at one day's rates, and a chart of one currency. Its
// parameter is the first view: 0 the table, 1 the converter. The dialog's rooms
// (ratesdialog_win32.cpp the shell, ratestable_, ratesconverter_ and
// rateschart_win32.cpp) share one state, ratesDialog, which lives while it is open
// (its sort as long as the module).
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "data/currency.h"
#include "dialogs/core/chart.h"
#include "resources/resource.h"

INT_PTR CALLBACK ratesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

enum RatesView { TableView, ConverterView, ChartView };

// The table's sort: what the last sort went by (0 the date, c the currency c - 1)
// and its direction. It
// lasts as long as the module, across openings: the first tap on "Дата" in a
// module's life sorts oldest first.
struct RatesSort {
    int32_t column = 0;
    uint8_t descending = 1;
};

struct RatesDialogState {
    HWND table;             // the list view, null while the dialog is not set up
    DayRates* rowRecords;   // the history as it was when the dialog opened (or the fill last added)
    uint16_t* rowOrder;     // table row r shows rowRecords[rowOrder[r]]
    int32_t rowCount;
    uint8_t columnCurrency[CurrencyCount];  // list column c + 1 shows this currency
    int32_t currencyColumns;  // the list's columns after the date
    RatesSort sort;         // kept when the dialog opens again
    bool userSorted;        // this opening's rows follow sort; until then the store's order
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

// The core's UTF-16 text as the platform's wide text.
inline wchar_t* wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

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
// The widths of the columns past the settings' own, kept for the module's life.
void keepExtraColumnWidths();

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
