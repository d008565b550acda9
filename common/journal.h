// The journal of the directories this run created. A copy run takes those
// made before it (the destination page's) into its record; a new installation
// that ends where no record took them over removes them, empty ones only, and
// nothing that was on the disk before the run. Files are the record's alone.
#pragma once

#include <cstddef>

void journal_reset();
void journal_note_dir(const char* path);    // a directory this run created
// The directories noted, in order; a copy run takes them into its record.
size_t journal_dir_count();
const char* journal_dir(size_t i);
void journal_undo();                        // removes the noted directories deepest first, empty ones only
// Removes the directories noted after the first `mark` (deepest first, only
// empty ones) and forgets them: a path refused after it was made.
void journal_undo_dirs_since(size_t mark);
