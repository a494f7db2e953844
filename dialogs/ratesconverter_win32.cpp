// The rates dialog's converter: an amount from one currency (or the rouble) into
// another at the chosen day's rates, while the user types.
#include <cmath>

#include "data/settings.h"
#include "dialogs/core/converter.h"
#include "dialogs/core/historytable.h"
#include "dialogs/ratesdialog.h"
#include "platform/clipboard.h"

constexpr int PasteTextUnits = 1024;  // more than the amount field reads: a longer text converts as 0

void setChosenDay(HWND dialog, const DayRates& day)
{
    ratesDialog.chosenRates = day;
    char16_t text[CellTextUnits];
    formatDay(text, CellTextUnits, day.code);
    SetDlgItemTextW(dialog, IDC_RATES_DATE, wide(text));
}

// The list's position; no selection counts as the rouble.
static int8_t chosenPosition(HWND dialog, int list)
{
    LRESULT position = SendDlgItemMessageW(dialog, list, CB_GETCURSEL, 0, 0);
    if (position < 0 || position >= ConverterPositions) return 0;
    return static_cast<int8_t>(position);
}

void runConversion(HWND dialog)
{
    RatesDialogState& s = ratesDialog;
    s.inputAmount = 0.0;
    s.fromIndex = chosenPosition(dialog, IDC_CONVERT_FROM);
    s.toIndex = chosenPosition(dialog, IDC_CONVERT_TO);
    // One unit more than is read: a text that fills it is too long to be an amount.
    char16_t input[AmountTextChars + 2];
    GetDlgItemTextW(dialog, IDC_AMOUNT, wide(input), AmountTextChars + 2);
    char16_t result[NumberTextUnits];
    s.inputAmount = convertAmount(input, s.chosenRates, s.fromIndex, s.toIndex, settings.historyDigits, result,
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
    int8_t from = ratesDialog.fromIndex, to = ratesDialog.toIndex;
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

void addCurrencyChoice(HWND dialog, const wchar_t* text)
{
    SendDlgItemMessageW(dialog, IDC_CONVERT_FROM, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendDlgItemMessageW(dialog, IDC_CONVERT_TO, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

// The lists ("RUB" first), the saved currencies and amount; the amount field's
// update notice makes the first conversion.
void setUpConverter(HWND dialog)
{
    addCurrencyChoice(dialog, L"RUB");
    for (int i = 0; i < CurrencyCount; ++i) addCurrencyChoice(dialog, reinterpret_cast<const wchar_t*>(symbol[i]));
    selectPosition(dialog, IDC_CONVERT_FROM, settings.converterFrom);
    selectPosition(dialog, IDC_CONVERT_TO, settings.converterTo);
    double amount = std::isfinite(settings.converterAmount) ? settings.converterAmount : 0.0;
    char16_t text[NumberTextUnits];
    formatAmount(text, NumberTextUnits, amount, settings.historyDigits, useHistoryComma());
    SendDlgItemMessageW(dialog, IDC_AMOUNT, EM_SETLIMITTEXT, AmountTextChars, 0);
    SetDlgItemTextW(dialog, IDC_AMOUNT, wide(text));
}

bool onConverterCommand(HWND dialog, int id, int notice)
{
    switch (id) {
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
