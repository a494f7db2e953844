// One thread stores days while two others search, and the options dialog's OK
// writes the proxy while a download takes it: run under ThreadSanitizer.
#include "testutil.h"

#include <atomic>
#include <thread>

#include "dialogs/core/options.h"
#include "platform/text16.h"
#include "update/document.h"

TEST(HistoryThreads, StoresAndSearchesNeverSeeATornRecord)
{
    ScriptedSchedule run;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};

    // Every stored record carries its day number in every rate, so a record
    // that mixes two stores shows at once.
    std::thread writer([&] {
        for (int n = 0; n < 400; ++n) {
            DayRates r = dayRecord(1 + n % 28, 1 + (n / 28) % 12, 2000 + n / 336);
            for (RateEntry& e : r.rates) e = RateEntry{n, float(n)};
            storeDay(r);
        }
        done = true;
    });
    auto reader = [&] {
        DayCode far = makeDayCode(31, 12, 2100);
        while (!done) {
            DayCode latest = findLatestOnOrBefore(far);
            if (latest.day == 0) continue;
            DayRates r = findDay(latest);
            if (r.code.day == 0) continue;  // dropped in between: fine
            for (const RateEntry& e : r.rates)
                if (e.nominal != r.rates[0].nominal || e.rate != float(r.rates[0].nominal)) ++torn;
            findEarliestAfter(makeDayCode(1, 1, 2000));
        }
    };
    std::thread a(reader), b(reader);
    writer.join();
    a.join();
    b.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(history.records[0].rates[5].nominal, 399);
}

// A download sees the settings before an OK or after it, never a mix.
TEST(DownloadThreads, TheSettingsTakenAreNeverTorn)
{
    ScriptedSchedule run;
    const std::u16string proxies[2] = {std::u16string(60, u'a'), std::u16string(60, u'b')};
    auto pressOk = [&proxies](int i) {  // odd presses: proxy 'b...', used, with a connection
        UpdatePageInput page{};
        page.useProxy = page.establishConnection = i % 2 == 1;
        page.proxy = proxies[i % 2].c_str();
        readUpdatePage(settings, page);
    };
    pressOk(0);
    std::atomic<bool> done{false};
    std::thread ok([&] {
        for (int i = 1; i < 20000; ++i) pressOk(i);
        done = true;
    });
    int torn = 0;
    for (FetchSettings taken; !done.load();) {
        takeFetchSettings(taken);
        bool odd = taken.proxy[0] == u'b';
        torn += taken.proxy != proxies[odd] || taken.useProxy != odd || taken.establishConnection != odd;
    }
    ok.join();
    EXPECT_EQ(torn, 0);
}

// The item window's re-creation reads the settings file again while a download may
// be taking the proxy: it sees the proxy and its connection flag throughout.
TEST(DownloadThreads, ReloadingTheSettingsNeverHidesTheProxy)
{
    ScriptedSchedule run;
    std::u16string file = run.folder.path16("vokCurrency.set");
    std::memcpy(settings.magic2, "vok", 4);  // a file that holds a proxy
    settings.useProxy = 1;
    settings.updateFlags |= EstablishConnection;
    copy16(settings.proxy, 65, u"proxy.example:3128");
    saveSettings(file.c_str());
    std::atomic<bool> done{false};
    std::thread reload([&] {
        for (int i = 0; i < 2000; ++i) loadSettings(file.c_str(), 96);
        done = true;
    });
    int missed = 0, reads = 0;
    for (FetchSettings taken; !done.load(); ++reads) {
        takeFetchSettings(taken);
        missed += !taken.useProxy || !taken.establishConnection || taken.proxy != std::u16string(u"proxy.example:3128");
    }
    reload.join();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(missed, 0);
}
