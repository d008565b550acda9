// How long the copy's flushes wait for the disk.
#include "copy/diskpace.h"

namespace {

// Under Wine a flush of a file on a disk in memory returns in a few
// microseconds; on a virtual machine's disk it waits some 250, and there
// closing early (about 170 microseconds to close and open a file again)
// costs what it saves; on a disk image through a loop device each flush
// waits 750 to 1,100 and closing early saves some 40% of a fresh install.
constexpr LONGLONG WAITING_FLUSH_US = 500;
// A single flush can be slow for any reason (the system paged, another
// program wrote): the mean of several decides.
constexpr int FLUSHES_TO_LEARN = 16;

LONGLONG ticks_per_second = -1;   // 0: no performance counter, milliseconds then
LONGLONG flushed_ticks;
int flushes;
bool waits;

}  // namespace

LONGLONG pace_clock()
{
    LARGE_INTEGER v;
    if (ticks_per_second < 0)
        ticks_per_second = QueryPerformanceFrequency(&v) && v.QuadPart > 0 ? v.QuadPart : 0;
    if (ticks_per_second > 0 && QueryPerformanceCounter(&v))
        return v.QuadPart;
    ticks_per_second = 0;
    return GetTickCount();
}

void pace_flushed(LONGLONG since)
{
    if (waits)
        return;   // once learned, it stays so for the run
    flushed_ticks += pace_clock() - since;
    if (++flushes < FLUSHES_TO_LEARN)
        return;
    const LONGLONG per_second = ticks_per_second > 0 ? ticks_per_second : 1000;
    waits = flushed_ticks * 1000000 / per_second > WAITING_FLUSH_US * flushes;
}

bool pace_disk_waits()
{
    return waits;
}

void pace_forget(bool disk_waits)
{
    flushed_ticks = 0;
    flushes = 0;
    waits = disk_waits;
}
