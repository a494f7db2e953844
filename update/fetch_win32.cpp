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
//
// Here the job and the waiting side; what the fetch thread does, in
// update/fetchthread_win32.cpp.
#include <windows.h>

#include <cstring>

#include "platform/connmgr.h"
#include "platform/testhooks.h"
#include "platform/text16.h"
#include "update/document.h"
#include "update/fetch_win32.h"
#include "update/fetchjob_win32.h"
#include "update/ratesreader.h"
#include "update/schedule_win32.h"

static_assert(DocumentLimit + 1 == RootContentCapacity, "the reader holds any document the download accepts");

#ifdef VOK_TEST
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
DWORD stepLimit(DWORD deadline, unsigned long maximum, unsigned share)
{
    unsigned long scaled = maximum * updateLimit() / UpdateLimitMs;
    DWORD left = timeLeft(deadline) / share;
    DWORD limit = left < scaled ? left : static_cast<DWORD>(scaled);
    return limit ? limit : 1;
}

// Fetch threads from their start until they end, given up on or not.
volatile LONG fetchThreadsRunning;

FetchFailure lastFailure;

// One buffer for every download's document, daily or range. Only one update
// worker (or fill) runs at a time; a fetch that ends in time hands its body over
// here, and nothing else writes it.
DocumentBuffer documentBuffer;

// Fetch threads given up on that may still run at once; past them a fetch fails
// at once.
static const LONG HangingFetchLimit = 2;

void releaseJob(FetchJob* job)
{
    if (InterlockedDecrement(&job->references) != 0) return;
    CloseHandle(job->finished);
    HeapFree(GetProcessHeap(), 0, job);
}

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
