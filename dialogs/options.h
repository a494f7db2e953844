// The options dialog (template IDD_OPTIONS, export 241) and its items page with the
// item editor: the Win32 half. The working copy of the item list and the reading of
// the pages live in dialogs/core/options.h.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include "dialogs/core/options.h"
#include "resources/resource.h"

extern "C" INT_PTR WINAPI CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Whom OK tells that the settings record has changed (the panel: it starts again
// from its first item). Set at attach; nobody is told while it is null.
void setSettingsChangedHandler(void (*handler)());
INT_PTR CALLBACK updatePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK miscPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aboutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK itemsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK itemEditorProc(HWND editor, UINT message, WPARAM wParam, LPARAM lParam);

// Sets the update, misc and about pages from Settings; reads the first two back.
void fillOptionsPages();
void readOptionsPages();

extern HWND optionsTab;
extern HWND optionsPages[4];  // items, update, misc, about; null while the dialog is closed
extern HWND itemList;         // the items page's list view
extern int32_t editIndex;     // the working slot the editor writes
extern COLORREF editColour;   // the colour chosen so far in the editor
