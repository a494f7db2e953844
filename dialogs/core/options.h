// The options dialog's portable half: the working copy of the panel item list and
// what its buttons do to it, the list's row texts, the item editor's result, and
// the update and misc pages read back into Settings.
//
// The Win32 side reads the controls into the plain records below and hands them
// over; nothing here knows a window.
#pragma once
#include <cstddef>
#include <cstdint>

#include "data/limits.h"
#include "data/settings.h"

// The item list the options dialog edits: Settings' itemCount and items, same layout,
// copied in when the dialog opens and back whole on OK.
// Each item's limits travel with it through the list's buttons.
struct WorkingItems {
    int32_t count;
    PanelItem items[ItemSlots];
    ItemLimits limits[ItemSlots];
};
constexpr size_t WorkingItemsRecordBytes = offsetof(Settings, magic) - offsetof(Settings, itemCount);
static_assert(offsetof(WorkingItems, limits) == WorkingItemsRecordBytes,
              "WorkingItems starts as Settings' itemCount and items");

extern WorkingItems workingItems;

// Copies the list out of s, and the limits (none when null); a count outside
// 0..15 (a damaged record) comes in range.
void loadWorkingItems(WorkingItems& w, const Settings& s, const ItemLimits* limits = nullptr);
// Copies w's count and items whole over s.itemCount and s.items.
void storeWorkingItems(Settings& s, const WorkingItems& w);

// The list buttons. Each returns false and changes nothing when it does not apply
// (a row outside the list, Up on the first row, Down on the last).
bool canAddItem(const WorkingItems& w);
// Slot `slot` becomes a new item: all zero, then two digits and the default colour.
void startNewItem(WorkingItems& w, int slot);
bool moveItemUp(WorkingItems& w, int row);
bool moveItemDown(WorkingItems& w, int row);
bool deleteItem(WorkingItems& w, int row);

// Row texts of the item list: column 0 what the item shows, any other column its
// period. A currency outside the table shows as the panel shows it (the last row).
void itemRowText(const PanelItem& item, int column, char16_t* out, size_t capacity);
// The same for row `row` of w; empty for a row outside the list.
void workingRowText(const WorkingItems& w, int row, int column, char16_t* out, size_t capacity);

// The item editor's controls at OK. A row is the list's selection, -1 for none.
struct EditorChoice {
    bool ratio;          // IDC_EDITOR_RATIO
    bool nextPeriod;     // IDC_EDITOR_NEXT_PERIOD
    bool ifAvailable;    // IDC_EDITOR_IF_AVAILABLE, counts only with nextPeriod
    int32_t currencyRow;   // IDC_EDITOR_CURRENCY
    int32_t currency2Row;  // IDC_EDITOR_CURRENCY2, read also when the item is not a ratio
    bool arrow;          // IDC_EDITOR_ARROW
    bool difference;     // IDC_EDITOR_DIFFERENCE
    int32_t digitsRow;   // IDC_EDITOR_DIGITS
    bool defaultColour;  // IDC_EDITOR_DEFAULT_COLOUR
    uint32_t colour;     // the colour chosen so far, stored whether or not it is used
};
// Writes the editor's choice into item. A list without a valid row keeps the item's
// value (brought into range), so nothing outside the lists is ever stored.
void storeEditorChoice(PanelItem& item, const EditorChoice& c);

// The limit fields take this many characters and are read with a buffer of one more.
constexpr int LimitTextUnits = 24;
// The editor's limit fields: empty (blanks only) is no limit; a number is read as
// the converter reads amounts, with a point or a comma. False for text that is no
// finite number (then value is untouched).
bool parseLimit(const char16_t* text, bool& present, float& value);
// A limit as its field shows it: up to 4 digits after the point, trailing zeros
// left out, with a comma when comma is set.
void limitText(float value, bool comma, char16_t* out, size_t capacity);
// The editor's limit fields and percent box at OK, into l: 0 when stored, else
// the field (1 upper, 2 lower) whose text is no number, and l is untouched. A
// limit that changes puts the item back inside (its crossing is new).
struct LimitsChoice {
    const char16_t* upper;  // IDC_EDITOR_UPPER
    const char16_t* lower;  // IDC_EDITOR_LOWER
    bool percent;           // IDC_EDITOR_PERCENT
};
int storeLimitsChoice(ItemLimits& l, const LimitsChoice& c);

// Number fields come as the unsigned value the platform reads from them (an empty
// field reads 0) and are judged as signed 32-bit numbers.
constexpr int ProxyReadUnits = 64;  // the proxy field is read with this buffer

struct UpdatePageInput {
    bool updateEvery;          // IDC_UPDATE_EVERY
    uint32_t interval;         // IDC_UPDATE_INTERVAL
    bool onlyIfStale;          // IDC_ONLY_IF_STALE, enabled or not
    bool updateDaily;          // IDC_UPDATE_DAILY
    uint32_t hour;             // IDC_DAILY_HOUR
    uint32_t minute;           // IDC_DAILY_MINUTE
    bool useProxy;             // IDC_USE_PROXY
    const char16_t* proxy;     // IDC_PROXY, NUL-terminated
    bool establishConnection;  // IDC_ESTABLISH_CONNECTION
    bool updateOnConnect;      // IDC_UPDATE_ON_CONNECT, the hidden box
    bool updateOnPublication;  // IDC_UPDATE_ON_PUBLICATION
};

struct MiscPageInput {
    uint32_t visibleItems;   // IDC_VISIBLE_ITEMS
    uint32_t fontHeight;     // IDC_FONT_HEIGHT
    bool bold;               // IDC_BOLD
    bool centerItems;        // IDC_CENTER_ITEMS
    bool filledArrows;       // IDC_FILLED_ARROWS
    bool commaOnPanel;       // IDC_COMMA_ON_PANEL
    bool commaOnCopy;        // IDC_COMMA_ON_COPY
    bool commaInHistory;     // IDC_COMMA_IN_HISTORY
    int32_t historyDigitsRow;  // IDC_HISTORY_DIGITS, -1 for none
    uint32_t historyLength;  // IDC_HISTORY_LENGTH
};

// OK's reading of the pages: updateFlags and commaFlags are rebuilt from their boxes;
// a number outside its bounds leaves its field as it was.
void readUpdatePage(Settings& s, const UpdatePageInput& in);
void readMiscPage(Settings& s, const MiscPageInput& in);
