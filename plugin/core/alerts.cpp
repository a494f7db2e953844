#include "plugin/core/alerts.h"

#include "data/calendar.h"
#include "data/numbertext.h"
#include "platform/text16.h"

uint8_t alertSideOf(const ItemLimits& limits, float value)
{
    if (value == 0.0f) return AlertInside;
    if ((limits.flags & LimitUpper) && value >= limits.upper) return AlertAbove;
    if ((limits.flags & LimitLower) && value <= limits.lower) return AlertBelow;
    return AlertInside;
}

int advanceAlerts(const Settings& s, ItemLimits limits[ItemSlots], const DayRates& previous,
                  const DayRates& current, const DayRates& next, AlertCrossing out[ItemSlots])
{
    int count = s.itemCount < 0 ? 0 : (s.itemCount > MaxItems ? MaxItems : s.itemCount);
    int crossings = 0;
    for (int i = 0; i < count; ++i) {
        ItemLimits& l = limits[i];
        if (!(l.flags & (LimitUpper | LimitLower)) && l.alert == AlertInside) continue;
        ItemValues v = itemValues(s.items[i], previous, current, next);
        if (v.newValue == 0.0f) continue;
        uint8_t side = alertSideOf(l, v.newValue);
        if (side == l.alert) continue;
        l.alert = side;
        out[crossings++] = AlertCrossing{i, side, side == AlertBelow ? l.lower : l.upper, v.newValue, v.day};
    }
    return crossings;
}

static void appendNumber(char16_t* out, size_t capacity, size_t& at, float value, int digits, bool comma)
{
    if (at < capacity) at += formatFixed(out + at, capacity - at, double(value), fixedDigitsInRange(digits), comma);
}

void alertText(const PanelItem& item, const AlertCrossing& c, bool comma, char16_t* out, size_t capacity)
{
    if (capacity == 0) return;
    out[0] = 0;
    size_t at = 0;
    int currency = item.currency < CurrencyCount ? item.currency : CurrencyCount - 1;
    int currency2 = item.currency2 < CurrencyCount ? item.currency2 : CurrencyCount - 1;
    appendText(out, capacity, at, isoCode[currency]);
    if (item.isRatio) {
        appendText(out, capacity, at, "/");
        appendText(out, capacity, at, isoCode[currency2]);
    }
    appendText(out, capacity, at, c.side == AlertAbove ? u" выше " : u" ниже ");
    appendNumber(out, capacity, at, c.limit, item.digits, comma);
    appendText(out, capacity, at, ": ");
    appendNumber(out, capacity, at, c.value, item.digits, comma);
    char field[12];
    const int32_t parts[3] = {c.day.day, c.day.month, yearOf(c.day)};
    for (int k = 0; k < 3; ++k) {
        formatWhole(field, sizeof field, parts[k], k < 2 ? 2 : 4);
        appendText(out, capacity, at, k == 0 ? " (" : ".");
        appendText(out, capacity, at, field);
    }
    appendText(out, capacity, at, ")");
}
