// Each panel item's limits, its percent option and its alert state, in a file of
// their own beside the settings (vokCurrency.lim): the settings file keeps its
// 584 bytes, and builds that know no limits never look at this one.
//
// The file: an 8-byte header ("vokL", version 1, the record size 12, 16 records,
// a zero byte), then one ItemLimits per slot of the settings' items, in the same
// order. It is replaced whole. A missing, cut or damaged file means no limits.
#pragma once
#include <cstddef>
#include <cstdint>

#include "data/settings.h"

enum LimitFlags : uint8_t { LimitUpper = 1, LimitLower = 2, PercentDifference = 4 };
// Where the item's shown value stood at the last look: inside its limits, at or
// above the upper one, at or below the lower one.
enum AlertSide : uint8_t { AlertInside = 0, AlertAbove = 1, AlertBelow = 2 };

struct ItemLimits {
    uint8_t flags;        // LimitFlags
    uint8_t alert;        // AlertSide, kept so that a restart raises no second notification
    uint8_t reserved[2];  // zero
    float upper;          // meaningful with LimitUpper
    float lower;          // meaningful with LimitLower
};
static_assert(sizeof(ItemLimits) == 12, "a limits record is 12 bytes");
static_assert(offsetof(ItemLimits, alert) == 1, "alert state at 1");
static_assert(offsetof(ItemLimits, upper) == 4, "upper limit at 4");
static_assert(offsetof(ItemLimits, lower) == 8, "lower limit at 8");

constexpr size_t LimitsHeaderBytes = 8;
constexpr size_t LimitsFileBytes = LimitsHeaderBytes + ItemSlots * sizeof(ItemLimits);
static_assert(LimitsFileBytes == 200, "the limits file is 200 bytes");

extern ItemLimits itemLimits[ItemSlots];

// The file's image into out (every slot); false, and out all zero, for an image
// that is no limits file of this version. A limit that is not a finite number is
// dropped, an unknown flag or alert state cleared.
bool readLimitsImage(const unsigned char* image, long size, ItemLimits out[ItemSlots]);
void writeLimitsImage(unsigned char out[LimitsFileBytes], const ItemLimits in[ItemSlots]);

// Loads the file at path into itemLimits. No file, or a damaged one: no limits.
// A file that is there but could not be read keeps what memory holds and is read
// again before it is ever written (readLimitsIfUnread, from the ticks).
void loadLimits(const char16_t* path);
bool readLimitsIfUnread();
// Writes itemLimits to the file loaded; changedByUser marks the options dialog's
// OK (its limits then win over a file that could not be read yet). A failed write
// is tried again by saveLimitsIfUnsaved.
bool saveLimits(bool changedByUser);
bool saveLimitsIfUnsaved();
bool limitsFileHolds();
