#include "data/keepfiles.h"

#include <cstdint>
#include <cstring>

#include "data/history.h"
#include "data/limits.h"
#include "data/settings.h"

// Ticks left before the next try, and how far the waits have grown. The panel's
// thread alone keeps them.
static int32_t waitTicks;
static int waitStep;

// The settings first: they give the history's length, which a guessed store waits for.
static bool catchUp()
{
    static Settings before;
    static ItemLimits limitsBefore[ItemSlots];
    before = settings;
    std::memcpy(limitsBefore, itemLimits, sizeof limitsBefore);
    bool settingsRead = readSettingsIfUnread();
    if (settingsRead) settleHistoryCapacity(settings.historyLength);
    saveSettingsIfUnsaved();
    saveHistoryIfUnsaved();
    saveLimitsIfUnsaved();
    return (settingsRead && std::memcmp(&before, &settings, sizeof before) != 0) ||
           std::memcmp(limitsBefore, itemLimits, sizeof limitsBefore) != 0;
}

bool keepFilesTick()
{
    if (filesHoldMemory()) return false;
    if (waitTicks > 0) {
        --waitTicks;
        return false;
    }
    static const int32_t waits[] = {0, 2, 7, 29};
    bool replaced = catchUp();
    if (filesHoldMemory()) {
        resetFileKeeping();
    } else {
        waitTicks = waits[waitStep];
        if (waitStep < 3) ++waitStep;
    }
    return replaced;
}

void keepFilesLastTry()
{
    if (!filesHoldMemory()) catchUp();
}

void resetFileKeeping()
{
    waitTicks = 0;
    waitStep = 0;
}
