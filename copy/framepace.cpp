// The clock of the copy page's frames.
#include "copy/framepace.h"

namespace {

// Counter ticks per frame; 0 where the system has no performance counter
// (the millisecond tick count serves then), -1 until first asked.
LONGLONG frame_ticks = -1;
LONGLONG last_frame;
bool forced = true;

LONGLONG counter_now()
{
    if (frame_ticks < 0) {
        LARGE_INTEGER freq;
        frame_ticks = QueryPerformanceFrequency(&freq) && freq.QuadPart > 0
                          ? freq.QuadPart * FRAME_MS / 1000
                          : 0;
    }
    LARGE_INTEGER now;
    if (frame_ticks > 0 && QueryPerformanceCounter(&now))
        return now.QuadPart;
    frame_ticks = 0;
    return GetTickCount();
}

}  // namespace

bool frame_due()
{
    if (forced)
        return true;
    LONGLONG now = counter_now();
    if (frame_ticks > 0)
        return now - last_frame >= frame_ticks;
    // The tick count wraps after 49 days; the difference of two DWORDs does not care.
    return static_cast<DWORD>(now) - static_cast<DWORD>(last_frame) >= FRAME_MS;
}

void frame_shown()
{
    last_frame = counter_now();
    forced = false;
}

void frame_now()
{
    forced = true;
}

bool frame_asked()
{
    return forced;
}
