// The options dialog's OK writes the proxy while an update takes it: run under
// ThreadSanitizer. The update sees the old settings or the new, never a mix.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "data/history.h"
#include "data/settings.h"
#include "dialogs/core/options.h"
#include "testutil.h"
#include "update/document.h"

TEST(DownloadThreads, TheSettingsTakenAreNeverTorn)
{
    ScratchFolder folder;
    std::u16string path = folder.path16("vokCurrency.his");
    loadHistory(path.c_str(), 15);
    setDefaultSettings(settings, 96);
    const std::u16string proxies[2] = {std::u16string(60, u'a'), std::u16string(60, u'b')};
    auto pressOk = [&proxies](int i) {
        UpdatePageInput page{};
        page.useProxy = page.establishConnection = i % 2 == 1;  // with the proxy 'b...'
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
    while (!done.load()) {
        FetchSettings taken;
        takeFetchSettings(taken);
        bool second = taken.proxy[0] == u'b';
        torn += std::u16string(taken.proxy) != proxies[second] || taken.useProxy != second ||
                taken.establishConnection != second;
    }
    ok.join();
    EXPECT_EQ(torn, 0);
    freeHistory();
}
