// The options dialog (template 500), export 241.
// For now it opens and closes; its pages come next.
#include <windows.h>

#include "plugin/panel.h"

extern "C" BOOL WINAPI CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == 40004) {
            EndDialog(dialog, LOWORD(wParam) == IDOK ? IDOK : 40004);
            return TRUE;
        }
        break;
    case WM_CLOSE:
        EndDialog(dialog, 40004);
        return TRUE;
    }
    return FALSE;
}
