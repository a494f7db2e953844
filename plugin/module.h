// The module's own: its instance handle, where its data files lie, the settings file
// written from the record in memory, and the screen's dpi. Statically allocated.
#pragma once
#include <windows.h>

extern HINSTANCE moduleInstance;

// The data-file location rule: the module's folder, then fileName.
void buildDataPath(wchar_t* buffer, const wchar_t* fileName);
// Writes the settings record to vokCurrency.set beside the module.
void saveSettingsFile();
// The screen's horizontal pixels per logical inch.
int screenDpi();
