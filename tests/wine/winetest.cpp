#include "winetest.h"

#include <cstring>

#include "data/settings.h"

#include <cstdio>

std::wstring buildFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L"\\/"));
}

InitializeItem initializeEntry(HMODULE dll)
{
    return reinterpret_cast<InitializeItem>(reinterpret_cast<void*>(GetProcAddress(dll, MAKEINTRESOURCEA(240))));
}

void writeSettingsThroughProxy(const PluginFolder& folder, int port)
{
    settings.useProxy = 1;
    std::wstring proxy = L"127.0.0.1:" + std::to_wstring(port);
    for (size_t i = 0; i <= proxy.size(); ++i) settings.proxy[i] = char16_t(proxy.c_str()[i]);
    std::memcpy(settings.magic2, "vok", 4);
    writeFileBytes(folder.file(L"vokCurrency.set"), &settings, sizeof settings);
}

int defaultFontHeight()
{
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi >= 192 ? 24 : 15;
}

int itemsInLine(const std::vector<bool>& ink, int minGap)
{
    int items = 0, gap = minGap;
    for (bool inked : ink) {
        if (!inked) { ++gap; continue; }
        if (gap >= minGap) ++items;
        gap = 0;
    }
    return items;
}

PluginFolder::PluginFolder()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int counter;
    dir = std::wstring(temp) + L"voktest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(++counter);
    CreateDirectoryW(dir.c_str(), nullptr);
    for (const wchar_t* name : {L"vokcurrency.dll", L"vokCurrency.png", L"vokCurrencyHIDPI.png"})
        CopyFileW((buildFolder() + L"\\" + name).c_str(), file(name).c_str(), FALSE);
}

PluginFolder::~PluginFolder()
{
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW(file(found.cFileName).c_str());
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}

std::vector<unsigned char> readFileBytes(const std::wstring& path)
{
    std::vector<unsigned char> out;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return out;
    unsigned char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    fclose(f);
    return out;
}

void writeFileBytes(const std::wstring& path, const void* data, size_t size)
{
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    fwrite(data, 1, size, f);
    fclose(f);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
