// The lock seam: one critical section, held in static storage.
// A CRITICAL_SECTION on Win32, a std::mutex natively.
#pragma once

struct PlatformLock {
    alignas(16) unsigned char storage[64];
};

void createLock(PlatformLock& lock);
void deleteLock(PlatformLock& lock);
void enterLock(PlatformLock& lock);
void leaveLock(PlatformLock& lock);
