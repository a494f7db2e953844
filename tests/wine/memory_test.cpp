// Memory at rest: the real DLL in a test host, its clock, paints and updates from a
// loopback service, measured around a long run. The plug-in lives in the shell for
// as long as the device is on, so none of this may leave memory, GDI objects or
// windows behind.
#include <cstdio>

#include "httpserver.h"
#include "harness.h"

#include <winternl.h>

namespace {

// Committed private memory of the process, as a walk of its address space finds it
// (Wine reports no PrivateUsage).
SIZE_T privateBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const BYTE* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

// GDI objects of the process. GetGuiResources where it answers; Wine's answers 0,
// so then the live entries of the process's GDI handle table (PEB offset 0xF8,
// 24-byte entries, type byte at offset 14; stock objects carry bit 7 of byte 12).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"  // the TEB read through the gs segment
DWORD gdiObjects()
{
    if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return n;
    const BYTE* peb = reinterpret_cast<const BYTE*>(NtCurrentTeb()->ProcessEnvironmentBlock);
    const BYTE* table = *reinterpret_cast<const BYTE* const*>(peb + 0xF8);
    if (!table) return 0;
    DWORD n = 0;
    for (const BYTE* entry = table; entry < table + 24 * 0x10000; entry += 24)
        if (entry[14] != 0 && !(entry[12] & 0x80)) ++n;
    return n;
}
#pragma GCC diagnostic pop

BOOL CALLBACK countWindow(HWND window, LPARAM count)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) {
        ++*reinterpret_cast<DWORD*>(count);
        EnumChildWindows(window, countWindow, count);
    }
    return TRUE;
}

// USER objects of the process: GetGuiResources where it answers, else its windows
// (top-level, children and message-only).
DWORD userObjects()
{
    if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)) return n;
    DWORD n = 0;
    EnumWindows(countWindow, reinterpret_cast<LPARAM>(&n));
    for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr))
        countWindow(w, reinterpret_cast<LPARAM>(&n));
    return n;
}

struct Figures {
    SIZE_T privateBytes;
    DWORD gdi, user;
};

Figures measure() { return Figures{privateBytes(), gdiObjects(), userObjects()}; }

}  // namespace

TEST(Memory, TheCountersSeeWhatTheyCount)
{
    Figures before = measure();
    HBRUSH brushes[20];
    for (HBRUSH& b : brushes) b = CreateSolidBrush(RGB(1, 2, 3));
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    void* block = VirtualAlloc(nullptr, 1 << 20, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    Figures during = measure();
    EXPECT_GE(during.gdi, before.gdi + 20);
    EXPECT_GE(during.user, before.user + 1);
    EXPECT_GE(during.privateBytes, before.privateBytes + (1 << 20));
    VirtualFree(block, 0, MEM_RELEASE);
    DestroyWindow(window);
    for (HBRUSH b : brushes) DeleteObject(b);
    Figures after = measure();
    EXPECT_EQ(after.gdi, before.gdi);
    EXPECT_EQ(after.user, before.user);
}

TEST(Memory, TicksPaintsAndUpdatesLeaveNothingBehind)
{
    TestHttpServer service;
    ASSERT_TRUE(service.start());
    service.respondWith(serving(todaysDocument(localNow())));

    PluginHost plugin;
    setDefaultSettings(settings, 96);
    settings.updateFlags &= ~(UpdateEvery | UpdateDaily);  // updates come from the taps below only
    plugin.prepare(service.port(), {});
    ASSERT_TRUE(plugin.load(false));
    plugin.query();

    // One update: a tap on the icon, repeated until the service has been asked once
    // more (a tap while the last update still shows its result starts nothing).
    // Taps stay 300 ms apart: two within 250 ms are a double tap.
    DWORD lastTap = GetTickCount() - 1000;
    auto update = [&]() {
        size_t asked = service.requests().size();
        return pumpUntil([&] {
            if (service.requests().size() > asked) return true;
            if (GetTickCount() - lastTap >= 300) {
                plugin.tap(2, 2);
                lastTap = GetTickCount();
            }
            return false;
        }, 10000);
    };
    // Settles: the worker shows its result for 500 ms, then ends.
    auto settle = [&]() {
        pumpFor(1500);
        plugin.repaint();
    };

    // Warm-up: the first updates, paints and ticks make what lives for the whole run
    // (in the process and the platform's libraries as much as in the plug-in).
    for (int round = 0; round < 3; ++round) {
        for (int tick = 0; tick < 100; ++tick) SendMessageW(plugin.panel, ItemQueryRefresh, WPARAM(&plugin.item), 0);
        plugin.repaint();
        ASSERT_TRUE(update());
        settle();
    }
    Figures before = measure();

    int updates = 0;
    for (int round = 0; round < 20; ++round) {
        for (int tick = 0; tick < 500; ++tick) SendMessageW(plugin.panel, ItemQueryRefresh, WPARAM(&plugin.item), 0);
        for (int i = 0; i < 5; ++i) plugin.repaint();
        updates += update() ? 1 : 0;
        pumpFor(0);
    }
    settle();
    Figures after = measure();
    std::printf("[ memory   ] 10000 ticks, 100 paints, %d updates: private bytes %zu -> %zu, "
                "GDI objects %lu -> %lu, USER objects %lu -> %lu\n",
                updates, size_t(before.privateBytes), size_t(after.privateBytes), before.gdi, after.gdi,
                before.user, after.user);

    EXPECT_EQ(updates, 20);
    EXPECT_LE(after.gdi, before.gdi);
    EXPECT_LE(after.user, before.user);
    // Heaps grow in whole pages: a little slack, far less than one leak per round.
    EXPECT_LE(after.privateBytes, before.privateBytes + 64 * 1024);
}
