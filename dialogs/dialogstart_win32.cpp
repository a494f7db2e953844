// The dialogs' shared start-up: templates from the module, the shell's full screen.
#include "dialogs/dialogstart.h"

#include "data/settings.h"
#include "platform/module.h"
#include "platform/shell.h"

static LPCDLGTEMPLATEW findTemplate(int templateId)
{
    HRSRC found = FindResourceW(moduleInstance, MAKEINTRESOURCEW(templateId), RT_DIALOG);
    HGLOBAL loaded = found ? LoadResource(moduleInstance, found) : nullptr;
    return loaded ? static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)) : nullptr;
}

INT_PTR openDialog(int templateId, DLGPROC procedure, HWND owner, LPARAM parameter)
{
    LPCDLGTEMPLATEW dialogTemplate = findTemplate(templateId);
    if (!dialogTemplate) return 0;
    return DialogBoxIndirectParamW(moduleInstance, dialogTemplate, owner, procedure, parameter);
}

HWND createDialogPage(HWND parent, int templateId, DLGPROC procedure)
{
    LPCDLGTEMPLATEW pageTemplate = findTemplate(templateId);
    if (!pageTemplate) return nullptr;
    return CreateDialogIndirectParamW(moduleInstance, pageTemplate, parent, procedure, 0);
}

void setUpFullScreenDialog(HWND dialog, UINT menuBarId)
{
    SHINITDLGINFO info = {};
    info.dwMask = SHIDIM_FLAGS;
    info.hDlg = dialog;
    info.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
    SHInitDialog(&info);
    SHMENUBARINFO bar = {};
    bar.cbSize = sizeof bar;
    bar.hwndParent = dialog;
    bar.nToolBarId = menuBarId;
    bar.hInstRes = moduleInstance;
    SHCreateMenuBar(&bar);
}

void saveSettingsFile()
{
    wchar_t path[MAX_PATH];
    buildDataPath(path, L"vokCurrency.set");
    saveSettings(reinterpret_cast<const char16_t*>(path));
}
