// The copy page's "Now copying:" and "To:" lines, kept cheap to change at
// every frame while the copy runs.
#pragma once

#include <windows.h>

// From here on SetWindowText on either line keeps the text in the line and
// paints it at once; a null handle is left alone.
void attach_path_lines(HWND src_line, HWND dst_line);
// True while SetWindowText on line paints it at once.
bool path_line_attached(HWND line);
// Gives the lines back to their own procedure with the text they showed last.
void release_path_lines();
