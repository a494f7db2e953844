// The rates history and converter dialog (template IDD_HISTORY): its procedure. The
// dialog's parameter is the first view: 0 the table, 1 the converter.
#pragma once
#include <windows.h>

#include "resources/resource.h"

INT_PTR CALLBACK historyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
