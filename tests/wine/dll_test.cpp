// The library as the host sees it: exports, attach, resources.
#include <cstring>

#include "winetest.h"

namespace {

// Reads the export directory of a loaded module straight from its PE image.
struct ExportInfo {
    DWORD base = 0, functionCount = 0, nameCount = 0;
    std::vector<DWORD> ordinals;  // ordinals with a non-zero address
};

ExportInfo readExports(HMODULE module)
{
    ExportInfo info;
    auto* image = reinterpret_cast<const unsigned char*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (dir.VirtualAddress == 0) return info;
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(image + dir.VirtualAddress);
    info.base = exports->Base;
    info.functionCount = exports->NumberOfFunctions;
    info.nameCount = exports->NumberOfNames;
    auto* functions = reinterpret_cast<const DWORD*>(image + exports->AddressOfFunctions);
    for (DWORD i = 0; i < exports->NumberOfFunctions; ++i)
        if (functions[i]) info.ordinals.push_back(exports->Base + i);
    return info;
}

}  // namespace

TEST(PluginLibrary, ExportsTwoOrdinalsAndNoNames)
{
    PluginFolder folder;
    HMODULE dll = LoadLibraryW(folder.file(L"vokcurrency.dll").c_str());
    ASSERT_NE(dll, nullptr) << GetLastError();
    ExportInfo info = readExports(dll);
    EXPECT_EQ(info.nameCount, 0u);
    EXPECT_EQ(info.ordinals, (std::vector<DWORD>{240, 241}));
    EXPECT_NE(GetProcAddress(dll, MAKEINTRESOURCEA(240)), nullptr);
    EXPECT_NE(GetProcAddress(dll, MAKEINTRESOURCEA(241)), nullptr);
    EXPECT_EQ(GetProcAddress(dll, "InitializeCustomItem"), nullptr);
    EXPECT_EQ(GetProcAddress(dll, "CustomItemOptionsDlgProc"), nullptr);
    FreeLibrary(dll);
}

TEST(PluginLibrary, AttachCreatesDefaultSettingsBesideTheLibrary)
{
    PluginFolder folder;
    std::wstring settingsFile = folder.file(L"vokCurrency.set");
    ASSERT_TRUE(readFileBytes(settingsFile).empty());
    HMODULE dll = LoadLibraryW(folder.file(L"vokcurrency.dll").c_str());
    ASSERT_NE(dll, nullptr);
    std::vector<unsigned char> bytes = readFileBytes(settingsFile);
    ASSERT_EQ(bytes.size(), 584u);
    EXPECT_EQ(std::memcmp(&bytes[440], "vok", 4), 0);
    EXPECT_EQ(std::memcmp(&bytes[576], "vok", 4), 0);
    EXPECT_EQ(bytes[0], 10);
    EXPECT_EQ(bytes[108], 15);
    // Wine's null driver reports 96 pixels per inch: the ordinary font height.
    EXPECT_EQ(bytes[12], 15);
    EXPECT_EQ(GetFileAttributesW(folder.file(L"vokCurrency.set.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
    FreeLibrary(dll);
}

TEST(PluginLibrary, RussianStringsSurviveTheResourceCompiler)
{
    PluginFolder folder;
    HMODULE dll = LoadLibraryW(folder.file(L"vokcurrency.dll").c_str());
    ASSERT_NE(dll, nullptr);
    wchar_t text[64] = {};
    ASSERT_GT(LoadStringW(dll, 40006, text, 64), 0);
    EXPECT_STREQ(text, L"\x041E\x0442\x043C\x0435\x043D\x0430");  // "Отмена"
    ASSERT_GT(LoadStringW(dll, 40015, text, 64), 0);
    EXPECT_STREQ(text, L"\x041A\x043E\x043D\x0432\x0435\x0440\x0442\x0435\x0440");  // "Конвертер"
    FreeLibrary(dll);
}
