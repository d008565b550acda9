// System integration: program-folder page, Program Manager over DDE, and the
// registry entries written after a successful copy.
#pragma once

#include "common/setup.h"
#include <ddeml.h>

// ---- program folder and Program Manager ----
INT_PTR CALLBACK dlg_group(HWND, UINT, WPARAM, LPARAM);
UINT build_grouplst(HWND hdlg, char* lpszGroup);
HDDEDATA CALLBACK ddeCallBack(UINT uType, UINT uFmt, HCONV hconv, HSZ hsz1, HSZ hsz2,
                              HDDEDATA hdata, ULONG_PTR dwData1, ULONG_PTR dwData2);
BOOL update_progman(const INSPB* pp, const char* lpszGroup);
UINT restart_dde(DWORD* pidinst, HCONV* phconv, HSZ* phserv);
// Opens instance, "PROGMAN" handle and conversation, as far as each
// succeeds; close_dde releases what is there.
UINT open_dde(DWORD* pidinst, HCONV* phconv, HSZ* phserv);
void close_dde(DWORD* pidinst, HCONV* phconv, HSZ* phserv);

// Adds one list entry per line-feed-ended line of text (the CR before the LF
// is dropped); text after the last line feed is not listed. Changes text in
// place. Returns the number of entries added.
int add_group_lines(HWND hlist, char* text);
// Index of the entry equal to name in any letter case, or LB_ERR.
int find_group(HWND hlist, const char* name);
// FALSE for an empty name or one holding a character that a folder name or
// the Program Manager command syntax cannot carry.
BOOL valid_group_name(const char* name);

constexpr int PROGMAN_BATCHES = 5;
// Formats command `index` of batch `batch` (0-based both) sent to Program
// Manager for the destination dst and the group. Returns 1 when formatted,
// 0 past the end of the batch, -1 when the command does not fit out.
int progman_command(WORD lcode, const char* dst, const char* group, int batch, int index,
                    char* out, int cch);

// ---- value and command text ----
// Every formatter refuses (returns FALSE, out empty) a result that does not fit.
// The path of file in dst, quoted when dst holds a blank.
BOOL format_command_line(const char* dst, const char* file, char* out, int cch);
// Open verb of a document type: program path and "%1".
BOOL format_open_command(const char* dst, const char* exe, char* out, int cch);
// Icon reference: program path, " ," and the icon index.
BOOL format_icon_ref(const char* dst, const char* exe, int index, char* out, int cch);
// Uninstaller command line; group is named only when it is not null.
BOOL format_uninstall(const char* dst, const char* group, char* out, int cch);
// HKLM key below "Software\Microsoft\<Windows or Windows NT>\CurrentVersion\".
BOOL format_machine_key(DWORD platform_id, const char* tail, char* out, int cch);

// ---- registry ----
// Where the registry steps write. The product uses the system roots; tests
// point them at keys of their own.
constexpr DWORD REG_PLATFORM_ASK = 0xFFFFFFFFu;
struct REGROOTS {
    HKEY machine;    // stands for HKEY_LOCAL_MACHINE
    HKEY classes;    // stands for HKEY_CLASSES_ROOT
    HKEY user;       // stands for HKEY_CURRENT_USER
    DWORD platform;  // platform id to assume, or REG_PLATFORM_ASK
};
extern REGROOTS reg_roots;
DWORD reg_platform_id();

BOOL update_registry(INSPB* pp, GROUP* pgrp);
BOOL reg_sharedll(INSPB* pp);
BOOL reg_increment(HKEY hkey, LPCSTR lpszSubKey);
// The value name under SharedDLLs of shared library index (0..6, in the
// order the counts are raised): its directory, system or Windows, and its
// file name. FALSE past the end or when it does not fit.
constexpr int SHARED_DLL_COUNT = 7;
BOOL shared_dll_value(int index, char* name, UINT cch);
BOOL reg_classinfo(INSPB* pp);
BOOL reg_uinstall(INSPB* pp, GROUP* pgrp);
