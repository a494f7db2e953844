// The connection manager of Windows CE (cellcore), for desktop Win32: the same
// calls and the same request record. On the desktop the network is always up, so
// every request is answered "connected" at once. The test build also keeps a record
// of what it was asked (platform/testhooks.h).
#pragma once
#include <windows.h>

constexpr DWORD CONNMGR_PARAM_GUIDDESTNET = 0x1;
constexpr DWORD CONNMGR_FLAG_PROXY_HTTP = 0x1;
constexpr DWORD CONNMGR_PRIORITY_USERINTERACTIVE = 0x8000;
constexpr DWORD CONNMGR_STATUS_CONNECTED = 0x10;

struct CONNMGR_CONNECTIONINFO {
    DWORD cbSize;  // 64 on the device (32-bit pointers)
    DWORD dwParams;
    DWORD dwFlags;
    DWORD dwPriority;
    BOOL bExclusive;
    BOOL bDisabled;
    GUID guidDestNet;
    HWND hWnd;
    UINT uMsg;
    LPARAM lParam;
    ULONG ulMaxCost;
    ULONG ulMinRcvBw;
    ULONG ulMaxConnLatency;
};

// Gives the destination network for a URL: always the internet.
HRESULT ConnMgrMapURL(LPCWSTR pwszURL, GUID* pguid, DWORD* pdwIndex);
// Brings a connection up, waiting at most dwTimeout ms; here at once.
HRESULT ConnMgrEstablishConnectionSync(CONNMGR_CONNECTIONINFO* pConnInfo, HANDLE* phConnection, DWORD dwTimeout,
                                       DWORD* pdwStatus);
// Releases a connection; lCache 0 lets it go at once.
HRESULT ConnMgrReleaseConnection(HANDLE hConnection, LONG lCache);

// The destination network that ConnMgrMapURL gives.
extern const GUID connMgrInternetNet;
