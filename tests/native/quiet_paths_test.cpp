// A clock tick with nothing to do and a layout of the panel allocate nothing and
// touch no file: they run every two seconds for as long as the device is on.
#include "testutil.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "platform/fileio.h"
#include "platform/testhooks.h"
#include "plugin/core/layout.h"
#include "update/schedule.h"

static std::atomic<long> allocations{0};

void* operator new(std::size_t size)
{
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {
int measure(const char16_t*, int length, void*) { return 6 * length; }
}  // namespace

TEST(QuietPaths, TickAndLayoutAllocateNothingAndTouchNoFile)
{
    ScratchFolder folder;
    std::u16string path = folder.path16("vokCurrency.his");
    setDefaultSettings(settings, 96);
    settings.updateFlags = UpdateEvery | UpdateDaily;
    settings.itemCount = 15;
    settings.visibleItems = 15;
    for (int i = 0; i < 15; ++i) settings.items[i] = settings.items[i % 3];
    loadHistory(path.c_str(), 15);
    for (int d = 1; d <= 8; ++d) {
        DayRates r{};
        r.code = makeDayCode(d, 12, 2026);
        for (RateEntry& e : r.rates) e = RateEntry{1, 30.0f + d};
        storeDay(r);
    }
    resetSchedule();
    schedulePlatform = SchedulePlatform{};
    schedulePlatform.localTime = [](LocalTime& t) { t = LocalTime{2026, 12, 8, 10, 7}; };
    refreshTick();  // the first tick takes the date in
    advanceTickCounter();

    long before = allocations.load();
    long filesBefore = fileAccessCount;
    for (int i = 0; i < 800; ++i) {
        refreshTick();
        advanceTickCounter();
    }
    DayCode shown;
    DayRates current;
    readShownRates(shown, current);
    chooseVisibleSlots(settings);
    LayoutInput in{&settings, &current, &current, &current, TextMeasurer{measure, nullptr}, 18, 16, 240};
    layoutSlots(in);
    EXPECT_EQ(allocations.load() - before, 0);
    EXPECT_EQ(fileAccessCount - filesBefore, 0);
    EXPECT_EQ(lastSlot, 14);
    EXPECT_EQ(shown.day, 8);

    // The counters themselves work.
    delete new int(1);
    EXPECT_EQ(allocations.load() - before, 1);
    storeDay(current);
    EXPECT_EQ(fileAccessCount - filesBefore, 1);
    freeHistory();
    schedulePlatform = SchedulePlatform{};
}
