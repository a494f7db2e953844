// Drawing the history chart with GDI.
#pragma once
#include <windows.h>

#include "dialogs/core/chart.h"

// The chart's colours: the tests find its parts by them.
constexpr COLORREF ChartLineColour = RGB(0, 64, 192);
constexpr COLORREF ChartShownColour = RGB(255, 128, 0);
constexpr COLORREF ChartChosenColour = RGB(208, 0, 0);

// Places the points of plot in area as drawChart does (a tap may come before a paint).
void placeChart(HDC dc, const RECT& area, HFONT font, const ChartPlot& plot, ChartPoint* points);

// Draws the points of plot into area of dc in font: the line oldest to newest,
// the highest and lowest values with their texts, the shown day marked, and at the
// top the date and value of the chosen point (else of the shown day). The points
// are placed here. digits and comma as the history table formats numbers.
void drawChart(HDC dc, const RECT& area, HFONT font, const ChartPlot& plot, ChartPoint* points, int32_t chosen,
               int digits, bool comma);
