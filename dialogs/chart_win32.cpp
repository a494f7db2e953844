// The history chart, drawn with GDI into the chart control's device context.
#include "dialogs/chart.h"

#include "dialogs/core/historytable.h"
#include "data/numbertext.h"
#include "platform/text16.h"

static void putText(HDC dc, int x, int y, const char16_t* text, int areaLeft, int areaRight)
{
    int length = int(length16(text, CellTextUnits * 2));
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text), length, &size);
    if (x + size.cx > areaRight) x = areaRight - size.cx;
    if (x < areaLeft) x = areaLeft;
    ExtTextOutW(dc, x, y, 0, nullptr, reinterpret_cast<const wchar_t*>(text), UINT(length), nullptr);
}

// "label value", the value as the table formats it.
static void valueText(char16_t* out, const char16_t* label, double value, int digits, bool comma)
{
    copy16(out, CellTextUnits * 2, label);
    size_t used = length16(out, CellTextUnits * 2);
    formatFixed(out + used, CellTextUnits * 2 - used, value, digits, comma);
}

static void mark(HDC dc, const ChartPoint& p, int radius, COLORREF colour, bool filled)
{
    HPEN pen = CreatePen(PS_SOLID, 2, colour);
    HBRUSH brush = filled ? CreateSolidBrush(colour) : nullptr;
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush ? static_cast<HGDIOBJ>(brush) : GetStockObject(NULL_BRUSH));
    Ellipse(dc, p.x - radius, p.y - radius, p.x + radius + 1, p.y + radius + 1);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    if (brush) DeleteObject(brush);
    DeleteObject(pen);
}

// The plot's rows: the chosen point, the highest value, the plot, the lowest, the dates.
static void plotRows(HDC dc, const RECT& area, int& line, int& plotTop, int& plotBottom)
{
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    line = metrics.tmHeight;
    plotTop = area.top + 2 * line + 6;
    plotBottom = area.bottom - 2 * line - 6;
    if (plotBottom < plotTop) plotBottom = plotTop;
}

void placeChart(HDC dc, const RECT& area, HFONT font, const ChartPlot& plot, ChartPoint* points)
{
    HGDIOBJ oldFont = SelectObject(dc, font);
    int line, plotTop, plotBottom;
    plotRows(dc, area, line, plotTop, plotBottom);
    placeChartPoints(plot, points, area.left + 6, plotTop, area.right - 6, plotBottom);
    SelectObject(dc, oldFont);
}

void drawChart(HDC dc, const RECT& area, HFONT font, const ChartPlot& plot, ChartPoint* points, int32_t chosen,
               int digits, bool comma)
{
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    FrameRect(dc, &area, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    int line, plotTop, plotBottom, left = area.left + 3, right = area.right - 3;
    plotRows(dc, area, line, plotTop, plotBottom);
    if (plot.count < 1) {
        SelectObject(dc, oldFont);
        return;
    }
    placeChartPoints(plot, points, area.left + 6, plotTop, area.right - 6, plotBottom);

    if (plot.shownIndex >= 0) {
        HPEN dotted = CreatePen(PS_DOT, 1, ChartShownColour);
        HGDIOBJ old = SelectObject(dc, dotted);
        int x = points[plot.shownIndex].x;
        MoveToEx(dc, x, plotTop - line / 2, nullptr);
        LineTo(dc, x, plotBottom + line / 2);
        SelectObject(dc, old);
        DeleteObject(dotted);
    }
    HPEN pen = CreatePen(PS_SOLID, 2, ChartLineColour);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    MoveToEx(dc, points[0].x, points[0].y, nullptr);
    for (int32_t i = 1; i < plot.count; ++i) LineTo(dc, points[i].x, points[i].y);
    if (plot.count == 1) LineTo(dc, points[0].x + 1, points[0].y);
    SelectObject(dc, oldPen);
    DeleteObject(pen);

    char16_t text[CellTextUnits * 2];
    const ChartPoint& high = points[plot.maxIndex];
    const ChartPoint& low = points[plot.minIndex];
    mark(dc, high, 2, ChartLineColour, true);
    mark(dc, low, 2, ChartLineColour, true);
    valueText(text, u"\x043C\x0430\x043A\x0441. ", high.value, digits, comma);  // "макс."
    putText(dc, high.x - line, plotTop - line - 3, text, left, right);
    valueText(text, u"\x043C\x0438\x043D. ", low.value, digits, comma);  // "мин."
    putText(dc, low.x - line, plotBottom + 3, text, left, right);
    if (plot.shownIndex >= 0) mark(dc, points[plot.shownIndex], 4, ChartShownColour, false);

    char16_t day[CellTextUnits];
    formatDay(day, CellTextUnits, points[0].day);
    putText(dc, left, area.bottom - line - 2, day, left, right);
    formatDay(day, CellTextUnits, points[plot.count - 1].day);
    putText(dc, right, area.bottom - line - 2, day, left, right);

    int32_t told = chosen >= 0 && chosen < plot.count ? chosen : plot.shownIndex;
    if (told >= 0) {
        if (told == chosen) mark(dc, points[told], 5, ChartChosenColour, false);
        formatDay(day, CellTextUnits, points[told].day);
        copy16(text, CellTextUnits * 2, day);
        size_t used = length16(text, CellTextUnits * 2);
        copy16(text + used, CellTextUnits * 2 - used, u"  ");
        used = length16(text, CellTextUnits * 2);
        formatFixed(text + used, CellTextUnits * 2 - used, points[told].value, digits, comma);
        putText(dc, left, area.top + 2, text, left, right);
    }
    SelectObject(dc, oldFont);
}
