// The real DLL while another program (a backup or sync tool, a virus scan) holds
// one of its files open and shares nothing: what the file held is never lost.
#include <windows.h>

#include <fstream>
#include <iterator>

#include "data/calendar.h"
#include "data/companion.h"
#include "data/limits.h"
#include "harness.h"
#include "httpserver.h"
#include "update/ratesreader.h"

namespace {

constexpr int Cny = 17;

HANDLE holdUnshared(const std::wstring& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

DayCode daysBefore(const DayCode& day, int count)
{
    DayCode out = day;
    for (int i = 0; i < count; ++i) out = previousDay(out);
    return out;
}

struct HeldFiles : ::testing::Test {
    TestHttpServer service;
    PluginHost plugin;
    void SetUp() override
    {
        setDefaultSettings(settings, 96);
        ASSERT_TRUE(service.start());
    }
    void tick() { SendMessageW(plugin.panel, ItemQueryRefresh, WPARAM(&plugin.item), 0); }
    std::wstring file(const wchar_t* name) { return plugin.folder.file(name); }
    // The stored days once the ticks have brought the file up, at most 20 s.
    size_t storedDaysAfterTicks(size_t wanted)
    {
        size_t stored = 0;
        pumpUntil([&] {
            tick();
            stored = 0;
            for (const DayRates& d : plugin.history()) stored += d.code.day != 0;
            return stored >= wanted;
        }, 20000, 200);
        return stored;
    }
};

}  // namespace

// The item window made again while the settings file is held: the panel keeps the
// user's settings, shows the failed frame, and the file stays byte for byte as it
// was through 90 ticks (held, then let go) and the next making of the window.
TEST_F(HeldFiles, TheSettingsFileHeldAsTheItemIsMadeAgainStaysAsTheUserHadIt)
{
    settings.itemCount = 1;
    settings.historyLength = 40;
    settings.commaFlags = 0;
    plugin.prepare(service.port(), {});
    ASSERT_TRUE(plugin.load(true));
    plugin.query();
    const std::vector<unsigned char> userFile = readFileBytes(file(L"vokCurrency.set"));
    ASSERT_EQ(userFile.size(), sizeof(Settings));
    HANDLE held = holdUnshared(file(L"vokCurrency.set"));
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    plugin.makeItemAgain();
    for (int t = 0; t < 45; ++t) tick();
    plugin.repaint();
    EXPECT_EQ(PluginHost::framesSeen.back(), 4);
    CloseHandle(held);
    for (int t = 0; t < 45; ++t) tick();
    EXPECT_EQ(readFileBytes(file(L"vokCurrency.set")), userFile);
    plugin.makeItemAgain();
    for (int t = 0; t < 3; ++t) tick();
    plugin.repaint();
    EXPECT_LE(PluginHost::framesSeen.back(), 1);
    EXPECT_EQ(readFileBytes(file(L"vokCurrency.set")), userFile);
}

// The library loaded while the history file is held, and an update meanwhile:
// the update shows failure, the file keeps its ten days, and once it is let go it
// holds them and the new one.
TEST_F(HeldFiles, TheHistoryHeldAtLoadKeepsItsDaysAndGainsTheUpdatesDay)
{
    SYSTEMTIME now = localNow();
    DayCode today = makeDayCode(now.wDay, now.wMonth, now.wYear);
    std::vector<DayRates> days;
    for (int k = 1; k <= 10; ++k) days.push_back(dayOf(daysBefore(today, k), 96.0f + k / 10.0f, 80.0f));
    service.respondWith(serving(todaysDocument(now)));
    plugin.prepare(service.port(), days);
    HANDLE held = holdUnshared(file(L"vokCurrency.his"));
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(plugin.load(true));
    plugin.query();
    std::vector<int> frames = plugin.tapIcon(8000);
    EXPECT_EQ(frames.back(), 4);
    CloseHandle(held);
    EXPECT_EQ(plugin.history().size(), 15u);
    EXPECT_TRUE(sameDay(plugin.history()[0].code, days[0].code));  // nothing written over it yet
    EXPECT_EQ(storedDaysAfterTicks(11), 11u);
    std::vector<DayRates> stored = plugin.history();
    EXPECT_TRUE(sameDay(stored[0].code, today));
    for (size_t k = 0; k < days.size(); ++k) EXPECT_EQ(stored[k + 1].rates[0].rate, days[k].rates[0].rate) << k;
}

// The companion file held at load: the yuan's rates of the days stored before stay
// in it, beside the new day's, once it is let go.
TEST_F(HeldFiles, TheCompanionHeldAtLoadKeepsTheOtherCurrenciesOfEveryDay)
{
    std::ifstream xml(std::string(VOK_SOURCE_DIR) + "/tests/fixtures/daily_full.xml", std::ios::binary);
    std::string body((std::istreambuf_iterator<char>(xml)), std::istreambuf_iterator<char>());
    DayRates table;
    ASSERT_TRUE(parseDailyRates(&std::string(body)[0], table));
    std::vector<DayRates> days;
    for (int k = 1; k <= 10; ++k) {
        days.push_back(dayOf(daysBefore(table.code, k), 96.0f, 80.0f));
        days.back().rates[Cny] = {1, 11.0f + k / 10.0f};
    }
    std::vector<unsigned char> companion(companionImageSize(days.data(), int32_t(days.size())));
    writeCompanionImage(days.data(), int32_t(days.size()), companion.data());
    service.respondWith(serving(body));
    plugin.prepare(service.port(), days);
    writeFileBytes(file(L"vokCurrency.hix"), companion.data(), companion.size());
    HANDLE held = holdUnshared(file(L"vokCurrency.hix"));
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(plugin.load(true));
    plugin.query();
    plugin.tapIcon(8000);
    CloseHandle(held);
    EXPECT_EQ(storedDaysAfterTicks(11), 11u);
    auto yuanOnFile = [&] {
        tick();
        std::vector<DayRates> stored = plugin.history();
        std::vector<unsigned char> image = readFileBytes(file(L"vokCurrency.hix"));
        return mergeCompanionImage(image.data(), image.size(), stored.data(), int32_t(stored.size())) == 11;
    };
    EXPECT_TRUE(pumpUntil(yuanOnFile, 20000, 200));
    std::vector<DayRates> stored = plugin.history();
    std::vector<unsigned char> image = readFileBytes(file(L"vokCurrency.hix"));
    mergeCompanionImage(image.data(), image.size(), stored.data(), int32_t(stored.size()));
    EXPECT_EQ(stored[0].rates[Cny].rate, table.rates[Cny].rate);
    for (size_t k = 0; k < days.size(); ++k) EXPECT_EQ(stored[k + 1].rates[Cny].rate, days[k].rates[Cny].rate) << k;
}

// The limits file held at load: nothing writes over it, and once it is let go its
// limit comes in with its state, so the dollar across it shows its alert and
// raises no second notification. The file stays byte for byte as it was.
TEST_F(HeldFiles, TheLimitsHeldAtLoadKeepTheirLimitAndItsState)
{
    SYSTEMTIME now = localNow();
    plugin.prepare(service.port(), {dayOf(daysBefore(makeDayCode(now.wDay, now.wMonth, now.wYear), 1), 96.0f, 80.0f)});
    ItemLimits limits[ItemSlots] = {};
    limits[2] = ItemLimits{LimitUpper, AlertAbove, {0, 0}, 90.0f, 0.0f};  // the dollar, notified before
    unsigned char image[LimitsFileBytes];
    writeLimitsImage(image, limits);
    writeFileBytes(file(L"vokCurrency.lim"), image, sizeof image);
    const std::vector<unsigned char> before(image, image + sizeof image);
    PluginHost::notifications.clear();
    service.respondWith(serving(todaysDocument(now, "95,0000")));
    HANDLE held = holdUnshared(file(L"vokCurrency.lim"));
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(plugin.load(true));
    plugin.query();
    plugin.tapIcon(8000);
    for (int i = 0; i < 10; ++i) tick();
    EXPECT_EQ(plugin.pixelsOf(RGB(255, 200, 0)), 0);  // no limits known yet
    CloseHandle(held);
    EXPECT_TRUE(pumpUntil([&] { return tick(), plugin.pixelsOf(RGB(255, 200, 0)) > 50; }, 20000, 200));
    plugin.repaint();
    EXPECT_TRUE(PluginHost::notifications.empty());
    EXPECT_EQ(readFileBytes(file(L"vokCurrency.lim")), before);
}
