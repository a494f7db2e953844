#include "dialogs/core/historytable.h"

#include "dialogs/core/converter.h"
#include "platform/text16.h"

void formatDay(char16_t* out, size_t capacity, const DayCode& code)
{
    char text[16];
    size_t length = formatWhole(text, sizeof text, code.day, 2);
    text[length++] = '/';
    length += formatWhole(text + length, sizeof text - length, code.month, 2);
    text[length++] = '/';
    formatWhole(text + length, sizeof text - length, yearOf(code), 4);
    widen16(out, capacity, text);
}

void formatRate(char16_t* out, size_t capacity, float rate, int digits, bool comma)
{
    formatFixed(out, capacity, static_cast<double>(rate), digits, comma);
}

void formatColumnHeader(char16_t* out, size_t capacity, int currency, int32_t nominal)
{
    if (capacity == 0) return;
    out[0] = 0;
    if (currency < 0 || currency >= CurrencyCount) return;
    copy16(out, capacity, symbol[currency]);
    if (nominal <= 1) return;
    char suffix[16] = "(";
    size_t length = 1 + formatWhole(suffix + 1, sizeof suffix - 2, nominal, 0);
    suffix[length] = ')';
    suffix[length + 1] = 0;
    size_t used = length16(out, capacity);
    widen16(out + used, capacity - used, suffix);
}

int32_t countRows(const DayRates* records, int32_t capacity)
{
    if (!records) return 0;
    int32_t rows = 0;
    while (rows < capacity && records[rows].code.day != 0) ++rows;
    return rows;
}

// Towards zero, held inside the int32 range (a damaged file may hold any float).
static int32_t truncateThousandths(float value)
{
    if (value != value) return 0;
    if (value >= 2147483520.0f) return 2147483647;
    if (value <= -2147483520.0f) return -2147483647;
    return static_cast<int32_t>(value);
}

int32_t compareRows(const DayRates& a, const DayRates& b, int column, bool descending)
{
    int32_t d = 0;
    if (column == 0) {
        d = DayDistance(a.code, b.code);
    } else if (column > 0 && column < TableColumns) {
        float difference = (a.rates[column - 1].rate - b.rates[column - 1].rate) * 1000.0f;
        d = truncateThousandths(difference);
    }
    return descending ? -d : d;
}
