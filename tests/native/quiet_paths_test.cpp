// A clock tick with nothing to do and a layout of the panel allocate nothing and
// touch no file: they run every two seconds for as long as the device is on.
#include "testutil.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "platform/testhooks.h"
#include "plugin/core/layout.h"

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
    ScriptedSchedule run;
    settings.updateFlags = UpdateEvery | UpdateDaily;
    settings.itemCount = 15;
    settings.visibleItems = 15;
    for (int i = 0; i < 15; ++i) settings.items[i] = settings.items[i % 3];
    for (int d = 1; d <= 8; ++d) {
        DayRates r = dayRecord(d, 12, 2026);
        for (RateEntry& e : r.rates) e = RateEntry{1, 30.0f + d};
        storeDay(r);
    }
    scripted.now = {2026, 12, 8, 10, 7};
    tick();  // the first tick takes the date in

    const long before = allocations.load(), filesBefore = fileAccessCount;
    tick(800);
    DayCode shown;
    DayRates current;
    readShownRates(shown, current);
    chooseVisibleSlots(settings);
    LayoutInput in{&settings, &current, &current, &current, TextMeasurer{measure, nullptr}, 18, 16, 240, nullptr};
    layoutSlots(in);
    EXPECT_EQ(allocations.load() - before, 0);
    EXPECT_EQ(fileAccessCount - filesBefore, 0);
    EXPECT_EQ(lastSlot, 14);
    EXPECT_EQ(shown.day, 8);

    // The counters themselves work.
    delete new int(1);
    EXPECT_EQ(allocations.load() - before, 1);
    storeDay(current);
    EXPECT_EQ(fileAccessCount - filesBefore, 2);  // the history file and its companion
}
