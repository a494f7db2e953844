// The rates history and converter dialog's own seams; historyDialogProc itself is
// declared in plugin/panel.h, where the panel finds it.
#pragma once

// While set, the dialog can't have its row index, as when memory runs out: it then
// ends at once with 0. For tests.
extern bool historyRowsUnavailable;
