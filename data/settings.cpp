#include "data/settings.h"

#include <cstring>

#include "platform/fileio.h"

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
    s.updateFlags = UpdateDaily | UpdateOnConnect;
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

void loadSettings(const char16_t* path, int screenDpi)
{
    std::memset(&settings, 0, sizeof settings);
    readFileStart(path, &settings, sizeof settings);
    if (std::memcmp(settings.magic, marker, 4) != 0) {
        setDefaultSettings(settings, screenDpi);
        saveSettings(path);
    }
    if (std::memcmp(settings.magic2, marker, 4) != 0) {
        std::memcpy(settings.magic2, marker, 4);
        settings.useProxy = 0;
        settings.proxy[0] = 0;
        saveSettings(path);
    }
    clampSettings(settings);
}

void saveSettings(const char16_t* path) { replaceFileContents(path, &settings, sizeof settings); }
