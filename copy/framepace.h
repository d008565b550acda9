// The copy page is brought up to date at a screen's pace, not at every file
// and block: under Wine each showing costs a server round trip, a flush of
// the window to the X server and GDI text, far more often than any screen
// can show it.
#pragma once

#include <windows.h>

// Milliseconds between two showings of the copy page: about one frame of a
// 60 Hz screen, so a person sees every change a screen could show.
constexpr DWORD FRAME_MS = 15;

// True when a frame interval has passed since frame_shown, or frame_now asked
// for one. Reads only the local clock: no server round trip.
bool frame_due();
// The page was shown now; the next frame is due one interval later.
void frame_shown();
// The next frame_due is true whatever the clock says.
void frame_now();
// frame_now asked for a frame that has not been shown yet.
bool frame_asked();
