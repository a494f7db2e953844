// A stand-in Today plug-in for the host's tests: it writes what the host does to
// it into fakeplugin.log beside itself.
#include <windows.h>

#include <cstdio>

#include "../../../resources/resource.h"
#include "fakeplugin.h"

static HINSTANCE self;
static HWND item;

static void note(const char* format, int value = 0)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(self, path, MAX_PATH);
    wchar_t* slash = wcsrchr(path, L'\\');
    if (slash) _snwprintf(slash + 1, MAX_PATH - (slash + 1 - path), L"fakeplugin.log");
    FILE* f = _wfopen(path, L"ab");
    if (!f) return;
    fprintf(f, format, value);
    fprintf(f, "\n");
    fclose(f);
}

struct HostItem {
    wchar_t szName[32];
    int tlit;
    DWORD dwOrder;
    DWORD cyp;
};

static LRESULT CALLBACK itemProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == 1267) {
        RECT r;
        GetClientRect(window, &r);
        note("query height %d", r.bottom);
        note("tick at %d", int(GetTickCount()));
        auto* host = reinterpret_cast<HostItem*>(wParam);
        if (host->cyp == 33) return 0;
        host->cyp = 33;
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

extern "C" HWND WINAPI InitializeCustomItem(HostItem*, HWND parent)
{
    note("init");
    WNDCLASSW c = {0, itemProc, 0, 0, self, nullptr, nullptr, nullptr, nullptr, L"fakePluginItem"};
    RegisterClassW(&c);
    item = CreateWindowExW(0, L"fakePluginItem", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent, nullptr, self,
                           nullptr);
    return item;
}

extern "C" INT_PTR WINAPI CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        note("options dialog %d", GetDlgCtrlID(GetDlgItem(dialog, IDC_FAKE_LABEL)));
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    return FALSE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        note("attach");
    } else if (reason == DLL_PROCESS_DETACH) {
        note("detach");
    }
    return TRUE;
}
