#include "platform/connmgr.h"
#include "platform/testhooks.h"

#include <cstring>

// {436EF144-B4FB-4863-A041-8F905A62C572}, the device's "The Internet" network.
const GUID connMgrInternetNet = {0x436ef144, 0xb4fb, 0x4863, {0xa0, 0x41, 0x8f, 0x90, 0x5a, 0x62, 0xc5, 0x72}};

// Handles given out and not yet released. One update worker at a time uses
// the connection manager, so a handful of slots is plenty.
constexpr int ConnectionSlots = 8;
static bool connectionOpen[ConnectionSlots];
static int nextConnection;

static HANDLE handleOfSlot(int slot) { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7c00 + slot)); }

#ifdef VOK_TEST
ConnMgrLog connMgrLog;

void resetConnMgrLog()
{
    std::memset(&connMgrLog, 0, sizeof connMgrLog);
    std::memset(connectionOpen, 0, sizeof connectionOpen);
}

#define LOG_CALL(statement) statement
#else
#define LOG_CALL(statement) static_cast<void>(0)
#endif

HRESULT ConnMgrMapURL(LPCWSTR pwszURL, GUID* pguid, DWORD* pdwIndex)
{
    LOG_CALL(++connMgrLog.mapCalls);
    if (!pwszURL || !pguid) return E_INVALIDARG;
    LOG_CALL(lstrcpynW(connMgrLog.lastMappedUrl, pwszURL, 256));
    *pguid = connMgrInternetNet;
    if (pdwIndex) *pdwIndex = 0;
    return S_OK;
}

HRESULT ConnMgrEstablishConnectionSync(CONNMGR_CONNECTIONINFO* pConnInfo, HANDLE* phConnection, [[maybe_unused]] DWORD dwTimeout,
                                       DWORD* pdwStatus)
{
    LOG_CALL(++connMgrLog.establishCalls);
    if (!pConnInfo || !phConnection) return E_INVALIDARG;
    LOG_CALL(connMgrLog.lastRequest = *pConnInfo);
    LOG_CALL(connMgrLog.lastTimeout = dwTimeout);
    *phConnection = nullptr;
    int slot = -1;
    for (int i = 0; i < ConnectionSlots && slot < 0; ++i) {
        int candidate = (nextConnection + i) % ConnectionSlots;
        if (!connectionOpen[candidate]) slot = candidate;
    }
    if (slot < 0) return E_OUTOFMEMORY;
    nextConnection = (slot + 1) % ConnectionSlots;
    connectionOpen[slot] = true;
    LOG_CALL(++connMgrLog.openConnections);
    *phConnection = handleOfSlot(slot);
    if (pdwStatus) *pdwStatus = CONNMGR_STATUS_CONNECTED;
    return S_OK;
}

HRESULT ConnMgrReleaseConnection(HANDLE hConnection, [[maybe_unused]] LONG lCache)
{
    LOG_CALL(++connMgrLog.releaseCalls);
    LOG_CALL(connMgrLog.lastCache = lCache);
    for (int slot = 0; slot < ConnectionSlots; ++slot) {
        if (handleOfSlot(slot) == hConnection && connectionOpen[slot]) {
            connectionOpen[slot] = false;
            LOG_CALL(--connMgrLog.openConnections);
            return S_OK;
        }
    }
    LOG_CALL(++connMgrLog.badReleases);
    return E_INVALIDARG;
}
