// The panel window: message handling, back buffer, drawing.
#pragma once
#include <windows.h>

extern HDC memoryDC;
extern int panelWidth;
extern int panelHeight;
extern COLORREF hostTextColour;

LRESULT CALLBACK panelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void drawPanel();
void drawTrendArrow(int a, bool up);

// Opens a dialog template of the module modally over owner.
INT_PTR openDialog(int templateId, DLGPROC procedure, HWND owner, LPARAM parameter);
// A dialog as the shell shows it: full screen, the Done button, the soft keyboard
// down, and the module's menu bar menuBarId along its bottom.
void setUpFullScreenDialog(HWND dialog, UINT menuBarId);
INT_PTR CALLBACK historyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// A dialog procedure: on 64-bit Windows its result is pointer-sized, as DLGPROC wants.
extern "C" INT_PTR WINAPI CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Icon strip: loaded at attach, deleted at detach; the high-resolution one from 192 dpi on.
const wchar_t* iconStripFile(int dpi);
void loadIconStrip();
void freeIconStrip();
// The scheduler's platform calls: local time, worker threads, sleeping, repaints, downloads.
void installSchedulePlatform();
