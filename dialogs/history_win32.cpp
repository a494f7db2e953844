// The rates history and converter dialog (template 115).
// For now it opens and closes; the table and the converter come next.
#include <windows.h>

#include "plugin/panel.h"

INT_PTR CALLBACK historyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == 40004) {
            EndDialog(dialog, LOWORD(wParam) == IDOK ? 1 : 40004);
            return TRUE;
        }
        break;
    case WM_CLOSE:
        EndDialog(dialog, 40004);
        return TRUE;
    }
    return FALSE;
}
