// The window, presenting and frame pacing. The picture itself is the renderer's back buffer (sprites.cpp).
#include "platform/video.h"

#include "platform/backend.h"
#include "platform/input.h"
#include "platform/sprites.h"
#include "platform/timing.h"

namespace {
bool started;
bool windowOpen;
bool screenOpen;
int64_t frameInterval;
int64_t lastRelease;
int presentedFrames;
}  // namespace

int InitSpriteSystem() {
    if (!BackendStart()) return 0;
    started = true;
    SetSpriteKeyColour(-1, 0);
    InitKeyboardInput();
    return 1;
}

int OpenGameWindow(int, int, int, int width, int height, const char* title, uint32_t) {
    if (!started || !BackendOpenWindow(title, width, height)) return 0;
    windowOpen = true;
    return 1;
}

int OpenScreenInWindow(int window, int, int, int, int, int, int, int) {
    if (window == 0 || !windowOpen) return 0;
    screenOpen = true;
    frameInterval = FrameInterval(BackendTickFrequency(), FRAME_CAP);
    lastRelease = 0;
    return 1;
}

int PollWindowEvent() { return windowOpen ? BackendPollEvent() : 0; }

int64_t FrameInterval(int64_t frequency, int cap) { return frequency / (cap + 1); }

int64_t FrameReleaseTime(int64_t now, int64_t lastRelease, int64_t interval) {
    // A frame goes out once more than one interval has passed since the last one; a frame whose own work
    // took longer than that goes out at once.
    return now - lastRelease > interval ? now : lastRelease + interval + 1;
}

void PresentFrame() {
    EndPixelAccess();
    SetDrawTarget(-1);
    if (!screenOpen) return;
    int64_t release = FrameReleaseTime(BackendTicks(), lastRelease, frameInterval);
    BackendWaitUntil(release);
    // The next interval counts from when this frame really went out: a wait that returned late (a busy
    // machine, a present that waited for the display) starts the schedule afresh instead of making the
    // following frames short to catch up.
    lastRelease = BackendTicks();
    BackendShowFrame(BackBufferPixels(), SCREEN_WIDTH, SCREEN_HEIGHT);
    ++presentedFrames;
    const int64_t shown = BackendTicks();
    if (StandStillWhileUnseen()) lastRelease += BackendTicks() - shown;  // the cap's schedule stood still too
}

int PresentedFrameCount() { return presentedFrames; }

void ShutdownScreen() {
    ShutdownSpriteSystem();
    screenOpen = false;
}

void DestroyGameWindows() {
    if (windowOpen) BackendCloseWindow();
    windowOpen = false;
}

void ShutdownPlatform() {
    if (started) BackendStop();
    started = false;
    presentedFrames = 0;
}

void ExitProcess(int code) { BackendExit(code); }
