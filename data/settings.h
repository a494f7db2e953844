// The settings record and its file. The record is the file image, byte for byte.
#pragma once
#include <cstddef>
#include <cstdint>

#include "data/history.h"

enum UpdateFlagBits : uint8_t {
    UpdateEvery = 1,
    UpdateDaily = 2,
    OnlyIfStale = 4,
    UpdateOnConnect = 8,
    EstablishConnection = 16,
    UpdateOnPublication = 32,  // after the bank publishes, on Moscow's clock
};

constexpr int MaxItems = 15;         // the item list never holds more
constexpr int MinFontHeight = 5;     // the panel font's height, as the options page accepts it
constexpr int MaxFontHeight = 47;
constexpr int ItemSlots = 16;        // slots in the record
constexpr int HistoryColumns = 18;   // the date column + one per currency of the history record
constexpr int ConverterChoices = CurrencyCount + 1;  // "RUB" + one per currency

// Same layout as the platform's LOGFONTW.
struct FontRecord {
    int32_t lfHeight;
    int32_t lfWidth;
    int32_t lfEscapement;
    int32_t lfOrientation;
    int32_t lfWeight;
    uint8_t lfItalic;
    uint8_t lfUnderline;
    uint8_t lfStrikeOut;
    uint8_t lfCharSet;
    uint8_t lfOutPrecision;
    uint8_t lfClipPrecision;
    uint8_t lfQuality;
    uint8_t lfPitchAndFamily;
    char16_t lfFaceName[32];
};

struct PanelItem {
    uint8_t isRatio;
    uint8_t period;
    uint8_t currency;
    uint8_t currency2;
    uint8_t useDefaultColour;
    uint8_t reserved0[3];
    uint32_t colour;  // 0x00BBGGRR
    uint8_t itemFlags;  // bit 0 arrow, bit 1 difference
    uint8_t digits;
    uint8_t reserved1[2];
};

enum ItemFlagBits : uint8_t { ShowArrow = 1, ShowDifference = 2 };

struct Settings {
    uint8_t updateFlags;
    uint8_t reserved0[3];
    int32_t updateInterval;
    uint8_t dailyHour;
    uint8_t dailyMinute;
    uint8_t reserved1[2];
    FontRecord panelFont;
    uint8_t commaFlags;  // bit 0 panel, bit 1 copy, bit 2 history and converter
    uint8_t filledArrows;
    uint8_t centerItems;
    uint8_t reserved2;
    int32_t historyLength;
    int32_t historyDigits;
    uint16_t historyColumnWidths[HistoryColumns];
    uint16_t itemColumnWidths[5];
    uint8_t reserved3[6];
    double converterAmount;
    int8_t converterFrom;
    int8_t converterTo;
    uint8_t visibleItems;
    uint8_t chartCurrency;  // the history chart's currency, 0..16; a byte the file had spare
    int32_t itemCount;
    PanelItem items[ItemSlots];
    char magic[4];
    uint8_t useProxy;
    uint8_t reserved5;
    char16_t proxy[65];
    char magic2[4];
    uint8_t reserved6[4];
};

enum CommaFlagBits : uint8_t { CommaOnPanel = 1, CommaOnCopy = 2, CommaInHistory = 4 };

static_assert(sizeof(FontRecord) == 92, "font record is a LOGFONTW");
static_assert(offsetof(FontRecord, lfWeight) == 16 && offsetof(FontRecord, lfItalic) == 20 &&
                  offsetof(FontRecord, lfCharSet) == 23 && offsetof(FontRecord, lfPitchAndFamily) == 27 &&
                  offsetof(FontRecord, lfFaceName) == 28,
              "font record layout");
static_assert(sizeof(PanelItem) == 16, "PanelItem is 16 bytes");
static_assert(offsetof(PanelItem, isRatio) == 0 && offsetof(PanelItem, period) == 1 &&
                  offsetof(PanelItem, currency) == 2 && offsetof(PanelItem, currency2) == 3 &&
                  offsetof(PanelItem, useDefaultColour) == 4 && offsetof(PanelItem, colour) == 8 &&
                  offsetof(PanelItem, itemFlags) == 12 && offsetof(PanelItem, digits) == 13,
              "PanelItem layout");
static_assert(sizeof(Settings) == 584, "Settings is 584 bytes");
static_assert(offsetof(Settings, updateFlags) == 0 && offsetof(Settings, updateInterval) == 4 &&
                  offsetof(Settings, dailyHour) == 8 && offsetof(Settings, dailyMinute) == 9 &&
                  offsetof(Settings, panelFont) == 12 && offsetof(Settings, commaFlags) == 104 &&
                  offsetof(Settings, filledArrows) == 105 && offsetof(Settings, centerItems) == 106 &&
                  offsetof(Settings, historyLength) == 108 && offsetof(Settings, historyDigits) == 112 &&
                  offsetof(Settings, historyColumnWidths) == 116 && offsetof(Settings, itemColumnWidths) == 152 &&
                  offsetof(Settings, converterAmount) == 168 && offsetof(Settings, converterFrom) == 176 &&
                  offsetof(Settings, converterTo) == 177 && offsetof(Settings, visibleItems) == 178 &&
                  offsetof(Settings, chartCurrency) == 179 &&
                  offsetof(Settings, itemCount) == 180 && offsetof(Settings, items) == 184 &&
                  offsetof(Settings, magic) == 440 && offsetof(Settings, useProxy) == 444 &&
                  offsetof(Settings, proxy) == 446 && offsetof(Settings, magic2) == 576 &&
                  offsetof(Settings, reserved6) == 580,
              "Settings layout");
static_assert(offsetof(Settings, panelFont) + offsetof(FontRecord, lfFaceName) == 40, "face name at 40");

extern Settings settings;

// Fills `settings` from the file at path: defaults when it is missing or foreign
// (and the file is made), the proxy block reset when its marker is missing,
// damaged values clamped. screenDpi is the screen's horizontal pixels per logical
// inch (default font height). A file that is there but could not be read is left
// as it is: memory keeps its record (the defaults on a first load) until
// readSettingsIfUnread can read it.
void loadSettings(const char16_t* path, int screenDpi);
// Reads a file that loadSettings could not read; true when none waits any more.
// The file's record is put in place, unless the options dialog saved a record
// meanwhile: that one then goes into the file.
bool readSettingsIfUnread();
// Writes the record to path; false when the file could not be replaced. A failed
// save is kept in mind (with its path) until a later one succeeds. While the file
// could not be read the save waits for it: the record goes in once it is read.
bool saveSettings(const char16_t* path);
// Reads a file that could not be read and writes the record again when its last
// save failed; true once the file holds it.
bool saveSettingsIfUnsaved();
// No save failed and no read waits: the file holds memory's record. No lock.
bool settingsFileHolds();

// The defaults a fresh settings file gets.
void setDefaultSettings(Settings& s, int screenDpi);
// Brings every field that indexes an array back into its range (the table of
// data/settingsfields.h says which) and ends each text within its place.
void clampSettings(Settings& s);
