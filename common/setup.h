// What every subsystem shares: the records that carry the user's choices
// through the run, the fixed buffer sizes, the page results, the shared
// statics and the resource ids. It depends on nothing of the program's own.
#pragma once

#include <windows.h>

#include "res/resource.h"

// Fixed buffer sizes, in characters including the terminating NUL.
constexpr int PATH_CCH = 260;   // paths in records and directory walks
constexpr int WORK_CCH = 1024;  // working paths, registry strings, DDE commands
constexpr int NAME_CCH = 150;   // default group name, chooser title

// Results of a page.
constexpr int PAGE_NEXT = 1;
constexpr int PAGE_CANCEL = 2;  // already confirmed on the page
constexpr int PAGE_BACK = 3;
constexpr int PAGE_FAILED = -1; // the page could not be created

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


// Platform index (0..4) of a processor architecture; Intel and anything
// unknown is 0 (platform.cpp).
WORD platform_from_arch(WORD arch);

// ---- module statics ----
// Every static that lives longer than one call, where it is defined and who
// writes it. Everything else that a page keeps (its record pointer, the
// chooser's path) is private to that page's file.
//
//   hInst, hParent         common/statics.cpp written once by WinMain
//   langcode, strQuillon15 common/statics.cpp written by do_install after the language page;
//                                             langcode read by alerts and billboards,
//                                             strQuillon15 by the program-folder page
//   hpalette               ui/background.cpp  made at WM_CREATE of the setup window,
//                                             deleted at its WM_DESTROY (shell/install.cpp)
//   binfo, cbinf, infplace, cbmp
//                          ui/billboard.cpp   the billboard functions; cbinf and infplace
//                                             are also set by copy_files when it starts and ends
//   copyflag, bcopied, rcBar
//                          copy/driver.cpp    copy_files and the file copy (copy/filecopy.cpp);
//                                             copyflag only by copy_files (set) and the
//                                             copy page's confirmed Cancel (cleared)
//   tbytes                 sizes/options.cpp  the component pages; the copy reads it and
//                                             hands it to the billboards
//   esize                  sizes/catalogue.cpp read_catalogue
//   search_size            destination/search.cpp  the drive search
//   reg_roots              integrate/registry.cpp  constant in the product; tests redirect it
//   the journal            common/journal.cpp create_directory notes, do_install resets
//                                             and undoes, the copy run's record takes it over
//   the copy run           copy/rollback.cpp  begun, committed by copy_files; undone by
//                                             do_install, recovered by WinMain
//   the copy page's cache  copy/copypage.cpp, copy/pathline.cpp  the copy, for one run
extern HINSTANCE hInst;                // the program's instance (resource lookups)
extern HWND hParent;                   // the setup window
extern WORD langcode;                  // language index used by alerts
extern char strQuillon15[NAME_CCH];    // default Program Manager group name
// Bytes of the chosen components: a whole 64-bit count, since a selection may
// exceed 4 GiB and a wrapped total would pass the free-space test and stall
// the bar.
extern ULONGLONG tbytes;
