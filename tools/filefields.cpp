// The settings record's fields by name and a history day as text (see filefields.h).
#include "tools/filefields.h"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "data/settingsfields.h"
#include "data/numbertext.h"
#include "platform/text16.h"

namespace {

using Kind = FieldKind;
using Field = SettingsField;

// The field `name` names, and where its bytes start in s; null when there is none.
// Items are "items[N].field", N from 0 to 15.
const Field* findField(const char* name, size_t& at)
{
    for (const Field& f : settingsFields) {
        if (std::strcmp(f.name, name) == 0) {
            at = f.offset;
            return &f;
        }
    }
    const char prefix[] = "items[";
    if (std::strncmp(name, prefix, sizeof prefix - 1) != 0) return nullptr;
    const char* p = name + sizeof prefix - 1;
    if (*p < '0' || *p > '9') return nullptr;
    int slot = 0;
    while (*p >= '0' && *p <= '9' && slot < ItemSlots) slot = slot * 10 + (*p++ - '0');
    if (slot >= ItemSlots || std::strncmp(p, "].", 2) != 0) return nullptr;
    p += 2;
    for (const Field& f : itemFields) {
        if (std::strcmp(f.name, p) == 0) {
            at = offsetof(Settings, items) + size_t(slot) * sizeof(PanelItem) + f.offset;
            return &f;
        }
    }
    return nullptr;
}

// One number of the field at bytes, as text.
int formatNumber(char* out, size_t capacity, Kind kind, const unsigned char* bytes)
{
    switch (kind) {
    case Kind::U8: return std::snprintf(out, capacity, "%u", unsigned(bytes[0]));
    case Kind::I8: return std::snprintf(out, capacity, "%d", int(int8_t(bytes[0])));
    case Kind::U16: {
        uint16_t v;
        std::memcpy(&v, bytes, 2);
        return std::snprintf(out, capacity, "%u", unsigned(v));
    }
    case Kind::I32: {
        int32_t v;
        std::memcpy(&v, bytes, 4);
        return std::snprintf(out, capacity, "%" PRId32, v);
    }
    case Kind::U32: {
        uint32_t v;
        std::memcpy(&v, bytes, 4);
        return std::snprintf(out, capacity, "0x%06" PRIx32, v);
    }
    case Kind::F64: {
        double v;
        std::memcpy(&v, bytes, 8);
        return std::snprintf(out, capacity, "%.17g", v);
    }
    case Kind::Text16: break;
    }
    return -1;
}

// Reads one number for the field from text up to its end or a comma. False when
// the text is no number or the number does not fit the field's type.
bool parseNumber(const char* text, const char** end, Kind kind, unsigned char* bytes)
{
    errno = 0;
    char* stop = nullptr;
    if (kind == Kind::F64) {
        // A point or a comma before the fraction, whatever the locale.
        const char* after = text;
        double v = readDecimal(text, &after);
        if (after == text || !std::isfinite(v)) return false;
        std::memcpy(bytes, &v, 8);
        *end = after;
        return true;
    }
    long long v = std::strtoll(text, &stop, 0);
    if (stop == text || errno) return false;
    *end = stop;
    switch (kind) {
    case Kind::U8:
        if (v < 0 || v > 255) return false;
        bytes[0] = uint8_t(v);
        return true;
    case Kind::I8:
        if (v < -128 || v > 127) return false;
        bytes[0] = uint8_t(int8_t(v));
        return true;
    case Kind::U16: {
        if (v < 0 || v > 65535) return false;
        uint16_t u = uint16_t(v);
        std::memcpy(bytes, &u, 2);
        return true;
    }
    case Kind::I32: {
        if (v < INT32_MIN || v > INT32_MAX) return false;
        int32_t i = int32_t(v);
        std::memcpy(bytes, &i, 4);
        return true;
    }
    case Kind::U32: {
        if (v < 0 || v > int64_t(UINT32_MAX)) return false;
        uint32_t u = uint32_t(v);
        std::memcpy(bytes, &u, 4);
        return true;
    }
    case Kind::F64: case Kind::Text16: break;
    }
    return false;
}

}  // namespace

bool formatSettingsField(const Settings& s, const char* name, char* out, size_t capacity)
{
    size_t at = 0;
    const Field* f = findField(name, at);
    if (!f || capacity == 0) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&s) + at;
    if (f->kind == Kind::Text16) {
        char16_t text[65];
        std::memcpy(text, bytes, size_t(f->count) * 2);
        text[f->count - 1] = 0;
        return encodeUtf8(out, capacity, text);
    }
    size_t used = 0;
    for (int i = 0; i < f->count; ++i) {
        if (i) {
            if (used + 1 >= capacity) return false;
            out[used++] = ',';
        }
        int n = formatNumber(out + used, capacity - used, f->kind, bytes + size_t(i) * fieldUnitSize(f->kind));
        if (n < 0 || used + size_t(n) >= capacity) return false;
        used += size_t(n);
    }
    out[used] = 0;
    return true;
}

bool parseSettingsField(Settings& s, const char* name, const char* text)
{
    size_t at = 0;
    const Field* f = findField(name, at);
    if (!f) return false;
    unsigned char value[HistoryColumns * 8];
    size_t size = fieldBytes(*f);
    if (f->kind == Kind::Text16) {
        char16_t wide[65] = {};
        if (!decodeUtf8(wide, size_t(f->count), text)) return false;
        std::memcpy(value, wide, size);
    } else {
        const char* p = text;
        for (int i = 0; i < f->count; ++i) {
            if (i && *p++ != ',') return false;
            if (!parseNumber(p, &p, f->kind, value + size_t(i) * fieldUnitSize(f->kind))) return false;
        }
        if (*p) return false;
    }
    std::memcpy(reinterpret_cast<unsigned char*>(&s) + at, value, size);
    return true;
}

bool formatUpdateFlags(uint8_t flags, char* out, size_t capacity)
{
    static const char* const names[] = {"updateEvery",     "updateDaily",         "onlyIfStale",
                                        "updateOnConnect", "establishConnection", "updateOnPublication"};
    static_assert(UpdateOnConnect == 8 && UpdateOnPublication == 32, "the names follow the bits");
    if (capacity == 0) return false;
    size_t used = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (!(flags & (1u << bit))) continue;
        char unnamed[8];
        const char* name = bit < int(std::size(names)) ? names[bit] : unnamed;
        std::snprintf(unnamed, sizeof unnamed, "bit %d", bit);
        int n = std::snprintf(out + used, capacity - used, "%s%s", used ? ", " : "", name);
        if (n < 0 || used + size_t(n) >= capacity) return false;
        used += size_t(n);
    }
    int n = used ? 0 : std::snprintf(out, capacity, "none");
    return n >= 0 && size_t(n) < capacity;
}

void forEachSettingsField(const Settings& s, void (*visit)(const char* name, void* context), void* context)
{
    for (const Field& f : settingsFields) {
        visit(f.name, context);
        if (std::strcmp(f.name, "itemCount") != 0) continue;
        int count = s.itemCount < 0 ? 0 : s.itemCount > ItemSlots ? ItemSlots : s.itemCount;
        for (int slot = 0; slot < count; ++slot) {
            for (const Field& item : itemFields) {
                char name[48];
                std::snprintf(name, sizeof name, "items[%d].%s", slot, item.name);
                visit(name, context);
            }
        }
    }
}

bool formatHistoryDay(const DayRates& day, char* out, size_t capacity)
{
    int n = std::snprintf(out, capacity, "%02d.%02d.%04d", day.code.day, day.code.month, yearOf(day.code));
    if (n < 0 || size_t(n) >= capacity) return false;
    size_t used = size_t(n);
    for (int i = 0; i < CurrencyCount; ++i) {
        const RateEntry& r = day.rates[i];
        if (r.nominal == 0) continue;
        n = std::snprintf(out + used, capacity - used, "  %s %" PRId32 " %.4f", isoCode[i], r.nominal, double(r.rate));
        if (n < 0 || used + size_t(n) >= capacity) return false;
        used += size_t(n);
    }
    return true;
}
