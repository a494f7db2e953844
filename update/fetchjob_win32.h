// One fetch's job: what the waiting side (update/fetch_win32.cpp) gives the fetch
// thread (update/fetchthread_win32.cpp), and what the thread hands back.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <cstddef>

#include "update/document.h"
#include "update/download.h"

// Room for a redirect's target.
constexpr size_t FetchUrlCapacity = 1024;

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
extern volatile LONG fetchThreadsRunning;

// Lets go of one side's reference to job; the last to let go frees it.
void releaseJob(FetchJob* job);
// The internet handle is closed by whichever side takes it first: the thread as
// it ends, or the waiting side at the deadline.
void closeInternet(FetchJob& job);

// A limit for one step: never above its own maximum nor past the deadline. The
// maximum scales with a shortened update limit.
DWORD stepLimit(DWORD deadline, unsigned long maximum, unsigned share);

// The fetch thread: job's request, its redirects and its body, then the job
// handed back (or, given up on, let go of) and the module reference given back
// as the thread ends (FreeLibraryAndExitThread).
DWORD WINAPI fetchThread(LPVOID parameter);
