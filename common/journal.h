// The journal of what this run created on disk. A failed new installation is
// undone from this record, so that nothing that was on the disk before the
// run is ever removed.
#pragma once

#include <cstddef>

void journal_reset();
void journal_note_dir(const char* path);    // a directory this run created
void journal_note_file(const char* path);   // a file that did not exist before
// The directories noted, in order; a copy run takes them into its record.
size_t journal_dir_count();
const char* journal_dir(size_t i);
void journal_undo();                        // remove noted files, then directories deepest first
// Removes the directories noted after the first `mark` (deepest first, only
// empty ones) and forgets them: a path refused after it was made.
void journal_undo_dirs_since(size_t mark);
