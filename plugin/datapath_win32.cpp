#include "data/settings.h"
#include "platform/text16.h"
#include "plugin/globals.h"

void buildDataPath(wchar_t* buffer, const wchar_t* fileName)
{
    wchar_t modulePath[MAX_PATH];
    DWORD n = GetModuleFileNameW(moduleInstance, modulePath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) modulePath[0] = 0;
    composeDataPath(reinterpret_cast<char16_t*>(buffer), MAX_PATH, reinterpret_cast<const char16_t*>(modulePath),
                    reinterpret_cast<const char16_t*>(fileName));
}

int screenDpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

void saveSettingsFile()
{
    wchar_t path[MAX_PATH];
    buildDataPath(path, L"vokCurrency.set");
    saveSettings(reinterpret_cast<const char16_t*>(path));
}
