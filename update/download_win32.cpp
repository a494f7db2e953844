// The download over WinINet, with Winsock started around it and, on request, a
// data connection brought up through the connection manager first.
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <cstring>

#include "data/history.h"
#include "data/settings.h"
#include "platform/connmgr.h"
#include "platform/testhooks.h"
#include "platform/text16.h"
#include "update/download.h"
#include "update/ratesreader.h"
#include "update/ratesurl.h"

static_assert(DocumentLimit + 1 == RootContentCapacity, "the reader reads any document the download accepts");

static const wchar_t userAgent[] = L"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.2)";


// Fetched afresh from the service, never kept in the cache, no cookies, no
// dialogs. Redirects are followed, to https too (WinINet refuses that move by
// default); none of the certificate checks is switched off.
static const DWORD requestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                  INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                                  INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;

// The end of the running update's time, as GetTickCount counts.
static DWORD runDeadline;
static bool runBegun;

#ifdef VOK_TEST
unsigned long updateLimitOverrideMs = 0;
static unsigned long updateLimit() { return updateLimitOverrideMs ? updateLimitOverrideMs : UpdateLimitMs; }
#else
static unsigned long updateLimit() { return UpdateLimitMs; }
#endif

void beginUpdateRun()
{
    runDeadline = GetTickCount() + updateLimit();
    runBegun = true;
}

void endUpdateRun() { runBegun = false; }

// Milliseconds left before deadline; 0 once it has passed.
static DWORD timeLeft(DWORD deadline)
{
    DWORD left = deadline - GetTickCount();
    return static_cast<LONG>(left) > 0 ? left : 0;
}

// A limit for one step: never above its own maximum nor past the deadline. The
// maximum scales with a shortened update limit.
static DWORD stepLimit(DWORD deadline, unsigned long maximum, unsigned share)
{
    unsigned long scaled = maximum * updateLimit() / UpdateLimitMs;
    DWORD left = timeLeft(deadline) / share;
    DWORD limit = left < scaled ? left : static_cast<DWORD>(scaled);
    return limit ? limit : 1;
}

static void setLimit(HINTERNET handle, DWORD option, DWORD milliseconds)
{
    InternetSetOptionW(handle, option, &milliseconds, sizeof milliseconds);
}

// One buffer, first for the request URL, then for the document and its NUL.
// Only one update worker runs at a time.
static union {
    char16_t url[RatesUrlCapacity];
    char text[DocumentLimit + 1];
} documentBuffer;

// The WinINet error of the last request that could not be made.
static DWORD requestError;

// Each download's outcome goes to the debugger output as one line: the day
// stored, or why not. Nothing else is told: the icon shows success or failure.
static size_t appendText(char* out, size_t capacity, size_t at, const char* text)
{
    while (*text && at + 1 < capacity) out[at++] = *text++;
    out[at] = 0;
    return at;
}

static void reportDownload(const DayCode* stored, DWORD error)
{
    char line[256];
    size_t at = appendText(line, sizeof line, 0, "vokCurrency: ");
    char number[16];
    if (stored) {
        at = appendText(line, sizeof line, at, "stored the rates of ");
        formatWhole(number, sizeof number, stored->day, 2);
        at = appendText(line, sizeof line, at, number);
        at = appendText(line, sizeof line, at, ".");
        formatWhole(number, sizeof number, stored->month, 2);
        at = appendText(line, sizeof line, at, number);
        at = appendText(line, sizeof line, at, ".");
        formatWhole(number, sizeof number, yearOf(*stored), 4);
        at = appendText(line, sizeof line, at, number);
    } else if (error) {
        at = appendText(line, sizeof line, at, "the rates service could not be reached: WinINet error ");
        formatWhole(number, sizeof number, static_cast<int32_t>(error), 0);
        at = appendText(line, sizeof line, at, number);
        char reason[128] = "";
        DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      GetModuleHandleW(L"wininet.dll"), error, 0, reason, sizeof reason, nullptr);
        while (length > 0 && (reason[length - 1] == '\n' || reason[length - 1] == '\r' || reason[length - 1] == '.'))
            reason[--length] = 0;
        if (length > 0) {
            at = appendText(line, sizeof line, at, ": ");
            at = appendText(line, sizeof line, at, reason);
        }
    } else {
        at = appendText(line, sizeof line, at, "the rates service's answer was no whole daily-rates document");
    }
    appendText(line, sizeof line, at, "\n");
    OutputDebugStringA(line);
}

// Reads the response into the buffer, NUL-terminated; the body's length, or 0
// when it filled the buffer (its end was not read). Each wait for more bytes is
// bounded, and so is the whole: a service that stops sending, or trickles, is
// given up at the deadline.
static size_t readBody(HINTERNET request, DWORD deadline)
{
    char* text = documentBuffer.text;
    size_t total = 0;
    for (;;) {
        if (timeLeft(deadline) == 0) return 0;
        setLimit(request, INTERNET_OPTION_RECEIVE_TIMEOUT, stepLimit(deadline, StepLimitMs, 1));
        DWORD available = 0;
        // What has arrived, waiting at most the limit for the first of it; the
        // read below then takes only that and never waits on its own.
        if (!InternetQueryDataAvailable(request, &available, 0, 0)) break;
        DWORD wanted = static_cast<DWORD>(DocumentLimit - total);
        if (available > 0 && available < wanted) wanted = available;
        DWORD got = 0;
        BOOL ok = InternetReadFile(request, text + total, wanted, &got);
        if (got > wanted) got = wanted;
        total += got;
        // A failing call ends the reading but keeps what came before the failure,
        // including what the call itself reports: WinINet may fill the whole
        // request before it returns, so the bytes and the lost connection can
        // come back from one call. A cut document is refused by its reader.
        if (!ok || got == 0 || total >= DocumentLimit) break;
    }
    if (total >= DocumentLimit) return 0;
    text[total] = 0;
    return total;
}

// Reads a received daily document and stores its day; false, with nothing
// stored, for a body too short to be one, a NUL inside it, a cut table or a
// damaged date.
static bool storeDocument(size_t total)
{
    if (total <= DocumentFloor) return false;
    DayRates rates;
    if (!parseDailyRates(documentBuffer.text, total, rates)) return false;
    storeDay(rates);
    reportDownload(&rates.code, 0);
    return true;
}

// The request for url, sent, with its answer's head read: connecting, sending
// and waiting for the head each get their share of the time left. The limits
// are set on every handle on the way, as each WinINet takes them from another.
// Null on failure; session is then closed, or null.
static HINTERNET openRequest(HINTERNET internet, const wchar_t* url, DWORD deadline, HINTERNET& session)
{
    session = nullptr;
    wchar_t host[RatesUrlCapacity];
    wchar_t path[RatesUrlCapacity];
    wchar_t query[RatesUrlCapacity];
    URL_COMPONENTSW parts;
    std::memset(&parts, 0, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = RatesUrlCapacity;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = RatesUrlCapacity;
    parts.lpszExtraInfo = query;
    parts.dwExtraInfoLength = RatesUrlCapacity;
    if (!InternetCrackUrlW(url, 0, 0, &parts)) return nullptr;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return nullptr;
    size_t pathLength = length16(reinterpret_cast<char16_t*>(path), RatesUrlCapacity);
    copy16(reinterpret_cast<char16_t*>(path) + pathLength, RatesUrlCapacity - pathLength,
           reinterpret_cast<const char16_t*>(query));

    DWORD limit = stepLimit(deadline, StepLimitMs, 3);
    const DWORD limits[3] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                             INTERNET_OPTION_RECEIVE_TIMEOUT};
    for (DWORD option : limits) setLimit(internet, option, limit);
    setLimit(internet, INTERNET_OPTION_CONNECT_RETRIES, 1);
    session = InternetConnectW(internet, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!session) {
        requestError = GetLastError();
        return nullptr;
    }
    for (DWORD option : limits) setLimit(session, option, limit);
    DWORD flags = requestFlags | (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
    HINTERNET request = HttpOpenRequestW(session, L"GET", path, nullptr, nullptr, nullptr, flags, 0);
    if (request) {
        for (DWORD option : limits) setLimit(request, option, limit);
        if (timeLeft(deadline) && HttpSendRequestW(request, nullptr, 0, nullptr, 0)) return request;
        requestError = timeLeft(deadline) ? GetLastError() : ERROR_INTERNET_TIMEOUT;
        InternetCloseHandle(request);
    } else {
        requestError = GetLastError();
    }
    InternetCloseHandle(session);
    session = nullptr;
    return nullptr;
}

// Fetches url into the document buffer: the body's length, or 0 on any failure.
// url may lie in the buffer itself: it is read before the body arrives.
static size_t fetchBody(const wchar_t* url, DWORD deadline)
{
    // With less than a fifth of the update's time left a download is not begun.
    if (timeLeft(deadline) < updateLimit() / 5) return 0;

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
        ConnMgrEstablishConnectionSync(&request, &connection, stepLimit(deadline, ConnectionLimitMs, 2), &status);
    }

    size_t length = 0;
    requestError = 0;
    HINTERNET internet = useProxy ? InternetOpenW(userAgent, INTERNET_OPEN_TYPE_PROXY, proxy, nullptr, 0)
                                  : InternetOpenW(userAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (internet) {
        HINTERNET session = nullptr;
        HINTERNET request = openRequest(internet, url, deadline, session);
        if (request) {
            length = readBody(request, deadline);
            InternetCloseHandle(request);
            InternetCloseHandle(session);
        }
        InternetCloseHandle(internet);
    } else {
        requestError = GetLastError();
    }

    if (establish) ConnMgrReleaseConnection(connection, 0);
    if (socketsStarted) WSACleanup();
    return length;
}

static DWORD downloadDeadline() { return runBegun ? runDeadline : GetTickCount() + updateLimit(); }

bool downloadRates(bool latest, const DayCode& day)
{
    DWORD deadline = downloadDeadline();
    if (!buildRatesUrl(documentBuffer.url, RatesUrlCapacity, latest, day)) return false;
    bool result = storeDocument(fetchBody(reinterpret_cast<const wchar_t*>(documentBuffer.url), deadline));
    if (!result) reportDownload(nullptr, requestError);
    return result;
}

bool fetchDocument(const char16_t* url, char*& body, size_t& length)
{
    length = fetchBody(reinterpret_cast<const wchar_t*>(url), downloadDeadline());
    body = length ? documentBuffer.text : nullptr;
    return length > 0;
}
