#include "plugin/core/itemtext.h"

#include <cstdio>

#include "platform/text16.h"

static int clampDigits(int digits) { return digits < 0 ? 0 : (digits > 4 ? 4 : digits); }

// "%%.0%if" filled with digits, applied to value: at most 45 characters for any float.
static void formatNumber(char* out, size_t capacity, const char* patternFormat, int digits, double value)
{
    char pattern[24];
    std::snprintf(pattern, sizeof pattern, patternFormat, clampDigits(digits));
    std::snprintf(out, capacity, pattern, value);
}

// Appends 8-bit text to a UTF-16 buffer, stopping at the last unit.
static int append16(char16_t* out, int at, const char* text)
{
    for (; *text && at < SlotTextUnits - 1; ++text) out[at++] = static_cast<unsigned char>(*text);
    out[at] = 0;
    return at;
}

// A price of fromNominal units as the price of toNominal units. Unchanged when
// the nominals agree, or when either is missing (no quote to scale).
static float inNominal(float rate, int32_t fromNominal, int32_t toNominal)
{
    if (fromNominal == toNominal || fromNominal <= 0 || toNominal <= 0) return rate;
    return static_cast<float>(double(rate) / fromNominal * toNominal);
}

void composeItem(const PanelItem& item, ItemSlot& slot, const DayRates& previous, const DayRates& current,
                 const DayRates& next, uint8_t commaFlags, const TextMeasurer& measurer)
{
    const DayRates* newer = &current;
    const DayRates* older = &previous;
    if (item.period == 1 || (item.period == 2 && next.code.day != 0)) {
        newer = &next;
        older = &current;
    }
    int currency = item.currency < CurrencyCount ? item.currency : CurrencyCount - 1;
    int currency2 = item.currency2 < CurrencyCount ? item.currency2 : CurrencyCount - 1;

    float newValue = 0.0f;
    float oldValue = 0.0f;
    char number[64];
    int length = 0;
    // The older day is compared per unit, in the newer day's nominals: the bank
    // changes a currency's nominal now and then (10 to 1, 1 to 10).
    const RateEntry& a = newer->rates[currency];
    const RateEntry& b = newer->rates[currency2];
    float olderRate = inNominal(older->rates[currency].rate, older->rates[currency].nominal, a.nominal);
    float olderRate2 = inNominal(older->rates[currency2].rate, older->rates[currency2].nominal, b.nominal);
    if (!item.isRatio) {
        newValue = a.rate;
        oldValue = olderRate;
        copy16(slot.text, SlotTextUnits, symbol[currency]);
        length = static_cast<int>(length16(slot.text, SlotTextUnits));
        length = append16(slot.text, length, " ");
        formatNumber(number, sizeof number, "%%.0%if", item.digits, newValue);
    } else {
        if (b.rate != 0.0f) newValue = a.rate / b.rate;
        if (olderRate2 != 0.0f) oldValue = olderRate / olderRate2;
        slot.text[0] = 0;
        formatNumber(number, sizeof number, "[%%.0%if]", item.digits, newValue);
    }
    length = append16(slot.text, length, number);

    if (newValue == 0.0f) {
        for (int i = 0; i < length; ++i)
            if (slot.text[i] == u'0') slot.text[i] = u'\u2212';
    }
    if ((item.itemFlags & ShowDifference) && oldValue != 0.0f && newValue != 0.0f) {
        formatNumber(number, sizeof number, " (%%.0%if)", item.digits, double(newValue - oldValue));
        length = append16(slot.text, length, number);
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
    char number[64];
    formatNumber(number, sizeof number, "%%.0%if", digits, double(value));
    widen16(out, static_cast<size_t>(capacity), number);
    if (comma) firstPointToComma(out, static_cast<size_t>(capacity));
}
