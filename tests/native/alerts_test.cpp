// Limits on the panel's items: the crossing rule, the alert of a slot, the
// notification's text, the percent difference, and the limits file's bad inputs.
#include "testutil.h"

#include <cmath>

#include "data/limits.h"
#include "data/numbertext.h"
#include "dialogs/core/options.h"
#include "platform/testhooks.h"
#include "plugin/core/alerts.h"
#include "plugin/core/layout.h"

namespace {

constexpr int Eur = 0, Usd = 1;

ItemLimits limitsOf(float upper, float lower, uint8_t flags = LimitUpper | LimitLower)
{
    ItemLimits l{};
    l.flags = flags;
    l.upper = upper;
    l.lower = lower;
    return l;
}

Settings oneItem(int currency, bool ratio = false)
{
    Settings s;
    setDefaultSettings(s, 96);
    s.itemCount = 1;
    s.items[0] = PanelItem{};
    s.items[0].currency = uint8_t(currency);
    s.items[0].currency2 = Eur;
    s.items[0].isRatio = ratio ? 1 : 0;
    s.items[0].digits = 4;
    s.items[0].itemFlags = ShowDifference;
    return s;
}

DayRates usdDay(int d, float usd, float eur = 100.0f)
{
    DayRates r = dayRecord(d, 12, 2026);
    if (usd != 0.0f) r.rates[Usd] = {1, usd};
    r.rates[Eur] = {1, eur};
    return r;
}

int measure(const char16_t*, int length, void*) { return 6 * length; }

}  // namespace

// One item through a row of days: where its value stands, whether the slot is in
// alert, and which days bring a notification (entering a side) or end one (back
// inside). A missing rate is no crossing either way.
TEST(Alerts, TheCrossingRuleNotifiesOncePerCrossing)
{
    const struct {
        const char* what;
        float usd;
        uint8_t side;      // the slot's alert, and the state after the day
        int moved;         // -1 none, else the side of the move reported
    } days[] = {
        {"inside", 95.0f, AlertInside, -1},
        {"at the upper limit", 100.0f, AlertAbove, AlertAbove},
        {"above it, still", 101.5f, AlertAbove, -1},
        {"missing: no crossing back", 0.0f, AlertInside, -1},
        {"above after the gap: no second notification", 102.0f, AlertAbove, -1},
        {"back inside", 99.99f, AlertInside, AlertInside},
        {"at the lower limit", 90.0f, AlertBelow, AlertBelow},
        {"straight above", 120.0f, AlertAbove, AlertAbove},
    };
    Settings s = oneItem(Usd);
    ItemLimits limits[ItemSlots] = {};
    limits[0] = limitsOf(100.0f, 90.0f);
    uint8_t state = AlertInside;
    int day = 1;
    for (const auto& c : days) {
        SCOPED_TRACE(c.what);
        DayRates previous = usdDay(day, 95.0f), current = usdDay(day + 1, c.usd), none{};
        ++day;
        AlertCrossing moved[ItemSlots];
        int n = advanceAlerts(s, limits, previous, current, none, moved);
        EXPECT_EQ(alertSideOf(limits[0], current.rates[Usd].rate), c.side);
        if (c.usd != 0.0f) state = c.side;
        EXPECT_EQ(limits[0].alert, state);
        ASSERT_EQ(n, c.moved < 0 ? 0 : 1);
        if (n == 0) continue;
        EXPECT_EQ(moved[0].side, c.moved);
        EXPECT_EQ(moved[0].value, c.usd);
        EXPECT_TRUE(sameDay(moved[0].day, current.code));
    }
}

// A ratio item is judged by its ratio, a period-1 item by the next day, and an
// item without limits never alerts; the slot carries the alert, and the percent
// option turns the difference into a signed percentage with the panel's comma.
TEST(Alerts, RatiosPeriodsAndThePercentDifference)
{
    DayRates previous = usdDay(1, 80.0f, 100.0f), current = usdDay(2, 81.0f, 101.25f), next = usdDay(3, 60.0f, 100.0f);
    Settings ratio = oneItem(Usd, true);  // USD / EUR: 0.8 the day before, 0.8 again
    ItemLimits limits[ItemSlots] = {};
    limits[0] = limitsOf(0.8f, 0.0f, LimitUpper);
    AlertCrossing moved[ItemSlots];
    ASSERT_EQ(advanceAlerts(ratio, limits, previous, current, next, moved), 1);
    EXPECT_FLOAT_EQ(moved[0].value, 0.8f);
    ratio.items[0].period = 1;  // next day: 0.6, back inside
    ASSERT_EQ(advanceAlerts(ratio, limits, previous, current, next, moved), 1);
    EXPECT_EQ(moved[0].side, AlertInside);
    limits[0] = ItemLimits{};
    limits[0].alert = AlertInside;
    EXPECT_EQ(advanceAlerts(ratio, limits, previous, current, next, moved), 0);

    const struct {
        int currency;
        uint8_t flags;
        bool comma;
        const char16_t* text;
        uint8_t alert;
    } cases[] = {
        {Usd, 0, false, u"$ 81.0000 (1.0000)", AlertInside},
        {Usd, PercentDifference, true, u"$ 81,0000 (+1,25%)", AlertInside},
        {Usd, PercentDifference | LimitLower, false, u"$ 81.0000 (+1.25%)", AlertBelow},  // lower 81: at it
        {Eur, PercentDifference | LimitUpper, false, u"€ 101.2500 (+1.25%)", AlertAbove},
    };
    for (const auto& c : cases) {
        Settings s = oneItem(c.currency);
        s.commaFlags = c.comma ? CommaOnPanel : 0;
        ItemLimits l[ItemSlots] = {};
        l[0] = limitsOf(101.0f, 81.0f, c.flags);
        firstVisible = 0;
        chooseVisibleSlots(s);
        LayoutInput in{&s, &previous, &current, &next, TextMeasurer{measure, nullptr}, 18, 16, 240, l};
        layoutSlots(in);
        EXPECT_EQ(std::u16string(slots[0].text), c.text);
        EXPECT_EQ(slots[0].alert, c.alert) << toUtf8(c.text);
    }
    DayRates falling = usdDay(2, 79.0f);
    Settings s = oneItem(Usd);
    ItemSlot slot;
    composeItem(s.items[0], slot, previous, falling, next, 0, TextMeasurer{measure, nullptr}, true);
    EXPECT_EQ(std::u16string(slot.text), u"$ 79.0000 (-1.25%)");
}

TEST(Alerts, TheNotificationSaysWhatCrossedWhereAndWhen)
{
    Settings s = oneItem(Usd);
    AlertCrossing up{0, AlertAbove, 100.0f, 101.2345f, makeDayCode(11, 12, 2026)};
    char16_t text[96];
    alertText(s.items[0], up, true, text, 96);
    EXPECT_EQ(std::u16string(text), u"USD выше 100,0000: 101,2345 (11.12.2026)");
    s = oneItem(Eur, true);
    s.items[0].currency2 = Usd;
    s.items[0].digits = 2;
    AlertCrossing down{0, AlertBelow, 1.1f, 1.05f, makeDayCode(1, 2, 2027)};
    alertText(s.items[0], down, false, text, 96);
    EXPECT_EQ(std::u16string(text), u"EUR/USD ниже 1.10: 1.05 (01.02.2027)");
    alertText(s.items[0], down, false, text, 8);  // cut, never past the end
    EXPECT_EQ(std::u16string(text), u"EUR/USD");
}

// The limits file: whatever is wrong with it means no limits, and nothing in it
// that is not a limit survives a read.
TEST(Limits, ADamagedFileMeansNoLimits)
{
    ItemLimits good[ItemSlots] = {};
    good[3] = limitsOf(100.0f, 90.0f, LimitUpper | LimitLower | PercentDifference);
    good[3].alert = AlertAbove;
    unsigned char image[LimitsFileBytes];
    writeLimitsImage(image, good);
    ItemLimits read[ItemSlots];
    ASSERT_TRUE(readLimitsImage(image, long(sizeof image), read));
    EXPECT_EQ(std::memcmp(read, good, sizeof good), 0);

    const struct {
        const char* what;
        size_t at;  // a byte changed, or the size when size is set
        unsigned char value;
        long size;
    } damaged[] = {
        {"cut", 0, 0, long(LimitsFileBytes) - 1},
        {"longer", 0, 0, long(LimitsFileBytes) + 1},
        {"empty", 0, 0, 0},
        {"another marker", 3, 'X', 0},
        {"a later version", 4, 2, 0},
        {"another record size", 5, 16, 0},
        {"another slot count", 6, 15, 0},
    };
    for (const auto& d : damaged) {
        unsigned char bad[LimitsFileBytes + 1] = {};
        std::memcpy(bad, image, sizeof image);
        long size = d.size ? d.size : long(sizeof image);
        if (!d.size) bad[d.at] = d.value;
        EXPECT_FALSE(readLimitsImage(bad, size, read)) << d.what;
        for (const ItemLimits& l : read) EXPECT_EQ(l.flags | l.alert, 0) << d.what;
    }
    ItemLimits odd[ItemSlots] = {};
    odd[0] = limitsOf(NAN, INFINITY, 0xFF);
    odd[0].alert = 7;
    odd[0].reserved[0] = 9;
    writeLimitsImage(image, odd);
    ASSERT_TRUE(readLimitsImage(image, long(sizeof image), read));
    EXPECT_EQ(read[0].flags, PercentDifference);
    EXPECT_EQ(read[0].alert, AlertInside);
    EXPECT_EQ(read[0].upper + read[0].lower + read[0].reserved[0], 0);
}

// Held at load, the file is never written over; once read, its limits come in,
// unless the options dialog changed them meanwhile, and then those go out.
TEST(Limits, AHeldFileIsReadBeforeItIsWritten)
{
    ScratchFolder folder;
    std::string file = folder.file("vokCurrency.lim");
    ItemLimits stored[ItemSlots] = {};
    stored[0] = limitsOf(100.0f, 0.0f, LimitUpper);
    unsigned char image[LimitsFileBytes];
    writeLimitsImage(image, stored);
    writeBytes(file, image, sizeof image);
    for (bool userChanged : {false, true}) {
        SCOPED_TRACE(userChanged ? "changed in the dialog" : "changed by an alert");
        std::memset(itemLimits, 0, sizeof itemLimits);
        fileReadsRefusedFor = u".lim";
        loadLimits(folder.path16("vokCurrency.lim").c_str());
        EXPECT_FALSE(limitsFileHolds());
        itemLimits[1] = limitsOf(5.0f, 1.0f);
        EXPECT_FALSE(saveLimits(userChanged));
        EXPECT_EQ(readBytes(file), std::vector<unsigned char>(image, image + sizeof image));
        fileReadsRefusedFor = nullptr;
        EXPECT_TRUE(saveLimitsIfUnsaved());
        ItemLimits now[ItemSlots];
        std::vector<unsigned char> bytes = readBytes(file);
        ASSERT_TRUE(readLimitsImage(bytes.data(), long(bytes.size()), now));
        EXPECT_EQ(now[0].flags, userChanged ? 0 : LimitUpper);
        EXPECT_EQ(now[1].flags, userChanged ? LimitUpper | LimitLower : 0);
        writeBytes(file, image, sizeof image);
    }
    // A save that fails is kept in mind and done by the next try.
    loadLimits(folder.path16("vokCurrency.lim").c_str());
    itemLimits[2] = limitsOf(9.0f, 0.0f, LimitUpper);
    fileWriteFailAfter = 10;
    EXPECT_FALSE(saveLimits(false));
    fileWriteFailAfter = -1;
    EXPECT_FALSE(limitsFileHolds());
    EXPECT_EQ(readBytes(file), std::vector<unsigned char>(image, image + sizeof image));
    EXPECT_TRUE(saveLimitsIfUnsaved());
    EXPECT_EQ(readBytes(file)[LimitsHeaderBytes + 2 * sizeof(ItemLimits)], LimitUpper);

    loadLimits(folder.path16("missing.lim").c_str());
    EXPECT_TRUE(limitsFileHolds());
    EXPECT_EQ(itemLimits[0].flags, 0);
    EXPECT_FALSE(fileExists(folder.file("missing.lim")));
}

// The editor's fields, and the list's buttons keeping each item's limits with it.
TEST(ItemLimitsEditing, FieldsAreReadAsAmountsAndLimitsMoveWithTheirItems)
{
    const struct {
        const char16_t* upper;
        const char16_t* lower;
        int refused;
        uint8_t flags;
        float value;
    } fields[] = {
        {u"100,5", u"", 0, LimitUpper, 100.5f},
        {u" 99.25 ", u"  ", 0, LimitUpper, 99.25f},
        {u"", u"80", 0, LimitLower, 80.0f},
        {u"1e400", u"", 1, 0, 0.0f},
        {u"12abc", u"", 1, 0, 0.0f},
        {u"10", u"дешевле", 2, 0, 0.0f},
        {u"-", u"", 1, 0, 0.0f},
    };
    for (const auto& f : fields) {
        ItemLimits l = limitsOf(7.0f, 3.0f);
        l.alert = AlertAbove;
        int refused = storeLimitsChoice(l, LimitsChoice{f.upper, f.lower, false});
        EXPECT_EQ(refused, f.refused) << toUtf8(f.upper) << " / " << toUtf8(f.lower);
        if (refused) {
            EXPECT_EQ(l.flags, LimitUpper | LimitLower);  // untouched
            continue;
        }
        EXPECT_EQ(l.flags, f.flags);
        EXPECT_EQ(f.flags == LimitUpper ? l.upper : l.lower, f.value);
        EXPECT_EQ(l.alert, AlertInside);  // a new limit: its crossing is new
    }
    ItemLimits same = limitsOf(7.0f, 3.0f);
    same.alert = AlertBelow;
    EXPECT_EQ(storeLimitsChoice(same, LimitsChoice{u"7", u"3", true}), 0);
    EXPECT_EQ(same.alert, AlertBelow);
    EXPECT_EQ(same.flags, LimitUpper | LimitLower | PercentDifference);
    char16_t text[FixedTextUnits];
    limitText(100.5f, true, text, FixedTextUnits);
    EXPECT_EQ(std::u16string(text), u"100,5");
    limitText(90.0f, false, text, FixedTextUnits);
    EXPECT_EQ(std::u16string(text), u"90");

    Settings s;
    setDefaultSettings(s, 96);
    ItemLimits limits[ItemSlots] = {};
    for (int i = 0; i < 3; ++i) limits[i] = limitsOf(float(i + 1), 0.0f, LimitUpper);
    WorkingItems w;
    loadWorkingItems(w, s, limits);
    ASSERT_EQ(w.count, 3);
    ASSERT_TRUE(moveItemDown(w, 0));  // 2 1 3
    ASSERT_TRUE(deleteItem(w, 2));    // 2 1
    startNewItem(w, 2);
    ++w.count;                        // 2 1 new
    const float wanted[3] = {2.0f, 1.0f, 0.0f};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(w.limits[i].upper, wanted[i]) << i;
    EXPECT_EQ(w.limits[2].flags, 0);
    EXPECT_EQ(w.items[0].currency, s.items[1].currency);
}
