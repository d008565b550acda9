// Whether the disk the copy writes to makes each flush wait for it, learned
// from the copy's own flushes. Where it does, a file the run creates is cut
// to nothing once made and closed as soon as it is written: a journaling
// file system then starts writing a file truncated and closed at once,
// while the next ones are written, and its flush finds it on the disk.
// Where flushes cost nothing (a disk in memory), closing and opening every
// file again would cost more than all the flushes.
#pragma once

#include <windows.h>

// The clock the flushes are timed with.
LONGLONG pace_clock();
// One flush of a copied file, begun at pace_clock() == since, has ended.
void pace_flushed(LONGLONG since);
// Learned from enough flushes that they wait for the disk.
bool pace_disk_waits();
// A new run learns its disk anew; a test can say what the disk does.
void pace_forget(bool waits = false);
