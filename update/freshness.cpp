#include "update/freshness.h"

#include <cstring>

#include "data/calendar.h"
#include "data/history.h"
#include "data/settings.h"
#include "update/publication.h"

// Which day the panel shows and whether its rates are current.

// today, shownDay and currentRates are written and read under the history lock,
// so neither thread ever sees them half-written.
static DayCode today;
static DayCode shownDay;
static DayRates currentRates;
// The day on which the bank, asked for that very day, answered: the table it gave
// is the one in force that day, nothing newer exists (a holiday), so until the day
// changes the rates shown are current. Under the history lock too.
static DayCode confirmedCurrentOn;

DayCode todayNow()
{
    lockHistory();
    DayCode day = today;
    unlockHistory();
    return day;
}

bool isTodayOnPanel(const DayCode& day) { return sameDay(day, today); }

void setToday(const DayCode& day)
{
    lockHistory();
    // An answer for the new day itself (asked once that day had begun in Moscow,
    // just before it began here) stands.
    if (!sameDay(day, today) && !sameDay(day, confirmedCurrentOn))
        std::memset(&confirmedCurrentOn, 0, sizeof confirmedCurrentOn);
    today = day;
    unlockHistory();
}


// Whether day has begun in Moscow, where the bank dates its tables. Before that
// (just after midnight east of Moscow, or on a clock that runs fast) the bank's
// answer for day is only the table still in force the day before.
static bool begunInMoscow(const DayCode& day)
{
    LocalTime now{};
    if (schedulePlatform.utcTime)
        schedulePlatform.utcTime(now);
    else if (schedulePlatform.localTime)
        schedulePlatform.localTime(now);
    else
        return true;
    return dayNumber(moscowDay(now)) >= dayNumber(day);
}

// The bank's answer to the request for day: whatever table it gave is current on
// day, once day has begun where the bank is.
void confirmCurrentOn(const DayCode& day)
{
    if (!begunInMoscow(day)) return;
    lockHistory();
    confirmedCurrentOn = day;
    unlockHistory();
}

static bool confirmedCurrentToday(const DayCode& day)
{
    lockHistory();
    bool confirmed = day.day != 0 && sameDay(confirmedCurrentOn, day);
    unlockHistory();
    return confirmed;
}

void readShownRates(DayCode& shown, DayRates& rates)
{
    lockHistory();
    shown = shownDay;
    rates = currentRates;
    unlockHistory();
}

void readPanelDays(DayRates& previous, DayRates& current, DayRates& next)
{
    lockHistory();
    current = currentRates;
    previous = findDayHeld(findLatestBeforeHeld(shownDay));
    next = findDayHeld(findEarliestAfterHeld(shownDay));
    unlockHistory();
}

static bool weekendRuleHolds(const DayCode& day)
{
    uint8_t weekday = DayOfWeek(day);
    if (weekday != 0 && weekday != 1) return false;
    DayCode before = findLatestBefore(day);
    if (before.day == 0) return false;
    uint8_t beforeWeekday = DayOfWeek(before);
    if (beforeWeekday != 6 && beforeWeekday != 0) return false;
    int32_t distance = DayDistance(day, before);
    return (distance < 0 ? -distance : distance) < 5;
}

void evaluateFreshness()
{
    DayCode day = todayNow();
    DayCode shown = findLatestOnOrBefore(day);
    DayRates rates = findDay(shown);
    lockHistory();
    shownDay = shown;
    currentRates = rates;
    // The worker evaluates too: the settings record is read under the lock its
    // writers take.
    bool publicationRule = (settings.updateFlags & UpdateOnPublication) != 0;
    unlockHistory();

    uint8_t state = updateState.load();
    if (state == Fresh || state == Stale) {
        bool current = sameDay(shown, day) || confirmedCurrentToday(day) || weekendRuleHolds(day) ||
                       (publicationRule && publicationCovers(day));
        uint8_t wanted = current ? Fresh : Stale;
        // A worker may have claimed the state meanwhile; never overwrite its claim.
        updateState.compare_exchange_strong(state, wanted);
    }
    redrawFlag = 1;
    invalidatePanel();
}


void resetFreshness()
{
    std::memset(&today, 0, sizeof today);
    std::memset(&shownDay, 0, sizeof shownDay);
    std::memset(&currentRates, 0, sizeof currentRates);
    std::memset(&confirmedCurrentOn, 0, sizeof confirmedCurrentOn);
}
