// The module's own: its instance handle, where its data files lie, and the screen's
// dpi. Statically allocated; below the panel and the dialogs, which both use it.
#pragma once
#include <windows.h>

extern HINSTANCE moduleInstance;

// The data-file location rule: the module's folder, then fileName.
void buildDataPath(wchar_t* buffer, const wchar_t* fileName);
// The screen's horizontal pixels per logical inch.
int screenDpi();
