// The panel: the item window on the Today screen and everything it owns. Each item
// window keeps its own state in its window data (the layout's state, the slots and
// the first visible item, is in plugin/core/layout.h); others reach it only
// through the functions below.
#pragma once
#include <windows.h>

extern HWND panelWindow;  // the newest item window; null when there is none

// One item window's own state: a host that makes a second item window before it
// destroys the first leaves each its own.
struct PanelWindow {
    HDC memoryDC;  // its own DC, with the back buffer selected
    int width;
    int height;
    COLORREF hostTextColour;
    int dragX;  // where a drag over the rates stands; 0 when none
    BYTE tapPending;
    DWORD lastPressTime;
    bool pressSeen;  // the first press after the window was made is never half of a double tap
};

LRESULT CALLBACK panelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Draws the icon frame and the items into the window's back buffer.
void drawPanel(const PanelWindow& panel);

// Raises the notifications of the crossings the last layout found, withdraws those
// of items back inside, and keeps the alert states in their file: posted to the
// panel as WM_ANNOUNCE_ALERTS by the paint that found them.
void announceAlerts(HWND window);
constexpr UINT WM_ANNOUNCE_ALERTS = WM_APP + 1;
// The items were edited: the notifications shown stay, but belong to no item now.
void forgetAlertNotifications();

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
