// vokfiles: a native command-line tool for the plug-in's data files, built from the
// portable core. It shows and sets the settings file's fields by name and prints a
// history file as text, one day per line. The run command prepares its demo folder
// with it; a user can inspect or script the files with it too.
//
//   vokfiles settings FILE                  every field, one "name=value" per line
//                                           (and "# updateFlags: ..." naming its bits)
//   vokfiles settings FILE NAME...          the named fields' values, one per line
//   vokfiles settings FILE NAME=VALUE...    sets the fields and writes the file whole
//   vokfiles history FILE                   the stored days, one per line
//   --dpi N (before the command)            the screen a fresh settings file is made
//                                           for (96 by default): its font height
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/companion.h"
#include "data/currency.h"
#include "data/history.h"
#include "data/settings.h"
#include "platform/fileio.h"
#include "platform/text16.h"
#include "tools/filefields.h"

namespace {

constexpr size_t PathUnits = 4096;
constexpr size_t ValueBytes = 512;

int usage()
{
    std::fprintf(stderr,
                 "usage: vokfiles [--dpi N] settings FILE [NAME | NAME=VALUE]...\n"
                 "       vokfiles history FILE\n");
    return 2;
}


// updateFlags is followed by a comment line naming its bits; the field's own line
// stays a "name=value" that can be set again as it is.
void printField(const char* name, void* record)
{
    const auto& s = *static_cast<const Settings*>(record);
    char value[ValueBytes];
    if (formatSettingsField(s, name, value, sizeof value)) std::printf("%s=%s\n", name, value);
    if (std::strcmp(name, "updateFlags") == 0 && formatUpdateFlags(s.updateFlags, value, sizeof value))
        std::printf("# updateFlags: %s\n", value);
}

// The record as it lies in the file, damaged values and all; false when the file
// holds no settings record.
bool readRecord(const char16_t* path, Settings& record)
{
    std::memset(&record, 0, sizeof record);
    long got = readFileStart(path, &record, sizeof record);
    return got >= long(offsetof(Settings, magic) + 4) && std::memcmp(record.magic, "vok", 4) == 0;
}

int showSettings(const char16_t* path, const char* file, char** names, int count)
{
    static Settings record;
    if (!readRecord(path, record)) {
        std::fprintf(stderr, "vokfiles: %s holds no settings record\n", file);
        return 1;
    }
    if (count == 0) {
        forEachSettingsField(record, printField, &record);
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        char value[ValueBytes];
        if (!formatSettingsField(record, names[i], value, sizeof value)) {
            std::fprintf(stderr, "vokfiles: no settings field %s\n", names[i]);
            return 2;
        }
        std::printf("%s\n", value);
    }
    return 0;
}

// The file is read as the plug-in reads it (a missing or foreign one gets the
// defaults), every assignment is checked before any is made, and the file is
// written whole once.
int setSettings(const char16_t* path, int dpi, char** assignments, int count)
{
    static Settings changed;
    loadSettings(path, dpi);
    changed = settings;
    for (int i = 0; i < count; ++i) {
        char name[128];
        const char* equals = std::strchr(assignments[i], '=');
        size_t length = equals ? size_t(equals - assignments[i]) : 0;
        if (!equals || length >= sizeof name) return usage();
        std::memcpy(name, assignments[i], length);
        name[length] = 0;
        if (!parseSettingsField(changed, name, equals + 1)) {
            std::fprintf(stderr, "vokfiles: %s is no settings field or %s no value for it\n", name, equals + 1);
            return 2;
        }
    }
    settings = changed;
    saveSettings(path);
    if (!readRecord(path, changed) || std::memcmp(&changed, &settings, sizeof changed) != 0) {
        std::fprintf(stderr, "vokfiles: the settings file could not be written\n");
        return 1;
    }
    return 0;
}

// One line on the companion file: how many of the stored days it gives the other
// currencies' rates, or that it is missing or damaged and they are absent.
void printCompanion(int32_t stored)
{
    char16_t path[260];
    if (!companionPath(path, 260, history.path)) return;
    size_t room = CompanionHeaderBytes + size_t(MaxHistoryLength) * CompanionLargestRecord;
    auto* image = static_cast<unsigned char*>(std::malloc(room));
    auto* days = static_cast<DayRates*>(std::calloc(size_t(history.capacity), sizeof(DayRates)));
    long got = image && days ? readFileStart(path, image, room) : -1;
    int32_t merged = got < 0 ? -2 : mergeCompanionImage(image, size_t(got), days, copyHistory(days, history.capacity));
    if (merged == -2)
        std::printf("companion file missing: the rates of currencies 18 to %d are absent\n", CurrencyCount);
    else if (merged < 0)
        std::printf("companion file damaged: the rates of currencies 18 to %d are absent\n", CurrencyCount);
    else
        std::printf("companion file: the other currencies' rates of %d of %d days\n", int(merged), int(stored));
    std::free(image);
    std::free(days);
}

// The stored days as the plug-in reads them: the history file in date order, with
// the companion file's rates.
int printHistory(const char16_t* path, const char* file)
{
    unsigned char probe[1];
    if (readFileStart(path, probe, 0) < 0) {
        std::fprintf(stderr, "vokfiles: can't read %s\n", file);
        return 1;
    }
    loadHistory(path, MaxHistoryLength);
    int32_t stored = 0;
    for (int32_t i = 0; history.records && i < history.capacity; ++i) {
        const DayRates& day = history.records[i];
        if (day.code.day == 0) continue;
        char line[2048];
        if (formatHistoryDay(day, line, sizeof line)) std::printf("%s\n", line);
        ++stored;
    }
    printCompanion(stored);
    freeHistory();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int at = 1, dpi = 96;
    if (at + 1 < argc && std::strcmp(argv[at], "--dpi") == 0) {
        dpi = std::atoi(argv[at + 1]);
        at += 2;
    }
    if (argc - at < 2) return usage();
    const char* command = argv[at];
    const char* file = argv[at + 1];
    static char16_t path[PathUnits];
    // The file seam takes UTF-16 paths and gives them back to the system as UTF-8.
    if (!decodeUtf8(path, PathUnits, file)) return usage();
    char** rest = argv + at + 2;
    int restCount = argc - at - 2;
    if (std::strcmp(command, "history") == 0 && restCount == 0) return printHistory(path, file);
    if (std::strcmp(command, "settings") != 0) return usage();
    if (restCount > 0 && std::strchr(rest[0], '=')) return setSettings(path, dpi, rest, restCount);
    return showSettings(path, file, rest, restCount);
}
