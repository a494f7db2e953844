#include "platform/clipboard.h"

bool putClipboardText(HWND owner, const wchar_t* text, int maxUnits)
{
    int units = 0;
    while (units < maxUnits && text[units]) ++units;
    HLOCAL block = LocalAlloc(LPTR, (units + 1) * sizeof(wchar_t));
    if (!block) return false;
    wchar_t* copy = static_cast<wchar_t*>(block);
    for (int i = 0; i < units; ++i) copy[i] = text[i];
    copy[units] = 0;
    if (!OpenClipboard(owner)) {
        LocalFree(block);
        return false;
    }
    EmptyClipboard();
    bool taken = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    if (!taken) LocalFree(block);  // else the clipboard owns it
    CloseClipboard();
    return taken;
}
