// The panel window driven as the Today host drives it, in this process: the
// window procedure, the back buffer, the stylus and the clock.
#include <cstring>

#include "data/history.h"
#include "platform/shell.h"
#include "platform/testhooks.h"
#include "plugin/core/layout.h"
#include "platform/module.h"
#include "plugin/panel.h"
#include "resources/resource.h"
#include "update/schedule.h"
#include "harness.h"

extern "C" HWND WINAPI InitializeCustomItem(TODAYLISTITEM* item, HWND parent);

namespace {

const COLORREF hostBackground = RGB(255, 255, 255);

// Colour families rather than single shades: text and arrow edges may be smoothed
// into the white background by whatever the machine's font rendering does.
bool dominant(COLORREF c, int channel, int low, int high)
{
    int v[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
    return v[channel] >= low && v[channel] < high && v[channel] > v[(channel + 1) % 3] + 60 &&
           v[channel] > v[(channel + 2) % 3] + 60;
}
bool bluish(COLORREF c) { return dominant(c, 2, 150, 256); }
bool brightGreen(COLORREF c) { return dominant(c, 1, 150, 256); }
bool darkGreen(COLORREF c) { return dominant(c, 1, 48, 150); }
bool brightRed(COLORREF c) { return dominant(c, 0, 150, 256); }
bool darkRed(COLORREF c) { return dominant(c, 0, 48, 150); }
bool transparentKey(COLORREF c) { return c == RGB(1, 2, 3); }
bool background(COLORREF c) { return c == hostBackground; }

// The panel's tick count, moved on by the tests instead of waiting.
uint32_t ticks;

DayRates rates(int day, float eur, float usd) { return dayOf(makeDayCode(day, 12, 2026), eur, usd); }

struct Panel : ::testing::Test {
    PluginFolder folder;
    HWND host = nullptr;
    HWND panel = nullptr;
    TODAYLISTITEM item{};
    ModalDriver dialogs;  // notes each dialog the panel opens and closes it

    void SetUp() override
    {
        moduleInstance = GetModuleHandleW(nullptr);
        setDefaultSettings(settings, 96);
        loadHistory(reinterpret_cast<const char16_t*>(folder.file(L"vokCurrency.his").c_str()), 15);
        resetSchedule();
        schedulePlatform = SchedulePlatform{};
        schedulePlatform.localTime = [](LocalTime& t) { t = LocalTime{2026, 12, 8, 10, 0}; };
        ticks = 0x7FFFFF00;  // near the signed wrap: differences must still come out right
        schedulePlatform.tickCount = [] { return ticks; };
        iconStrip = SHLoadImageFile((buildFolder() + L"\\vokCurrency.png").c_str());
        iconSize = 16;
        firstVisible = 0;
        host = makeRecordingHost();
        panel = makePanelWindow(host);
        panelWindow = panel;
        SendMessageW(panel, WM_TODAYCUSTOM_CLEARCACHE, 0, 0);
        // Every dialog closed with "Отмена": nothing is saved.
        dialogs.on({nullptr, nullptr, true, false, true, IDM_CANCEL}).start();
    }
    void TearDown() override
    {
        dialogs.stop();
        DestroyWindow(host);
        freeIconStrip();
        freeHistory();
        schedulePlatform = SchedulePlatform{};
    }
    LRESULT query() { return SendMessageW(panel, WM_TODAYCUSTOM_QUERYREFRESHCACHE, WPARAM(&item), 0); }
    void paint()
    {
        InvalidateRect(panel, nullptr, FALSE);
        UpdateWindow(panel);
    }
    // Shows the Tuesday 8 December rates with Monday's before them.
    void showTwoDays()
    {
        storeDay(rates(7, 90.0f, 80.0f));
        storeDay(rates(8, 91.5f, 79.25f));
        query();
        paint();
    }
    // Five items, three of them on show, over the two days.
    void showFiveItemsThreeAtATime()
    {
        settings.itemCount = 5;
        settings.visibleItems = 3;
        for (int i = 3; i < 5; ++i) settings.items[i] = settings.items[0];
        showTwoDays();
    }
    // The item window's own state: its back buffer and size.
    const PanelWindow& state() const { return *reinterpret_cast<PanelWindow*>(GetWindowLongPtrW(panel, GWLP_USERDATA)); }
    int countPixels(bool (*matches)(COLORREF), int fromX = 0, int toX = 240)
    {
        int n = 0;
        for (int y = 0; y < state().height; ++y)
            for (int x = fromX; x < toX && x < state().width; ++x)
                if (matches(GetPixel(state().memoryDC, x, y))) ++n;
        return n;
    }
    // The icon frame, pixel for pixel where it isn't transparent, in the back buffer.
    void expectIconFrame(int frame)
    {
        HDC strip = CreateCompatibleDC(state().memoryDC);
        HGDIOBJ old = SelectObject(strip, iconStrip);
        int y0 = (state().height - iconSize) / 2, same = 0, compared = 0;
        for (int y = 0; y < iconSize; ++y)
            for (int x = 0; x < iconSize; ++x) {
                COLORREF source = GetPixel(strip, frame * iconSize + x, y);
                if (source == RGB(1, 2, 3)) continue;
                ++compared;
                if (GetPixel(state().memoryDC, x, y0 + y) == source) ++same;
            }
        SelectObject(strip, old);
        DeleteDC(strip);
        EXPECT_GT(compared, 10);
        EXPECT_EQ(same, compared) << compared - same << " pixels differ";
    }
    // A tap at x on an empty clipboard; what the clipboard holds after it.
    std::wstring tapAndCopy(int x)
    {
        emptyClipboard();
        press(x);
        release(x);
        return clipboardText();
    }
    void press(int x, int y = 5) { SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
    void move(int x, int y = 5) { SendMessageW(panel, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y)); }
    void release(int x, int y = 5) { SendMessageW(panel, WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }
    // Lets the double-tap window pass between two gestures.
    void pauseBetweenTaps() { ticks += 260; }
};

}  // namespace

TEST_F(Panel, RefreshQueryIsTheClockAndReportsTheHeight)
{
    item.cyp = 0;
    EXPECT_EQ(query(), 1);
    EXPECT_EQ(item.cyp, 17u);
    EXPECT_EQ(query(), 0);
    EXPECT_EQ(tickCounter, 2);
    tickCounter = 8192;
    query();
    EXPECT_EQ(tickCounter, 0);
    settings.panelFont.lfHeight = 24;
    EXPECT_EQ(query(), 1);
    EXPECT_EQ(item.cyp, 26u);
}

TEST_F(Panel, PaintDrawsTheIconFrameTextAndArrows)
{
    ASSERT_NE(iconStrip, nullptr);
    showTwoDays();
    EXPECT_GT(PluginHost::watermarks, 0);
    expectIconFrame(updateState.load());  // that of the current state
    EXPECT_EQ(countPixels(transparentKey), 0);

    // Text in the host's colour; EUR rose (green arrow), USD fell (red arrow).
    EXPECT_GT(countPixels(bluish, 25), 20);
    EXPECT_GT(countPixels(brightGreen, 25), 5);
    EXPECT_GT(countPixels(brightRed, 25), 5);
    EXPECT_EQ(countPixels(darkGreen, 25), 0);

    settings.filledArrows = 1;
    redrawFlag = 1;
    paint();
    EXPECT_GT(countPixels(darkGreen, 25), 5);
    EXPECT_GT(countPixels(darkRed, 25), 5);
    EXPECT_GT(countPixels(brightGreen, 25), 0);
}

TEST_F(Panel, IconShowsTheDownloadingFrame)
{
    showTwoDays();
    updateState = Downloading;
    paint();
    expectIconFrame(2);
    updateState = Fresh;
}

TEST_F(Panel, TapCopiesTheBareValue)
{
    settings.items[0].digits = 4;
    settings.commaFlags = CommaOnCopy;
    storeDay(rates(8, 1.5f, 80.0f));
    query();
    paint();
    ASSERT_GE(lastSlot, 0);
    int middle = slots[0].x + slots[0].width / 2;
    EXPECT_EQ(tapAndCopy(middle), L"1,5000");

    // A release exactly on an edge copies nothing.
    for (int edge : {slots[0].x, slots[0].x + slots[0].width}) {
        pauseBetweenTaps();
        EXPECT_EQ(tapAndCopy(edge), L"") << edge;
    }

    // A missing value copies as plain zeros.
    pauseBetweenTaps();
    settings.items[2].digits = 2;
    settings.commaFlags = 0;
    storeDay(rates(8, 1.5f, 0.0f));
    evaluateFreshness();
    paint();
    int usd = slots[2].x + slots[2].width / 2;
    EXPECT_EQ(tapAndCopy(usd), L"0.00");
}

TEST_F(Panel, DragsScrollOneItemPerThresholdAndStopAtTheEnds)
{
    showFiveItemsThreeAtATime();
    int threshold = dragThreshold;
    ASSERT_GT(threshold, 0);
    int x = 200;
    press(x);
    move(x - threshold);  // not beyond: nothing
    EXPECT_EQ(firstVisible, 0);
    move(x - threshold - 1);
    EXPECT_EQ(firstVisible, 1);
    x = x - threshold - 1;
    move(x - threshold - 1);
    EXPECT_EQ(firstVisible, 2);
    x = x - threshold - 1;
    move(x - threshold - 1);  // the end: no further
    EXPECT_EQ(firstVisible, 2);
    emptyClipboard();
    release(x);
    EXPECT_EQ(clipboardText(), L"");  // a drag never copies

    pauseBetweenTaps();
    press(40);
    move(40 + threshold + 1);
    EXPECT_EQ(firstVisible, 1);
    move(40 + 2 * threshold + 2);
    move(40 + 3 * threshold + 3);
    EXPECT_EQ(firstVisible, 0);
    release(40 + 3 * threshold + 3);
}

TEST_F(Panel, ADragPastTheLeftEdgeScrollsOnward)
{
    showFiveItemsThreeAtATime();
    firstVisible = 1;
    redrawFlag = 1;
    paint();
    ASSERT_GT(dragThreshold, 0);
    int x = -dragThreshold;  // the stylus is captured: left of the window x is negative
    press(40);
    move(x);
    EXPECT_EQ(firstVisible, 2);
    release(x);
}

TEST_F(Panel, EachItemWindowKeepsItsOwnBackBuffer)
{
    showTwoDays();
    // A host that makes a new item window before it destroys the old one.
    HWND second = makePanelWindow(host);
    ASSERT_NE(second, nullptr);
    DestroyWindow(panel);
    panel = second;
    panelWindow = second;
    SendMessageW(second, WM_SIZE, 0, MAKELPARAM(240, 17));
    PluginHost::watermarks = 0;
    paint();
    EXPECT_EQ(PluginHost::watermarks, 1);
    ASSERT_NE(GetWindowLongPtrW(panel, GWLP_USERDATA), 0);
    ASSERT_NE(state().memoryDC, nullptr);
    EXPECT_EQ(GetPixel(state().memoryDC, 239, 16), hostBackground);  // the whole back buffer is there
    EXPECT_GT(countPixels(background), 240 * 17 / 2);
    ASSERT_NE(iconStrip, nullptr);
    EXPECT_GT(countPixels(background, 0, iconSize), 0);
    EXPECT_LT(countPixels(background, 0, iconSize), iconSize * 17);  // the icon frame was drawn
}

TEST_F(Panel, DoubleTapOpensTheConverterButNeverOnTheFirstPress)
{
    showTwoDays();
    // The first press ever: a plain press, whatever the tick count says.
    press(5);
    EXPECT_EQ(dialogs.seen(), 0);
    ticks += 249;
    press(5);  // under 250 ms after the first
    EXPECT_EQ(dialogs.seen(), 1);
    ticks += 250;
    press(5);  // 250 ms: not a double tap
    EXPECT_EQ(dialogs.seen(), 1);
    pauseBetweenTaps();
    press(5);
    EXPECT_EQ(dialogs.seen(), 1);
    pauseBetweenTaps();
    shellForceNextGesture(GN_CONTEXTMENU);
    press(100);  // tap-and-hold on the rates: the history table
    EXPECT_EQ(dialogs.seen(), 2);
    pauseBetweenTaps();
    shellForceNextGesture(GN_CONTEXTMENU);
    press(iconSize);  // tap-and-hold on the icon (x equal to iconSize is still the icon): options
    EXPECT_EQ(dialogs.seen(), 3);
}

TEST_F(Panel, TapOnTheIconStartsAnUpdateOnlyWhenIdle)
{
    static int starts;
    starts = 0;
    schedulePlatform.startThread = [] {
        ++starts;
        return true;
    };
    showTwoDays();
    press(iconSize);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(updateState.load(), Downloading);
    pauseBetweenTaps();
    press(3);  // a download is shown: nothing starts
    EXPECT_EQ(starts, 1);
    pauseBetweenTaps();
    press(iconSize + 1);  // on the rates
    release(iconSize + 1);
    EXPECT_EQ(starts, 1);
    updateState = Fresh;
}

TEST_F(Panel, PaintWithoutLayoutKeepsThePlaces)
{
    showTwoDays();
    ItemSlot before[SlotCount];
    std::memcpy(before, slots, sizeof before);
    paint();
    EXPECT_EQ(std::memcmp(before, slots, sizeof before), 0);
    EXPECT_EQ(redrawFlag.load(), 0);
    EXPECT_EQ(slots[0].x, 25);
}

TEST_F(Panel, AHostAsksForTapAndHoldWithAProperty)
{
    showTwoDays();
    SetPropW(host, ShellHoldProperty, reinterpret_cast<HANDLE>(1));
    press(100);  // as the desktop host sends a right-click on the rates
    RemovePropW(host, ShellHoldProperty);
    release(100);
    EXPECT_EQ(dialogs.seen(), 1);
    pauseBetweenTaps();
    press(100);  // without it: a plain press
    release(100);
    EXPECT_EQ(dialogs.seen(), 1);
}

TEST_F(Panel, EveryNewItemWindowStartsTheClockAgain)
{
    KeptFile keptSettings(buildFolder() + L"\\vokCurrency.set");  // the new window's loading may write it
    for (int round = 0; round < 2; ++round) {
        tickCounter = 4000;
        redrawFlag = 0;
        HWND window = InitializeCustomItem(&item, host);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(tickCounter, 0);
        EXPECT_EQ(redrawFlag.load(), 1);
        DestroyWindow(window);
    }
    panelWindow = panel;
}

TEST(IconStrip, HighResolutionFrom192Dpi)
{
    for (int dpi : {96, 191, 192, 288})
        EXPECT_STREQ(iconStripFile(dpi), dpi < 192 ? L"vokCurrency.png" : L"vokCurrencyHIDPI.png") << dpi;
    // Both strips hold five square frames: 16 and 32 pixels high.
    for (int dpi : {96, 192}) {
        HBITMAP strip = SHLoadImageFile((buildFolder() + L"\\" + iconStripFile(dpi)).c_str());
        ASSERT_NE(strip, nullptr);
        BITMAP info;
        GetObjectW(strip, sizeof info, &info);
        EXPECT_EQ(info.bmHeight, dpi < 192 ? 16 : 32);
        EXPECT_EQ(info.bmWidth, 5 * info.bmHeight);
        DeleteObject(strip);
    }
}

TEST(IconStrip, AMissingStripKeepsTheTapZone)
{
    PluginFolder folder;
    DeleteFileW(folder.file(L"vokCurrency.png").c_str());
    DeleteFileW(folder.file(L"vokCurrencyHIDPI.png").c_str());
    HINSTANCE saved = moduleInstance;
    // Any module in that folder will do for the path rule: the copied DLL itself.
    moduleInstance = LoadLibraryW(folder.file(L"vokcurrency.dll").c_str());
    ASSERT_NE(moduleInstance, nullptr);
    loadIconStrip();
    EXPECT_EQ(iconStrip, nullptr);
    EXPECT_EQ(iconSize, 16);
    FreeLibrary(moduleInstance);
    moduleInstance = saved;
}
