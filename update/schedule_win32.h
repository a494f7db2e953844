// The scheduler's platform calls on Win32: local time, the worker thread, sleeping,
// downloads and the clock. The update side knows no window: what it needs of the
// panel (a repaint) is passed in when the module attaches.
#pragma once

// Fills schedulePlatform; repaintPanel (may be null) is called for every repaint.
void installSchedulePlatform(void (*repaintPanel)());

// Runs body on a new thread that holds a reference to this module, passed to it
// as its parameter, which it gives back as it ends (FreeLibraryAndExitThread).
// False when no thread could be made.
bool startModuleThread(unsigned long(__stdcall* body)(void*));  // an LPTHREAD_START_ROUTINE
