// Drawing the panel line into the back buffer: icon frame, items, arrows.
#include <windows.h>

#include "data/limits.h"
#include "data/settings.h"
#include "dialogs/options.h"
#include "platform/module.h"
#include "platform/shell.h"
#include "plugin/core/layout.h"
#include "plugin/panel.h"
#include "update/schedule.h"

static_assert(sizeof(PanelPoint) == sizeof(POINT), "panel points are POINTs");

static int measureInDC(const char16_t* text, int length, void* dc)
{
    SIZE size{0, 0};
    GetTextExtentExPointW(static_cast<HDC>(dc), reinterpret_cast<const wchar_t*>(text), length, 0, nullptr, nullptr,
                          &size);
    return size.cx;
}

static void drawTrendArrow(HDC memoryDC, int panelHeight, int a, bool up)
{
    HPEN pen = CreatePen(PS_SOLID, 1, up ? RGB(0, 192, 0) : RGB(192, 0, 0));
    HGDIOBJ previous = SelectObject(memoryDC, pen);
    if (settings.filledArrows) {
        PanelPoint fill[6];
        arrowFill(a, panelHeight, up, fill);
        Polyline(memoryDC, reinterpret_cast<POINT*>(fill), 6);
        HPEN dark = CreatePen(PS_SOLID, 1, up ? RGB(0, 96, 0) : RGB(96, 0, 0));
        SelectObject(memoryDC, dark);
        DeleteObject(pen);
        pen = dark;
    }
    PanelPoint outline[8];
    arrowOutline(a, panelHeight, up, outline);
    Polyline(memoryDC, reinterpret_cast<POINT*>(outline), 8);
    SelectObject(memoryDC, previous);
    DeleteObject(pen);
}

void drawPanel(const PanelWindow& panel)
{
    HDC memoryDC = panel.memoryDC;
    int panelHeight = panel.height;
    if (iconStrip) {
        int frame = iconState();
        TransparentImage(memoryDC, 0, (panelHeight - iconSize) / 2, iconSize, iconSize, iconStrip, frame * iconSize,
                         0, iconSize, iconSize, RGB(1, 2, 3));
    }
    LOGFONTW font;
    static_assert(sizeof font == sizeof settings.panelFont, "the panel font is a LOGFONTW");
    memcpy(&font, &settings.panelFont, sizeof font);
    HFONT panelFont = CreateFontIndirectW(&font);
    HGDIOBJ previousFont = SelectObject(memoryDC, panelFont);
    SIZE separator{0, 0};
    GetTextExtentExPointW(memoryDC, L"   ", 3, 0, nullptr, nullptr, &separator);

    chooseVisibleSlots(settings);
    const LayoutSource source{&redrawFlag, readPanelDays, itemLimits, optionsTab != nullptr};
    int offset = layOutWhenFlagged(source, settings, TextMeasurer{measureInDC, memoryDC}, separator.cx, iconSize,
                                   panel.width);
    for (int i = 0; i <= lastSlot; ++i) {
        ItemSlot& slot = slots[i];
        slot.x += offset;
        const PanelItem& item = settings.items[slot.itemIndex];
        COLORREF colour = item.useDefaultColour ? panel.hostTextColour : item.colour;
        if (slot.alert != AlertInside) {
            // An item across its limit: black on amber, whatever the host's colours,
            // and unlike either arrow.
            RECT behind = {slot.x - 2, 0, slot.x + slot.width + 2, panelHeight};
            HBRUSH amber = CreateSolidBrush(AlertBackground);
            FillRect(memoryDC, &behind, amber);
            DeleteObject(amber);
            colour = RGB(0, 0, 0);
        }
        SetTextColor(memoryDC, colour);
        int length = 0;
        while (length < SlotTextUnits && slot.text[length]) ++length;
        ExtTextOutW(memoryDC, slot.x, 1, 0, nullptr, reinterpret_cast<const wchar_t*>(slot.text), length, nullptr);
        if (slot.hasArrow) drawTrendArrow(memoryDC, panelHeight, slot.x + slot.width - ArrowWidth, slot.arrowUp != 0);
    }
    SelectObject(memoryDC, previousFont);
    DeleteObject(panelFont);
}
