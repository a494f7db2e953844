// Keeping the settings and history files in step with memory. After a save that
// failed, or a file that was there but could not be read (another program held
// it), the panel's ticks try again with growing waits: the next tick, then about
// 6 s, 16 s, and every minute after that.
#pragma once
#include "data/filelag.h"

// Whether every file holds what memory holds, nothing waiting to be read or written.
inline bool filesHoldMemory() { return fileLag.load(std::memory_order_acquire) == 0; }
// One tick of the panel. True when the settings file or the limits file, read at
// last, replaced what memory held (the panel then lays itself out again).
bool keepFilesTick();
// The last try when the module is unloaded: every file that lags, at once.
void keepFilesLastTry();
// Back to the state at module load.
void resetFileKeeping();
