// System integration: program-folder page, Program Manager over DDE, and the
// registry entries written after a successful copy.
#pragma once

#include "shell/quillon.h"
#include <ddeml.h>

// ---- program folder and Program Manager ----
INT_PTR CALLBACK dlg_group(HWND, UINT, WPARAM, LPARAM);
UINT build_grouplst(HWND hdlg, char* lpszGroup);
HDDEDATA CALLBACK ddeCallBack(UINT uType, UINT uFmt, HCONV hconv, HSZ hsz1, HSZ hsz2,
                              HDDEDATA hdata, ULONG_PTR dwData1, ULONG_PTR dwData2);
BOOL update_progman(INSPB* pp, const char* lpszGroup);
UINT restart_dde(DWORD* pidinst, HCONV* phconv, HSZ* phserv);

// ---- registry ----
BOOL update_registry(INSPB* pp, GROUP* pgrp);
BOOL reg_sharedll(INSPB* pp);
BOOL reg_increment(HKEY hkey, LPCSTR lpszSubKey);
BOOL reg_classinfo(INSPB* pp);
BOOL reg_uinstall(INSPB* pp, GROUP* pgrp);
