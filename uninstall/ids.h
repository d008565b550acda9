// Ids of the uninstaller's own messages, read by its resource scripts, its
// code and the end-to-end tests. They follow setup's scheme (message n is
// dialog ALERT_BASE + n, buttons IDOK, IDCANCEL, IDC_BACK, the file's name
// on IDC_ALERT_NAME), numbered apart from setup's alerts.
#pragma once

#define UALERT_QUESTION 40     // Yes / No: remove the product?
#define UALERT_DONE 41         // removed, nothing left
#define UALERT_LEFT 42         // removed; the files left, in list IDC_UALERT_LIST
#define UALERT_NOTHING 43      // nothing of the product here
#define UALERT_HELD 44         // Ignore / Exit / Retry: a file held open, named
#define UALERT_NOT_UNDONE 45   // Ignore / Exit / Retry: an earlier uninstall not wholly undone
#define UALERT_BAD_RECORD 46   // the record of an earlier uninstall cannot be read
#define UALERT_USAGE 47        // the command line
#define UALERT_BAD_GROUP 48    // the group named cannot be removed safely; the name shown
#define UALERT_REFUSED 49      // manifest lines refused, in list IDC_UALERT_LIST
#define UALERT_NO_MANIFEST 50  // the list of the product's files cannot be read
#define UALERT_NOT_BEGUN 51    // nothing could be removed (the record could not be written)
#define UALERT_RUNNING 52      // a setup or another uninstall is running: nothing done

#define IDC_UALERT_LIST 21
// Behind a file of the list of those left that goes at the next restart.
#define USTR_AT_RESTART 100
#define IDI_UNINSTALL 1
