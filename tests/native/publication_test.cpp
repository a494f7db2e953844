// The rule "after the bank publishes" on a scripted Moscow clock and a scripted
// bank: a working day, a weekend, a weekday holiday and a late publication.
#include "testutil.h"

#include "data/calendar.h"

namespace {

// The bank: tables (their day and Moscow minute stamp of publication); the
// device's clock in minutes since the first day's Moscow midnight, in Moscow.
struct Published {
    DayCode dated;
    int64_t at;
};
std::vector<Published> bank;
int64_t clockMinute;
int requests;
std::vector<std::pair<DayCode, int64_t>> arrivals;  // each table's first storing
const DayCode firstDay = makeDayCode(7, 12, 2026);  // a Monday

LocalTime at(int64_t minute)
{
    DayCode d = dayFromNumber(dayNumber(firstDay) + int32_t(minute / 1440));
    return LocalTime{yearOf(d), d.month, d.day, int(minute % 1440 / 60), int(minute % 60)};
}

// The table of day number n is out on the day before at hh:mm Moscow time.
void publish(int32_t n, int hh, int mm)
{
    int64_t day = n - dayNumber(firstDay);
    bank.push_back({dayFromNumber(n), (day - 1) * 1440 + hh * 60 + mm});
}

bool answer(bool latest, const DayCode& day)
{
    ++requests;
    DayCode best{0, 0, 0};
    for (const Published& p : bank)
        if (p.at <= clockMinute && (latest || dateOrder(p.dated) <= dateOrder(day))) best = p.dated;
    if (best.day == 0) return false;
    if (findDay(best).code.day == 0) arrivals.push_back({best, clockMinute});
    storeDay(dayRecord(best.day, best.month, yearOf(best), 90.0f + best.day));
    return true;
}

// Minutes of Moscow time, 30 ticks each; how many of them the icon was Stale.
int runUntil(int64_t minute)
{
    int stale = 0;
    for (; clockMinute < minute; ++clockMinute) {
        tick(30);
        stale += updateState.load() == Stale;
    }
    return stale;
}

struct Publication : ::testing::Test {
    ScriptedSchedule run;
    void SetUp() override
    {
        settings.updateFlags = UpdateOnPublication | UpdateOnConnect;
        bank.clear();
        arrivals.clear();
        requests = 0;
        clockMinute = 0;
        schedulePlatform.utcTime = [](LocalTime& t) { t = at(clockMinute - 180); };
        schedulePlatform.localTime = [](LocalTime& t) { t = at(clockMinute); };  // the device in Moscow
        schedulePlatform.download = answer;
        schedulePlatform.sleepMs = nullptr;
        // A table dated each Tuesday to Saturday, out the day before at 15:45.
        for (int32_t n = dayNumber(firstDay) - 3; n <= dayNumber(firstDay) + 12; ++n) {
            uint8_t weekday = DayOfWeek(dayFromNumber(n - 1));
            if (weekday != 0 && weekday != 6) publish(n, 15, 45);
        }
    }
    int32_t day(int offset) { return dayNumber(firstDay) + offset; }
};

}  // namespace

TEST_F(Publication, AsksWhenTheBankPublishesAndNotOtherwise)
{
    storeDay(dayRecord(5, 12, 2026, 95.0f));  // Saturday's table
    const struct {
        const char* what;
        int untilDay, untilHour;  // run the clock on to then
        int holidayOffset;        // a weekday whose publication does not happen (-1 none)
        int lateOffset;           // a weekday whose table is out at 18:00 (-1 none)
        int requestsAtMost;
        int staleMinutesAtMost;
        int newestOffset;  // the newest table held at the end (days from the first)
    } cases[] = {
        {"Monday to Wednesday", 2, 17, -1, -1, 6, 0, 3},
        {"a weekday holiday", 3, 23, 3, -1, 5, 0, 3},
        {"Friday to Tuesday", 8, 17, -1, -1, 4, 0, 9},
        {"a late day", 9, 23, -1, 9, 5, 0, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (Published& p : bank) {
            int offset = dayNumber(p.dated) - dayNumber(firstDay) - 1;
            if (offset == c.holidayOffset) p.at = 1 << 30;
            if (offset == c.lateOffset) p.at = int64_t(offset) * 1440 + 18 * 60;
        }
        int before = requests;
        int stale = runUntil(int64_t(c.untilDay) * 1440 + c.untilHour * 60);
        EXPECT_LE(requests - before, c.requestsAtMost);
        EXPECT_LE(stale, c.staleMinutesAtMost);
        EXPECT_EQ(dayNumber(newestStoredDay()), day(c.newestOffset));
    }
    // Every table came within half an hour of its publication, the late one too.
    // The Friday before the stored Saturday (the first run asks for it), Tuesday to
    // Thursday, Saturday, Tuesday to Thursday.
    ASSERT_EQ(arrivals.size(), 8u);
    for (const auto& [dated, minute] : arrivals)
        for (const Published& p : bank)
            if (sameDay(p.dated, dated) && p.at >= 0) EXPECT_LE(minute - p.at, 30) << int(dated.day);
}
