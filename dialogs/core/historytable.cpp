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

// The widest cell a row may need: every cell is cut to this.
constexpr size_t TextCellUnits = CellTextUnits;

size_t tableTextUnits(int32_t rowCount)
{
    if (rowCount < 0) rowCount = 0;
    return (size_t(rowCount) + 1) * (TableColumns * TextCellUnits + 2) + 1;
}

// Appends text at used; false when it doesn't fit with a NUL after it.
static bool append(char16_t* out, size_t capacity, size_t& used, const char16_t* text)
{
    size_t length = length16(text, CellTextUnits);
    if (used + length + 1 > capacity) return false;
    for (size_t i = 0; i < length; ++i) out[used++] = text[i];
    out[used] = 0;
    return true;
}

static bool appendRow(char16_t* out, size_t capacity, size_t& used, const DayRates& row, const DayRates& shown,
                      int digits, bool comma)
{
    char16_t cell[CellTextUnits];
    formatDay(cell, CellTextUnits, row.code);
    if (!append(out, capacity, used, cell)) return false;
    for (int i = 0; i < CurrencyCount; ++i) {
        if (!append(out, capacity, used, u"\t")) return false;
        const RateEntry& rate = row.rates[i];
        if (rate.nominal <= 0 || !(rate.rate > 0.0f)) continue;
        double value = rate.rate;
        int32_t unit = shown.rates[i].nominal;
        if (unit > 0 && unit != rate.nominal) value = value / rate.nominal * unit;
        formatFixed(cell, CellTextUnits, value, digits, comma);
        if (!append(out, capacity, used, cell)) return false;
    }
    return append(out, capacity, used, u"\r\n");
}

size_t composeTableText(char16_t* out, size_t capacity, const DayRates* rows, const uint16_t* order, int32_t count,
                        const DayRates& shown, int digits, bool comma)
{
    if (!out || capacity == 0) return 0;
    out[0] = 0;
    size_t used = 0;
    bool fits = append(out, capacity, used, u"\x0414\x0430\x0442\x0430");  // "Дата"
    for (int i = 0; i < CurrencyCount && fits; ++i) {
        char16_t header[CellTextUnits];
        widen16(header, CellTextUnits, isoCode[i]);
        int32_t nominal = shown.rates[i].nominal;
        if (nominal > 1) {
            char suffix[16] = "(";
            size_t length = 1 + formatWhole(suffix + 1, sizeof suffix - 2, nominal, 0);
            suffix[length] = ')';
            suffix[length + 1] = 0;
            size_t at = length16(header, CellTextUnits);
            widen16(header + at, CellTextUnits - at, suffix);
        }
        fits = append(out, capacity, used, u"\t") && append(out, capacity, used, header);
    }
    fits = fits && append(out, capacity, used, u"\r\n");
    for (int32_t r = 0; r < count && fits; ++r)
        fits = appendRow(out, capacity, used, rows[order ? order[r] : r], shown, digits, comma);
    if (!fits) {
        out[0] = 0;
        return 0;
    }
    return used;
}
