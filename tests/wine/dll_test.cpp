// The library as the host sees it: exports, attach, resources.
#include <cstring>

#include "harness.h"
#include "resources/resource.h"

namespace {

// The export directory of a loaded module, read straight from its PE image; null without one.
const IMAGE_EXPORT_DIRECTORY* exportsOf(HMODULE module)
{
    auto* image = reinterpret_cast<const unsigned char*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    DWORD at = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress;
    return at ? reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(image + at) : nullptr;
}

}  // namespace

TEST(PluginLibrary, ExportsTwoOrdinalsAndNoNames)
{
    PluginHost plugin;
    ASSERT_TRUE(plugin.loadLibrary());
    HMODULE dll = plugin.dll;
    const IMAGE_EXPORT_DIRECTORY* exports = exportsOf(dll);
    ASSERT_NE(exports, nullptr);
    EXPECT_EQ(exports->NumberOfNames, 0u);
    std::vector<DWORD> ordinals;  // those with a non-zero address
    auto* functions = reinterpret_cast<const DWORD*>(reinterpret_cast<const BYTE*>(dll) + exports->AddressOfFunctions);
    for (DWORD i = 0; i < exports->NumberOfFunctions; ++i)
        if (functions[i]) ordinals.push_back(exports->Base + i);
    EXPECT_EQ(ordinals, (std::vector<DWORD>{240, 241}));
    EXPECT_NE(GetProcAddress(dll, MAKEINTRESOURCEA(240)), nullptr);
    EXPECT_NE(GetProcAddress(dll, MAKEINTRESOURCEA(241)), nullptr);
    EXPECT_EQ(GetProcAddress(dll, "InitializeCustomItem"), nullptr);
    EXPECT_EQ(GetProcAddress(dll, "CustomItemOptionsDlgProc"), nullptr);
}

TEST(PluginLibrary, AttachCreatesDefaultSettingsBesideTheLibrary)
{
    PluginHost plugin;
    std::wstring settingsFile = plugin.folder.file(L"vokCurrency.set");
    ASSERT_TRUE(readFileBytes(settingsFile).empty());
    ASSERT_TRUE(plugin.loadLibrary());
    ASSERT_EQ(readFileBytes(settingsFile).size(), 584u);
    Settings stored = plugin.storedSettings();
    EXPECT_EQ(std::memcmp(stored.magic, "vok", 4), 0);
    EXPECT_EQ(std::memcmp(stored.magic2, "vok", 4), 0);
    EXPECT_EQ(stored.updateFlags, 40);  // after the bank publishes, no daily time
    EXPECT_EQ(stored.historyLength, 15);
    EXPECT_EQ(stored.panelFont.lfHeight, defaultFontHeight());
    EXPECT_EQ(GetFileAttributesW(plugin.folder.file(L"vokCurrency.set.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(PluginLibrary, RussianStringsSurviveTheResourceCompiler)
{
    PluginHost plugin;
    ASSERT_TRUE(plugin.loadLibrary());
    wchar_t text[64] = {};
    ASSERT_GT(LoadStringW(plugin.dll, IDS_OPTIONS_CANCEL, text, 64), 0);
    EXPECT_STREQ(text, L"Отмена");
    ASSERT_GT(LoadStringW(plugin.dll, IDS_CONVERTER, text, 64), 0);
    EXPECT_STREQ(text, L"Конвертер");
}

TEST(PluginLibrary, TheHostDrivesTheItemWindow)
{
    PluginHost plugin;
    ASSERT_TRUE(plugin.load(false));
    auto initialize = initializeEntry(plugin.dll);
    ASSERT_NE(initialize, nullptr);
    HWND host = plugin.host, first = plugin.panel;
    HostItem& item = plugin.item;
    EXPECT_EQ(GetParent(first), host);
    EXPECT_EQ(FindWindowExW(host, nullptr, L"vokCurrencyCls", nullptr), first);  // its class, by name
    EXPECT_EQ(SendMessageW(first, ItemQueryRefresh, WPARAM(&item), 0), 1);
    EXPECT_EQ(int(item.cyp), defaultFontHeight() + 2);
    EXPECT_EQ(SendMessageW(first, ItemQueryRefresh, WPARAM(&item), 0), 0);

    // A settings file written between two calls is in force for the second window.
    ASSERT_EQ(readFileBytes(plugin.folder.file(L"vokCurrency.set")).size(), 584u);
    Settings changed = plugin.storedSettings();
    changed.panelFont.lfHeight = 20;
    writeFileBytes(plugin.folder.file(L"vokCurrency.set"), &changed, sizeof changed);
    HWND second = initialize(&item, host);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(SendMessageW(second, ItemQueryRefresh, WPARAM(&item), 0), 1);
    EXPECT_EQ(item.cyp, 22u);
    plugin.unload();
}

// A library whose full path is longer than the platform's limit can't name its
// data files beside itself: it works from memory and writes nothing anywhere,
// the host's working folder included.
TEST(PluginLibrary, AnOverlongPathWritesNoFileAnywhere)
{
    PluginFolder working;
    std::vector<std::wstring> folders;
    std::wstring deep = L"\\\\?\\" + working.dir;
    while (deep.size() < 300) {
        deep += L"\\" + std::wstring(40, L'd');
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr)) << GetLastError();
        folders.push_back(deep);
    }
    std::wstring deepDll = deep + L"\\vokcurrency.dll";
    ASSERT_TRUE(CopyFileW(working.file(L"vokcurrency.dll").c_str(), deepDll.c_str(), FALSE));
    wchar_t savedFolder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, savedFolder);
    ASSERT_TRUE(SetCurrentDirectoryW(working.dir.c_str()));
    writeFileBytes(working.file(L".tmp"), "keep", 4);  // somebody's file

    HMODULE dll = LoadLibraryW(deepDll.c_str());
    ASSERT_NE(dll, nullptr) << GetLastError();
    HWND host = makeTodayScreen(L"host");
    HostItem item{};
    HWND panel = initializeEntry(dll)(&item, host);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(SendMessageW(panel, ItemQueryRefresh, WPARAM(&item), 0), 1);
    EXPECT_EQ(item.cyp, 17u);  // the default settings, from memory
    DestroyWindow(host);
    FreeLibrary(dll);
    SetCurrentDirectoryW(savedFolder);

    EXPECT_EQ(readFileBytes(working.file(L".tmp")), (std::vector<unsigned char>{'k', 'e', 'e', 'p'}));
    for (const wchar_t* name : {L"vokCurrency.set", L"vokCurrency.his", L"vokCurrency.set.tmp"}) {
        EXPECT_EQ(GetFileAttributesW(working.file(name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
        EXPECT_EQ(GetFileAttributesW((deep + L"\\" + name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    }
    DeleteFileW(deepDll.c_str());
    for (auto f = folders.rbegin(); f != folders.rend(); ++f) RemoveDirectoryW(f->c_str());
}

TEST(PluginLibrary, DetachWithoutAWindowAndLoadAgain)
{
    PluginHost plugin;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(plugin.loadLibrary());
        plugin.unload();
    }
    // The class went with the library: a fresh load registers it again and works.
    EXPECT_TRUE(plugin.load(false));
}
