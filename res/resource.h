// Ids of every resource and of every control the program addresses: read by
// the resource scripts and by the C++ alike, and by the end-to-end tests,
// which tell the pages apart by the control ids they hold. Plain #defines,
// because the resource compiler understands nothing else.
#pragma once

// ---- dialog templates ----
#define DLG_WELCOME 1
#define DLG_FOUND 2          // previous installations
#define DLG_DEST 3           // destination directory
#define DLG_GROUP 4          // program folder
#define DLG_WAIT 5           // wait box during the drive search
#define DLG_OPTIONS 6        // components
#define DLG_COPY 8           // modeless copy page
#define DLG_COMPLETE 9
#define DLG_LANGUAGE 10      // taken without a language
#define DLG_SAMPLES 11       // sample sub-dialog of the component page

// ---- alerts: alert n is dialog ALERT_BASE + n; its answers are named with the buttons ----
#define ALERT_BASE 32000
#define ALERT_CREATE_PATH 0  // Yes / No
#define ALERT_EXIT 1         // Yes / No
#define ALERT_BAD_PATH 2
#define ALERT_ABORT 10
#define ALERT_NO_SPACE 11    // Continue / Back / Exit
#define ALERT_DISK_FULL 12
#define ALERT_QPR_EXISTS 13  // Keep / Overwrite
#define ALERT_BAD_FOLDER 14
#define ALERT_READ_ERROR 15  // names the file on its line IDC_ALERT_NAME
#define ALERT_BAD_RECORD 16  // the record of an unfinished run cannot be read
#define ALERT_UNDO_INCOMPLETE 17  // Ignore / Exit / Retry: an unfinished run not wholly undone
#define ALERT_SETUP_RUNNING 18    // another setup runs on this machine
#define ALERT_WINDIR_READ_ONLY 19 // the run's record cannot be made in the Windows directory
#define ALERT_CANNOT_KEEP 20      // names the file that cannot be kept before it is replaced
#define ALERT_DRIVE_MISSING 21    // Ignore / Exit / Retry: a drive an unfinished run changed is not there

// ---- icons and bitmaps ----
#define IDI_SETUP 1
#define IDI_ALERT_QUESTION 31000
#define IDI_ALERT_ERROR 31001
#define IDI_ALERT_WARNING 31002
#define IDB_BACKGROUND 17
#define IDB_FIRST_FLAG 20    // flags 20..26; a flag control's id is its bitmap's
#define IDB_SIDE 30          // the side picture control's id is its bitmap's
#define IDB_FIRST_BILLBOARD 50  // billboards 50..54, one set per language

// ---- strings ----
// Strings 0..17 name the component directories at the destination, by row
// of the component table.
#define IDS_FIRST_COMPONENT 0
#define IDS_README 30
#define IDS_MODULE_INSTALLATION 31
#define IDS_STARTUP_GUIDE 32
#define IDS_STARTUP_TUTORIAL 33
#define IDS_CHOOSER_TITLE 34
#define IDS_UNINSTALL 35

// ---- controls ----
// Buttons: IDOK (Next, OK, Yes, first alert button) and IDCANCEL (Cancel, No,
// second) come from <windows.h>; the third is Back.
#define IDC_BACK 3
#define IDC_SIDE_PICTURE IDB_SIDE

// Alert answers: an alert ends with the id of the button pressed (Esc and
// its close box give IDCANCEL). By alert, its buttons from first to third.
#define ANSWER_YES IDOK              // ALERT_CREATE_PATH, ALERT_EXIT
#define ANSWER_NO IDCANCEL
#define NO_SPACE_CONTINUE IDOK       // ALERT_NO_SPACE
#define NO_SPACE_BACK IDCANCEL
#define NO_SPACE_EXIT IDC_BACK
#define QPR_KEEP IDOK                // ALERT_QPR_EXISTS
#define QPR_OVERWRITE IDCANCEL
#define UNDO_IGNORE IDOK             // ALERT_UNDO_INCOMPLETE, ALERT_DRIVE_MISSING
#define UNDO_EXIT IDCANCEL
#define UNDO_RETRY IDC_BACK

// Language page: radio button id = language index + IDC_FIRST_LANGUAGE.
#define IDC_FIRST_LANGUAGE 10
#define IDC_LAST_LANGUAGE 16

// Previous-installations page.
#define IDC_FOUND_LIST 10
#define IDC_UPDATE 11
#define IDC_INSTALL_NEW 12

// Destination page.
#define IDC_BROWSE 10
#define IDC_DEST_PATH 11

// Program-folder page.
#define IDC_GROUP_LIST 10
#define IDC_GROUP_NAME 11

// Component page: a check box per component, its byte count beside it.
#define IDC_MODULES 10
#define IDC_FILTERS 11
#define IDC_HELP_FILES 12
#define IDC_SAMPLES 13       // samples wanted at all
#define IDC_HYPHENATION 14
#define IDC_FONTS 15
#define IDC_SPECIAL 16
#define IDC_FILES 17         // opens the sample sub-dialog
#define IDC_MODULES_BYTES 18
#define IDC_FILTERS_BYTES 19
#define IDC_HELP_BYTES 20
#define IDC_SAMPLE_BYTES 21  // bytes of the chosen samples
#define IDC_HYPHENATION_BYTES 22
#define IDC_FONTS_BYTES 23
#define IDC_SPECIAL_BYTES 24
// Both the component page and the sample sub-dialog.
#define IDC_TOTAL 40         // disk space required
#define IDC_FREE 41          // disk space available

// Sample sub-dialog: the same scheme. Its ids overlap the component page's,
// which is never a problem: the two are separate dialogs.
#define IDC_SAMPLE_BITMAPS 10
#define IDC_SAMPLE_VECTOR 11
#define IDC_SAMPLE_TEXTS 12
#define IDC_SAMPLE_DOCUMENTS 13
#define IDC_SAMPLE_CURVES 14
#define IDC_SAMPLE_COLORS 15
#define IDC_SAMPLE_LAYOUTS 16
#define IDC_SAMPLE_MACROS 17
#define IDC_SAMPLE_STYLES 18
#define IDC_SAMPLE_CLIPART 19
#define IDC_SAMPLE_RASTERS 30
#define IDC_SAMPLE_PAGES 31
#define IDC_SAMPLE_BITMAPS_BYTES 20
#define IDC_SAMPLE_VECTOR_BYTES 21
#define IDC_SAMPLE_TEXTS_BYTES 22
#define IDC_SAMPLE_DOCUMENTS_BYTES 23
#define IDC_SAMPLE_CURVES_BYTES 24
#define IDC_SAMPLE_COLORS_BYTES 25
#define IDC_SAMPLE_LAYOUTS_BYTES 26
#define IDC_SAMPLE_MACROS_BYTES 27
#define IDC_SAMPLE_STYLES_BYTES 28
#define IDC_SAMPLE_CLIPART_BYTES 29
#define IDC_SAMPLE_RASTERS_BYTES 32
#define IDC_SAMPLE_PAGES_BYTES 33

// The line of an alert that names the file concerned.
#define IDC_ALERT_NAME 20

// Copy page.
#define IDC_SRC_LINE 10
#define IDC_DST_LINE 11
#define IDC_BAR 13

// Controls that the program never addresses.
#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif
