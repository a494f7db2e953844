// The panel: the item window on the Today screen and everything it owns. Its window
// state lives here (the layout's own state, the slots and the first visible item,
// is in plugin/core/layout.h); others reach it only through the functions below.
#pragma once
#include <windows.h>

extern HWND panelWindow;       // the newest item window; null when there is none
extern HDC memoryDC;           // the painting window's own DC with its back buffer
extern int panelWidth;
extern int panelHeight;
extern COLORREF hostTextColour;

LRESULT CALLBACK panelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void drawPanel();
void drawTrendArrow(int a, bool up);

// The settings record has changed (the options dialog's OK): the panel starts again
// from its first item and lays its line out anew.
void panelSettingsChanged();
// Repaints the panel window, no erase; nothing when there is none.
void repaintPanel();

// The icon strip, one frame per update state: loaded at attach, deleted at detach;
// the high-resolution one from 192 dpi on.
extern HBITMAP iconStrip;
extern int iconSize;
const wchar_t* iconStripFile(int dpi);
void loadIconStrip();
void freeIconStrip();
