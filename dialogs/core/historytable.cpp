#include "dialogs/core/historytable.h"

#include "dialogs/core/converter.h"
#include "data/calendar.h"
#include "data/numbertext.h"
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

void formatRate(char16_t* out, size_t capacity, double rate, int digits, bool comma)
{
    formatFixed(out, capacity, rate, digits, comma);
}

// Appends "(nominal)" to the text in out when the rate is for more than one unit.
static void appendNominal(char16_t* out, size_t capacity, int32_t nominal)
{
    if (nominal <= 1) return;
    char suffix[16] = "(";
    size_t length = 1 + formatWhole(suffix + 1, sizeof suffix - 2, nominal, 0);
    suffix[length] = ')';
    suffix[length + 1] = 0;
    size_t used = length16(out, capacity);
    widen16(out + used, capacity - used, suffix);
}

static const char16_t dateHeader[] = u"\x0414\x0430\x0442\x0430";  // "Дата"

void formatColumnHeader(char16_t* out, size_t capacity, int currency, int32_t nominal)
{
    if (capacity == 0) return;
    out[0] = 0;
    if (currency == -1) copy16(out, capacity, dateHeader);
    if (currency < 0 || currency >= CurrencyCount) return;
    copy16(out, capacity, symbol[currency]);
    appendNominal(out, capacity, nominal);
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

double rateForNominal(const RateEntry& entry, int32_t unit)
{
    if (unit <= 0 || entry.nominal <= 0 || unit == entry.nominal) return entry.rate;
    return static_cast<double>(entry.rate) / entry.nominal * unit;
}

int32_t compareRows(const DayRates& a, const DayRates& b, int column, bool descending, const DayRates* shown)
{
    int32_t d = 0;
    if (column == 0) {
        d = DayDistance(a.code, b.code);
    } else if (column > 0 && column < TableColumns) {
        int32_t unit = shown ? shown->rates[column - 1].nominal : 0;
        float difference = (static_cast<float>(rateForNominal(a.rates[column - 1], unit)) -
                            static_cast<float>(rateForNominal(b.rates[column - 1], unit))) *
                           1000.0f;
        d = truncateThousandths(difference);
    }
    return descending ? -d : d;
}

// Appends text at used, all of it or nothing; without out, only counts.
static bool append(char16_t* out, size_t capacity, size_t& used, const char16_t* text)
{
    return appendText(out, capacity, used, text, true);
}

int tableCurrencies(const DayRates* rows, int32_t count, uint8_t* currencies)
{
    int n = 0;
    for (int c = 0; c < CurrencyCount; ++c) {
        bool seen = c < RecordCurrencies;
        for (int32_t r = 0; r < count && !seen; ++r) seen = rows[r].rates[c].nominal > 0 && rows[r].rates[c].rate > 0.0f;
        if (seen) currencies[n++] = uint8_t(c);
    }
    return n;
}

static bool appendRow(char16_t* out, size_t capacity, size_t& used, const DayRates& row, const DayRates& shown,
                      const uint8_t* currencies, int columns, int digits, bool comma)
{
    char16_t cell[CellTextUnits];
    formatDay(cell, CellTextUnits, row.code);
    if (!append(out, capacity, used, cell)) return false;
    for (int column = 0; column < columns; ++column) {
        int i = currencies[column];
        if (!append(out, capacity, used, u"\t")) return false;
        const RateEntry& rate = row.rates[i];
        if (rate.nominal <= 0 || !(rate.rate > 0.0f)) continue;
        formatFixed(cell, CellTextUnits, rateForNominal(rate, shown.rates[i].nominal), digits, comma);
        if (!append(out, capacity, used, cell)) return false;
    }
    return append(out, capacity, used, u"\r\n");
}

size_t composeTableText(char16_t* out, size_t capacity, const DayRates* rows, const uint16_t* order, int32_t count,
                        const DayRates& shown, int digits, bool comma)
{
    if (out && capacity == 0) return 0;
    if (out) out[0] = 0;
    size_t used = 0;
    uint8_t currencies[CurrencyCount];
    int columns = tableCurrencies(rows, count, currencies);
    bool fits = append(out, capacity, used, dateHeader);
    for (int column = 0; column < columns && fits; ++column) {
        int i = currencies[column];
        char16_t header[CellTextUnits];
        widen16(header, CellTextUnits, isoCode[i]);
        appendNominal(header, CellTextUnits, shown.rates[i].nominal);
        fits = append(out, capacity, used, u"\t") && append(out, capacity, used, header);
    }
    fits = fits && append(out, capacity, used, u"\r\n");
    for (int32_t r = 0; r < count && fits; ++r)
        fits = appendRow(out, capacity, used, rows[order ? order[r] : r], shown, currencies, columns, digits, comma);
    if (!fits) {
        if (out) out[0] = 0;
        return 0;
    }
    return used;
}

void composeRatesCaption(char16_t* out, size_t capacity, int32_t done, int32_t planned, bool failed)
{
    if (!out || capacity == 0) return;
    size_t used = 0;
    appendText(out, capacity, used, u"\x041A\x0443\x0440\x0441\x044B");  // "Курсы"
    if (failed) appendText(out, capacity, used, u"  \x043E\x0448\x0438\x0431\x043A\x0430");  // "  ошибка"
    if (failed || done < 0) return;
    char number[16];
    formatWhole(number, sizeof number, done, 0);
    appendText(out, capacity, used, "  ");
    appendText(out, capacity, used, number);
    appendText(out, capacity, used, " / ");
    formatWhole(number, sizeof number, planned, 0);
    appendText(out, capacity, used, number);
}
