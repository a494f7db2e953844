// Many threads tap "update" at once: never two workers. Run under ThreadSanitizer.
#include "testutil.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {
std::atomic<int> running{0}, mostAtOnce{0}, workers{0};
std::vector<std::thread> threads;
std::mutex threadsLock;
}  // namespace

TEST(ScheduleThreads, NeverTwoWorkersAtOnce)
{
    ScriptedSchedule run;
    scripted.now.day = 8;
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
}

// A tap that meets the end of a fill is never lost: whatever the interleaving of
// the fill letting go of the worker and the tap, exactly one update starts. Each
// side idles a few steps of its own first, so over the rounds they meet at every offset.
namespace {
std::atomic<int> starts{0}, go{-1}, tapped{-1};

void waitThenIdle(const std::atomic<int>& flag, int round, int factor)
{
    for (int spins = 0; flag.load() != round; ++spins)
        if (spins > 200) std::this_thread::yield();
    for (volatile int k = 0; k < (round * factor) % 61; ++k) {
    }
}
}  // namespace

TEST(ScheduleThreads, ATapMeetingTheEndOfAFillStartsExactlyOneUpdate)
{
    static constexpr int rounds = 100000;
    ScriptedSchedule run;
    schedulePlatform.startThread = [] { return ++starts > 0; };
    std::thread tap([] {
        for (int r = 0; r < rounds; ++r) {
            waitThenIdle(go, r, 7);
            startUpdate();
            tapped = r;
        }
    });
    int notOne = 0;
    for (int r = 0; r < rounds; ++r) {
        resetSchedule();
        starts = 0;
        EXPECT_TRUE(claimWorker(WorkerFill));
        go = r;
        waitThenIdle(go, r, 1);
        releaseWorker();
        waitThenIdle(tapped, r, 0);
        notOne += starts.load() != 1;
    }
    tap.join();
    EXPECT_EQ(notOne, 0);
}

// The item window made again (the settings read, the host's first queries) and a
// tap at once, while the last update may still be ending on its own thread: every
// tap makes exactly one update.
TEST(ScheduleThreads, ATapAtOnceAfterTheItemIsMadeAlwaysMakesItsUpdate)
{
    static constexpr int taps = 2000;
    static std::atomic<int> updates{0};
    ScriptedSchedule run;
    std::u16string file = run.folder.path16("vokCurrency.set");
    settings.updateFlags = 0;  // taps only
    saveSettings(file.c_str());
    schedulePlatform.sleepMs = [](int) { std::this_thread::yield(); };
    schedulePlatform.download = [](bool latest, const DayCode&) {
        updates += latest;
        return true;
    };
    schedulePlatform.startThread = [] {
        std::lock_guard<std::mutex> guard(threadsLock);
        threads.emplace_back([] { updateWorker(); });
        return true;
    };
    int lost = 0;
    for (int tap = 0; tap < taps && !lost; ++tap) {
        loadSettings(file.c_str(), 96);
        for (int query = 0; query < 3; ++query) tick();
        tapUpdate();
        for (int wait = 0; wait < 5000 && updates.load() <= tap; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        lost += updates.load() <= tap;
        std::lock_guard<std::mutex> guard(threadsLock);  // every worker but the newest has let go
        for (size_t t = 0; t + 1 < threads.size(); ++t) threads[t].join();
        threads.erase(threads.begin(), threads.end() - 1);
    }
    for (int wait = 0; wait < 5000 && updateWorkerRunning(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (auto& t : threads) t.join();
    threads.clear();
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(updates.load(), taps);
}
