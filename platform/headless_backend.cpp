// The headless backend: no window and no device. Keys, joystick and the close request are set by a
// script; the clock is fake and moves only when the game sleeps or waits for its frame cap, so a whole game
// runs frame by frame at full speed with the timing it would have on a real machine.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/backend.h"
#include "platform/headless.h"

namespace {
constexpr int64_t TICKS_PER_SECOND = 1000000;   // the fake counter counts microseconds

struct HeadlessJoystick {
    bool attached;
    int x, y;
    uint32_t buttons;
};

uint8_t keys[256];
char keyCharacters[256];
bool focused = true;
bool displayAvailable = true;
bool closeRequested;
int64_t shownAgainAt;                   // while the clock is before this, the window is minimised
std::function<void()> minimisedHook;
HeadlessJoystick joysticks[JOYSTICK_SLOTS];
int64_t clockMicros;
int64_t waitLateness;
uint32_t randomSeed = 1;
int frameNumber;
std::function<void(int)> frameHook;

std::mutex audioMutex;
bool audioAvailable = true;
bool mixesOnFrameLoop;
bool audioPaused;
void (*audioMix)(void*, int16_t*, int);
void* audioUser;

// An unshifted US layout, the default of every key's character.
void DefaultKeyCharacters() {
    std::memset(keyCharacters, 0, sizeof keyCharacters);
    auto row = [](int first, const char* chars) {
        for (int i = 0; chars[i]; ++i) keyCharacters[first + i] = chars[i];
    };
    row(0x02, "1234567890-=");
    row(0x10, "qwertyuiop[]");
    row(0x1E, "asdfghjkl;'`");
    row(0x2B, "\\zxcvbnm,./");
    keyCharacters[0x39] = ' ';
    keyCharacters[0x1C] = '\r';
    keyCharacters[0x0E] = '\b';
}

}  // namespace

void HeadlessReset() {
    std::memset(keys, 0, sizeof keys);
    DefaultKeyCharacters();
    focused = true;
    displayAvailable = true;
    closeRequested = false;
    std::memset(joysticks, 0, sizeof joysticks);
    clockMicros = 0;
    waitLateness = 0;
    randomSeed = 1;
    frameNumber = 0;
    frameHook = nullptr;
    shownAgainAt = 0;
    minimisedHook = nullptr;
    std::lock_guard<std::mutex> lock(audioMutex);
    audioAvailable = true;
    mixesOnFrameLoop = false;
    audioPaused = false;
}

void HeadlessSetKey(int code, bool down) {
    if (code >= 0 && code < 256) keys[code] = down ? 0x80 : 0;
}
void HeadlessReleaseAllKeys() { std::memset(keys, 0, sizeof keys); }
void HeadlessSetKeyCharacter(int code, char c) {
    if (code >= 0 && code < 256) keyCharacters[code] = c;
}
void HeadlessSetFocus(bool value) { focused = value; }
void HeadlessSetDisplayAvailable(bool available) { displayAvailable = available; }
void HeadlessSetJoystickCount(int count) {
    for (int n = 0; n < JOYSTICK_SLOTS; ++n) joysticks[n].attached = n < count;
}
void HeadlessPlugJoystick(int n, bool plugged) {
    if (n >= 0 && n < JOYSTICK_SLOTS) joysticks[n].attached = plugged;
}
void HeadlessSetJoystick(int n, int x, int y, uint32_t buttonsDown) {
    if (n >= 0 && n < JOYSTICK_SLOTS) joysticks[n] = {joysticks[n].attached, x, y, buttonsDown};
}
void HeadlessRequestClose() { closeRequested = true; }
void HeadlessMinimise(uint32_t milliseconds, std::function<void()> whileMinimised) {
    shownAgainAt = clockMicros + int64_t(milliseconds) * 1000;
    minimisedHook = std::move(whileMinimised);
}
bool HeadlessAudioPaused() {
    std::lock_guard<std::mutex> lock(audioMutex);
    return audioPaused;
}
void HeadlessSetClock(uint32_t milliseconds) { clockMicros = int64_t(milliseconds) * 1000; }
void HeadlessSetWaitLateness(uint32_t microseconds) { waitLateness = microseconds; }
void HeadlessAdvanceClock(uint32_t milliseconds) { clockMicros += int64_t(milliseconds) * 1000; }
void HeadlessSetRandomSeed(uint32_t seed) { randomSeed = seed; }
void HeadlessOnFrame(std::function<void(int)> hook) { frameHook = std::move(hook); }
void HeadlessSetAudioAvailable(bool available) {
    std::lock_guard<std::mutex> lock(audioMutex);
    audioAvailable = available;
}
void HeadlessSetMixOnFrameLoop(bool onFrameLoop) { mixesOnFrameLoop = onFrameLoop; }

bool HeadlessPumpAudio(int16_t* out, int frames) {
    std::lock_guard<std::mutex> lock(audioMutex);
    if (!audioMix) return false;
    if (audioPaused) std::memset(out, 0, sizeof(int16_t) * size_t(frames > 0 ? frames : 0));
    else audioMix(audioUser, out, frames);
    return true;
}

bool BackendStart() {
    if (keyCharacters[0x1E] == 0) DefaultKeyCharacters();  // a test that never called HeadlessReset
    if (!displayAvailable) std::fprintf(stderr, "vexed-drifts: cannot open a window: no display in this test\n");
    return displayAvailable;
}
void BackendStop() {}
bool BackendOpenWindow(const char*, int, int) { return true; }
void BackendCloseWindow() {}

void BackendShowFrame(const uint32_t*, int, int) {
    ++frameNumber;
    if (frameHook) frameHook(frameNumber);
}

int BackendPollEvent() {
    if (!closeRequested) return 0;
    closeRequested = false;
    return 0x10;
}

bool BackendVisible() { return clockMicros >= shownAgainAt; }

bool BackendWaitShown(uint32_t milliseconds) {
    if (minimisedHook) minimisedHook();
    if (!BackendVisible()) clockMicros = std::min(shownAgainAt, clockMicros + int64_t(milliseconds) * 1000);
    return BackendVisible() || closeRequested;
}

bool BackendReadKeys(uint8_t out[256]) {
    if (!focused || !BackendVisible()) return false;
    std::memcpy(out, keys, 256);
    return true;
}

char BackendKeyCharacter(int code) {
    if (code < 0 || code >= 256) return 0;
    char c = keyCharacters[code];
    bool shift = (keys[0x2A] | keys[0x36]) & 0x80;
    return shift ? ShiftedCharacter(c) : c;
}

int BackendOpenJoysticks() { return JOYSTICK_SLOTS; }

bool BackendReadJoystick(int n, int& x, int& y, uint8_t buttons[32]) {
    if (n < 0 || n >= JOYSTICK_SLOTS || !joysticks[n].attached) return false;
    x = joysticks[n].x;
    y = joysticks[n].y;
    for (int b = 0; b < 32; ++b) buttons[b] = (joysticks[n].buttons >> b) & 1 ? 0x80 : 0;
    return true;
}

void BackendCloseJoysticks() {}
int64_t BackendTicks() { return clockMicros; }
int64_t BackendTickFrequency() { return TICKS_PER_SECOND; }
void BackendWaitUntil(int64_t ticks) {
    if (ticks > clockMicros) clockMicros = ticks;
    clockMicros += waitLateness;
    waitLateness = 0;
}
uint32_t BackendMilliseconds() { return uint32_t(clockMicros / 1000); }
void BackendSleep(uint32_t milliseconds) { clockMicros += int64_t(milliseconds) * 1000; }
uint32_t BackendRandomSeed() { return randomSeed; }
void BackendExit(int code) { throw HeadlessExit{code}; }

bool BackendOpenAudio(void (*mix)(void*, int16_t*, int), void* user, std::string& error) {
    std::lock_guard<std::mutex> lock(audioMutex);
    if (!audioAvailable) {
        error = "no audio device in this test";
        return false;
    }
    audioMix = mix;
    audioUser = user;
    return true;
}

void BackendCloseAudio() {
    std::lock_guard<std::mutex> lock(audioMutex);
    audioMix = nullptr;
    audioUser = nullptr;
}

void BackendPauseAudio(bool paused) {
    std::lock_guard<std::mutex> lock(audioMutex);
    audioPaused = paused;
}

bool BackendMixesOnFrameLoop() { return mixesOnFrameLoop; }
