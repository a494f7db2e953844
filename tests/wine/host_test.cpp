// The desktop Today host, run as its own process with a stand-in plug-in.
#include "fakeplugin/fakeplugin.h"
#include "harness.h"

namespace {

std::string runHost(PluginFolder& folder, const std::wstring& arguments)
{
    CopyFileW((buildFolder() + L"\\fakeplugin.dll").c_str(), folder.file(L"fakeplugin.dll").c_str(), FALSE);
    {
        HostProcess host(folder.file(L"fakeplugin.dll"), arguments);
        if (!host.started) return "could not start";
        EXPECT_TRUE(host.ended(30000)) << "the host did not exit when asked";
    }
    std::vector<unsigned char> log = readFileBytes(folder.file(L"fakeplugin.log"));
    return std::string(log.begin(), log.end());
}

// The mean time between the host's refresh queries, from the stand-in's "tick at"
// lines; 0 with fewer than two. A busy machine only ever makes it longer.
int meanTickInterval(const std::string& log)
{
    std::vector<long> times;
    for (size_t at = log.find("tick at "); at != std::string::npos; at = log.find("tick at ", at + 1))
        times.push_back(std::stol(log.substr(at + 8)));
    return times.size() < 2 ? 0 : int((times.back() - times.front()) / long(times.size() - 1));
}

int count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(TodayHost, DrivesAPluginThroughItsOrdinals)
{
    PluginFolder folder;
    std::string log = runHost(folder, L"--tick-ms 100 --exit-after-ms 2000 --open-settings");
    EXPECT_EQ(count(log, "attach"), 1) << log;
    EXPECT_EQ(count(log, "init"), 1) << log;
    // Ticks every 100 ms: some in two seconds, never faster than asked.
    int queries = count(log, "query height");
    EXPECT_GE(queries, 5) << log;
    EXPECT_GE(meanTickInterval(log), 90) << log;
    // The first answer asked for 33 pixels: the item has them from the next query on.
    EXPECT_NE(log.find("query height 0"), std::string::npos) << log;
    EXPECT_GE(count(log, "query height 33"), queries - 2) << log;
    // "Settings" opened the plug-in's template IDD_OPTIONS with ordinal 241 as its procedure.
    EXPECT_EQ(count(log, "options dialog " + std::to_string(IDC_FAKE_LABEL)), 1) << log;
    // Exit unloads the plug-in: its detach ran last.
    ASSERT_GE(log.size(), 7u);
    EXPECT_EQ(log.substr(log.size() - 7), "detach\n") << log;
}

TEST(TodayHost, SlowerTicksWhenAsked)
{
    PluginFolder folder;
    std::string log = runHost(folder, L"--tick-ms 500 --exit-after-ms 2000");
    EXPECT_GE(count(log, "query height"), 2) << log;
    EXPECT_GE(meanTickInterval(log), 450) << log;
    EXPECT_EQ(count(log, "options dialog"), 0) << log;
}

// The plug-in's notifications as the stand-in hands them to the host: each a small
// window over the screen whose text a test reads; its time closes the second, a
// removal by its number the third, a tap the first. What is no notification is refused.
TEST(TodayHost, ShowsEachNotificationUntilATapItsTimeOrItsRemoval)
{
    PluginFolder folder;
    CopyFileW((buildFolder() + L"\\fakeplugin.dll").c_str(), folder.file(L"fakeplugin.dll").c_str(), FALSE);
    HostProcess host(folder.file(L"fakeplugin.dll"), L"--tick-ms 500");
    HWND screen = nullptr;
    ASSERT_TRUE(pumpUntil([&] { return (screen = host.window(L"vokTodayScreen", nullptr)) != nullptr; }, 10000));
    auto send = [&](ULONG_PTR kind, DWORD id, DWORD seconds, const wchar_t* text, DWORD size = 520) {
        NotificationMessage message = {id, seconds, L"vok Currency", L""};
        lstrcpynW(message.text, text, 192);
        COPYDATASTRUCT copy = {kind, size, &message};
        return SendMessageW(screen, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
    };
    auto shown = [&] {
        std::vector<std::wstring> texts;
        for (HWND w = nullptr; (w = FindWindowExW(screen, w, L"vokTodayNotification", nullptr));)
            texts.push_back(windowText(w));
        return texts;
    };
    const wchar_t* usd = L"USD выше 100,0000: 101,2345 (11.12.2026)";
    EXPECT_TRUE(send(NotificationAddData, 1, 60, usd) && send(NotificationAddData, 2, 1, L"EUR") &&
                send(NotificationAddData, 3, 60, L"third"));
    EXPECT_FALSE(send(NotificationAddData, 4, 60, L"cut", 12) || send(0x1234, 5, 60, L"not ours"));
    EXPECT_EQ(shown().size(), 3u);
    EXPECT_TRUE(pumpUntil([&] { return shown().size() == 2; }, 10000));
    EXPECT_TRUE(send(NotificationRemoveData, 3, 0, L""));
    ASSERT_EQ(shown(), std::vector<std::wstring>{L"vok Currency\n" + std::wstring(usd)});
    PostMessageW(FindWindowExW(screen, nullptr, L"vokTodayNotification", nullptr), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_TRUE(pumpUntil([&] { return shown().empty(); }, 10000));
}
