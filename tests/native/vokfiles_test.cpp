// vokfiles: the settings fields by name, a history day as a line, and the tool itself
// run on scratch files.
#include "testutil.h"

#include "data/companion.h"

#include <sys/wait.h>

#include "data/settingsfields.h"
#include "tools/filefields.h"

namespace {

std::string field(const Settings& s, const char* name)
{
    char text[512];
    if (!formatSettingsField(s, name, text, sizeof text)) return "<none>";
    return text;
}

TEST(SettingsFields, EveryKindOfFieldReadsBackWhatWasSet)
{
    static Settings s;
    setDefaultSettings(s, 96);
    struct Case {
        const char* name;
        const char* text;
        const char* shown;
    } cases[] = {
        {"useProxy", "1", "1"},
        {"proxy", "127.0.0.1:8080", "127.0.0.1:8080"},
        {"panelFont.lfHeight", "13", "13"},
        {"panelFont.lfFaceName", "Тахома", "Тахома"},
        {"converterFrom", "-3", "-3"},
        {"converterAmount", "2.5", "2.5"},
        {"converterAmount", "2,25", "2.25"},  // a comma reads as the point, whatever the locale
        {"itemColumnWidths", "1,2,3,4,65535", "1,2,3,4,65535"},
        {"items[15].colour", "0xff00", "0x00ff00"},
        {"items[2].digits", "4", "4"},
        {"updateInterval", "-7", "-7"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(parseSettingsField(s, c.name, c.text)) << c.name;
        EXPECT_EQ(field(s, c.name), c.shown) << c.name;
    }
    EXPECT_EQ(s.panelFont.lfHeight, 13);
    EXPECT_EQ(s.proxy[10], u'8');
    EXPECT_EQ(s.items[15].colour, 0xff00u);
}

TEST(SettingsFields, BadNamesAndValuesChangeNothing)
{
    static Settings s, before;
    setDefaultSettings(s, 96);
    before = s;
    const std::string tooLongProxy(65, 'x'), tooLongFace(32, 'a');
    const char* const cases[][2] = {
        {"nothing", "1"},
        {"useProxy", "256"},
        {"useProxy", "-1"},
        {"useProxy", ""},
        {"useProxy", "1x"},
        {"converterFrom", "128"},
        {"converterAmount", "1e999"},
        {"updateInterval", "2147483648"},
        {"itemColumnWidths", "1,2,3,4"},
        {"itemColumnWidths", "1,2,3,4,5,6"},
        {"items[16].digits", "1"},
        {"items[1].nothing", "1"},
        {"items[].digits", "1"},
        {"proxy", tooLongProxy.c_str()},
        {"proxy", "\xff"},
        {"panelFont.lfFaceName", tooLongFace.c_str()},
    };
    for (const auto& c : cases) EXPECT_FALSE(parseSettingsField(s, c[0], c[1])) << c[0] << "=" << c[1];
    EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0);
    EXPECT_EQ(field(s, "proxy"), "");
    EXPECT_TRUE(parseSettingsField(s, "proxy", std::string(64, 'x').c_str()));  // the longest that fits
}

TEST(SettingsFields, ListingNamesTheItemsInUseOnly)
{
    static Settings s;
    setDefaultSettings(s, 96);
    std::string names;
    forEachSettingsField(
        s, [](const char* name, void* out) { *static_cast<std::string*>(out) += std::string(name) + "\n"; }, &names);
    EXPECT_NE(names.find("\nproxy\n"), std::string::npos);
    EXPECT_NE(names.find("items[2].digits\n"), std::string::npos);
    EXPECT_EQ(names.find("items[3]."), std::string::npos);
    for (const SettingsField& f : settingsFields) {  // every field of the record
        size_t at = names.find(std::string(f.name) + "\n");
        EXPECT_NE(at, std::string::npos) << f.name;
        EXPECT_TRUE(at == 0 || names[at - 1] == '\n') << f.name;
    }
    char small[4];
    EXPECT_FALSE(formatSettingsField(s, "historyColumnWidths", small, sizeof small));
}

TEST(HistoryText, ADayIsOneLineOfItsRatesOnly)
{
    DayRates day{};
    day.code = makeDayCode(5, 12, 2026);
    day.rates[0] = {1, 91.25f};
    day.rates[4] = {100, 53.4f};
    char line[256];
    ASSERT_TRUE(formatHistoryDay(day, line, sizeof line));
    EXPECT_EQ(std::string(line), std::string("05.12.2026  ") + isoCode[0] + " 1 91.2500  " + isoCode[4] + " 100 53.4000");
    char small[16];
    EXPECT_FALSE(formatHistoryDay(day, small, sizeof small));
}

#ifdef VOK_VOKFILES
// Runs the tool; its output and exit status.
int run(const std::string& args, std::string& out)
{
    out.clear();
    FILE* pipe = popen((std::string(VOK_VOKFILES) + " " + args + " 2>/dev/null").c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(VokfilesTool, PreparesAFreshFolderAsTheDemoDoes)
{
    ScratchFolder folder;
    std::string set = folder.file("vokCurrency.set"), out;
    EXPECT_EQ(run("settings " + set, out), 1);  // nothing there yet
    EXPECT_FALSE(fileExists(set));
    ASSERT_EQ(run("settings " + set + " useProxy=1 proxy=127.0.0.1:4321 panelFont.lfHeight=13", out), 0);
    std::vector<unsigned char> bytes = readBytes(set);
    ASSERT_EQ(bytes.size(), 584u);
    EXPECT_EQ(bytes[444], 1);
    EXPECT_EQ(bytes[446], '1');
    EXPECT_EQ(bytes[446 + 2 * 13], '1');
    EXPECT_EQ(bytes[12], 13);
    EXPECT_EQ(std::memcmp(&bytes[576], "vok", 4), 0);
    EXPECT_EQ(run("settings " + set + " proxy panelFont.lfHeight historyLength", out), 0);
    EXPECT_EQ(out, "127.0.0.1:4321\n13\n15\n");
    EXPECT_EQ(run("settings " + set, out), 0);
    EXPECT_NE(out.find("\nuseProxy=1\nproxy=127.0.0.1:4321\n"), std::string::npos);
    EXPECT_NE(out.find("\nvisibleItems=3\nchartCurrency=0\nitemCount=3\n"), std::string::npos);
    EXPECT_NE(out.find("\npanelFont.lfWidth=0\n"), std::string::npos);
    // One bad assignment: nothing of the others is written either.
    EXPECT_EQ(run("settings " + set + " useProxy=0 proxy=" + std::string(70, 'x'), out), 2);
    EXPECT_EQ(readBytes(set), bytes);
    // The listing names updateFlags' bits on a comment line of its own.
    ASSERT_EQ(run("settings " + set + " updateFlags=234", out), 0);
    EXPECT_EQ(run("settings " + set, out), 0);
    EXPECT_EQ(out.find("updateFlags=234\n# updateFlags: updateDaily, updateOnConnect, updateOnPublication, "
                       "bit 6, bit 7\nupdateInterval="), 0u);
}

TEST(VokfilesTool, PrintsTheStoredDaysOnePerLine)
{
    ScratchFolder folder;
    std::string his = folder.file("vokCurrency.his"), out;
    std::vector<DayRates> days(4);
    days[0].code = makeDayCode(6, 12, 2026);
    days[0].rates[1] = {1, 80.5f};
    days[2].code = makeDayCode(4, 12, 2026);  // after an empty slot: still shown
    writeHistoryFile(his, days);
    ASSERT_EQ(run("history " + his, out), 0);
    const std::string lines = std::string("06.12.2026  ") + isoCode[1] + " 1 80.5000\n04.12.2026\n";
    EXPECT_EQ(out, lines + "companion file missing: the rates of currencies 18 to 44 are absent\n");
    // The companion file's rates, and a line on what it held.
    days[0].rates[17] = {1, 11.25f};
    std::vector<unsigned char> image(companionImageSize(days.data(), 4));
    writeCompanionImage(days.data(), 4, image.data());
    writeBytes(folder.file("vokCurrency.hix"), image.data(), image.size());
    ASSERT_EQ(run("history " + his, out), 0);
    EXPECT_EQ(out, std::string("06.12.2026  ") + isoCode[1] + " 1 80.5000  CNY 1 11.2500\n04.12.2026\n" +
                       "companion file: the other currencies' rates of 2 of 2 days\n");
    EXPECT_EQ(run("history " + folder.file("missing.his"), out), 1);
    EXPECT_EQ(run("nothing " + his, out), 2);
}
#endif

}  // namespace
