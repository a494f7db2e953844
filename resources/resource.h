// Every resource number of vokcurrency.dll, named once: dialog templates, controls,
// menu-bar commands, menu bars, strings. The .rc files, the Win32 code and the Wine
// tests include this file; nothing else spells these numbers. Plain #defines only:
// the resource compiler reads it too.
#pragma once

// The options dialog: the Today shell opens this template with export 241, so its
// number is the shell's (IDD_TODAY_CUSTOM in platform/today.h).
#define IDD_OPTIONS 500
#define IDC_OPTIONS_TAB 1014

// The options pages, children of the tab control.
#define IDD_ITEMS_PAGE 102
#define IDD_ABOUT_PAGE 103
#define IDD_MISC_PAGE 104
#define IDD_UPDATE_PAGE 105

// Items page: the item list and its buttons.
#define IDC_ITEM_LIST 1022
#define IDC_ITEM_UP 1023
#define IDC_ITEM_DOWN 1024
#define IDC_ITEM_DELETE 1026
#define IDC_ITEM_ADD 1027
#define IDC_ITEM_EDIT 1028

// Update page.
#define IDC_UPDATE_EVERY 1000
#define IDC_UPDATE_INTERVAL 1001
#define IDC_UPDATE_DAILY 1002
#define IDC_DAILY_HOUR 1003
#define IDC_DAILY_MINUTE 1004
#define IDC_ONLY_IF_STALE 1009
#define IDC_UPDATE_ON_CONNECT 1020  // hidden and disabled
#define IDC_USE_PROXY 1064
#define IDC_PROXY 1065
#define IDC_ESTABLISH_CONNECTION 1068
#define IDC_UPDATE_ON_PUBLICATION 1072

// Misc page.
#define IDC_COMMA_ON_PANEL 1008
#define IDC_HISTORY_LENGTH 1010
#define IDC_COMMA_ON_COPY 1017
#define IDC_COMMA_IN_HISTORY 1018
#define IDC_VISIBLE_ITEMS 1021
#define IDC_HISTORY_DIGITS 1037
#define IDC_FONT_HEIGHT 1058
#define IDC_BOLD 1060
#define IDC_CENTER_ITEMS 1061
#define IDC_FILLED_ARROWS 1062

// About page.
#define IDC_ABOUT_CURRENCY 1069

// The item editor.
#define IDD_ITEM_EDITOR 111
#define IDC_EDITOR_CURRENCY 1031
#define IDC_EDITOR_CURRENCY2 1032
#define IDC_EDITOR_ARROW 1033
#define IDC_EDITOR_SLASH 1035
#define IDC_EDITOR_DIGITS 1038
#define IDC_EDITOR_DEFAULT_COLOUR 1040
#define IDC_EDITOR_COLOUR 1041
#define IDC_EDITOR_RATIO 1055
#define IDC_EDITOR_NEXT_PERIOD 1056
#define IDC_EDITOR_IF_AVAILABLE 1063
#define IDC_EDITOR_DIFFERENCE 1067
#define IDC_EDITOR_UPPER 1075
#define IDC_EDITOR_LOWER 1076
#define IDC_EDITOR_PERCENT 1077

// The options dialog's menu bar (RCDATA and MENU of the same number), its command
// and its button's text.
#define IDR_OPTIONS_MENUBAR 109
#define IDM_CANCEL 40004  // "Отмена" on every menu bar
#define IDS_OPTIONS_CANCEL 40006

// The rates history and converter dialog.
#define IDD_HISTORY 115
#define IDC_HISTORY_TABLE 1025
#define IDC_AMOUNT 1039
#define IDC_RESULT 1043
#define IDC_CONVERT_FROM 1044
#define IDC_CONVERT_TO 1045
#define IDC_RATES_DATE 1046
#define IDC_PASTE_AMOUNT 1047
#define IDC_COPY_RESULT 1048
#define IDC_CLEAR_AMOUNT 1049
#define IDC_SWAP_CURRENCIES 1066
#define IDC_CHART 1070
#define IDC_CHART_CURRENCY 1071

// Its menu bar (RCDATA and MENU of the same number), the commands and button texts.
// The "..." button drops down the menu IDR_HISTORY_MORE, whose number is its command.
#define IDR_HISTORY_MENUBAR 114
#define IDM_TABLE 40009
#define IDR_HISTORY_MORE 40012
#define IDM_CONVERTER 40013
#define IDM_CHART 40019
#define IDM_COPY_TABLE 40020
#define IDM_FILL 40021
#define IDS_HISTORY_CANCEL 40008
#define IDS_TABLE 40011
#define IDS_CONVERTER 40015
#define IDS_HISTORY_MORE 40022

// Labels that nobody addresses.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
