// File copying: the component table and source medium layout, the copy
// driver and its page, directory and file copy with progress, shared system
// files and version numbers.
#pragma once

#include "common/setup.h"


struct CDIR {
    DWORD fflag;   // the row's bit in INSPB.fflag
    DWORD dflag;   // 1 = language tree, 2 = platform tree
};
constexpr int CDIR_COUNT = 18;
extern const CDIR cdir[CDIR_COUNT];
extern const char* const src_name[CDIR_COUNT];
extern const char* const platform_str[6];
bool row_wanted(int row, const INSPB* pp);   // selected, and samples on where needed

// Copy state; who writes each is listed with the module statics in common/setup.h.
// copyflag: TRUE until the user confirms Cancel on the copy page.
extern int copyflag;
// A whole 64-bit count, as the total it is measured against (tbytes).
extern ULONGLONG bcopied;
extern RECT rcBar;

int copy_files(HWND hwndOwner, INSPB* pp);
BOOL build_source(char* lpszSrc, size_t cchSrc, WORD lcode, WORD platform);
INT_PTR CALLBACK dlg_copy(HWND, UINT, WPARAM, LPARAM);

// What became of a copy, worst last: done; left out (a path that could not
// be built, no buffer: the run goes on without it); cancelled (the user
// confirmed Cancel); failed (the user was told the installation ends).
enum CopyOutcome { COPY_DONE, COPY_LEFT_OUT, COPY_CANCELLED, COPY_FAILED };
CopyOutcome worse(CopyOutcome a, CopyOutcome b);
CopyOutcome copy_directory(HWND hDlg, const char* pdst, const char* psrc, BOOL subdir,
                           BOOL keep_qpr);
CopyOutcome copy_file(HWND hDlg, const char* pdst, const char* psrc);
void update_status(HWND hDlg, DWORD high, DWORD low);
// Shows the file begun last and the exact percentage on the copy page, then
// serves the message queue; with no page it only serves the queue.
void show_copy_frame(HWND hDlg);
// Gives back what the copy kept for its page: path lines, bar picture, DCs, buffer.
void release_copy_page();
int percent_done(ULONGLONG copied, ULONGLONG total);   // 0..100, also for totals below 100

BOOL runtime_version(const char* pFile, DWORD* pVer);
CopyOutcome copy_runtime(const char* pdrv, WORD platform);
CopyOutcome copy_sx32w(const char* pdrv, WORD platform);
CopyOutcome copy_twain(const char* pdrv, WORD platform);
CopyOutcome update_dll(const char* lpszSrc, const char* lpszDst);
CopyOutcome copy_defdoc(const char* pdrv, WORD lang);
BOOL copy_ctl3d(char* lpszDest, size_t cchDest);

// Medium layout: "\USA"... by language index ("\USA" for any other), "\Win95"...
// by platform index ("" for any other), and the system-file directory name.
const char* lang_tree(WORD lcode);
const char* platform_tree(WORD platform);
const char* system_tree(WORD platform);

// ---- the run: a copy commits whole or not at all ----
// What the rest of the program calls; the record, the pack and placing each
// file are the copy's own (copy/run_machinery.h).
bool record_location(char* path, size_t cch);   // the fixed place: the Windows directory
// Begun before the copy's first change; committed on success, undone on
// failure or Cancel.
bool run_begin(const char* record);
// Why the run cannot go on: the record refused an entry (a full disk; the
// file placed last would be left out and the installation only look
// complete), a file it must replace cannot be kept, or run_begin found a
// record already there (another setup) or could not create one at all.
enum { RUN_OK, RUN_RECORD_REFUSED, RUN_KEEP_REFUSED, RUN_RECORD_EXISTS, RUN_RECORD_DENIED };
int run_failure();
bool run_commit();   // false: the run could not be marked done and stays undoable
bool run_undo();   // false: something could not be put back, the record stays
// Renames path aside under a name that recovery recognises, into aside;
// put_back undoes it, drop_aside discards the file renamed aside where no
// run is recording. False with run_failure() RUN_OK: the file is in use by
// another program.
bool keep_aside(const char* path, char* aside, size_t cch);
// The integration that follows the copy (Program Manager group, registry)
// goes on record with the commit, so that a start after a kill finishes it.
void run_plan_integration(const INSPB* pp, const GROUP* grp);
// The integration a committed run still owes: true with its parameters.
bool run_pending_integration(INSPB* pp, GROUP* grp);
// True when the shared-library count of name is still to be raised by this
// run; noted first, so that a start after a kill does not raise it again.
bool run_count_due(const char* name);
void run_integrated();   // the integration is done: the record goes
// What became of a run that never ended, or of one a failure or Cancel could
// not wholly undo: there was none, put back (or finished), left as it is, or
// kept for the next start.
enum { RUN_NONE_FOUND, RUN_SETTLED, RUN_LEFT_AS_IS, RUN_LEFT_FOR_NEXT_START };
// The program's own alerts for what settle_run may have to say.
struct SettleAlerts {
    WORD incomplete;       // Ignore / Exit / Retry: something could not be put back
    WORD volume_missing;   // Ignore / Exit / Retry: a drive the run changed is not there
    WORD unreadable;       // the record is kept aside unread
    WORD busy;             // another run holds the record
};
// Settles the run whose record record_at names (recovered, or its
// integration finished by finish_integration, which has the owed parameters
// from run_pending_integration); where it cannot be, the user may try again,
// leave it for the next start, or leave the files as they are.
int settle_run(HWND owner, bool (*record_at)(char* path, size_t cch), const SettleAlerts& alerts,
               void (*finish_integration)());
