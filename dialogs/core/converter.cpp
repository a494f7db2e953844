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

double parseAmount(const char16_t* text, bool& usedComma)
{
    usedComma = false;
    char narrow[AmountTextChars + 2];
    size_t length = 0;
    for (; text[length] && length < AmountTextChars + 1; ++length) {
        char16_t unit = text[length];
        narrow[length] = unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    if (length > AmountTextChars) return 0.0;
    narrow[length] = 0;
    for (size_t i = 0; i < length; ++i) {
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

double convertAmount(const char16_t* input, const DayRates& day, int fromPosition, int toPosition, int digits,
                     char16_t* out, size_t capacity)
{
    bool usedComma = false;
    double amount = parseAmount(input, usedComma);
    PriceUnit from = priceUnitAt(day, fromPosition);
    PriceUnit to = priceUnitAt(day, toPosition);
    // Single precision up to the factor, as the rates are stored; double from there.
    float divisor = static_cast<float>(from.nominal) * to.rate;
    double result = amount;
    if (divisor != 0.0f) {
        float factor = (static_cast<float>(to.nominal) * from.rate) / divisor;
        result = static_cast<double>(factor) * amount;
    }
    formatAmount(out, capacity, result, digits, usedComma);
    return amount;
}
