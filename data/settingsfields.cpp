#include "data/settingsfields.h"

#include <cstring>

namespace {

template <size_t N>
constexpr size_t tableBytes(const SettingsField (&table)[N])
{
    size_t bytes = 0, end = 0;
    for (const SettingsField& f : table) {
        if (f.offset < end) return 0;  // out of record order, or overlapping
        end = f.offset + fieldBytes(f);
        bytes += fieldBytes(f);
    }
    return bytes;
}

// Every byte of the record is a field of the tables, a reserved byte or a marker:
// a field added to the record and not to its table stops the build here.
static_assert(tableBytes(itemFields) + sizeof(PanelItem::reserved0) + sizeof(PanelItem::reserved1) ==
                  sizeof(PanelItem),
              "every PanelItem field is in itemFields");
static_assert(tableBytes(settingsFields) + sizeof(Settings::items) + sizeof(Settings::reserved0) +
                      sizeof(Settings::reserved1) + sizeof(Settings::reserved2) + sizeof(Settings::reserved3) +
                      sizeof(Settings::magic) + sizeof(Settings::reserved5) + sizeof(Settings::magic2) +
                      sizeof(Settings::reserved6) ==
                  sizeof(Settings),
              "every Settings field is in settingsFields");

int64_t readUnit(const unsigned char* at, FieldKind kind)
{
    switch (kind) {
    case FieldKind::U8: return *at;
    case FieldKind::I8: return int8_t(*at);
    case FieldKind::U16: { uint16_t v; std::memcpy(&v, at, 2); return v; }
    case FieldKind::I32: { int32_t v; std::memcpy(&v, at, 4); return v; }
    case FieldKind::U32: { uint32_t v; std::memcpy(&v, at, 4); return v; }
    case FieldKind::F64: case FieldKind::Text16: break;
    }
    return 0;
}

// value is within the field's type: it is one of the field's own bounds.
void writeUnit(unsigned char* at, FieldKind kind, int32_t value)
{
    switch (kind) {
    case FieldKind::U8: case FieldKind::I8: *at = uint8_t(value); return;
    case FieldKind::U16: { uint16_t v = uint16_t(value); std::memcpy(at, &v, 2); return; }
    case FieldKind::I32: case FieldKind::U32: std::memcpy(at, &value, 4); return;
    case FieldKind::F64: case FieldKind::Text16: return;
    }
}

void repairField(unsigned char* record, const SettingsField& f)
{
    unsigned char* at = record + f.offset;
    if (f.kind == FieldKind::Text16) {
        std::memset(at + fieldBytes(f) - 2, 0, 2);
        return;
    }
    if (f.onLoad == OnLoad::Keep || f.kind == FieldKind::F64) return;
    for (size_t i = 0; i < f.count; ++i, at += fieldUnitSize(f.kind)) {
        int64_t v = readUnit(at, f.kind);
        if (v >= f.low && v <= f.high) continue;
        writeUnit(at, f.kind, f.onLoad == OnLoad::ResetToLow || v < f.low ? f.low : f.high);
    }
}

}  // namespace

// Loading's repair, from the table: Clamp and ResetToLow fields into range (items in
// all 16 slots), every text NUL-terminated in its place.
void clampSettings(Settings& s)
{
    auto* record = reinterpret_cast<unsigned char*>(&s);
    for (const SettingsField& f : settingsFields) repairField(record, f);
    for (PanelItem& item : s.items)
        for (const SettingsField& f : itemFields) repairField(reinterpret_cast<unsigned char*>(&item), f);
}
