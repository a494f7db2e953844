// The library's edges: attach, detach and the host's entry point 240.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "data/history.h"
#include "data/keepfiles.h"
#include "data/limits.h"
#include "data/settings.h"
#include "dialogs/options.h"
#include "platform/module.h"
#include "platform/today.h"
#include "plugin/panel.h"
#include "update/schedule.h"
#include "update/schedule_win32.h"

static const wchar_t className[] = L"vokCurrencyCls";

static void loadSettingsFile()
{
    wchar_t path[MAX_PATH];
    buildDataPath(path, L"vokCurrency.set");
    // With no place for the file the record in memory is the only copy: a new
    // item window keeps what the options dialog last set.
    if (!path[0] && std::memcmp(settings.magic, "vok", 4) == 0) return;
    loadSettings(reinterpret_cast<const char16_t*>(path), screenDpi());
    buildDataPath(path, L"vokCurrency.lim");
    // Read with the settings; a file that could not be read keeps memory's limits.
    if (path[0]) loadLimits(reinterpret_cast<const char16_t*>(path));
}

static void attach(HINSTANCE instance)
{
    moduleInstance = instance;
    InitCommonControls();
    loadSettingsFile();
    wchar_t path[MAX_PATH];
    buildDataPath(path, L"vokCurrency.his");
    // Settings that could not be read give the store only a guessed length: it
    // writes nothing until they are read.
    loadHistory(reinterpret_cast<const char16_t*>(path), settings.historyLength, !settingsFileHolds());
    resetSchedule();
    installSchedulePlatform(repaintPanel);
    setSettingsChangedHandler(panelSettingsChanged);

    WNDCLASSW windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = panelWindowProc;
    windowClass.hInstance = moduleInstance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
    loadIconStrip();
}

static void detach(bool processEnding)
{
    UnregisterClassW(className, moduleInstance);
    // At process exit other threads are already gone and the system takes the
    // memory back; a worker otherwise holds a module reference, so none runs here.
    // A file whose save failed gets a last try.
    if (!processEnding) keepFilesLastTry();
    if (!processEnding) freeHistory(updateWorkerRunning());
    freeIconStrip();
    moduleInstance = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        attach(instance);
    else if (reason == DLL_PROCESS_DETACH)
        detach(reserved != nullptr);
    return TRUE;
}

extern "C" HWND WINAPI InitializeCustomItem(TODAYLISTITEM* item, HWND parent)
{
    (void)item;
    tickCounter = 0;
    loadSettingsFile();
    redrawFlag = 1;
    panelWindow = CreateWindowExW(0, className, L"vokCurrencyWnd", WS_CHILD | WS_VISIBLE, 0x1001F, 0x1001F, 0, 0,
                                  parent, nullptr, moduleInstance, nullptr);
    PostMessageW(panelWindow, WM_TODAYCUSTOM_CLEARCACHE, 0, 0);
    return panelWindow;
}
