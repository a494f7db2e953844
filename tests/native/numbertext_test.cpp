// The one fixed-point formatter, the whole-number one and the number reader: what "%.<digits>f" and
// "%0<width>d" write, without the C library's printf in the plug-in.
#include "testutil.h"

#include <cmath>
#include <limits>
#include <random>

#include "data/numbertext.h"

namespace {

std::string fixed(double value, int digits, bool comma = false, size_t capacity = FixedTextUnits)
{
    char16_t out[FixedTextUnits];
    size_t length = formatFixed(out, capacity, value, digits, comma);
    EXPECT_EQ(length, length16(out, FixedTextUnits));
    return toUtf8(out);
}

std::string printed(double value, int digits)
{
    char text[400];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

}  // namespace

TEST(NumberText, FixedPointRoundsAsPrintfDoes)
{
    struct Case {
        double value;
        int digits;
        const char* text;
    } cases[] = {
        {0.0, 2, "0.00"},           {-0.0, 2, "-0.00"},        {2.5, 0, "2"},
        {3.5, 0, "4"},              {-2.5, 0, "-2"},           {0.125, 2, "0.12"},
        {0.375, 2, "0.38"},         {80.125, 2, "80.12"},      {1234.5, 0, "1234"},
        {0.99995, 4, "1.0000"},     {9.99996, 4, "10.0000"},   {-0.004, 2, "-0.00"},
        {1e16, 1, "10000000000000000.0"},                      {5e-324, 4, "0.0000"},
        {96.6f, 4, "96.6000"},      {80.5, 9, "80.5000"},      {80.5, -3, "80"},
        {INFINITY, 2, "inf"},       {-INFINITY, 0, "-inf"},    {NAN, 2, "nan"},
    };
    for (const Case& c : cases) EXPECT_EQ(fixed(c.value, c.digits), c.text) << c.value << " " << c.digits;
    EXPECT_EQ(fixed(1.7976931348623157e308, 4), printed(1.7976931348623157e308, 4));
    EXPECT_EQ(fixed(1.7976931348623157e308, 4).size(), 309u + 5u);

    // Any bit pattern, and values near the ties of every digit count.
    std::mt19937_64 random(14);
    for (int i = 0; i < 20000; ++i) {
        uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (std::isnan(value)) continue;
        double near = std::ldexp(double(random() >> 11), -int(random() % 70));
        int digits = i % 5;
        ASSERT_EQ(fixed(value, digits), printed(value, digits)) << value;
        ASSERT_EQ(fixed(near, digits), printed(near, digits)) << near;
    }
}

// Numbers read from text: a point or a comma, and the end of what was read.
TEST(NumberText, DecimalsReadWithAPointOrAComma)
{
    const struct {
        const char* text;
        double value;
        size_t used;
    } cases[] = {{" 1,5", 1.5, 4},  {"1.5,3", 1.5, 3},   {"-0,25e-2x", -0.0025, 8}, {"12e", 12.0, 2},
                 {",5", 0.5, 2},     {"x1", 0.0, 0},      {".", 0.0, 0},             {"0x10", 0.0, 1},
                 {"9007199254740993", 9007199254740992.0, 16}, {"1e400", HUGE_VAL, 5}};
    for (const auto& c : cases) {
        const char* end = nullptr;
        EXPECT_EQ(readDecimal(c.text, &end), c.value) << c.text;
        EXPECT_EQ(size_t(end - c.text), c.used) << c.text;
    }
}

TEST(NumberText, CommasAndCutTextsStayInsideTheirBuffers)
{
    EXPECT_EQ(fixed(-1234.5678, 2, true), "-1234,57");
    EXPECT_EQ(fixed(12, 0, true), "12");
    EXPECT_EQ(fixed(1234.5678, 4, false, 5), "1234");
    EXPECT_EQ(fixed(1234.5678, 4, true, 7), "1234,5");
    char16_t one[1] = {u'#'};
    EXPECT_EQ(formatFixed(one, 1, 5.0, 2, false), 0u);
    EXPECT_EQ(one[0], 0);
    char16_t untouched[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(formatFixed(untouched, 0, 5.0, 2, false), 0u);
    EXPECT_EQ(untouched[0], u'#');

    struct Case {
        int32_t value;
        int width;
        size_t capacity;
        const char* text;
    } wholes[] = {
        {5, 2, 16, "05"},      {31, 2, 16, "31"},          {255, 2, 16, "255"},    {2006, 4, 16, "2006"},
        {0, 0, 16, "0"},       {-7, 3, 16, "-007"},        {100, 0, 16, "100"},    {123456, 0, 4, "123"},
        {-2147483647 - 1, 0, 16, "-2147483648"}, {7, 99, 16, "0000000007"},
    };
    for (const Case& c : wholes) {
        char out[16];
        std::memset(out, '#', sizeof out);
        size_t length = formatWhole(out, c.capacity, c.value, c.width);
        EXPECT_STREQ(out, c.text) << c.value;
        EXPECT_EQ(length, std::strlen(c.text));
    }
}

TEST(NumberText, Utf8NamesFitOrAreRefused)
{
    char out[8];
    EXPECT_TRUE(encodeUtf8(out, sizeof out, u"a\u0436\u20AC"));
    EXPECT_STREQ(out, "a\xD0\xB6\xE2\x82\xAC");
    EXPECT_TRUE(encodeUtf8(out, 5, u"\U0001F600"));
    EXPECT_STREQ(out, "\xF0\x9F\x98\x80");
    // One byte short: nothing half-written names some other file.
    EXPECT_FALSE(encodeUtf8(out, 4, u"\U0001F600"));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(encodeUtf8(out, 3, u"abc"));
    EXPECT_STREQ(out, "");
}

// The one bounded append: cut to fit, or whole or nothing, or only counted.
TEST(Text16, AppendCutsOrRefusesButNeverOverruns)
{
    char16_t out[8] = u"ab";
    size_t used = 2;
    EXPECT_FALSE(appendText(out, 6, used, "cdefg"));
    EXPECT_EQ(std::u16string(out), u"abcde");
    EXPECT_EQ(used, 5u);
    EXPECT_FALSE(appendText(out, 8, used, u"xyz", true));
    EXPECT_EQ(std::u16string(out), u"abcde");
    EXPECT_TRUE(appendText(out, 8, used, u"xy", true));
    EXPECT_EQ(std::u16string(out), u"abcdexy");
    size_t counted = 3;
    EXPECT_TRUE(appendText(static_cast<char16_t*>(nullptr), 0, counted, "\xff\x01"));
    EXPECT_EQ(counted, 5u);
    char16_t wide[4];
    EXPECT_TRUE(decodeUtf8(wide, 4, "\xd0\x94\xf0\x9f\x92\xb6"));  // Д and a surrogate pair
    EXPECT_EQ(std::u16string(wide), u"Д\U0001F4B6");
    EXPECT_FALSE(decodeUtf8(wide, 4, "\xd0"));
}
