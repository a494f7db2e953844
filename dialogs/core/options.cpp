#include "dialogs/core/options.h"

#include <cfloat>
#include <cstring>

#include "data/currency.h"
#include "data/settingsfields.h"
#include "data/history.h"
#include "data/numbertext.h"
#include "dialogs/core/converter.h"
#include "platform/text16.h"

WorkingItems workingItems;

void loadWorkingItems(WorkingItems& w, const Settings& s, const ItemLimits* limits)
{
    std::memcpy(&w.count, &s.itemCount, WorkingItemsRecordBytes);
    if (w.count < 0) w.count = 0;
    if (w.count > MaxItems) w.count = MaxItems;
    if (limits)
        std::memcpy(w.limits, limits, sizeof w.limits);
    else
        std::memset(w.limits, 0, sizeof w.limits);
}

void storeWorkingItems(Settings& s, const WorkingItems& w)
{
    std::memcpy(&s.itemCount, &w.count, WorkingItemsRecordBytes);
}

// --- The list's buttons -------------------------------------------------------------

static bool isRow(const WorkingItems& w, int row) { return row >= 0 && row < w.count && row < ItemSlots; }

bool canAddItem(const WorkingItems& w) { return w.count < MaxItems; }

void startNewItem(WorkingItems& w, int slot)
{
    if (slot < 0 || slot >= ItemSlots) return;
    PanelItem& item = w.items[slot];
    std::memset(&item, 0, sizeof item);
    item.digits = 2;
    item.useDefaultColour = 1;
    std::memset(&w.limits[slot], 0, sizeof w.limits[slot]);
}

static void swapItems(WorkingItems& w, int a, int b)
{
    PanelItem kept = w.items[a];
    w.items[a] = w.items[b];
    w.items[b] = kept;
    ItemLimits keptLimits = w.limits[a];
    w.limits[a] = w.limits[b];
    w.limits[b] = keptLimits;
}

bool moveItemUp(WorkingItems& w, int row)
{
    if (!isRow(w, row) || row == 0) return false;
    swapItems(w, row, row - 1);
    return true;
}

bool moveItemDown(WorkingItems& w, int row)
{
    if (!isRow(w, row) || row >= w.count - 1) return false;
    swapItems(w, row, row + 1);
    return true;
}

bool deleteItem(WorkingItems& w, int row)
{
    if (!isRow(w, row)) return false;
    --w.count;
    for (int i = row; i < w.count; ++i) {
        w.items[i] = w.items[i + 1];
        w.limits[i] = w.limits[i + 1];
    }
    return true;
}

// --- Row texts ------------------------------------------------------------------------

static size_t append(char16_t* out, size_t at, size_t capacity, const char16_t* text)
{
    appendText(out, capacity, at, text);
    return at;
}

static const char16_t* symbolOf(uint8_t currency)
{
    return symbol[currency < CurrencyCount ? currency : CurrencyCount - 1];
}

void itemRowText(const PanelItem& item, int column, char16_t* out, size_t capacity)
{
    if (capacity == 0) return;
    out[0] = 0;
    size_t at = 0;
    if (column == 0 && !item.isRatio) {
        at = append(out, at, capacity, u"Курс ");
        at = append(out, at, capacity, symbolOf(item.currency));
        append(out, at, capacity, u".");
    } else if (column == 0) {
        at = append(out, at, capacity, u"Соотношение ");
        at = append(out, at, capacity, symbolOf(item.currency));
        at = append(out, at, capacity, u"/");
        at = append(out, at, capacity, symbolOf(item.currency2));
        append(out, at, capacity, u".");
    } else if (item.period == 1) {
        append(out, at, capacity, u"следующий");
    } else if (item.period == 2) {
        append(out, at, capacity, u"следующий/если есть");
    } else {
        append(out, at, capacity, u"текущий");
    }
}

void workingRowText(const WorkingItems& w, int row, int column, char16_t* out, size_t capacity)
{
    if (capacity == 0) return;
    out[0] = 0;
    if (isRow(w, row)) itemRowText(w.items[row], column, out, capacity);
}

// --- The item editor ------------------------------------------------------------------

// The list's row when there is one, else the old value; either way within 0..last.
static uint8_t chosenRow(int32_t row, uint8_t old, int last)
{
    int value = (row >= 0 && row <= last) ? row : old;
    return static_cast<uint8_t>(value > last ? last : value);
}

void storeEditorChoice(PanelItem& item, const EditorChoice& c)
{
    item.isRatio = c.ratio ? 1 : 0;
    item.period = !c.nextPeriod ? 0 : (c.ifAvailable ? 2 : 1);
    item.currency = chosenRow(c.currencyRow, item.currency, VOK_ITEM_AT(currency).high);
    item.currency2 = chosenRow(c.currency2Row, item.currency2, VOK_ITEM_AT(currency2).high);
    item.itemFlags = 0;
    if (c.arrow) item.itemFlags |= ShowArrow;
    if (c.difference) item.itemFlags |= ShowDifference;
    item.digits = chosenRow(c.digitsRow, item.digits, VOK_ITEM_AT(digits).high);
    item.useDefaultColour = c.defaultColour ? 1 : 0;
    item.colour = c.colour;
}

bool parseLimit(const char16_t* text, bool& present, float& value)
{
    char narrow[LimitTextUnits + 1];
    if (!narrowAscii(text, narrow, LimitTextUnits)) return false;
    const char* at = narrow;
    while (isBlank(*at)) ++at;
    present = *at != 0;
    if (!present) return true;
    const char* end = at;
    double read = readDecimal(at, &end);
    while (isBlank(*end)) ++end;
    if (end == at || *end != 0 || !(read >= -FLT_MAX && read <= FLT_MAX)) return false;
    value = static_cast<float>(read);
    return true;
}

void limitText(float value, bool comma, char16_t* out, size_t capacity)
{
    size_t length = formatFixed(out, capacity, double(value), 4, comma);
    while (length > 0 && out[length - 1] == u'0') out[--length] = 0;
    if (length > 0 && (out[length - 1] == u'.' || out[length - 1] == u',')) out[--length] = 0;
}

// One field into its flag and value; false for text that is no number.
static bool readLimitField(const char16_t* text, uint8_t flag, ItemLimits& l)
{
    bool present = false;
    float value = 0.0f;
    if (!parseLimit(text ? text : u"", present, value)) return false;
    l.flags = present ? uint8_t(l.flags | flag) : uint8_t(l.flags & ~flag);
    (flag == LimitUpper ? l.upper : l.lower) = present ? value : 0.0f;
    return true;
}

int storeLimitsChoice(ItemLimits& l, const LimitsChoice& c)
{
    ItemLimits chosen = l;
    if (!readLimitField(c.upper, LimitUpper, chosen)) return 1;
    if (!readLimitField(c.lower, LimitLower, chosen)) return 2;
    chosen.flags = c.percent ? uint8_t(chosen.flags | PercentDifference) : uint8_t(chosen.flags & ~PercentDifference);
    const uint8_t bounds = LimitUpper | LimitLower;
    if ((chosen.flags & bounds) != (l.flags & bounds) || chosen.upper != l.upper || chosen.lower != l.lower)
        chosen.alert = AlertInside;
    l = chosen;
    return 0;
}

// --- The update and misc pages --------------------------------------------------------

static bool within(uint32_t raw, int32_t low, int32_t high)
{
    int32_t value = static_cast<int32_t>(raw);
    return value >= low && value <= high;
}

// Within the field's range in the settings table.
static bool within(uint32_t raw, const SettingsField& f) { return within(raw, f.low, f.high); }

void readUpdatePage(Settings& s, const UpdatePageInput& in)
{
    uint8_t flags = 0;
    if (in.updateEvery) flags |= UpdateEvery;
    if (in.onlyIfStale) flags |= OnlyIfStale;
    if (in.updateDaily) flags |= UpdateDaily;
    if (in.establishConnection) flags |= EstablishConnection;
    if (in.updateOnConnect) flags |= UpdateOnConnect;
    if (in.updateOnPublication) flags |= UpdateOnPublication;
    // A download takes the proxy and the flags under the same lock.
    lockHistory();
    s.updateFlags = flags;
    if (within(in.interval, VOK_SETTING_AT(updateInterval))) s.updateInterval = static_cast<int32_t>(in.interval);
    if (within(in.hour, VOK_SETTING_AT(dailyHour))) s.dailyHour = static_cast<uint8_t>(in.hour);
    if (within(in.minute, VOK_SETTING_AT(dailyMinute))) s.dailyMinute = static_cast<uint8_t>(in.minute);
    s.useProxy = in.useProxy ? 1 : 0;
    copy16(s.proxy, ProxyReadUnits, in.proxy ? in.proxy : u"");
    unlockHistory();
}

void readMiscPage(Settings& s, const MiscPageInput& in)
{
    s.commaFlags = 0;
    // Any count above 0 is taken, and shown as at most the table's highest.
    constexpr const SettingsField& visible = VOK_SETTING_AT(visibleItems);
    if (within(in.visibleItems, visible.low, AnyInt32High))
        s.visibleItems = static_cast<uint8_t>(in.visibleItems > uint32_t(visible.high) ? visible.high : in.visibleItems);
    if (within(in.fontHeight, VOK_SETTING_AT(panelFont.lfHeight))) s.panelFont.lfHeight = static_cast<int32_t>(in.fontHeight);
    s.panelFont.lfWeight = in.bold ? 700 : 400;
    s.centerItems = in.centerItems ? 1 : 0;
    s.filledArrows = in.filledArrows ? 1 : 0;
    if (in.commaOnPanel) s.commaFlags |= CommaOnPanel;
    if (in.commaOnCopy) s.commaFlags |= CommaOnCopy;
    if (in.commaInHistory) s.commaFlags |= CommaInHistory;
    if (within(uint32_t(in.historyDigitsRow), VOK_SETTING_AT(historyDigits))) s.historyDigits = in.historyDigitsRow;
    // The page takes more than 3 days, the record holds up to its highest.
    if (within(in.historyLength, 4, VOK_SETTING_AT(historyLength).high)) s.historyLength = static_cast<int32_t>(in.historyLength);
}
