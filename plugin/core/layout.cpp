#include "plugin/core/layout.h"

#include <cstdint>

ItemSlot slots[SlotCount];
int32_t firstVisible;
int32_t lastSlot;
int32_t dragThreshold;
AlertCrossing pendingCrossings[ItemSlots];
int pendingCrossingCount;

void chooseVisibleSlots(const Settings& s)
{
    int32_t count = s.itemCount < 0 ? 0 : (s.itemCount > SlotCount ? SlotCount : s.itemCount);
    if (firstVisible >= count || firstVisible < 0) firstVisible = 0;
    int32_t end = firstVisible + s.visibleItems;
    if (end > count) end = count;
    lastSlot = end - 1 - firstVisible;
}

int layoutSlots(const LayoutInput& in)
{
    const Settings& s = *in.settings;
    int total = 0;
    for (int i = 0; i <= lastSlot; ++i) {
        ItemSlot& slot = slots[i];
        const ItemLimits* limits = in.limits ? &in.limits[firstVisible + i] : nullptr;
        bool percent = limits && (limits->flags & PercentDifference);
        composeItem(s.items[firstVisible + i], slot, *in.previous, *in.current, *in.next, s.commaFlags, in.measurer,
                    percent);
        slot.alert = limits ? alertSideOf(*limits, slot.value) : uint8_t(AlertInside);
        slot.x = total;
        total += slot.width;
        slot.itemIndex = firstVisible + i;
        if (i < lastSlot) total += in.separatorWidth;
    }
    int offset;
    if (s.centerItems) {
        int half = (in.panelWidth - in.iconSize - total - 1) / 2;
        offset = in.iconSize + 1 + (half < 0 ? 0 : half);
    } else {
        offset = static_cast<int>((in.iconSize + 1) * 1.5);
    }
    // Nothing visible: nothing to average, and no drag may scroll.
    dragThreshold = lastSlot >= 0 ? (total / (lastSlot + 1)) / 2 : INT32_MAX;
    return offset;
}

int layOutWhenFlagged(const LayoutSource& source, const Settings& s, TextMeasurer measurer, int separatorWidth,
                      int iconSize, int panelWidth)
{
    if (!source.redraw->exchange(0)) return 0;
    DayRates previous, current, next;
    source.readDays(previous, current, next);
    if (source.limits && !source.statesWait) {
        AlertCrossing found[ItemSlots];
        int n = advanceAlerts(s, source.limits, previous, current, next, found);
        for (int i = 0; i < n && pendingCrossingCount < ItemSlots; ++i)
            pendingCrossings[pendingCrossingCount++] = found[i];
    }
    LayoutInput in{&s, &previous, &current, &next, measurer, separatorWidth, iconSize, panelWidth, source.limits};
    return layoutSlots(in);
}

static void mirror(int h, bool up, PanelPoint* points, int count)
{
    if (up) return;
    for (int i = 0; i < count; ++i) points[i].y = h - points[i].y;
}

void arrowOutline(int a, int h, bool up, PanelPoint out[8])
{
    const PanelPoint points[8] = {{a + 4, 6}, {a + 1, 6},     {a + 5, 2},     {a + 9, 6},
                                  {a + 6, 6}, {a + 6, h - 2}, {a + 4, h - 2}, {a + 4, 6}};
    for (int i = 0; i < 8; ++i) out[i] = points[i];
    mirror(h, up, out, 8);
}

void arrowFill(int a, int h, bool up, PanelPoint out[6])
{
    const PanelPoint points[6] = {{a + 3, 5}, {a + 7, 5}, {a + 6, 4}, {a + 4, 4}, {a + 5, 3}, {a + 5, h - 2}};
    for (int i = 0; i < 6; ++i) out[i] = points[i];
    mirror(h, up, out, 6);
}
