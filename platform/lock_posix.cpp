#include <mutex>
#include <new>

#include "platform/lock.h"

static_assert(sizeof(std::mutex) <= sizeof(PlatformLock::storage), "mutex fits the lock storage");

static std::mutex* asMutex(PlatformLock& lock) { return std::launder(reinterpret_cast<std::mutex*>(lock.storage)); }

void createLock(PlatformLock& lock) { new (lock.storage) std::mutex(); }
void deleteLock(PlatformLock& lock) { asMutex(lock)->~mutex(); }
void enterLock(PlatformLock& lock) { asMutex(lock)->lock(); }
void leaveLock(PlatformLock& lock) { asMutex(lock)->unlock(); }
