// The fetch thread's work over WinINet, with Winsock started around it: the
// request with a time limit on each step, redirects followed here, the body of a
// 200 read. Why it runs on a thread of its own, and the side that waits for it:
// update/fetch_win32.cpp.
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <cstring>

#include "platform/testhooks.h"
#include "platform/text16.h"
#include "update/fetch_win32.h"
#include "update/fetchjob_win32.h"

static const wchar_t userAgent[] = L"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.2)";

// Fetched afresh from the service, never kept in the cache, no cookies, no
// dialogs. Redirects are followed here, not by WinINet, so that they count
// against a cap; none of the certificate checks is switched off.
static const DWORD requestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                  INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
// Redirects followed for one download, at most.
static const int RedirectLimit = 5;

#ifdef VOK_TEST
HANDLE fetchThreadStall;
#endif

static void setLimit(HINTERNET handle, DWORD option, DWORD milliseconds)
{
    InternetSetOptionW(handle, option, &milliseconds, sizeof milliseconds);
}

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
void closeInternet(FetchJob& job)
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

DWORD WINAPI fetchThread(LPVOID parameter)
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
