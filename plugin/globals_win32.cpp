#include "plugin/globals.h"

HINSTANCE moduleInstance;
HWND panelWindow;
HBITMAP iconStrip;
int iconSize;
