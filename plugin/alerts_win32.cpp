// The panel's alerts as notifications: raised once the paint that found them is
// done, withdrawn when the value is back inside, the states kept in their file.
#include <windows.h>

#include "data/limits.h"
#include "data/settings.h"
#include "platform/notify.h"
#include "plugin/core/alerts.h"
#include "plugin/core/layout.h"
#include "plugin/panel.h"

// Whose notifications they are: {6A0E5C41-3F7B-4C2D-9E1A-7B5C0D2E4F61}.
static const CLSID alertOwner = {0x6A0E5C41, 0x3F7B, 0x4C2D, {0x9E, 0x1A, 0x7B, 0x5C, 0x0D, 0x2E, 0x4F, 0x61}};
// The notification each item raised last (0: none shown); the numbers never repeat.
static DWORD shownNotification[ItemSlots];
static DWORD lastNotification;

static void raise(HWND window, const AlertCrossing& c)
{
    wchar_t text[96];
    alertText(settings.items[c.itemIndex], c, (settings.commaFlags & CommaOnPanel) != 0,
              reinterpret_cast<char16_t*>(text), 96);
    SHNOTIFICATIONDATA data = {};
    data.cbStruct = sizeof data;
    data.dwID = ++lastNotification;
    data.npPriority = SHNP_INFORM;
    data.csDuration = 15;
    data.clsid = alertOwner;
    data.hwndSink = window;
    data.pszHTML = text;
    data.pszTitle = L"vok Currency";
    if (SHNotificationAdd(&data) == ERROR_SUCCESS) shownNotification[c.itemIndex] = data.dwID;
}

void announceAlerts(HWND window)
{
    int count = pendingCrossingCount;
    if (count == 0) return;
    pendingCrossingCount = 0;
    for (int i = 0; i < count; ++i) {
        const AlertCrossing& c = pendingCrossings[i];
        DWORD& shown = shownNotification[c.itemIndex];
        if (shown) SHNotificationRemove(&alertOwner, shown);
        shown = 0;
        if (c.side != AlertInside) raise(window, c);
    }
    saveLimits(false);
}

void forgetAlertNotifications()
{
    for (DWORD& shown : shownNotification) shown = 0;
}
