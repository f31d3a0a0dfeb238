#pragma once
// The millisecond clock and sleeping.
#include <cstdint>

uint32_t NowMilliseconds();   // free-running, wraps after 49.7 days; only differences are used
void SleepMilliseconds(uint32_t milliseconds);
