// The settings record's fields, each described once: its name, where it lies, its
// type and the values it holds. Loading brings damaged values back from it, the
// options pages take their bounds from it where they are the same, and vokfiles
// reads and writes fields by its names.
#pragma once
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>
#include <utility>

#include "data/settings.h"

enum class FieldKind : uint8_t { U8, I8, U16, I32, U32, F64, Text16 };

// What loading does with a value outside the field's range: nothing (only the
// editors keep to it), bring it to the nearer end, or put the low end back.
enum class OnLoad : uint8_t { Keep, Clamp, ResetToLow };

struct SettingsField {
    const char* name;
    uint16_t offset;  // in Settings; for the item fields, in PanelItem
    FieldKind kind;
    uint8_t count;    // list length; for Text16 the units of its place, NUL included
    int32_t low, high;
    OnLoad onLoad;
};

template <typename T>
constexpr FieldKind fieldKindOf()
{
    using U = std::remove_all_extents_t<T>;
    static_assert(std::is_same_v<U, uint8_t> || std::is_same_v<U, int8_t> || std::is_same_v<U, uint16_t> ||
                      std::is_same_v<U, int32_t> || std::is_same_v<U, uint32_t> || std::is_same_v<U, double> ||
                      std::is_same_v<U, char16_t>,
                  "a settings field of a type the table does not know");
    return std::is_same_v<U, uint8_t>    ? FieldKind::U8
           : std::is_same_v<U, int8_t>   ? FieldKind::I8
           : std::is_same_v<U, uint16_t> ? FieldKind::U16
           : std::is_same_v<U, int32_t>  ? FieldKind::I32
           : std::is_same_v<U, uint32_t> ? FieldKind::U32
           : std::is_same_v<U, double>   ? FieldKind::F64
                                         : FieldKind::Text16;
}

constexpr size_t fieldUnitSize(FieldKind kind)
{
    return kind == FieldKind::U8 || kind == FieldKind::I8         ? 1
           : kind == FieldKind::U16 || kind == FieldKind::Text16  ? 2
           : kind == FieldKind::F64                               ? 8
                                                                  : 4;
}

// Type, place and list length all come from the record itself.
#define VOK_FIELD(Record, member, low, high, onLoad)                                                         \
    SettingsField{#member, uint16_t(offsetof(Record, member)),                                               \
                  fieldKindOf<decltype(std::declval<Record&>().member)>(),                                  \
                  uint8_t(sizeof(std::declval<Record&>().member) /                                           \
                          fieldUnitSize(fieldKindOf<decltype(std::declval<Record&>().member)>())),          \
                  low, high, OnLoad::onLoad}
#define VOK_SETTING(member, low, high, onLoad) VOK_FIELD(Settings, member, low, high, onLoad)
#define VOK_ITEM(member, low, high, onLoad) VOK_FIELD(PanelItem, member, low, high, onLoad)

constexpr int32_t AnyInt32Low = INT32_MIN, AnyInt32High = INT32_MAX;

// In record order; `items` has a table of its own below.
inline constexpr SettingsField settingsFields[] = {
    VOK_SETTING(updateFlags, 0, 63, Keep),
    VOK_SETTING(updateInterval, 1, AnyInt32High, Keep),
    VOK_SETTING(dailyHour, 0, 23, Keep),
    VOK_SETTING(dailyMinute, 0, 59, Keep),
    // The panel's height and the host's item height follow from it.
    VOK_SETTING(panelFont.lfHeight, MinFontHeight, MaxFontHeight, Clamp),
    VOK_SETTING(panelFont.lfWidth, AnyInt32Low, AnyInt32High, Keep),
    VOK_SETTING(panelFont.lfEscapement, AnyInt32Low, AnyInt32High, Keep),
    VOK_SETTING(panelFont.lfOrientation, AnyInt32Low, AnyInt32High, Keep),
    VOK_SETTING(panelFont.lfWeight, 0, 1000, Keep),
    VOK_SETTING(panelFont.lfItalic, 0, 255, Keep),
    VOK_SETTING(panelFont.lfUnderline, 0, 255, Keep),
    VOK_SETTING(panelFont.lfStrikeOut, 0, 255, Keep),
    VOK_SETTING(panelFont.lfCharSet, 0, 255, Keep),
    VOK_SETTING(panelFont.lfOutPrecision, 0, 255, Keep),
    VOK_SETTING(panelFont.lfClipPrecision, 0, 255, Keep),
    VOK_SETTING(panelFont.lfQuality, 0, 255, Keep),
    VOK_SETTING(panelFont.lfPitchAndFamily, 0, 255, Keep),
    VOK_SETTING(panelFont.lfFaceName, 0, 0, Keep),
    VOK_SETTING(commaFlags, 0, 7, Keep),
    VOK_SETTING(filledArrows, 0, 1, Keep),
    VOK_SETTING(centerItems, 0, 1, Keep),
    VOK_SETTING(historyLength, 1, MaxHistoryLength, Clamp),
    VOK_SETTING(historyDigits, 0, 4, Keep),
    VOK_SETTING(historyColumnWidths, 0, 65535, Keep),
    VOK_SETTING(itemColumnWidths, 0, 65535, Keep),
    VOK_SETTING(converterAmount, 0, 0, Keep),
    VOK_SETTING(converterFrom, 0, ConverterChoices - 1, Clamp),
    VOK_SETTING(converterTo, 0, ConverterChoices - 1, Clamp),
    // There are never more than 15 items to show.
    VOK_SETTING(visibleItems, 1, MaxItems, Keep),
    VOK_SETTING(chartCurrency, 0, CurrencyCount - 1, ResetToLow),
    VOK_SETTING(itemCount, 0, MaxItems, Clamp),
    VOK_SETTING(useProxy, 0, 1, Keep),
    VOK_SETTING(proxy, 0, 0, Keep),
};

// The fields of each of the 16 slots of `items`, in record order.
inline constexpr SettingsField itemFields[] = {
    VOK_ITEM(isRatio, 0, 1, Keep),
    VOK_ITEM(period, 0, 2, Keep),
    VOK_ITEM(currency, 0, CurrencyCount - 1, Clamp),
    VOK_ITEM(currency2, 0, CurrencyCount - 1, Clamp),
    VOK_ITEM(useDefaultColour, 0, 1, Keep),
    VOK_ITEM(colour, 0, 0xFFFFFF, Keep),
    VOK_ITEM(itemFlags, 0, 3, Keep),
    VOK_ITEM(digits, 0, 4, Clamp),
};
#undef VOK_SETTING
#undef VOK_ITEM
#undef VOK_FIELD

constexpr size_t fieldBytes(const SettingsField& f) { return size_t(f.count) * fieldUnitSize(f.kind); }

// The index of the field of a table that starts at offset, N when there is none.
template <size_t N>
constexpr size_t fieldIndexAt(const SettingsField (&table)[N], size_t offset)
{
    for (size_t i = 0; i < N; ++i)
        if (table[i].offset == offset) return i;
    return N;
}
// The options pages find their bounds by offsetof, at build time: a bound naming a
// field the table lacks stops the build.
template <size_t Offset>
struct SettingAt {
    static constexpr size_t index = fieldIndexAt(settingsFields, Offset);
    static_assert(index < std::size(settingsFields), "the settings table has no field here");
};
template <size_t Offset>
struct ItemFieldAt {
    static constexpr size_t index = fieldIndexAt(itemFields, Offset);
    static_assert(index < std::size(itemFields), "the item table has no field here");
};
#define VOK_SETTING_AT(member) settingsFields[SettingAt<offsetof(Settings, member)>::index]
#define VOK_ITEM_AT(member) itemFields[ItemFieldAt<offsetof(PanelItem, member)>::index]
