// The module's instance, its data files' place beside it, and the screen's dpi.
#include "platform/module.h"

#include "platform/text16.h"

HINSTANCE moduleInstance;

// The data files lie beside the library and nowhere else. When that path can't be
// formed (the module's name is cut or unknown, or the folder and name don't fit),
// the buffer is left empty: the file seam writes nothing for an empty path, so
// settings and history live in memory only. The debugger hears of it once.
void buildDataPath(wchar_t* buffer, const wchar_t* fileName)
{
    static bool reported;
    wchar_t modulePath[MAX_PATH];
    DWORD n = GetModuleFileNameW(moduleInstance, modulePath, MAX_PATH);
    bool formed = n > 0 && n < MAX_PATH &&
                  composeDataPath(reinterpret_cast<char16_t*>(buffer), MAX_PATH,
                                  reinterpret_cast<const char16_t*>(modulePath),
                                  reinterpret_cast<const char16_t*>(fileName));
    if (formed) return;
    buffer[0] = 0;
    if (!reported) {
        OutputDebugStringW(L"vokCurrency: the library's path is too long for its data files; "
                           L"settings and history are kept in memory only and nothing is written.\n");
        reported = true;
    }
}

int screenDpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}
