// The journal of what this run created on disk. A failed new installation is
// undone from this record, so that nothing that was on the disk before the
// run is ever removed.
#pragma once

void journal_reset();
void journal_note_dir(const char* path);    // a directory this run created
void journal_note_file(const char* path);   // a file that did not exist before
void journal_undo();                        // remove noted files, then directories deepest first
