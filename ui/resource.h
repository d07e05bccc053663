// Resource and control identifiers of the program.
#pragma once

// Dialogs
#define IDD_ABOUTBOX 100
#define IDD_MAIN_DIALOG 102

// Strings
#define IDS_ABOUTBOX 101

// Icons
#define IDR_MAINFRAME 128

// Controls
#define IDC_FILE_LIST 1000
#define IDC_FIX_HTML 1004
#define IDC_ARCHIVE 1005

// System-menu commands
#define IDM_ABOUTBOX 0x0010
