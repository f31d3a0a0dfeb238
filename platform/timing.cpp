#include "platform/timing.h"

#include "platform/backend.h"

namespace {
constexpr uint32_t UNSEEN_CHECK_MS = 250;  // a backend that cannot wait for its window to be shown looks this often
uint32_t unseenMs;
bool standing;                 // in StandStillWhileUnseen: the clock reads as when it began
uint32_t standingSince;
}  // namespace

uint32_t NowMilliseconds() { return (standing ? standingSince : BackendMilliseconds()) - unseenMs; }

void SleepMilliseconds(uint32_t milliseconds) { BackendSleep(milliseconds); }

// The one place where the game stands still for a minimised window or a hidden page: nothing runs, the
// sound is held, and the time spent is left out of the clock, so that every timer of the game carries on
// from where it stood.
bool StandStillWhileUnseen() {
    if (BackendVisible()) return false;
    standingSince = BackendMilliseconds();
    standing = true;
    BackendPauseAudio(true);
    while (!BackendWaitShown(UNSEEN_CHECK_MS)) {
    }
    BackendPauseAudio(false);
    unseenMs += BackendMilliseconds() - standingSince;
    standing = false;
    return true;
}

uint32_t UnseenMilliseconds() { return unseenMs; }
