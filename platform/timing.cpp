#include "platform/timing.h"

#include "platform/backend.h"

uint32_t NowMilliseconds() { return BackendMilliseconds(); }

void SleepMilliseconds(uint32_t milliseconds) { BackendSleep(milliseconds); }
