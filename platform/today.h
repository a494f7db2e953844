// The Today-screen host's records and messages, as the host defines them for its
// plug-ins. Desktop Win32 has no such host; this header gives the plug-in and the
// desktop host one shared definition with the host's layouts.
#pragma once
#include <windows.h>

#include <cstddef>

// Host → item window.
#define WM_TODAYCUSTOM_CLEARCACHE (WM_USER + 242)         // 1266: colours or fonts changed
#define WM_TODAYCUSTOM_QUERYREFRESHCACHE (WM_USER + 243)  // 1267: wParam = TODAYLISTITEM*

// Item window → host (sent to the item window's parent).
#define TODAYM_GETCOLOR (WM_USER + 100)       // 1124: wParam = TODAYCOLOR_*; result a COLORREF
#define TODAYM_DRAWWATERMARK (WM_USER + 101)  // 1125: lParam = TODAYDRAWWATERMARKINFO*

#define TODAYCOLOR_TEXT 0x10000004

enum TODAYLISTITEMTYPE {
    tlitOwnerInfo = 0,
    tlitAppointments,
    tlitMail,
    tlitTasks,
    tlitCustom,
    tlitNil
};

// One row of the Today screen, owned by the host. A plug-in reads and writes cyp
// (the row's height in pixels) when the host queries its cache.
struct TODAYLISTITEM {
    WCHAR szName[32];
    TODAYLISTITEMTYPE tlit;
    DWORD dwOrder;
    DWORD cyp;
    BOOL fEnabled;
    BOOL fOptions;
    DWORD grfFlags;
    WCHAR szDLLPath[MAX_PATH];
    HINSTANCE hinstDLL;
    HWND hwndCustom;
    BOOL fSizeOnDraw;
    BYTE* prgbCachedData;
    DWORD cbCachedData;
};

// What the host needs to paint the Today background into an item's device context.
struct TODAYDRAWWATERMARKINFO {
    HDC hdc;
    RECT rc;
    HWND hwnd;
};

// The host's entry points in a plug-in, by export ordinal: 240 makes the item
// window, 241 is the options dialog's procedure, which the host runs on the plug-in's
// dialog template IDD_TODAY_CUSTOM.
typedef HWND(WINAPI* PFNCUSTOMINITIALIZEITEM)(TODAYLISTITEM*, HWND);
#define ORDINAL_INITIALIZEITEM 240
#define ORDINAL_OPTIONSDIALOGPROC 241
#define IDD_TODAY_CUSTOM 500

// A notification of the plug-in's (the shell's SHNotificationAdd on the device,
// platform/notify.h on the desktop), as the Today screen receives it: WM_COPYDATA
// whose dwData is NotificationAddData or NotificationRemoveData and whose data is
// one NotificationMessage. The host answers TRUE when it took it.
constexpr ULONG_PTR NotificationAddData = 0x564F4B4E;     // "NKOV"
constexpr ULONG_PTR NotificationRemoveData = 0x564F4B52;  // "RKOV"
struct NotificationMessage {
    DWORD id;          // the caller's number for it: a removal names it
    DWORD seconds;     // how long it shows
    wchar_t title[64];
    wchar_t text[192];
};
static_assert(sizeof(NotificationMessage) == 520, "NotificationMessage layout");

static_assert(sizeof(TODAYLISTITEMTYPE) == 4, "the item type is int-sized");
#ifdef _WIN64
static_assert(offsetof(TODAYLISTITEM, tlit) == 64, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYLISTITEM, dwOrder) == 68, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYLISTITEM, cyp) == 72, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYLISTITEM, fEnabled) == 76, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYLISTITEM, fOptions) == 80, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYLISTITEM, grfFlags) == 84, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYLISTITEM, szDLLPath) == 88, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYLISTITEM, hinstDLL) == 608, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYLISTITEM, hwndCustom) == 616, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYLISTITEM, fSizeOnDraw) == 624, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYLISTITEM, prgbCachedData) == 632, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYLISTITEM, cbCachedData) == 640, "TODAYLISTITEM layout");
static_assert(sizeof(TODAYLISTITEM) == 648, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYDRAWWATERMARKINFO, rc) == 8, "TODAYDRAWWATERMARKINFO layout");
static_assert(offsetof(TODAYDRAWWATERMARKINFO, hwnd) == 24, "TODAYDRAWWATERMARKINFO layout");
static_assert(sizeof(TODAYDRAWWATERMARKINFO) == 32, "TODAYDRAWWATERMARKINFO layout");
#else
// 32-bit, as on the device.
static_assert(offsetof(TODAYLISTITEM, hinstDLL) == 608, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYLISTITEM, hwndCustom) == 612, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYLISTITEM, fSizeOnDraw) == 616, "TODAYLISTITEM layout");
static_assert(offsetof(TODAYLISTITEM, prgbCachedData) == 620, "TODAYLISTITEM layout");
static_assert(sizeof(TODAYLISTITEM) == 628, "TODAYLISTITEM layout");
static_assert(sizeof(TODAYDRAWWATERMARKINFO) == 24, "TODAYDRAWWATERMARKINFO layout");
#endif
