// Many threads tap "update" at once: never two workers. Run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "data/history.h"
#include "data/settings.h"
#include "testutil.h"
#include "update/schedule.h"

namespace {
std::atomic<int> running{0};
std::atomic<int> mostAtOnce{0};
std::atomic<int> workers{0};
std::vector<std::thread> threads;
std::mutex threadsLock;
}  // namespace

TEST(ScheduleThreads, NeverTwoWorkersAtOnce)
{
    ScratchFolder folder;
    std::u16string path = folder.path16("vokCurrency.his");
    loadHistory(path.c_str(), 15);
    setDefaultSettings(settings, 96);
    resetSchedule();
    schedulePlatform = SchedulePlatform{};
    schedulePlatform.localTime = [](LocalTime& t) { t = LocalTime{2026, 12, 8, 10, 0}; };
    schedulePlatform.sleepMs = [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    schedulePlatform.download = [](bool, const DayCode&) {
        int now = ++running;
        int seen = mostAtOnce.load();
        while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        --running;
        return false;  // stays stale, so every run makes both downloads
    };
    schedulePlatform.startThread = [] {
        ++workers;
        std::lock_guard<std::mutex> guard(threadsLock);
        threads.emplace_back([] { updateWorker(); });
        return true;
    };
    refreshTick();
    ASSERT_EQ(updateState.load(), Stale);

    std::vector<std::thread> tappers;
    for (int t = 0; t < 4; ++t)
        tappers.emplace_back([] {
            for (int i = 0; i < 300; ++i) {
                startUpdate();
                std::this_thread::yield();
            }
        });
    for (auto& t : tappers) t.join();
    for (int wait = 0; wait < 2000 && running.load() + (updateState.load() >= Downloading); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Worker threads are joined only after every tapper is done adding them.
    for (auto& t : threads) t.join();
    threads.clear();
    EXPECT_GE(workers.load(), 1);
    EXPECT_EQ(mostAtOnce.load(), 1);
    schedulePlatform = SchedulePlatform{};
    freeHistory();
}

// A tap that meets the end of a fill is never lost: whatever the interleaving of
// the fill letting go of the worker and the tap, exactly one update starts.
TEST(ScheduleThreads, ATapMeetingTheEndOfAFillStartsExactlyOneUpdate)
{
    static std::atomic<int> starts{0};
    static std::atomic<int> round{-1};
    static std::atomic<int> finished{0};
    const int rounds = 30000;
    schedulePlatform = SchedulePlatform{};
    schedulePlatform.startThread = [] {
        ++starts;
        return true;
    };
    auto onEachRound = [rounds](void (*step)()) {
        return std::thread([rounds, step] {
            for (int r = 0; r < rounds; ++r) {
                while (round.load() != r) std::this_thread::yield();
                step();
                ++finished;
            }
        });
    };
    std::thread fill = onEachRound([] { releaseWorker(); });
    std::thread tap = onEachRound([] { startUpdate(); });
    int lost = 0, doubled = 0;
    for (int r = 0; r < rounds; ++r) {
        resetSchedule();
        starts = 0;
        ASSERT_TRUE(claimWorker(WorkerFill));
        round = r;
        while (finished.load() < 2 * (r + 1)) std::this_thread::yield();
        lost += starts.load() == 0;
        doubled += starts.load() > 1;
    }
    fill.join();
    tap.join();
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(doubled, 0);
    resetSchedule();
    schedulePlatform = SchedulePlatform{};
}
