// The options dialog, its pages, the item list and the item editor, driven by control
// id as a user would drive them: in this process (the dialog opened as the panel
// opens it) and once through the DLL as the Today host opens it.
//
// Modal dialogs are driven by the harness's driver from inside their message loops:
// the options script runs once when the options dialog is up, the editor script each
// time an editor appears, and every message box is noted and closed. Its watchdog
// closes everything after ten seconds, so no test can hang.
//
// With VOK_SCREENSHOT_DIR set (and a real display: Xvfb and the x11 driver) the
// layout test also holds each page and the editor on the screen for a capturer
// outside Wine (see holdForScreenshot).
#include "harness.h"
#include "httpserver.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

#include "data/calendar.h"
#include "data/limits.h"
#include "dialogs/dialogstart.h"
#include "dialogs/options.h"
#include "platform/shell.h"
#include "platform/testhooks.h"
#include "platform/text16.h"
#include "plugin/core/layout.h"
#include "platform/module.h"
#include "plugin/panel.h"
#include "update/schedule.h"

namespace {

const wchar_t* const OptionsTitle = L"vok Currency options";
const wchar_t* const EditorTitle = L"Элемент";
const wchar_t* const LimitText = L"Извините, но максимальное число элементов достигнуто.";

const wchar_t* const Cancel = L"Отмена";
const char* const ScreenshotFolder = std::getenv("VOK_SCREENSHOT_DIR");
const std::string Screenshots = ScreenshotFolder ? ScreenshotFolder : "";

using Script = std::function<void(HWND)>;

// --- Driving modal dialogs from a timer -------------------------------------------------

// Screenshot mode waits for its capturer: a longer leash.
ModalDriver driver(ScreenshotFolder ? 60000 : 10000);

// Runs the dialog that `open` opens with the options and editor scripts (each editor
// closed at once without one); returns its result.
INT_PTR runModal(const std::function<INT_PTR()>& open, Script options, Script editor = nullptr)
{
    driver.clear();
    driver.on({EditorTitle, editor, true, true, false});
    driver.on({OptionsTitle, options ? options : [](HWND) {}, false, true, false, IDM_CANCEL});
    INT_PTR result = driver.run(open);
    EXPECT_FALSE(driver.timedOut()) << "a dialog was left open";
    return result;
}

// The options dialog as a Today host opens it from the library: template
// IDD_OPTIONS and ordinal 241, owned by host; null when the library lacks either.
std::function<INT_PTR()> libraryOptions(HMODULE dll, HWND host)
{
    auto procedure = reinterpret_cast<DLGPROC>(reinterpret_cast<void*>(GetProcAddress(dll, MAKEINTRESOURCEA(241))));
    HRSRC found = FindResourceW(dll, MAKEINTRESOURCEW(IDD_OPTIONS), RT_DIALOG);
    if (!procedure || !found) return nullptr;
    auto* dialogTemplate = static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(dll, found)));
    return [=] { return DialogBoxIndirectParamW(dll, dialogTemplate, host, procedure, 0); };
}

// --- Controls ---------------------------------------------------------------------------

bool isChecked(HWND parent, int id) { return SendDlgItemMessageW(parent, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// The boxes of parent: those of the first list ticked, those of the second not.
void expectTicks(HWND parent, std::initializer_list<int> ticked, std::initializer_list<int> clear)
{
    for (int id : ticked) EXPECT_TRUE(isChecked(parent, id)) << id;
    for (int id : clear) EXPECT_FALSE(isChecked(parent, id)) << id;
}

// The page (a child dialog of the options dialog) that holds control id.
HWND pageWith(HWND dialog, int id)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[16] = L"";
        GetClassNameW(child, name, 16);
        if (lstrcmpW(name, L"#32770") == 0 && GetDlgItem(child, id)) return child;
    }
    return nullptr;
}

HWND itemsPage(HWND dialog) { return pageWith(dialog, IDC_ITEM_LIST); }
HWND updatePage(HWND dialog) { return pageWith(dialog, IDC_UPDATE_INTERVAL); }
HWND miscPage(HWND dialog) { return pageWith(dialog, IDC_VISIBLE_ITEMS); }
HWND aboutPage(HWND dialog) { return pageWith(dialog, IDC_ABOUT_CURRENCY); }

void pressDone(HWND dialog) { click(dialog, ShellDoneButtonId); }
void pressCancel(HWND dialog) { click(GetDlgItem(dialog, ShellMenuBarId), IDM_CANCEL); }

HWND list(HWND dialog) { return GetDlgItem(itemsPage(dialog), IDC_ITEM_LIST); }
int rowCount(HWND dialog) { return static_cast<int>(SendMessageW(list(dialog), LVM_GETITEMCOUNT, 0, 0)); }

std::wstring rowText(HWND dialog, int row, int column) { return listText(list(dialog), row, column); }

// A click on a row, as far as the page sees it: the selection and its mark.
void selectRow(HWND dialog, int row)
{
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list(dialog), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    SendMessageW(list(dialog), LVM_SETSELECTIONMARK, 0, row);
}

// The editor of a row, opened as its button opens it.
void editRow(HWND dialog, int row)
{
    selectRow(dialog, row);
    click(itemsPage(dialog), IDC_ITEM_EDIT);
}

int selectionMark(HWND dialog) { return static_cast<int>(SendMessageW(list(dialog), LVM_GETSELECTIONMARK, 0, 0)); }
bool rowSelected(HWND dialog, int row)
{
    return SendMessageW(list(dialog), LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED;
}

void clickTab(HWND dialog, int index)
{
    HWND tab = GetDlgItem(dialog, IDC_OPTIONS_TAB);
    RECT rect;
    SendMessageW(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
    LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    SendMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(tab, WM_LBUTTONUP, 0, at);
}

// The page of tab `chosen` on top, all four pages still shown: the tab's selection, the
// first page met from the top of the z-order, the page at the middle of the tab's display.
void expectOnTop(HWND dialog, int chosen)
{
    HWND tab = GetDlgItem(dialog, IDC_OPTIONS_TAB);
    HWND pages[4] = {itemsPage(dialog), updatePage(dialog), miscPage(dialog), aboutPage(dialog)};
    EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), chosen);
    for (HWND page : pages) {
        ASSERT_NE(page, nullptr) << chosen;
        EXPECT_TRUE(IsWindowVisible(page)) << chosen;
    }
    HWND first = nullptr;
    for (HWND child = GetWindow(pages[0], GW_HWNDFIRST); child && !first; child = GetWindow(child, GW_HWNDNEXT))
        for (HWND page : pages)
            if (child == page) first = page;
    EXPECT_EQ(first, pages[chosen]) << chosen;
    RECT display;
    GetClientRect(tab, &display);
    SendMessageW(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    POINT middle = {(display.left + display.right) / 2, (display.top + display.bottom) / 2};
    EXPECT_EQ(ChildWindowFromPointEx(dialog, middle, CWP_SKIPINVISIBLE), pages[chosen]) << chosen;
}

// Screenshot mode: shows the window, writes folder\name.ready holding its screen
// rectangle ("x y width height") and waits, pumping messages, until a capturer
// outside Wine (ImageMagick's import on the X display) has taken the picture and
// deleted the file; ten seconds at most.
void holdForScreenshot(HWND window, const std::string& folder, const char* name)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pumpFor(300);
    RECT rect;
    GetWindowRect(window, &rect);
    std::string line = std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
                       std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top) + "\n";
    std::string path = folder + "\\" + name + ".ready";
    std::wstring widePath(path.begin(), path.end());
    writeFileBytes(widePath, line.data(), line.size());
    pumpUntil([&] { return GetFileAttributesW(widePath.c_str()) == INVALID_FILE_ATTRIBUTES; }, 10000, 50);
    DeleteFileW(widePath.c_str());
}

// --- Strings ----------------------------------------------------------------------------

const wchar_t* const Rate = L"Курс ";
const wchar_t* const Ratio = L"Соотношение ";
const wchar_t* const Current = L"текущий";
const wchar_t* const NextIfAny = L"следующий/если есть";

std::wstring rateText(const wchar_t* symbol) { return std::wstring(Rate) + symbol + L"."; }
std::wstring ratioText(const wchar_t* a, const wchar_t* b) { return std::wstring(Ratio) + a + L"/" + b + L"."; }

// --- The fixture --------------------------------------------------------------------------

struct Options : ::testing::Test {
    HWND owner = nullptr;
    KeptFile keptSettings{buildFolder() + L"\\vokCurrency.set"};  // OK writes it
    const std::wstring& settingsPath = keptSettings.path;

    void SetUp() override
    {
        moduleInstance = GetModuleHandleW(nullptr);
        owner = makeTodayScreen(L"Today");
        setDefaultSettings(settings, 96);
        setSettingsChangedHandler(panelSettingsChanged);  // as attach sets it
        chooseColourCall = nullptr;
    }
    void TearDown() override
    {
        DestroyWindow(owner);
        chooseColourCall = ChooseColorW;
    }
    INT_PTR run(Script options, Script editor = nullptr)
    {
        auto open = [this] { return openDialog(IDD_OPTIONS, CustomItemOptionsDlgProc, owner, 0); };
        return runModal(open, options, editor);
    }
    std::vector<unsigned char> fileBytes() { return readFileBytes(settingsPath); }
    void writeSettingsFile() { writeFileBytes(settingsPath, &settings, sizeof settings); }
};

// A rate of currency with digits after the point, in the default colour.
PanelItem plainItem(uint8_t currency, uint8_t digits) { return {0, 0, currency, 0, 1, {}, 0, 0, digits, {}}; }

}  // namespace

// --- The dialog and its pages ---------------------------------------------------------------

TEST_F(Options, OpensWithFourTabsOverFourVisiblePages)
{
    INT_PTR result = run([](HWND dialog) {
        EXPECT_EQ(windowText(dialog), OptionsTitle);
        HWND tab = GetDlgItem(dialog, IDC_OPTIONS_TAB);
        ASSERT_NE(tab, nullptr);
        EXPECT_EQ(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 4);
        const wchar_t* names[4] = {L"Панель", L"Обновление", L"Разное", L"О"};
        for (int i = 0; i < 4; ++i) {
            wchar_t text[32] = L"";
            TCITEMW item = {};
            item.mask = TCIF_TEXT;
            item.pszText = text;
            item.cchTextMax = 32;
            SendMessageW(tab, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
            EXPECT_STREQ(text, names[i]) << i;
        }
        // The items page is on top; all pages lie within the tab's display area,
        // which ends above the menu bar.
        expectOnTop(dialog, 0);
        RECT display, barRect, tabRect;
        GetClientRect(tab, &display);
        SendMessageW(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
        GetWindowRect(GetDlgItem(dialog, ShellMenuBarId), &barRect);
        GetWindowRect(tab, &tabRect);
        EXPECT_LE(tabRect.bottom, barRect.top);
        EXPECT_GT(display.bottom - display.top, 100);
        // The menu bar's one button is "Отмена"; the Done button is there too.
        EXPECT_EQ(itemText(GetDlgItem(dialog, ShellMenuBarId), IDM_CANCEL), Cancel);
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, ShellDoneButtonId)));
        // The hidden, disabled box of UpdateOnConnect.
        HWND onConnect = GetDlgItem(updatePage(dialog), IDC_UPDATE_ON_CONNECT);
        EXPECT_FALSE(IsWindowVisible(onConnect));
        EXPECT_FALSE(IsWindowEnabled(onConnect));
        EXPECT_EQ(itemText(aboutPage(dialog), IDC_ABOUT_CURRENCY), L"RUB");
        pressCancel(dialog);
    });
    EXPECT_EQ(result, IDM_CANCEL);
    EXPECT_EQ(optionsPages[0], nullptr);
    EXPECT_EQ(GetFileAttributesW(settingsPath.c_str()), INVALID_FILE_ATTRIBUTES);  // nothing was saved
}

TEST_F(Options, TabsBringTheChosenPageToTheTopWithoutHidingTheOthers)
{
    run([](HWND dialog) {
        for (int chosen : {2, 1, 3, 0, 2, 2, 3}) {
            clickTab(dialog, chosen);
            expectOnTop(dialog, chosen);
        }
        pressCancel(dialog);
    });
}

TEST_F(Options, PagesShowTheSettingsAndOkKeepsWhatCannotBeShown)
{
    settings.updateFlags = UpdateDaily | OnlyIfStale | EstablishConnection;  // interval off: IDC_ONLY_IF_STALE grey
    settings.updateInterval = 45;
    settings.dailyHour = 7;
    settings.dailyMinute = 5;
    settings.useProxy = 1;
    copy16(settings.proxy, 65, u"proxy.local:3128");
    settings.visibleItems = 4;
    settings.panelFont.lfHeight = 18;
    settings.panelFont.lfWeight = 600;
    settings.centerItems = 1;
    settings.commaFlags = CommaOnPanel | CommaInHistory;
    settings.historyDigits = 7;
    settings.historyLength = 20;
    Settings before = settings;

    INT_PTR result = run([](HWND dialog) {
        HWND update = updatePage(dialog), misc = miscPage(dialog);
        expectTicks(update, {IDC_ONLY_IF_STALE, IDC_UPDATE_DAILY, IDC_USE_PROXY, IDC_ESTABLISH_CONNECTION},
                    {IDC_UPDATE_EVERY, IDC_UPDATE_ON_CONNECT});
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(update, IDC_ONLY_IF_STALE)));
        EXPECT_EQ(itemText(update, IDC_UPDATE_INTERVAL), L"45");
        EXPECT_EQ(itemText(update, IDC_DAILY_HOUR), L"7");
        EXPECT_EQ(itemText(update, IDC_DAILY_MINUTE), L"05");
        EXPECT_EQ(itemText(update, IDC_PROXY), L"proxy.local:3128");

        EXPECT_EQ(itemText(misc, IDC_VISIBLE_ITEMS), L"4");
        EXPECT_EQ(itemText(misc, IDC_FONT_HEIGHT), L"18");
        // The bold box clear: 600 is not bold.
        expectTicks(misc, {IDC_CENTER_ITEMS, IDC_COMMA_ON_PANEL, IDC_COMMA_IN_HISTORY},
                    {IDC_BOLD, IDC_FILLED_ARROWS, IDC_COMMA_ON_COPY});
        EXPECT_EQ(SendDlgItemMessageW(misc, IDC_HISTORY_DIGITS, CB_GETCOUNT, 0, 0), 5);
        EXPECT_EQ(selection(misc, IDC_HISTORY_DIGITS), CB_ERR);  // 7 has no row
        EXPECT_EQ(itemText(misc, IDC_HISTORY_LENGTH), L"20");

        // Ticking "every" ungreys its companion.
        click(update, IDC_UPDATE_EVERY);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(update, IDC_ONLY_IF_STALE)));
        click(update, IDC_UPDATE_EVERY);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(update, IDC_ONLY_IF_STALE)));
        pressDone(dialog);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(settings.panelFont.lfWeight, 400);
    EXPECT_EQ(settings.historyDigits, 7);
    // Everything else the pages showed comes back as it was.
    Settings expected = before;
    expected.panelFont.lfWeight = 400;
    for (int i = 2; i < 5; ++i) expected.itemColumnWidths[i] = 0;
    EXPECT_EQ(std::memcmp(&settings, &expected, sizeof settings), 0);
}

TEST_F(Options, OkReadsThePagesWithTheirBounds)
{
    settings.updateFlags = UpdateEvery | OnlyIfStale | UpdateOnConnect;
    settings.updateInterval = 30;
    settings.dailyHour = 15;
    settings.dailyMinute = 30;
    std::wstring longProxy;
    for (int i = 0; i < 70; ++i) longProxy += wchar_t(L'a' + i % 26);

    run([&](HWND dialog) {
        HWND update = updatePage(dialog), misc = miscPage(dialog);
        click(update, IDC_UPDATE_EVERY);  // off: IDC_ONLY_IF_STALE greys but stays ticked
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(update, IDC_ONLY_IF_STALE)));
        setText(update, IDC_UPDATE_INTERVAL, L"");   // kept
        setText(update, IDC_DAILY_HOUR, L"");   // 0
        setText(update, IDC_DAILY_MINUTE, L"60"); // kept
        click(update, IDC_USE_PROXY);
        setText(update, IDC_PROXY, longProxy.c_str());
        setText(misc, IDC_VISIBLE_ITEMS, L"256");  // 15
        setText(misc, IDC_FONT_HEIGHT, L"48");   // kept
        click(misc, IDC_BOLD);            // bold off
        click(misc, IDC_FILLED_ARROWS);
        click(misc, IDC_COMMA_ON_COPY);            // copying comma off
        choose(misc, IDC_HISTORY_DIGITS, 1);
        setText(misc, IDC_HISTORY_LENGTH, L"5000"); // kept
        pressDone(dialog);
    });
    EXPECT_EQ(settings.updateFlags, OnlyIfStale | UpdateOnConnect);
    EXPECT_EQ(settings.updateInterval, 30);
    EXPECT_EQ(settings.dailyHour, 0);
    EXPECT_EQ(settings.dailyMinute, 30);
    EXPECT_EQ(settings.useProxy, 1);
    EXPECT_EQ(std::u16string(settings.proxy), std::u16string(longProxy.begin(), longProxy.begin() + 63));
    EXPECT_EQ(settings.visibleItems, 15);
    EXPECT_EQ(settings.panelFont.lfHeight, 15);
    EXPECT_EQ(settings.panelFont.lfWeight, 400);
    EXPECT_EQ(settings.filledArrows, 1);
    EXPECT_EQ(settings.commaFlags, CommaOnPanel | CommaInHistory);
    EXPECT_EQ(settings.historyDigits, 1);
    EXPECT_EQ(settings.historyLength, 15);

    // UpdateOnConnect clear in the record stays clear.
    settings.updateFlags = UpdateDaily;
    run([](HWND dialog) { pressDone(dialog); });
    EXPECT_EQ(settings.updateFlags, UpdateDaily);
}

TEST_F(Options, OkRewritesTheFileAndReturnsThePanelToItsFirstItem)
{
    firstVisible = 2;
    redrawFlag = 0;
    INT_PTR result = run([](HWND dialog) { pressDone(dialog); });
    EXPECT_EQ(result, 1);
    std::vector<unsigned char> bytes = fileBytes();
    ASSERT_EQ(bytes.size(), sizeof settings);
    EXPECT_EQ(std::memcmp(bytes.data(), &settings, sizeof settings), 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(settings.itemColumnWidths[i], i < 2 ? 90 : 0) << i;
    EXPECT_EQ(firstVisible, 0);
    EXPECT_EQ(redrawFlag.load(), 1);
    EXPECT_EQ(optionsPages[1], nullptr);
}

TEST_F(Options, CancelAfterItemEditsLeavesSettingsAndFileAsTheyWere)
{
    writeSettingsFile();
    std::vector<unsigned char> fileBefore = fileBytes();
    Settings before = settings;
    firstVisible = 1;
    redrawFlag = 0;
    // Once with the menu bar's "Отмена", once with the desktop's close box.
    for (int way = 0; way < 2; ++way) {
        INT_PTR result = run(
            [way](HWND dialog) {
                selectRow(dialog, 1);
                click(itemsPage(dialog), IDC_ITEM_DELETE);
                click(itemsPage(dialog), IDC_ITEM_ADD);
                editRow(dialog, 0);
                selectRow(dialog, 1);
                click(itemsPage(dialog), IDC_ITEM_UP);
                EXPECT_EQ(rowCount(dialog), 3);
                setText(updatePage(dialog), IDC_UPDATE_INTERVAL, L"5");
                click(miscPage(dialog), IDC_CENTER_ITEMS);
                if (way == 0)
                    pressCancel(dialog);
                else
                    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            },
            [](HWND editor) {
                click(editor, IDC_EDITOR_RATIO);
                click(editor, IDC_EDITOR_ARROW);
                choose(editor, IDC_EDITOR_CURRENCY, 5);
                pressDone(editor);
            });
        EXPECT_EQ(result, IDM_CANCEL) << way;
        EXPECT_EQ(driver.seen(EditorTitle), 2) << way;
        EXPECT_EQ(std::memcmp(&settings, &before, sizeof settings), 0) << way;
        EXPECT_EQ(fileBytes(), fileBefore) << way;
        EXPECT_EQ(firstVisible, 1);
        EXPECT_EQ(redrawFlag.load(), 0);
    }
}

// --- The item list ------------------------------------------------------------------------

TEST_F(Options, ListShowsTheItemsAndMovesAndDeletesThem)
{
    settings.itemCount = 4;
    settings.items[3] = plainItem(2, 4);
    settings.items[3].period = 2;
    settings.items[2].period = 1;
    run([](HWND dialog) {
        HWND page = itemsPage(dialog);
        ASSERT_EQ(rowCount(dialog), 4);
        EXPECT_EQ(rowText(dialog, 0, 0), rateText(L"€"));
        EXPECT_EQ(rowText(dialog, 0, 1), Current);
        EXPECT_EQ(rowText(dialog, 1, 0), ratioText(L"€", L"$"));
        EXPECT_EQ(rowText(dialog, 2, 1), L"следующий");
        EXPECT_EQ(rowText(dialog, 3, 0), rateText(L"\x00A3"));
        EXPECT_EQ(rowText(dialog, 3, 1), NextIfAny);

        // Nothing selected: the row buttons do nothing.
        for (int id : {IDC_ITEM_UP, IDC_ITEM_DOWN, IDC_ITEM_DELETE, IDC_ITEM_EDIT}) click(page, id);
        EXPECT_EQ(rowCount(dialog), 4);
        EXPECT_EQ(driver.seen(EditorTitle), 0);

        selectRow(dialog, 0);
        click(page, IDC_ITEM_UP);  // the first row stays
        EXPECT_EQ(rowText(dialog, 0, 0), rateText(L"€"));
        selectRow(dialog, 3);
        click(page, IDC_ITEM_DOWN);  // so does the last
        EXPECT_EQ(rowText(dialog, 3, 0), rateText(L"\x00A3"));

        selectRow(dialog, 2);
        click(page, IDC_ITEM_UP);  // rows 1 and 2 swap, the selection follows
        EXPECT_EQ(rowText(dialog, 1, 0), rateText(L"$"));
        EXPECT_EQ(rowText(dialog, 2, 0), ratioText(L"€", L"$"));
        EXPECT_EQ(selectionMark(dialog), 1);
        EXPECT_TRUE(rowSelected(dialog, 1));
        EXPECT_FALSE(rowSelected(dialog, 2));
        click(page, IDC_ITEM_DOWN);
        EXPECT_EQ(rowText(dialog, 2, 0), rateText(L"$"));
        EXPECT_EQ(selectionMark(dialog), 2);

        selectRow(dialog, 1);
        click(page, IDC_ITEM_DELETE);  // the middle goes; the rest keep their order
        ASSERT_EQ(rowCount(dialog), 3);
        EXPECT_EQ(rowText(dialog, 0, 0), rateText(L"€"));
        EXPECT_EQ(rowText(dialog, 1, 0), rateText(L"$"));
        EXPECT_EQ(rowText(dialog, 2, 0), rateText(L"\x00A3"));
        EXPECT_EQ(selectionMark(dialog), -1);
        EXPECT_FALSE(rowSelected(dialog, 1));
        click(page, IDC_ITEM_DELETE);  // no selection now: nothing more goes
        EXPECT_EQ(rowCount(dialog), 3);
        pressDone(dialog);
    });
    ASSERT_EQ(settings.itemCount, 3);
    EXPECT_EQ(settings.items[1].currency, 1);
    EXPECT_EQ(settings.items[1].period, 1);
    EXPECT_EQ(settings.items[2].currency, 2);
}

TEST_F(Options, AddAtFifteenItemsShowsTheLimitAndOpensNoEditor)
{
    settings.itemCount = 15;
    for (int i = 3; i < 15; ++i) settings.items[i] = plainItem(uint8_t(i), 2);
    Settings before = settings;
    run([](HWND dialog) {
        click(itemsPage(dialog), IDC_ITEM_ADD);
        EXPECT_EQ(driver.boxesSeen, 1);
        EXPECT_EQ(driver.boxCaption, L"vok Currency");
        EXPECT_EQ(driver.boxText, LimitText);
        EXPECT_EQ(driver.seen(EditorTitle), 0);
        EXPECT_EQ(rowCount(dialog), 15);
        pressDone(dialog);
    });
    EXPECT_EQ(settings.itemCount, 15);
    EXPECT_EQ(std::memcmp(settings.items, before.items, sizeof settings.items), 0);
}

TEST_F(Options, AddAtFourteenItemsThenOkMakesFifteenWithTheNewItemDefaults)
{
    settings.itemCount = 14;
    for (int i = 3; i < 16; ++i) settings.items[i] = plainItem(uint8_t(i), 3);
    settings.items[14].colour = RGB(1, 2, 3);  // a free slot's leftovers don't reach the new item
    settings.items[14].itemFlags = 3;
    run([](HWND dialog) {
        click(itemsPage(dialog), IDC_ITEM_ADD);  // closed with its close box: nothing added
        EXPECT_EQ(rowCount(dialog), 14);
        click(itemsPage(dialog), IDC_ITEM_ADD);
        EXPECT_EQ(driver.seen(EditorTitle), 2);
        EXPECT_EQ(driver.boxesSeen, 0);
        ASSERT_EQ(rowCount(dialog), 15);
        EXPECT_EQ(rowText(dialog, 14, 0), rateText(L"€"));
        EXPECT_EQ(rowText(dialog, 14, 1), Current);
        EXPECT_EQ(selectionMark(dialog), -1);
        pressDone(dialog);
    }, [](HWND editor) {
        // A new item as the editor shows it.
        EXPECT_EQ(selection(editor, IDC_EDITOR_CURRENCY), 0);
        EXPECT_EQ(selection(editor, IDC_EDITOR_CURRENCY2), 0);
        EXPECT_EQ(selection(editor, IDC_EDITOR_DIGITS), 2);
        EXPECT_EQ(SendDlgItemMessageW(editor, IDC_EDITOR_CURRENCY, CB_GETCOUNT, 0, 0), CurrencyCount);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(editor, IDC_EDITOR_CURRENCY2)));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(editor, IDC_EDITOR_SLASH)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(editor, IDC_EDITOR_IF_AVAILABLE)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(editor, IDC_EDITOR_COLOUR)));
        expectTicks(editor, {IDC_EDITOR_DEFAULT_COLOUR}, {IDC_EDITOR_RATIO, IDC_EDITOR_NEXT_PERIOD,
                    IDC_EDITOR_IF_AVAILABLE, IDC_EDITOR_ARROW, IDC_EDITOR_DIFFERENCE});
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(editor, ShellDoneButtonId)));
        if (driver.seen(EditorTitle) == 1) {
            click(editor, IDC_EDITOR_RATIO);
            SendMessageW(editor, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else {
            pressDone(editor);
        }
    });
    ASSERT_EQ(settings.itemCount, 15);
    // Every field of the new item: a plain rate of the first currency, two digits, the default colour.
    const PanelItem& a = settings.items[14];
    std::vector<int> fields = {a.isRatio, a.period, a.currency, a.currency2, a.digits, a.useDefaultColour,
                               int(a.colour), a.itemFlags};
    EXPECT_EQ(fields, (std::vector<int>{0, 0, 0, 0, 2, 1, 0, 0}));
}

// --- The item editor -----------------------------------------------------------------------

TEST_F(Options, EditorMakesARatioForTheNextPeriod)
{
    run([](HWND dialog) {
        editRow(dialog, 0);
        EXPECT_EQ(rowText(dialog, 0, 0), ratioText(L"$", L"€"));
        EXPECT_EQ(rowText(dialog, 0, 1), NextIfAny);
        pressDone(dialog);
    }, [](HWND editor) {
        EXPECT_EQ(windowText(GetWindow(editor, GW_OWNER)), OptionsTitle);
        EXPECT_TRUE(isChecked(editor, IDC_EDITOR_ARROW));  // the default first item has an arrow
        EXPECT_EQ(selection(editor, IDC_EDITOR_DIGITS), 4);
        click(editor, IDC_EDITOR_RATIO);
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(editor, IDC_EDITOR_CURRENCY2)));
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(editor, IDC_EDITOR_SLASH)));
        choose(editor, IDC_EDITOR_CURRENCY, 1);
        choose(editor, IDC_EDITOR_CURRENCY2, 0);
        click(editor, IDC_EDITOR_NEXT_PERIOD);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(editor, IDC_EDITOR_IF_AVAILABLE)));
        click(editor, IDC_EDITOR_IF_AVAILABLE);
        click(editor, IDC_EDITOR_DIFFERENCE);
        choose(editor, IDC_EDITOR_DIGITS, 3);
        pressDone(editor);
    });
    const PanelItem& item = settings.items[0];
    EXPECT_EQ(item.isRatio, 1);
    EXPECT_EQ(item.currency, 1);
    EXPECT_EQ(item.currency2, 0);
    EXPECT_EQ(item.period, 2);
    EXPECT_EQ(item.itemFlags, ShowArrow | ShowDifference);
    EXPECT_EQ(item.digits, 3);
}

TEST_F(Options, EditorPeriodBoxesAndAHiddenSecondCurrency)
{
    settings.items[1].period = 2;
    run([](HWND dialog) {
        editRow(dialog, 1);
        pressDone(dialog);
    }, [](HWND editor) {
        expectTicks(editor, {IDC_EDITOR_RATIO, IDC_EDITOR_NEXT_PERIOD, IDC_EDITOR_IF_AVAILABLE}, {});
        EXPECT_EQ(selection(editor, IDC_EDITOR_CURRENCY2), 1);
        click(editor, IDC_EDITOR_NEXT_PERIOD);  // off: "if available" greys but keeps its tick
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(editor, IDC_EDITOR_IF_AVAILABLE)));
        EXPECT_TRUE(isChecked(editor, IDC_EDITOR_IF_AVAILABLE));
        click(editor, IDC_EDITOR_RATIO);  // no longer a ratio: the second list hides, keeping its row
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(editor, IDC_EDITOR_CURRENCY2)));
        pressDone(editor);
    });
    EXPECT_EQ(settings.items[1].period, 0);
    EXPECT_EQ(settings.items[1].isRatio, 0);
    EXPECT_EQ(settings.items[1].currency2, 1);
}

TEST_F(Options, ChosenColourSurvivesTheDefaultBoxAndTheChooserStartsFresh)
{
    static int calls;
    static bool chooserAnswers;
    static std::vector<CHOOSECOLORW> seen;
    static std::vector<std::vector<COLORREF>> customSeen;
    calls = 0;
    seen.clear();
    customSeen.clear();
    chooserAnswers = true;
    chooseColourCall = [](LPCHOOSECOLORW choice) -> BOOL {
        ++calls;
        seen.push_back(*choice);
        customSeen.emplace_back(choice->lpCustColors, choice->lpCustColors + 16);
        for (int i = 0; i < 16; ++i) choice->lpCustColors[i] = RGB(200, 100, i);  // the user's custom colours
        if (!chooserAnswers) return FALSE;
        choice->rgbResult = RGB(10, 20, 30);
        return TRUE;
    };
    static HWND editorSeen;
    Script edit = [](HWND dialog) {
        editRow(dialog, 2);
        pressDone(dialog);
    };
    run(edit, [](HWND editor) {
        editorSeen = editor;
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(editor, IDC_EDITOR_COLOUR)));
        click(editor, IDC_EDITOR_DEFAULT_COLOUR);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(editor, IDC_EDITOR_COLOUR)));
        click(editor, IDC_EDITOR_COLOUR);
        click(editor, IDC_EDITOR_DEFAULT_COLOUR);  // the default colour again
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(editor, IDC_EDITOR_COLOUR)));
        pressDone(editor);
    });
    EXPECT_EQ(settings.items[2].useDefaultColour, 1);
    EXPECT_EQ(settings.items[2].colour, RGB(10, 20, 30));
    ASSERT_EQ(calls, 1);
    EXPECT_EQ(seen[0].hwndOwner, editorSeen);
    EXPECT_EQ(seen[0].rgbResult, RGB(0, 0, 0));
    EXPECT_EQ(seen[0].Flags, DWORD(CC_RGBINIT | CC_ANYCOLOR));
    EXPECT_EQ(seen[0].Flags, 0x101u);
    EXPECT_EQ(seen[0].lStructSize, sizeof(CHOOSECOLORW));

    // The next edit offers the stored colour; a cancelled chooser keeps it, and every
    // call gets custom colours all zero again.
    chooserAnswers = false;
    run(edit, [](HWND editor) {
        click(editor, IDC_EDITOR_DEFAULT_COLOUR);
        click(editor, IDC_EDITOR_COLOUR);
        click(editor, IDC_EDITOR_COLOUR);
        pressDone(editor);
    });
    EXPECT_EQ(settings.items[2].useDefaultColour, 0);
    EXPECT_EQ(settings.items[2].colour, RGB(10, 20, 30));
    ASSERT_EQ(calls, 3);
    EXPECT_EQ(seen[1].rgbResult, RGB(10, 20, 30));
    for (const auto& custom : customSeen)
        for (COLORREF c : custom) EXPECT_EQ(c, 0u);
}

TEST_F(Options, DamagedItemsShowAndEditWithinTheLists)
{
    // Values only a damaged record can hold (a loaded file is clamped first).
    settings.items[0].currency = 200;
    settings.items[0].digits = 9;
    settings.items[0].period = 7;
    settings.items[1].currency2 = 44;
    run([](HWND dialog) {
        EXPECT_EQ(rowText(dialog, 0, 0), rateText(L"KRW"));
        EXPECT_EQ(rowText(dialog, 0, 1), Current);
        EXPECT_EQ(rowText(dialog, 1, 0), ratioText(L"€", L"KRW"));
        for (int row : {0, 1}) editRow(dialog, row);
        pressDone(dialog);
    }, [](HWND editor) {
        if (isChecked(editor, IDC_EDITOR_RATIO)) {
            EXPECT_EQ(selection(editor, IDC_EDITOR_CURRENCY2), CB_ERR);
        } else {
            EXPECT_EQ(selection(editor, IDC_EDITOR_CURRENCY), CB_ERR);
            EXPECT_EQ(selection(editor, IDC_EDITOR_DIGITS), CB_ERR);
            EXPECT_TRUE(isChecked(editor, IDC_EDITOR_NEXT_PERIOD));
        }
        pressDone(editor);
    });
    EXPECT_EQ(settings.items[0].currency, 43);
    EXPECT_EQ(settings.items[0].digits, 4);
    EXPECT_EQ(settings.items[0].period, 1);
    EXPECT_EQ(settings.items[1].currency2, 43);
    EXPECT_EQ(settings.items[1].currency, 0);
}

// --- Through the library, as the host opens it --------------------------------------------

TEST(OptionsLibrary, TheHostOpensTheDialogFromTheLibrary)
{
    PluginHost plugin;
    PluginFolder& folder = plugin.folder;
    ASSERT_TRUE(plugin.loadLibrary());
    std::function<INT_PTR()> open = libraryOptions(plugin.dll, plugin.host = makeTodayScreen(L"Today"));
    ASSERT_TRUE(open);

    // Cancel writes nothing; OK writes the file beside the library.
    std::vector<unsigned char> before = readFileBytes(folder.file(L"vokCurrency.set"));
    ASSERT_EQ(before.size(), 584u);
    INT_PTR cancelled = runModal(open, [](HWND dialog) {
        setText(updatePage(dialog), IDC_UPDATE_INTERVAL, L"45");
        pressCancel(dialog);
    });
    EXPECT_EQ(cancelled, IDM_CANCEL);
    EXPECT_EQ(readFileBytes(folder.file(L"vokCurrency.set")), before);

    // The publication box shows bit 5 as attach wrote it; OK writes it turned, then back.
    const uint8_t flags = before[0];
    INT_PTR done = runModal(open, [flags](HWND dialog) {
        EXPECT_EQ(itemText(GetDlgItem(dialog, ShellMenuBarId), IDM_CANCEL), Cancel);
        EXPECT_EQ(rowCount(dialog), 3);
        setText(updatePage(dialog), IDC_UPDATE_INTERVAL, L"45");
        EXPECT_TRUE(visible(GetDlgItem(updatePage(dialog), IDC_UPDATE_ON_PUBLICATION)));
        EXPECT_EQ(isChecked(updatePage(dialog), IDC_UPDATE_ON_PUBLICATION), (flags & UpdateOnPublication) != 0);
        click(updatePage(dialog), IDC_UPDATE_ON_PUBLICATION);
        click(itemsPage(dialog), IDC_ITEM_ADD);
        pressDone(dialog);
    }, [](HWND editor) { pressDone(editor); });
    EXPECT_EQ(done, 1);
    std::vector<unsigned char> after = readFileBytes(folder.file(L"vokCurrency.set"));
    ASSERT_EQ(after.size(), 584u);
    EXPECT_EQ(plugin.storedSettings().updateInterval, 45);
    EXPECT_EQ(plugin.storedSettings().itemCount, 4);
    EXPECT_EQ(plugin.storedSettings().updateFlags, flags ^ UpdateOnPublication);  // the hidden bit kept too
    runModal(open, [](HWND dialog) {
        click(updatePage(dialog), IDC_UPDATE_ON_PUBLICATION);
        pressDone(dialog);
    });
    EXPECT_EQ(plugin.storedSettings().updateFlags, flags);
    plugin.unload();
}

// --- Layout: every text whole, nothing overlapping ----------------------------------------

TEST_F(Options, EveryTextFitsItsControlAndNothingOverlaps)
{
    settings.items[2].period = 2;
    run([](HWND dialog) {
        HWND tab = GetDlgItem(dialog, IDC_OPTIONS_TAB);
        RECT last;
        SendMessageW(tab, TCM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&last));
        RECT tabClient;
        GetClientRect(tab, &tabClient);
        EXPECT_LE(last.right, tabClient.right) << "the tabs need scrolling";
        const char* names[4] = {"options-items", "options-update", "options-misc", "options-about"};
        HWND pages[4] = {itemsPage(dialog), updatePage(dialog), miscPage(dialog), aboutPage(dialog)};
        for (int i = 0; i < 4; ++i) {
            clickTab(dialog, i);
            checkNoOverlap(checkTexts(pages[i], names[i]), names[i]);
            if (!Screenshots.empty()) holdForScreenshot(dialog, Screenshots, names[i]);
        }
        // The list's columns fit the page.
        HWND rows = list(dialog);
        RECT listClient;
        GetClientRect(rows, &listClient);
        int columns = int(SendMessageW(rows, LVM_GETCOLUMNWIDTH, 0, 0) + SendMessageW(rows, LVM_GETCOLUMNWIDTH, 1, 0));
        EXPECT_LE(columns, listClient.right);
        clickTab(dialog, 0);
        editRow(dialog, 1);
        pressCancel(dialog);
    }, [](HWND editor) {
        checkNoOverlap(checkTexts(editor, "editor"), "editor");
        if (!Screenshots.empty()) holdForScreenshot(editor, Screenshots, "editor");
        SendMessageW(editor, WM_CLOSE, 0, 0);
    });
}

// --- Limits: set in the editor, seen on the panel and as notifications ---------------------

// The real DLL with a day of USD 80 stored. An upper limit typed into its editor
// (text that is no number refused first, the field keeping it); then updates, each
// serving today's table with its USD rate: across the limit the item is black on
// amber and one notification is raised; staying above raises none, also after a
// restart; back below clears the alert and takes the notification away. The
// settings file stays byte for byte as the options' OK wrote it.
TEST(PanelAlerts, AnUpperLimitSetInTheEditorAlertsOncePerCrossing)
{
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    PluginHost plugin;
    SYSTEMTIME now = localNow();
    setDefaultSettings(settings, 96);
    plugin.prepare(service.port(), {dayOf(previousDay(makeDayCode(now.wDay, now.wMonth, now.wYear)), 96.0f, 80.0f)});
    ASSERT_TRUE(plugin.load(true));
    plugin.query();
    PluginHost::notifications.clear();
    PluginHost::notificationsWithdrawn = 0;
    const std::wstring settingsFile = plugin.folder.file(L"vokCurrency.set");
    std::vector<unsigned char> settingsBytes = readFileBytes(settingsFile);
    ASSERT_EQ(settingsBytes.size(), 584u);
    std::function<INT_PTR()> open = libraryOptions(plugin.dll, plugin.host);
    ASSERT_TRUE(open);
    bool refusedKeptText = false;
    EXPECT_EQ(runModal(open, [](HWND dialog) {
        editRow(dialog, 2);  // the dollar
        pressDone(dialog);
    }, [&](HWND editor) {
        setText(editor, IDC_EDITOR_UPPER, L"9O");
        pressDone(editor);  // refused: the box is noted and closed, the editor stays
        refusedKeptText = IsWindow(editor) && itemText(editor, IDC_EDITOR_UPPER) == L"9O";
        setText(editor, IDC_EDITOR_UPPER, L"90,5");
        pressDone(editor);
    }), 1);
    EXPECT_EQ(driver.boxText, L"Извините, но граница курса должна быть числом.");
    EXPECT_TRUE(refusedKeptText);
    // OK writes the record as it always did (the list's missing columns 2 to 4 get
    // width 0); nothing else of it changes, then or later.
    std::memset(&settingsBytes[offsetof(Settings, itemColumnWidths) + 4], 0, 6);
    EXPECT_EQ(readFileBytes(settingsFile), settingsBytes);
    EXPECT_EQ(plugin.pixelsOf(RGB(255, 200, 0)), 0);  // 80: inside

    wchar_t day[16];
    _snwprintf(day, 16, L"%02d.%02d.%04d", now.wDay, now.wMonth, now.wYear);
    const struct {
        const char* usd;
        bool alert, restartFirst;
        size_t notifications;
        int withdrawn;
    } updates[] = {{"95,0000", true, false, 1, 0}, {"96,0000", true, false, 1, 0}, {"85,0000", false, false, 1, 1},
                   {"97,0000", true, false, 2, 1}, {"98,0000", true, true, 2, 1}};
    for (const auto& u : updates) {
        if (u.restartFirst) {
            plugin.unload();  // the state comes back from the limits file
            ASSERT_TRUE(plugin.load(true));
            plugin.query();
        }
        service.respondWith(serving(todaysDocument(now, u.usd)));
        std::vector<int> frames = plugin.tapIcon(10000);
        EXPECT_TRUE(!frames.empty() && frames.back() <= 1) << u.usd;  // settled, not failed
        EXPECT_EQ(plugin.pixelsOf(RGB(255, 200, 0)) > 50, u.alert) << u.usd;
        EXPECT_EQ(PluginHost::notifications.size(), u.notifications) << u.usd;
        EXPECT_EQ(PluginHost::notificationsWithdrawn, u.withdrawn) << u.usd;
        std::vector<unsigned char> limits = readFileBytes(plugin.folder.file(L"vokCurrency.lim"));
        ASSERT_EQ(limits.size(), 200u);
        EXPECT_EQ(limits[8 + 2 * 12], LimitUpper);
        EXPECT_EQ(limits[8 + 2 * 12 + 1], u.alert ? AlertAbove : AlertInside) << u.usd;
    }
    ASSERT_EQ(PluginHost::notifications.size(), 2u);
    EXPECT_EQ(PluginHost::notifications[0], L"USD выше 90,5000: 95,0000 (" + std::wstring(day) + L")");
    EXPECT_NE(PluginHost::notifications[1].find(L": 97,0000 ("), std::wstring::npos);
    EXPECT_EQ(readFileBytes(settingsFile), settingsBytes);
}
