// The scheduler's platform calls on Win32.
#include <windows.h>

#include "update/download.h"
#include "update/fill.h"
#include "update/schedule.h"
#include "update/schedule_win32.h"

static void (*repaintCall)();

// The worker holds a reference to the module it runs in, so the library can't be
// unloaded under it; it drops the reference as it ends.
static DWORD WINAPI workerThread(LPVOID module)
{
    updateWorker();
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
    return 0;
}

static DWORD WINAPI fillThread(LPVOID module)
{
    fillWorker();
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
    return 0;
}

bool startModuleThread(LPTHREAD_START_ROUTINE body)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(body), &module))
        return false;
    HANDLE thread = CreateThread(nullptr, 0, body, module, 0, nullptr);
    if (!thread) {
        FreeLibrary(module);
        return false;
    }
    CloseHandle(thread);
    return true;
}

static bool startWorkerThread() { return startModuleThread(workerThread); }
static bool startFillThread() { return startModuleThread(fillThread); }

static void localTime(LocalTime& out)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    out = LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute};
}

static void utcTime(LocalTime& out)
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    out = LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute};
}

void installSchedulePlatform(void (*repaintPanel)())
{
    repaintCall = repaintPanel;
    schedulePlatform.localTime = localTime;
    schedulePlatform.utcTime = utcTime;
    schedulePlatform.startThread = startWorkerThread;
    schedulePlatform.startFillThread = startFillThread;
    schedulePlatform.sleepMs = [](int ms) { Sleep(DWORD(ms)); };
    schedulePlatform.invalidate = [] {
        if (repaintCall) repaintCall();
    };
    schedulePlatform.download = downloadRates;
    schedulePlatform.fetchDocument = fetchDocument;
    schedulePlatform.tickCount = [] { return uint32_t(GetTickCount()); };
    schedulePlatform.beginRun = beginUpdateRun;
    schedulePlatform.endRun = endUpdateRun;
}
