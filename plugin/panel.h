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
INT_PTR CALLBACK historyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
extern "C" BOOL WINAPI CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Icon strip: loaded at attach, deleted at detach.
void loadIconStrip();
void freeIconStrip();
// The scheduler's platform calls: local time, worker threads, sleeping, repaints, downloads.
void installSchedulePlatform();
