#include "testutil.h"

#include <algorithm>

#include "plugin/core/layout.h"

namespace {

// Every unit is 7 pixels wide.
int measureSeven(const char16_t*, int length, void*) { return 7 * length; }
const TextMeasurer seven{measureSeven, nullptr};

DayRates day(int d, float eur, float usd)
{
    DayRates r = dayRecord(d, 12, 2026);
    r.rates[0] = {1, eur};
    r.rates[1] = {1, usd};
    return r;
}

PanelItem item(uint8_t period, uint8_t flags, uint8_t digits, uint8_t isRatio = 0, uint8_t currency = 0,
               uint8_t currency2 = 1)
{
    return {isRatio, period, currency, currency2, 0, {}, 0, flags, digits, {}};
}

const DayRates none{};

ItemSlot compose(const PanelItem& it, const DayRates& prev, const DayRates& cur, const DayRates& next,
                 uint8_t comma = 0)
{
    ItemSlot slot;
    std::memset(&slot, 0x5A, sizeof slot);
    composeItem(it, slot, prev, cur, next, comma, seven);
    return slot;
}

}  // namespace

TEST(ItemText, PeriodsChooseTheComparedDays)
{
    DayRates prev = day(4, 30.0f, 20.0f), cur = day(7, 30.5f, 21.0f), next = day(8, 29.75f, 22.0f);
    const uint8_t both = ShowArrow | ShowDifference;

    ItemSlot s0 = compose(item(0, both, 2), prev, cur, none);
    EXPECT_EQ(toUtf8(s0.text), "€ 30.50 (0.50)");
    EXPECT_EQ(s0.value, 30.5f);
    EXPECT_EQ(s0.hasArrow, 1);
    EXPECT_EQ(s0.arrowUp, 1);
    EXPECT_EQ(s0.width, 7 * 14 + 9);

    ItemSlot s1 = compose(item(1, both, 2), prev, cur, next);
    EXPECT_EQ(toUtf8(s1.text), "€ 29.75 (-0.75)");
    EXPECT_EQ(s1.arrowUp, 0);
    ItemSlot s1none = compose(item(1, both, 2), prev, cur, none);
    EXPECT_EQ(toUtf8(s1none.text), "€ −.−−");
    EXPECT_EQ(s1none.value, 0.0f);
    EXPECT_EQ(s1none.hasArrow, 0);
    EXPECT_EQ(s1none.width, 7 * 6);

    EXPECT_EQ(toUtf8(compose(item(2, both, 2), prev, cur, next).text), "€ 29.75 (-0.75)");
    EXPECT_EQ(toUtf8(compose(item(2, both, 2), prev, cur, none).text), "€ 30.50 (0.50)");

    // The oldest day: a value, but no difference and no arrow.
    ItemSlot oldest = compose(item(0, both, 2), none, cur, none);
    EXPECT_EQ(toUtf8(oldest.text), "€ 30.50");
    EXPECT_EQ(oldest.hasArrow, 0);
    EXPECT_EQ(oldest.width, 7 * 7);
}

TEST(ItemText, MissingRatesShowDashesAndEqualValuesNoArrow)
{
    DayRates prev = day(4, 30.12f, 20.0f), cur = day(7, 35.0f, 21.0f);
    EXPECT_EQ(toUtf8(compose(item(0, 0, 0), prev, cur, none).text), "€ 35");
    EXPECT_EQ(toUtf8(compose(item(0, 0, 0), prev, none, none).text), "€ −");
    EXPECT_EQ(toUtf8(compose(item(0, 0, 2), prev, none, none, CommaOnPanel).text), "€ −,−−");
    EXPECT_EQ(toUtf8(compose(item(0, 0, 4, 1), prev, none, none).text), "[−.−−−−]");

    DayRates a = day(4, 29.97f, 1.0f), b = day(7, 30.12f, 1.0f);
    EXPECT_EQ(toUtf8(compose(item(0, ShowDifference, 2), a, b, none, CommaOnPanel).text), "€ 30,12 (0,15)");

    // Equal values: a zero difference, no arrow.
    ItemSlot same = compose(item(0, ShowArrow | ShowDifference, 2), b, b, none);
    EXPECT_EQ(toUtf8(same.text), "€ 30.12 (0.00)");
    EXPECT_EQ(same.hasArrow, 0);
}

// When the bank changes a nominal, the older day is compared per unit in the
// newer day's nominal; the shown value stays what the bank published.
TEST(ItemText, NominalChangesCompareThePricePerUnit)
{
    const uint8_t both = ShowArrow | ShowDifference;
    struct Case {
        int32_t oldNominal;
        float oldRate;
        int32_t newNominal;
        float newRate;
        const char* text;
        int arrowUp;  // -1: no arrow
    };
    const Case cases[] = {
        {10, 300.0f, 1, 31.50f, "€ 31.50 (1.50)", 1},     // 30.00 → 31.50 per unit
        {10, 300.0f, 1, 29.00f, "€ 29.00 (-1.00)", 0},
        {1, 30.0f, 10, 310.0f, "€ 310.00 (10.00)", 1},    // 300.00 for ten → 310.00
        {10, 300.0f, 1, 30.00f, "€ 30.00 (0.00)", -1},    // the same price: no arrow
        {0, 0.0f, 10, 310.0f, "€ 310.00", -1},            // no older quote: nothing compared
        {100, 25.0f, 100, 26.0f, "€ 26.00 (1.00)", 1},    // an unchanged nominal as before
    };
    for (const Case& c : cases) {
        DayRates older = day(4, 0.0f, 1.0f), newer = day(7, 0.0f, 1.0f);
        older.rates[0] = {c.oldNominal, c.oldRate};
        newer.rates[0] = {c.newNominal, c.newRate};
        ItemSlot s = compose(item(0, both, 2), older, newer, none);
        EXPECT_EQ(toUtf8(s.text), c.text);
        EXPECT_EQ(s.value, c.newRate);
        EXPECT_EQ(s.hasArrow, c.arrowUp >= 0 ? 1 : 0) << c.text;
        if (c.arrowUp >= 0) EXPECT_EQ(s.arrowUp, c.arrowUp) << c.text;
        // Period 1 compares the next day with the shown one the same way.
        EXPECT_EQ(toUtf8(compose(item(1, both, 2), none, older, newer).text), c.text);
    }

    // A ratio: EUR went from 10 units to 1, USD from 1 to 10; per unit the ratio
    // rose from 1.5 to 1.6, shown in the newer day's nominals as 0.16.
    DayRates older = day(4, 0.0f, 0.0f), newer = day(7, 0.0f, 0.0f);
    older.rates[0] = {10, 450.0f};
    older.rates[1] = {1, 30.0f};
    newer.rates[0] = {1, 48.0f};
    newer.rates[1] = {10, 300.0f};
    ItemSlot ratio = compose(item(0, both, 3, 1, 0, 1), older, newer, none);
    EXPECT_EQ(toUtf8(ratio.text), "[0.160] (0.010)");
    EXPECT_EQ(ratio.arrowUp, 1);
}

TEST(ItemText, RatiosDivideAndHugeValuesAreCutToTheSlot)
{
    DayRates prev = day(4, 100.0f, 80.0f), cur = day(7, 90.0f, 60.0f);
    ItemSlot ratio = compose(item(0, ShowArrow, 2, 1, 0, 1), prev, cur, none);
    EXPECT_EQ(toUtf8(ratio.text), "[1.50]");
    EXPECT_EQ(ratio.value, 1.5f);
    EXPECT_EQ(ratio.arrowUp, 1);
    EXPECT_EQ(ratio.width, 7 * 6 + 9);

    // A tiny divisor makes a huge quotient: cut to the slot, never past it.
    DayRates tiny = day(7, 3.0e30f, 1.0e-3f);
    ItemSlot cut = compose(item(0, ShowDifference, 4, 1, 0, 1), prev, tiny, none);
    size_t length = length16(cut.text, SlotTextUnits);
    EXPECT_EQ(length, size_t(SlotTextUnits - 1));
    EXPECT_EQ(cut.text[0], u'[');
    EXPECT_EQ(cut.width, 7 * 31);

    char16_t copied[32];
    formatCopyValue(copied, 32, 3.0e38f, 4, true);
    EXPECT_EQ(length16(copied, 32), 31u);
    formatCopyValue(copied, 32, 1.5f, 4, true);
    EXPECT_EQ(toUtf8(copied), "1,5000");
    formatCopyValue(copied, 32, 0.0f, 2, false);
    EXPECT_EQ(toUtf8(copied), "0.00");
    formatCopyValue(copied, 32, 1234.5f, 0, true);
    EXPECT_EQ(toUtf8(copied), "1234");  // %.0f rounds half to even: 1234
}

namespace {
struct Layout : ::testing::Test {
    Settings s{};
    DayRates cur = day(7, 30.0f, 20.0f);
    void SetUp() override
    {
        std::memset(&s, 0, sizeof s);
        s.itemCount = 5;
        s.visibleItems = 3;
        for (int i = 0; i < 5; ++i) s.items[i] = item(0, 0, 0, 0, uint8_t(i));
        firstVisible = 0;
    }
    int layout(int iconSize = 16, int panelWidth = 240)
    {
        chooseVisibleSlots(s);
        LayoutInput in{&s, &none, &cur, &none, seven, 21, iconSize, panelWidth, nullptr};
        return layoutSlots(in);
    }
};
}  // namespace

TEST_F(Layout, SlotsStartAtTheFirstVisibleItemWithSeparatorsBetween)
{
    firstVisible = 2;
    int offset = layout();
    EXPECT_EQ(lastSlot, 2);
    EXPECT_EQ(slots[0].itemIndex, 2);
    EXPECT_EQ(slots[2].itemIndex, 4);
    // Each text is "XXX −" or a symbol: widths differ; the separator only between.
    int total = slots[0].width + slots[1].width + slots[2].width + 2 * 21;
    EXPECT_EQ(slots[1].x, slots[0].width + 21);
    EXPECT_EQ(slots[2].x, slots[1].x + slots[1].width + 21);
    EXPECT_EQ(dragThreshold, (total / 3) / 2);
    EXPECT_EQ(offset, 25);
    EXPECT_EQ(layout(21), 33);

    firstVisible = 4;
    s.itemCount = 3;
    layout();
    EXPECT_EQ(firstVisible, 0);
    EXPECT_EQ(lastSlot, 2);

    s.visibleItems = 9;
    layout();
    EXPECT_EQ(lastSlot, 2);
}

TEST_F(Layout, CentredRowsStartRightOfTheIconWhenTooWide)
{
    s.centerItems = 1;
    s.visibleItems = 1;
    layout(16, 240);
    int total = slots[0].width;
    EXPECT_EQ(layout(16, 240), 17 + (240 - 16 - total - 1) / 2);
    s.visibleItems = 5;
    EXPECT_EQ(layout(16, 60), 17);  // wider than the space: starts right of the icon
}

TEST_F(Layout, WithNothingVisibleNoDragScrolls)
{
    s.itemCount = 0;
    layout();
    EXPECT_EQ(lastSlot, -1);
    EXPECT_GT(dragThreshold, 65535);  // no stylus travel can scroll
    s.itemCount = 3;
    s.visibleItems = 0;
    layout();
    EXPECT_EQ(lastSlot, -1);
    EXPECT_GT(dragThreshold, 65535);
}

namespace {
// An update worker run inline, as if its thread finished while the panel was
// measuring its first item: it stores Tuesday's rates and evaluates freshness.
int measurements;
int measureAndLetTheWorkerRun(const char16_t*, int length, void*)
{
    if (++measurements == 1) EXPECT_TRUE(startUpdate());
    return 7 * length;
}
}  // namespace

TEST(LayoutRace, AnUpdateDuringTheLayoutBringsOneMoreLayout)
{
    ScriptedSchedule run;
    scripted.now = LocalTime{2026, 12, 8, 10, 0};
    scripted.answers = {day(8, 31.0f, 21.0f)};
    storeDay(day(7, 30.0f, 20.0f));
    refreshTick();  // Tuesday: Monday's rates are shown
    Settings s{};
    setDefaultSettings(s, 96);
    firstVisible = 0;
    measurements = 0;
    const TextMeasurer racing{measureAndLetTheWorkerRun, nullptr};
    const LayoutSource source{&redrawFlag, readPanelDays, nullptr, false};

    chooseVisibleSlots(s);
    EXPECT_EQ(layOutWhenFlagged(source, s, racing, 21, 16, 240), 25);
    EXPECT_EQ(slots[0].value, 30.0f);  // laid out from what was read before the update
    EXPECT_EQ(redrawFlag.load(), 1);   // ... but the update's request is kept
    EXPECT_EQ(layOutWhenFlagged(source, s, racing, 21, 16, 240), 25);
    EXPECT_EQ(slots[0].value, 31.0f);
    EXPECT_EQ(redrawFlag.load(), 0);
    EXPECT_EQ(layOutWhenFlagged(source, s, racing, 21, 16, 240), 0);  // nothing due: the slots stay
    EXPECT_EQ(slots[0].value, 31.0f);
}

TEST(Arrow, ADownArrowIsTheUpArrowMirrored)
{
    // A slot at x 100, width 60: reference x 151, outline within 152..160.
    PanelPoint up[8], down[8], fill[6];
    arrowOutline(100 + 60 - 9, 17, true, up);
    int lowest = 1000, highest = -1;
    for (const PanelPoint& p : up) {
        lowest = std::min(lowest, int(p.x));
        highest = std::max(highest, int(p.x));
    }
    EXPECT_EQ(lowest, 152);
    EXPECT_EQ(highest, 160);
    EXPECT_EQ(up[2].x, 156);
    EXPECT_EQ(up[2].y, 2);
    EXPECT_EQ(up[5].y, 15);
    EXPECT_EQ(up[0].x, up[7].x);
    EXPECT_EQ(up[0].y, up[7].y);
    arrowOutline(151, 17, false, down);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(down[i].x, up[i].x);
        EXPECT_EQ(down[i].y, 17 - up[i].y);
    }
    arrowFill(151, 17, true, fill);
    EXPECT_EQ(fill[0].x, 154);
    EXPECT_EQ(fill[0].y, 5);
    EXPECT_EQ(fill[5].y, 15);
    arrowFill(151, 17, false, fill);
    EXPECT_EQ(fill[5].y, 2);
    EXPECT_EQ(fill[4].y, 14);
}
