// One panel item: its text, value, width and trend arrow.
#pragma once
#include <cstdint>

#include "data/currency.h"
#include "data/settings.h"

constexpr int SlotTextUnits = 32;
constexpr int ArrowWidth = 9;

struct ItemSlot {
    char16_t text[SlotTextUnits];
    float value;
    int32_t itemIndex;
    int32_t x;
    int32_t width;
    uint8_t hasArrow;
    uint8_t arrowUp;
    uint8_t alert;  // AlertSide of the shown value against the item's limits
};

// Measures text (length units) in the panel font; the Win32 side measures in
// the panel's memory DC, tests pass a stand-in.
struct TextMeasurer {
    int (*measure)(const char16_t* text, int length, void* context);
    void* context;
};

// An item's two values: the shown one (newValue, 0 when missing) of the newer day
// of its comparison, and the older day's in the newer day's nominals; the newer
// day, and the currency row in range.
struct ItemValues {
    float newValue, oldValue;
    DayCode day;
    int currency;
};
ItemValues itemValues(const PanelItem& item, const DayRates& previous, const DayRates& current, const DayRates& next);

// Fills slot's text, value, width and arrow from the item and the records of
// the previous, the shown and the next day (all-zero when not stored); with
// percent the difference shows as a percentage of the older value, " (+1.23%)".
void composeItem(const PanelItem& item, ItemSlot& slot, const DayRates& previous, const DayRates& current,
                 const DayRates& next, uint8_t commaFlags, const TextMeasurer& measurer, bool percent = false);

// Formats value with the item's digits ("%.0<digits>f") into out of capacity
// units, cut to fit; the first '.' becomes ',' when comma is set. The bare number
// a tap copies.
void formatCopyValue(char16_t* out, int capacity, float value, int digits, bool comma);
