// Shared helpers of the Wine tests: the DLL under test, copied into a scratch folder.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

// A fresh folder holding a copy of vokcurrency.dll (and the icon strips when built);
// removed with everything in it at the end.
class PluginFolder {
public:
    PluginFolder();
    ~PluginFolder();
    std::wstring file(const wchar_t* name) const { return dir + L"\\" + name; }
    std::wstring dir;
};

// The host's record for an item as any Today host lays it out: only cyp matters
// to the plug-in. Spelled out here, not taken from our own header, so the tests
// check what a foreign host would pass.
struct HostItem {
    wchar_t szName[32];
    int tlit;
    DWORD dwOrder;
    DWORD cyp;
    BYTE rest[648 - 76];
};
static_assert(offsetof(HostItem, cyp) == 72, "cyp where the host keeps it");

// The DLL's InitializeCustomItem, found by its ordinal as a host finds it.
using InitializeItem = HWND(WINAPI*)(HostItem*, HWND);
InitializeItem initializeEntry(HMODULE dll);

// Writes the test's settings record into folder as the plug-in's settings file,
// routed through 127.0.0.1:port as its proxy (the loopback test service).
void writeSettingsThroughProxy(const PluginFolder& folder, int port);

std::vector<unsigned char> readFileBytes(const std::wstring& path);
void writeFileBytes(const std::wstring& path, const void* data, size_t size);
// The plug-in's default panel font height on this screen: larger from 192 dpi on.
int defaultFontHeight();
// How many items a panel line shows, from which of its pixel columns hold ink: the
// items are the stretches between gaps at least minGap wide. Items are set three
// spaces apart, so the width of two spaces in the panel's font tells them from the
// single space inside an item, whatever the font.
int itemsInLine(const std::vector<bool>& ink, int minGap);
// The folder the test binary runs from, where the build put the DLL.
std::wstring buildFolder();

// Checks that each visible control of parent shows its whole text inside its own
// rectangle and inside parent, with a few pixels to spare, and that no sibling paints
// over a text.
struct Ink {
    HWND control;
    RECT rect;  // where the control draws, in its parent's client coordinates
};
std::vector<Ink> checkTexts(HWND parent, const char* where);
void checkNoOverlap(const std::vector<Ink>& inks, const char* where);
