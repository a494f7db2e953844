#include <windows.h>

#include "platform/lock.h"

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(PlatformLock::storage), "critical section fits the lock storage");

static CRITICAL_SECTION* asSection(PlatformLock& lock) { return reinterpret_cast<CRITICAL_SECTION*>(lock.storage); }

void createLock(PlatformLock& lock) { InitializeCriticalSection(asSection(lock)); }
void deleteLock(PlatformLock& lock) { DeleteCriticalSection(asSection(lock)); }
void enterLock(PlatformLock& lock) { EnterCriticalSection(asSection(lock)); }
void leaveLock(PlatformLock& lock) { LeaveCriticalSection(asSection(lock)); }
