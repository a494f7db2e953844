// The download over WinINet, with Winsock started around it and, on request, a
// data connection brought up through the connection manager first.
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <cstring>

#include "data/history.h"
#include "data/settings.h"
#include "platform/connmgr.h"
#include "platform/text16.h"
#include "update/download.h"
#include "update/ratesreader.h"
#include "update/ratesurl.h"

static_assert(DocumentLimit + 1 == RootContentCapacity, "the reader holds any document the download accepts");

static const wchar_t userAgent[] = L"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.2)";

// One buffer, first for the request URL, then for the document and its NUL.
// Only one update worker runs at a time.
static union {
    char16_t url[RatesUrlCapacity];
    char text[DocumentLimit + 1];
} documentBuffer;

// Reads the response into the buffer, reads it as a document and stores its day.
static bool readDocument(HINTERNET request)
{
    char* text = documentBuffer.text;
    size_t total = 0;
    for (;;) {
        DWORD wanted = static_cast<DWORD>(DocumentLimit - total);
        DWORD got = 0;
        BOOL ok = InternetReadFile(request, text + total, wanted, &got);
        if (got > wanted) got = wanted;
        total += got;
        // A failing call ends the reading but keeps what came before the failure,
        // including what the call itself reports: WinINet may fill the whole
        // request before it returns, so the bytes and the lost connection can
        // come back from one call. Nothing at all is caught by the floor below.
        if (!ok || got == 0 || total >= DocumentLimit) break;
    }
    if (total <= DocumentFloor || total >= DocumentLimit) return false;
    text[total] = 0;
    DayRates rates;
    if (!parseDailyRates(text, rates)) return false;
    storeDay(rates);
    return true;
}

bool downloadRates(bool latest, const DayCode& day)
{
    if (!buildRatesUrl(documentBuffer.url, RatesUrlCapacity, latest, day)) return false;
    const wchar_t* url = reinterpret_cast<const wchar_t*>(documentBuffer.url);

    WSADATA socketData;
    bool socketsStarted = WSAStartup(0x0101, &socketData) == 0;

    // The options dialog may change these meanwhile; take them once.
    bool establish = (settings.updateFlags & EstablishConnection) != 0;
    bool useProxy = settings.useProxy != 0;
    wchar_t proxy[65];
    copy16(reinterpret_cast<char16_t*>(proxy), 65, settings.proxy);

    HANDLE connection = nullptr;
    if (establish) {
        CONNMGR_CONNECTIONINFO request;
        std::memset(&request, 0, sizeof request);
        request.cbSize = 64;
        request.dwParams = CONNMGR_PARAM_GUIDDESTNET;
        request.dwFlags = useProxy ? CONNMGR_FLAG_PROXY_HTTP : 0;
        request.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
        request.bExclusive = TRUE;
        request.bDisabled = FALSE;
        // Both results are ignored: the download is tried whether or not a connection came up.
        ConnMgrMapURL(url, &request.guidDestNet, nullptr);
        DWORD status = 0;
        ConnMgrEstablishConnectionSync(&request, &connection, 30000, &status);
    }

    bool result = false;
    HINTERNET internet = useProxy ? InternetOpenW(userAgent, INTERNET_OPEN_TYPE_PROXY, proxy, nullptr, 0)
                                  : InternetOpenW(userAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (internet) {
        HINTERNET request = InternetOpenUrlW(internet, url, nullptr, 0, 0, 0);
        if (request) {
            result = readDocument(request);
            InternetCloseHandle(request);
        }
        InternetCloseHandle(internet);
    }

    if (establish) ConnMgrReleaseConnection(connection, 0);
    if (socketsStarted) WSACleanup();
    return result;
}
