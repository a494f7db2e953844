// Files that another program holds while they are loaded, and saves that fail:
// what could not be read is never written over, and what memory holds reaches the
// files once they can be read and written again, with growing waits and only the
// file that lags written.
#include "testutil.h"

#include <filesystem>

#include "data/companion.h"
#include "data/keepfiles.h"
#include "platform/testhooks.h"
#include "platform/text16.h"

namespace {

constexpr int Cny = 17;

DayRates yuanDay(int d, int m, float yuan)
{
    DayRates r = dayRecord(d, m, 2026, 90.0f + d);
    r.rates[Cny] = {1, yuan};
    return r;
}

struct HeldFiles : ::testing::Test {
    ~HeldFiles() override { fileReadsRefusedFor = nullptr; }
    ScriptedSchedule run;
    std::string file(const char* name) { return run.folder.file(name); }
    std::u16string path(const char* name) { return run.folder.path16(name); }
};

}  // namespace

// The settings file held while the item window is made, or while the library
// loads: memory keeps its record (the defaults at a first load) and the file stays
// byte for byte as the user had it; once it can be read, its record is taken, or
// the options dialog's record goes in when the user changed settings meanwhile.
TEST_F(HeldFiles, TheSettingsFileIsNeverWrittenOverUntilItHasBeenRead)
{
    const struct {
        const char* what;
        bool firstLoad;      // the library loads (memory holds no record yet)
        bool userChanges;    // the options dialog's OK while the file is held
    } cases[] = {{"window made again", false, false}, {"library loaded", true, false},
                 {"options changed meanwhile", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetFileKeeping();
        setDefaultSettings(settings, 96);
        settings.itemCount = 1;
        settings.historyLength = 40;
        copy16(settings.proxy, 64, u"proxy.example:3128");
        std::memcpy(settings.magic2, "vok", 4);  // as every file that was loaded once has it
        ASSERT_TRUE(saveSettings(path("vokCurrency.set").c_str()));
        const std::vector<unsigned char> userFile = readBytes(file("vokCurrency.set"));
        if (c.firstLoad) std::memset(&settings, 0, sizeof settings);

        fileReadsRefusedFor = u"";
        loadSettings(path("vokCurrency.set").c_str(), 96);
        EXPECT_EQ(settings.itemCount, c.firstLoad ? 3 : 1);
        EXPECT_FALSE(filesHoldMemory());
        EXPECT_EQ(iconState(), Failed);
        if (c.userChanges) {
            settings.visibleItems = 7;
            EXPECT_FALSE(saveSettings(path("vokCurrency.set").c_str()));
        }
        tick(90);
        EXPECT_EQ(readBytes(file("vokCurrency.set")), userFile);

        fileReadsRefusedFor = nullptr;
        tick(40);  // the waits have grown to a minute
        EXPECT_TRUE(filesHoldMemory());
        EXPECT_EQ(settings.itemCount, 1);
        EXPECT_EQ(settings.historyLength, 40);
        std::vector<unsigned char> now = readBytes(file("vokCurrency.set"));
        if (c.userChanges)
            EXPECT_EQ(now[offsetof(Settings, visibleItems)], 7);
        else
            EXPECT_EQ(now, userFile);
    }
}

// The history file (and so its companion) held while the library loads: an update
// meanwhile keeps its day in memory, the file keeps its days, and once it can be
// read the file holds both, the other currencies' rates of every day too. A
// companion file held alone waits the same way while the history file goes ahead.
TEST_F(HeldFiles, TheHistoryAndItsCompanionKeepTheirDaysAndGainTheNewOnes)
{
    const struct {
        const char* what;
        bool historyHeld;
        bool guessedLength;  // the settings file was held too: the store's size is a guess
    } cases[] = {{"both files held", true, false}, {"companion held", false, false},
                 {"settings held too", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetFileKeeping();
        std::vector<DayRates> days;
        for (int d = 10; d >= 1; --d) days.push_back(yuanDay(d, 12, 11.0f + d / 10.0f));
        loadHistory(path("vokCurrency.his").c_str(), 15);
        storeDays(days.data(), int32_t(days.size()));
        freeHistory();
        const std::vector<unsigned char> historyBefore = readBytes(file("vokCurrency.his"));

        fileReadsRefusedFor = c.historyHeld ? u"" : u".hix";
        loadHistory(path("vokCurrency.his").c_str(), c.guessedLength ? 3 : 15, c.guessedLength);
        storeDay(yuanDay(11, 12, 12.5f));
        EXPECT_FALSE(historyFilesHold());
        if (c.historyHeld) EXPECT_EQ(readBytes(file("vokCurrency.his")), historyBefore);
        fileReadsRefusedFor = nullptr;
        if (c.guessedLength) settleHistoryCapacity(15);
        tick(3);
        EXPECT_TRUE(historyFilesHold());
        freeHistory();

        loadHistory(path("vokCurrency.his").c_str(), 15);
        DayCode oldest;
        EXPECT_EQ(storedDaySummary(oldest), 11);
        for (int d = 1; d <= 11; ++d)
            EXPECT_EQ(findDay(makeDayCode(d, 12, 2026)).rates[Cny].rate, d == 11 ? 12.5f : 11.0f + d / 10.0f) << d;
        freeHistory();
        std::remove(file("vokCurrency.his").c_str());
        std::remove(file("vokCurrency.hix").c_str());
    }
}

// A save that keeps failing for one file is tried again with growing waits, and
// only that file is written: the other one, which took its save, is left alone.
TEST_F(HeldFiles, ARetryWritesOnlyTheFileThatFailedWithGrowingWaits)
{
    loadHistory(path("vokCurrency.his").c_str(), 15);
    std::filesystem::create_directory(file("vokCurrency.hix.tmp"));  // the companion's save can't be made
    storeDay(yuanDay(8, 12, 11.8f));
    EXPECT_FALSE(historyFilesHold());
    EXPECT_EQ(iconState(), Failed);
    std::vector<int> tries;
    for (int t = 1; t <= 140; ++t) {
        long before = fileAccessCount;
        tick();
        long touched = fileAccessCount - before;
        if (touched) tries.push_back(t);
        EXPECT_LE(touched, 1) << "tick " << t;  // the companion alone, never the history file again
    }
    EXPECT_EQ(tries, (std::vector<int>{1, 2, 5, 13, 43, 73, 103, 133}));
    std::filesystem::remove(file("vokCurrency.hix.tmp"));
    tick(30);
    EXPECT_TRUE(historyFilesHold());
    EXPECT_EQ(iconState(), updateState.load());
    EXPECT_EQ(readBytes(file("vokCurrency.hix")).size(), CompanionHeaderBytes + CompanionRecordBytes);
}
