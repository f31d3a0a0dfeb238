#pragma once
// The millisecond clock and sleeping. The clock stands still while the picture cannot be seen.
#include <cstdint>

uint32_t NowMilliseconds();   // free-running, wraps after 49.7 days; only differences are used
void SleepMilliseconds(uint32_t milliseconds);
bool StandStillWhileUnseen(); // returns false at once while the picture is seen; else waits, silent, until it is again
uint32_t UnseenMilliseconds(); // the time spent unseen so far, which the clock leaves out
