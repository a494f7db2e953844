// The fetch over WinINet, with Winsock started around it and, on request, a data
// connection brought up through the connection manager first.
//
// WinINet's calls may block past any time limit set on them (a head that comes
// one line at a time, a name that never resolves, a proxy that takes the request
// and says nothing; closing a handle from another thread does not end every
// call). So the blocking calls run on a fetch thread of their own, and the update
// waits for it only until its deadline. Each fetch has a job of its own on the
// heap, its body buffer included: a fetch thread given up on closes what it
// opened when its call finally returns, writes only its own job, frees it as it
// ends and holds a reference to the module until then. So a new fetch goes out
// while an earlier one still hangs (a service trickling its head for ever); past
// HangingFetchLimit such threads, a new fetch fails at once instead, so that a
// broken network can't pile them up.
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <cstring>

#include "platform/connmgr.h"
#include "platform/testhooks.h"
#include "platform/text16.h"
#include "update/document.h"
#include "update/fetch_win32.h"
#include "update/ratesreader.h"
#include "update/schedule_win32.h"

static_assert(DocumentLimit + 1 == RootContentCapacity, "the reader holds any document the download accepts");

static const wchar_t userAgent[] = L"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.2)";

// Fetched afresh from the service, never kept in the cache, no cookies, no
// dialogs. Redirects are followed here, not by WinINet, so that they count
// against a cap; none of the certificate checks is switched off.
static const DWORD requestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                  INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
// Redirects followed for one download, at most.
static const int RedirectLimit = 5;
// Room for a redirect's target.
static const size_t FetchUrlCapacity = 1024;

#ifdef VOK_TEST
HANDLE fetchThreadStall;
unsigned long updateLimitOverrideMs = 0;
unsigned long updateLimit() { return updateLimitOverrideMs ? updateLimitOverrideMs : UpdateLimitMs; }
#else
unsigned long updateLimit() { return UpdateLimitMs; }
#endif

// Milliseconds left before deadline; 0 once it has passed.
DWORD timeLeft(DWORD deadline)
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

FetchFailure lastFailure;

// One buffer for every download's document, daily or range. Only one update
// worker (or fill) runs at a time; a fetch that ends in time hands its body over
// here, and nothing else writes it.
DocumentBuffer documentBuffer;

// Fetch threads given up on that may still run at once; past them a fetch fails
// at once.
static const LONG HangingFetchLimit = 2;

// One fetch: what the fetch thread is given, and what it hands back. Written by
// the waiting side only before the thread starts and read back only after it has
// finished; a thread given up on keeps it to itself until it ends. Both sides
// hold a reference, and the last to let go frees it.
enum FetchState : LONG { FetchRunning, FetchFinished, FetchAbandoned };

struct FetchJob {
    wchar_t url[FetchUrlCapacity];  // the request, then each redirect's target
    FetchSettings settings;
    DWORD deadline;
    HMODULE module;               // the reference the thread holds
    HANDLE finished;              // set by the thread when it ends in time
    volatile LONG state;          // FetchState
    volatile LONG references;
    HINTERNET volatile internet;  // closed by whichever side takes it first
    DWORD error;                  // WinINet's error, when the request could not be made
    DWORD status;                 // the final HTTP status, when it was no 200
    bool bodyRead;
    size_t length;
    char body[DocumentLimit + 1];
};
// Fetch threads from their start until they end, given up on or not.
static volatile LONG fetchThreadsRunning;

static void releaseJob(FetchJob* job)
{
    if (InterlockedDecrement(&job->references) != 0) return;
    CloseHandle(job->finished);
    HeapFree(GetProcessHeap(), 0, job);
}

// --- The fetch thread --------------------------------------------------------------

// Reads the body into the document buffer. Each wait for more bytes is bounded,
// and so is the whole: a service that stops sending, or trickles, is given up at
// the deadline. A failing call ends the reading but keeps what came before it.
static bool readBody(FetchJob& job, HINTERNET request, DWORD deadline)
{
    size_t total = 0;
    for (;;) {
        if (timeLeft(deadline) == 0) {
            job.error = ERROR_INTERNET_TIMEOUT;
            return false;
        }
        setLimit(request, INTERNET_OPTION_RECEIVE_TIMEOUT, stepLimit(deadline, StepLimitMs, 1));
        DWORD available = 0;
        // What has arrived, waiting at most the limit for the first of it; the
        // read below then takes only that and never waits on its own.
        if (!InternetQueryDataAvailable(request, &available, 0, 0)) break;
        DWORD wanted = static_cast<DWORD>(DocumentLimit - total);
        if (available > 0 && available < wanted) wanted = available;
        DWORD got = 0;
        BOOL ok = InternetReadFile(request, job.body + total, wanted, &got);
        if (got > wanted) got = wanted;
        total += got;
        // WinINet may fill the whole request before it returns, so the bytes and
        // the lost connection can come back from one call.
        if (!ok || got == 0 || total >= DocumentLimit) break;
    }
    job.length = total;
    return true;
}

// The request for url, sent, with its answer's head read: connecting, sending
// and waiting for the head each get their share of the time left. The limits
// are set on every handle on the way, as each WinINet takes them from another.
// Null on failure; session is then closed, or null.
static HINTERNET openRequest(FetchJob& job, HINTERNET internet, const wchar_t* url, DWORD deadline,
                             HINTERNET& session)
{
    session = nullptr;
    wchar_t host[FetchUrlCapacity];
    wchar_t path[FetchUrlCapacity];
    wchar_t query[FetchUrlCapacity];
    URL_COMPONENTSW parts;
    std::memset(&parts, 0, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = FetchUrlCapacity;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = FetchUrlCapacity;
    parts.lpszExtraInfo = query;
    parts.dwExtraInfoLength = FetchUrlCapacity;
    if (!InternetCrackUrlW(url, 0, 0, &parts)) return nullptr;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return nullptr;
    size_t pathLength = length16(reinterpret_cast<char16_t*>(path), FetchUrlCapacity);
    copy16(reinterpret_cast<char16_t*>(path) + pathLength, FetchUrlCapacity - pathLength,
           reinterpret_cast<const char16_t*>(query));

    DWORD limit = stepLimit(deadline, StepLimitMs, 3);
    const DWORD limits[3] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                             INTERNET_OPTION_RECEIVE_TIMEOUT};
    for (DWORD option : limits) setLimit(internet, option, limit);
    setLimit(internet, INTERNET_OPTION_CONNECT_RETRIES, 1);
    session = InternetConnectW(internet, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!session) {
        job.error = GetLastError();
        return nullptr;
    }
    for (DWORD option : limits) setLimit(session, option, limit);
    DWORD flags = requestFlags | (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
    HINTERNET request = HttpOpenRequestW(session, L"GET", path, nullptr, nullptr, nullptr, flags, 0);
    if (request) {
        for (DWORD option : limits) setLimit(request, option, limit);
        if (timeLeft(deadline) && HttpSendRequestW(request, nullptr, 0, nullptr, 0)) return request;
        job.error = timeLeft(deadline) ? GetLastError() : ERROR_INTERNET_TIMEOUT;
        InternetCloseHandle(request);
    } else {
        job.error = GetLastError();
    }
    InternetCloseHandle(session);
    session = nullptr;
    return nullptr;
}

static bool isSecure(const wchar_t* url) { return _wcsnicmp(url, L"https:", 6) == 0; }

// A redirect's target, resolved against the URL it came from, becomes the job's
// URL. False when there is none, it does not fit, or it would leave https for http.
static bool takeRedirect(FetchJob& job, HINTERNET request)
{
    wchar_t location[FetchUrlCapacity];
    wchar_t target[FetchUrlCapacity];
    DWORD size = sizeof location;
    DWORD index = 0;
    if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location, &size, &index)) return false;
    DWORD length = FetchUrlCapacity;
    if (!InternetCombineUrlW(job.url, location, target, &length, ICU_NO_ENCODE)) return false;
    if (isSecure(job.url) && !isSecure(target)) return false;
    copy16(reinterpret_cast<char16_t*>(job.url), FetchUrlCapacity, reinterpret_cast<const char16_t*>(target));
    return true;
}

static DWORD statusOf(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof status;
    DWORD index = 0;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index)) return 0;
    return status;
}

static bool isRedirect(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// One request and what it answers: the body of a 200, a redirect taken (again
// set), or a failure.
static bool fetchOnce(FetchJob& job, HINTERNET internet, bool& again)
{
    again = false;
    HINTERNET session = nullptr;
    HINTERNET request = openRequest(job, internet, job.url, job.deadline, session);
    if (!request) return false;
    bool read = false;
    DWORD status = statusOf(request);
    if (status == 200)
        read = readBody(job, request, job.deadline);
    else if (!isRedirect(status) || !(again = takeRedirect(job, request)))
        job.status = status;
    InternetCloseHandle(request);
    InternetCloseHandle(session);
    return read;
}

// The internet handle is closed by whichever side takes it first: the thread as
// it ends, or the waiting side at the deadline.
static void closeInternet(FetchJob& job)
{
    HINTERNET internet = InterlockedExchangePointer(const_cast<PVOID*>(&job.internet), nullptr);
    if (internet) InternetCloseHandle(internet);
}

static bool fetchAll(FetchJob& job)
{
    const wchar_t* proxy = reinterpret_cast<const wchar_t*>(job.settings.proxy);
    HINTERNET internet = job.settings.useProxy
                             ? InternetOpenW(userAgent, INTERNET_OPEN_TYPE_PROXY, proxy, nullptr, 0)
                             : InternetOpenW(userAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!internet) {
        job.error = GetLastError();
        return false;
    }
    InterlockedExchangePointer(const_cast<PVOID*>(&job.internet), internet);
    if (job.state == FetchAbandoned) closeInternet(job);
    bool again = true;
    bool read = false;
    for (int hop = 0; again && hop <= RedirectLimit; ++hop) read = fetchOnce(job, internet, again);
    if (again) job.error = ERROR_HTTP_REDIRECT_FAILED;  // too many redirects
    return read;
}

static DWORD WINAPI fetchThread(LPVOID parameter)
{
    FetchJob& job = *static_cast<FetchJob*>(parameter);
    HMODULE module = job.module;
    WSADATA socketData;
    bool socketsStarted = WSAStartup(0x0101, &socketData) == 0;
    job.bodyRead = fetchAll(job);
#ifdef VOK_TEST
    if (fetchThreadStall) WaitForSingleObject(fetchThreadStall, INFINITE);
#endif
    closeInternet(job);
    if (socketsStarted) WSACleanup();
    bool inTime = InterlockedCompareExchange(&job.state, FetchFinished, FetchRunning) == FetchRunning;
    InterlockedDecrement(&fetchThreadsRunning);
    if (inTime) SetEvent(job.finished);
    releaseJob(&job);
    FreeLibraryAndExitThread(module, 0);
    return 0;
}

// --- The waiting side ---------------------------------------------------------------

// Runs job's fetch thread and waits for it until its deadline. False when it
// could not start or was given up on.
static bool runFetchThread(FetchJob& job)
{
    job.state = FetchRunning;
    job.references = 2;
    InterlockedIncrement(&fetchThreadsRunning);
    HANDLE thread = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(fetchThread),
                           &job.module))
        thread = CreateThread(nullptr, 0, fetchThread, &job, 0, nullptr);
    if (!thread) {
        if (job.module) FreeLibrary(job.module);
        InterlockedDecrement(&fetchThreadsRunning);
        InterlockedDecrement(&job.references);
        return false;
    }
    CloseHandle(thread);
    WaitForSingleObject(job.finished, timeLeft(job.deadline));
    if (InterlockedCompareExchange(&job.state, FetchAbandoned, FetchRunning) == FetchRunning) {
        // Given up: its handles are closed (on Windows that ends its calls), the
        // thread and its job are left to themselves.
        closeInternet(job);
        return false;
    }
    // It ended in time, perhaps at the last moment: its event comes at once.
    WaitForSingleObject(job.finished, INFINITE);
    return true;
}

// A job for url, or null when there is no room for one.
static FetchJob* newJob(const wchar_t* url, DWORD deadline)
{
    auto* job = static_cast<FetchJob*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FetchJob)));
    if (!job) return nullptr;
    job->finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!job->finished) {
        HeapFree(GetProcessHeap(), 0, job);
        return nullptr;
    }
    job->deadline = deadline;
    copy16(reinterpret_cast<char16_t*>(job->url), FetchUrlCapacity, reinterpret_cast<const char16_t*>(url));
    takeFetchSettings(job->settings);
    job->references = 1;
    return job;
}

// Fetches url, following redirects, and leaves the body of its 200 answer, and
// nothing else, in the document buffer (length bytes; NUL-terminated there). The
// whole fetch ends by deadline, whatever the service does. False, with the
// reason kept for the report, on any other outcome.
bool fetchBody(const wchar_t* url, DWORD deadline, size_t& length)
{
    length = 0;
    lastFailure = FetchFailure{0, 0, fetchThreadsRunning >= HangingFetchLimit};
    if (lastFailure.stillRunning) return false;
    FetchJob* job = newJob(url, deadline);
    if (!job) {
        lastFailure.error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    bool establish = job->settings.establishConnection;

    HANDLE connection = nullptr;
    if (establish) {
        CONNMGR_CONNECTIONINFO request;
        std::memset(&request, 0, sizeof request);
        request.cbSize = 64;
        request.dwParams = CONNMGR_PARAM_GUIDDESTNET;
        request.dwFlags = job->settings.useProxy ? CONNMGR_FLAG_PROXY_HTTP : 0;
        request.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
        request.bExclusive = TRUE;
        request.bDisabled = FALSE;
        // Both results are ignored: the download is tried whether or not a connection came up.
        ConnMgrMapURL(url, &request.guidDestNet, nullptr);
        DWORD status = 0;
        ConnMgrEstablishConnectionSync(&request, &connection, stepLimit(deadline, ConnectionLimitMs, 2), &status);
    }

    bool read = false;
    if (!runFetchThread(*job)) {
        lastFailure.error = ERROR_INTERNET_TIMEOUT;
    } else if (job->bodyRead) {
        length = job->length;
        std::memcpy(documentBuffer.text, job->body, length);
        documentBuffer.text[length] = 0;
        read = true;
    } else {
        lastFailure.error = job->error;
        lastFailure.status = job->status;
    }
    releaseJob(job);

    if (establish) ConnMgrReleaseConnection(connection, 0);
    return read;
}

#ifdef VOK_TEST
bool waitForFetchThread(unsigned long milliseconds)
{
    for (DWORD began = GetTickCount(); fetchThreadsRunning; Sleep(20))
        if (GetTickCount() - began > milliseconds) return false;
    return true;
}
#endif
