#include "testutil.h"

#include <cstdlib>
#include <filesystem>

#include "update/fill.h"

ScratchFolder::ScratchFolder()
{
    char pattern[] = "/tmp/vokcurrency-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) std::abort();
    dir = made;
}

ScratchFolder::~ScratchFolder() { std::filesystem::remove_all(dir); }

std::vector<unsigned char> readBytes(const std::string& path)
{
    std::vector<unsigned char> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    unsigned char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

void writeBytes(const std::string& path, const void* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

// --- a store and the scheduler on a scripted platform ---

ScriptedPlatform scripted;

ScriptedSchedule::ScriptedSchedule(int capacity)
{
    setDefaultSettings(settings, 96);
    // The rules of a file made before the publication rule: daily at 15:00.
    settings.updateFlags = UpdateDaily | UpdateOnConnect;
    schedulePlatform = SchedulePlatform{};
    schedulePlatform.localTime = [](LocalTime& out) { out = scripted.now; };
    schedulePlatform.tickCount = [] { return scripted.clock; };
    schedulePlatform.sleepMs = [](int ms) {
        scripted.sleeps.push_back(ms);
        scripted.clock += uint32_t(ms);
    };
    schedulePlatform.startThread = [] {
        scripted.startTicks.push_back(tickCounter);
        updateWorker();
        return true;
    };
    schedulePlatform.startFillThread = [] {
        fillWorker();
        return true;
    };
    schedulePlatform.download = [](bool latest, const DayCode& day) {
        scripted.downloads.push_back({latest, day});
        size_t n = scripted.downloads.size() - 1;
        if (n >= scripted.answers.size() || scripted.answers[n].code.day == 0) return false;
        storeDay(scripted.answers[n]);
        return true;
    };
    restart(capacity);
}

ScriptedSchedule::~ScriptedSchedule()
{
    freeHistory();
    schedulePlatform = SchedulePlatform{};
}

void ScriptedSchedule::restart(int capacity)
{
    scripted = ScriptedPlatform();
    std::remove(folder.file("vokCurrency.his").c_str());
    loadHistory(folder.path16("vokCurrency.his").c_str(), capacity);
    resetSchedule();
}

void tick(int count)
{
    for (int i = 0; i < count; ++i) {
        refreshTick();
        advanceTickCounter();
    }
}
