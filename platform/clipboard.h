// Writing Unicode text to the clipboard, as the panel and the converter do it.
#pragma once
#include <windows.h>

// Puts a copy of text (at most maxUnits units of it) on the clipboard as
// CF_UNICODETEXT, owned by owner (the desktop clipboard wants an owner window for
// SetClipboardData to succeed). The clipboard owns the block once it took it;
// false when nothing was put there.
bool putClipboardText(HWND owner, const wchar_t* text, int maxUnits);
