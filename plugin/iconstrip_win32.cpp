// The icon strip: one frame per update state, loaded beside the module.
#include <windows.h>

#include "platform/module.h"
#include "platform/shell.h"
#include "plugin/panel.h"

HBITMAP iconStrip;
int iconSize;

const wchar_t* iconStripFile(int dpi) { return dpi < 192 ? L"vokCurrency.png" : L"vokCurrencyHIDPI.png"; }

void loadIconStrip()
{
    int dpi = screenDpi();
    wchar_t path[MAX_PATH];
    buildDataPath(path, iconStripFile(dpi));
    iconStrip = SHLoadImageFile(path);
    BITMAP info;
    if (iconStrip && GetObjectW(iconStrip, sizeof info, &info) && info.bmHeight > 0) {
        iconSize = info.bmHeight;
    } else {
        // No strip: nothing is drawn, but the text and the icon's tap zone keep their places.
        iconSize = dpi < 192 ? 16 : 32;
    }
}

void freeIconStrip()
{
    if (iconStrip) DeleteObject(iconStrip);
    iconStrip = nullptr;
}
