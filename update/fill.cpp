#include "update/fill.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "data/calendar.h"
#include "data/history.h"
#include "data/settings.h"
#include "platform/testhooks.h"
#include "update/ratesreader.h"
#include "update/ratesurl.h"
#include "update/schedule.h"

static std::atomic<uint8_t> outcome{FillIdle};
static std::atomic<bool> stopWanted{false};
static std::atomic<int32_t> requests{0};
static std::atomic<int32_t> planned{0};
// When the last request started, on the platform's clock; none yet in this fill.
static uint32_t lastRequest;
static bool anyRequest;

#ifdef VOK_TEST
unsigned long fillSpacingOverrideMs = 0;
static uint32_t spacing() { return fillSpacingOverrideMs ? uint32_t(fillSpacingOverrideMs) : FillSpacingMs; }
#else
static uint32_t spacing() { return FillSpacingMs; }
#endif

bool startFill()
{
    if (!history.records || outcome.load() == FillRunning) return false;
    if (!claimWorker(WorkerFill)) return false;
    stopWanted = false;
    requests = 0;
    planned = 0;
    outcome = FillRunning;
    if (!schedulePlatform.startFillThread || !schedulePlatform.startFillThread()) {
        outcome = FillIdle;
        releaseWorker();
        return false;
    }
    return true;
}

void stopFill() { stopWanted = true; }
bool fillRunning() { return outcome.load() == FillRunning; }
FillOutcome fillOutcome() { return FillOutcome(outcome.load()); }
int32_t fillRequests() { return requests.load(); }

int32_t fillPlannedRequests()
{
    int32_t made = requests.load(), expected = planned.load();
    return expected > made ? expected : made;
}

static uint32_t now() { return schedulePlatform.tickCount ? schedulePlatform.tickCount() : 0; }

// Waits until the spacing since the last request has passed, in short steps so
// that a stop is noticed, and counts the request about to be made; false when
// stopped.
static bool nextRequest()
{
    while (anyRequest) {
        if (stopWanted.load()) return false;
        uint32_t elapsed = now() - lastRequest;
        if (elapsed >= spacing()) break;
        uint32_t step = spacing() - elapsed;
        if (step > 100) step = 100;
        if (!schedulePlatform.sleepMs) break;
        schedulePlatform.sleepMs(int(step));
    }
    if (stopWanted.load()) return false;
    anyRequest = true;
    lastRequest = now();
    ++requests;
    return true;
}

// What a part of the fill came to: done (the outcome is set), or the range
// service can't be used and the days are to be fetched one at a time.
enum class RangeResult { Done, UseDays };

// One currency over [first, first + span) into days; false when the range
// service failed or gave no range document.
static bool fetchRange(int currency, int32_t first, int32_t span, DayRates* days)
{
    char16_t url[RatesUrlCapacity];
    const char* id = currencyId(currency);
    if (!buildRangeUrl(url, RatesUrlCapacity, id, dayFromNumber(first), dayFromNumber(first + span - 1)))
        return false;
    char* body = nullptr;
    size_t length = 0;
    if (!schedulePlatform.fetchDocument(url, body, length) || !body) return false;
    return parseRangeRates(body, length, currency, id, first, days, span) >= 0;
}

// The days found, stored with one write; how many there were. Newest first, so
// that a store that fills up refuses the older ones rather than shifting for them.
// Each found rate is laid over its stored day; with onlyStored set a day the store
// lacks is left out (a range over the stored days also brings the days between
// them that the store never had, and a full store would give up its oldest for them).
static int32_t storeFound(DayRates* days, int32_t span, bool onlyStored)
{
    int32_t found = 0;
    if (onlyStored) lockHistory();
    for (int32_t k = 0; k < span; ++k)
        if (days[k].code.day != 0 && (!onlyStored || findDayHeld(days[k].code).code.day != 0)) days[found++] = days[k];
    if (onlyStored) unlockHistory();
    for (int32_t i = 0, j = found - 1; i < j; ++i, --j) {
        DayRates newer = days[j];
        days[j] = days[i];
        days[i] = newer;
    }
    mergeDays(days, found);
    return found;
}

// The currencies a fill asks for, in its order: first those the user looks at
// (the panel's items, the chart's, the converter's), then the rest of the history
// record's. The other currencies are asked for only when shown: each costs a
// request per span, and the daily updates bring them all from then on. One the
// service does not list (no ID from a daily table read since the module was
// loaded) is not asked for.
struct FillCurrencies {
    uint8_t order[CurrencyCount];
    int count;
    int shown;  // the first of order: the currencies the user looks at
    bool taken[CurrencyCount];
};

static void take(FillCurrencies& list, int currency)
{
    if (currency < 0 || currency >= CurrencyCount || list.taken[currency] || !currencyId(currency)[0]) return;
    list.taken[currency] = true;
    list.order[list.count++] = uint8_t(currency);
}

static FillCurrencies fillCurrencies()
{
    FillCurrencies list{};
    lockHistory();
    for (int i = 0; i < settings.itemCount && i < ItemSlots; ++i) {
        take(list, settings.items[i].currency);
        if (settings.items[i].isRatio) take(list, settings.items[i].currency2);
    }
    take(list, settings.chartCurrency);
    take(list, settings.converterFrom - 1);
    take(list, settings.converterTo - 1);
    unlockHistory();
    list.shown = list.count;
    for (int c = 0; c < RecordCurrencies; ++c) take(list, c);
    return list;
}

static int32_t listedCurrencies() { return fillCurrencies().count; }

enum class BatchResult { Fetched, Stopped, Failed };

static int32_t larger(int32_t a, int32_t b) { return a > b ? a : b; }
static int32_t smaller(int32_t a, int32_t b) { return a < b ? a : b; }

// The range requests [from, to] takes: one per RangeSpanDays of it.
static int32_t partsOf(int32_t from, int32_t to) { return to < from ? 0 : (to - from) / RangeSpanDays + 1; }

// One currency over the days [from, to], a range request per RangeSpanDays of it,
// the newest part first: what a stop leaves then adjoins the days stored already.
// days[0] is the day numbered base.
static BatchResult fetchSpan(int currency, int32_t from, int32_t to, int32_t base, DayRates* days)
{
    for (int32_t last = to; last >= from; last -= RangeSpanDays) {
        int32_t first = larger(from, last - RangeSpanDays + 1);
        if (!nextRequest()) return BatchResult::Stopped;
        if (!fetchRange(currency, first, last - first + 1, days + (first - base))) return BatchResult::Failed;
    }
    return BatchResult::Fetched;
}

// Every listed currency over the batch [first, first + span) into days.
static BatchResult fetchBatch(int32_t first, int32_t span, DayRates* days)
{
    FillCurrencies currencies = fillCurrencies();
    planned = requests.load() + currencies.count * partsOf(first, first + span - 1);
    BatchResult fetched = BatchResult::Fetched;
    for (int k = 0; k < currencies.count && fetched == BatchResult::Fetched; ++k)
        fetched = fetchSpan(currencies.order[k], first, first + span - 1, first, days);
    return fetched;
}

// The next batch before the oldest stored day, [first, first + span); false when
// the store is full or nothing older can be.
static bool olderBatch(DayCode& oldest, int32_t& first, int32_t& span)
{
    int32_t filled = storedDaySummary(oldest);
    if (filled >= history.capacity || oldest.day == 0) return false;
    int32_t last = dayNumber(oldest) - 1;
    // About five tables a week, and a fortnight for holidays.
    int32_t missing = history.capacity - filled;
    span = smaller(smaller(missing / 5 * 7 + 14, BatchDays), last + 1);
    first = last - span + 1;
    return span >= 1;
}

// For each shown currency, the stored days without its rate: from the oldest such
// day to the newest (first above last when it has a rate on every stored day). A
// currency shown only since the last fill has a rate on the days stored after it.
struct Gaps {
    int32_t first[CurrencyCount], last[CurrencyCount];
    int32_t low, high;  // all of them together
};

static Gaps findGaps(const FillCurrencies& list)
{
    Gaps gaps;
    gaps.low = NearestAfterStart;
    gaps.high = -1;
    for (int k = 0; k < list.shown; ++k) {
        gaps.first[k] = NearestAfterStart;
        gaps.last[k] = -1;
    }
    lockHistory();
    for (int32_t i = 0; i < history.capacity && history.records[i].code.day != 0; ++i) {
        const DayRates& day = history.records[i];
        // A damaged date is no day the service could give rates for.
        if (!isCalendarDay(day.code.day, day.code.month, yearOf(day.code))) continue;
        int32_t n = dayNumber(day.code);
        for (int k = 0; k < list.shown; ++k) {
            if (day.rates[list.order[k]].nominal > 0) continue;
            gaps.first[k] = smaller(gaps.first[k], n);
            gaps.last[k] = larger(gaps.last[k], n);
            gaps.low = smaller(gaps.low, n);
            gaps.high = larger(gaps.high, n);
        }
    }
    unlockHistory();
    return gaps;
}

// The shown currencies' gaps a batch of days at a time, the newest first, each
// batch's rates laid over its stored days with one write; with days null it only
// counts the requests that takes. Days the bank did not quote a currency on stay
// without it: each gap is asked for once a fill.
static int32_t fillGaps(const FillCurrencies& list, const Gaps& gaps, DayRates* days, BatchResult& fetched)
{
    int32_t count = 0;
    fetched = BatchResult::Fetched;
    for (int32_t last = gaps.high; last >= gaps.low && fetched == BatchResult::Fetched; last -= BatchDays) {
        int32_t first = larger(gaps.low, last - BatchDays + 1);
        if (days) std::memset(days, 0, size_t(last - first + 1) * sizeof(DayRates));
        for (int k = 0; k < list.shown && fetched == BatchResult::Fetched; ++k) {
            int32_t from = larger(first, gaps.first[k]), to = smaller(last, gaps.last[k]);
            count += partsOf(from, to);
            if (days) fetched = fetchSpan(list.order[k], from, to, first, days);
        }
        if (days) storeFound(days, last - first + 1, true);
    }
    return count;
}

// The range service: first the shown currencies' gaps in the stored days, then a
// batch of days before the oldest stored day at a time, each currency in turn and
// the batch's days stored with one write. What a stopped or failed batch brought
// is stored too.
static RangeResult fillByRange(FillOutcome& result)
{
    if (!schedulePlatform.fetchDocument) return RangeResult::UseDays;
    if (!schedulePlatform.download) return RangeResult::UseDays;
    DayCode oldest;
    int32_t filled = storedDaySummary(oldest);
    // The range requests name the currencies by the service's IDs, which a daily
    // table gives: the latest one for an empty store, else the oldest stored
    // day's (so nothing new lands in front).
    if (filled == 0 || listedCurrencies() == 0) {
        planned = 1 + RecordCurrencies;
        if (!nextRequest()) {
            result = FillStopped;
            return RangeResult::Done;
        }
        if (!schedulePlatform.download(filled == 0, oldest)) {
            if (filled > 0) return RangeResult::UseDays;
            result = FillFailed;
            return RangeResult::Done;
        }
    }
    // A table that named no ID leaves nothing to ask the range service for.
    FillCurrencies list = fillCurrencies();
    if (list.count == 0) return RangeResult::UseDays;
    auto* days = static_cast<DayRates*>(std::malloc(size_t(BatchDays) * sizeof(DayRates)));
    if (!days) return RangeResult::UseDays;
    Gaps gaps = findGaps(list);
    BatchResult fetched;
    int32_t first = 0, span = 0;
    int32_t gapRequests = fillGaps(list, gaps, nullptr, fetched);
    bool older = olderBatch(oldest, first, span);
    planned = requests.load() + gapRequests + (older ? list.count * partsOf(first, first + span - 1) : 0);
    fillGaps(list, gaps, days, fetched);
    RangeResult outcomeOfRange = RangeResult::Done;
    result = fetched == BatchResult::Stopped ? FillStopped : FillComplete;
    // A service that failed on the gaps leaves them: the fill can't end complete,
    // but the days before the oldest may still come one at a time.
    if (fetched == BatchResult::Failed) {
        result = FillFailed;
        outcomeOfRange = RangeResult::UseDays;
    }
    while (fetched == BatchResult::Fetched && olderBatch(oldest, first, span)) {
        std::memset(days, 0, size_t(span) * sizeof(DayRates));
        fetched = fetchBatch(first, span, days);
        int32_t found = storeFound(days, span, false);
        if (fetched == BatchResult::Stopped) result = FillStopped;
        if (fetched == BatchResult::Failed) outcomeOfRange = RangeResult::UseDays;
        // Nothing at all in a whole span: the service has nothing older.
        if (fetched != BatchResult::Fetched || found == 0) break;
        DayCode after;
        storedDaySummary(after);
        if (dayNumber(after) >= dayNumber(oldest)) break;
    }
    std::free(days);
    return outcomeOfRange;
}

// One request a day: the day before the oldest stored one, until the store is full.
static FillOutcome fillByDays()
{
    for (;;) {
        if (stopWanted.load()) return FillStopped;
        DayCode oldest;
        int32_t filled = storedDaySummary(oldest);
        if (filled >= history.capacity) return FillComplete;
        planned = requests.load() + history.capacity - filled;
        bool latest = oldest.day == 0;
        DayCode wanted = latest ? oldest : previousDay(oldest);
        if (!latest && wanted.day == 0) return FillComplete;
        if (!nextRequest()) return FillStopped;
        if (!schedulePlatform.download || !schedulePlatform.download(latest, wanted)) return FillFailed;
        // The bank answers a day without a table with the last one before it;
        // an answer no older than what is stored means there is nothing older.
        DayCode after;
        storedDaySummary(after);
        if (!latest && dayNumber(after) >= dayNumber(oldest)) return FillComplete;
    }
}

static FillOutcome fillLoop()
{
    anyRequest = false;
    FillOutcome result = FillComplete;
    if (fillByRange(result) == RangeResult::UseDays) {
        FillOutcome byDays = fillByDays();
        result = result == FillFailed && byDays == FillComplete ? FillFailed : byDays;
    }
    // Days that memory holds and the files don't (a full disk, a read-only
    // folder, a file another program holds) are no finished fill.
    return historyFilesHold() ? result : FillFailed;
}

uint32_t fillWorker()
{
    FillOutcome result = fillLoop();
    outcome = result;
    // Older days change the panel's differences: lay it out again.
    evaluateFreshness();
    releaseWorker();
    return 0;
}
