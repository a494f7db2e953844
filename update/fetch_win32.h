// The fetch over WinINet, shared by the daily and the range downloads.
#pragma once
#include <windows.h>

#include <cstddef>

#include "update/download.h"

// One buffer for every download's document, daily or range, and its NUL.
struct DocumentBuffer {
    char text[DocumentLimit + 1];
};
extern DocumentBuffer documentBuffer;

// Why the last fetch failed: WinINet's error, the final HTTP status when it was no
// 200, or a fetch thread given up on that still runs.
struct FetchFailure {
    DWORD error;
    DWORD status;
    bool stillRunning;
};
extern FetchFailure lastFailure;

// The update's time limit (shortened in the test build), and what is left of it.
unsigned long updateLimit();
DWORD timeLeft(DWORD deadline);

// Fetches url, following redirects, and leaves the body of its 200 answer, and
// nothing else, in the document buffer (length bytes; NUL-terminated there). The
// whole fetch ends by deadline, whatever the service does. False, with the
// reason in lastFailure, on any other outcome.
bool fetchBody(const wchar_t* url, DWORD deadline, size_t& length);
