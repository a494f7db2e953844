// The panel's hot paths: a clock tick with nothing to do (every two seconds, for as
// long as the device is on), a layout of 15 items, and the library's attach.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "data/history.h"
#include "data/settings.h"
#include "tests/native/utf8.h"
#include "plugin/core/layout.h"
#include "update/schedule.h"

namespace {

std::string scratch()
{
    char pattern[] = "/tmp/vokcurrency-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "/tmp";
}

void fillHistory(const std::u16string& path)
{
    loadHistory(path.c_str(), 15);
    for (int d = 1; d <= 15; ++d) {
        DayRates r{};
        r.code = makeDayCode(d, 11, 2026);
        for (RateEntry& e : r.rates) e = RateEntry{1, 30.0f + float(d) / 7};
        storeDay(r);
    }
}

int measure(const char16_t*, int length, void*) { return 7 * length; }

void quietTick(benchmark::State& state)
{
    std::u16string path = fromUtf8(scratch() + "/vokCurrency.his");
    setDefaultSettings(settings, 96);
    settings.updateFlags = UpdateEvery | UpdateDaily;
    fillHistory(path);
    resetSchedule();
    schedulePlatform = SchedulePlatform{};
    schedulePlatform.localTime = [](LocalTime& t) { t = LocalTime{2026, 11, 15, 10, 7}; };
    tickCounter = 1;
    refreshTick();
    for (auto _ : state) {
        refreshTick();
        tickCounter = 1;  // keeps the interval rule quiet: a tick with nothing to do
    }
    freeHistory();
}
BENCHMARK(quietTick);

// A layout of 15 items, without limits and with limits on every item (both
// bounds): the two run side by side in one run.
void layOutFifteen(benchmark::State& state, const ItemLimits* limits)
{
    setDefaultSettings(settings, 96);
    settings.itemCount = 15;
    settings.visibleItems = 15;
    for (int i = 0; i < 15; ++i) {
        settings.items[i] = settings.items[i % 3];
        settings.items[i].itemFlags = ShowArrow | ShowDifference;
    }
    DayRates previous{}, current{}, next{};
    for (int i = 0; i < CurrencyCount; ++i) {
        previous.rates[i] = RateEntry{1, 30.0f + i};
        current.rates[i] = RateEntry{1, 30.5f + i};
    }
    for (auto _ : state) {
        firstVisible = 0;
        chooseVisibleSlots(settings);
        LayoutInput in{&settings, &previous, &current, &next, TextMeasurer{measure, nullptr}, 21, 16, 240, limits};
        benchmark::DoNotOptimize(layoutSlots(in));
    }
}

void layoutFifteen(benchmark::State& state) { layOutFifteen(state, nullptr); }
BENCHMARK(layoutFifteen);

void layoutFifteenWithLimits(benchmark::State& state)
{
    static ItemLimits limits[ItemSlots];
    for (int i = 0; i < ItemSlots; ++i)
        limits[i] = ItemLimits{LimitUpper | LimitLower, AlertInside, {0, 0}, 31.0f + i, 20.0f};
    layOutFifteen(state, limits);
}
BENCHMARK(layoutFifteenWithLimits);

void attach(benchmark::State& state)
{
    std::string folder = scratch();
    std::u16string settingsPath = fromUtf8(folder + "/vokCurrency.set");
    std::u16string historyPath = fromUtf8(folder + "/vokCurrency.his");
    loadSettings(settingsPath.c_str(), 96);
    fillHistory(historyPath);
    freeHistory();
    for (auto _ : state) {
        loadSettings(settingsPath.c_str(), 96);
        loadHistory(historyPath.c_str(), settings.historyLength);
        freeHistory();
    }
}
BENCHMARK(attach);

}  // namespace

BENCHMARK_MAIN();
