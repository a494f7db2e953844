#include "harness.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/module.h"
#include "platform/shell.h"
#include "plugin/panel.h"
#include "resources/resource.h"

bool pumpUntil(const std::function<bool()>& done, DWORD limitMs, DWORD stepMs)
{
    for (DWORD began = GetTickCount();; Sleep(stepMs)) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - began >= limitMs) return false;
    }
}

void pumpFor(DWORD milliseconds) { pumpUntil([] { return false; }, milliseconds); }

Captions captionsUntil(HWND window, const std::function<bool(const Captions&)>& done, DWORD limitMs)
{
    Captions captions;
    pumpUntil([&] {
        std::wstring caption = windowText(window);
        if (captions.empty() || captions.back() != caption) captions.push_back(caption);
        return done(captions);
    }, limitMs, 20);
    return captions;
}

// --- The data files --------------------------------------------------------------------

std::vector<DayRates> readHistory(const std::wstring& path)
{
    std::vector<unsigned char> bytes = readFileBytes(path);
    std::vector<DayRates> days(bytes.size() / sizeof(HistoryRecord));
    for (size_t i = 0; i < days.size(); ++i) std::memcpy(&days[i], &bytes[i * sizeof(HistoryRecord)], sizeof(HistoryRecord));
    return days;
}

void writeHistory(const std::wstring& path, const std::vector<DayRates>& days, size_t slots)
{
    std::vector<HistoryRecord> file(std::max(slots, days.size()));
    for (size_t i = 0; i < days.size(); ++i) std::memcpy(&file[i], &days[i], sizeof(HistoryRecord));
    writeFileBytes(path, file.data(), file.size() * sizeof(HistoryRecord));
}

Settings readSettings(const std::wstring& path)
{
    Settings s;
    std::memset(&s, 0, sizeof s);
    std::vector<unsigned char> bytes = readFileBytes(path);
    std::memcpy(&s, bytes.data(), std::min(bytes.size(), sizeof s));
    return s;
}

SYSTEMTIME localNow()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now;
}

std::string todaysDocument(const SYSTEMTIME& now, const char* usd)
{
    char head[160];
    std::snprintf(head, sizeof head,
                  "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<ValCurs Date=\"%02d.%02d.%04d\" "
                  "name=\"Foreign Currency Market\">\r\n",
                  now.wDay, now.wMonth, now.wYear);
    std::string doc = head;
    doc += "<Valute ID=\"R01235\"><NumCode>840</NumCode><CharCode>USD</CharCode><Nominal>1</Nominal>"
           "<Name>\xC4\xEE\xEB\xEB\xE0\xF0 \xD1\xD8\xC0</Name><Value>";
    doc += usd;
    doc += "</Value></Valute>\r\n";
    doc += "<Valute ID=\"R01239\"><NumCode>978</NumCode><CharCode>EUR</CharCode><Nominal>1</Nominal>"
           "<Name>\xC5\xE2\xF0\xEE</Name><Value>96,6000</Value></Valute>\r\n";
    doc += "</ValCurs>\r\n";
    return doc;
}

DayRates dayOf(const DayCode& day, float eur, float usd, int eurNominal)
{
    DayRates r;
    std::memset(&r, 0, sizeof r);
    r.code = day;
    r.rates[0] = {eurNominal, eur};
    r.rates[1] = {1, usd};
    return r;
}

std::wstring windowText(HWND window)
{
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    return text;
}

HWND makeTodayScreen(const wchar_t* title, const wchar_t* className)
{
    return CreateWindowExW(0, className, title, WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

HWND makePanelWindow(HWND parent)
{
    static bool registered;
    if (!registered) {
        WNDCLASSW panelClass = {};
        panelClass.style = CS_HREDRAW | CS_VREDRAW;
        panelClass.lpfnWndProc = panelWindowProc;
        panelClass.hInstance = moduleInstance;
        panelClass.lpszClassName = L"vokCurrencyCls";
        registered = RegisterClassW(&panelClass) != 0;
    }
    return CreateWindowExW(0, L"vokCurrencyCls", L"vokCurrencyWnd", WS_CHILD | WS_VISIBLE, 0, 0, 240, 17, parent,
                           nullptr, moduleInstance, nullptr);
}

RECT childRect(HWND parent, HWND child)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring itemText(HWND parent, int id) { return windowText(GetDlgItem(parent, id)); }

void setText(HWND parent, int id, const wchar_t* text) { SetDlgItemTextW(parent, id, text); }

void click(HWND parent, int id) { SendDlgItemMessageW(parent, id, BM_CLICK, 0, 0); }

int selection(HWND parent, int list) { return int(SendDlgItemMessageW(parent, list, CB_GETCURSEL, 0, 0)); }

void choose(HWND dialog, int list, int position)
{
    SendDlgItemMessageW(dialog, list, CB_SETCURSEL, WPARAM(position), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(list, CBN_SELENDOK), LPARAM(GetDlgItem(dialog, list)));
}

bool visible(HWND window) { return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

KeptFile::KeptFile(std::wstring kept)
    : path(std::move(kept)), existed(GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
{
    if (existed) bytes = readFileBytes(path);
    DeleteFileW(path.c_str());
}

KeptFile::~KeptFile()
{
    DeleteFileW(path.c_str());
    if (existed) writeFileBytes(path, bytes.data(), bytes.size());
}

std::wstring clipboardText()
{
    std::wstring value;
    if (!OpenClipboard(nullptr)) return L"<closed>";
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (data) {
        auto* p = static_cast<const wchar_t*>(GlobalLock(data));
        if (p) value = p;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return value;
}

void emptyClipboard()
{
    if (!OpenClipboard(nullptr)) return;
    EmptyClipboard();
    CloseClipboard();
}

// --- The modal-dialog driver -------------------------------------------------------------

namespace {

ModalDriver* activeDriver;
const wchar_t* const BoxTitle = L"vok Currency";

// The dialogs of this thread: their handles, in the order the system lists them.
std::vector<HWND> threadDialogs()
{
    std::vector<HWND> found;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM out) -> BOOL {
            wchar_t name[16] = L"";
            GetClassNameW(window, name, 16);
            if (lstrcmpW(name, L"#32770") == 0) reinterpret_cast<std::vector<HWND>*>(out)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

bool titled(HWND window, const wchar_t* title) { return !title || windowText(window) == title; }

void closeDialog(HWND dialog, const DialogScript& script)
{
    if (script.closeCommand)
        PostMessageW(dialog, WM_COMMAND, script.closeCommand, 0);
    else
        PostMessageW(dialog, WM_CLOSE, 0, 0);
}

}  // namespace

HWND threadDialog(const wchar_t* title)
{
    for (HWND dialog : threadDialogs())
        if (titled(dialog, title)) return dialog;
    return nullptr;
}

void ModalDriver::clear()
{
    stop();
    entries.clear();
}

ModalDriver& ModalDriver::on(const DialogScript& script)
{
    entries.push_back(Entry{script});
    return *this;
}

void ModalDriver::start()
{
    stop();
    for (Entry& e : entries) e.seen = 0;
    boxesSeen = 0;
    boxText.clear();
    boxCaption.clear();
    timedOutFlag = false;
    started = GetTickCount();
    activeDriver = this;
    timer = SetTimer(nullptr, 0, 20, tick);
}

void ModalDriver::stop()
{
    if (timer) KillTimer(nullptr, timer);
    timer = 0;
    if (activeDriver == this) activeDriver = nullptr;
}

INT_PTR ModalDriver::run(const std::function<INT_PTR()>& open)
{
    start();
    INT_PTR result = open();
    stop();
    return result;
}

int ModalDriver::seen(const wchar_t* title) const
{
    int n = 0;
    for (const Entry& e : entries)
        if (!title || (e.script.title && std::wstring(e.script.title) == title)) n += e.seen;
    return n;
}

void CALLBACK ModalDriver::tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (activeDriver) activeDriver->drive();
}

void ModalDriver::closeAll()
{
    for (HWND dialog : threadDialogs()) {
        if (windowText(dialog) == BoxTitle) {
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
            continue;
        }
        for (const Entry& e : entries)
            if (titled(dialog, e.script.title)) {
                closeDialog(dialog, e.script);
                break;
            }
    }
}

// One thing per tick: a message box, else the first script with a dialog waiting.
void ModalDriver::drive()
{
    if (GetTickCount() - started > watchdogMs) {
        timedOutFlag = true;
        closeAll();
        return;
    }
    for (HWND dialog : threadDialogs()) {
        if (windowText(dialog) != BoxTitle || !IsWindowVisible(dialog)) continue;
        ++boxesSeen;
        boxCaption = windowText(dialog);
        boxText = windowText(GetDlgItem(dialog, 0xFFFF));
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        return;
    }
    for (Entry& e : entries)
        if (step(e)) return;
}

// Hands a waiting dialog its steps; whether there was one. A window is marked once
// scripted: handles come back soon, and a marked one is never scripted again.
bool ModalDriver::step(Entry& e)
{
    if (e.running || (!e.script.eachWindow && e.seen > 0)) return false;
    for (HWND dialog : threadDialogs()) {
        if (windowText(dialog) == BoxTitle || !titled(dialog, e.script.title) || GetPropW(dialog, L"vokScripted")) continue;
        if (e.script.whenShown && !IsWindowVisible(dialog)) continue;
        SetPropW(dialog, L"vokScripted", reinterpret_cast<HANDLE>(1));
        ++e.seen;
        e.running = true;
        if (e.script.steps) e.script.steps(dialog);
        e.running = false;
        // Steps that stopped early (a failed assertion) still close the dialog; a
        // posted close to a dialog that has ended goes with its window.
        if (!e.script.steps || e.script.closeAfterSteps) closeDialog(dialog, e.script);
        return true;
    }
    return false;
}

// --- The plug-in in a host ----------------------------------------------------------------

std::vector<int> PluginHost::framesSeen;
int PluginHost::watermarks;
std::vector<std::wstring> PluginHost::notifications;
int PluginHost::notificationsWithdrawn;

namespace {

HBITMAP strip;
int stripSize;

// Which strip frame the icon area of dc shows, or -1.
int frameIn(HDC dc, int panelHeight)
{
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, strip);
    int y0 = (panelHeight - stripSize) / 2, found = -1;
    for (int frame = 0; frame < 5 && found < 0; ++frame) {
        bool same = true;
        int compared = 0;
        for (int y = 0; y < stripSize && same; ++y)
            for (int x = 0; x < stripSize && same; ++x) {
                COLORREF want = GetPixel(source, frame * stripSize + x, y);
                if (want == RGB(1, 2, 3)) continue;
                ++compared;
                same = GetPixel(dc, x, y0 + y) == want;
            }
        if (same && compared > 0) found = frame;
    }
    SelectObject(source, old);
    DeleteDC(source);
    return found;
}

// The background request of each paint finds the previous paint still in the buffer.
LRESULT CALLBACK recordingHost(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == HostGetColour) return PluginHost::TextColour;
    if (message == HostDrawWatermark) {
        auto* info = reinterpret_cast<TODAYDRAWWATERMARKINFO*>(lParam);
        int frame = strip ? frameIn(info->hdc, info->rc.bottom) : -1;
        std::vector<int>& frames = PluginHost::framesSeen;
        if (frame >= 0 && (frames.empty() || frames.back() != frame)) frames.push_back(frame);
        HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
        FillRect(info->hdc, &info->rc, white);
        DeleteObject(white);
        ++PluginHost::watermarks;
        return 1;
    }
    if (message == WM_COPYDATA) {  // the shell's notifications, as the desktop stand-in hands them over
        auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (!copy || copy->cbData != sizeof(NotificationMessage)) return FALSE;
        const auto* note = static_cast<const NotificationMessage*>(copy->lpData);
        if (copy->dwData == NotificationAddData) PluginHost::notifications.push_back(note->text);
        if (copy->dwData == NotificationRemoveData) ++PluginHost::notificationsWithdrawn;
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND makeRecordingHost()
{
    WNDCLASSW hostClass = {};
    hostClass.lpfnWndProc = recordingHost;
    hostClass.hInstance = GetModuleHandleW(nullptr);
    hostClass.lpszClassName = L"vokEndToEndHost";
    RegisterClassW(&hostClass);  // already there from an earlier test: fine
    return makeTodayScreen(L"host", L"vokEndToEndHost");
}

void PluginHost::prepare(int servicePort, const std::vector<DayRates>& days)
{
    writeSettingsThroughProxy(folder, servicePort);
    if (!days.empty()) writeHistory(folder.file(L"vokCurrency.his"), days);
}

bool PluginHost::load(bool recordingHost, const std::function<void(HMODULE)>& beforeItem)
{
    if (recordingHost) {
        strip = SHLoadImageFile(folder.file(L"vokCurrency.png").c_str());
        EXPECT_NE(strip, nullptr);
        BITMAP info = {};
        if (strip) GetObjectW(strip, sizeof info, &info);
        stripSize = info.bmHeight;
    }
    if (!loadLibrary()) return false;
    if (beforeItem) beforeItem(dll);
    host = recordingHost ? makeRecordingHost() : makeTodayScreen(L"host");
    panel = initializeEntry(dll)(&item, host);
    EXPECT_NE(panel, nullptr);
    framesSeen.clear();
    return panel != nullptr;
}

bool PluginHost::loadLibrary()
{
    dll = LoadLibraryW(folder.file(L"vokcurrency.dll").c_str());
    EXPECT_NE(dll, nullptr) << GetLastError();
    return dll != nullptr;
}

void PluginHost::query()
{
    SendMessageW(panel, ItemQueryRefresh, WPARAM(&item), 0);
    SetWindowPos(panel, nullptr, 0, 0, 240, int(item.cyp), SWP_NOZORDER);
}

void PluginHost::makeItemAgain()
{
    DestroyWindow(panel);
    panel = initializeEntry(dll)(&item, host);
    EXPECT_NE(panel, nullptr);
    for (int i = 0; i < 3; ++i) query();
}

DWORD PluginHost::unload()
{
    if (host) DestroyWindow(host);
    host = panel = nullptr;
    DWORD before = GetTickCount();
    if (dll) {
        EXPECT_TRUE(FreeLibrary(dll));
    }
    dll = nullptr;
    return GetTickCount() - before;
}

bool PluginHost::unloaded() const { return GetModuleHandleW(folder.file(L"vokcurrency.dll").c_str()) == nullptr; }

PluginHost::~PluginHost()
{
    if (host) DestroyWindow(host);
    if (strip) DeleteObject(strip);
    strip = nullptr;
    if (dll) FreeLibrary(dll);
    // The worker holds the library until it ends; let it go before the folder does.
    for (DWORD began = GetTickCount(); GetTickCount() - began < 5000 && !unloaded(); Sleep(20)) {
    }
}

void PluginHost::repaint()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    InvalidateRect(panel, nullptr, FALSE);
    UpdateWindow(panel);
}

void PluginHost::tap(int x, int y)
{
    SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageW(panel, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

std::vector<int> PluginHost::tapIcon(DWORD limitMs)
{
    Sleep(300);  // never a double tap with the one before
    repaint();
    framesSeen.clear();
    tap(2, 2);
    auto shown = [](int frame) { return std::find(framesSeen.begin(), framesSeen.end(), frame) != framesSeen.end(); };
    for (DWORD began = GetTickCount(); GetTickCount() - began < limitMs; Sleep(10)) {
        repaint();
        bool ended = shown(3) || shown(4);
        if (ended && !framesSeen.empty() && framesSeen.back() <= 1) break;
    }
    Sleep(700);  // a second download, if any, would show by now
    repaint();
    repaint();
    return framesSeen;
}

bool PluginHost::holdOnTheRates(std::function<void(HWND)> steps)
{
    DialogScript rates;
    rates.title = L"Курсы";
    rates.steps = std::move(steps);
    rates.closeCommand = IDM_CANCEL;
    ModalDriver driver(60000);
    driver.on(rates);
    Sleep(300);
    driver.run([this] {
        SetPropW(host, ShellHoldProperty, HANDLE(1));
        SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 5));
        RemovePropW(host, ShellHoldProperty);
        SendMessageW(panel, WM_LBUTTONUP, 0, MAKELPARAM(150, 5));
        return INT_PTR(0);
    });
    return driver.seen() == 1;
}

std::vector<COLORREF> PluginHost::pixels()
{
    int height = int(item.cyp);
    HDC panelDC = GetDC(panel);
    HDC shot = CreateCompatibleDC(panelDC);
    HBITMAP bitmap = CreateCompatibleBitmap(panelDC, 240, height);
    HGDIOBJ old = SelectObject(shot, bitmap);
    BitBlt(shot, 0, 0, 240, height, panelDC, 0, 0, SRCCOPY);
    ReleaseDC(panel, panelDC);
    std::vector<COLORREF> out(size_t(240) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 240; ++x) out[size_t(y) * 240 + x] = GetPixel(shot, x, y);
    SelectObject(shot, old);
    DeleteObject(bitmap);
    DeleteDC(shot);
    return out;
}

int PluginHost::pixelsOf(COLORREF colour)
{
    repaint();
    std::vector<COLORREF> all = pixels();
    return int(std::count(all.begin(), all.end(), colour));
}

static HWND ratesTable(HWND dialog) { return GetDlgItem(dialog, IDC_HISTORY_TABLE); }

std::wstring listText(HWND list, int row, int column)
{
    wchar_t buffer[128] = L"";
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 128;
    SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

std::wstring tableCell(HWND dialog, int row, int column) { return listText(ratesTable(dialog), row, column); }

void clickColumnHeader(HWND dialog, int column)
{
    HWND header = reinterpret_cast<HWND>(SendMessageW(ratesTable(dialog), LVM_GETHEADER, 0, 0));
    RECT item, client;
    SendMessageW(header, HDM_GETITEMRECT, WPARAM(column), reinterpret_cast<LPARAM>(&item));
    GetClientRect(header, &client);
    int right = item.right < client.right ? item.right : client.right;
    LPARAM at = MAKELPARAM((item.left + right) / 2, (item.top + item.bottom) / 2);
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(header, WM_LBUTTONUP, 0, at);
}

// --- The desktop host as a process of its own ----------------------------------------------

HostProcess::HostProcess(const std::wstring& plugin, const std::wstring& arguments)
{
    std::wstring command = L"\"" + buildFolder() + L"\\todayhost.exe\" --plugin \"" + plugin + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
}

HostProcess::~HostProcess()
{
    if (!started) return;
    if (HWND screen = window(L"vokTodayScreen", nullptr)) PostMessageW(screen, WM_CLOSE, 0, 0);
    if (!ended(5000)) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

HWND HostProcess::window(const wchar_t* className, const wchar_t* title) const
{
    HWND w = nullptr;
    while ((w = FindWindowExW(nullptr, w, className, title))) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == process.dwProcessId) return w;
    }
    return nullptr;
}

HWND HostProcess::item() const
{
    HWND screen = window(L"vokTodayScreen", nullptr);
    return screen ? FindWindowExW(screen, nullptr, L"vokCurrencyCls", nullptr) : nullptr;
}

// --- The scratch folder, the files and the test program -------------------------------

std::wstring buildFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L"\\/"));
}

InitializeItem initializeEntry(HMODULE dll)
{
    return reinterpret_cast<InitializeItem>(reinterpret_cast<void*>(GetProcAddress(dll, MAKEINTRESOURCEA(240))));
}

void writeSettingsThroughProxy(const PluginFolder& folder, int port)
{
    // The tests' rules are those of a file made before the publication rule (the
    // daily time), unless a test chose others.
    if (settings.updateFlags == (UpdateOnPublication | UpdateOnConnect)) settings.updateFlags = UpdateDaily | UpdateOnConnect;
    settings.useProxy = 1;
    std::wstring proxy = L"127.0.0.1:" + std::to_wstring(port);
    for (size_t i = 0; i <= proxy.size(); ++i) settings.proxy[i] = char16_t(proxy.c_str()[i]);
    std::memcpy(settings.magic2, "vok", 4);
    writeFileBytes(folder.file(L"vokCurrency.set"), &settings, sizeof settings);
}

int defaultFontHeight()
{
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi >= 192 ? 24 : 15;
}

int itemsInLine(const std::vector<bool>& ink, int minGap)
{
    int items = 0, gap = minGap;
    for (bool inked : ink) {
        if (!inked) { ++gap; continue; }
        if (gap >= minGap) ++items;
        gap = 0;
    }
    return items;
}

PluginFolder::PluginFolder()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int counter;
    dir = std::wstring(temp) + L"voktest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(++counter);
    CreateDirectoryW(dir.c_str(), nullptr);
    for (const wchar_t* name : {L"vokcurrency.dll", L"vokCurrency.png", L"vokCurrencyHIDPI.png"})
        CopyFileW((buildFolder() + L"\\" + name).c_str(), file(name).c_str(), FALSE);
}

PluginFolder::~PluginFolder()
{
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW(file(found.cFileName).c_str());
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}

std::vector<unsigned char> readFileBytes(const std::wstring& path)
{
    std::vector<unsigned char> out;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return out;
    unsigned char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    fclose(f);
    return out;
}

void writeFileBytes(const std::wstring& path, const void* data, size_t size)
{
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    fwrite(data, 1, size, f);
    fclose(f);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
