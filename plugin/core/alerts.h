// Limits on the panel's items: which side of them an item's shown value is on,
// when that is worth a notification, and the notification's text.
#pragma once
#include <cstddef>
#include <cstdint>

#include "data/limits.h"
#include "plugin/core/itemtext.h"

// What an item across its limits is drawn on (its text is black then): amber.
constexpr uint32_t AlertBackground = 0x0000C8FF;  // RGB(255, 200, 0)

// The side of the item's limits value is on: at or above the upper limit, at or
// below the lower one, otherwise inside. A missing value (0) is always inside.
uint8_t alertSideOf(const ItemLimits& limits, float value);

// One crossing that is worth a notification: the item, the side it crossed to,
// the limit it crossed, and its value and day.
struct AlertCrossing {
    int32_t itemIndex;
    uint8_t side;
    float limit, value;
    DayCode day;
};

// The state of every item of s moved to where its shown value now stands, from
// the days around the shown day. A missing value leaves the state as it was (a
// day without a rate is no crossing back). Each item whose state moved is written
// to out (up to ItemSlots): onto a side (a notification is due), or back inside
// (side AlertInside: its notification is over); how many were.
int advanceAlerts(const Settings& s, ItemLimits limits[ItemSlots], const DayRates& previous,
                  const DayRates& current, const DayRates& next, AlertCrossing out[ItemSlots]);

// The notification's text: "USD выше 100,0000: 101,2345 (11.12.2026)", the
// item's digits, the panel's decimal comma; a ratio names both codes ("EUR/USD").
void alertText(const PanelItem& item, const AlertCrossing& crossing, bool comma, char16_t* out, size_t capacity);
