// The daily-rates reader on whole documents: a full-size one as the bank sends
// it (tests/fixtures/daily_full.xml, compared with the table that its generator,
// tools/make_fixture.py, wrote beside it) and the small seed documents of the
// fuzzer corpus.
#include "testutil.h"

#include <cstdlib>

#include "tests/fixtures/daily_full_expected.h"
#include "update/ratesreader.h"

namespace {

std::string fixturePath(const char* name) { return std::string(VOK_SOURCE_DIR) + "/tests/fixtures/" + name; }

// The document as the download hands it over: its bytes and a NUL.
std::vector<char> loadDocument(const std::string& path)
{
    std::vector<unsigned char> bytes = readBytes(path);
    std::vector<char> text(bytes.begin(), bytes.end());
    text.push_back(0);
    return text;
}

// A seed document of the fuzzer's corpus read into rates, which the reader must clear.
bool readSeed(const char* name, DayRates& rates)
{
    std::vector<char> text = loadDocument(fixturePath(name));
    std::memset(&rates, 0xA5, sizeof rates);
    return parseDailyRates(text.data(), rates);
}

const Quote* findValute(const ExpectedTable& doc, const char* code)
{
    for (const Quote& v : doc.quotes)
        if (v.code == code) return &v;
    return nullptr;
}

// The rate a decimal text stands for, as the C library reads it, rounded to a single.
float singleOf(const std::string& decimal) { return static_cast<float>(std::strtod(decimal.c_str(), nullptr)); }

std::string withoutByte(const std::string& text, char drop)
{
    std::string out;
    for (char c : text)
        if (c != drop) out.push_back(c);
    return out;
}

TEST(FullDocument, FixtureIsWhatItClaimsToBe)
{
    std::vector<char> text = loadDocument(fixturePath("daily_full.xml"));
    ExpectedTable expected = loadExpectedTable(fixturePath("daily_full.expected"));
    std::string raw(text.data(), text.size() - 1);

    EXPECT_GT(raw.size(), 7u * 1024);
    EXPECT_LT(raw.size(), 9u * 1024);
    EXPECT_EQ(raw.rfind("<?xml version=\"1.0\" encoding=\"windows-1251\"?>", 0), 0u);
    EXPECT_NE(raw.find("\r\n"), std::string::npos);
    EXPECT_EQ(expected.quotes.size(), 43u);
    EXPECT_EQ(expected.year, 2024);
    // Today's documents list the Belarusian rouble as BYN, the table's slot 5.
    EXPECT_EQ(findValute(expected, "BYR"), nullptr);
    EXPECT_NE(findValute(expected, "BYN"), nullptr);
    EXPECT_STREQ(isoCode[5], "BYN");

    // Every line of the expected table names a Valute of the document; the
    // nominals are not all 1.
    bool nominal10 = false, nominal100 = false;
    for (const Quote& v : expected.quotes) {
        EXPECT_NE(raw.find("<CharCode>" + v.code + "</CharCode>"), std::string::npos) << v.code;
        nominal10 = nominal10 || v.nominal == 10;
        nominal100 = nominal100 || v.nominal == 100;
    }
    EXPECT_TRUE(nominal10);
    EXPECT_TRUE(nominal100);
    // The document ends with a table currency: JPY, quoted per 100.
    ASSERT_FALSE(expected.quotes.empty());
    EXPECT_EQ(expected.quotes.back().code, "JPY");
    EXPECT_EQ(expected.quotes.back().nominal, 100);
}

TEST(FullDocument, EveryTableCurrencyIsReadWithItsNominalAndRate)
{
    std::vector<char> text = loadDocument(fixturePath("daily_full.xml"));
    ExpectedTable expected = loadExpectedTable(fixturePath("daily_full.expected"));
    ASSERT_FALSE(expected.quotes.empty());
    std::string raw(text.data(), text.size() - 1);

    // The document is read the same with CRLF, with LF and without any line end.
    struct Variant {
        const char* name;
        std::string text;
    };
    std::string lf = withoutByte(raw, '\r');
    std::vector<Variant> variants = {{"CRLF", raw}, {"LF", lf}, {"one line", withoutByte(lf, '\n')}};

    for (Variant& variant : variants) {
        SCOPED_TRACE(variant.name);
        std::vector<char> buffer(variant.text.begin(), variant.text.end());
        buffer.push_back(0);
        DayRates rates;
        std::memset(&rates, 0xA5, sizeof rates);
        ASSERT_TRUE(parseDailyRates(buffer.data(), rates));

        expectDay(rates.code, expected.day, expected.month, (expected.year - 1989) % 256);
        EXPECT_EQ(rates.reserved, 0);

        int listed = 0, behindFourK = 0;
        for (int i = 0; i < CurrencyCount; ++i) {
            SCOPED_TRACE(isoCode[i]);
            const Quote* v = findValute(expected, isoCode[i]);
            if (!v) {
                expectRate(rates, i, 0, 0.0f);
                continue;
            }
            ++listed;
            EXPECT_EQ(rates.rates[i].nominal, v->nominal);
            EXPECT_EQ(rates.rates[i].rate, singleOf(v->value)) << v->value;
            if (variant.text.find(std::string("<CharCode>") + isoCode[i]) > 4096) ++behindFourK;
        }
        // Every currency the bank lists, all but ISK (absent, so zero above), BYN
        // among them in slot 5, and a good part of them beyond the first 4 KB.
        EXPECT_EQ(listed, 43);
        EXPECT_EQ(rates.rates[5].nominal, 1);
        EXPECT_GE(behindFourK, 8);
    }
}

TEST(SeedDocuments, AMinimalDocumentGivesOneRateAndAPlainRootNone)
{
    DayRates rates;
    ASSERT_TRUE(readSeed("seed_minimal.xml", rates));
    expectDay(rates.code, 2, 3, 16);
    expectRate(rates, 1, 1, 27.95f);
    DayRates others = rates;  // all but the day and USD's entry: nothing
    others.code = {};
    others.rates[1] = {};
    EXPECT_TRUE(isEmpty(others));

    EXPECT_FALSE(readSeed("seed_plain_root.xml", rates));
    EXPECT_TRUE(isEmpty(rates));
}

TEST(SeedDocuments, NamesInAnyCaseAreRead)
{
    DayRates rates;
    ASSERT_TRUE(readSeed("seed_mixed_case.xml", rates));
    expectDay(rates.code, 31, 12, 255);
    expectRate(rates, 3, 100, 64.8561f);
    expectRate(rates, 0, 1, 106.1878f);
}

TEST(SeedDocuments, AMissingEndTagLosesOnlyItsOwnElement)
{
    DayRates rates;
    ASSERT_TRUE(readSeed("seed_missing_end_tags.xml", rates));
    expectDay(rates.code, 5, 1, 17);
    // USD: the value has no end tag, so it reads as empty; the entry is written.
    expectRate(rates, 1, 1, 0.0f);
    // EUR: the code has no end tag, so the element is skipped.
    expectRate(rates, 0, 0, 0.0f);
    // JPY: the element itself has no end tag, so it has no content.
    expectRate(rates, 3, 0, 0.0f);

    // GBP, before them, is whole: the document holds one quoted currency.
    expectRate(rates, 2, 1, 49.5f);

    // A root cut before its end tag is no document: nothing of it is kept.
    EXPECT_FALSE(readSeed("seed_missing_root_end.xml", rates));
    EXPECT_TRUE(isEmpty(rates));
}

}  // namespace
