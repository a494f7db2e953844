// The history store at the default capacity (15) and at a year's (365): the
// nearest-day searches, and storing a day with the file rewrite it brings. The
// history file lives in a temporary folder (TMPDIR or /tmp), so the figures for
// storing include that file system's flush.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "data/currency.h"
#include "data/history.h"
#include "tests/native/utf8.h"

static std::string folder;

// Day n of a long run of distinct days (28-day months keep every date valid).
static DayCode nthDay(int n)
{
    return makeDayCode(1 + n % 28, 1 + (n / 28) % 12, 1990 + (n / (28 * 12)) % 250);
}

static DayRates recordFor(int n)
{
    DayRates rec;
    std::memset(&rec, 0, sizeof rec);
    rec.code = nthDay(n);
    for (int i = 0; i < CurrencyCount; ++i) {
        rec.rates[i].nominal = 1;
        rec.rates[i].rate = 30.0f + float(i) + float(n % 100) / 100.0f;
    }
    return rec;
}

// Opens a full store of capacity records: days 0..capacity-1, newest (highest) first.
static std::u16string openFullStore(int capacity)
{
    std::string file = folder + "/vokCurrency.his";
    std::vector<HistoryRecord> records;  // as the history file holds them
    for (int n = capacity - 1; n >= 0; --n) {
        DayRates day = recordFor(n);
        records.emplace_back();
        std::memcpy(&records.back(), &day, sizeof(HistoryRecord));
    }
    FILE* f = std::fopen(file.c_str(), "wb");
    if (f) {
        std::fwrite(records.data(), sizeof(HistoryRecord), records.size(), f);
        std::fclose(f);
    }
    std::u16string path = fromUtf8(file);
    loadHistory(path.c_str(), capacity);
    return path;
}

static void BM_FindNearestDay(benchmark::State& state)
{
    int capacity = int(state.range(0));
    NearestRule rule = NearestRule(state.range(1));
    openFullStore(capacity);
    if (!history.records) {
        state.SkipWithError("the store did not open");
        return;
    }
    int n = 0;
    for (auto _ : state) {
        DayCode found = findNearestDay(nthDay(n), rule, rule == NearestRule::EarliestAfter ? NearestAfterStart : 0);
        benchmark::DoNotOptimize(found);
        n = (n + 7) % capacity;
    }
    freeHistory();
}
BENCHMARK(BM_FindNearestDay)
    ->ArgNames({"capacity", "rule"})
    ->ArgsProduct({{15, 365},
                   {int(NearestRule::LatestOnOrBefore), int(NearestRule::LatestBefore),
                    int(NearestRule::EarliestAfter)}});

// rule: 0 findLatestOnOrBefore, 1 findLatestBefore, 2 findEarliestAfter (NearestRule order).

// A day not yet stored: every slot moves down and the file is rewritten.
static void BM_StoreNewDay(benchmark::State& state)
{
    int capacity = int(state.range(0));
    openFullStore(capacity);
    if (!history.records) {
        state.SkipWithError("the store did not open");
        return;
    }
    int n = capacity;
    for (auto _ : state) storeDay(recordFor(n++));
    freeHistory();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StoreNewDay)->ArgName("capacity")->Arg(15)->Arg(365)->Unit(benchmark::kMicrosecond);

// A day that is stored already, in the last slot: a full scan, then the rewrite.
static void BM_StoreSameDay(benchmark::State& state)
{
    int capacity = int(state.range(0));
    openFullStore(capacity);
    if (!history.records) {
        state.SkipWithError("the store did not open");
        return;
    }
    DayRates rec = recordFor(0);
    for (auto _ : state) storeDay(rec);
    freeHistory();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StoreSameDay)->ArgName("capacity")->Arg(15)->Arg(365)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vokcurrency-bench-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    if (!mkdtemp(name.data())) {
        std::fprintf(stderr, "bench_store: cannot make a temporary folder\n");
        return 1;
    }
    folder = name.data();

    benchmark::Initialize(&argc, argv);
    int status = benchmark::ReportUnrecognizedArguments(argc, argv) ? 1 : 0;
    if (status == 0) benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return status;
}
