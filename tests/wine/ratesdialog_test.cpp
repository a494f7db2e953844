// The rates dialog ("Курсы": table, converter, chart), opened as the panel opens it and driven
// by control id and message from a timer inside its modal loop.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "data/history.h"
#include "platform/testhooks.h"
#include "platform/shell.h"
#include "platform/module.h"
#include "plugin/panel.h"
#include "dialogs/chart.h"
#include "dialogs/dialogstart.h"
#include "dialogs/ratesdialog.h"
#include "resources/resource.h"
#include "update/fill.h"
#include "update/schedule.h"
#include "harness.h"

namespace {

constexpr int Eur = 0, Usd = 1, Jpy = 3;
const wchar_t* const Title = L"Курсы";

// --- Running a modal dialog's steps ------------------------------------------------

// The driver of the history dialogs of this thread: its steps run once, on the
// next one that opens, and "Отмена" closes it after them.
ModalDriver historyDriver(60000);

void whenOpen(std::function<void(HWND)> steps)
{
    historyDriver.clear();
    historyDriver.on({Title, std::move(steps), false, false, true, IDM_CANCEL}).start();
}

bool stepsRan() { return historyDriver.seen() > 0; }

// --- Reading and working the controls ----------------------------------------------

HWND table(HWND dialog) { return GetDlgItem(dialog, IDC_HISTORY_TABLE); }

int rowCountOf(HWND dialog) { return int(SendMessageW(table(dialog), LVM_GETITEMCOUNT, 0, 0)); }

std::wstring dateColumn(HWND dialog)
{
    std::wstring all;
    for (int r = 0; r < rowCountOf(dialog); ++r) all += tableCell(dialog, r, 0).substr(0, 2) + L" ";
    return all;
}

HWND header(HWND dialog) { return reinterpret_cast<HWND>(SendMessageW(table(dialog), LVM_GETHEADER, 0, 0)); }

std::wstring headerText(HWND dialog, int column)
{
    wchar_t buffer[32] = L"";
    HDITEMW item = {};
    item.mask = HDI_TEXT;
    item.pszText = buffer;
    item.cchTextMax = 32;
    SendMessageW(header(dialog), HDM_GETITEMW, WPARAM(column), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

void doubleTapRow(HWND dialog, int row)
{
    HWND list = table(dialog);
    RECT item = {LVIR_LABEL, 0, 0, 0};
    SendMessageW(list, LVM_GETITEMRECT, WPARAM(row), reinterpret_cast<LPARAM>(&item));
    LPARAM at = MAKELPARAM(item.left + 5, (item.top + item.bottom) / 2);
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(list, WM_LBUTTONUP, 0, at);
    SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(list, WM_LBUTTONUP, 0, at);
}

HWND barButton(HWND dialog, int command)
{
    HWND bar = GetDlgItem(dialog, ShellMenuBarId);
    return bar ? GetDlgItem(bar, command) : nullptr;
}

// Puts bytes on the clipboard as Unicode text, then taps "Клип->".
void paste(HWND dialog, const void* data, size_t bytes)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes ? bytes : 1);
    ASSERT_NE(block, nullptr);
    std::memcpy(GlobalLock(block), data, bytes);
    GlobalUnlock(block);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
    CloseClipboard();
    click(dialog, IDC_PASTE_AMOUNT);
}

void paste(HWND dialog, const std::wstring& text) { paste(dialog, text.c_str(), (text.size() + 1) * sizeof(wchar_t)); }

// --- The history -------------------------------------------------------------------

DayRates rates(int day, float eur, float usd)
{
    DayRates r = dayOf(makeDayCode(day, 12, 2026), eur, usd);
    r.rates[Jpy] = {100, 20.0f + day};
    return r;
}

struct RatesDialog : ::testing::Test {
    PluginFolder folder;
    HWND owner = nullptr;
    // OK writes beside this test binary: kept, and the test starts without it.
    KeptFile keptSettings{buildFolder() + L"\\vokCurrency.set"};
    const std::wstring& settingsPath = keptSettings.path;
    const std::wstring hisPath = folder.file(L"vokCurrency.his");
    const std::u16string his{hisPath.begin(), hisPath.end()};

    void SetUp() override
    {
        moduleInstance = GetModuleHandleW(nullptr);
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        setDefaultSettings(settings, 96);
        historyRowsUnavailable = false;
        resetSchedule();
        schedulePlatform = SchedulePlatform{};
        schedulePlatform.localTime = [](LocalTime& t) { t = LocalTime{2026, 12, 8, 10, 0}; };
        loadHistory(his.c_str(), 15);
        owner = makeTodayScreen(L"host");
    }
    void TearDown() override
    {
        historyDriver.clear();
        DestroyWindow(owner);
        freeHistory();
        historyRowsUnavailable = false;
        schedulePlatform = SchedulePlatform{};
    }
    // Stored as 3, 1, 7, 4 (late) and 8 December: slot order 8, 7, 4, 3, 1. Tuesday
    // 8 December is today and the shown day.
    void storeFiveDays()
    {
        for (const DayRates& day : {rates(3, 90.3f, 80.5f), rates(1, 90.1f, 80.2f), rates(7, 90.7f, 79.9f),
                                    rates(4, 90.4f, 80.4f), rates(8, 90.8f, 80.1f)})
            storeDay(day);
        refreshTick();
    }
    INT_PTR open(LPARAM view, std::function<void(HWND)> steps)
    {
        whenOpen(std::move(steps));
        INT_PTR result = openDialog(IDD_HISTORY, ratesDialogProc, owner, view);
        EXPECT_TRUE(stepsRan()) << "the dialog never showed";
        EXPECT_FALSE(threadDialog(Title)) << "the dialog is gone when the call returns";
        return result;
    }
    // Opens the dialog, runs the steps and then the command that ends it, OK (1) or
    // "Отмена", which must be what it returns.
    void openThen(int command, LPARAM view, std::function<void(HWND)> steps)
    {
        EXPECT_EQ(open(view, [command, steps = std::move(steps)](HWND dialog) {
                      steps(dialog);
                      SendMessageW(dialog, WM_COMMAND, command, 0);
                  }), command);
    }
};

TEST_F(RatesDialog, TableViewListsEveryStoredDayNewestFirst)
{
    storeFiveDays();
    settings.historyColumnWidths[0] = 70;
    openThen(IDM_CANCEL, 0, [](HWND dialog) {
        EXPECT_TRUE(visible(table(dialog)));
        EXPECT_EQ(GetFocus(), table(dialog));
        EXPECT_EQ(shellLastSipPreference(), SIP_FORCEDOWN);
        ASSERT_EQ(rowCountOf(dialog), 5);
        EXPECT_EQ(dateColumn(dialog), L"08 07 04 03 01 ");
        EXPECT_EQ(tableCell(dialog, 0, 0), L"08/12/2026");
        // Rates with historyDigits 4 and the table's decimal comma (commaFlags bit 2).
        EXPECT_EQ(tableCell(dialog, 1, Usd + 1), L"79,9000");
        EXPECT_EQ(tableCell(dialog, 1, Jpy + 1), L"27,0000");
        EXPECT_EQ(tableCell(dialog, 1, 5), L"0,0000");  // a currency the day lacked

        EXPECT_EQ(SendMessageW(header(dialog), HDM_GETITEMCOUNT, 0, 0), 18);
        EXPECT_EQ(headerText(dialog, 0), L"Дата");
        EXPECT_EQ(headerText(dialog, Eur + 1), L"€");
        EXPECT_EQ(headerText(dialog, Jpy + 1), L"¥(100)");
        EXPECT_EQ(headerText(dialog, 17), L"CHF");
        EXPECT_EQ(SendMessageW(table(dialog), LVM_GETCOLUMNWIDTH, 0, 0), 70);
        EXPECT_EQ(SendMessageW(table(dialog), LVM_GETCOLUMNWIDTH, 17, 0), 90);
        EXPECT_TRUE(SendMessageW(table(dialog), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);

        // The table fills the dialog, 5 pixels from each edge and above the menu bar.
        RECT client, list = childRect(dialog, table(dialog));
        GetClientRect(dialog, &client);
        int bar = shellMenuBarHeight(dialog);
        EXPECT_GT(bar, 0);
        EXPECT_EQ(list.left, 5);
        EXPECT_EQ(list.top, 5);
        EXPECT_EQ(list.right, client.right - 5);
        EXPECT_EQ(list.bottom, client.bottom - bar - 5);
        // The converter's chosen day is the shown day.
        EXPECT_EQ(itemText(dialog, IDC_RATES_DATE), L"08/12/2026");
    });
}

TEST_F(RatesDialog, DialogIsFullScreenWithItsMenuBarAndDoneButton)
{
    EXPECT_EQ(open(0, [this](HWND dialog) {
        RECT ownerArea, dialogRect = childRect(owner, dialog);
        GetClientRect(owner, &ownerArea);
        EXPECT_TRUE(EqualRect(&ownerArea, &dialogRect));
        for (int command : {IDM_CANCEL, IDM_TABLE, IDR_HISTORY_MORE, IDM_CONVERTER}) {
            HWND button = barButton(dialog, command);
            ASSERT_NE(button, nullptr) << command;
            EXPECT_TRUE(IsWindowEnabled(button)) << command;
        }
        // At 240 pixels every button of the bar shows its whole text.
        HWND bar = GetDlgItem(dialog, ShellMenuBarId);
        for (HWND button = GetWindow(bar, GW_CHILD); button; button = GetWindow(button, GW_HWNDNEXT)) {
            std::wstring label = windowText(button);
            HDC dc = GetDC(button);
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0)));
            SIZE size = {};
            GetTextExtentPoint32W(dc, label.c_str(), int(label.size()), &size);
            SelectObject(dc, old);
            ReleaseDC(button, dc);
            RECT r;
            GetClientRect(button, &r);
            EXPECT_LE(size.cx + 4 + 2, r.right) << GetDlgCtrlID(button);
        }
        // "Курсы" and "Конвертер" switch the views; "Отмена" ends the dialog.
        SendMessageW(barButton(dialog, IDM_CONVERTER), BM_CLICK, 0, 0);
        EXPECT_FALSE(visible(table(dialog)));
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_AMOUNT));
        EXPECT_EQ(shellLastSipPreference(), SIP_UP);
        checkNoOverlap(checkTexts(dialog, "converter"), "converter");
        SendMessageW(barButton(dialog, IDM_TABLE), BM_CLICK, 0, 0);
        EXPECT_TRUE(visible(table(dialog)));
        EXPECT_EQ(shellLastSipPreference(), SIP_FORCEDOWN);
        ASSERT_NE(GetDlgItem(dialog, ShellDoneButtonId), nullptr);
        EXPECT_TRUE(visible(GetDlgItem(dialog, ShellDoneButtonId)));
        SendMessageW(barButton(dialog, IDM_CANCEL), BM_CLICK, 0, 0);
    }), IDM_CANCEL);
}

TEST_F(RatesDialog, ConverterViewOpensWithTheStoredAmountAndConverts)
{
    storeFiveDays();
    settings.converterAmount = 100.0;
    settings.converterFrom = 0;  // RUB
    settings.converterTo = Usd + 1;
    openThen(IDOK, 7, [](HWND dialog) {
        EXPECT_FALSE(visible(table(dialog)));
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_AMOUNT));
        EXPECT_EQ(shellLastSipPreference(), SIP_UP);
        EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_CONVERT_FROM, CB_GETCOUNT, 0, 0), CurrencyCount + 1);
        wchar_t first[8] = L"", usd[8] = L"";
        SendDlgItemMessageW(dialog, IDC_CONVERT_TO, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first));
        SendDlgItemMessageW(dialog, IDC_CONVERT_TO, CB_GETLBTEXT, Usd + 1, reinterpret_cast<LPARAM>(usd));
        EXPECT_STREQ(first, L"RUB");
        EXPECT_STREQ(usd, L"$");
        EXPECT_EQ(selection(dialog, IDC_CONVERT_FROM), 0);
        EXPECT_EQ(selection(dialog, IDC_CONVERT_TO), Usd + 1);
        // The stored amount with the converter's comma; the result follows the input.
        EXPECT_EQ(itemText(dialog, IDC_AMOUNT), L"100,0000");
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"1,2484");  // 100 / 80.1
        setText(dialog, IDC_AMOUNT, L"801.5");
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"10.0062");
        choose(dialog, IDC_CONVERT_TO, Jpy + 1);  // 28 roubles for 100 yen
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"2862.5000");
        choose(dialog, IDC_CONVERT_FROM, Eur + 1);
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"259914.9930");
    });
}

TEST_F(RatesDialog, EmptyHistoriesGiveNoRowsAndEmptySlotsGoLast)
{
    // Nothing stored: no rows, the zero day, and no rate to convert at: no result.
    settings.converterTo = Usd + 1;
    openThen(IDM_CANCEL, 0, [](HWND dialog) {
        EXPECT_EQ(rowCountOf(dialog), 0);
        EXPECT_EQ(itemText(dialog, IDC_RATES_DATE), L"00/00/1989");
        EXPECT_EQ(headerText(dialog, Jpy + 1), L"¥");
        setText(dialog, IDC_AMOUNT, L"12,5");
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"");
    });

    // A history file whose first slot is empty: its days are put in order, in front.
    freeHistory();
    writeHistory(hisPath, {DayRates{}, rates(7, 90.0f, 80.0f), rates(8, 91.0f, 81.0f)}, 3);
    loadHistory(his.c_str(), 15);
    refreshTick();
    openThen(IDM_CANCEL, 0, [](HWND dialog) {
        EXPECT_EQ(rowCountOf(dialog), 2);
        EXPECT_EQ(dateColumn(dialog), L"08 07 ");
        EXPECT_EQ(itemText(dialog, IDC_RATES_DATE), L"08/12/2026");
    });
}

TEST_F(RatesDialog, HeaderTapsSortAndTapsOnTheSameColumnReverse)
{
    storeFiveDays();
    openThen(IDM_CANCEL, 0, [](HWND dialog) {
        auto tap = [dialog](int column) {
            clickColumnHeader(dialog, column);
            return dateColumn(dialog);
        };
        // Sorting state lives as long as the module: start from a known column.
        EXPECT_EQ(tap(Usd + 1), L"07 08 01 04 03 ");  // another column: ascending by USD
        EXPECT_EQ(tableCell(dialog, 0, Usd + 1), L"79,9000");
        EXPECT_EQ(tap(0), L"01 03 04 07 08 ");  // another column again: ascending by date
        EXPECT_EQ(tap(0), L"08 07 04 03 01 ");  // the same column: reversed
        EXPECT_EQ(tap(0), L"01 03 04 07 08 ");
        EXPECT_EQ(tap(Eur + 1), L"01 03 04 07 08 ");
        EXPECT_EQ(tap(Eur + 1), L"08 07 04 03 01 ");
        EXPECT_EQ(tableCell(dialog, 4, 0), L"01/12/2026");
        EXPECT_EQ(tableCell(dialog, 4, Eur + 1), L"90,1000");  // cells follow their rows
    });
    // A new opening shows the store's order, newest first, and keeps the last sort:
    // a tap on its column (EUR, descending) flips it to ascending, and again.
    for (const wchar_t* flipped : {L"01 03 04 07 08 ", L"08 07 04 03 01 "})
        openThen(IDM_CANCEL, 0, [flipped](HWND dialog) {
            EXPECT_EQ(dateColumn(dialog), L"08 07 04 03 01 ");
            clickColumnHeader(dialog, Eur + 1);
            EXPECT_EQ(dateColumn(dialog), flipped);
        });
}

TEST_F(RatesDialog, ActivatingARowChoosesItsDayForTheConverter)
{
    storeFiveDays();
    settings.converterTo = Usd + 1;
    settings.converterAmount = 804.0;
    DayCode shownBefore, shownAfter;
    DayRates unused;
    readShownRates(shownBefore, unused);
    openThen(IDM_CANCEL, 0, [](HWND dialog) {
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"10,0375");  // at the shown day's 80.1
        ASSERT_EQ(tableCell(dialog, 2, 0), L"04/12/2026");
        doubleTapRow(dialog, 2);
        EXPECT_EQ(itemText(dialog, IDC_RATES_DATE), L"04/12/2026");
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"10,0000");  // at 80.4
        EXPECT_FALSE(visible(table(dialog)));
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_AMOUNT));
        EXPECT_EQ(shellLastSipPreference(), SIP_UP);
        // Another currency converts at the chosen day too.
        choose(dialog, IDC_CONVERT_TO, Jpy + 1);
        // 804 / 24 * 100, with the factor in single precision.
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"3349,9999");
    });
    readShownRates(shownAfter, unused);
    EXPECT_TRUE(sameDay(shownBefore, shownAfter));
}

TEST_F(RatesDialog, SwapPasteCopyAndClear)
{
    storeFiveDays();
    settings.converterFrom = Usd + 1;
    settings.converterTo = Eur + 1;
    openThen(IDM_CANCEL, 1, [](HWND dialog) {
        setText(dialog, IDC_AMOUNT, L"10");
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"8.8216");  // 801 / 90.8
        click(dialog, IDC_SWAP_CURRENCIES);
        EXPECT_EQ(selection(dialog, IDC_CONVERT_FROM), Eur + 1);
        EXPECT_EQ(selection(dialog, IDC_CONVERT_TO), Usd + 1);
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"11.3358");

        // "Клип->" pastes; the result mirrors the pasted comma.
        paste(dialog, L"250,5");
        EXPECT_EQ(itemText(dialog, IDC_AMOUNT), L"250,5");
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"283,9626");
        // "Клип<-" copies the result as Unicode text.
        emptyClipboard();
        click(dialog, IDC_COPY_RESULT);
        EXPECT_EQ(clipboardText(), L"283,9626");

        // Nothing on the clipboard, or no text on it: the amount stays.
        emptyClipboard();
        click(dialog, IDC_PASTE_AMOUNT);
        EXPECT_EQ(itemText(dialog, IDC_AMOUNT), L"250,5");
        paste(dialog, L"");
        EXPECT_EQ(itemText(dialog, IDC_AMOUNT), L"250,5");
        // Text with no terminator is read only as far as its block goes (the system
        // may take the last unit for the terminator).
        const wchar_t unterminated[] = {L'4', L'2'};
        paste(dialog, unterminated, sizeof unterminated);
        std::wstring pasted = itemText(dialog, IDC_AMOUNT);
        EXPECT_TRUE(pasted == L"42" || pasted == L"4") << pasted.c_str();
        // Text that is no number, or too long for the field, converts as 0 and
        // leaves the currencies as they were.
        paste(dialog, L"два");
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"0.0000");
        paste(dialog, std::wstring(300, L'7'));
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"0.0000");
        EXPECT_EQ(selection(dialog, IDC_CONVERT_FROM), Eur + 1);
        EXPECT_EQ(selection(dialog, IDC_CONVERT_TO), Usd + 1);

        // "Сброс" empties the amount and gives it the focus.
        SetFocus(GetDlgItem(dialog, IDC_SWAP_CURRENCIES));
        click(dialog, IDC_CLEAR_AMOUNT);
        EXPECT_EQ(itemText(dialog, IDC_AMOUNT), L"");
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_AMOUNT));
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"0.0000");
    });
}

TEST_F(RatesDialog, OkSavesTheWidthsAndTheConverterState)
{
    storeFiveDays();
    EXPECT_EQ(open(1, [](HWND dialog) {
        SendMessageW(table(dialog), LVM_SETCOLUMNWIDTH, 3, 123);
        SendMessageW(table(dialog), LVM_SETCOLUMNWIDTH, 0, 0x10040);
        choose(dialog, IDC_CONVERT_FROM, Usd + 1);
        choose(dialog, IDC_CONVERT_TO, Jpy + 1);
        setText(dialog, IDC_AMOUNT, L"77,5");
        // The Done button of the title area sends OK.
        click(dialog, ShellDoneButtonId);
    }), 1);
    EXPECT_EQ(settings.historyColumnWidths[0], 0x40);
    EXPECT_EQ(settings.historyColumnWidths[17], 90);
    ASSERT_EQ(readFileBytes(settingsPath).size(), 584u);
    Settings file = readSettings(settingsPath);
    for (const Settings& kept : {settings, file}) {
        EXPECT_EQ(kept.historyColumnWidths[3], 123);
        EXPECT_EQ(kept.converterAmount, 77.5);
        EXPECT_EQ(kept.converterFrom, Usd + 1);
        EXPECT_EQ(kept.converterTo, Jpy + 1);
    }
    EXPECT_EQ(std::memcmp(&file, &settings, 584), 0);
}

TEST_F(RatesDialog, CancelAndTheCloseBoxKeepNothing)
{
    storeFiveDays();
    Settings before = settings;
    const std::pair<UINT, WPARAM> closers[] = {
        {WM_COMMAND, IDM_CANCEL}, {WM_SYSCOMMAND, SC_CLOSE}, {WM_COMMAND, IDCANCEL}};
    for (const auto& [message, wParam] : closers) {
        EXPECT_EQ(open(1, [message = message, wParam = wParam](HWND dialog) {
            SendMessageW(table(dialog), LVM_SETCOLUMNWIDTH, 3, 123);
            choose(dialog, IDC_CONVERT_FROM, Usd + 1);
            setText(dialog, IDC_AMOUNT, L"5");
            SendMessageW(dialog, message, wParam, 0);
        }), IDM_CANCEL) << message << " " << wParam;
    }
    EXPECT_EQ(GetFileAttributesW(settingsPath.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(std::memcmp(&before, &settings, sizeof settings), 0);
}

TEST_F(RatesDialog, EndsWithZeroWhenTheRowIndexCantBeHad)
{
    storeFiveDays();
    historyRowsUnavailable = true;
    whenOpen(nullptr);
    EXPECT_EQ(openDialog(IDD_HISTORY, ratesDialogProc, owner, 0), 0);
    EXPECT_FALSE(stepsRan());
    historyRowsUnavailable = false;
    openThen(IDM_CANCEL, 0, [](HWND) {});  // and now it shows
}

TEST_F(RatesDialog, DamagedSettingsStayInsideTheListsAndDigits)
{
    storeFiveDays();
    settings.converterFrom = 100;
    settings.converterTo = -5;
    settings.historyDigits = 99;
    settings.commaFlags = 0;
    settings.converterAmount = std::nan("");
    openThen(IDOK, 1, [](HWND dialog) {
        EXPECT_EQ(selection(dialog, IDC_CONVERT_FROM), 0);
        EXPECT_EQ(selection(dialog, IDC_CONVERT_TO), 0);
        EXPECT_EQ(itemText(dialog, IDC_AMOUNT), L"0.0000");
        setText(dialog, IDC_AMOUNT, L"3.14159");
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"3.1416");
        // A list without a selection converts as the rouble.
        SendDlgItemMessageW(dialog, IDC_CONVERT_TO, CB_SETCURSEL, WPARAM(-1), 0);
        choose(dialog, IDC_CONVERT_FROM, Usd + 1);
        EXPECT_EQ(itemText(dialog, IDC_RESULT), L"251.6414");
    });
    EXPECT_EQ(settings.converterFrom, Usd + 1);
    EXPECT_EQ(settings.converterTo, 0);
}

TEST_F(RatesDialog, ADayStoredWhileOpenLeavesTheRowsAlone)
{
    storeFiveDays();
    openThen(IDM_CANCEL, 0, [](HWND dialog) {
        storeDay(rates(9, 91.0f, 81.0f));  // as the update worker would
        RedrawWindow(table(dialog), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        EXPECT_EQ(rowCountOf(dialog), 5);
        EXPECT_EQ(dateColumn(dialog), L"08 07 04 03 01 ");
        doubleTapRow(dialog, 0);
        EXPECT_EQ(itemText(dialog, IDC_RATES_DATE), L"08/12/2026");
    });
}

// --- From the panel ----------------------------------------------------------------

TEST_F(RatesDialog, PanelOpensTheTableOnTapAndHoldAndTheConverterOnADoubleTap)
{
    storeFiveDays();
    HWND panel = makePanelWindow(owner);
    ASSERT_NE(panel, nullptr);
    iconSize = 16;
    static uint32_t ticks;  // the panel's clock, driven here
    ticks = 5000;
    schedulePlatform.tickCount = [] { return ticks; };
    auto press = [panel](int x) { SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 5)); };
    bool tableShown = false, converterShown = false;

    // Tap-and-hold on the rates: the table.
    whenOpen([&tableShown](HWND dialog) { tableShown = visible(table(dialog)); });
    shellForceNextGesture(GN_CONTEXTMENU);
    press(100);
    EXPECT_TRUE(stepsRan());
    EXPECT_TRUE(tableShown);

    // Two presses less than 250 ms apart, anywhere: the converter.
    ticks += 260;
    whenOpen([&converterShown](HWND dialog) {
        converterShown = !visible(table(dialog)) && GetFocus() == GetDlgItem(dialog, IDC_AMOUNT);
    });
    press(8);
    EXPECT_FALSE(stepsRan());  // the first press alone opens nothing
    ticks += 249;
    press(8);
    EXPECT_TRUE(stepsRan());
    EXPECT_TRUE(converterShown);
    DestroyWindow(panel);
    updateState = Fresh;
}

// --- In the desktop host, as a user does it ------------------------------------------

TEST_F(RatesDialog, InTheHostARightClickOpensTheTableAndADoubleClickTheConverter)
{
    if (GetFileAttributesW((buildFolder() + L"\\todayhost.exe").c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "todayhost.exe is not built";
    writeHistory(hisPath, {rates(8, 91.0f, 81.0f), rates(7, 90.0f, 80.0f)}, 2);
    HostProcess host(folder.file(L"vokcurrency.dll"), L"--tick-ms 100");
    ASSERT_TRUE(host.started);
    HWND item = nullptr, dialog = nullptr;
    ASSERT_TRUE(pumpUntil([&] { return (item = host.item()) != nullptr; }, 10000));

    // A right-click on the rates is the desktop's tap-and-hold.
    PostMessageW(item, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(150, 5));
    PostMessageW(item, WM_RBUTTONUP, 0, MAKELPARAM(150, 5));
    ASSERT_TRUE(pumpUntil([&] { return (dialog = host.window(L"#32770", Title)) != nullptr; }, 10000));
    // The window is there before its controls: it shows once they are set up.
    EXPECT_TRUE(pumpUntil([&] { return IsWindowVisible(dialog) != FALSE; }, 10000));
    HWND list = GetDlgItem(dialog, IDC_HISTORY_TABLE);
    EXPECT_TRUE(pumpUntil([&] { return IsWindowVisible(list) != FALSE; }, 10000));
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    PostMessageW(dialog, WM_COMMAND, IDM_CANCEL, 0);
    EXPECT_TRUE(pumpUntil([&] { return !IsWindow(dialog); }, 10000));

    // Two clicks in quick succession: the converter. A busy machine may stretch the
    // pair past the double-tap time; then the user clicks twice again.
    dialog = nullptr;
    for (int attempt = 0; attempt < 3 && !dialog; ++attempt) {
        Sleep(300);
        for (int i = 0; i < 2; ++i) {
            PostMessageW(item, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 5));
            PostMessageW(item, WM_LBUTTONUP, 0, MAKELPARAM(150, 5));
        }
        pumpUntil([&] { return (dialog = host.window(L"#32770", Title)) != nullptr; }, 3000);
    }
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(pumpUntil([&] { return IsWindowVisible(dialog) != FALSE; }, 10000));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_HISTORY_TABLE)));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_AMOUNT)));
    PostMessageW(dialog, WM_COMMAND, IDM_CANCEL, 0);
    EXPECT_TRUE(pumpUntil([&] { return !IsWindow(dialog); }, 10000));
}

// --- Pictures for the README ---------------------------------------------------------

// Saves what the screen shows of window as a 24-bit BMP; whether the file has it all.
bool saveWindowPicture(HWND window, const std::wstring& path)
{
    RECT r;
    GetWindowRect(window, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info, size = offset + ((width * 3 + 3) & ~3) * height;
    std::vector<unsigned char> bytes(size);
    GetDIBits(memory, bitmap, 0, height, &bytes[offset], reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file = {0x4D42, size, 0, 0, offset};
    std::memcpy(bytes.data(), &file, sizeof file);
    std::memcpy(bytes.data() + sizeof file, &info, sizeof info);
    writeFileBytes(path, bytes.data(), bytes.size());
    return readFileBytes(path) == bytes;
}

// A realistic day: the bank's rates of the 17 currencies.
DayRates bankDay(int day, float shift)
{
    static const RateEntry base[CurrencyCount] = {
        {1, 91.2f}, {1, 78.9f}, {1, 104.6f}, {100, 53.4f}, {10, 19.1f}, {10000, 29.7f}, {1, 51.8f}, {10, 122.3f},
        {100, 57.6f}, {100, 15.2f}, {1, 56.4f}, {10, 73.5f}, {1, 105.2f}, {1, 59.1f}, {10, 22.8f}, {10, 75.9f},
        {1, 89.6f}};
    DayRates r = dayOf(makeDayCode(day, 12, 2026), 0, 0);
    for (int i = 0; i < CurrencyCount; ++i) r.rates[i] = {base[i].nominal, base[i].rate + shift * (i % 3 + 1)};
    return r;
}

// Run with VOK_SCREENSHOT_DIR set, under a display: saves history.bmp, converter.bmp
// and chart.bmp.
TEST_F(RatesDialog, ScreenshotsOfBothViews)
{
    std::wstring dir = _wgetenv(L"VOK_SCREENSHOT_DIR") ? _wgetenv(L"VOK_SCREENSHOT_DIR") : L"";
    if (dir.empty()) GTEST_SKIP() << "VOK_SCREENSHOT_DIR is not set";
    DestroyWindow(owner);
    // The host's screen: 240 x 320 pixels of client area.
    RECT area = {0, 0, 240, 320};
    AdjustWindowRectEx(&area, WS_POPUP | WS_BORDER, FALSE, 0);
    owner = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_BORDER | WS_VISIBLE, 20, 20,
                            area.right - area.left, area.bottom - area.top, nullptr, nullptr, nullptr, nullptr);
    const std::pair<int, float> days[] = {{1, -0.3f}, {2, 0.35f}, {3, 0.1f}, {4, -0.45f}, {7, 0.2f}, {8, 0.5f}};
    for (const auto& [day, shift] : days) storeDay(bankDay(day, shift));
    refreshTick();
    settings.converterAmount = 1500.0;
    settings.converterFrom = 0;
    settings.converterTo = Usd + 1;
    openThen(IDM_CANCEL, 0, [&dir](HWND dialog) {
        ShowWindow(dialog, SW_SHOW);  // the modal loop would show it once idle
        pumpFor(500);
        EXPECT_TRUE(saveWindowPicture(dialog, dir + L"\\history.bmp"));
        SendMessageW(dialog, WM_COMMAND, IDM_CONVERTER, 0);
        pumpFor(500);
        EXPECT_TRUE(saveWindowPicture(dialog, dir + L"\\converter.bmp"));
        SendMessageW(dialog, WM_COMMAND, IDM_CHART, 0);
        SendMessageW(GetDlgItem(dialog, IDC_CHART), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(90, 60));
        pumpFor(500);
        EXPECT_TRUE(saveWindowPicture(dialog, dir + L"\\chart.bmp"));
    });
}

// --- The chart, the table as text and the fill -----------------------------------------

// A command from the bar's "..." menu, as the user picks it.
void pickFromMenu(HWND dialog, int command)
{
    shellPopupAnswer = UINT(command);
    SendMessageW(barButton(dialog, IDR_HISTORY_MORE), BM_CLICK, 0, 0);
    shellPopupAnswer = 0;
}

// The chart as drawn: a 32-bit picture of its client area.
struct ChartPicture {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;

    explicit ChartPicture(HWND chart)
    {
        RECT r;
        GetClientRect(chart, &r);
        width = r.right;
        height = r.bottom;
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, bitmap);
        SendMessageW(chart, WM_PRINTCLIENT, WPARAM(memory), PRF_CLIENT);
        GdiFlush();
        pixels.resize(size_t(width) * height);
        for (size_t i = 0; i < pixels.size(); ++i) {
            DWORD v = static_cast<const DWORD*>(bits)[i];
            pixels[i] = RGB((v >> 16) & 255, (v >> 8) & 255, v & 255);
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }
    COLORREF at(int x, int y) const { return pixels[size_t(y) * width + x]; }
    // The columns holding colour, and its topmost and bottommost pixels.
    bool find(COLORREF colour, int& top, int& topX, int& bottom, int& bottomX, int& minX, int& maxX) const
    {
        top = height, bottom = -1, minX = width, maxX = -1;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                if (at(x, y) != colour) continue;
                if (y < top) top = y, topX = x;
                if (y > bottom) bottom = y, bottomX = x;
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
            }
        return bottom >= 0;
    }
};

std::vector<std::wstring> linesOf(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    for (size_t at = 0, end; at < text.size(); at = end + 2) {
        end = std::min(text.find(L"\r\n", at), text.size());
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

// The fill's platform in this process: a thread of its own, and a download that
// stores the day asked for, counting the requests, or fails from a given request on.
std::atomic<int> fillRequests{0}, failFrom{1000};

void installFillPlatform()
{
    schedulePlatform.tickCount = [] { return uint32_t(GetTickCount()); };
    schedulePlatform.sleepMs = [](int ms) { Sleep(DWORD(ms)); };
    schedulePlatform.startFillThread = [] {
        std::thread(fillWorker).detach();
        return true;
    };
    schedulePlatform.download = [](bool, const DayCode& day) {
        if (fillRequests++ >= failFrom) return false;
        DayRates r = rates(day.day, 90.0f + day.day / 10.0f, 80.0f);
        r.code = day;
        storeDay(r);
        return true;
    };
    fillSpacingOverrideMs = 30;
}

// A known series of EUR: the highest on the 2nd, the lowest on the 4th, the 8th
// shown. The line's topmost and bottommost pixels sit on those days, the shown
// day's mark on the 8th, and a tap marks the point it lands nearest to.
TEST_F(RatesDialog, ChartDrawsTheSeriesWithItsExtremesAndTheShownDay)
{
    const std::pair<int, float> series[] = {{1, 90.5f}, {2, 91.9f}, {3, 90.2f}, {4, 89.1f}, {7, 90.0f}, {8, 90.6f}};
    for (const auto& d : series) storeDay(rates(d.first, d.second, 80.0f + d.first));
    refreshTick();
    settings.chartCurrency = Eur;
    openThen(IDOK, 0, [](HWND dialog) {
        pickFromMenu(dialog, IDM_CHART);
        HWND chart = GetDlgItem(dialog, IDC_CHART);
        EXPECT_TRUE(visible(chart));
        EXPECT_TRUE(visible(GetDlgItem(dialog, IDC_CHART_CURRENCY)));
        EXPECT_FALSE(visible(table(dialog)));
        EXPECT_FALSE(visible(GetDlgItem(dialog, IDC_AMOUNT)));
        EXPECT_EQ(selection(dialog, IDC_CHART_CURRENCY), Eur);
        checkNoOverlap(checkTexts(dialog, "chart"), "chart");
        RECT list = childRect(dialog, GetDlgItem(dialog, IDC_CHART_CURRENCY)), area = childRect(dialog, chart);
        EXPECT_GE(area.top, list.bottom);
        EXPECT_LE(area.bottom, childRect(dialog, GetDlgItem(dialog, ShellMenuBarId)).top);

        ChartPicture p(chart);
        ASSERT_GT(p.width, 100);
        // Days 1 to 8 across the plot: x = 6 + (day - 1) * (width - 12) / 7.
        auto xOf = [&p](int day) { return 6 + (day - 1) * (p.width - 12) / 7; };
        int top, topX, bottom, bottomX, minX, maxX;
        ASSERT_TRUE(p.find(ChartLineColour, top, topX, bottom, bottomX, minX, maxX));
        EXPECT_NEAR(topX, xOf(2), 3);
        EXPECT_NEAR(bottomX, xOf(4), 3);
        EXPECT_NEAR(minX, xOf(1), 3);
        EXPECT_NEAR(maxX, xOf(8), 3);
        ASSERT_TRUE(p.find(ChartShownColour, top, topX, bottom, bottomX, minX, maxX));
        EXPECT_NEAR(minX, xOf(8), 6);
        EXPECT_NEAR(maxX, xOf(8), 6);
        EXPECT_FALSE(p.find(ChartChosenColour, top, topX, bottom, bottomX, minX, maxX));

        // A tap near the 4th: its mark; the 3rd is further.
        SendMessageW(chart, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(xOf(4) + 2, 30));
        p = ChartPicture(chart);
        ASSERT_TRUE(p.find(ChartChosenColour, top, topX, bottom, bottomX, minX, maxX));
        EXPECT_NEAR((minX + maxX) / 2, xOf(4), 2);

        // Another currency: USD rises day by day, so its top is on the 8th. A tap
        // before the chart is drawn again still finds its point.
        choose(dialog, IDC_CHART_CURRENCY, Usd);
        SendMessageW(chart, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(xOf(7) - 2, 30));
        p = ChartPicture(chart);
        ASSERT_TRUE(p.find(ChartLineColour, top, topX, bottom, bottomX, minX, maxX));
        EXPECT_NEAR(topX, xOf(8), 3);
        EXPECT_NEAR(bottomX, xOf(1), 3);
        ASSERT_TRUE(p.find(ChartChosenColour, top, topX, bottom, bottomX, minX, maxX));
        EXPECT_NEAR((minX + maxX) / 2, xOf(7), 2);
        SendMessageW(dialog, WM_COMMAND, IDM_TABLE, 0);
        EXPECT_TRUE(visible(table(dialog)));
        EXPECT_FALSE(visible(chart));
        EXPECT_TRUE(visible(GetDlgItem(dialog, IDC_AMOUNT)));  // under the table again
    });
    EXPECT_EQ(settings.chartCurrency, Usd);
    ASSERT_EQ(readFileBytes(settingsPath).size(), 584u);
    EXPECT_EQ(readSettings(settingsPath).chartCurrency, Usd);
}

TEST_F(RatesDialog, CopyPutsTheWholeTableOnTheClipboardAsTabSeparatedText)
{
    storeFiveDays();
    emptyClipboard();
    openThen(IDM_CANCEL, 0, [](HWND dialog) {
        clickColumnHeader(dialog, 0);  // oldest first: the copy follows the table's order
        pickFromMenu(dialog, IDM_COPY_TABLE);
    });
    std::vector<std::wstring> lines = linesOf(clipboardText());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].find(L"Дата\tEUR\tUSD\tGBP\tJPY(100)\tUAH\t"), 0u) << lines[0];
    EXPECT_EQ(lines[1], L"01/12/2026\t90,1000\t80,2000\t\t21,0000" + std::wstring(13, L'\t'));
    EXPECT_EQ(lines[5].substr(0, 26), L"08/12/2026\t90,8000\t80,1000");
    for (const std::wstring& line : lines) EXPECT_EQ(std::count(line.begin(), line.end(), L'\t'), 17) << line;
}

// The fill from the dialog (a whole fill is tested end to end): a failing request
// ends it with the days it got; a second "Заполнить" stops it, and meanwhile the
// caption counts the requests.
TEST_F(RatesDialog, FillStopsAtAFailureOrWhenToldAndShowsProgress)
{
    storeDay(rates(8, 90.8f, 80.1f));
    refreshTick();
    installFillPlatform();
    fillRequests = 0;
    failFrom = 2;
    openThen(IDM_CANCEL, 0, [](HWND dialog) {
        pickFromMenu(dialog, IDM_FILL);
        captionsUntil(dialog, [](const Captions&) { return fillOutcome() != FillRunning; }, 10000);
        pumpFor(300);  // the dialog's last look at the store
        EXPECT_EQ(fillOutcome(), FillFailed);
        EXPECT_EQ(fillRequests.load(), 3);
        EXPECT_EQ(rowCountOf(dialog), 3);
        EXPECT_EQ(tableCell(dialog, 2, 0), L"06/12/2026");  // the last day that came, at the end
    });

    fillRequests = 0;
    failFrom = 1000;
    fillSpacingOverrideMs = 600;
    openThen(IDM_CANCEL, 0, [](HWND dialog) {
        SendMessageW(dialog, WM_COMMAND, IDM_FILL, 0);
        Captions captions = captionsUntil(dialog, [](const Captions&) { return fillRequests >= 2; }, 10000);
        SendMessageW(dialog, WM_COMMAND, IDM_FILL, 0);
        captionsUntil(dialog, [](const Captions&) { return fillOutcome() != FillRunning; }, 10000);
        EXPECT_EQ(fillOutcome(), FillStopped);
        pumpFor(500);
        EXPECT_EQ(fillRequests.load(), 2);
        EXPECT_EQ(rowCountOf(dialog), 5);
        // Requests made and expected: 12 days were missing.
        EXPECT_NE(std::find(captions.begin(), captions.end(), std::wstring(Title) + L"  1 / 12"), captions.end());
        EXPECT_EQ(windowText(dialog), Title);  // the caption again once it ended
    });
    fillSpacingOverrideMs = 0;
}

}  // namespace
