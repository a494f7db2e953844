// The Pocket PC shell's extensions that the plug-in uses, for desktop Win32, which
// lacks them: transparent image drawing, PNG loading, tap-and-hold recognition, the
// full-screen dialog set-up with its Done button, the soft-keyboard preference and the
// menu bar. Names and values are the shell's; records keep the shell's fields.
//
// On the desktop:
// - The Done button is a small "OK" push button, a child of the dialog with the id
//   ShellDoneButtonId. Clicking it delivers WM_COMMAND IDOK (notification BN_CLICKED,
//   lParam the button) to the dialog, so a dialog that has an IDOK control of its own
//   keeps it. The button sits in the top-right corner of the dialog's client area; when
//   the dialog also has a menu bar it sits at the right end of the bar's strip instead,
//   so that a dialog laid out above the bar never covers it.
// - The menu bar is a strip of push buttons along the bottom of the dialog's client
//   area, a child window with the id ShellMenuBarId. It overlaps the bottom of the
//   client area (the client area itself does not shrink): a dialog lays its controls
//   out above shellMenuBarHeight(). The shell keeps the bar and the Done button in
//   place when the dialog is resized (buttons too wide for the bar narrow to fit), and
//   the dialog is sent a WM_SIZE when its bar is created so that it can lay itself out
//   again.
// - Everything here runs on the user-interface thread only.
#pragma once
#include <windows.h>

// --- Drawing -----------------------------------------------------------------------

// Copies the source rectangle (stretched to the destination rectangle) except the
// pixels of transparentColour, which leave the destination as it was. source is a
// bitmap (selected into a memory device context for the copy, so it must not be
// selected into another one) or a device context. FALSE when nothing was drawn.
BOOL TransparentImage(HDC destination, LONG xDest, LONG yDest, LONG cxDest, LONG cyDest, HANDLE source,
                      LONG xSrc, LONG ySrc, LONG cxSrc, LONG cySrc, COLORREF transparentColour);

// Loads an image file (PNG, also whatever else GDI+ reads) into a new 32-bit DIB
// section with every pixel's colour as in the file (an alpha channel is dropped).
// NULL when the file is missing or can't be decoded. The caller deletes the bitmap.
HBITMAP SHLoadImageFile(LPCWSTR path);

// --- Tap-and-hold --------------------------------------------------------------------

struct SHRGINFO {
    DWORD cbSize;     // sizeof(SHRGINFO); the device's 20 is accepted too
    HWND hwndClient;  // the window that got the press
    POINT ptDown;     // the press, in hwndClient's client coordinates
    DWORD dwFlags;    // SHRG_RETURNCMD
};
#define SHRG_RETURNCMD 0x00000001
#define GN_CONTEXTMENU 1000

// Called on a left-button press: GN_CONTEXTMENU when it is a tap-and-hold, 0 for a
// plain press. When the left button is already up (a quick tap, or a press sent as a
// message) the answer is 0 at once. Only while the button really stays down does it
// wait, in a modal loop of at most ShellHoldTime ms that ends early (answer 0) on the
// release or on a move of more than a few pixels, and answers GN_CONTEXTMENU when the
// time is up. The release and the moves that end the wait stay queued for the window.
// A host without a stylus asks for tap-and-hold by setting the window property
// ShellHoldProperty on the item's parent while it sends the press: the answer is then
// GN_CONTEXTMENU at once (the desktop host does so for a right-click).
DWORD SHRecognizeGesture(SHRGINFO* info);
#define ShellHoldProperty L"SHGestureHold"
constexpr DWORD ShellHoldTime = 500;

// --- Dialogs -------------------------------------------------------------------------

struct SHINITDLGINFO {
    DWORD dwMask;  // SHIDIM_FLAGS: dwFlags is valid
    HWND hDlg;
    DWORD dwFlags;  // SHIDIF_*
};
#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008

constexpr int ShellDoneButtonId = 0x7FF0;
constexpr int ShellMenuBarId = 0x7FF1;

// Sets a dialog up as the shell does, usually from its WM_INITDIALOG:
// SHIDIF_SIZEDLGFULLSCREEN sizes it to the host's screen area (on the desktop: the
// client area of its owner's top-level window; without an owner, 240 by 320 pixels
// at 96 dpi, scaled to the screen's dpi, in the middle of the work area);
// SHIDIF_DONEBUTTON shows the Done button; SHIDIF_SIPDOWN asks for the soft keyboard
// to go down (recorded as SIP_DOWN). FALSE for a missing dialog.
BOOL SHInitDialog(SHINITDLGINFO* info);

#define SHDB_SHOW 0x0001
#define SHDB_HIDE 0x0002
// Shows (creating it when needed) or hides the dialog's Done button.
BOOL SHDoneButton(HWND dialog, DWORD state);

// --- Soft keyboard -------------------------------------------------------------------

enum SIPSTATE {
    SIP_UP = 0,
    SIP_DOWN,
    SIP_FORCEDOWN,
    SIP_UNCHANGED,
    SIP_INPUTDIALOG
};
// The desktop has no soft keyboard: a valid request is accepted (the test build
// remembers it).
// FALSE for a state outside SIP_UP..SIP_INPUTDIALOG.
BOOL SHSipPreference(HWND window, int state);

// --- Menu bar ------------------------------------------------------------------------

struct SHMENUBARINFO {
    DWORD cbSize;  // sizeof(SHMENUBARINFO)
    HWND hwndParent;
    DWORD dwFlags;     // no flags are used on the desktop
    UINT nToolBarId;   // the bar's resource: RT_RCDATA nToolBarId in hInstRes
    HINSTANCE hInstRes;
    int nBmpId;      // button images: not used on the desktop
    int cBmpImages;  //
    HWND hwndMB;     // out: the bar
    COLORREF clrBk;  // not used on the desktop
};

// The bar resource (RCDATA, 16-bit little-endian words): the button count, then for
// each button its command id, its string id (0: no text) and its flags.
enum MenuBarButtonFlags {
    MenuBarButtonEnabled = 0x0001,
    MenuBarSeparator = 0x0002,  // a gap, not a button; command and string are 0
    MenuBarDropDown = 0x0004,   // the command names a MENU resource whose first pop-up opens
};
constexpr int MenuBarMaxButtons = 16;

// Builds the bar of nToolBarId along the bottom of hwndParent: one push button per
// entry, in order, labelled with its string (a missing string gives an empty label),
// disabled unless MenuBarButtonEnabled; separators are gaps. A click sends
// WM_COMMAND (the command id, notification 0, lParam 0) to hwndParent, as a menu does;
// a drop-down button instead opens its menu above itself and sends the chosen item's
// command the same way (nothing when the menu is dismissed).
// A second call replaces the parent's bar. FALSE (and hwndMB NULL) when cbSize is
// wrong, the parent is missing or the resource is missing or malformed.
BOOL SHCreateMenuBar(SHMENUBARINFO* info);

// Height in pixels of the strip that the menu bar covers at the bottom of parent's
// client area; 0 when parent has no bar. A dialog lays its controls out above it.
int shellMenuBarHeight(HWND parent);
