// The rates table's cells, headers, row count and row order, and the table as
// text for the clipboard.
#include "testutil.h"

#include "dialogs/core/historytable.h"

namespace {

constexpr int Eur = 0, Usd = 1, Jpy = 3;

std::string rate(float value, int digits, bool comma = false)
{
    char16_t out[CellTextUnits];
    formatRate(out, CellTextUnits, value, digits, comma);
    return toUtf8(out);
}

}  // namespace

TEST(HistoryTable, CellsShowDaysAndRatesAndHeadersShowNominals)
{
    char16_t out[CellTextUnits];
    formatDay(out, CellTextUnits, makeDayCode(5, 1, 2006));
    EXPECT_EQ(toUtf8(out), "05/01/2006");
    formatDay(out, CellTextUnits, DayCode{0, 0, 0});
    EXPECT_EQ(toUtf8(out), "00/00/1989");
    formatDay(out, CellTextUnits, DayCode{31, 12, 255});
    EXPECT_EQ(toUtf8(out), "31/12/2244");

    EXPECT_EQ(rate(30.1234f, 4), "30.1234");
    EXPECT_EQ(rate(30.1234f, 4, true), "30,1234");
    EXPECT_EQ(rate(30.1234f, 1), "30.1");
    EXPECT_EQ(rate(0.0f, 4), "0.0000");  // a currency the day lacked
    EXPECT_EQ(rate(29.75f, 0, true), "30");
    EXPECT_EQ(rate(3.0e38f, 4).size(), 39u + 5u);

    formatColumnHeader(out, CellTextUnits, Jpy, 100);
    EXPECT_EQ(toUtf8(out), "\u00A5(100)");
    for (int32_t plain : {0, 1, -5}) {
        formatColumnHeader(out, CellTextUnits, Jpy, plain);
        EXPECT_EQ(toUtf8(out), "\u00A5") << plain;
    }
    formatColumnHeader(out, CellTextUnits, Eur, 10);
    EXPECT_EQ(toUtf8(out), "\u20AC(10)");
    formatColumnHeader(out, CellTextUnits, CurrencyCount, 1);
    EXPECT_EQ(toUtf8(out), "");
    formatColumnHeader(out, CellTextUnits, 5, 1);  // the Belarusian slot
    EXPECT_EQ(toUtf8(out), "BYN");
    char16_t tiny[4];
    formatColumnHeader(tiny, 4, 4, 1000);  // "UAH(1000)" cut to fit
    EXPECT_EQ(toUtf8(tiny), "UAH");
}

TEST(HistoryTable, RowsAreTheFilledSlotsAtTheFront)
{
    DayRates slots[5];
    std::memset(slots, 0, sizeof slots);
    EXPECT_EQ(countRows(slots, 5), 0);
    slots[0] = dayRecord(1, 2, 2006);
    slots[1] = dayRecord(2, 2, 2006);
    slots[3] = dayRecord(4, 2, 2006);
    EXPECT_EQ(countRows(slots, 5), 2);
    EXPECT_EQ(countRows(slots, 1), 1);
    EXPECT_EQ(countRows(slots, 0), 0);
    slots[2] = dayRecord(3, 2, 2006);
    slots[4] = dayRecord(5, 2, 2006);
    EXPECT_EQ(countRows(slots, 5), 5);
    slots[0].code.day = 0;  // slot 0 empty: no rows, whatever follows
    EXPECT_EQ(countRows(slots, 5), 0);
    EXPECT_EQ(countRows(nullptr, 5), 0);
}

// Dates compare by calendar days: a January after the December before it.
TEST(HistoryTable, DatesCompareByCalendarDays)
{
    DayRates jan5 = dayRecord(5, 1, 2006), dec20 = dayRecord(20, 12, 2005);
    EXPECT_EQ(compareRows(jan5, dec20, 0, false), 16);
    EXPECT_EQ(compareRows(dec20, jan5, 0, false), -16);
    EXPECT_EQ(compareRows(dec20, jan5, 0, true), 16);
    EXPECT_EQ(compareRows(jan5, jan5, 0, true), 0);
    EXPECT_EQ(compareRows(dayRecord(1, 3, 2006), dayRecord(28, 2, 2006), 0, false), 1);
    EXPECT_EQ(compareRows(dayRecord(31, 12, 2005), dayRecord(7, 1, 2006), 0, false), -7);
}

TEST(HistoryTable, RatesCompareInTruncatedThousandths)
{
    DayRates a = dayRecord(1, 1, 2006), b = dayRecord(2, 1, 2006);
    a.rates[Usd].rate = 30.5f;
    b.rates[Usd].rate = 30.25f;
    EXPECT_EQ(compareRows(a, b, Usd + 1, false), 250);
    EXPECT_EQ(compareRows(a, b, Usd + 1, true), -250);
    EXPECT_EQ(compareRows(b, a, Usd + 1, false), -250);
    // Under a thousandth apart is equal, in both directions (towards zero).
    b.rates[Usd].rate = 30.4995f;
    EXPECT_EQ(compareRows(a, b, Usd + 1, false), 0);
    EXPECT_EQ(compareRows(b, a, Usd + 1, false), 0);
    b.rates[Usd].rate = 30.4985f;  // 1.5 thousandths: 1
    EXPECT_EQ(compareRows(a, b, Usd + 1, false), 1);
    EXPECT_EQ(compareRows(b, a, Usd + 1, false), -1);
    // The column picks the currency: USD differs, EUR doesn't.
    EXPECT_EQ(compareRows(a, b, Eur + 1, false), 0);
    // The last currency column is CHF; columns beyond the table compare equal.
    a.rates[CurrencyCount - 1].rate = 2.0f;
    EXPECT_EQ(compareRows(a, b, TableColumns - 1, false), 2000);
    EXPECT_EQ(compareRows(a, b, TableColumns, false), 0);
    EXPECT_EQ(compareRows(a, b, -1, true), 0);
}

TEST(HistoryTable, DamagedRatesStillGiveAnOrder)
{
    DayRates a = dayRecord(1, 1, 2006), b = dayRecord(2, 1, 2006);
    a.rates[Eur].rate = 3.0e38f;
    b.rates[Eur].rate = -3.0e38f;
    EXPECT_EQ(compareRows(a, b, Eur + 1, false), 2147483647);
    EXPECT_EQ(compareRows(a, b, Eur + 1, true), -2147483647);
    EXPECT_EQ(compareRows(b, a, Eur + 1, false), -2147483647);
    a.rates[Eur].rate = 3.0e6f;  // 3e9 thousandths: past int32
    b.rates[Eur].rate = 0.0f;
    EXPECT_EQ(compareRows(a, b, Eur + 1, false), 2147483647);
    float nan;
    uint32_t bits = 0x7FC00000u;
    std::memcpy(&nan, &bits, sizeof nan);
    a.rates[Eur].rate = nan;
    EXPECT_EQ(compareRows(a, b, Eur + 1, false), 0);
    EXPECT_EQ(compareRows(b, a, Eur + 1, true), 0);
}

TEST(TableText, HeaderCodesAndNominalsThenOneTabSeparatedRowPerDay)
{
    DayRates rows[] = {dayRecord(8, 12, 2026, 90.8f), dayRecord(7, 12, 2026, 907.0f, 10)};
    rows[0].rates[3] = {100, 53.4f};  // JPY
    uint16_t order[] = {1, 0};
    std::vector<char16_t> text(composeTableText(nullptr, 0, rows, order, 2, rows[0], 2, true) + 1);
    size_t length = composeTableText(text.data(), text.size(), rows, order, 2, rows[0], 2, true);
    std::u16string got(text.data(), length);
    std::u16string want = u"Дата\tEUR\tUSD\tGBP\tJPY(100)\tUAH\tBYN\tAUD\tDKK\tISK\tKZT\tCAD\tNOK\tXDR\tSGD\tTRY\tSEK\tCHF\r\n";
    // 907 for 10 is 90.70 for the shown day's one; a missing rate is an empty cell.
    want += u"07/12/2026\t90,70\t80,07\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\r\n";
    want += u"08/12/2026\t90,80\t80,08\t\t53,40\t\t\t\t\t\t\t\t\t\t\t\t\t\r\n";
    EXPECT_EQ(got, want);

    // Too little room: nothing, not a cut table.
    std::vector<char16_t> small(40, u'x');
    EXPECT_EQ(composeTableText(small.data(), small.size(), rows, order, 2, rows[0], 2, true), 0u);
    EXPECT_EQ(small[0], 0);
    // No rows: the header alone, with points when the options say so.
    length = composeTableText(text.data(), text.size(), rows, nullptr, 0, rows[0], 4, false);
    EXPECT_EQ(std::u16string(text.data(), length).find(u"\r\n"), length - 2);
}
