// The daily-rates reader against pugixml on the full-size document
// (tests/fixtures/daily_full.xml). Both fill the same DayRates record from the
// same bytes; both work in place, so each iteration first copies the document
// into a scratch buffer, the same cost for both. After the run the throughput
// of the reader is printed relative to pugixml's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "data/currency.h"
#include "update/ratesreader.h"

static std::vector<char> document;  // the fixture's bytes, without a NUL
static std::vector<char> scratch;   // document.size() + 1

static bool loadDocument()
{
    std::string path = std::string(VOK_SOURCE_DIR) + "/tests/fixtures/daily_full.xml";
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) document.insert(document.end(), buf, buf + n);
    std::fclose(f);
    scratch.resize(document.size() + 1);
    return !document.empty();
}

static char* freshCopy()
{
    std::memcpy(scratch.data(), document.data(), document.size());
    scratch[document.size()] = 0;
    return scratch.data();
}

static int tableRow(const char* code)
{
    for (int i = 0; i < CurrencyCount; ++i) {
        int k = 0;
        for (; k < 4; ++k) {
            char a = code[k], b = isoCode[i][k];
            if (a >= 'a' && a <= 'z') a = char(a - 'a' + 'A');
            if (a != b) break;
            if (!a) return i;
        }
    }
    return -1;
}

static int digitsAt(const char* text, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9') return 0;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The contender: the same fields through a DOM.
static bool readWithPugixml(char* text, size_t size, DayRates& rates)
{
    std::memset(&rates, 0, sizeof rates);
    pugi::xml_document doc;
    if (!doc.load_buffer_inplace(text, size, pugi::parse_default, pugi::encoding_utf8)) return false;
    pugi::xml_node root = doc.child("ValCurs");
    const char* date = root.attribute("Date").value();
    if (std::strlen(date) < 10) return false;
    rates.code = makeDayCode(digitsAt(date, 2), digitsAt(date + 3, 2), digitsAt(date + 6, 4));
    for (pugi::xml_node v = root.child("Valute"); v; v = v.next_sibling("Valute")) {
        int row = tableRow(v.child_value("CharCode"));
        if (row < 0) continue;
        char value[16];
        std::snprintf(value, sizeof value, "%s", v.child_value("Value"));
        if (char* comma = std::strchr(value, ',')) *comma = '.';
        rates.rates[row].nominal = std::atoi(v.child_value("Nominal"));
        rates.rates[row].rate = static_cast<float>(std::strtod(value, nullptr));
    }
    return true;
}

static void BM_Reader(benchmark::State& state)
{
    DayRates rates;
    for (auto _ : state) {
        bool ok = parseDailyRates(freshCopy(), rates);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(rates);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(document.size()));
}
BENCHMARK(BM_Reader);

static void BM_Pugixml(benchmark::State& state)
{
    DayRates rates;
    for (auto _ : state) {
        bool ok = readWithPugixml(freshCopy(), document.size(), rates);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(rates);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(document.size()));
}
BENCHMARK(BM_Pugixml);

// Shows the runs as usual and keeps the CPU time per iteration of each.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : benchmark::ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            std::string name = run.benchmark_name();
            if (name == "BM_Reader") reader = run.GetAdjustedCPUTime();
            if (name == "BM_Pugixml") pugixml = run.GetAdjustedCPUTime();
        }
        benchmark::ConsoleReporter::ReportRuns(runs);
    }
    double reader = 0, pugixml = 0;
};

int main(int argc, char** argv)
{
    if (!loadDocument()) {
        std::fprintf(stderr, "bench_reader: cannot read the fixture document\n");
        return 1;
    }
    // Both contenders must agree, or the comparison means nothing.
    DayRates ours, theirs;
    bool oursOk = parseDailyRates(freshCopy(), ours);
    bool theirsOk = readWithPugixml(freshCopy(), document.size(), theirs);
    if (!oursOk || !theirsOk || std::memcmp(&ours, &theirs, sizeof ours) != 0) {
        std::fprintf(stderr, "bench_reader: the reader and pugixml read different records\n");
        return 1;
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (reporter.reader > 0 && reporter.pugixml > 0)
        std::printf("reader/pugixml throughput: %.2f (%zu-byte document)\n", reporter.pugixml / reporter.reader,
                    document.size());
    return 0;
}
