// The shell stand-ins: Today records, image loading and drawing, tap-and-hold,
// dialog set-up with its Done button, the soft-keyboard preference and menu bars.
#include <algorithm>
#include <cstring>

#include "platform/shell.h"
#include "platform/testhooks.h"
#include "resources/resource.h"
#include "harness.h"

namespace {

constexpr COLORREF Key = RGB(1, 2, 3);
const wchar_t* const Cancel = L"Отмена";

template <typename T>
T at(const void* record, size_t offset)
{
    T value;
    std::memcpy(&value, static_cast<const unsigned char*>(record) + offset, sizeof value);
    return value;
}

// --- Images --------------------------------------------------------------------------

// A 32-bit top-down DIB section of the given pixels, row by row.
HBITMAP makeBitmap(int width, int height, const COLORREF* pixels)
{
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    for (int i = 0; bitmap && i < width * height; ++i) {
        COLORREF c = pixels[i];
        static_cast<DWORD*>(bits)[i] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
    return bitmap;
}

// A memory device context holding a bitmap of one colour.
struct Canvas {
    Canvas(int width, int height, COLORREF fill)
    {
        std::vector<COLORREF> pixels(size_t(width) * height, fill);
        bitmap = makeBitmap(width, height, pixels.data());
        previous = SelectObject(dc, bitmap);
    }
    ~Canvas()
    {
        SelectObject(dc, previous);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap;
    HGDIOBJ previous;
};

// --- Tap-and-hold --------------------------------------------------------------------

// No client window: the point in screen coordinates.
SHRGINFO pressAt(POINT point) { return {sizeof(SHRGINFO), nullptr, point, SHRG_RETURNCMD}; }

void sendMouse(DWORD flags, int dx = 0)
{
    INPUT input = {INPUT_MOUSE, {{dx, 0, 0, flags, 0, 0}}};
    SendInput(1, &input, sizeof input);
}

bool leftButtonDown() { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }

void waitForButton(bool down)
{
    for (int i = 0; i < 50 && leftButtonDown() != down; ++i) Sleep(10);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
}

// Sends one mouse event from another thread after 100 ms: the finger lifts or slides.
DWORD WINAPI sendLater(void* flags)
{
    Sleep(100);
    sendMouse(DWORD(reinterpret_cast<UINT_PTR>(flags)), 40);
    return 0;
}

// --- Dialogs -------------------------------------------------------------------------

// An in-memory template: a captioned pop-up, optionally with an OK button of its own.
std::vector<WORD> dialogTemplate(bool withOwnOk)
{
    std::vector<WORD> t = {LOWORD(WS_POPUP | WS_CAPTION | DS_MODALFRAME), HIWORD(WS_POPUP | WS_CAPTION | DS_MODALFRAME),
                           0, 0, WORD(withOwnOk ? 1 : 0), 10, 10, 100, 98, 0, 0, 'T', 0};
    if (withOwnOk) {
        t.push_back(0);  // items start on a DWORD
        const WORD item[] = {LOWORD(WS_CHILD | WS_VISIBLE), HIWORD(WS_CHILD | WS_VISIBLE), 0, 0, 10, 70, 40, 14, IDOK,
                             0xFFFF, 0x0080, 'M', 0, 0};
        t.insert(t.end(), item, item + sizeof item / sizeof item[0]);
    }
    return t;
}

struct DialogLog {
    std::vector<WPARAM> commands;
    std::vector<LPARAM> sources;
    int sizes = 0;
};
DialogLog dialogLog;

// The creation parameter holds the SHInitDialog flags; 0 calls nothing.
INT_PTR CALLBACK testDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG && lParam) {
        SHINITDLGINFO info = {SHIDIM_FLAGS, dialog, DWORD(lParam)};
        EXPECT_TRUE(SHInitDialog(&info));
    } else if (message == WM_COMMAND) {
        dialogLog.commands.push_back(wParam);
        dialogLog.sources.push_back(lParam);
    } else if (message == WM_SIZE) {
        ++dialogLog.sizes;
    }
    return message == WM_INITDIALOG || message == WM_COMMAND;
}

// A host window (the owner) and a modeless test dialog over it.
struct TestDialog {
    explicit TestDialog(DWORD flags, bool withOwner = true, bool withOwnOk = false)
    {
        dialogLog = DialogLog{};
        if (withOwner)
            owner = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 30, 40, 300, 420, nullptr, nullptr,
                                    nullptr, nullptr);
        std::vector<WORD> t = dialogTemplate(withOwnOk);
        dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(t.data()),
                                            owner, testDialogProc, LPARAM(flags));
    }
    ~TestDialog()
    {
        DestroyWindow(dialog);
        if (owner) DestroyWindow(owner);
    }
    RECT client() const
    {
        RECT r;
        GetClientRect(dialog, &r);
        return r;
    }
    RECT childRect(HWND child) const { return ::childRect(dialog, child); }
    HWND done() const { return GetDlgItem(dialog, ShellDoneButtonId); }
    HWND owner = nullptr;
    HWND dialog = nullptr;
};

// --- Menu bars -----------------------------------------------------------------------

// The bar's buttons from left to right.
std::vector<HWND> barButtons(HWND bar)
{
    std::vector<HWND> buttons;
    for (HWND child = GetWindow(bar, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) buttons.push_back(child);
    auto left = [](HWND w) {
        RECT r;
        GetWindowRect(w, &r);
        return r.left;
    };
    std::sort(buttons.begin(), buttons.end(), [&](HWND a, HWND b) { return left(a) < left(b); });
    return buttons;
}

SHMENUBARINFO barInfo(HWND parent, UINT id)
{
    return {sizeof(SHMENUBARINFO), parent, 0, id, GetModuleHandleW(nullptr), 0, 0, nullptr, 0};
}

}  // namespace

TEST(TodayRecords, FieldsLieWhereTheHostPutsThem)
{
    EXPECT_EQ(WM_TODAYCUSTOM_CLEARCACHE, 1266);
    EXPECT_EQ(WM_TODAYCUSTOM_QUERYREFRESHCACHE, 1267);
    EXPECT_EQ(TODAYM_GETCOLOR, 1124);
    EXPECT_EQ(TODAYM_DRAWWATERMARK, 1125);
    TODAYLISTITEM item = {};
    item.tlit = tlitCustom;
    item.cyp = 0x11223344;
    item.szDLLPath[0] = L'\\';
    item.hwndCustom = reinterpret_cast<HWND>(0x0102030405060708);
    item.fSizeOnDraw = 7;
    item.cbCachedData = 0xA5A5A5A5;
    EXPECT_EQ(at<DWORD>(&item, 64), DWORD(tlitCustom));
    EXPECT_EQ(at<DWORD>(&item, 72), 0x11223344u);
    EXPECT_EQ(at<wchar_t>(&item, 88), L'\\');
    EXPECT_EQ(at<unsigned long long>(&item, 616), 0x0102030405060708ull);
    EXPECT_EQ(at<DWORD>(&item, 624), 7u);
    EXPECT_EQ(at<DWORD>(&item, 640), 0xA5A5A5A5u);
    EXPECT_EQ(sizeof item, 648u);
    TODAYDRAWWATERMARKINFO watermark = {};
    watermark.rc.left = 0x55;
    watermark.hwnd = reinterpret_cast<HWND>(0x77);
    EXPECT_EQ(at<LONG>(&watermark, 8), 0x55);
    EXPECT_EQ(at<HWND>(&watermark, 24), watermark.hwnd);
}

TEST(ShellImages, BothIconStripsLoadWithAnExactTransparentBackground)
{
    for (int size : {16, 32}) {
        SCOPED_TRACE(size);
        const wchar_t* name = size == 16 ? L"\\vokCurrency.png" : L"\\vokCurrencyHIDPI.png";
        HBITMAP strip = SHLoadImageFile((buildFolder() + name).c_str());
        ASSERT_NE(strip, nullptr);
        BITMAP info = {};
        ASSERT_EQ(GetObjectW(strip, sizeof info, &info), int(sizeof info));
        EXPECT_EQ(info.bmHeight, size);
        EXPECT_EQ(info.bmWidth, 5 * size);
        EXPECT_GE(info.bmBitsPixel, 24);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ previous = SelectObject(dc, strip);
        int nearMisses = 0;  // edges blended into the transparent colour
        for (int frame = 0; frame < 5; ++frame) {
            int x0 = frame * size;
            EXPECT_EQ(GetPixel(dc, x0, 0), Key) << frame;
            EXPECT_EQ(GetPixel(dc, x0 + size - 1, size - 1), Key) << frame;
            EXPECT_NE(GetPixel(dc, x0 + size / 2, size / 2), Key) << frame;
            for (int y = 0; y < size; ++y)
                for (int x = x0; x < x0 + size; ++x) {
                    COLORREF c = GetPixel(dc, x, y);
                    int distance = abs(GetRValue(c) - 1) + abs(GetGValue(c) - 2) + abs(GetBValue(c) - 3);
                    nearMisses += distance > 0 && distance < 24;
                }
        }
        EXPECT_EQ(nearMisses, 0);
        COLORREF middle = GetPixel(dc, 2 * size + size / 2, size / 2);
        SelectObject(dc, previous);
        DeleteDC(dc);

        // Frame 2 drawn over white, as the panel draws its icon.
        Canvas canvas(size + 4, size + 4, RGB(255, 255, 255));
        EXPECT_TRUE(TransparentImage(canvas.dc, 2, 2, size, size, strip, 2 * size, 0, size, size, Key));
        EXPECT_EQ(GetPixel(canvas.dc, 2, 2), RGB(255, 255, 255));
        EXPECT_EQ(GetPixel(canvas.dc, 2 + size / 2, 2 + size / 2), middle);
        DeleteObject(strip);
    }
}

TEST(ShellImages, MissingOrBrokenFilesGiveNoBitmap)
{
    PluginFolder folder;
    EXPECT_EQ(SHLoadImageFile(folder.file(L"absent.png").c_str()), nullptr);
    EXPECT_EQ(SHLoadImageFile(nullptr), nullptr);
    const char garbage[] = "this is not a picture at all, just some text of some length";
    writeFileBytes(folder.file(L"garbage.png"), garbage, sizeof garbage);
    EXPECT_EQ(SHLoadImageFile(folder.file(L"garbage.png").c_str()), nullptr);
    writeFileBytes(folder.file(L"empty.png"), "", 0);
    EXPECT_EQ(SHLoadImageFile(folder.file(L"empty.png").c_str()), nullptr);
    std::vector<unsigned char> png = readFileBytes(folder.file(L"vokCurrency.png"));
    ASSERT_GT(png.size(), 40u);
    writeFileBytes(folder.file(L"cut.png"), png.data(), 20);  // cut inside the header
    EXPECT_EQ(SHLoadImageFile(folder.file(L"cut.png").c_str()), nullptr);
}

TEST(ShellImages, TransparentImageCopiesAllButTheTransparentColour)
{
    // A near miss, (1, 2, 4), is copied like any other colour.
    const COLORREF source[8] = {Key,          RGB(200, 0, 0), RGB(1, 2, 4),   Key,
                                RGB(0, 0, 0), Key,            RGB(0, 255, 0), RGB(9, 9, 9)};
    HBITMAP bitmap = makeBitmap(4, 2, source);
    ASSERT_NE(bitmap, nullptr);
    const COLORREF ground = RGB(90, 90, 90);
    // The 4 x 2 source drawn at (2, 1) of an 8 x 4 canvas.
    auto checkWhole = [&](HDC dc) {
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) {
                bool inside = x >= 2 && x < 6 && y >= 1 && y < 3;
                COLORREF from = inside ? source[(y - 1) * 4 + (x - 2)] : Key;
                EXPECT_EQ(GetPixel(dc, x, y), from == Key ? ground : from) << x << "," << y;
            }
    };
    {
        Canvas canvas(8, 4, ground);
        EXPECT_TRUE(TransparentImage(canvas.dc, 2, 1, 4, 2, bitmap, 0, 0, 4, 2, Key));
        checkWhole(canvas.dc);
    }
    {
        // Part of the source: (1, 1) is transparent, (2, 1) green.
        Canvas canvas(8, 4, ground);
        EXPECT_TRUE(TransparentImage(canvas.dc, 0, 0, 2, 1, bitmap, 1, 1, 2, 1, Key));
        EXPECT_EQ(GetPixel(canvas.dc, 0, 0), ground);
        EXPECT_EQ(GetPixel(canvas.dc, 1, 0), RGB(0, 255, 0));
        EXPECT_EQ(GetPixel(canvas.dc, 2, 0), ground);
    }
    {
        // The source as a device context; selected there, the bitmap can't be
        // selected into a second one.
        Canvas canvas(8, 4, ground);
        HDC sourceDC = CreateCompatibleDC(nullptr);
        HGDIOBJ previous = SelectObject(sourceDC, bitmap);
        EXPECT_TRUE(TransparentImage(canvas.dc, 2, 1, 4, 2, sourceDC, 0, 0, 4, 2, Key));
        checkWhole(canvas.dc);
        EXPECT_FALSE(TransparentImage(canvas.dc, 0, 0, 4, 2, bitmap, 0, 0, 4, 2, Key));
        HBRUSH brush = CreateSolidBrush(RGB(200, 0, 0));
        EXPECT_FALSE(TransparentImage(canvas.dc, 0, 0, 4, 2, brush, 0, 0, 4, 2, Key));
        DeleteObject(brush);
        EXPECT_EQ(GetPixel(canvas.dc, 1, 0), ground);
        SelectObject(sourceDC, previous);
        DeleteDC(sourceDC);
    }
    DeleteObject(bitmap);
}

TEST(ShellGesture, APressWithTheButtonUpIsPlainAtOnceUnlessForced)
{
    ASSERT_FALSE(leftButtonDown());
    SHRGINFO info = pressAt({5, 5});
    DWORD began = GetTickCount();
    EXPECT_EQ(SHRecognizeGesture(&info), 0u);
    info.cbSize = 20;  // as a panel written for the device fills it in
    EXPECT_EQ(SHRecognizeGesture(&info), 0u);
    EXPECT_LT(GetTickCount() - began, 200u);  // a sanity bound, not a speed target

    shellForceNextGesture(GN_CONTEXTMENU);
    EXPECT_EQ(SHRecognizeGesture(&info), DWORD(GN_CONTEXTMENU));
    EXPECT_EQ(SHRecognizeGesture(&info), 0u);  // once only
    shellForceNextGesture(GN_CONTEXTMENU);
    shellForceNextGesture(0);
    EXPECT_EQ(SHRecognizeGesture(&info), 0u);
    info.cbSize = 3;
    shellForceNextGesture(GN_CONTEXTMENU);
    EXPECT_EQ(SHRecognizeGesture(&info), 0u);
}

TEST(ShellGesture, AHeldButtonWaitsForTheHoldTimeAReleaseOrAMove)
{
    struct LiftAtTheEnd {  // whatever happens, later tests find the button up
        ~LiftAtTheEnd()
        {
            sendMouse(MOUSEEVENTF_LEFTUP);
            waitForButton(false);
        }
    } lift;
    sendMouse(MOUSEEVENTF_LEFTDOWN);
    waitForButton(true);
    if (!leftButtonDown()) GTEST_SKIP() << "this display driver keeps no button state";
    POINT cursor;
    GetCursorPos(&cursor);
    SHRGINFO info = pressAt(cursor);
    DWORD began = GetTickCount();
    EXPECT_EQ(SHRecognizeGesture(&info), DWORD(GN_CONTEXTMENU));
    DWORD took = GetTickCount() - began;
    EXPECT_GE(took, ShellHoldTime - 20);
    EXPECT_LT(took, 3000u);

    // Moving 40 pixels away, then lifting the finger: each ends the wait early.
    for (DWORD flags : {DWORD(MOUSEEVENTF_MOVE), DWORD(MOUSEEVENTF_LEFTUP)}) {
        SCOPED_TRACE(flags);
        GetCursorPos(&cursor);
        info = pressAt(cursor);
        HANDLE thread = CreateThread(nullptr, 0, sendLater, reinterpret_cast<void*>(UINT_PTR(flags)), 0, nullptr);
        ASSERT_NE(thread, nullptr);
        began = GetTickCount();
        EXPECT_EQ(SHRecognizeGesture(&info), 0u);
        EXPECT_LT(GetTickCount() - began, ShellHoldTime - 50);
        EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
        CloseHandle(thread);
    }
    waitForButton(false);
    EXPECT_FALSE(leftButtonDown());
}

TEST(ShellSip, PreferenceIsRemembered)
{
    EXPECT_TRUE(SHSipPreference(nullptr, SIP_UP));
    EXPECT_EQ(shellLastSipPreference(), SIP_UP);
    EXPECT_TRUE(SHSipPreference(nullptr, SIP_FORCEDOWN));
    EXPECT_EQ(shellLastSipPreference(), SIP_FORCEDOWN);
    EXPECT_FALSE(SHSipPreference(nullptr, 7));
    EXPECT_EQ(shellLastSipPreference(), SIP_FORCEDOWN);
}

TEST(ShellDialog, FullScreenFillsTheOwnerAndTheDoneButtonSendsOk)
{
    TestDialog t(SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN);
    ASSERT_NE(t.dialog, nullptr);
    RECT ownerClient, dialogRect;
    GetClientRect(t.owner, &ownerClient);
    MapWindowPoints(t.owner, nullptr, reinterpret_cast<POINT*>(&ownerClient), 2);
    GetWindowRect(t.dialog, &dialogRect);
    EXPECT_TRUE(EqualRect(&ownerClient, &dialogRect));
    EXPECT_EQ(shellLastSipPreference(), SIP_DOWN);

    ASSERT_NE(t.done(), nullptr);
    EXPECT_TRUE(visible(t.done()));
    EXPECT_EQ(windowText(t.done()), L"OK");
    RECT button = t.childRect(t.done());  // the top-right corner
    EXPECT_LE(t.client().right - button.right, 4);
    EXPECT_LE(button.top, 4);
    EXPECT_LT(button.bottom, t.client().bottom / 4);

    SendMessageW(t.done(), BM_CLICK, 0, 0);
    ASSERT_EQ(dialogLog.commands.size(), 1u);
    EXPECT_EQ(dialogLog.commands[0], MAKEWPARAM(IDOK, BN_CLICKED));
    EXPECT_EQ(dialogLog.sources[0], LPARAM(t.done()));

    // The button keeps to the corner when the dialog is resized.
    SetWindowPos(t.dialog, nullptr, 0, 0, 400, 300, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    button = t.childRect(t.done());
    EXPECT_LE(t.client().right - button.right, 4);
    EXPECT_GE(t.client().right - button.right, 0);
}

TEST(ShellDialog, WithoutAnOwnerItTakesThePortraitScreenAndKeepsItsOwnOk)
{
    TestDialog t(SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN, false, true);
    ASSERT_NE(t.dialog, nullptr);
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    RECT r;
    GetWindowRect(t.dialog, &r);
    EXPECT_EQ(r.right - r.left, MulDiv(240, dpi, 96));
    EXPECT_EQ(r.bottom - r.top, MulDiv(320, dpi, 96));
    ASSERT_NE(GetDlgItem(t.dialog, IDOK), nullptr);
    EXPECT_EQ(windowText(GetDlgItem(t.dialog, IDOK)), L"M");
    EXPECT_NE(t.done(), nullptr);
}

TEST(ShellDialog, DoneButtonShowsAndHidesAndAppearsOnDemand)
{
    TestDialog t(0);  // never set up, as the item editor
    ASSERT_NE(t.dialog, nullptr);
    EXPECT_EQ(t.done(), nullptr);
    RECT before, after;
    GetWindowRect(t.dialog, &before);
    EXPECT_TRUE(SHDoneButton(t.dialog, SHDB_SHOW));
    HWND done = t.done();
    ASSERT_NE(done, nullptr);
    EXPECT_TRUE(visible(done));
    GetWindowRect(t.dialog, &after);
    EXPECT_TRUE(EqualRect(&before, &after));  // no resizing asked for

    EXPECT_TRUE(SHDoneButton(t.dialog, SHDB_HIDE));
    EXPECT_FALSE(visible(done));
    EXPECT_TRUE(SHDoneButton(t.dialog, SHDB_SHOW));
    EXPECT_TRUE(visible(done));
    EXPECT_EQ(t.done(), done);
    SendMessageW(done, BM_CLICK, 0, 0);
    ASSERT_EQ(dialogLog.commands.size(), 1u);
    EXPECT_EQ(LOWORD(dialogLog.commands[0]), IDOK);
    EXPECT_FALSE(SHDoneButton(t.dialog, 0x40));
    EXPECT_FALSE(SHDoneButton(nullptr, SHDB_SHOW));
}

TEST(ShellMenuBar, HistoryBarHasItsButtonsAlongTheBottom)
{
    TestDialog t(SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN);
    ASSERT_NE(t.dialog, nullptr);
    EXPECT_EQ(shellMenuBarHeight(t.dialog), 0);
    int sizesBefore = dialogLog.sizes;
    SHMENUBARINFO info = barInfo(t.dialog, IDR_HISTORY_MENUBAR);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    HWND bar = info.hwndMB;
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(GetParent(bar), t.dialog);
    EXPECT_GT(dialogLog.sizes, sizesBefore);  // asked to lay itself out again

    std::vector<HWND> buttons = barButtons(bar);
    ASSERT_EQ(buttons.size(), 4u);
    const wchar_t* texts[] = {Cancel, L"Курсы", L"...", L"Конвертер"};
    const int ids[] = {IDM_CANCEL, IDM_TABLE, IDR_HISTORY_MORE, IDM_CONVERTER};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(windowText(buttons[i]), texts[i]);
        EXPECT_EQ(GetDlgCtrlID(buttons[i]), ids[i]);
        EXPECT_TRUE(IsWindowEnabled(buttons[i]));
    }
    // The separator is a wider gap than the one between plain neighbours.
    RECT r[3];
    for (int i = 0; i < 3; ++i) r[i] = t.childRect(buttons[i]);
    EXPECT_GT(r[1].left - r[0].right, r[2].left - r[1].right);

    // Along the bottom, the Done button at its right end.
    RECT barRect = t.childRect(bar), done = t.childRect(t.done());
    EXPECT_GT(shellMenuBarHeight(t.dialog), 10);
    EXPECT_EQ(barRect.bottom - barRect.top, shellMenuBarHeight(t.dialog));
    EXPECT_EQ(barRect.bottom, t.client().bottom);
    EXPECT_EQ(barRect.left, 0);
    EXPECT_GE(done.top, barRect.top);
    EXPECT_GE(done.left, barRect.right);
    EXPECT_LE(done.right, t.client().right);

    // A click reaches the dialog as a menu command does.
    dialogLog = DialogLog{};
    SendMessageW(buttons[1], BM_CLICK, 0, 0);
    ASSERT_EQ(dialogLog.commands.size(), 1u);
    EXPECT_EQ(dialogLog.commands[0], WPARAM(IDM_TABLE));
    EXPECT_EQ(dialogLog.sources[0], 0);

    // "..." drops its menu down: the chosen item's command arrives as a button's
    // does, and a dismissed menu sends nothing.
    shellPopupAnswer = IDM_COPY_TABLE;
    SendMessageW(buttons[2], BM_CLICK, 0, 0);
    const UINT popupItems[] = {IDM_CHART, IDM_COPY_TABLE, IDM_FILL, 0};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(shellLastPopupItems[i], popupItems[i]) << i;
    ASSERT_EQ(dialogLog.commands.size(), 2u);
    EXPECT_EQ(dialogLog.commands[1], WPARAM(IDM_COPY_TABLE));
    shellPopupAnswer = 12345;  // not in the menu: as if dismissed
    SendMessageW(buttons[2], BM_CLICK, 0, 0);
    EXPECT_EQ(dialogLog.commands.size(), 2u);
    shellPopupAnswer = 0;

    // Resized, the bar follows the bottom; too narrow, its buttons narrow to fit in it.
    for (int width : {360, 150}) {
        SetWindowPos(t.dialog, nullptr, 0, 0, width, 240, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
        barRect = t.childRect(bar);
        EXPECT_EQ(barRect.bottom, t.client().bottom);
        RECT last = t.childRect(buttons[3]), previous = t.childRect(buttons[2]);
        EXPECT_LE(last.right, barRect.right) << width;
        EXPECT_GT(last.left, previous.left) << width;
        EXPECT_LE(barRect.right, t.childRect(t.done()).left) << width;
    }
    // Without the Done button it takes the whole width.
    SHDoneButton(t.dialog, SHDB_HIDE);
    EXPECT_EQ(t.childRect(bar).right, t.client().right);
    DestroyWindow(bar);
    EXPECT_EQ(shellMenuBarHeight(t.dialog), 0);
}

TEST(ShellMenuBar, OptionsBarReplacesTheOldOneAndBadRequestsFail)
{
    TestDialog t(SHIDIF_SIZEDLGFULLSCREEN);
    ASSERT_NE(t.dialog, nullptr);
    SHMENUBARINFO first = barInfo(t.dialog, IDR_HISTORY_MENUBAR);
    ASSERT_TRUE(SHCreateMenuBar(&first));
    SHMENUBARINFO info = barInfo(t.dialog, IDR_OPTIONS_MENUBAR);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    EXPECT_FALSE(IsWindow(first.hwndMB));
    std::vector<HWND> buttons = barButtons(info.hwndMB);
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(windowText(buttons[0]), Cancel);
    EXPECT_EQ(GetDlgCtrlID(buttons[0]), IDM_CANCEL);
    EXPECT_TRUE(IsWindowEnabled(buttons[0]));
    EXPECT_EQ(t.childRect(info.hwndMB).right, t.client().right);  // no Done button here

    SHMENUBARINFO missing = barInfo(t.dialog, 9999);
    missing.hwndMB = reinterpret_cast<HWND>(1);
    EXPECT_FALSE(SHCreateMenuBar(&missing));
    EXPECT_EQ(missing.hwndMB, nullptr);
    SHMENUBARINFO wrongSize = barInfo(t.dialog, IDR_OPTIONS_MENUBAR);
    wrongSize.cbSize = 36;
    EXPECT_FALSE(SHCreateMenuBar(&wrongSize));
    SHMENUBARINFO noParent = barInfo(nullptr, IDR_OPTIONS_MENUBAR);
    EXPECT_FALSE(SHCreateMenuBar(&noParent));
    EXPECT_TRUE(IsWindow(info.hwndMB));  // failures leave the bar alone

    // The menus of the same numbers hold the bars' commands.
    for (UINT id : {UINT(IDR_OPTIONS_MENUBAR), UINT(IDR_HISTORY_MENUBAR)}) {
        HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(GetMenuItemCount(menu), id == IDR_OPTIONS_MENUBAR ? 1 : 3);
        EXPECT_EQ(GetMenuItemID(menu, 0), UINT(IDM_CANCEL));
        EXPECT_EQ(GetMenuItemID(menu, id == IDR_OPTIONS_MENUBAR ? 0 : 2),
                  id == IDR_OPTIONS_MENUBAR ? UINT(IDM_CANCEL) : UINT(IDM_CONVERTER));
        DestroyMenu(menu);
    }
}
