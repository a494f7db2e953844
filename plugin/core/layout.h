// Placing the visible items on the panel line, and the trend arrow's shape.
#pragma once
#include <atomic>
#include <cstdint>

#include "plugin/core/alerts.h"
#include "plugin/core/itemtext.h"

constexpr int SlotCount = 15;

extern ItemSlot slots[SlotCount];
extern int32_t firstVisible;
extern int32_t lastSlot;
extern int32_t dragThreshold;

// Steps 4 and 5 of every paint: bring firstVisible back into the list and work
// out lastSlot (-1 when nothing is visible).
void chooseVisibleSlots(const Settings& s);

struct LayoutInput {
    const Settings* settings;
    const DayRates* previous;
    const DayRates* current;
    const DayRates* next;
    TextMeasurer measurer;
    int separatorWidth;
    int iconSize;
    int panelWidth;
    const ItemLimits* limits;  // each item's limits (its percent option too); none when null
};

// Composes and places slots 0..lastSlot; returns the row's offset (added to
// every slot's x when it is drawn) and sets dragThreshold.
int layoutSlots(const LayoutInput& in);

// Where a layout's data come from, handed in by the panel: the redraw request, and
// the days it draws (the shown day's rates and the stored days around it).
struct LayoutSource {
    std::atomic<uint8_t>* redraw;
    void (*readDays)(DayRates& previous, DayRates& current, DayRates& next);
    ItemLimits* limits;  // moved on to the days' values at each layout; none when null
    // The states wait while the options dialog edits a copy of the limits (its OK
    // writes that copy back whole): the layout then only draws them.
    bool statesWait;
};

// The alert states the layouts moved since the panel last took them: it raises
// or withdraws their notifications once the paint is done, and keeps the states.
extern AlertCrossing pendingCrossings[ItemSlots];
extern int pendingCrossingCount;

// A paint's layout step: when the redraw request is set, clears it first and only
// then reads the days and places the slots, so an update that sets it meanwhile
// brings one more layout. Returns the row's offset, 0 when no layout was due.
int layOutWhenFlagged(const LayoutSource& source, const Settings& s, TextMeasurer measurer, int separatorWidth,
                      int iconSize, int panelWidth);

struct PanelPoint {
    int32_t x, y;
};

// The arrow outline (8 points, closed) and its fill strokes (6 points) at
// reference x a in a panel of height h; a down arrow is the up arrow mirrored.
void arrowOutline(int a, int h, bool up, PanelPoint out[8]);
void arrowFill(int a, int h, bool up, PanelPoint out[6]);
