// How the data files stand against memory: what the history and settings modules
// note and the panel's tick reads.
#pragma once
#include <atomic>
#include <cstdint>

// How the files lag behind memory, a bit each: a file that was there but could
// not be read (never written over until read), a save that is due, a history
// store whose length is a guess; the limits file's lag, either kind, in one bit
// (data/limits.cpp keeps which). One atomic byte, so that the quiet tick reads
// it once, takes no lock and touches no file.
enum FileLagBits : uint8_t {
    HistoryUnread = 1, CompanionUnread = 2, HistoryUnsaved = 4, CompanionUnsaved = 8, CapacityGuessed = 16,
    HistoryLags = 31, SettingsUnread = 32, SettingsUnsaved = 64, LimitsLag = 128,
};
inline std::atomic<uint8_t> fileLag{0};
inline bool lagging(uint8_t bits) { return (fileLag.load(std::memory_order_acquire) & bits) != 0; }
inline void setLag(uint8_t bits, bool on)
{
    if (on)
        fileLag.fetch_or(bits);
    else
        fileLag.fetch_and(uint8_t(~bits));
}

