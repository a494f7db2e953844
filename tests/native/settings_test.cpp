#include "testutil.h"

#include <unistd.h>

#include <filesystem>
#include <random>

#include "platform/fileio.h"
#include "platform/testhooks.h"

namespace {

struct SettingsFile : ::testing::Test {
    ScratchFolder folder;
    std::string file = folder.file("vokCurrency.set");
    std::u16string path = folder.path16("vokCurrency.set");
    void load(int dpi = 96) { loadSettings(path.c_str(), dpi); }
    void TearDown() override { fileWriteFailAfter = -1; }
};

bool within(long value, long low, long high) { return value >= low && value <= high; }

void put32(std::vector<unsigned char>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// The default file, written out field by field from the table of defaults.
std::vector<unsigned char> expectedDefaultFile(int height)
{
    std::vector<unsigned char> b(584, 0);
    b[0] = 40;  // after the bank publishes (and the hidden connect bit); no daily time
    put32(b, 4, 30);
    b[8] = 15;
    put32(b, 12, height);
    put32(b, 28, 700);
    b[35] = 204;
    b[39] = 16;
    const char* face = "Tahoma";
    for (int i = 0; face[i]; ++i) b[40 + 2 * i] = face[i];
    b[104] = 7;
    put32(b, 108, 15);
    put32(b, 112, 4);
    for (int i = 0; i < 23; ++i) b[116 + 2 * i] = 90;
    b[178] = 3;
    put32(b, 180, 3);
    const unsigned char items[3][16] = {
        {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 4, 0, 0},
        {1, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0},
        {0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 4, 0, 0},
    };
    std::memcpy(&b[184], items, sizeof items);
    std::memcpy(&b[440], "vok", 4);
    std::memcpy(&b[576], "vok", 4);
    return b;
}

}  // namespace

TEST_F(SettingsFile, NoFileWritesTheDefaultsByteForByte)
{
    load(96);
    EXPECT_EQ(readBytes(file), expectedDefaultFile(15));
    EXPECT_EQ(std::memcmp(&settings, expectedDefaultFile(15).data(), 584), 0);
    EXPECT_FALSE(fileExists(file + ".tmp"));
}

TEST_F(SettingsFile, DefaultFontHeightFollowsTheScreen)
{
    load(191);
    EXPECT_EQ(settings.panelFont.lfHeight, 15);
    std::remove(file.c_str());
    load(192);
    EXPECT_EQ(settings.panelFont.lfHeight, 24);
    EXPECT_EQ(readBytes(file), expectedDefaultFile(24));
    // An existing file keeps its own height whatever the screen.
    load(96);
    EXPECT_EQ(settings.panelFont.lfHeight, 24);
}

TEST_F(SettingsFile, MissingProxyMarkerResetsOnlyTheProxy)
{
    std::vector<unsigned char> image = expectedDefaultFile(15);
    image[4] = 45;  // a changed interval must survive
    image[444] = 1;
    const char* proxy = "10.0.0.1:3128";
    for (int i = 0; proxy[i]; ++i) image[446 + 2 * i] = proxy[i];
    std::memset(&image[576], 0, 4);
    writeBytes(file, image.data(), image.size());

    load();
    std::vector<unsigned char> after = readBytes(file);
    ASSERT_EQ(after.size(), 584u);
    EXPECT_EQ(after[444], 0);
    EXPECT_EQ(after[446], 0);
    EXPECT_EQ(std::memcmp(&after[576], "vok", 4), 0);
    for (size_t i = 0; i < 584; ++i)
        if (i != 444 && i != 446 && (i < 576 || i > 579)) EXPECT_EQ(after[i], image[i]) << "offset " << i;
    EXPECT_EQ(settings.updateInterval, 45);
    EXPECT_EQ(settings.useProxy, 0);
}

TEST_F(SettingsFile, AShortFileGetsDefaultsOrANewProxyBlockAndALongOneIsCut)
{
    std::vector<unsigned char> image = expectedDefaultFile(15);
    image[8] = 7;  // dailyHour, to tell a kept file from defaults

    // Shorter than 444 bytes: the first marker is missing, so defaults.
    writeBytes(file, image.data(), 440);
    load();
    EXPECT_EQ(settings.dailyHour, 15);
    EXPECT_EQ(readBytes(file).size(), 584u);

    // 444 to 579 bytes with the first marker: kept, the proxy block reset.
    std::memset(&image[576], 0, 4);
    for (size_t size : {444u, 500u, 579u}) {
        std::vector<unsigned char> cut(image.begin(), image.begin() + size);
        if (size > 446) cut[446] = 'x';
        writeBytes(file, cut.data(), cut.size());
        load();
        EXPECT_EQ(settings.dailyHour, 7) << size;
        EXPECT_EQ(settings.proxy[0], 0) << size;
        std::vector<unsigned char> after = readBytes(file);
        ASSERT_EQ(after.size(), 584u);
        EXPECT_EQ(std::memcmp(&after[576], "vok", 4), 0);
    }

    // Longer than 584 bytes: read up to 584, the next save cuts it.
    std::memcpy(&image[576], "vok", 4);
    std::vector<unsigned char> longer = image;
    longer.resize(700, 0xAB);
    writeBytes(file, longer.data(), longer.size());
    load();
    EXPECT_EQ(settings.dailyHour, 7);
    EXPECT_EQ(readBytes(file).size(), 700u);  // both markers fine: nothing written yet
    saveSettings(path.c_str());
    EXPECT_EQ(readBytes(file), image);
}

TEST_F(SettingsFile, AFailedWriteKeepsTheOldFile)
{
    load();
    std::vector<unsigned char> before = readBytes(file);
    settings.dailyHour = 9;
    for (long cut : {0L, 1L, 292L, 583L}) {
        fileWriteFailAfter = cut;
        saveSettings(path.c_str());
        EXPECT_EQ(readBytes(file), before) << cut;
        EXPECT_FALSE(fileExists(file + ".tmp")) << cut;
    }
    fileWriteFailAfter = -1;
    saveSettings(path.c_str());
    EXPECT_EQ(readBytes(file)[8], 9);
}

TEST_F(SettingsFile, UnwritableFolderKeepsTheRecordInMemory)
{
    std::u16string nowhere = folder.path16("missing-folder/vokCurrency.set");
    loadSettings(nowhere.c_str(), 96);
    EXPECT_EQ(settings.historyLength, 15);
    EXPECT_EQ(std::memcmp(settings.magic, "vok", 4), 0);
    EXPECT_FALSE(fileExists(folder.file("missing-folder")));
}

TEST_F(SettingsFile, DamagedFilesOfEveryLengthLoadInRange)
{
    std::mt19937 random(1234);
    for (int length = 0; length <= 700; ++length) {
        for (int withMarkers = 0; withMarkers < 2; ++withMarkers) {
            std::vector<unsigned char> bytes(length);
            for (auto& b : bytes) b = static_cast<unsigned char>(random());
            if (withMarkers && length >= 444) std::memcpy(&bytes[440], "vok", 4);
            if (withMarkers && length >= 580) std::memcpy(&bytes[576], "vok", 4);
            writeBytes(file, bytes.data(), bytes.size());
            load();
            SCOPED_TRACE(length);
            EXPECT_PRED3(within, settings.itemCount, 0, 15);
            for (const PanelItem& item : settings.items)
                EXPECT_TRUE(item.currency <= 43 && item.currency2 <= 43 && item.digits <= 4);
            EXPECT_PRED3(within, settings.historyLength, 1, MaxHistoryLength);
            EXPECT_PRED3(within, settings.panelFont.lfHeight, 5, 47);
            EXPECT_PRED3(within, settings.converterFrom, 0, 44);
            EXPECT_PRED3(within, settings.converterTo, 0, 44);
            EXPECT_LE(settings.chartCurrency, 43);
            EXPECT_EQ(settings.panelFont.lfFaceName[31], 0);
            EXPECT_EQ(settings.proxy[64], 0);
            EXPECT_EQ(std::memcmp(settings.magic2, "vok", 4), 0);
        }
    }
}

TEST_F(SettingsFile, ClampingKeepsEveryOtherByte)
{
    std::vector<unsigned char> image = expectedDefaultFile(15);
    put32(image, 180, 99);          // itemCount
    image[184 + 2] = 50;            // currency of item 0, past the list
    image[184 + 16 + 13] = 9;       // digits of item 1
    put32(image, 108, 0xFFFFFFF0);  // historyLength negative
    image[176] = 0x80;              // converterFrom -128
    image[177] = 45;                // converterTo, past the list
    image[200] = 0x5A;              // reserved bytes are carried through
    writeBytes(file, image.data(), image.size());
    load();
    EXPECT_EQ(settings.itemCount, 15);
    EXPECT_EQ(settings.items[0].currency, 43);
    EXPECT_EQ(settings.items[1].digits, 4);
    EXPECT_EQ(settings.historyLength, 1);
    EXPECT_EQ(settings.converterFrom, 0);
    EXPECT_EQ(settings.converterTo, 44);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(&settings)[200], 0x5A);
    EXPECT_EQ(settings.updateFlags, 40);
}

TEST_F(SettingsFile, ADamagedFontHeightComesIntoTheFieldsRange)
{
    const struct {
        uint32_t stored;
        int32_t loaded;
    } heights[] = {{0xFFFFFF9Cu, 5}, {0, 5}, {4, 5}, {5, 5}, {24, 24}, {47, 47}, {48, 47}, {0x7FFFFFFFu, 47}};
    for (const auto& c : heights) {
        std::vector<unsigned char> image = expectedDefaultFile(15);
        put32(image, 12, c.stored);
        writeBytes(file, image.data(), image.size());
        load();
        EXPECT_EQ(settings.panelFont.lfHeight, c.loaded) << c.stored;
        EXPECT_EQ(settings.panelFont.lfWeight, 700);
    }
}

// With no place for the data files (the library's path too long) nothing is
// written anywhere, not even a temporary file in the working folder, and the
// settings and history still work in memory.
TEST(DataFiles, NoPlaceForTheFilesWritesNothingAnywhere)
{
    ScratchFolder folder;
    std::filesystem::path saved = std::filesystem::current_path();
    ASSERT_EQ(chdir(folder.dir.c_str()), 0);
    writeBytes(folder.file(".tmp"), "keep", 4);  // somebody's file

    loadSettings(u"", 96);
    EXPECT_EQ(settings.historyLength, 15);
    EXPECT_EQ(std::memcmp(settings.magic2, "vok", 4), 0);
    saveSettings(u"");
    loadHistory(u"", 15);
    DayRates day{};
    day.code = makeDayCode(8, 12, 2026);
    day.rates[0] = RateEntry{1, 91.5f};
    storeDay(day);
    EXPECT_EQ(findDay(day.code).rates[0].rate, 91.5f);
    EXPECT_FALSE(replaceFileContents(u"", "x", 1));
    freeHistory();

    std::filesystem::current_path(saved);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.dir)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
    EXPECT_EQ(readBytes(folder.file(".tmp")), (std::vector<unsigned char>{'k', 'e', 'e', 'p'}));
}

TEST(DataPath, ReplacesOnlyTheModuleName)
{
    char16_t out[260];
    const char16_t* const cases[][3] = {
        {u"\\Windows\\vokcurrency.dll", u"vokCurrency.set", u"\\Windows\\vokCurrency.set"},
        {u"C:\\Program Files\\vok\\vokcurrency.dll", u"vokCurrency.his", u"C:\\Program Files\\vok\\vokCurrency.his"},
        {u"vokcurrency.dll", u"vokCurrency.set", u"vokCurrency.set"},
        {u"/tmp/x/vokcurrency.dll", u"a.png", u"/tmp/x/a.png"}};
    for (const auto& c : cases) {
        EXPECT_TRUE(composeDataPath(out, 260, c[0], c[1]));
        EXPECT_EQ(std::u16string(out), c[2]);
    }

    // A path that would not fit is refused, never cut into another file's name.
    std::u16string deep = u"C:\\" + std::u16string(250, u'd') + u"\\vokcurrency.dll";
    out[0] = u'?';
    EXPECT_FALSE(composeDataPath(out, 260, deep.c_str(), u"vokCurrency.set"));
    EXPECT_EQ(out[0], 0);
    char16_t small[9];
    EXPECT_TRUE(composeDataPath(small, 9, u"\\a\\b.dll", u"c.set"));
    EXPECT_EQ(std::u16string(small), u"\\a\\c.set");
    EXPECT_FALSE(composeDataPath(small, 9, u"\\a\\b.dll", u"cd.set"));
}

TEST(SettingsRecord, TheChartCurrencyLivesInASpareByte)
{
    Settings s;
    std::memset(&s, 0, sizeof s);
    s.chartCurrency = 43;
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&s)[179], 43);
    clampSettings(s);
    EXPECT_EQ(s.chartCurrency, 43);
    s.chartCurrency = 44;
    clampSettings(s);
    EXPECT_EQ(s.chartCurrency, 0);
}
