// Where one file of the medium goes, and what of the disk's earlier file
// is saved first: the copy's side of the run (copy/run_machinery.h). A file
// is placed while its batch is gathered, when nothing on the disk changes
// but the run's record and pack; it is opened once the batch's entries are
// safe from a power cut (run_make_durable). What comes back is a file the
// block loop fills from t->resume on: new, the earlier one renamed aside,
// or written over in place after its bytes went into the pack, positioned
// at its first differing block; or nothing to write at all.
#pragma once

#include "copy/copypage.h"
#include "copy/run_machinery.h"

constexpr ULONGLONG NOT_IN_PLACE = ~0ULL;

// A file of the medium on its way to the disk: placed (its entries written,
// what writing it would lose saved), then written.
struct Target {
    char src[PATH_CCH] = "";    // the medium's file
    char dst[PATH_CCH] = "";    // where it goes, as the page shows it
    char name[PATH_CCH] = "";   // dst, or the spelling an existing file has
    char aside[PATH_CCH] = "";  // where the earlier file was renamed aside, or empty
    HANDLE hsrc = INVALID_HANDLE_VALUE;
    HANDLE hdst = INVALID_HANDLE_VALUE;   // a file written over in place, open since its bytes were stored
    Place place = PLACE_SKIP;
    ULONGLONG old_size = NOT_IN_PLACE;   // earlier length of a file written over in place
    bool unchanged = false;   // already holds the medium's bytes: nothing to write
    bool rewind = false;      // the medium's file was read to compare: start it again at resume
    ULONGLONG resume = 0;     // the bytes before it already are the medium's
    ULONGLONG length = 0;     // of the medium's file
    bool created = false;     // made by the run: it carries the run's stamp
    bool written = false;     // holds the medium's bytes, to be flushed (through hdst if open)
    int failure = RUN_OK;     // why the run cannot go on with this file
};

// Decides how the file goes to t->dst and saves what writing it would lose.
// False: nothing is to be written (t->unchanged, skipped, or t->failure).
bool place_target(BYTE* buf, Target* t);
// Once what placing it wrote is durable: opens the file the block loop
// fills; INVALID_HANDLE_VALUE where it cannot be (t->failure says whether
// that ends the run).
HANDLE open_placed(Target* t);
