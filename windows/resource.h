// Resource identifiers of the window program (zvp.rc).
#pragma once

#define IDR_MAINFRAME 128  // the application icon
#define IDS_ABOUTBOX 101   // the system-menu entry of the about box
#define IDM_ABOUTBOX 0x0010
#define IDS_OTHERPORT 103  // the system-menu entry of the other ports' dialog
#define IDM_OTHERPORT 0x0020

#define IDD_MAIN 102      // the main window: an empty frame
#define IDD_SETCOUNT 101  // SetCount, the counter settings
#define IDD_EDITCODE 129  // EditDialog, one byte of the code
#define IDD_PORTS 130     // the other serial ports

// SetCount's controls.
#define IDC_COUNT_ERASE 1000
#define IDC_COUNT_SMART 1001
#define IDC_COUNT_BLANK 1002
#define IDC_COUNT_READ_PROTECT 1003
#define IDC_COUNT_LDC_PROTECT 1004
#define IDC_COUNT_HW_PROTECT 1005
#define IDC_COUNT_PASS 1006
#define IDC_COUNT_FAIL 1007

// EditDialog's value box, created at run time.
#define IDC_EDIT_VALUE 500

// The other ports' dialog: the ports present, the typed name, the hint that
// also says what is wrong with a name.
#define IDC_PORT_LIST 1010
#define IDC_PORT_NAME 1011
#define IDC_PORT_HINT 1012

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
