// The uninstaller: removes an installation of the product from the directory
// it runs in. What goes is what the installation brought and nobody changed
// since: the files that still hold the medium's bytes (the medium's manifest
// says which), the settings file, the registry entries that still point at
// this installation, its Program Manager group. A file the user made or
// changed stays, and so does its directory.
#pragma once

#include "common/setup.h"

#include <string>
#include <vector>

// ---- command line ----
struct UNARGS {
    bool silent = false;        // /SILENT: asks nothing, reports only what needs an answer
    bool group_given = false;   // /GROUP:"name": the group setup created
    std::string group;          // as given, not checked yet
};
// false: an unknown or malformed argument; the usage message is due.
bool parse_args(const char* cmd, UNARGS* args);

// ---- the manifest ----
// A main file of every platform tree on the medium, so setup copies it into
// the product's directory: every file a copy can put there, with its size
// and CRC-32. It lies in a folder the user can write, so every entry is
// checked before it is followed.
constexpr char MANIFEST_NAME[] = "uinstall.lst";
struct MANIFEST_FILE {
    char kind;              // 'F' a product file, 'S' the settings file, 'T' the "New" template
    std::string lang;       // language tree, "USA", "FRG", ...
    std::string platform;   // platform tree; empty for a file of the language tree
    std::string path;       // below the product's directory, levels separated by '\'
    ULONGLONG size;
    DWORD crc;
};
enum { MANIFEST_OK, MANIFEST_MISSING, MANIFEST_UNREADABLE };
// Lines that are malformed or lead outside dir are refused: their text goes
// into refused and nothing they name is touched. MANIFEST_UNREADABLE for a
// text that is no manifest at all (no header, too large).
int manifest_parse(const char* text, size_t n, const char* dir, std::vector<MANIFEST_FILE>* files,
                   std::vector<std::string>* refused);
int manifest_read(const char* file, const char* dir, std::vector<MANIFEST_FILE>* files,
                  std::vector<std::string>* refused);
// The full path of rel below dir, into out; false for a path that would lead
// elsewhere (a drive, a share, a rooted path, "..", a level of dots or with
// a trailing dot or blank, a character no file name holds) or not fit.
bool inside_path(const char* dir, const char* rel, char* out, size_t cch);
// Its CRC-32 (that of zip and PNG, as the medium builder writes it); false:
// the file cannot be read.
bool file_crc(const char* path, ULONGLONG* size, DWORD* crc);

// ---- what this installation holds ----
struct PLAN {
    WORD lcode = 0;                    // the installation's language; English when unknown
    std::vector<std::string> files;    // to remove: the medium's bytes, and the settings file
    std::vector<std::string> dirs;     // to remove once empty, deepest first, dir itself last
};
// own: the running uninstaller's file, which goes last, with the manifest.
void make_plan(const char* dir, const char* own, const std::vector<MANIFEST_FILE>& files,
               PLAN* plan);
// The "New" template in the Windows directory's ShellNew, when it still holds
// the bytes of one of the manifest's templates; empty otherwise.
std::string template_of(const std::vector<MANIFEST_FILE>& files);
// The files below dir, relative to it, sorted.
std::vector<std::string> files_below(const char* dir);
// The medium itself (a CD, or a product tree beside the system-file tree):
// nothing there is an installation.
bool on_medium(const char* dir);

// ---- the registry ----
// Lowers a usage count of n little-endian bytes (the widths reg_increment
// raises) by one: never below zero, never wrapping. true when it is zero now:
// the value is to be deleted.
bool count_lower(BYTE* count, DWORD n);
// The uninstall entry when it names the uninstaller of dir; its command line in cmd.
bool entry_is_ours(const char* dir, std::string* cmd);
// Lowers each shared library's count once per installation: a note in the
// uninstall entry, written before each count, lets a start after a kill go
// on where the last one stopped rather than lower a count twice.
void lower_counts();
// File types, "New" template and application path, each only while it still
// points at dir; true when there was one (with remove false: would be one).
bool remove_classes(const char* dir, bool remove);
void remove_entry();

// ---- Program Manager ----
// DeleteGroup for the group setup created.
void remove_group(const char* group);
// The product's items from the groups that hold them (a group that existed
// before setup): found by their command lines in dir.
void remove_items(const char* dir);
// A group's contents as Program Manager answers them: each item's name and
// command line (quotes removed).
void group_items(const char* text, std::vector<std::pair<std::string, std::string>>* items);

// ---- the removal, undone whole when it cannot finish ----
// An earlier uninstall that never ended is finished or undone first: a
// result of settle_run (copy/copy.h).
int settle_earlier(HWND owner);
enum { REMOVED, PUT_BACK, NOT_BEGUN };
// Renames each file aside, then removes them all at once; a file held open
// asks Retry, Exit (everything put back) or Ignore (it stays).
int remove_files(HWND owner, const std::vector<std::string>& files);

// ---- the uninstaller's own file ----
// A running program cannot delete its own file: the original starts a copy
// of itself from the temporary directory, which does the work.
struct ORIGIN {
    char exe[PATH_CCH] = "";     // the original program's file, long names
    char dir[PATH_CCH] = "";     // its directory: the installation
    bool copy = false;           // this process is the copy; the original waits
    HANDLE process = nullptr;    // the original, to wait for its end
    HANDLE done = nullptr;       // set when all but the original's file is done
};
// The original: starts the copy and waits for it; code is what to end with.
// false when no copy could be started: the original then does the work.
bool hand_over(const char* exe, const char* cmdline, int* code);
// In the copy: what the original handed over; false in the original.
bool taken_over(ORIGIN* origin);
// The original working in place.
bool here(ORIGIN* where, const char* exe);
// Lets the original end and waits for it, so that its file can go.
void let_origin_go(ORIGIN* origin);
// A file of a running program: removed now if the system allows, else at the next restart.
void remove_at_restart(const char* path);

// ---- the run ----
enum { EXIT_DONE, EXIT_DECLINED, EXIT_USAGE, EXIT_NO_MANIFEST, EXIT_NOT_FINISHED };
int uninstall(ORIGIN* where, const char* cmdline);
// A message with a list (the files left, the lines refused) below the name
// of the directory or file concerned.
INT_PTR show_list(WORD alert_id, const std::vector<std::string>& lines, const char* name);
