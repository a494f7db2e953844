// The update rules' figures over a whole year (2026), through the real core: the
// panel's tick every 2 s on a simulated clock, the update worker inline, and the
// bank of bench/bankmodel.h answering each request with a document that goes
// through storeReceivedDocument. For each bank model (tables out at 15:45 or 18:00
// Moscow time), device time zone and rule set it prints the requests made, the
// useful ones, the hours the icon showed stale rates, the hours no rule can avoid
// and the delay from publication to the table being stored; it judges nothing.
// Usage: poll_figures [--bank HH:MM] [--zone N] [--rules NAME]  (each may repeat;
// --bank gives any publication time in place of the two models, a NAME is a
// row's name or its start: "fresh", "every 30 min")
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bankmodel.h"
#include "data/history.h"
#include "data/settings.h"
#include "update/document.h"
#include "update/schedule.h"

namespace {

constexpr int64_t TickMs = 2000;     // the panel's refresh, as the Today shell sends it
constexpr int64_t RequestMs = 300;   // one request's time on the network
constexpr int Year = 2026;
// A run gone wrong (a rule that never stops asking, workers that start each
// other, a worker that never ends) ends with a message rather than holding the
// machine: a year is 15.8 M ticks, and no rule should ask once every 16 s.
constexpr long RequestCap = 2000000;
constexpr int WorkersPerTickCap = 50;
constexpr int64_t OverrunMs = 60 * 60 * 1000;  // how far past the year a last worker may run

struct RuleSet {
    const char* name;
    void (*apply)(Settings& s);
};

// Each starts from the defaults a fresh settings file gets; the fresh defaults
// take them as they are, whatever rule they come to name.
const RuleSet ruleSets[] = {
    {"fresh defaults", [](Settings&) {}},
    {"old defaults",
     [](Settings& s) {
         s.updateFlags = UpdateDaily | UpdateOnConnect;
         s.dailyHour = 15;
         s.dailyMinute = 0;
     }},
    {"every 30 min",
     [](Settings& s) {
         s.updateFlags = UpdateEvery;
         s.updateInterval = 30;
     }},
    {"every 30 min, only if stale",
     [](Settings& s) {
         s.updateFlags = UpdateEvery | OnlyIfStale;
         s.updateInterval = 30;
     }},
};
const int deviceZones[] = {2, 3, 7, 10, 12};  // hours east of UTC, all year
const int bankModels[] = {15 * 60 + 45, 18 * 60};  // minutes after midnight, Moscow time

// What one simulated year came to.
struct Figures {
    long requests = 0;
    long useful = 0;        // requests that stored a table never stored before
    int tables = 0;         // tables dated in the year that were stored
    double staleHours = 0;
    double floorHours = 0;
    std::vector<int64_t> delaysMs;  // publication to storage, one per table of the year stored
    long ticks = 0;
};

// The simulated device: its clock, the bank it asks, and the bookkeeping.
struct Simulation {
    const Bank* bank = nullptr;
    int64_t offsetMs = 0;           // the zone's offset from UTC
    int64_t startMs = 0, endMs = 0;  // the local year, in UTC milliseconds
    int64_t nowMs = 0;
    int64_t nextTickMs = 0;
    bool workerQueued = false;
    int64_t localMinute = -1, utcMinute = -1;
    LocalTime local{}, utc{};
    uint8_t state = Fresh;  // the icon's state since stateSinceMs
    int64_t stateSinceMs = 0;
    int64_t staleMs = 0;
    std::vector<bool> everStored;  // by table index
    std::vector<char> body;
    Figures figures;
};
Simulation sim;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "poll_figures: %s\n", what);
    std::exit(3);
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - (a % b < 0); }

void timeAt(int64_t ms, int64_t& cachedMinute, LocalTime& cached, LocalTime& out)
{
    int64_t minute = floorDiv(ms, MinuteMs);
    if (minute != cachedMinute) {
        cachedMinute = minute;
        civilDate(int32_t(floorDiv(minute, 1440)), cached.year, cached.month, cached.day);
        int64_t ofDay = minute - floorDiv(minute, 1440) * 1440;
        cached.hour = int(ofDay / 60);
        cached.minute = int(ofDay % 60);
    }
    out = cached;
}

// The icon's state holds from one change to the next: each stretch of time is
// put to the state it began in, clipped to the year.
void noteState()
{
    uint8_t now = iconState();
    if (now == sim.state) return;
    if (sim.state == Stale) {
        int64_t from = std::max(sim.stateSinceMs, sim.startMs), to = std::min(sim.nowMs, sim.endMs);
        if (to > from) sim.staleMs += to - from;
    }
    sim.state = now;
    sim.stateSinceMs = sim.nowMs;
}

// One of the panel's ticks, at its time on the grid.
void panelTick()
{
    sim.nextTickMs += TickMs;
    // The December before only teaches the rules; a last worker may run on a
    // little past the year.
    if (sim.nowMs >= sim.startMs && sim.nowMs < sim.endMs) ++sim.figures.ticks;
    refreshTick();
    advanceTickCounter();
    noteState();
}

// Time passing inside a worker (a pause, a request on the network): the panel's
// ticks due meanwhile run at their times, as the panel's thread runs them.
void elapse(int64_t ms)
{
    noteState();
    int64_t until = sim.nowMs + ms;
    if (until > sim.endMs + OverrunMs) fail("a worker runs on past the year's end: stopped");
    while (sim.nextTickMs <= until) {
        sim.nowMs = sim.nextTickMs;
        panelTick();
    }
    sim.nowMs = until;
}

int32_t civilOf(const DayCode& day) { return civilDay(yearOf(day), day.month, day.day); }

// The request goes out now and the bank answers as of now; the answer is read
// and stored once it has come in.
bool download(bool latest, const DayCode& day)
{
    bool counted = sim.nowMs >= sim.startMs;
    if (counted && ++sim.figures.requests > RequestCap) fail("more requests than any rule should make: stopped");
    int index = sim.bank->answer(sim.nowMs, latest, latest ? 0 : civilOf(day));
    size_t length = sim.bank->document(index, sim.body);
    elapse(RequestMs);
    DayCode stored;
    if (!storeReceivedDocument(sim.body.data(), length, stored)) return false;
    if (index < 0) fail("an empty answer was stored");
    const BankTable& table = sim.bank->tables()[size_t(index)];
    if (civilOf(stored) != table.dated) fail("the stored day is not the table's");
    DayRates kept = findDay(stored);
    if (kept.code.day == 0) return true;  // older than every day of a full store: not kept
    for (int k = 0; k < TableCurrencies; ++k) {
        const RateEntry& entry = kept.rates[Bank::currencyRow(k)];
        if (entry.nominal <= 0 || std::abs(entry.rate - float(table.rate[k])) > 1e-6f * float(table.rate[k]))
            fail("a stored rate is not the table's");
    }
    if (!sim.everStored[size_t(index)]) {
        sim.everStored[size_t(index)] = true;
        if (counted) ++sim.figures.useful;
        int y, m, d;
        civilDate(table.dated, y, m, d);
        if (y == Year) {
            ++sim.figures.tables;
            sim.figures.delaysMs.push_back(sim.nowMs - table.publishedMs);
        }
    }
    return true;
}

void installPlatform()
{
    schedulePlatform = SchedulePlatform{};
    schedulePlatform.localTime = [](LocalTime& out) {
        timeAt(sim.nowMs + sim.offsetMs, sim.localMinute, sim.local, out);
    };
    schedulePlatform.utcTime = [](LocalTime& out) { timeAt(sim.nowMs, sim.utcMinute, sim.utc, out); };
    schedulePlatform.tickCount = [] { return uint32_t(sim.nowMs - sim.startMs); };
    schedulePlatform.sleepMs = [](int ms) { elapse(ms); };
    schedulePlatform.invalidate = noteState;
    // The worker runs as soon as the tick that started it returns, as a new
    // thread would; what the run's pauses and requests take, the clock moves on.
    schedulePlatform.startThread = [] {
        sim.workerQueued = true;
        return true;
    };
    schedulePlatform.download = download;
}

void runQueuedWorkers()
{
    for (int run = 0; sim.workerQueued; ++run) {
        if (run == WorkersPerTickCap) fail("workers keep starting each other: stopped");
        sim.workerQueued = false;
        updateWorker();
    }
}

// The hours of the local year when the local day has begun but its table is
// not out yet: whatever a rule does, the day's rates cannot be had then.
double floorHours(const Bank& bank, int64_t offsetMs)
{
    int64_t total = 0;
    for (const BankTable& table : bank.tables()) {
        int y, m, d;
        civilDate(table.dated, y, m, d);
        if (y != Year) continue;
        int64_t dayBegins = table.dated * DayMs - offsetMs;
        total += std::min(std::max<int64_t>(table.publishedMs - dayBegins, 0), DayMs);
    }
    return double(total) / HourMs;
}

// A year on a device that has run through December (the December is not
// counted): its store holds the tables of that December, the newest dated 31
// December, and its rules have seen them arrive.
constexpr int WarmUpDays = 28;

Figures simulate(const Bank& bank, int zoneHours, const RuleSet& rules)
{
    setDefaultSettings(settings, 96);
    rules.apply(settings);
    sim = Simulation();
    sim.bank = &bank;
    sim.offsetMs = zoneHours * HourMs;
    sim.startMs = civilDay(Year, 1, 1) * DayMs - sim.offsetMs;
    sim.endMs = civilDay(Year + 1, 1, 1) * DayMs - sim.offsetMs;
    // The device has run through December: the rules have seen its tables.
    int64_t warmStartMs = sim.startMs - WarmUpDays * DayMs;
    sim.nowMs = sim.nextTickMs = sim.stateSinceMs = warmStartMs;
    sim.everStored.assign(bank.tables().size(), false);

    loadHistory(u"", settings.historyLength);  // memory only: no file to write
    int held = bank.answer(warmStartMs, true, 0);
    for (int i = held; i >= 0 && held - i < settings.historyLength; --i) {
        size_t length = bank.document(i, sim.body);
        DayCode stored;
        if (!storeReceivedDocument(sim.body.data(), length, stored)) fail("the bank's own table was refused");
        sim.everStored[size_t(i)] = true;
    }
    resetSchedule();
    installPlatform();

    while (sim.nextTickMs < sim.endMs) {
        sim.nowMs = sim.nextTickMs;
        panelTick();
        runQueuedWorkers();
    }
    // The last stretch, up to the year's end.
    if (sim.state == Stale && sim.endMs > std::max(sim.stateSinceMs, sim.startMs))
        sim.staleMs += sim.endMs - std::max(sim.stateSinceMs, sim.startMs);

    long expectedTicks = long((sim.endMs - sim.startMs + TickMs - 1) / TickMs);
    if (sim.figures.ticks != expectedTicks) fail("the ticks do not cover the year");
    if (sim.figures.tables > bank.datedIn(Year)) fail("more tables stored than the bank published");
    schedulePlatform = SchedulePlatform{};
    freeHistory();
    sim.figures.staleHours = double(sim.staleMs) / HourMs;
    sim.figures.floorHours = floorHours(bank, sim.offsetMs);
    return sim.figures;
}

// Nearest-rank percentile of the delays, in whole minutes gone by; -1 when there
// is none.
long delayMinutes(std::vector<int64_t> delays, double fraction)
{
    if (delays.empty()) return -1;
    std::sort(delays.begin(), delays.end());
    size_t rank = size_t(fraction * double(delays.size()) + 0.999999);
    rank = std::min(std::max<size_t>(rank, 1), delays.size());
    return long(delays[rank - 1] / MinuteMs);
}

std::string clockText(int minutes)
{
    char text[24];
    std::snprintf(text, sizeof text, "%02d:%02d", minutes / 60, minutes % 60);
    return text;
}

struct Choice {
    std::vector<int> banks, zones;  // the bank models' publication minutes, the zones' hours
    std::vector<std::string> rules;
    bool wants(int zone, const std::string& rule) const
    {
        bool zoneOk = zones.empty() || std::find(zones.begin(), zones.end(), zone) != zones.end();
        bool ruleOk = rules.empty();
        for (const std::string& r : rules) ruleOk = ruleOk || rule.compare(0, r.size(), r) == 0;
        return zoneOk && ruleOk;
    }
};

bool readChoice(int argc, char** argv, Choice& choice)
{
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc) return false;
        std::string option = argv[i], value = argv[i + 1];
        int hour = -1, minute = -1;
        char end = 0;
        if (option == "--bank" && std::sscanf(value.c_str(), "%d:%d%c", &hour, &minute, &end) == 2 && hour >= 0 &&
            hour < 24 && minute >= 0 && minute < 60)
            choice.banks.push_back(hour * 60 + minute);
        else if (option == "--zone")
            choice.zones.push_back(std::atoi(value.c_str()));
        else if (option == "--rules")
            choice.rules.push_back(value);
        else
            return false;
    }
    return true;
}

struct Row {
    std::string bank, rules;
    int zone;
    Figures figures;
};

}  // namespace

int main(int argc, char** argv)
{
    Choice choice;
    if (!readChoice(argc, argv, choice)) {
        std::fprintf(stderr, "usage: poll_figures [--bank HH:MM] [--zone N] [--rules NAME]\n");
        return 2;
    }
    auto began = std::chrono::steady_clock::now();
    Settings fresh;
    setDefaultSettings(fresh, 96);
    std::printf("Fresh defaults: updateFlags %d, daily at %02d:%02d, interval %d min, %d days kept.\n",
                fresh.updateFlags, fresh.dailyHour, fresh.dailyMinute, int(fresh.updateInterval),
                int(fresh.historyLength));
    std::printf("The store starts with the last %d tables of %d (newest dated 31.12.%d); each request takes %d ms.\n",
                int(fresh.historyLength), Year - 1, Year - 1, int(RequestMs));
    std::vector<Row> rows;
    if (choice.banks.empty()) choice.banks.assign(std::begin(bankModels), std::end(bankModels));
    for (int minute : choice.banks) {
        Bank bank(minute);
        std::string bankName = clockText(minute);
        bool header = false;
        for (int zone : deviceZones) {
            for (const RuleSet& rules : ruleSets) {
                if (!choice.wants(zone, rules.name)) continue;
                if (!header) {
                    std::printf("\nBank: tables out at %s Moscow time, %d dated in %d.\n\n", bankName.c_str(),
                                bank.datedIn(Year), Year);
                    std::printf("| zone   | rules                        | requests | useful | tables | stale h | "
                                "floor h | delay median | p90 min | max min |\n");
                    std::printf("|--------|------------------------------|---------:|-------:|-------:|--------:|"
                                "--------:|-------------:|--------:|--------:|\n");
                    header = true;
                }
                Row row{bankName, rules.name, zone, simulate(bank, zone, rules)};
                const Figures& f = row.figures;
                std::printf("| UTC+%-2d | %-28s | %8ld | %6ld | %6d | %7.1f | %7.1f | %12ld | %7ld | %7ld |\n", zone,
                            rules.name, f.requests, f.useful, f.tables, f.staleHours, f.floorHours,
                            delayMinutes(f.delaysMs, 0.5), delayMinutes(f.delaysMs, 0.9),
                            delayMinutes(f.delaysMs, 1.0));
                std::fflush(stdout);
                rows.push_back(row);
            }
        }
    }
    std::printf("\n");
    for (const Row& row : rows) {
        if (row.rules != "fresh defaults") continue;
        const Figures& f = row.figures;
        std::printf("fresh defaults UTC+%d %s: requests %ld tables %d stale_h %.1f floor_h %.1f delay_p90_min %ld "
                    "delay_max_min %ld\n",
                    row.zone, row.bank.c_str(), f.requests, f.tables, f.staleHours, f.floorHours,
                    delayMinutes(f.delaysMs, 0.9), delayMinutes(f.delaysMs, 1.0));
    }
    long ticks = 0;
    for (const Row& row : rows) ticks += row.figures.ticks;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("\n%zu years simulated, %.1f M ticks, in %.1f s\n", rows.size(), ticks / 1e6, seconds);
    return 0;
}
