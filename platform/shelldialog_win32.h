// What the shell stand-in's dialog set-up and its menu bar share: the record of
// each dialog that uses them, and the metrics of their buttons.
#pragma once
#include <windows.h>

#include "platform/shell.h"

// One button of a menu bar, as laid out.
struct BarButton {
    HWND window;
    int width;           // wanted width: the text and a margin
    bool afterSeparator;  // a gap to its left
};

struct ShellDialog {
    HWND dialog;  // null: a free record
    HWND doneButton;
    HWND menuBar;
    int barHeight;
    BarButton barButtons[MenuBarMaxButtons];
    int barButtonCount;
};

constexpr int MaxShellDialogs = 16;  // dialogs open at once, nested ones included
extern ShellDialog shellDialogs[MaxShellDialogs];

// The record of dialog; null when it has none. attachDialog makes one (and
// subclasses the dialog) when needed; null when all are taken.
ShellDialog* findDialog(HWND dialog);
ShellDialog* attachDialog(HWND dialog);
HFONT dialogFont(HWND dialog);
int pushButtonWidth(HFONT font, const wchar_t* text);
int barHeightFor(HFONT font);
HINSTANCE windowInstance(HWND window);
