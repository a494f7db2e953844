// The Wine tests' harness: the DLL under test copied into a scratch folder, the real
// DLL in a host window, cleaned up however a test ends; bounded message pumps; one
// driver for modal dialogs; the data files read back as the project's own records.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "data/currency.h"
#include "data/settings.h"
#include "platform/notify.h"
#include "platform/today.h"

// A fresh folder holding a copy of vokcurrency.dll (and the icon strips when built);
// removed with everything in it at the end.
class PluginFolder {
public:
    PluginFolder();
    ~PluginFolder();
    std::wstring file(const wchar_t* name) const { return dir + L"\\" + name; }
    std::wstring dir;
};

// The host's record for an item as any Today host lays it out: only cyp matters
// to the plug-in. Spelled out here, not taken from our own header, so the tests
// check what a foreign host would pass.
struct HostItem {
    wchar_t szName[32];
    int tlit;
    DWORD dwOrder;
    DWORD cyp;
    BYTE rest[648 - 76];
};
static_assert(offsetof(HostItem, cyp) == 72, "cyp where the host keeps it");

// The DLL's InitializeCustomItem, found by its ordinal as a host finds it.
using InitializeItem = HWND(WINAPI*)(HostItem*, HWND);
InitializeItem initializeEntry(HMODULE dll);

// Writes the test's settings record into folder as the plug-in's settings file,
// routed through 127.0.0.1:port as its proxy (the loopback test service).
void writeSettingsThroughProxy(const PluginFolder& folder, int port);

std::vector<unsigned char> readFileBytes(const std::wstring& path);
void writeFileBytes(const std::wstring& path, const void* data, size_t size);
// The plug-in's default panel font height on this screen: larger from 192 dpi on.
int defaultFontHeight();
// How many items a panel line shows, from which of its pixel columns hold ink: the
// items are the stretches between gaps at least minGap wide. Items are set three
// spaces apart, so the width of two spaces in the panel's font tells them from the
// single space inside an item, whatever the font.
int itemsInLine(const std::vector<bool>& ink, int minGap);
// The folder the test binary runs from, where the build put the DLL.
std::wstring buildFolder();

// Checks that each visible control of parent shows its whole text inside its own
// rectangle and inside parent, with a few pixels to spare, and that no sibling paints
// over a text.
struct Ink {
    HWND control;
    RECT rect;  // where the control draws, in its parent's client coordinates
};
std::vector<Ink> checkTexts(HWND parent, const char* where);
void checkNoOverlap(const std::vector<Ink>& inks, const char* where);

// The Today host's messages, by the names a host knows them.
constexpr UINT HostGetColour = TODAYM_GETCOLOR;              // 1124
constexpr UINT HostDrawWatermark = TODAYM_DRAWWATERMARK;     // 1125
constexpr UINT ItemClearCache = WM_TODAYCUSTOM_CLEARCACHE;   // 1266
constexpr UINT ItemQueryRefresh = WM_TODAYCUSTOM_QUERYREFRESHCACHE;  // 1267

// Dispatches this thread's messages until done() or limitMs have passed, sleeping
// stepMs between rounds; whether done() came true.
bool pumpUntil(const std::function<bool()>& done, DWORD limitMs, DWORD stepMs = 10);
// Dispatches this thread's messages for milliseconds.
void pumpFor(DWORD milliseconds);
// Dispatches this thread's messages until done(the captions so far) or limitMs; the
// captions window showed meanwhile, in order, repeats left out.
using Captions = std::vector<std::wstring>;
Captions captionsUntil(HWND window, const std::function<bool(const Captions&)>& done, DWORD limitMs);

// The data files as the plug-in's records: the history's days in slot order (an
// empty list when the file is missing), the settings record (all zero when missing).
std::vector<DayRates> readHistory(const std::wstring& path);
void writeHistory(const std::wstring& path, const std::vector<DayRates>& days, size_t slots = 15);
Settings readSettings(const std::wstring& path);
// The local time now.
SYSTEMTIME localNow();
// The bank's table of the day now: USD 80.5000 (or usd) and EUR 96.6000, as the
// bank writes them (code page 1251).
std::string todaysDocument(const SYSTEMTIME& now, const char* usd = "80,5000");
// One day's record: EUR (for nominal units) and USD, nothing else.
DayRates dayOf(const DayCode& day, float eur, float usd, int eurNominal = 1);

// A window's text; a child's place in its parent's client area.
std::wstring windowText(HWND window);
RECT childRect(HWND parent, HWND child);
// A visible 240 by 320 top-level window of that class, as the Today screen of a device.
HWND makeTodayScreen(const wchar_t* title, const wchar_t* className = L"STATIC");
// A visible 240 by 320 Today screen that answers the item's colour and watermark
// requests as PluginHost's recording host does: its text colour, a white watermark.
HWND makeRecordingHost();
// An item window of the panel linked into this process, 240 by 17 in parent (its
// class registered on first use).
HWND makePanelWindow(HWND parent);
// A dialog's controls by id, worked as the user works them: a control's text, typing
// into it, a tap on a button, a list's selection (CB_ERR for none), a choice from a
// list (the selection, then the list's notice to its dialog); and whether a window shows.
std::wstring itemText(HWND parent, int id);
void setText(HWND parent, int id, const wchar_t* text);
void click(HWND parent, int id);
int selection(HWND parent, int list);
void choose(HWND dialog, int list, int position);
bool visible(HWND window);
// A list view's cell text; the rates dialog's table: a cell's text, and a tap on a
// column's header.
std::wstring listText(HWND list, int row, int column);
std::wstring tableCell(HWND dialog, int row, int column);
void clickColumnHeader(HWND dialog, int column);

// A file the tests write over (the settings file beside this test binary): kept
// and removed when made, put back (or the test's own removed) when destroyed.
class KeptFile {
public:
    explicit KeptFile(std::wstring path);
    ~KeptFile();
    const std::wstring path;

private:
    std::vector<unsigned char> bytes;
    bool existed;
};

// The clipboard's Unicode text (empty without one, "<closed>" when the clipboard
// can't be opened), and emptying it.
std::wstring clipboardText();
void emptyClipboard();

// The dialog of this thread with that title, shown or not; null when there is none.
HWND threadDialog(const wchar_t* title);

// One driver for modal dialogs: a timer on this thread runs inside whatever modal
// loop is open and hands each dialog the steps written for its title. A message box
// ("vok Currency") is noted and closed with OK. Past the watchdog every scripted
// dialog still open is closed, and timedOut() says so: no test hangs.
struct DialogScript {
    const wchar_t* title = nullptr;    // nullptr: any dialog of this thread
    std::function<void(HWND)> steps;   // none: the dialog is closed at once
    bool eachWindow = false;           // every window with the title, not only the first
    bool whenShown = false;            // only once its modal loop has shown it
    bool closeAfterSteps = true;       // close it when the steps return (or stop early)
    UINT closeCommand = 0;             // WM_COMMAND id that closes it; 0 for WM_CLOSE
};

class ModalDriver {
public:
    explicit ModalDriver(DWORD watchdogMs = 10000) : watchdogMs(watchdogMs) {}
    ~ModalDriver() { stop(); }
    ModalDriver& on(const DialogScript& script);
    // No scripts, no timer: as new.
    void clear();
    // Runs open() with the timer armed; its result.
    INT_PTR run(const std::function<INT_PTR()>& open);
    // For a whole test: the timer runs until stop().
    void start();
    void stop();
    // How many dialogs with that title (nullptr: any) were handed their steps.
    int seen(const wchar_t* title = nullptr) const;
    bool timedOut() const { return timedOutFlag; }
    int boxesSeen = 0;
    std::wstring boxText, boxCaption;

private:
    struct Entry {
        DialogScript script;
        int seen = 0;
        bool running = false;
    };
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);
    void drive();
    bool step(Entry& entry);
    void closeAll();
    std::vector<Entry> entries;
    DWORD watchdogMs;
    DWORD started = 0;
    UINT_PTR timer = 0;
    bool timedOutFlag = false;
};

// The real DLL, copied into a folder of its own, with its item window in a host
// window as the Today shell makes it. Every part is released by the destructor,
// whichever assertion ends the test: the host window, the library, and (the update
// worker holds the library until it ends) the wait for it to go.
class PluginHost {
public:
    // Frames of the icon strip the host saw in its watermark requests, in order,
    // repeats left out; filled while the host records. And the requests it answered.
    static std::vector<int> framesSeen;
    static int watermarks;
    // The texts of the notifications the recording host was handed, in order, and
    // how many it was asked to take away.
    static std::vector<std::wstring> notifications;
    static int notificationsWithdrawn;
    static constexpr COLORREF TextColour = RGB(10, 20, 250);

    PluginFolder folder;
    HMODULE dll = nullptr;
    HWND host = nullptr;
    HWND panel = nullptr;
    HostItem item{};

    ~PluginHost();
    // The settings record as the plug-in should find it, routed through
    // 127.0.0.1:servicePort as its proxy; and a history written before the load.
    void prepare(int servicePort, const std::vector<DayRates>& days);
    // Loads the library alone; false (with a failure noted) when it won't load.
    bool loadLibrary();
    // Loads the library and makes the item window. A recording host answers the
    // text colour and draws a white watermark, noting the icon frame each time;
    // otherwise a plain visible window stands in. beforeItem, when given, runs
    // between loading the library and making its item. False (with a failure
    // noted) when either fails.
    bool load(bool recordingHost = true, const std::function<void(HMODULE)>& beforeItem = nullptr);
    // The first refresh query (the item's height) and the item sized to it.
    void query();
    // The item window destroyed and made again, as the shell does after the
    // options' OK, with the host's first three refresh queries.
    void makeItemAgain();
    // The library let go, the host first; how long FreeLibrary took.
    DWORD unload();
    bool unloaded() const;

    void repaint();
    // A press and release at x, y of the item window.
    void tap(int x, int y = 5);
    // A tap on the icon, then the icon's frames until the update has shown its
    // outcome and settled again (at most limitMs).
    std::vector<int> tapIcon(DWORD limitMs = 15000);
    // Steps on the history dialog a tap-and-hold on the rates opens; whether it showed.
    bool holdOnTheRates(std::function<void(HWND)> steps);
    std::vector<DayRates> history() const { return readHistory(folder.file(L"vokCurrency.his")); }
    std::vector<unsigned char> historyBytes() const { return readFileBytes(folder.file(L"vokCurrency.his")); }
    Settings storedSettings() const { return readSettings(folder.file(L"vokCurrency.set")); }
    // What the item window shows, row by row, 240 pixels a row.
    std::vector<COLORREF> pixels();
    // How many pixels of the panel are drawn in colour.
    int pixelsOf(COLORREF colour);
};

// The desktop Today host (todayhost.exe beside this binary) run as a process of its own
// with plugin and arguments; closed, or at last ended, by the destructor.
struct HostProcess {
    HostProcess(const std::wstring& plugin, const std::wstring& arguments);
    ~HostProcess();
    // Whether it ended by itself within limitMs.
    bool ended(DWORD limitMs) const { return WaitForSingleObject(process.hProcess, limitMs) == WAIT_OBJECT_0; }
    // A top-level window of this host (other hosts may run in the same session).
    HWND window(const wchar_t* className, const wchar_t* title) const;
    // The item window of the plug-in under test.
    HWND item() const;
    PROCESS_INFORMATION process = {};
    bool started = false;
};
