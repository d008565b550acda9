// The copy page while files are copied: the lines naming the file begun
// last and the bar, brought up to date once a frame, and the copy's buffer.
#pragma once

#include <windows.h>

constexpr DWORD COPY_BLOCK = 100000;   // the copy's buffer, read and written at once

// COPY_BLOCK bytes: the files of a copy page share one buffer, kept until
// release_copy_page; a copy without a page has its own, in *owned, for
// free_buffer. Null when it cannot be had.
BYTE* copy_buffer(HWND hDlg, HLOCAL* owned);
void free_buffer(HLOCAL owned);
// The page shows the file begun last and the exact percentage.
void catch_up_page(HWND hDlg);
// The page shows the file begun last and the bar once a frame, and Cancel is
// served there: a file that takes longer than a frame is still shown on its
// own, as is each row's first. False: the copy was cancelled.
bool show_file(HWND hDlg, const char* src, const char* dst);
// Between steps that name no file (a batch placed, its files flushed): the
// page is drawn and Cancel served once a frame (copyflag tells the answer).
void keep_page_live(HWND hDlg);
