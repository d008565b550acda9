// Chief header of the setup program: the records that carry the user's
// choices through the run, the statics every subsystem shares, and the shell's
// own entry points (start-up, install sequence, dialog runner, front pages).
#pragma once

#include <windows.h>

// Fixed buffer sizes, in characters including the terminating NUL.
constexpr int PATH_CCH = 260;   // paths in records and directory walks
constexpr int WORK_CCH = 1024;  // working paths, registry strings, DDE commands
constexpr int NAME_CCH = 150;   // default group name, chooser title

// Results of a page.
constexpr int PAGE_NEXT = 1;
constexpr int PAGE_CANCEL = 2;  // already confirmed on the page
constexpr int PAGE_BACK = 3;
constexpr int PAGE_FAILED = -1; // the page could not be created

// Alert numbers; alert n is dialog 32000 + n.
constexpr WORD ALERT_CREATE_PATH = 0;
constexpr WORD ALERT_EXIT = 1;
constexpr WORD ALERT_BAD_PATH = 2;
constexpr WORD ALERT_ABORT = 10;
constexpr WORD ALERT_NO_SPACE = 11;
constexpr WORD ALERT_DISK_FULL = 12;
constexpr WORD ALERT_QPR_EXISTS = 13;
constexpr WORD ALERT_BAD_FOLDER = 14;
constexpr WORD ALERT_BAD_RECORD = 16;
constexpr WORD ALERT_BASE = 32000;

// Dialog template ids.
constexpr WORD DLG_WELCOME = 1;
constexpr WORD DLG_FOUND = 2;
constexpr WORD DLG_DEST = 3;
constexpr WORD DLG_GROUP = 4;
constexpr WORD DLG_WAIT = 5;
constexpr WORD DLG_OPTIONS = 6;
constexpr WORD DLG_COPY = 8;
constexpr WORD DLG_COMPLETE = 9;
constexpr WORD DLG_LANGUAGE = 10;
constexpr WORD DLG_SAMPLES = 11;

// Control id of the side picture on the pages.
constexpr int IDC_SIDE_PICTURE = 30;

// The install parameter block: one per run, owned by do_install.
struct INSPB {
    WORD lcode;            // language index 0..6
    WORD nver;             // 1 = new installation, 0 = update of a found one
    DWORD fflag;           // component bits, one per row of the component table
    LONG sampl;            // samples wanted
    WORD platform;         // platform index 0..4
    HLOCAL hfnd;           // found installations, NUL-separated paths
    char szDst[PATH_CCH];  // destination directory
    LONG keep_set;         // keep the existing settings file on update
};

// The program-folder choice. "new" is a keyword, hence the underscore.
struct GROUP {
    LONG new_;               // the group did not exist when the folder page was left
    char szGroup[PATH_CCH];  // the Program Manager group receiving the icons
};

// Shared statics of the shell.
extern HINSTANCE hInst;                // the program's instance (resource lookups)
extern HWND hParent;                   // the setup window
extern WORD langcode;                  // language index used by alerts
extern char strQuillon15[NAME_CCH];    // default Program Manager group name

// Windows language identifiers by language index.
extern const WORD lang[7];

// ---- start-up and install sequence ----
LRESULT CALLBACK main_install(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
void do_install(HWND hwnd);
WORD platform_from_arch(WORD arch);   // processor architecture -> platform index

// Steps of the install sequence.
enum install_step {
    STEP_LANGUAGE,
    STEP_WELCOME,
    STEP_FOUND,
    STEP_DESTINATION,
    STEP_COMPONENTS,
    STEP_FOLDER,
    STEP_COPY,
    STEP_INTEGRATE,
    STEP_CLEANUP,
    STEP_END
};
// The step after `step` ended with `result` (a page result; for STEP_COPY,
// non-zero when the copy succeeded). A step that shows no page passes PAGE_NEXT.
install_step next_step(install_step step, INT_PTR result, bool nver, bool found_empty);
void drain_queue();                   // dispatch every waiting message

// ---- dialog runner, alerts, strings ----
// Finds a resource in the language of lcode; falls back to the neutral
// sub-language of the same primary language (1036 finds 12, 1031 finds 7).
HRSRC find_localized(LPCSTR type, LPCSTR name, WORD lcode);
HRSRC find_by_langid(LPCSTR type, LPCSTR name, WORD langid);
// The data of a found resource and its size in bytes; nullptr when it cannot be had.
const void* lock_resource(HRSRC hrsrc, DWORD* size);
INT_PTR call_dialog(HWND hWnd, WORD id, WORD lcode, void* pp, DLGPROC dlg_proc);
HWND create_dialog(HWND hWnd, WORD id, WORD lcode, void* pp, DLGPROC dlg_proc);
void center_dialog(HWND hDlg);
INT_PTR alert(HWND hWnd, WORD id);
INT_PTR CALLBACK dlg_alert(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
// The common Cancel (confirmed with alert 1, ends with 2) and Back (ends
// with 3) of a page; TRUE when cid was one of them.
BOOL page_cancel_or_back(HWND hdlg, int cid);
// Copies string id of language lcode into pstr (cpmax bytes) in the ANSI code
// page; a string that does not fit yields an empty string.
char* get_string(WORD lcode, WORD id, char* pstr, int cpmax);

// ---- front pages ----
INT_PTR CALLBACK dlg_startup(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK dlg_welcome(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK dlg_search(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK dlg_complete(HWND, UINT, WPARAM, LPARAM);
