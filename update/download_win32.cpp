// The downloads of the update and the fill: each request's URL, its deadline
// within the update's time, the fetch (update/fetch_win32.cpp), and what became
// of it, stored and told.
#include <windows.h>
#include <wininet.h>

#include "data/numbertext.h"
#include "platform/text16.h"
#include "update/document.h"
#include "update/download.h"
#include "update/fetch_win32.h"
#include "update/ratesurl.h"

// The end of the running update's time, as GetTickCount counts.
static DWORD runDeadline;
static bool runBegun;

void beginUpdateRun()
{
    runDeadline = GetTickCount() + updateLimit();
    runBegun = true;
}

void endUpdateRun() { runBegun = false; }

static void appendNumber(char* out, size_t capacity, size_t& at, int32_t value, int width)
{
    char number[16];
    formatWhole(number, sizeof number, value, width);
    appendText(out, capacity, at, number);
}

static void appendWinInetError(char* line, size_t capacity, size_t& at, DWORD error)
{
    appendText(line, capacity, at, "the rates service could not be reached: WinINet error ");
    appendNumber(line, capacity, at, static_cast<int32_t>(error), 0);
    char reason[128] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  GetModuleHandleW(L"wininet.dll"), error, 0, reason, sizeof reason, nullptr);
    while (length > 0 && (reason[length - 1] == '\n' || reason[length - 1] == '\r' || reason[length - 1] == '.'))
        reason[--length] = 0;
    if (length > 0) {
        appendText(line, capacity, at, ": ");
        appendText(line, capacity, at, reason);
    }
}

// Each download's outcome goes to the debugger output as one line: the day
// stored, or why not. Nothing else is told: the icon shows it.
static void reportDownload(const DayCode* stored)
{
    char line[256];
    size_t at = 0;
    appendText(line, sizeof line, at, "vokCurrency: ");
    if (stored) {
        appendText(line, sizeof line, at, "stored the rates of ");
        appendNumber(line, sizeof line, at, stored->day, 2);
        appendText(line, sizeof line, at, ".");
        appendNumber(line, sizeof line, at, stored->month, 2);
        appendText(line, sizeof line, at, ".");
        appendNumber(line, sizeof line, at, yearOf(*stored), 4);
    } else if (lastFailure.stillRunning) {
        appendText(line, sizeof line, at, "earlier requests to the rates service have not ended yet");
    } else if (lastFailure.status) {
        appendText(line, sizeof line, at, "the rates service answered with HTTP status ");
        appendNumber(line, sizeof line, at, static_cast<int32_t>(lastFailure.status), 0);
    } else if (lastFailure.error) {
        appendWinInetError(line, sizeof line, at, lastFailure.error);
    } else {
        appendText(line, sizeof line, at, "the rates service's answer was no whole daily-rates document");
    }
    appendText(line, sizeof line, at, "\n");
    OutputDebugStringA(line);
}

// The deadline of a download: the running update's, or a whole limit of its own.
// False with less than a fifth of the update's time left: it is not begun.
static bool downloadDeadline(DWORD& deadline)
{
    deadline = runBegun ? runDeadline : GetTickCount() + updateLimit();
    return timeLeft(deadline) >= updateLimit() / 5;
}

bool downloadRates(bool latest, const DayCode& day)
{
    DWORD deadline;
    if (!downloadDeadline(deadline)) return false;
    char16_t url[RatesUrlCapacity];  // on the stack: a fetch thread given up on may still write the buffer
    if (!buildRatesUrl(url, RatesUrlCapacity, latest, day)) return false;
    size_t length = 0;
    DayCode stored;
    bool result = fetchBody(reinterpret_cast<const wchar_t*>(url), deadline, length) &&
                  storeReceivedDocument(documentBuffer.text, length, stored);
    reportDownload(result ? &stored : nullptr);
    return result;
}

bool fetchDocument(const char16_t* url, char*& body, size_t& length)
{
    body = nullptr;
    DWORD deadline;
    if (!downloadDeadline(deadline)) return false;
    // A body that fills the buffer was not read to its end.
    if (!fetchBody(reinterpret_cast<const wchar_t*>(url), deadline, length) || length == 0 || length >= DocumentLimit) {
        reportDownload(nullptr);
        return false;
    }
    body = documentBuffer.text;
    return true;
}
