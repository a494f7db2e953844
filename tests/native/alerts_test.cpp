// Limits on the panel's items: the crossing rule, the slot's alert and percent
// difference, the notification's text, the editor's fields, the limits file.
#include "testutil.h"

#include <cmath>

#include "data/limits.h"
#include "dialogs/core/options.h"
#include "platform/testhooks.h"
#include "plugin/core/layout.h"

namespace {

constexpr int Eur = 0, Usd = 1;

ItemLimits limitsOf(float upper, float lower, uint8_t flags = LimitUpper | LimitLower)
{
    return ItemLimits{flags, AlertInside, {0, 0}, upper, lower};
}

Settings oneItem(int currency, bool ratio = false)
{
    Settings s;
    setDefaultSettings(s, 96);
    s.itemCount = 1;
    s.items[0] = PanelItem{};
    s.items[0].currency = uint8_t(currency);
    s.items[0].isRatio = ratio ? 1 : 0;
    s.items[0].digits = 4;
    s.items[0].itemFlags = ShowDifference;
    return s;
}

DayRates usdDay(int d, float usd, float eur = 100.0f)
{
    DayRates r = dayRecord(d, 12, 2026);
    r.rates[Usd] = {usd != 0.0f, usd};
    r.rates[Eur] = {1, eur};
    return r;
}

int measure(const char16_t*, int length, void*) { return 6 * length; }

DayRates shownDays[3];
void readShownDays(DayRates& previous, DayRates& current, DayRates& next)
{
    previous = shownDays[0], current = shownDays[1], next = shownDays[2];
}

}  // namespace

// One item through a row of days: the slot's alert, the state kept, and the moves
// reported (onto a side: a notification; back inside: its end). A missing rate
// moves nothing. A ratio is judged by its ratio, period 1 by the next day.
TEST(Alerts, TheCrossingRuleNotifiesOncePerCrossing)
{
    const struct {
        float usd;
        uint8_t side;  // of the slot, and the state after the day
        int moved;     // -1: no move reported
    } days[] = {
        {95.0f, AlertInside, -1},  {100.0f, AlertAbove, AlertAbove}, {101.5f, AlertAbove, -1},
        {0.0f, AlertInside, -1},   {102.0f, AlertAbove, -1},         {99.99f, AlertInside, AlertInside},
        {90.0f, AlertBelow, AlertBelow}, {120.0f, AlertAbove, AlertAbove},
    };
    Settings s = oneItem(Usd);
    ItemLimits limits[ItemSlots] = {limitsOf(100.0f, 90.0f)};
    uint8_t state = AlertInside;
    AlertCrossing moved[ItemSlots];
    for (int d = 0; d < int(std::size(days)); ++d) {
        DayRates previous = usdDay(d + 1, 95.0f), current = usdDay(d + 2, days[d].usd), none{};
        int n = advanceAlerts(s, limits, previous, current, none, moved);
        EXPECT_EQ(alertSideOf(limits[0], days[d].usd), days[d].side) << d;
        if (days[d].usd != 0.0f) state = days[d].side;
        EXPECT_EQ(limits[0].alert, state) << d;
        ASSERT_EQ(n, days[d].moved < 0 ? 0 : 1) << d;
        if (n) EXPECT_EQ(moved[0].side, days[d].moved) << d;
        if (n) EXPECT_TRUE(sameDay(moved[0].day, current.code) && moved[0].value == days[d].usd) << d;
    }
    DayRates previous = usdDay(1, 80.0f), current = usdDay(2, 81.0f, 101.25f), next = usdDay(3, 60.0f);
    Settings ratio = oneItem(Usd, true);  // USD/EUR: 0.8, then 0.6 the next day
    limits[0] = limitsOf(0.8f, 0.0f, LimitUpper);
    ASSERT_EQ(advanceAlerts(ratio, limits, previous, current, next, moved), 1);
    EXPECT_FLOAT_EQ(moved[0].value, 0.8f);
    ratio.items[0].period = 1;
    ASSERT_EQ(advanceAlerts(ratio, limits, previous, current, next, moved), 1);
    EXPECT_EQ(moved[0].side, AlertInside);

    // A paint's layout moves the states and keeps the moves for the panel, unless
    // the options dialog edits the limits meanwhile.
    shownDays[0] = usdDay(1, 95.0f), shownDays[1] = usdDay(2, 101.0f);
    limits[0] = limitsOf(100.0f, 0.0f, LimitUpper);
    for (bool wait : {true, false}) {
        std::atomic<uint8_t> redraw{1};
        pendingCrossingCount = 0;
        LayoutSource source{&redraw, readShownDays, limits, wait};
        layOutWhenFlagged(source, s, TextMeasurer{measure, nullptr}, 18, 16, 240);
        EXPECT_EQ(pendingCrossingCount, wait ? 0 : 1);
        EXPECT_EQ(limits[0].alert, wait ? AlertInside : AlertAbove);
    }
}

// The slot's alert, and the percent option's signed difference with the panel's
// comma; the notification's text, cut safely.
TEST(Alerts, TheSlotTheDifferenceInPercentAndTheNotification)
{
    DayRates previous = usdDay(1, 80.0f), current = usdDay(2, 81.0f, 101.25f), falling = usdDay(2, 79.0f), none{};
    const struct {
        int currency;
        uint8_t flags;
        bool comma;
        const DayRates* day;
        const char16_t* text;
        uint8_t alert;
    } cases[] = {
        {Usd, 0, false, &current, u"$ 81.0000 (1.0000)", AlertInside},
        {Usd, PercentDifference, true, &current, u"$ 81,0000 (+1,25%)", AlertInside},
        {Usd, PercentDifference | LimitLower, false, &falling, u"$ 79.0000 (-1.25%)", AlertBelow},
        {Eur, PercentDifference | LimitUpper, false, &current, u"€ 101.2500 (+1.25%)", AlertAbove},
    };
    for (const auto& c : cases) {
        Settings s = oneItem(c.currency);
        s.commaFlags = c.comma ? CommaOnPanel : 0;
        ItemLimits l[ItemSlots] = {limitsOf(101.0f, 81.0f, c.flags)};
        firstVisible = 0;
        chooseVisibleSlots(s);
        layoutSlots(LayoutInput{&s, &previous, c.day, &none, TextMeasurer{measure, nullptr}, 18, 16, 240, l});
        EXPECT_EQ(std::u16string(slots[0].text), c.text);
        EXPECT_EQ(slots[0].alert, c.alert) << toUtf8(c.text);
    }
    Settings s = oneItem(Usd);
    char16_t text[96];
    alertText(s.items[0], AlertCrossing{0, AlertAbove, 100.0f, 101.2345f, makeDayCode(11, 12, 2026)}, true, text, 96);
    EXPECT_EQ(std::u16string(text), u"USD выше 100,0000: 101,2345 (11.12.2026)");
    s = oneItem(Eur, true);
    s.items[0].currency2 = Usd;
    s.items[0].digits = 2;
    AlertCrossing down{0, AlertBelow, 1.1f, 1.05f, makeDayCode(1, 2, 2027)};
    alertText(s.items[0], down, false, text, 96);
    EXPECT_EQ(std::u16string(text), u"EUR/USD ниже 1.10: 1.05 (01.02.2027)");
    alertText(s.items[0], down, false, text, 8);
    EXPECT_EQ(std::u16string(text), u"EUR/USD");
}

// The editor's fields read as amounts (either separator; text that is no number
// refused, the limits untouched); a changed limit starts over inside; the list's
// buttons keep each item's limits with it.
TEST(Alerts, TheEditorsFieldsAndTheListKeepEachItemsLimits)
{
    const struct {
        const char16_t *upper, *lower;
        int refused;
        uint8_t flags;
        float value;
    } fields[] = {
        {u"100,5", u"", 0, LimitUpper, 100.5f}, {u" 99.25 ", u"  ", 0, LimitUpper, 99.25f},
        {u"", u"80", 0, LimitLower, 80.0f},     {u"1e400", u"", 1, 0, 0},
        {u"12abc", u"", 1, 0, 0},               {u"10", u"дешевле", 2, 0, 0}, {u"-", u"", 1, 0, 0},
    };
    for (const auto& f : fields) {
        ItemLimits l = limitsOf(7.0f, 3.0f);
        l.alert = AlertAbove;
        EXPECT_EQ(storeLimitsChoice(l, LimitsChoice{f.upper, f.lower, false}), f.refused) << toUtf8(f.upper);
        EXPECT_EQ(l.flags, f.refused ? LimitUpper | LimitLower : f.flags);
        if (!f.refused) EXPECT_TRUE((f.flags == LimitUpper ? l.upper : l.lower) == f.value && l.alert == AlertInside);
    }
    ItemLimits same = limitsOf(7.0f, 3.0f);
    same.alert = AlertBelow;
    EXPECT_EQ(storeLimitsChoice(same, LimitsChoice{u"7", u"3", true}), 0);
    EXPECT_EQ(same.alert + same.flags, AlertBelow + (LimitUpper | LimitLower | PercentDifference));
    char16_t text[32];
    limitText(100.5f, true, text, 32);
    EXPECT_EQ(std::u16string(text), u"100,5");

    Settings s;
    setDefaultSettings(s, 96);
    ItemLimits limits[ItemSlots] = {limitsOf(1, 0, LimitUpper), limitsOf(2, 0, LimitUpper), limitsOf(3, 0, LimitUpper)};
    WorkingItems w;
    loadWorkingItems(w, s, limits);
    ASSERT_TRUE(moveItemDown(w, 0) && deleteItem(w, 2));  // 2 1
    startNewItem(w, w.count++);                           // 2 1 new
    const float uppers[3] = {2, 1, 0};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(w.limits[i].upper, uppers[i]) << i;
    EXPECT_EQ(w.items[0].currency, s.items[1].currency);
}

// The limits file: whatever is wrong with it means no limits; held, it is never
// written over before it is read (then its limits come in, unless the options
// dialog changed them meanwhile); a failed save is done by the next try.
TEST(Limits, ADamagedOrHeldFileLosesNothingAndGivesNoLimits)
{
    ItemLimits good[ItemSlots] = {};
    good[3] = limitsOf(100.0f, 90.0f, LimitUpper | LimitLower | PercentDifference);
    unsigned char image[LimitsFileBytes], bad[LimitsFileBytes + 1];
    writeLimitsImage(image, good);
    ItemLimits read[ItemSlots];
    ASSERT_TRUE(readLimitsImage(image, long(sizeof image), read));
    EXPECT_EQ(std::memcmp(read, good, sizeof good), 0);
    const struct { size_t at; unsigned char value; long size; } damaged[] = {
        {0, 0, long(LimitsFileBytes) - 1}, {0, 0, long(LimitsFileBytes) + 1}, {0, 0, 0}, {3, 'X', 200},
        {4, 2, 200}, {5, 16, 200}, {6, 15, 200},  // marker, version, record size, slots
    };
    for (const auto& d : damaged) {
        std::memcpy(bad, image, sizeof image);
        bad[d.at] = d.size == 200 ? d.value : bad[d.at];
        EXPECT_FALSE(readLimitsImage(bad, d.size, read)) << d.at << " " << d.size;
        for (const ItemLimits& l : read) EXPECT_EQ(l.flags | l.alert, 0);
    }
    ItemLimits odd[ItemSlots] = {ItemLimits{0xFF, 7, {9, 0}, NAN, INFINITY}};
    writeLimitsImage(bad, odd);
    ASSERT_TRUE(readLimitsImage(bad, long(sizeof image), read));
    EXPECT_TRUE(read[0].flags == PercentDifference && read[0].alert == AlertInside && read[0].reserved[0] == 0);

    ScratchFolder folder;
    std::string file = folder.file("vokCurrency.lim");
    const std::vector<unsigned char> stored(image, image + sizeof image);
    for (bool userChanged : {false, true}) {
        writeBytes(file, image, sizeof image);
        std::memset(itemLimits, 0, sizeof itemLimits);
        fileReadsRefusedFor = u".lim";
        loadLimits(folder.path16("vokCurrency.lim").c_str());
        itemLimits[1] = limitsOf(5.0f, 1.0f);
        EXPECT_FALSE(saveLimits(userChanged) || limitsFileHolds());
        EXPECT_EQ(readBytes(file), stored);
        fileReadsRefusedFor = nullptr;
        EXPECT_TRUE(saveLimitsIfUnsaved());
        std::vector<unsigned char> now = readBytes(file);
        ASSERT_TRUE(readLimitsImage(now.data(), long(now.size()), read));
        EXPECT_EQ(read[3].flags != 0, !userChanged);
        EXPECT_EQ(read[1].flags != 0, userChanged);
    }
    fileWriteFailAfter = 10;
    EXPECT_FALSE(saveLimits(false));
    fileWriteFailAfter = -1;
    EXPECT_FALSE(limitsFileHolds());
    EXPECT_TRUE(saveLimitsIfUnsaved());
    loadLimits(folder.path16("missing.lim").c_str());
    EXPECT_TRUE(limitsFileHolds() && itemLimits[1].flags == 0 && !fileExists(folder.file("missing.lim")));
}
