// Test hooks: failure injection, counters, forced gestures and replaceable calls.
// They exist only in the test build of the libraries (VOK_TEST defined), which the
// native and Wine tests link; the shipped DLL has none of them. Code that feeds a
// hook does so inside #ifdef VOK_TEST.
#pragma once
#ifdef VOK_TEST

#include <atomic>

// Every open of a file through the file seam counts here (tests check that a
// clock tick or a paint touches no file). The worker and the panel both open files.
extern std::atomic<long> fileAccessCount;
// While set, every file that exists and whose name ends so (u"" for all) reads as
// one another program holds unshared (the native seam; under Wine a test holds
// the file itself).
extern std::atomic<const char16_t*> fileReadsRefusedFor;

// When at least 0, writes fail once this many bytes of an image have been written
// (a full disk or a cut write half-way). -1 switches it off.
extern long fileWriteFailAfter;

// The history fill's request spacing in ms in place of the built second (0: as built).
extern unsigned long fillSpacingOverrideMs;

#ifdef _WIN32
#include <windows.h>
#include <commdlg.h>

#include "platform/connmgr.h"

// What the connection manager stand-in was asked since the last reset.
struct ConnMgrLog {
    int mapCalls;
    int establishCalls;
    int releaseCalls;
    int badReleases;      // handles that were never given out, or released twice
    int openConnections;  // established and not yet released
    WCHAR lastMappedUrl[256];
    CONNMGR_CONNECTIONINFO lastRequest;
    DWORD lastTimeout;
    LONG lastCache;
};
extern ConnMgrLog connMgrLog;
// Clears the log and forgets every connection handed out.
void resetConnMgrLog();

// Makes the next SHRecognizeGesture call answer gesture at once (0 cancels).
void shellForceNextGesture(DWORD gesture);
// The last soft-keyboard state SHSipPreference accepted; SIP_UNCHANGED before the first.
int shellLastSipPreference();

// While not 0, a menu-bar drop-down opens no menu: it answers this command at once
// when its menu holds it (else nothing), and records the menu's first 8 commands.
extern UINT shellPopupAnswer;
extern UINT shellLastPopupItems[8];

// While set, the history dialog can't have its row index, as when memory runs
// out: it then ends at once with 0.
extern bool historyRowsUnavailable;

// The update's time limit in ms in place of the built minute (0: as built); every
// other limit of the download shrinks to fit in it.
extern unsigned long updateLimitOverrideMs;
// While set, each fetch thread waits for this event before it ends, as a WinINet
// call that never returns would keep it.
extern HANDLE fetchThreadStall;
// Waits at most milliseconds for the fetch threads that were given up on to end;
// true when none runs.
bool waitForFetchThread(unsigned long milliseconds);

// The colour chooser the item editor calls; ChooseColorW unless a test puts its own here.
extern BOOL(WINAPI* chooseColourCall)(LPCHOOSECOLORW);
#endif  // _WIN32

#endif  // VOK_TEST
