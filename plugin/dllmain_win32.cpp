// The library's edges: attach, detach and the host's two entry points.
#include <windows.h>
#include <commctrl.h>

#include "data/settings.h"
#include "plugin/globals.h"

static void loadSettingsFile()
{
    wchar_t path[MAX_PATH];
    buildDataPath(path, L"vokCurrency.set");
    loadSettings(reinterpret_cast<const char16_t*>(path), screenDpi());
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
        InitCommonControls();
        loadSettingsFile();
    } else if (reason == DLL_PROCESS_DETACH) {
        moduleInstance = nullptr;
    }
    return TRUE;
}

extern "C" HWND WINAPI InitializeCustomItem(void* item, HWND parent)
{
    (void)item;
    (void)parent;
    loadSettingsFile();
    return panelWindow;
}

extern "C" BOOL WINAPI CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)dialog;
    (void)message;
    (void)wParam;
    (void)lParam;
    return FALSE;
}
