// The converter's arithmetic and its number texts, apart from any window.
#pragma once
#include <cstddef>
#include <cstdint>

#include "data/currency.h"

// The amount field is read up to this many characters; a longer text is not an amount.
constexpr int AmountTextChars = 254;
// Room for any double in "%.4lf" (309 integer digits, sign, point, 4 digits, NUL).
constexpr int NumberTextUnits = 320;
// Positions of the converter's currency lists: 0 is the rouble, p is currency p - 1.
constexpr int ConverterPositions = CurrencyCount + 1;

// The price unit behind a list position: the rouble (1, 1.0) for position 0 and for
// any position outside the lists; otherwise the day's nominal and rate.
struct PriceUnit {
    int32_t nominal;
    float rate;
};
PriceUnit priceUnitAt(const DayRates& day, int position);

// A field's text as 8-bit ASCII into out (room for chars and the NUL), '?' for any
// other unit; false (out then holds its start) when the text is longer than chars.
bool narrowAscii(const char16_t* text, char* out, size_t chars);

// Parses the amount field's text: the first ',' counts as the decimal point (and
// usedComma tells so), the rest as "%lf" reads it. Text that doesn't parse, isn't
// finite or is longer than AmountTextChars gives 0.0.
double parseAmount(const char16_t* text, bool& usedComma);

// Formats value with digits after the point ("%.<digits>lf") into out of capacity
// units; with comma set the first '.' becomes ','. Cut to fit, always terminated.
void formatAmount(char16_t* out, size_t capacity, double value, int digits, bool comma);

// Converts the amount text between list positions at day's rates and writes the
// result, with digits after the point, into out. The result has a decimal comma
// exactly when the input had one; it is empty when the day has no rate for either
// currency. Returns the parsed amount.
double convertAmount(const char16_t* input, const DayRates& day, int fromPosition, int toPosition, int digits,
                     char16_t* out, size_t capacity);

