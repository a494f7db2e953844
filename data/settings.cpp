#include "data/settings.h"

#include <cstring>

#include "data/filelag.h"
#include "platform/fileio.h"
#include "platform/text16.h"

Settings settings;

static const char marker[4] = {'v', 'o', 'k', 0};

static void setFaceName(char16_t* out, const char16_t* name)
{
    int i = 0;
    for (; name[i] && i < 31; ++i) out[i] = name[i];
    out[i] = 0;
}

static PanelItem makeItem(uint8_t isRatio, uint8_t currency, uint8_t currency2, uint8_t flags, uint8_t digits)
{
    PanelItem item;
    std::memset(&item, 0, sizeof item);
    item.isRatio = isRatio;
    item.currency = currency;
    item.currency2 = currency2;
    item.useDefaultColour = 1;
    item.itemFlags = flags;
    item.digits = digits;
    return item;
}

void setDefaultSettings(Settings& s, int screenDpi)
{
    std::memset(&s, 0, sizeof s);
    std::memcpy(s.magic, marker, 4);
    s.updateFlags = UpdateOnPublication | UpdateOnConnect;
    s.updateInterval = 30;
    s.dailyHour = 15;
    s.dailyMinute = 0;
    s.panelFont.lfHeight = screenDpi >= 192 ? 24 : 15;
    s.panelFont.lfWeight = 700;
    s.panelFont.lfCharSet = 204;
    s.panelFont.lfPitchAndFamily = 16;
    setFaceName(s.panelFont.lfFaceName, u"Tahoma");
    s.commaFlags = CommaOnPanel | CommaOnCopy | CommaInHistory;
    s.historyLength = 15;
    s.historyDigits = 4;
    for (auto& w : s.historyColumnWidths) w = 90;
    for (auto& w : s.itemColumnWidths) w = 90;
    s.visibleItems = 3;
    s.itemCount = 3;
    s.items[0] = makeItem(0, 0, 0, ShowArrow, 4);
    s.items[1] = makeItem(1, 0, 1, 0, 2);
    s.items[2] = makeItem(0, 1, 0, ShowArrow, 4);
}

// The file is read into a record of its own and repaired there; only the whole
// record is put in place, under the history lock, so a download taking the proxy
// meanwhile sees the old settings or the new, never a cleared or half-read one.
// False when the file is there but could not be read: nothing is put in place.
static bool takeSettingsFile(const char16_t* path, int screenDpi)
{
    Settings loaded;
    std::memset(&loaded, 0, sizeof loaded);
    if (readFileStart(path, &loaded, sizeof loaded) == FileUnreadable) return false;
    bool repaired = false;
    if (std::memcmp(loaded.magic, marker, 4) != 0) {
        setDefaultSettings(loaded, screenDpi);
        repaired = true;
    }
    if (std::memcmp(loaded.magic2, marker, 4) != 0) {
        std::memcpy(loaded.magic2, marker, 4);
        loaded.useProxy = 0;
        loaded.proxy[0] = 0;
        repaired = true;
    }
    clampSettings(loaded);
    lockHistory();
    settings = loaded;
    unlockHistory();
    if (repaired) saveSettings(path);
    return true;
}

// A settings file that is there but could not be read (another program holding
// it): its path, empty while none waits; the record of memory meanwhile, and
// whether the options dialog changed it since (then it, not the file, wins).
static char16_t unreadPath[260];
static int unreadDpi;
static bool changedWhileUnread;
// The path of a save that failed, empty while the file holds the record.
static char16_t unsavedPath[260];

void loadSettings(const char16_t* path, int screenDpi)
{
    if (takeSettingsFile(path, screenDpi)) {
        unreadPath[0] = 0;
        setLag(SettingsUnread, false);
        return;
    }
    // The file stays as it is. A new item window keeps what memory holds; a first
    // load works on the defaults until the file can be read.
    if (std::memcmp(settings.magic, marker, 4) != 0) {
        Settings defaults;
        setDefaultSettings(defaults, screenDpi);
        lockHistory();
        settings = defaults;
        unlockHistory();
    }
    if (length16(path, 260) < 260) copy16(unreadPath, 260, path);
    unreadDpi = screenDpi;
    setLag(SettingsUnread, unreadPath[0] != 0);
}

bool readSettingsIfUnread()
{
    if (!unreadPath[0]) return true;
    bool taken;
    if (changedWhileUnread) {
        // The user's choice wins once the file can be read again.
        unsigned char probe[1];
        taken = readFileStart(unreadPath, probe, sizeof probe) != FileUnreadable;
        if (taken) {
            char16_t path[260];
            copy16(path, 260, unreadPath);
            unreadPath[0] = 0;
            saveSettings(path);
        }
    } else {
        taken = takeSettingsFile(unreadPath, unreadDpi);
        if (taken) unreadPath[0] = 0;
    }
    if (taken) {
        changedWhileUnread = false;
        setLag(SettingsUnread, false);
    }
    return taken;
}

bool settingsFileHolds() { return !lagging(SettingsUnread | SettingsUnsaved); }

bool saveSettings(const char16_t* path)
{
    // A file that could not be read is read first: only then is it written over.
    if (unreadPath[0]) {
        changedWhileUnread = true;
        return readSettingsIfUnread() && settingsFileHolds();
    }
    // With no place for the file the record in memory is the only copy.
    bool saved = !path[0] || replaceFileContents(path, &settings, sizeof settings);
    if (saved)
        unsavedPath[0] = 0;
    else if (path != unsavedPath && length16(path, 260) < 260)  // a path cut short would be another file
        copy16(unsavedPath, 260, path);
    setLag(SettingsUnsaved, unsavedPath[0] != 0);
    return saved;
}

bool saveSettingsIfUnsaved() { return readSettingsIfUnread() && (!unsavedPath[0] || saveSettings(unsavedPath)); }
