// The history dialog's portable parts: the converter's arithmetic and texts, and
// the table's cells, headers, row count and row order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dialogs/core/converter.h"
#include "dialogs/core/historytable.h"
#include "tests/native/utf8.h"

namespace {

constexpr int Eur = 0, Usd = 1, Jpy = 3;

DayRates day(int d, int month, int year)
{
    DayRates r;
    std::memset(&r, 0, sizeof r);
    r.code = makeDayCode(d, month, year);
    return r;
}

// A day with USD at 30.0 for 1 and JPY at 25.0 for 100; EUR is absent.
DayRates tradingDay()
{
    DayRates r = day(5, 1, 2006);
    r.rates[Usd] = {1, 30.0f};
    r.rates[Jpy] = {100, 25.0f};
    return r;
}

std::string convert(const char16_t* input, int from, int to, int digits = 4, double* amount = nullptr)
{
    char16_t out[NumberTextUnits];
    double parsed = convertAmount(input, tradingDay(), from, to, digits, out, NumberTextUnits);
    if (amount) *amount = parsed;
    return toUtf8(out);
}

std::string rate(float value, int digits, bool comma = false)
{
    char16_t out[CellTextUnits];
    formatRate(out, CellTextUnits, value, digits, comma);
    return toUtf8(out);
}

}  // namespace

TEST(HistoryConverter, ConvertsThroughRoublesInSinglePrecisionSteps)
{
    double amount = 0;
    // Positions: 0 the rouble, p the currency p - 1.
    EXPECT_EQ(convert(u"100", 0, Usd + 1, 4, &amount), "3.3333");
    EXPECT_EQ(amount, 100.0);
    // The factor is a float (1/30 as 0.033333335f): the sixth digit shows it.
    EXPECT_EQ(convert(u"1000000", 0, Usd + 1), "33333.3351");
    // Nominals: 1000 yen are 250 roubles, 25/3000 of a dollar per yen.
    EXPECT_EQ(convert(u"1000", Jpy + 1, Usd + 1), "8.3333");
    EXPECT_EQ(convert(u"10", Usd + 1, Jpy + 1), "1200.0000");
    EXPECT_EQ(convert(u"10", Usd + 1, 0, 2), "300.00");
    // The rouble into itself, with the field's digits.
    EXPECT_EQ(convert(u"123.45678", 0, 0), "123.4568");
    EXPECT_EQ(convert(u"123.45678", 0, 0, 0), "123");
}

TEST(HistoryConverter, ANominalChangeLeavesThePerUnitPriceAlone)
{
    // SEK at 300.00 for 10 one day and 30.00 for 1 the next: the same price per
    // krona, so the same amount converts the same on both days, either way.
    constexpr int Sek = 15;
    DayRates tenUnits = day(5, 1, 2006), oneUnit = day(6, 1, 2006);
    tenUnits.rates[Sek] = {10, 300.0f};
    oneUnit.rates[Sek] = {1, 30.0f};
    tenUnits.rates[Usd] = oneUnit.rates[Usd] = {1, 60.0f};
    char16_t a[NumberTextUnits], b[NumberTextUnits];
    for (int from : {0, Usd + 1}) {
        convertAmount(u"120", tenUnits, from, Sek + 1, 4, a, NumberTextUnits);
        convertAmount(u"120", oneUnit, from, Sek + 1, 4, b, NumberTextUnits);
        EXPECT_EQ(toUtf8(a), from == 0 ? "4.0000" : "240.0000");
        EXPECT_EQ(toUtf8(a), toUtf8(b)) << from;
        convertAmount(u"120", tenUnits, Sek + 1, from, 4, a, NumberTextUnits);
        convertAmount(u"120", oneUnit, Sek + 1, from, 4, b, NumberTextUnits);
        EXPECT_EQ(toUtf8(a), toUtf8(b)) << from;
    }
}

TEST(HistoryConverter, ResultMirrorsTheInputsSeparator)
{
    double amount = 0;
    EXPECT_EQ(convert(u"100,5", 0, Usd + 1, 4, &amount), "3,3500");
    EXPECT_EQ(amount, 100.5);
    EXPECT_EQ(convert(u"100.5", 0, Usd + 1), "3.3500");
    // Only the first comma is a decimal point; parsing stops at the second.
    EXPECT_EQ(convert(u"1,5,7", 0, 0, 2, &amount), "1,50");
    EXPECT_EQ(amount, 1.5);
    EXPECT_EQ(convert(u"7", 0, 0, 0), "7");
}

TEST(HistoryConverter, MissingRatesAndStrayPositionsNeverDivideByZero)
{
    // EUR is absent (nominal 0, rate 0): the amount comes back unchanged, either way.
    EXPECT_EQ(convert(u"100", 0, Eur + 1), "100.0000");
    EXPECT_EQ(convert(u"100", Eur + 1, Usd + 1), "100.0000");
    DayRates empty{};
    char16_t out[NumberTextUnits];
    EXPECT_EQ(convertAmount(u"42,25", empty, Usd + 1, Jpy + 1, 2, out, NumberTextUnits), 42.25);
    EXPECT_EQ(toUtf8(out), "42,25");
    // Positions outside the lists (no selection, a damaged file) are the rouble.
    for (int stray : {-1, -128, ConverterPositions, 127}) {
        SCOPED_TRACE(stray);
        EXPECT_EQ(convert(u"100", stray, Usd + 1), "3.3333");
        EXPECT_EQ(convert(u"300", Usd + 1, stray), "9000.0000");
        PriceUnit unit = priceUnitAt(tradingDay(), stray);
        EXPECT_EQ(unit.nominal, 1);
        EXPECT_EQ(unit.rate, 1.0f);
    }
    PriceUnit last = priceUnitAt(tradingDay(), ConverterPositions - 1);  // CHF, absent
    EXPECT_EQ(last.nominal, 0);
}

TEST(HistoryConverter, TextThatIsNoAmountConvertsAsZero)
{
    bool comma = true;
    EXPECT_EQ(parseAmount(u"", comma), 0.0);
    EXPECT_FALSE(comma);
    EXPECT_EQ(parseAmount(u"abc", comma), 0.0);
    EXPECT_EQ(parseAmount(u"  12.5xyz", comma), 12.5);  // as "%lf" reads it
    EXPECT_EQ(parseAmount(u"-3", comma), -3.0);
    // Not finite, or not ASCII: not an amount.
    for (const char16_t* text : {u"inf", u"nan", u"1e999", u"\uFF11\uFF12", u"\u0661"}) EXPECT_EQ(parseAmount(text, comma), 0.0);

    // The field reads 254 characters; one more and the text is not an amount.
    std::u16string longest(AmountTextChars - 1, u'0');
    longest.insert(longest.begin(), u'7');
    EXPECT_EQ(parseAmount(longest.c_str(), comma), 7e253);
    std::u16string tooLong = longest + u"0";
    EXPECT_EQ(parseAmount(tooLong.c_str(), comma), 0.0);
    std::u16string pasted(5000, u'9');
    EXPECT_EQ(convert(pasted.c_str(), 0, Usd + 1), "0.0000");
    std::u16string longComma = u"1," + std::u16string(AmountTextChars, u'5');
    EXPECT_EQ(parseAmount(longComma.c_str(), comma), 0.0);
    EXPECT_FALSE(comma);
}

TEST(HistoryConverter, AmountTextsStayInsideTheirBuffers)
{
    char16_t out[NumberTextUnits];
    // The largest double fits whole.
    formatAmount(out, NumberTextUnits, 1.7976931348623157e308, 4, true);
    std::string text = toUtf8(out);
    EXPECT_EQ(text.size(), 309u + 5u);
    EXPECT_EQ(text.substr(text.size() - 5), ",0000");
    // A short buffer is cut and terminated; nothing past it is touched.
    char16_t small[8];
    std::fill(small, small + 8, u'#');
    formatAmount(small, 5, 1234.5678, 4, false);
    EXPECT_EQ(toUtf8(small), "1234");
    EXPECT_EQ(small[5], u'#');
    // Digits from a damaged file are held to 0..4.
    formatAmount(out, NumberTextUnits, 2.5, 9, false);
    EXPECT_EQ(toUtf8(out), "2.5000");
    formatAmount(out, NumberTextUnits, 2.25, -3, false);
    EXPECT_EQ(toUtf8(out), "2");
    EXPECT_EQ(fixedDigitsInRange(3), 3);
}

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
    slots[0] = day(1, 2, 2006);
    slots[1] = day(2, 2, 2006);
    slots[3] = day(4, 2, 2006);
    EXPECT_EQ(countRows(slots, 5), 2);
    EXPECT_EQ(countRows(slots, 1), 1);
    EXPECT_EQ(countRows(slots, 0), 0);
    slots[2] = day(3, 2, 2006);
    slots[4] = day(5, 2, 2006);
    EXPECT_EQ(countRows(slots, 5), 5);
    slots[0].code.day = 0;  // slot 0 empty: no rows, whatever follows
    EXPECT_EQ(countRows(slots, 5), 0);
    EXPECT_EQ(countRows(nullptr, 5), 0);
}

TEST(HistoryTable, DatesCompareByDayDistance)
{
    DayRates jan5 = day(5, 1, 2006), dec20 = day(20, 12, 2005);
    EXPECT_EQ(compareRows(jan5, dec20, 0, false), 9);
    EXPECT_EQ(compareRows(dec20, jan5, 0, false), -9);
    EXPECT_EQ(compareRows(dec20, jan5, 0, true), 9);
    EXPECT_EQ(compareRows(jan5, jan5, 0, true), 0);
    // The 31-day months: 28 February is 4 days before 1 March.
    EXPECT_EQ(compareRows(day(1, 3, 2006), day(28, 2, 2006), 0, false), 4);
    // 31 December and 7 January of the next year share a key: equal.
    EXPECT_EQ(compareRows(day(31, 12, 2005), day(7, 1, 2006), 0, false), 0);
}

TEST(HistoryTable, RatesCompareInTruncatedThousandths)
{
    DayRates a = day(1, 1, 2006), b = day(2, 1, 2006);
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
    DayRates a = day(1, 1, 2006), b = day(2, 1, 2006);
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
