// The options dialog's portable half: reading the update and misc pages into
// Settings, the working item list and its buttons, the list's row texts and the
// item editor's result.
#include "testutil.h"

#include "dialogs/core/options.h"

namespace {

// The pages as they are filled from the default settings.
UpdatePageInput defaultUpdatePage() { return {false, 30, false, true, 15, 0, false, u"", false, true, false}; }
MiscPageInput defaultMiscPage() { return {3, 15, true, false, false, true, true, true, 4, 15}; }

struct OptionsPages : ::testing::Test {
    Settings s;
    void SetUp() override { setDefaultSettings(s, 96); }
    Settings afterUpdate(const UpdatePageInput& in)
    {
        Settings out = s;
        readUpdatePage(out, in);
        return out;
    }
    Settings afterMisc(const MiscPageInput& in)
    {
        Settings out = s;
        readMiscPage(out, in);
        return out;
    }
};

// An item with two digits in the default colour.
PanelItem item(uint8_t currency, uint8_t isRatio = 0, uint8_t currency2 = 0, uint8_t period = 0)
{
    return {isRatio, period, currency, currency2, 1, {}, 0, 0, 2, {}};
}

// Items 0..count-1 with currencies 0, 1, 2 ... so that their order shows.
WorkingItems listOf(int count)
{
    WorkingItems w;
    std::memset(&w, 0xEE, sizeof w);  // free slots hold leftovers
    w.count = count;
    for (int i = 0; i < count; ++i) w.items[i] = item(uint8_t(i));
    return w;
}

std::string order(const WorkingItems& w)
{
    std::string out;
    for (int i = 0; i < w.count; ++i) out += char('0' + w.items[i].currency);
    return out;
}

std::string rowText(const PanelItem& it, int column)
{
    char16_t text[64];
    itemRowText(it, column, text, 64);
    return toUtf8(text);
}

}  // namespace

// --- The update page ------------------------------------------------------------------

// Stored: interval 30, hour 15, minute 30. An empty field reads 0, -1 reads 0xFFFFFFFF,
// and a number is never cut to a byte.
TEST_F(OptionsPages, UpdateNumbersKeepValuesOutsideTheirBounds)
{
    s.dailyMinute = 30;
    const struct {
        uint32_t UpdatePageInput::*field;
        uint32_t entered;
        int32_t stored;
    } cases[] = {{&UpdatePageInput::interval, 0, 30},        {&UpdatePageInput::interval, 0xFFFFFFFFu, 30},
                 {&UpdatePageInput::interval, 1, 1},         {&UpdatePageInput::hour, 24, 15},
                 {&UpdatePageInput::hour, 23, 23},           {&UpdatePageInput::hour, 0, 0},
                 {&UpdatePageInput::hour, 256 + 10, 15},     {&UpdatePageInput::minute, 60, 30},
                 {&UpdatePageInput::minute, 59, 59},         {&UpdatePageInput::minute, 0, 0},
                 {&UpdatePageInput::minute, 0xFFFFFFFFu, 30}};
    for (const auto& c : cases) {
        UpdatePageInput in = defaultUpdatePage();
        in.*c.field = c.entered;
        Settings out = afterUpdate(in);
        int32_t stored = c.field == &UpdatePageInput::interval ? out.updateInterval
                         : c.field == &UpdatePageInput::hour   ? out.dailyHour
                                                               : out.dailyMinute;
        EXPECT_EQ(stored, c.stored) << c.entered;
    }
}

TEST_F(OptionsPages, UpdateFlagsAreRebuiltFromTheBoxes)
{
    UpdatePageInput in = defaultUpdatePage();
    s.updateFlags = 0xFF;  // every box clear; bits 6 and 7 set by a damaged file
    in.updateOnConnect = false;
    in.updateDaily = false;
    EXPECT_EQ(afterUpdate(in).updateFlags, 0);

    in = defaultUpdatePage();
    EXPECT_EQ(afterUpdate(in).updateFlags, UpdateDaily | UpdateOnConnect);  // the hidden box carries it

    // 1009 greyed (1000 off) but still ticked: OnlyIfStale is kept.
    in.updateEvery = false;
    in.onlyIfStale = true;
    EXPECT_EQ(afterUpdate(in).updateFlags, UpdateDaily | UpdateOnConnect | OnlyIfStale);

    in = UpdatePageInput{};
    in.proxy = u"";
    in.updateEvery = in.establishConnection = true;
    EXPECT_EQ(afterUpdate(in).updateFlags, UpdateEvery | EstablishConnection);
    in.updateOnPublication = true;
    EXPECT_EQ(afterUpdate(in).updateFlags, UpdateEvery | EstablishConnection | UpdateOnPublication);
}

TEST_F(OptionsPages, ProxyIsReadAsAtMostSixtyThreeCharacters)
{
    std::u16string seventy;
    for (int i = 0; i < 70; ++i) seventy += char16_t(u'a' + i % 26);
    UpdatePageInput in = defaultUpdatePage();
    in.useProxy = true;
    in.proxy = seventy.c_str();
    Settings out = afterUpdate(in);
    EXPECT_EQ(out.useProxy, 1);
    EXPECT_EQ(std::u16string(out.proxy), seventy.substr(0, 63));

    in.useProxy = false;
    in.proxy = u"10.0.0.1:3128";
    out = afterUpdate(in);
    EXPECT_EQ(out.useProxy, 0);
    EXPECT_EQ(std::u16string(out.proxy), u"10.0.0.1:3128");
    // Nothing past the record's proxy block is touched.
    EXPECT_EQ(std::memcmp(out.magic2, s.magic2, sizeof s.magic2), 0);
}

// --- The misc page --------------------------------------------------------------------

TEST_F(OptionsPages, MiscNumbersKeepValuesOutsideTheirBounds)
{
    MiscPageInput in = defaultMiscPage();
    for (uint32_t ignored : {4u, 48u, 0u, 0xFFFFFFFBu}) {
        in.fontHeight = ignored;
        EXPECT_EQ(afterMisc(in).panelFont.lfHeight, 15) << ignored;
    }
    for (uint32_t taken : {5u, 47u}) {
        in.fontHeight = taken;
        EXPECT_EQ(afterMisc(in).panelFont.lfHeight, int32_t(taken));
    }

    // The stored history length is 15: a value the next load would change is kept out.
    const struct {
        uint32_t entered;
        int32_t stored;
    } lengths[] = {{3, 15}, {4, 4}, {3660, 3660}, {3661, 15}, {5000, 15}, {0xFFFFFFFFu, 15}};
    for (const auto& c : lengths) {
        in = defaultMiscPage();
        in.historyLength = c.entered;
        EXPECT_EQ(afterMisc(in).historyLength, c.stored) << c.entered;
    }

    // The stored count is 3; more than 15 (never more items) is 15, never its low byte.
    const struct {
        uint32_t entered;
        uint8_t stored;
    } counts[] = {{0, 3}, {1, 1}, {15, 15}, {16, 15}, {256, 15}, {300, 15}, {512, 15}, {0xFFFFFFFFu, 3}};
    for (const auto& c : counts) {
        in = defaultMiscPage();
        in.visibleItems = c.entered;
        EXPECT_EQ(afterMisc(in).visibleItems, c.stored) << c.entered;
    }
}

TEST_F(OptionsPages, MiscBoxesRebuildTheirFlagsAndNoDigitsRowKeepsTheValue)
{
    MiscPageInput in = defaultMiscPage();
    s.commaFlags = 0xFF;
    s.panelFont.lfWeight = 600;
    in.commaOnCopy = false;
    in.bold = false;
    in.centerItems = in.filledArrows = true;
    Settings out = afterMisc(in);
    EXPECT_EQ(out.commaFlags, CommaOnPanel | CommaInHistory);  // bits 3 to 7 cleared
    EXPECT_EQ(out.panelFont.lfWeight, 400);
    EXPECT_EQ(out.centerItems, 1);
    EXPECT_EQ(out.filledArrows, 1);
    in.bold = true;
    EXPECT_EQ(afterMisc(in).panelFont.lfWeight, 700);

    s.historyDigits = 7;  // a stored value with no row
    in.historyDigitsRow = -1;
    EXPECT_EQ(afterMisc(in).historyDigits, 7);
    in.historyDigitsRow = 0;
    EXPECT_EQ(afterMisc(in).historyDigits, 0);
    in.historyDigitsRow = 4;
    EXPECT_EQ(afterMisc(in).historyDigits, 4);
}

// --- The working item list ------------------------------------------------------------

TEST(OptionsItemList, CopiesInAndOutWholeAndComesInRange)
{
    Settings s;
    setDefaultSettings(s, 96);
    WorkingItems w;
    loadWorkingItems(w, s);
    EXPECT_EQ(w.count, 3);
    EXPECT_EQ(std::memcmp(w.items, s.items, sizeof w.items), 0);

    // Back over the record: itemCount and all 16 slots, nothing around them.
    Settings before = s;
    w.count = 1;
    w.items[15].currency = 9;
    storeWorkingItems(s, w);
    EXPECT_EQ(s.itemCount, 1);
    EXPECT_EQ(s.items[15].currency, 9);
    EXPECT_EQ(std::memcmp(&s, &before, offsetof(Settings, itemCount)), 0);
    EXPECT_EQ(std::memcmp(s.magic, before.magic, sizeof s - offsetof(Settings, magic)), 0);

    s.itemCount = 99;
    loadWorkingItems(w, s);
    EXPECT_EQ(w.count, MaxItems);
    s.itemCount = -4;
    loadWorkingItems(w, s);
    EXPECT_EQ(w.count, 0);
}

TEST(OptionsItemList, UpDownAndDeleteMoveOnlyRowsInTheList)
{
    WorkingItems w = listOf(4);
    EXPECT_FALSE(moveItemUp(w, 0));
    EXPECT_FALSE(moveItemDown(w, 3));
    EXPECT_FALSE(moveItemUp(w, -1));
    EXPECT_FALSE(moveItemDown(w, 4));  // a row past the list
    EXPECT_FALSE(moveItemUp(w, 4));
    EXPECT_EQ(order(w), "0123");
    EXPECT_TRUE(moveItemUp(w, 2));
    EXPECT_EQ(order(w), "0213");
    EXPECT_TRUE(moveItemDown(w, 0));
    EXPECT_EQ(order(w), "2013");
    EXPECT_TRUE(moveItemDown(w, 2));
    EXPECT_EQ(order(w), "2031");

    WorkingItems three = listOf(3);
    EXPECT_TRUE(deleteItem(three, 1));  // the middle one: the others keep their order
    EXPECT_EQ(order(three), "02");
    EXPECT_FALSE(deleteItem(three, 2));
    EXPECT_FALSE(deleteItem(three, -1));
    EXPECT_TRUE(deleteItem(three, 1));
    EXPECT_TRUE(deleteItem(three, 0));
    EXPECT_EQ(three.count, 0);
    EXPECT_FALSE(deleteItem(three, 0));

    WorkingItems full = listOf(15);
    EXPECT_TRUE(deleteItem(full, 0));
    EXPECT_EQ(order(full), std::string("123456789:;<=>"));
}

TEST(OptionsItemList, AddStopsAtFifteenAndANewItemHasItsDefaults)
{
    EXPECT_TRUE(canAddItem(listOf(14)));
    EXPECT_FALSE(canAddItem(listOf(15)));
    WorkingItems w = listOf(14);
    startNewItem(w, 14);
    const PanelItem& added = w.items[14];
    const PanelItem expected = item(0);  // digits 2, the default colour, nothing else
    EXPECT_EQ(std::memcmp(&added, &expected, sizeof expected), 0);  // the slot's leftovers are gone
    EXPECT_EQ(w.count, 14);  // the count grows only on the editor's OK
    WorkingItems untouched = w;
    startNewItem(w, 16);
    startNewItem(w, -1);
    EXPECT_EQ(std::memcmp(&w, &untouched, sizeof w), 0);
}

// --- Row texts ------------------------------------------------------------------------

TEST(OptionsItemRows, RowsNameTheRateOrRatioAndThePeriod)
{
    EXPECT_EQ(rowText(item(0), 0), "Курс €.");
    EXPECT_EQ(rowText(item(3), 0), "Курс ¥.");
    EXPECT_EQ(rowText(item(1, 1, 0), 0), "Соотношение $/€.");
    EXPECT_EQ(rowText(item(16, 1, 12), 0), "Соотношение CHF/XDR.");
    EXPECT_EQ(rowText(item(0, 0, 0, 0), 1), "текущий");
    EXPECT_EQ(rowText(item(0, 0, 0, 1), 1), "следующий");
    EXPECT_EQ(rowText(item(0, 0, 0, 2), 1), "следующий/если есть");
    EXPECT_EQ(rowText(item(0, 0, 0, 3), 1), "текущий");
    EXPECT_EQ(rowText(item(0, 0, 0, 2), 5), "следующий/если есть");  // any other column
}

TEST(OptionsItemRows, DamagedItemsAndSmallBuffersStayInBounds)
{
    // A currency outside the table reads as the panel shows it, the last row.
    EXPECT_EQ(rowText(item(17), 0), "Курс CNY.");
    EXPECT_EQ(rowText(item(44), 0), "Курс KRW.");
    EXPECT_EQ(rowText(item(255, 1, 200), 0), "Соотношение KRW/KRW.");

    char16_t small[8];
    std::memset(small, 0x55, sizeof small);
    itemRowText(item(1, 1, 0), 0, small, 6);
    EXPECT_EQ(toUtf8(small), "Соотн");
    EXPECT_EQ(small[6], char16_t(0x5555));  // nothing written past the buffer
    itemRowText(item(0), 1, small, 1);
    EXPECT_EQ(small[0], 0);

    WorkingItems w = listOf(2);
    char16_t text[64] = u"x";
    workingRowText(w, 1, 0, text, 64);
    EXPECT_EQ(toUtf8(text), "Курс $.");
    for (int row : {2, -1, 15, 1000}) {
        text[0] = u'x';
        workingRowText(w, row, 0, text, 64);
        EXPECT_EQ(text[0], 0) << row;
    }
}

// --- The item editor ------------------------------------------------------------------

TEST(OptionsItemEditor, StoresTheControls)
{
    PanelItem it = item(0);
    it.reserved0[1] = 0x5A;
    it.reserved1[0] = 0xA5;
    EditorChoice c{true, true, true, 1, 0, true, true, 4, false, 0x00123456};
    storeEditorChoice(it, c);
    EXPECT_EQ(it.isRatio, 1);
    EXPECT_EQ(it.period, 2);
    EXPECT_EQ(it.currency, 1);
    EXPECT_EQ(it.currency2, 0);
    EXPECT_EQ(it.itemFlags, ShowArrow | ShowDifference);
    EXPECT_EQ(it.digits, 4);
    EXPECT_EQ(it.useDefaultColour, 0);
    EXPECT_EQ(it.colour, 0x00123456u);
    EXPECT_EQ(it.reserved0[1], 0x5A);  // the item's other bytes stay
    EXPECT_EQ(it.reserved1[0], 0xA5);

    // "If available" counts only with "next period"; the colour is kept even when
    // the default colour is used; the flags are rebuilt.
    c.nextPeriod = false;
    c.ifAvailable = true;
    c.defaultColour = true;
    c.arrow = c.difference = false;
    c.colour = 0x00ABCDEF;
    storeEditorChoice(it, c);
    EXPECT_EQ(it.period, 0);
    EXPECT_EQ(it.useDefaultColour, 1);
    EXPECT_EQ(it.colour, 0x00ABCDEFu);
    EXPECT_EQ(it.itemFlags, 0);
    c.nextPeriod = true;
    c.ifAvailable = false;
    storeEditorChoice(it, c);
    EXPECT_EQ(it.period, 1);
}

TEST(OptionsItemEditor, AListWithoutASelectionNeverStoresMinusOne)
{
    PanelItem it = item(5, 1, 7);
    it.digits = 3;
    EditorChoice c{};
    c.currencyRow = c.currency2Row = c.digitsRow = -1;
    storeEditorChoice(it, c);
    EXPECT_EQ(it.currency, 5);
    EXPECT_EQ(it.currency2, 7);
    EXPECT_EQ(it.digits, 3);

    // A damaged item keeps its value only as far as the lists reach.
    it.currency = 200;
    it.currency2 = 43;
    it.digits = 9;
    storeEditorChoice(it, c);
    EXPECT_EQ(it.currency, 43);
    EXPECT_EQ(it.currency2, 43);
    EXPECT_EQ(it.digits, 4);

    // A row the list cannot have is no selection either.
    c.currencyRow = 44;
    c.digitsRow = 5;
    it.currency = 2;
    it.digits = 1;
    storeEditorChoice(it, c);
    EXPECT_EQ(it.currency, 2);
    EXPECT_EQ(it.digits, 1);
}
