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
static int32_t storeFound(DayRates* days, int32_t span)
{
    int32_t found = 0;
    for (int32_t k = 0; k < span; ++k)
        if (days[k].code.day != 0) days[found++] = days[k];
    for (int32_t i = 0, j = found - 1; i < j; ++i, --j) {
        DayRates newer = days[j];
        days[j] = days[i];
        days[i] = newer;
    }
    storeDays(days, found);
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
    for (int c = 0; c < RecordCurrencies; ++c) take(list, c);
    return list;
}

static int32_t listedCurrencies() { return fillCurrencies().count; }

enum class BatchResult { Fetched, Stopped, Failed };

// Every listed currency over the batch [first, first + span), a range request
// per RangeSpanDays of it, into days.
static BatchResult fetchBatch(int32_t first, int32_t span, DayRates* days)
{
    int32_t parts = (span + RangeSpanDays - 1) / RangeSpanDays;
    FillCurrencies currencies = fillCurrencies();
    planned = requests.load() + currencies.count * parts;
    for (int k = 0; k < currencies.count; ++k) {
        int c = currencies.order[k];
        for (int32_t from = 0; from < span; from += RangeSpanDays) {
            int32_t part = span - from < RangeSpanDays ? span - from : RangeSpanDays;
            if (!nextRequest()) return BatchResult::Stopped;
            if (!fetchRange(c, first + from, part, days + from)) return BatchResult::Failed;
        }
    }
    return BatchResult::Fetched;
}

// The range service, a batch of days before the oldest stored day at a time:
// each currency in turn, then the batch's days stored with one write.
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
    if (listedCurrencies() == 0) return RangeResult::UseDays;
    auto* days = static_cast<DayRates*>(std::malloc(size_t(BatchDays) * sizeof(DayRates)));
    if (!days) return RangeResult::UseDays;
    RangeResult outcomeOfRange = RangeResult::Done;
    result = FillComplete;
    for (;;) {
        filled = storedDaySummary(oldest);
        if (filled >= history.capacity || oldest.day == 0) break;
        int32_t last = dayNumber(oldest) - 1;
        // About five tables a week, and a fortnight for holidays.
        int32_t missing = history.capacity - filled;
        int32_t span = missing / 5 * 7 + 14;
        if (span > BatchDays) span = BatchDays;
        if (span > last + 1) span = last + 1;
        if (span < 1) break;
        std::memset(days, 0, size_t(span) * sizeof(DayRates));
        BatchResult fetched = fetchBatch(last - span + 1, span, days);
        if (fetched == BatchResult::Stopped) result = FillStopped;
        if (fetched == BatchResult::Failed) outcomeOfRange = RangeResult::UseDays;
        if (fetched != BatchResult::Fetched) break;
        // Nothing at all in a whole span: the service has nothing older.
        if (storeFound(days, span) == 0) break;
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
    if (fillByRange(result) == RangeResult::Done) return result;
    return fillByDays();
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
