#include "testutil.h"

#include "update/ratesurl.h"

namespace {

std::string urlFor(bool latest, DayCode day)
{
    char16_t url[RatesUrlCapacity];
    EXPECT_TRUE(buildRatesUrl(url, RatesUrlCapacity, latest, day));
    return toUtf8(url);
}

// Points the service at another base for one test and puts the real one back.
struct OtherBase {
    explicit OtherBase(const char16_t* base)
    {
        std::memcpy(saved, ratesServiceBase, sizeof saved);
        copy16(ratesServiceBase, RatesServiceBaseCapacity, base);
    }
    ~OtherBase() { std::memcpy(ratesServiceBase, saved, sizeof saved); }
    char16_t saved[RatesServiceBaseCapacity];
};

}  // namespace

TEST(RatesUrl, TheLatestFormIgnoresTheDayAndTheDayFormSpellsItOut)
{
    // The day is not read for the latest form.
    EXPECT_EQ(urlFor(true, {0, 0, 0}), "http://www.cbr.ru/scripts/XML_daily.asp?nocache");
    EXPECT_EQ(urlFor(true, {99, 255, 255}), "http://www.cbr.ru/scripts/XML_daily.asp?nocache");

    EXPECT_EQ(urlFor(false, {7, 12, 37}), "http://www.cbr.ru/scripts/XML_daily.asp?date_req=07/12/2026");
    EXPECT_EQ(urlFor(false, {2, 3, 16}), "http://www.cbr.ru/scripts/XML_daily.asp?date_req=02/03/2005");
    // The year is yearCode + 1989 at both ends of its range.
    EXPECT_EQ(urlFor(false, {31, 12, 255}), "http://www.cbr.ru/scripts/XML_daily.asp?date_req=31/12/2244");
    EXPECT_EQ(urlFor(false, {1, 1, 0}), "http://www.cbr.ru/scripts/XML_daily.asp?date_req=01/01/1989");
}

TEST(RatesUrl, FollowsTheServiceBase)
{
    OtherBase local(u"http://127.0.0.1:40123");
    EXPECT_EQ(urlFor(false, {2, 3, 16}), "http://127.0.0.1:40123/scripts/XML_daily.asp?date_req=02/03/2005");

    // A base that fills its whole array, with no NUL, is read only to its capacity.
    for (size_t i = 0; i < RatesServiceBaseCapacity; ++i) ratesServiceBase[i] = u'h';
    EXPECT_EQ(urlFor(true, {0, 0, 0}).size(), RatesServiceBaseCapacity + 30);
}

TEST(RatesUrl, ASmallBufferIsCutSafely)
{
    const std::string full = "http://www.cbr.ru/scripts/XML_daily.asp?date_req=07/12/2026";
    const DayCode day = {7, 12, 37};
    char16_t buffer[96];

    // Exactly enough room, and one unit less.
    ASSERT_TRUE(buildRatesUrl(buffer, full.size() + 1, false, day));
    EXPECT_EQ(toUtf8(buffer), full);
    for (size_t capacity : {full.size(), size_t(40), size_t(17), size_t(10), size_t(1)}) {
        for (char16_t& c : buffer) c = u'#';
        EXPECT_FALSE(buildRatesUrl(buffer, capacity, false, day)) << capacity;
        EXPECT_EQ(toUtf8(buffer), full.substr(0, capacity - 1)) << capacity;
        for (size_t i = capacity; i < 96; ++i) ASSERT_EQ(buffer[i], u'#') << "written past " << capacity;
    }
    // The latest form too, cut inside its path.
    for (char16_t& c : buffer) c = u'#';
    EXPECT_FALSE(buildRatesUrl(buffer, 30, true, day));
    EXPECT_EQ(toUtf8(buffer), std::string("http://www.cbr.ru/scripts/XML_daily.asp?nocache").substr(0, 29));
    EXPECT_EQ(buffer[30], u'#');

    buffer[0] = u'#';
    EXPECT_FALSE(buildRatesUrl(buffer, 0, true, day));
    EXPECT_EQ(buffer[0], u'#');
}

TEST(RatesUrl, TheRangeFormNamesBothDaysAndTheCurrencyId)
{
    char16_t url[RatesUrlCapacity];
    ASSERT_TRUE(buildRangeUrl(url, RatesUrlCapacity, "R01235", makeDayCode(1, 3, 2005), makeDayCode(10, 3, 2006)));
    EXPECT_EQ(std::u16string(url),
              u"http://www.cbr.ru/scripts/XML_dynamic.asp?date_req1=01/03/2005&date_req2=10/03/2006&VAL_NM_RQ=R01235");
    for (const char* id : {"", "R01&x=1", "R 1"})
        EXPECT_FALSE(buildRangeUrl(url, RatesUrlCapacity, id, {1, 3, 76}, {1, 3, 76})) << id;
    EXPECT_FALSE(buildRangeUrl(url, 60, "R01235", makeDayCode(1, 3, 2005), makeDayCode(10, 3, 2006)));
    EXPECT_EQ(url[59], 0);
}
