#include "dialogs/core/converter.h"

#include <cmath>

#include "data/numbertext.h"
#include "platform/text16.h"

PriceUnit priceUnitAt(const DayRates& day, int position)
{
    if (position < 1 || position >= ConverterPositions) return PriceUnit{1, 1.0f};
    const RateEntry& entry = day.rates[position - 1];
    return PriceUnit{entry.nominal, entry.rate};
}

bool narrowAscii(const char16_t* text, char* out, size_t chars)
{
    size_t length = 0;
    for (; text[length] && length < chars; ++length)
        out[length] = text[length] < 0x80 ? static_cast<char>(text[length]) : '?';
    out[length] = 0;
    return !text[length];
}

double parseAmount(const char16_t* text, bool& usedComma)
{
    usedComma = false;
    char narrow[AmountTextChars + 1];
    if (!narrowAscii(text, narrow, AmountTextChars)) return 0.0;
    for (size_t i = 0; narrow[i]; ++i) {
        if (narrow[i] == ',') {
            narrow[i] = '.';
            usedComma = true;
            break;
        }
    }
    // As "%lf" reads it in the C locale, whatever the host's; text that is no
    // number reads as 0.0.
    double value = readDecimal(narrow, nullptr);
    return std::isfinite(value) ? value : 0.0;
}

void formatAmount(char16_t* out, size_t capacity, double value, int digits, bool comma)
{
    formatFixed(out, capacity, value, digits, comma);
}

// A rate the day really has: a unit and a price above zero.
static bool hasRate(const PriceUnit& unit) { return unit.nominal > 0 && unit.rate > 0.0f && std::isfinite(unit.rate); }

double convertAmount(const char16_t* input, const DayRates& day, int fromPosition, int toPosition, int digits,
                     char16_t* out, size_t capacity)
{
    bool usedComma = false;
    double amount = parseAmount(input, usedComma);
    PriceUnit from = priceUnitAt(day, fromPosition);
    PriceUnit to = priceUnitAt(day, toPosition);
    // Without a rate for either side there is no result: never a made-up one.
    if (!hasRate(from) || !hasRate(to)) {
        if (capacity > 0) out[0] = 0;
        return amount;
    }
    // Single precision up to the factor, as the rates are stored; double from there.
    float factor = (static_cast<float>(to.nominal) * from.rate) / (static_cast<float>(from.nominal) * to.rate);
    formatAmount(out, capacity, static_cast<double>(factor) * amount, digits, usedComma);
    return amount;
}
