// What every dialog of the module does to start: its template found in the module's
// resources, and the shell's full-screen set-up with a menu bar; and what their OK
// does with the settings record.
#pragma once
#include <windows.h>

// Opens the module's dialog template templateId modally over owner; 0 when the
// template is missing.
INT_PTR openDialog(int templateId, DLGPROC procedure, HWND owner, LPARAM parameter);
// Makes the module's dialog template templateId a modeless child of parent (a page);
// null when the template is missing.
HWND createDialogPage(HWND parent, int templateId, DLGPROC procedure);
// A dialog as the shell shows it: full screen, the Done button, the soft keyboard
// down, and the module's menu bar menuBarId along its bottom.
void setUpFullScreenDialog(HWND dialog, UINT menuBarId);
// Writes the settings record to vokCurrency.set beside the module.
void saveSettingsFile();
