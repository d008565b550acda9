// The dialog runner, the numbered alerts and the localized strings: how every
// page of every subsystem is shown and how it talks to the user. Below the
// pages, above common/ alone, so that any program of the product that shows
// a page links this and common/ and nothing else.
#pragma once

#include "common/setup.h"

// ---- resources by language (localized.cpp) ----
// Windows language identifiers by language index.
extern const WORD lang[7];
// Finds a resource in the language of lcode; falls back to the neutral
// sub-language of the same primary language (1036 finds 12, 1031 finds 7).
HRSRC find_localized(LPCSTR type, LPCSTR name, WORD lcode);
HRSRC find_by_langid(LPCSTR type, LPCSTR name, WORD langid);
// The data of a found resource and its size in bytes; nullptr when it cannot be had.
const void* lock_resource(HRSRC hrsrc, DWORD* size);

// ---- the dialog runner (runner.cpp) ----
INT_PTR call_dialog(HWND hWnd, WORD id, WORD lcode, void* pp, DLGPROC dlg_proc);
HWND create_dialog(HWND hWnd, WORD id, WORD lcode, void* pp, DLGPROC dlg_proc);
void center_dialog(HWND hDlg);
// The common Cancel (confirmed with alert 1, ends with 2) and Back (ends
// with 3) of a page; TRUE when cid was one of them.
BOOL page_cancel_or_back(HWND hdlg, int cid);
void drain_queue();                   // dispatch every waiting message

// ---- numbered alerts (alerts.cpp) ----
// Each returns the id of the button pressed: the answers named in res/resource.h.
INT_PTR alert(HWND hWnd, WORD id);
// An alert whose name line shows name (the file concerned).
INT_PTR alert_naming(HWND hWnd, WORD id, const char* name);
INT_PTR CALLBACK dlg_alert(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

// ---- strings (strings.cpp) ----
// Copies string id of language lcode into pstr (cpmax bytes) in the ANSI code
// page; a string that does not fit yields an empty string.
char* get_string(WORD lcode, WORD id, char* pstr, int cpmax);
