// The copy run's machinery, for copy/ alone: the record, the pack, and
// placing each file so that a failed run can put the disk back as it was.
// The rest of the program sees the run through copy/copy.h.
#pragma once

#include "copy/copy.h"

#include <string>
#include <vector>

// ---- the record: entries of '|'-separated fields, each line checked ----
// Each entry opens with a letter that says what it names. The letters are
// what stored records hold: they never change meaning.
enum class EntryKind : char {
    Header = 'Q',        // the record's first line: its layout's version and the run's stamp
    Volume = 'V',        // a volume the run changes, with its serial number
    ExistingDir = 'E',   // an existing directory, at the run's first change in it
    NewDir = 'N',        // a directory level the run creates
    Created = 'C',       // a file the run creates (again each time it writes it anew)
    RenamedAside = 'R',  // a file the run replaces, with where it was renamed aside
    Pack = 'P',          // the run's pack of files written over in place
    Integration = 'I',   // the integration owed after the copy
    CopyDone = 'K',      // the copy is done: what the run saved is garbage
    CountRaised = 'S',   // a shared-library count raised
};
const char* entry_letter(EntryKind kind);   // the letter as the record spells it
struct RecordEntry {
    std::vector<std::string> fields;   // fields[0] is the one-letter kind
    EntryKind kind() const { return static_cast<EntryKind>(fields[0][0]); }
};
// RECORD_BUSY: another program (a setup beside this one) holds it open.
enum { RECORD_NONE, RECORD_OK, RECORD_UNREADABLE, RECORD_BUSY };
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

// ---- the run, told of every directory before it is created or written in,
// and of every file before it is placed ----
bool run_enter_dir(const char* dir);
// What placing a file means for the copy.
enum Place {
    PLACE_SKIP,        // it cannot be written: run_failure says whether the run ends
    PLACE_NEW,         // noted as the run's, to be created where no file is (one that
                       // appeared since is renamed aside like an earlier file)
    PLACE_REPLACE,     // an earlier file, renamed aside when it is written
    PLACE_OVERWRITE,   // a plain file, written over in place once keep_staged has
                       // its bytes (else it is replaced)
    PLACE_UNKNOWN,     // no run is recording
    PLACE_PROBE,       // its directory is not listed yet: a file that already holds
                       // the medium's bytes is left as it is, anything else needs
                       // run_list_dir_of first and is then placed again
    PLACE_REWRITE,     // written over in place by this run already: again in place,
                       // once keep_staged has its present bytes, or not at all
    PLACE_OWN          // this run's own file, written again (a merge directory)
};
// Places a file of size bytes; target receives the name to write (an
// existing file's own spelling).
Place run_place_file(const char* path, char* target, size_t cch, ULONGLONG size);
bool run_list_dir_of(const char* path);   // false: the record could not take the listing
// Marks a file the run created, open for writing, as the run's: an undo at
// a later start removes only files that still carry the mark.
void run_stamp(HANDLE file, const char* path);
// Saving the bytes of path, open for reading and writing in file, in the
// run's pack, in two steps, so that a file that already holds the new bytes
// is not written at all: stage_in_place reads the earlier bytes (old points
// at them, or is null when they did not fit the run's buffer whole);
// keep_staged writes them to the pack from offset from on (the bytes before
// it must stay as they are, as in a file written over from its first
// difference) and leaves file at its start for the new bytes, old_size gets
// its length. False from either: nothing was stored, the file is to be
// replaced.
bool stage_in_place(const char* path, HANDLE file, const BYTE** old, DWORD* count);
bool keep_staged(const char* path, HANDLE file, ULONGLONG from, ULONGLONG* old_size);
// Makes the record's entries and the pack's so far safe from a power cut:
// called once for a batch of files placed, before any of them is created,
// renamed or written (false: the disk refused, the run cannot go on).
bool run_make_durable();
void put_back(const char* path, const char* aside);
void drop_aside(const char* path, const char* aside);
bool run_active();
void run_abandon();   // forgets the run in memory, leaves the disk alone
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
int run_recover(const char* record);   // rolls back (or completes) a run found on disk
// Gives up an unfinished run whose undo the user chose to leave: the record
// goes, everything it names stays as it is.
void run_forget(const char* record);

// ---- the pack of the files a run writes over in place (copy/keeppack.cpp) ----
struct Pack {
    HANDLE file = INVALID_HANDLE_VALUE;
    ULONGLONG end = 0;   // where the next entry goes
};
bool pack_open(Pack* pack, const char* path);   // a new pack; false where the name is taken
void pack_close(Pack* pack);
// PACK_NOT_STORED leaves the pack as it was; PACK_BROKEN: it may end torn and
// takes no more entries.
enum { PACK_STORED, PACK_NOT_STORED, PACK_BROKEN };
// Appending file's bytes and times under its full path, in two halves:
// pack_read takes the times and as much of the file as fits into buf behind
// the entry's head (false: it cannot be stored); pack_bytes is where those
// bytes are; pack_write appends the entry and leaves file at its start. Of a
// file that was read whole, the entry may store only the bytes from offset
// from on: the restore writes them back there and leaves those before it.
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
