// The Pocket PC shell's notifications (aygshell's SHNotificationAdd and
// SHNotificationRemove), for desktop Win32, which lacks them. Names, values and
// the record's fields are the shell's.
//
// On the desktop the notification goes to the Today screen that holds the sink
// window: the root window of hwndSink gets a WM_COPYDATA whose dwData is
// NotificationAddData (or NotificationRemoveData) and whose data is one
// NotificationMessage. The host shows it as it likes (todayhost: a small window
// over its screen, closed by a tap or after csDuration seconds); a host that does
// not know the message answers 0, and the call reports failure. pszHTML is shown
// as plain text. Runs on the user-interface thread.
#pragma once
#include <windows.h>

#include "platform/today.h"  // what the host receives: NotificationMessage

enum SHNP { SHNP_INFORM = 0x1B1, SHNP_ICONIC = 0 };
#define SHNF_STRAIGHTTOTRAY 0x00000001
#define SHNF_CRITICAL 0x00000002
#define SHNF_FORCEMESSAGE 0x00000008
#define SHNF_DISPLAYON 0x00000010
#define SHNF_SILENT 0x00000020

struct SHNOTIFICATIONDATA {
    DWORD cbStruct;      // sizeof(SHNOTIFICATIONDATA)
    DWORD dwID;          // the caller's number for it, with clsid
    SHNP npPriority;
    DWORD csDuration;    // seconds it shows
    HICON hicon;
    DWORD grfFlags;
    CLSID clsid;         // whose it is
    HWND hwndSink;       // the caller's window: on the desktop, where the host is found
    LPCWSTR pszHTML;     // the text
    LPCWSTR pszTitle;
    LPARAM lParam;
};

// ERROR_SUCCESS when the host took it.
LRESULT SHNotificationAdd(SHNOTIFICATIONDATA* data);
// Takes the notification dwID of clsid away again; ERROR_SUCCESS when the host did.
LRESULT SHNotificationRemove(const CLSID* clsid, DWORD dwID);
