// Module-wide state of the plug-in's Win32 layer, statically allocated.
#pragma once
#include <windows.h>

extern HINSTANCE moduleInstance;
extern HWND panelWindow;
extern HBITMAP iconStrip;
extern int iconSize;

// The data-file location rule: the module's folder, then fileName.
void buildDataPath(wchar_t* buffer, const wchar_t* fileName);
// Writes the settings record to vokCurrency.set beside the module.
void saveSettingsFile();
// The screen's horizontal pixels per logical inch.
int screenDpi();
