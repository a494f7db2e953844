// The converter's arithmetic and texts.
#include "testutil.h"

#include "dialogs/core/converter.h"
#include "data/numbertext.h"
#include "dialogs/core/historytable.h"

namespace {

constexpr int Eur = 0, Usd = 1, Jpy = 3;

// A day with USD at 30.0 for 1 and JPY at 25.0 for 100; EUR is absent.
DayRates tradingDay()
{
    DayRates r = dayRecord(5, 1, 2006);
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

}  // namespace

TEST(Converter, ConvertsThroughRoublesInSinglePrecisionSteps)
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

TEST(Converter, ANominalChangeLeavesThePerUnitPriceAlone)
{
    // SEK at 300.00 for 10 one day and 30.00 for 1 the next: the same price per
    // krona, so the same amount converts the same on both days, either way.
    constexpr int Sek = 15;
    DayRates tenUnits = dayRecord(5, 1, 2006), oneUnit = dayRecord(6, 1, 2006);
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

TEST(Converter, ResultMirrorsTheInputsSeparator)
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

TEST(Converter, AMissingRateGivesNoResultAndStrayPositionsAreTheRouble)
{
    // EUR is absent (nominal 0, rate 0): no result either way, never the amount 1:1.
    EXPECT_EQ(convert(u"100", 0, Eur + 1), "");
    EXPECT_EQ(convert(u"100", Eur + 1, Usd + 1), "");
    EXPECT_EQ(convert(u"100", Eur + 1, Eur + 1), "");
    DayRates empty{};
    char16_t out[NumberTextUnits] = u"stale";
    EXPECT_EQ(convertAmount(u"42,25", empty, Usd + 1, Jpy + 1, 2, out, NumberTextUnits), 42.25);
    EXPECT_EQ(toUtf8(out), "");
    DayRates damaged = tradingDay();
    damaged.rates[Usd] = {1, -30.0f};
    EXPECT_EQ(convertAmount(u"1", damaged, Usd + 1, 0, 2, out, NumberTextUnits), 1.0);
    EXPECT_EQ(toUtf8(out), "");
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

TEST(Converter, TextThatIsNoAmountConvertsAsZero)
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

TEST(Converter, AmountTextsStayInsideTheirBuffers)
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
