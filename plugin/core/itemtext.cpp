#include "plugin/core/itemtext.h"

#include "data/numbertext.h"
#include "platform/text16.h"

// Appends 8-bit text to the slot's text, cut at its last unit.
static int append16(char16_t* out, int at, const char* text)
{
    size_t used = static_cast<size_t>(at);
    appendText(out, SlotTextUnits, used, text);
    return static_cast<int>(used);
}

// Appends value with digits after the point ("%.0<digits>f"), cut at the last unit.
static int appendNumber(char16_t* out, int at, double value, int digits)
{
    return at + static_cast<int>(formatFixed(out + at, static_cast<size_t>(SlotTextUnits - at), value, digits, false));
}

// A price of fromNominal units as the price of toNominal units. Unchanged when
// the nominals agree, or when either is missing (no quote to scale).
static float inNominal(float rate, int32_t fromNominal, int32_t toNominal)
{
    if (fromNominal == toNominal || fromNominal <= 0 || toNominal <= 0) return rate;
    return static_cast<float>(double(rate) / fromNominal * toNominal);
}

// Inlined into composeItem: the layout's own path stays one function.
static inline ItemValues valuesOf(const PanelItem& item, const DayRates& previous, const DayRates& current,
                                  const DayRates& next)
{
    const DayRates* newer = &current;
    const DayRates* older = &previous;
    if (item.period == 1 || (item.period == 2 && next.code.day != 0)) {
        newer = &next;
        older = &current;
    }
    int currency = item.currency < CurrencyCount ? item.currency : CurrencyCount - 1;
    int currency2 = item.currency2 < CurrencyCount ? item.currency2 : CurrencyCount - 1;
    // The older day is compared per unit, in the newer day's nominals: the bank
    // changes a currency's nominal now and then (10 to 1, 1 to 10).
    const RateEntry& a = newer->rates[currency];
    const RateEntry& b = newer->rates[currency2];
    float olderRate = inNominal(older->rates[currency].rate, older->rates[currency].nominal, a.nominal);
    float olderRate2 = inNominal(older->rates[currency2].rate, older->rates[currency2].nominal, b.nominal);
    ItemValues v{0.0f, 0.0f, newer->code, currency};
    if (!item.isRatio) {
        v.newValue = a.rate;
        v.oldValue = olderRate;
    } else {
        if (b.rate != 0.0f) v.newValue = a.rate / b.rate;
        if (olderRate2 != 0.0f) v.oldValue = olderRate / olderRate2;
    }
    return v;
}

ItemValues itemValues(const PanelItem& item, const DayRates& previous, const DayRates& current, const DayRates& next)
{
    return valuesOf(item, previous, current, next);
}

// The difference as a percentage of the older value, two digits, signed: " (+1.23%)".
static int appendPercent(char16_t* out, int at, float newValue, float oldValue)
{
    double percent = (double(newValue) - double(oldValue)) / double(oldValue) * 100.0;
    at = append16(out, at, percent > 0.0 ? " (+" : " (");
    at = appendNumber(out, at, percent, 2);
    return append16(out, at, "%)");
}

void composeItem(const PanelItem& item, ItemSlot& slot, const DayRates& previous, const DayRates& current,
                 const DayRates& next, uint8_t commaFlags, const TextMeasurer& measurer, bool percent)
{
    ItemValues v = valuesOf(item, previous, current, next);
    float newValue = v.newValue, oldValue = v.oldValue;
    int length = 0;
    if (!item.isRatio) {
        copy16(slot.text, SlotTextUnits, symbol[v.currency]);
        length = static_cast<int>(length16(slot.text, SlotTextUnits));
        length = append16(slot.text, length, " ");
        length = appendNumber(slot.text, length, newValue, item.digits);
    } else {
        slot.text[0] = 0;
        length = append16(slot.text, length, "[");
        length = appendNumber(slot.text, length, newValue, item.digits);
        length = append16(slot.text, length, "]");
    }

    if (newValue == 0.0f) {
        for (int i = 0; i < length; ++i)
            if (slot.text[i] == u'0') slot.text[i] = u'\u2212';
    }
    if ((item.itemFlags & ShowDifference) && oldValue != 0.0f && newValue != 0.0f) {
        if (percent) {
            length = appendPercent(slot.text, length, newValue, oldValue);
        } else {
            length = append16(slot.text, length, " (");
            length = appendNumber(slot.text, length, double(newValue - oldValue), item.digits);
            length = append16(slot.text, length, ")");
        }
    }
    if (commaFlags & CommaOnPanel) {
        for (int i = 0; i < length; ++i)
            if (slot.text[i] == u'.') slot.text[i] = u',';
    }
    slot.width = measurer.measure ? measurer.measure(slot.text, length, measurer.context) : 0;
    slot.value = newValue;
    slot.hasArrow = 0;
    if ((item.itemFlags & ShowArrow) && oldValue != 0.0f && newValue != 0.0f && newValue != oldValue) {
        slot.hasArrow = 1;
        slot.arrowUp = newValue > oldValue ? 1 : 0;
        slot.width += ArrowWidth;
    }
}

void formatCopyValue(char16_t* out, int capacity, float value, int digits, bool comma)
{
    if (capacity > 0) formatFixed(out, static_cast<size_t>(capacity), double(value), digits, comma);
}
