#include "update/publication.h"

#include <atomic>

#include "data/calendar.h"
#include "data/history.h"
#include "update/clock.h"

// The last day the held tables are known to cover (a day number; 0: none). Read
// by the worker's evaluation too.
static std::atomic<int32_t> coveredThrough{0};

// The bank's minute as learned: the table was not there at low and was there at
// high (minutes of the Moscow day). Until a first table has come, 15:30 to 16:00.
static int low = PublicationFrom - 1, high = 16 * 60;
static bool learned;

// The rule's own record: the last minute stamp it worked on (Moscow day number
// times 1440 plus the minute), whether a run it started has yet to be judged, the
// Moscow day whose start it checked and the stamp its request there is due at
// (-1: none) with its failures so far, the Moscow day whose afternoon it asks
// on, when the next ask is due, and what the asks so far found.
static int64_t lastStamp = -1;
static bool awaiting;
static RunKind awaitedKind;
static int32_t checkedDay = -1;
static int64_t datedDue = -1;
static int datedFails;
static int32_t afternoonDay = -1;
static int nextAsk, asks, lateFails, lastAsk, lastFail;
static bool afternoonDone;

void resetPublicationRule()
{
    coveredThrough = 0;
    low = PublicationFrom - 1, high = 16 * 60;
    learned = false;
    lastStamp = -1;
    awaiting = false;
    checkedDay = afternoonDay = -1;
    datedDue = -1;
    datedFails = 0;
    afternoonDone = false;
}

// A table is never dated a Sunday or a Monday: what covers the day before them
// covers them too.
static int32_t extendOverWeekend(int32_t number)
{
    for (;;) {
        uint8_t weekday = DayOfWeek(dayFromNumber(number + 1));
        if (weekday != 0 && weekday != 1) return number;
        ++number;
    }
}

// The held tables cover the days through number (and a weekend after it); true
// when that is news.
static bool cover(int32_t number)
{
    number = extendOverWeekend(number);
    if (number <= coveredThrough.load()) return false;
    coveredThrough = number;
    return true;
}

void notePublicationAnswer(const DayCode& day) { cover(dayNumber(day)); }

bool publicationCovers(const DayCode& day) { return day.day != 0 && coveredThrough.load() >= dayNumber(day); }

static bool covered(int32_t day, int32_t newest)
{
    return coveredThrough.load() >= day || (newest > 0 && extendOverWeekend(newest) >= day);
}

// The first ask of an afternoon: halfway into the gap while it is wide, else the
// minute the table was there by.
static int firstAsk() { return high - low > 2 ? (low + high + 1) / 2 : high; }

// After an ask at minute found no new table: the next ask's minute, or -1 when
// the day is taken to have published nothing. A probe below the learned minute is
// followed by the learned minute; after it come waits of 10, 60 and 90 minutes
// (a late day still gets its table), then the day is over. Before a first table
// has come the asks go on at 10, 20, then every 30 minutes until 21:00.
static int askAfterFailure(int minute)
{
    lastFail = minute;
    if (learned && minute < high) return high;
    ++lateFails;
    if (learned) {
        static const int waits[] = {10, 60, 90};
        return lateFails <= 3 ? minute + waits[lateFails - 1] : -1;
    }
    int next = minute + (lateFails < 3 ? 10 * lateFails : 30);
    return next <= 21 * 60 ? next : -1;
}

// The afternoon's ask at lastAsk brought the next table: what it tells of the
// bank's minute. One far later than the learned minute is a late day, not a new
// minute.
static void learnArrival()
{
    if (asks == 1) {
        if (lastAsk < high) high = lastAsk;
    } else if (!learned || lastAsk <= high + 30) {
        low = lastFail;
        high = lastAsk;
    }
    learned = true;
}

// What the run the rule started came to, once it has ended.
static bool (*startRun)(RunKind kind, const DayCode& day);
static bool coverageGrew;

static void judgeRun(int32_t day, int minute, int32_t newest)
{
    awaiting = false;
    if (awaitedKind == RunDated) {
        if (covered(day, newest)) {
            datedDue = -1;
        } else {
            static const int waits[] = {2, 5, 15, 30, 60};
            datedDue = int64_t(day) * 1440 + minute + waits[datedFails < 4 ? datedFails : 4];
            ++datedFails;
        }
        return;
    }
    if (newest > afternoonDay) {
        learnArrival();
        afternoonDone = true;
        return;
    }
    nextAsk = askAfterFailure(lastAsk);
    if (nextAsk < 0) {
        afternoonDone = true;
        coverageGrew = cover(afternoonDay + 1);  // nothing published: the held table covers tomorrow
    }
}

static bool start(RunKind kind, int32_t day)
{
    if (!startRun(kind, dayFromNumber(day))) return false;
    awaiting = true;
    awaitedKind = kind;
    return true;
}

// The start of a Moscow day (or of the module) that the held tables do not
// cover: one request for that day, tried again at growing waits on failure.
static bool serveDayStart(int32_t day, int64_t stamp, int32_t newest)
{
    if (day != checkedDay) {
        checkedDay = day;
        datedFails = 0;
        datedDue = covered(day, newest) ? -1 : stamp;
    }
    if (datedDue < 0 || stamp < datedDue) return false;
    if (covered(day, newest)) {
        datedDue = -1;
        return false;
    }
    return start(RunDated, day);
}

// Monday to Friday from 15:30, until the next table has come.
static void serveAfternoon(int32_t day, int minute, int32_t newest)
{
    uint8_t weekday = DayOfWeek(dayFromNumber(day));
    if (weekday == 0 || weekday == 6 || minute < PublicationFrom) return;
    if (afternoonDay != day) {
        afternoonDay = day;
        afternoonDone = newest > day;
        asks = lateFails = 0;
        nextAsk = firstAsk() > PublicationFrom ? firstAsk() : PublicationFrom;
    }
    if (afternoonDone || newest > day || minute < nextAsk) return;
    if (!start(RunLatest, day)) return;
    ++asks;
    lastAsk = minute;
}

bool servePublicationRule(bool (*start)(RunKind kind, const DayCode& day), bool workerRunning)
{
    startRun = start;
    coverageGrew = false;
    LocalTime utc{};
    if (schedulePlatform.utcTime)
        schedulePlatform.utcTime(utc);
    else if (schedulePlatform.localTime)
        schedulePlatform.localTime(utc);
    DayCode moscow = moscowDay(utc);
    if (moscow.day == 0) return false;
    int32_t day = dayNumber(moscow);
    int minute = (utc.hour + 3) % 24 * 60 + utc.minute;
    int64_t stamp = int64_t(day) * 1440 + minute;
    if (stamp == lastStamp) return false;  // one look a minute
    if (awaiting && workerRunning) return false;
    lastStamp = stamp;
    DayCode newestDay = newestStoredDay();
    int32_t newest = newestDay.day != 0 ? dayNumber(newestDay) : 0;
    if (awaiting) judgeRun(day, minute, newest);
    if (!serveDayStart(day, stamp, newest)) serveAfternoon(day, minute, newest);
    return coverageGrew;
}
