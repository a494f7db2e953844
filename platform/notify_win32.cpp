// The shell's notifications on the desktop: handed to the Today host that holds
// the sink window (see platform/notify.h).
#include "platform/notify.h"


// The host found when a notification was added: its removal goes to the same one.
static HWND lastHost;

static LRESULT sendToHost(HWND host, ULONG_PTR kind, const NotificationMessage& message)
{
    if (!host || !IsWindow(host)) return ERROR_INVALID_WINDOW_HANDLE;
    COPYDATASTRUCT copy = {kind, sizeof message, const_cast<NotificationMessage*>(&message)};
    DWORD_PTR answer = 0;
    // Bounded: a host that hangs never holds the panel.
    if (!SendMessageTimeoutW(host, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG, 2000, &answer) ||
        answer == 0)
        return ERROR_NOT_SUPPORTED;
    return ERROR_SUCCESS;
}

static void copyText(wchar_t* out, size_t capacity, LPCWSTR text)
{
    size_t n = 0;
    for (; text && text[n] && n + 1 < capacity; ++n) out[n] = text[n];
    out[n] = 0;
}

LRESULT SHNotificationAdd(SHNOTIFICATIONDATA* data)
{
    if (!data || data->cbStruct < sizeof(SHNOTIFICATIONDATA)) return ERROR_INVALID_PARAMETER;
    NotificationMessage message = {};
    message.id = data->dwID;
    message.seconds = data->csDuration;
    copyText(message.title, 64, data->pszTitle);
    copyText(message.text, 192, data->pszHTML);
    lastHost = data->hwndSink ? GetAncestor(data->hwndSink, GA_ROOT) : nullptr;
    return sendToHost(lastHost, NotificationAddData, message);
}

LRESULT SHNotificationRemove(const CLSID* clsid, DWORD dwID)
{
    if (!clsid) return ERROR_INVALID_PARAMETER;
    NotificationMessage message = {};
    message.id = dwID;
    return sendToHost(lastHost, NotificationRemoveData, message);
}
