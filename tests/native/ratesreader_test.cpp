#include "testutil.h"

#include "update/ratesreader.h"

namespace {

struct Parsed {
    bool ok;
    DayRates rates;
};

Parsed parse(std::string text)
{
    Parsed p;
    std::memset(&p.rates, 0xCD, sizeof p.rates);  // the reader must clear it
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back(0);
    p.ok = parseDailyRates(buffer.data(), p.rates);
    return p;
}

std::string valute(const char* code, const char* nominal, const char* value)
{
    return std::string("<Valute ID=\"R0\"><CharCode>") + code + "</CharCode><Nominal>" + nominal +
           "</Nominal><Value>" + value + "</Value></Valute>";
}

std::string document(const std::string& body, const char* date = "02.03.2005")
{
    return std::string("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<ValCurs Date=\"") + date +
           "\" name=\"Foreign Currency Market\">" + body + "</ValCurs>";
}

}  // namespace

TEST(RatesReader, TheDayIsReadWhateverTheCaseOfTheNames)
{
    Parsed p = parse(document(valute("USD", "1", "27,95")));
    ASSERT_TRUE(p.ok);
    expectDay(p.rates.code, 2, 3, 16);
    EXPECT_EQ(p.rates.reserved, 0);
    expectRate(p.rates, 1, 1, 27.95f);

    const std::string usd = valute("USD", "1", "27,95");
    EXPECT_EQ(parse(document(usd, "31.12.2244")).rates.code.yearCode, 255);
    EXPECT_EQ(parse(document(usd, "01.01.1989")).rates.code.yearCode, 0);
    Parsed leap = parse(document(usd, "29.02.2024"));
    ASSERT_TRUE(leap.ok);
    EXPECT_EQ(leap.rates.code.day, 29);
    EXPECT_TRUE(parse(document(usd, "29.02.2000")).ok);  // a leap year although a century

    Parsed lower = parse("<valcurs date=\"02.03.2005\">" + valute("usd", "1", "27,95") + "</valcurs>");
    Parsed mixed = parse("<vALcUrs DATE=\"02.03.2005\"><vaLUTE><chARCode>uSd</chARCode><NOMINAL>1</NOMINAL>"
                         "<value>27,95</VALUE></vaLUTE></VALCURS>");
    ASSERT_TRUE(lower.ok);
    ASSERT_TRUE(mixed.ok);
    EXPECT_EQ(std::memcmp(&lower.rates, &p.rates, sizeof p.rates), 0);
    EXPECT_EQ(std::memcmp(&mixed.rates, &p.rates, sizeof p.rates), 0);
}

TEST(RatesReader, UnknownCodesAreSkippedAndLaterDuplicatesWin)
{
    Parsed p = parse(document(valute("JPY", "100", "26,7123") + valute("XYZ", "1", "99,0") +
                              valute("EUR", "1", "1,5,5") + valute("", "1", "5") + valute("GBP", "1", "  -3.25e1x")));
    ASSERT_TRUE(p.ok);
    expectRate(p.rates, 3, 100, 26.7123f);
    EXPECT_EQ(p.rates.rates[0].rate, 1.5f);
    EXPECT_EQ(p.rates.rates[2].rate, -32.5f);
    for (int i : {1, 4, 5, 6, 16}) EXPECT_EQ(p.rates.rates[i].nominal, 0) << i;

    // Later duplicates win; a missing child leaves its field zero.
    Parsed d = parse(document(valute("USD", "1", "30") + valute("USD", "10", "31") +
                              "<Valute><CharCode>CHF</CharCode><Value>12,5</Value></Valute>"));
    expectRate(d.rates, 1, 10, 31.0f);
    expectRate(d.rates, 16, 0, 12.5f);

    // Numbers that overflow stay finite and in range.
    Parsed big = parse(document(valute("USD", "99999999999999", "9e999")));
    EXPECT_EQ(big.rates.rates[1].nominal, 2147483647);
    EXPECT_TRUE(big.rates.rates[1].rate > 3e38f);
    Parsed words = parse(document(valute("USD", "x", "inf") + valute("EUR", "1", "0x10")));
    EXPECT_EQ(words.rates.rates[1].rate, 0.0f);
    EXPECT_EQ(words.rates.rates[0].rate, 0.0f);
}

TEST(RatesReader, TagsWithNoSpaceBetweenThemAreRead)
{
    Parsed p = parse("<ValCurs Date=\"07.12.2026\"><Valute ID=\"1\"><CharCode>SEK</CharCode><Nominal>10"
                     "</Nominal><Value>84,1</Value></Valute></ValCurs>");
    ASSERT_TRUE(p.ok);
    expectRate(p.rates, 15, 10, 84.1f);
}

// Everything that is no whole document of a real day with a quoted table
// currency is refused with an all-zero record, whatever else it holds.
TEST(RatesReader, AnythingButAWholeDocumentGivesAZeroRecord)
{
    const std::string usd = valute("USD", "1", "30");
    const std::string whole = document(usd);
    struct Case {
        const char* why;
        std::string text;
    };
    const Case refused[] = {
        {"plain root", "<ValCurs>" + usd + "</ValCurs>"},
        {"no date", "<ValCurs name=\"x\">" + usd + "</ValCurs>"},
        {"start tag never closed", "<ValCurs Date=\"02.03.2005\""},
        {"error page", "<html><body>404 Not Found</body></html>"},
        {"empty", ""},
        {"cut before the root's end tag", whole.substr(0, whole.size() - 5)},
        {"cut inside the table", whole.substr(0, whole.find("<Value>") + 9)},
        {"root without end tag", "<ValCurs Date=\"02.03.2005\">" + usd + valute("EUR", "1", "40")},
        {"letters for a date", document(usd, "xx.yy.zzzz")},
        {"day 0", document(usd, "00.03.2005")},
        {"day 32", document(usd, "32.01.2005")},
        {"31 April", document(usd, "31.04.2005")},
        {"29 February, no leap year", document(usd, "29.02.2023")},
        {"29 February 1900-style century", document(usd, "29.02.2100")},
        {"month 0", document(usd, "15.00.2005")},
        {"month 13", document(usd, "15.13.2005")},
        {"year before the day code", document(usd, "31.12.1988")},
        {"year after the day code", document(usd, "01.01.2245")},
        {"short date", document(usd, "5.")},
        {"date only", document("")},
        {"no table currency", document(valute("LTL", "1", "28,9") + valute("XYZ", "1", "1"))},
        {"table currency without a rate", document(valute("USD", "1", "") + valute("EUR", "0", "40"))},
        {"negative rate only", document(valute("USD", "1", "-30"))},
        {"attribute ending in date, not a day", "<ValCurs update=\"yes\" Date=\"02.03.2005\">" + usd + "</ValCurs>"},
    };
    for (const Case& c : refused) {
        Parsed p = parse(c.text);
        EXPECT_FALSE(p.ok) << c.why;
        EXPECT_TRUE(isEmpty(p.rates)) << c.why;
    }

    // A NUL inside the body: refused whether the tail holds the end tag or not.
    std::string withNul = whole;
    withNul[whole.find("<Valute")] = '\0';
    for (size_t length : {withNul.size(), size_t(40)}) {
        std::vector<char> buffer(withNul.begin(), withNul.begin() + long(length));
        buffer.push_back(0);
        DayRates r;
        std::memset(&r, 0xCD, sizeof r);
        EXPECT_FALSE(parseDailyRates(buffer.data(), length, r)) << length;
        EXPECT_TRUE(isEmpty(r));
    }
    std::vector<char> clean(whole.begin(), whole.end());
    clean.push_back(0);
    DayRates r;
    EXPECT_TRUE(parseDailyRates(clean.data(), whole.size(), r));
    EXPECT_EQ(r.rates[1].rate, 30.0f);
}

TEST(RatesReader, TheFirstDateAttributeCountsAndOneKnownCurrencySuffices)
{
    // An attribute whose name ends in "date" is taken for the date when it comes first.
    Parsed update = parse("<ValCurs update=\"09.10.2011\" Date=\"02.03.2005\">" + valute("USD", "1", "30") +
                          "</ValCurs>");
    ASSERT_TRUE(update.ok);
    EXPECT_EQ(update.rates.code.day, 9);
    EXPECT_EQ(update.rates.code.month, 10);

    // One quoted table currency among unknown ones is enough; BYN lands in slot 5.
    Parsed byn = parse(document(valute("AZN", "1", "58,9") + valute("BYN", "1", "29,6453")));
    ASSERT_TRUE(byn.ok);
    expectRate(byn.rates, 5, 1, 29.6453f);
}

TEST(RatesReader, ValutesWithoutEndTagsAndMixedForms)
{
    // The broken element yields nothing, the one after it is still read.
    Parsed p = parse(document("<Valute><CharCode>EUR</CharCode><Nominal>1</Nominal><Value>40" +
                              valute("USD", "1", "30")));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.rates.rates[1].rate, 30.0f);

    // Elements with attributes are taken first; plain ones before them are skipped.
    Parsed mixed = parse(document("<Valute><CharCode>EUR</CharCode><Nominal>1</Nominal><Value>40</Value></Valute>" +
                                  valute("USD", "1", "30") +
                                  "<Valute><CharCode>GBP</CharCode><Nominal>1</Nominal><Value>50</Value></Valute>"));
    EXPECT_EQ(mixed.rates.rates[0].nominal, 0);
    EXPECT_EQ(mixed.rates.rates[1].rate, 30.0f);
    EXPECT_EQ(mixed.rates.rates[2].rate, 50.0f);
}

TEST(RatesReader, OverlongTextIsCutNeverOverrun)
{
    std::string longValue(30, '7');
    Parsed p = parse(document(valute("USD", "1", ("1," + longValue).c_str()) +
                              "<Valute><CharCode>EUR</CharCode><Name>" + std::string(700, 'n') +
                              "</Name></Valute>" + valute("GBP", std::string(40, '1').c_str(), "2")));
    ASSERT_TRUE(p.ok);
    EXPECT_FLOAT_EQ(p.rates.rates[1].rate, 1.77777777f);  // the value cut to 15 bytes
    EXPECT_EQ(p.rates.rates[0].nominal, 0);  // an element over 512 bytes is cut before its code's end
    EXPECT_EQ(p.rates.rates[2].nominal, 2147483647);

    std::string longAttributes = "<ValCurs name=\"" + std::string(100, 'a') + "\" Date=\"02.03.2005\"></ValCurs>";
    EXPECT_FALSE(parse(longAttributes).ok);  // the date lies beyond the 63 bytes kept

    char attributes[4];
    char content[6];
    const char* text = "<tag a=\"long value\">content here</tag>tail";
    int end = findElement(text, "tag", attributes, sizeof attributes, content, sizeof content);
    EXPECT_EQ(std::string(text + end), "tail");
    EXPECT_STREQ(attributes, "a=\"");
    EXPECT_STREQ(content, "conte");
    std::string longName(40, 'x');
    EXPECT_EQ(findElement("<xxxx>", longName.c_str(), nullptr, 0, content, sizeof content), 0);
}

TEST(RatesReader, FindElementReturnsTheOffsetPastTheElement)
{
    const char* text = "ab<item x=1>body</item>rest";
    char content[16];
    EXPECT_EQ(findElement(text, "item", nullptr, 0, nullptr, 0), 12);
    EXPECT_EQ(findElement(text, "item", nullptr, 0, content, sizeof content), 23);
    EXPECT_STREQ(content, "body");
    EXPECT_EQ(findElement("<item>body", "item", nullptr, 0, content, sizeof content), 6);
    EXPECT_STREQ(content, "");
    EXPECT_EQ(findElement("<item x=1 body", "item", nullptr, 0, content, sizeof content), 0);
    EXPECT_EQ(findElement("<items>", "item", nullptr, 0, content, sizeof content), 0);
}

TEST(RatesReader, NumberFieldsReadTheirLeadingNumberOnly)
{
    const std::pair<const char*, int32_t> integers[] = {
        {"  -12abc", -12}, {"+7", 7}, {"abc", 0}, {"-99999999999", -2147483647 - 1}};
    for (const auto& [text, value] : integers) EXPECT_EQ(readIntegerField(text), value) << text;
    const std::pair<const char*, double> rates[] = {
        {" 93.4567", 93.4567}, {"1e3", 1000.0}, {".5", 0.5}, {"-0.25e-2", -0.0025}, {"12e", 12.0}, {".", 0.0},
        {"", 0.0}, {"0.000000000000000000000012345678901234567890", 1.2345678901234567e-23}};
    for (const auto& [text, value] : rates) EXPECT_DOUBLE_EQ(readRateField(text), value) << text;
}

TEST(RatesReader, LowerCasesOnlyAsciiLettersInPlace)
{
    // Every byte value at every position of an eight-byte word.
    std::vector<char> text;
    for (int shift = 0; shift < 8; ++shift) {
        for (int i = 0; i < shift; ++i) text.push_back('.');
        for (int b = 1; b < 256; ++b) text.push_back(char(b));
    }
    std::vector<char> original = text;
    text.push_back(0);
    DayRates r;
    EXPECT_FALSE(parseDailyRates(text.data(), r));
    for (size_t i = 0; i < original.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(original[i]);
        unsigned char want = (b >= 'A' && b <= 'Z') ? b + 32 : b;
        ASSERT_EQ(static_cast<unsigned char>(text[i]), want) << "byte " << int(b) << " at " << i;
    }
    EXPECT_EQ(text[original.size()], 0);
}

// The range form: one currency's records into the days of a span; an empty root
// is an answer, anything else that is no whole range document for that ID is not.
TEST(RatesReader, RangeDocumentsFillTheirCurrencyOfEachDayInTheSpan)
{
    const std::string head = "<?xml version=\"1.0\"?><ValCurs ID=\"R01235\" DateRange1=\"01.03.2005\" "
                             "DateRange2=\"10.03.2005\" name=\"Foreign Currency Market Dynamic\">";
    const std::string records =
        "<Record Date=\"02.03.2005\" Id=\"R01235\"><Nominal>1</Nominal><Value>27,9000</Value></Record>"
        "<Record Date=\"28.02.2005\" Id=\"R01235\"><Nominal>1</Nominal><Value>28,0000</Value></Record>"
        "<Record Date=\"31.02.2005\" Id=\"R01235\"><Nominal>1</Nominal><Value>28,0000</Value></Record>"
        "<Record Date=\"04.03.2005\" Id=\"R01235\"><Nominal>0</Nominal><Value>28,0000</Value></Record>"
        "<RECORD DATE=\"05.03.2005\" ID=\"R01235\"><NOMINAL>10</NOMINAL><VALUE>279,5</VALUE></RECORD>";
    struct Case {
        std::string text;
        int32_t read;
    } cases[] = {
        {head + records + "</ValCurs>", 2},
        {head + "</ValCurs>", 0},
        {head + records, -1},                                               // cut before the root's end
        {document(valute("USD", "1", "30,0")), -1},                          // a daily table
        {"<ValCurs ID=\"R01239\" DateRange1=\"01.03.2005\"></ValCurs>", -1},  // another currency's
        {"<html><body>Not found</body></html>", -1},
    };
    const int32_t first = 5903;  // 1 March 2005 counted from 1 January 1989
    for (const Case& c : cases) {
        DayRates days[10] = {};
        days[4].rates[0] = {1, 35.0f};  // another currency's entry stays
        std::vector<char> buffer(c.text.begin(), c.text.end());
        buffer.push_back(0);
        EXPECT_EQ(parseRangeRates(buffer.data(), c.text.size(), 1, "R01235", first, days, 10), c.read) << c.text;
        if (c.read != 2) continue;
        EXPECT_EQ(days[1].code.day, 2);
        EXPECT_EQ(days[1].rates[1].nominal, 1);
        EXPECT_FLOAT_EQ(days[1].rates[1].rate, 27.9f);
        EXPECT_EQ(days[4].code.day, 5);
        EXPECT_EQ(days[4].rates[1].nominal, 10);
        EXPECT_EQ(days[4].rates[0].rate, 35.0f);
        for (int k : {0, 2, 3, 5}) EXPECT_EQ(days[k].code.day, 0) << k;  // outside, no such day, nominal 0
    }
}

// Every table code is found whatever its case, and only a code that is one of
// them whole; the table may grow, so the rows are taken from it.
TEST(RatesReader, EachTableCodeLandsInItsRowAndNearMissesInNone)
{
    std::string body;
    for (int row = 0; row < CurrencyCount; ++row) {
        std::string code = isoCode[row];
        if (row % 2) code[0] = char(code[0] - 'A' + 'a');
        body += valute(code.c_str(), std::to_string(row + 1).c_str(), "2,5");
    }
    for (const char* nearMiss : {"US", "USDX", "XUSD", "usd ", " usd", "U", "EU\xd0"})
        body += valute(nearMiss, "999", "1");
    Parsed p = parse(document(body));
    ASSERT_TRUE(p.ok);
    for (int row = 0; row < CurrencyCount; ++row) expectRate(p.rates, row, row + 1, 2.5f);
}

// The root ends at its first end tag wherever that lies, and what a damaged
// element holds is read as the scanner finds it, never past it.
TEST(RatesReader, TheRootsFirstEndTagEndsTheTableWhereverItLies)
{
    const std::string usd = valute("USD", "1", "30");
    const std::string eur = "<Valute><CharCode>EUR</CharCode><Nominal>1</Nominal><Value>40</Value></Valute>";
    struct Case {
        const char* why;
        std::string body;
        bool ok;
        float usdRate;
        float eurRate;
    };
    const Case cases[] = {
        {"a second table after the root's end", usd + "</ValCurs>" + eur, true, 30.0f, 0.0f},
        {"the root's end inside a start tag", "<Valute ID=\"</ValCurs>\">" + usd, false, 0.0f, 0.0f},
        {"the root's end tag but for its '<' in a start tag", "<Valute ID=\"1/ValCurs>\">" + usd, true, 30.0f, 0.0f},
        {"the root's end inside a valute", "<Valute ID=\"1\"><CharCode>EUR</CharCode></ValCurs>" + usd, false, 0.0f,
         0.0f},
        {"plain valutes before one with attributes are skipped", eur + usd, true, 30.0f, 0.0f},
        {"plain valutes only", eur, true, 0.0f, 40.0f},
        {"a child's end tag cut by the valute's", "<Valute><CharCode>EUR</CharCode><Nominal>1</Nominal><Value>4"
                                                  "</Valute>0</Value></Valute>" + usd, true, 30.0f, 0.0f},
        {"start tags never closed before a whole valute", "<Valute x><Valute x>" + usd, true, 30.0f, 0.0f},
        {"children with attributes come first", "<Valute ID=\"1\"><CharCode>GBP</CharCode><CharCode x=\"y\">EUR"
                                                "</CharCode><Nominal>1</Nominal><Value x>41</Value><Value>42</Value>"
                                                "</Valute>", true, 0.0f, 41.0f},
        {"an end tag inside a child's attribute", "<Valute ID=\"1\"><CharCode a=\"</CharCode>\">EUR</CharCode>"
                                                  "<Nominal>1</Nominal><Value>40</Value></Valute>", false, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        Parsed p = parse(document(c.body));
        EXPECT_EQ(p.ok, c.ok) << c.why;
        EXPECT_EQ(p.rates.rates[1].rate, c.usdRate) << c.why;
        EXPECT_EQ(p.rates.rates[0].rate, c.eurRate) << c.why;
    }
}
