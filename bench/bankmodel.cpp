#include "bench/bankmodel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

// Days since 1970-01-01 of a Gregorian date, and back (Hinnant's algorithms).
int32_t civilDay(int year, int month, int day)
{
    year -= month <= 2;
    int era = (year >= 0 ? year : year - 399) / 400;
    int yearOfEra = year - era * 400;
    int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void civilDate(int32_t number, int& year, int& month, int& day)
{
    number += 719468;
    int era = (number >= 0 ? number : number - 146096) / 146097;
    int dayOfEra = number - era * 146097;
    int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int shifted = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    month = shifted < 10 ? shifted + 3 : shifted - 9;
    year = yearOfEra + era * 400 + (month <= 2);
}

int civilWeekday(int32_t number) { return int(((number % 7) + 11) % 7); }  // 1970-01-01 was a Thursday

namespace {

struct DayOff {
    int year, month, first, last;
};

// Public holidays off work on weekdays, with the days moved onto them. 2026:
// 1-9 January (the 9th moved from Saturday 3 January), 23 February, 9 March,
// 1 and 11 May, 12 June, 4 November, 31 December (moved from Sunday 4 January):
// 247 working days. 2025: 31 December (moved from Saturday 4 January).
const DayOff daysOff[] = {{2025, 12, 31, 31}, {2026, 1, 1, 9}, {2026, 2, 23, 23}, {2026, 3, 9, 9},
                          {2026, 5, 1, 1},    {2026, 5, 11, 11}, {2026, 6, 12, 12}, {2026, 11, 4, 4},
                          {2026, 12, 31, 31}};

// The quoted currencies in the bank's order (by ID): ID, NumCode, CharCode,
// nominal, name (windows-1251), a base price, and the row of the core's table.
struct Quoted {
    const char* id;
    const char* numCode;
    const char* charCode;
    int nominal;
    const char* name;
    double base;
    int row;
};
const Quoted quoted[TableCurrencies] = {
    {"R01235", "840", "USD", 1, "\xC4\xEE\xEB\xEB\xE0\xF0 \xD1\xD8\xC0", 81.2500, 1},
    {"R01239", "978", "EUR", 1, "\xC5\xE2\xF0\xEE", 94.6000, 0},
    {"R01375", "156", "CNY", 1, "\xCA\xE8\xF2\xE0\xE9\xF1\xEA\xE8\xE9 \xFE\xE0\xED\xFC", 11.3100, 17},
    {"R01820", "392", "JPY", 100, "\xDF\xEF\xEE\xED\xF1\xEA\xE8\xF5 \xE8\xE5\xED", 53.8700, 3},
};

// Four decimals, as the bank writes a price (a point here; the document's comma
// is put in as it is written).
double fourDecimals(double value) { return std::round(value * 10000.0) / 10000.0; }

// The price of currency k in the table dated day: a deterministic wobble, so
// that every table differs from the one before it.
double priceOn(int k, int32_t day)
{
    double wobble = 0.03 * std::sin(day * 0.071 + k) + 0.004 * std::sin(day * 1.37 + 2.0 * k);
    return fourDecimals(quoted[k].base * (1.0 + wobble));
}

void appendPrice(std::string& out, double value, int nominal)
{
    char text[32];
    std::snprintf(text, sizeof text, nominal == 1 ? "%.4f" : "%.6f", nominal == 1 ? value : value / nominal);
    for (char* c = text; *c; ++c)
        if (*c == '.') *c = ',';
    out += text;
}

}  // namespace

bool isWorkingDay(int32_t number)
{
    int weekday = civilWeekday(number);
    if (weekday == 0 || weekday == 6) return false;
    int year, month, day;
    civilDate(number, year, month, day);
    for (const DayOff& off : daysOff)
        if (off.year == year && off.month == month && day >= off.first && day <= off.last) return false;
    return true;
}

int Bank::currencyRow(int k) { return quoted[k].row; }

Bank::Bank(int publishMinute) : minute(publishMinute)
{
    int32_t first = civilDay(2025, 12, 1), last = civilDay(2026, 12, 31);
    for (int32_t day = first; day <= last; ++day) {
        if (!isWorkingDay(day)) continue;
        BankTable table{};
        table.dated = day + 1;
        table.publishedMs = day * DayMs + (publishMinute - MoscowOffsetMinutes) * MinuteMs;
        for (int k = 0; k < TableCurrencies; ++k) table.rate[k] = priceOn(k, table.dated);
        published.push_back(table);
    }
}

int Bank::answer(int64_t utcMs, bool latest, int32_t day) const
{
    // Both the publication times and the dates grow along the list.
    auto out = std::upper_bound(published.begin(), published.end(), utcMs,
                                [](int64_t t, const BankTable& table) { return t < table.publishedMs; });
    if (!latest) {
        auto dated = std::upper_bound(published.begin(), published.end(), day,
                                      [](int32_t d, const BankTable& table) { return d < table.dated; });
        out = std::min(out, dated);
    }
    return int(out - published.begin()) - 1;
}

size_t Bank::document(int index, std::vector<char>& out) const
{
    std::string text = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n";
    if (index < 0) {
        text += "<ValCurs Date=\"\" name=\"Foreign Currency Market\"></ValCurs>";
    } else {
        const BankTable& table = published[size_t(index)];
        int year, month, day;
        civilDate(table.dated, year, month, day);
        char head[96];
        std::snprintf(head, sizeof head, "<ValCurs Date=\"%02d.%02d.%04d\" name=\"Foreign Currency Market\">\r\n", day,
                      month, year);
        text += head;
        for (int k = 0; k < TableCurrencies; ++k) {
            const Quoted& q = quoted[k];
            text += std::string("<Valute ID=\"") + q.id + "\">\r\n<NumCode>" + q.numCode + "</NumCode>\r\n<CharCode>" +
                    q.charCode + "</CharCode>\r\n<Nominal>" + std::to_string(q.nominal) + "</Nominal>\r\n<Name>" +
                    q.name + "</Name>\r\n<Value>";
            appendPrice(text, table.rate[k], 1);
            text += "</Value>\r\n<VunitRate>";
            appendPrice(text, table.rate[k], q.nominal);
            text += "</VunitRate>\r\n</Valute>\r\n";
        }
        text += "</ValCurs>\r\n";
    }
    out.assign(text.begin(), text.end());
    out.push_back(0);
    return text.size();
}

int Bank::datedIn(int year) const
{
    int count = 0;
    for (const BankTable& table : published) {
        int y, m, d;
        civilDate(table.dated, y, m, d);
        count += y == year;
    }
    return count;
}
