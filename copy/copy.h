// File copying: the component table and source medium layout, the copy
// driver and its page, directory and file copy with progress, shared system
// files and version numbers.
#pragma once

#include "common/setup.h"

#include <string>
#include <vector>

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
extern int copyflag;
// A whole 64-bit count, as the total it is measured against (tbytes).
extern ULONGLONG bcopied;
extern RECT rcBar;

int copy_files(HWND hwndOwner, INSPB* pp);
BOOL build_source(char* lpszSrc, size_t cchSrc, WORD lcode, WORD platform);
INT_PTR CALLBACK dlg_copy(HWND, UINT, WPARAM, LPARAM);

int copy_directory(HWND hDlg, const char* pdst, const char* psrc, BOOL subdir, BOOL keep_qpr);
BOOL copy_file(HWND hDlg, const char* pdst, const char* psrc);
void update_status(HWND hDlg, DWORD high, DWORD low);
// Shows the file begun last and the exact percentage on the copy page, then
// serves the message queue; with no page it only serves the queue.
void show_copy_frame(HWND hDlg);
// Gives back what the copy kept for its page: path lines, bar picture, DCs, buffer.
void release_copy_page();
int percent_done(ULONGLONG copied, ULONGLONG total);   // 0..100, also for totals below 100

BOOL runtime_version(const char* pFile, DWORD* pVer);
BOOL copy_runtime(const char* pdrv, WORD platform);
BOOL copy_sx32w(const char* pdrv, WORD platform);
BOOL copy_twain(const char* pdrv, WORD platform);
BOOL update_dll(const char* lpszSrc, const char* lpszDst);
BOOL copy_defdoc(const char* pdrv, WORD lang);
BOOL copy_ctl3d(char* lpszDest, size_t cchDest);

// Medium layout: "\USA"... by language index ("\USA" for any other), "\Win95"...
// by platform index ("" for any other), and the system-file directory name.
const char* lang_tree(WORD lcode);
const char* platform_tree(WORD platform);
const char* system_tree(WORD platform);

// ---- the record of a copy run, so that it commits whole or not at all ----
// The record's format: entries of '|'-separated fields, each line checked.
struct RecordEntry {
    std::vector<std::string> fields;   // fields[0] is the one-letter kind
};
// RECORD_BUSY: another program (a setup beside this one) holds it open.
enum { RECORD_NONE, RECORD_OK, RECORD_UNREADABLE, RECORD_BUSY };
bool record_location(char* path, size_t cch);   // the fixed place: the Windows directory
// A new record with its header (stamp: the run's time stamp), flushed; false
// where any file of that name exists (GetLastError tells why).
bool record_create(const char* path, const char* stamp);
bool record_append(const char* const* fields, int count, bool flush);
bool record_flush();
void record_close();
// RECORD_NONE without a record; the whole entries before the first that is
// not (a power cut's unflushed tail). With hold the record stays open,
// unshared, for entries to follow the whole ones, until record_close.
int record_read(const char* path, std::vector<RecordEntry>* entries, bool hold = false);

// The run: begun before the copy's first change, then told of every
// directory before it is created or written in, and of every file before it
// is placed; committed on success, undone on failure or Cancel.
bool run_begin(const char* record);
bool run_enter_dir(const char* dir);
enum {
    PLACE_SKIP,
    PLACE_NEW,
    PLACE_REPLACE,
    PLACE_OVERWRITE,
    PLACE_UNKNOWN,
    PLACE_PROBE,
    PLACE_REWRITE,
    PLACE_OWN
};
// What placing a file of size bytes means; target receives the name to
// write (an existing file's own spelling). PLACE_NEW: noted as the run's,
// to be created where no file is (one that appeared since is kept like an
// earlier file). PLACE_OWN: this run's own file, written again (a merge
// directory). PLACE_OVERWRITE: a plain file that may be written over in
// place once keep_staged has its bytes (else it is replaced). PLACE_UNKNOWN:
// no run is recording. PLACE_PROBE: its directory is not listed yet; a file
// that already holds the medium's bytes is left as it is, anything else
// needs run_list_dir_of first and is then placed again. PLACE_REWRITE: a
// file this run wrote over in place already; it is written over in place
// again, once keep_staged has its present bytes, or not at all.
int run_place_file(const char* path, char* target, size_t cch, ULONGLONG size);
bool run_list_dir_of(const char* path);   // false: the record could not take the listing
// Marks a file the run created, open for writing, as the run's: an undo at
// a later start removes only files that still carry the mark.
void run_stamp(HANDLE file, const char* path);
// Keeping the bytes of path, open for reading and writing in file, in the
// run's pack, in two steps, so that a file that already holds the new bytes
// is not written at all: stage_in_place reads the earlier bytes (old points
// at them, or is null when they did not fit the run's buffer whole);
// keep_staged writes them to the pack from offset from on (the bytes before
// it must stay as they are, as in a file written over from its first
// difference) and leaves file at its start for the new bytes, old_size gets
// its length. False from either: nothing was kept, the file is to be
// replaced.
bool stage_in_place(const char* path, HANDLE file, const BYTE** old, DWORD* count);
bool keep_staged(const char* path, HANDLE file, ULONGLONG from, ULONGLONG* old_size);
// Makes the record's entries and the pack's so far safe from a power cut:
// called once for a batch of files placed, before any of them is created,
// renamed or written (false: the disk refused, the run cannot go on).
bool run_make_durable();
// Renames path aside under a name that recovery recognises; put_back undoes
// it, drop_kept discards the kept file where no run is recording. False from
// keep_aside with run_failure() RUN_OK: the file is in use by another program.
bool keep_aside(const char* path, char* kept, size_t cch);
void put_back(const char* path, const char* kept);
void drop_kept(const char* path, const char* kept);
bool run_active();
// Why the run cannot go on: the record refused an entry (a full disk; the
// file placed last would be left out and the installation only look
// complete), a file it must replace cannot be kept, or run_begin found a
// record already there (another setup) or could not create one at all.
enum { RUN_OK, RUN_RECORD_REFUSED, RUN_KEEP_REFUSED, RUN_RECORD_EXISTS, RUN_RECORD_DENIED };
int run_failure();
bool run_commit();   // false: the run could not be marked done and stays undoable
bool run_undo();   // false: something could not be put back, the record stays
void run_abandon();   // forgets the run in memory, leaves the disk alone
// The integration that follows the copy (Program Manager group, registry)
// goes on record with the commit, so that a start after a kill finishes it.
void run_plan_integration(const INSPB* pp, const GROUP* grp);
// The integration a committed run still owes: true with its parameters.
bool run_pending_integration(INSPB* pp, GROUP* grp);
// True when the shared-library count of name is still to be raised by this
// run; noted first, so that a start after a kill does not raise it again.
bool run_count_due(const char* name);
void run_integrated();   // the integration is done: the record goes
// RECOVER_INCOMPLETE: something could not be put back (a file another
// program holds open, most often); RECOVER_VOLUME_MISSING: a drive the run
// changed is not there, or another disk is in its place; both leave the
// record for another try. RECOVER_BUSY: another setup holds the record.
// RECOVER_INTEGRATE: the copy was done; run_pending_integration says what
// is still owed. RECOVER_UNREADABLE: the record is kept aside under another
// name, nothing it names is touched.
enum {
    RECOVER_NOTHING,
    RECOVER_DONE,
    RECOVER_UNREADABLE,
    RECOVER_INCOMPLETE,
    RECOVER_VOLUME_MISSING,
    RECOVER_BUSY,
    RECOVER_INTEGRATE
};
// Gives up an unfinished run whose undo the user chose to leave: the record
// goes, everything it names stays as it is.
void run_forget(const char* record);
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
// The pack of the files a run writes over in place (copy/keeppack.cpp).
struct Pack {
    HANDLE file = INVALID_HANDLE_VALUE;
    ULONGLONG end = 0;   // where the next entry goes
};
bool pack_open(Pack* pack, const char* path);   // a new pack; false where the name is taken
void pack_close(Pack* pack);
enum { PACK_KEPT, PACK_NOT_KEPT, PACK_BROKEN };
// Appending file's bytes and times under its full path, in two halves:
// pack_read takes the times and as much of the file as fits into buf behind
// the entry's head (false: it cannot be kept); pack_bytes is where those
// bytes are; pack_write appends the entry and leaves file at its start. Of a
// file that was read whole, the entry may keep only the bytes from offset
// from on: the restore writes them back there and leaves those before it.
// PACK_NOT_KEPT leaves the pack as it was; PACK_BROKEN: it may end torn and
// takes no more entries.
struct PackStage {
    FILETIME created, accessed, written;
    ULONGLONG size = 0;   // the file's length
    DWORD got = 0;        // its first bytes, read into the buffer
};
bool pack_read(HANDLE file, const char* path, BYTE* buf, DWORD cb, PackStage* st);
const BYTE* pack_bytes(const BYTE* buf, const char* path);
int pack_write(Pack* pack, HANDLE file, const char* path, BYTE* buf, DWORD cb,
               const PackStage& st, ULONGLONG from, ULONGLONG* old_size);
// Every whole entry back into its file; false if one could not be.
bool pack_restore(const char* pack_path);
int run_recover(const char* record);   // rolls back (or completes) a run found on disk
