#include "update/clock.h"

#include "data/calendar.h"

SchedulePlatform schedulePlatform;
std::atomic<uint8_t> updateState{Fresh};
std::atomic<uint8_t> redrawFlag{1};

DayCode moscowDay(const LocalTime& utc)
{
    DayCode day = makeDayCode(utc.day, utc.month, utc.year);
    if (utc.hour < 21) return day;
    return dayFromNumber(dayNumber(day) + 1);
}

void invalidatePanel()
{
    if (schedulePlatform.invalidate) schedulePlatform.invalidate();
}
