// Components and disk space: the size catalogue on the medium and the
// component and sample pages.
#pragma once

#include "common/setup.h"

constexpr int ESIZE_COUNT = 19;
extern DWORD esize[ESIZE_COUNT];

BOOL get_sourcesize(WORD lang, WORD proc);
// The catalogue below a source root ("D:", \\server\share); FALSE when it does not fit.
BOOL catalogue_path(const char* root, WORD lang, WORD proc, char* out, size_t cchOut);
// Reads that catalogue into esize; FALSE (table untouched) when it cannot be opened.
BOOL read_catalogue(const char* root, WORD lang, WORD proc);
// Appends language directory, platform suffix and extension; FALSE when it does not fit.
BOOL build_sizepath(char* pdst, size_t cchDst, WORD lcode, WORD platform);

INT_PTR CALLBACK dlg_options(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK dlg_samples(HWND, UINT, WPARAM, LPARAM);

void swap_flag(DWORD* pflag, DWORD swap);
DWORD get_size(DWORD dir);
int idx_to_id(DWORD id);
ULONGLONG get_samplesize(const INSPB* pp);
// Free bytes on the drive of pdir, whole (64-bit); 0 when the drive does not answer.
ULONGLONG get_freespace(const char* pdir);
// What the component pages ask for the free space: get_freespace, unless a test
// gives the pages a drive of a known figure.
extern ULONGLONG (*page_freespace)(const char* pdir);
// Formats size with thousands separators ("," for English, "." otherwise).
int format_bytes(ULONGLONG size, WORD lcode, char* out, size_t cchOut);
void set_dlg_bytes(HWND hdlg, int cid, ULONGLONG size);
