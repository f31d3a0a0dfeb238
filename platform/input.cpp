// Keyboard and joystick state, polled once per frame. The backend delivers set-1 snapshots; the release
// latches and the typed-text conversion live here, the same for every backend.
#include "platform/input.h"

#include <cstring>

#include "platform/backend.h"

namespace {
constexpr int KEY_COUNT = 256;
constexpr int LATCH_COUNT = 255;             // codes 0..254 carry latches

uint8_t snapshot[KEY_COUNT];
bool acquired;
bool keyboardOpen;
bool releaseLatch[LATCH_COUNT];              // WasKeyReleased's table
bool typedLatch[LATCH_COUNT];                // ReadTypedText's table, separate so neither steals the other's release
int typedTextReads;

struct Joystick {
    int x, y;
    uint8_t buttons[32];
};
constexpr int MAX_JOYSTICKS = 16;
Joystick joysticks[MAX_JOYSTICKS];
int joystickTotal;

bool Down(int code) { return (snapshot[code] & 0x80) != 0; }

// One latch step: the key's release is reported once, and only if a call saw it down before.
bool LatchReleased(bool latch[], int code) {
    if (Down(code)) {
        latch[code] = true;
        return false;
    }
    if (!latch[code]) return false;
    latch[code] = false;
    return true;
}

// Keypad keys type fixed characters whatever the Num Lock state.
char KeypadCharacter(int code) {
    switch (code) {
        case 0x52: return '0';
        case 0x4F: return '1';
        case 0x50: return '2';
        case 0x51: return '3';
        case 0x4B: return '4';
        case 0x4C: return '5';
        case 0x4D: return '6';
        case 0x47: return '7';
        case 0x48: return '8';
        case 0x49: return '9';
        case 0xB5: return '/';
        case 0x53: return '.';
        default: return 0;
    }
}
}  // namespace

char ShiftedCharacter(char c) {
    static const char plain[] = "1234567890-=[];'`\\,./";
    static const char shifted[] = "!@#$%^&*()_+{}:\"~|<>?";
    if (c >= 'a' && c <= 'z') return char(c - 'a' + 'A');
    const char* at = c ? std::strchr(plain, c) : nullptr;
    return at ? shifted[at - plain] : c;
}

int InitKeyboardInput() {
    if (keyboardOpen) return 0;
    keyboardOpen = true;
    acquired = false;
    std::memset(snapshot, 0, sizeof snapshot);
    std::memset(releaseLatch, 0, sizeof releaseLatch);
    std::memset(typedLatch, 0, sizeof typedLatch);
    return 1;
}

void ShutdownKeyboardInput() {
    keyboardOpen = false;
    acquired = false;
}

int SampleKeyboard() {
    if (!keyboardOpen) return 0;
    acquired = BackendReadKeys(snapshot);
    if (!acquired) std::memset(snapshot, 0, sizeof snapshot);
    return acquired ? 1 : 0;
}

int IsKeyDown(int code) {
    if (!acquired) return 0;
    if (code == -1) {
        for (int k = 0; k < LATCH_COUNT; ++k)
            if (Down(k)) return 1;
        return 0;
    }
    if (code < 0 || code >= KEY_COUNT) return 0;
    return Down(code) ? 1 : 0;
}

int WasKeyReleased(int code) {
    if (!acquired || code < 0 || code >= LATCH_COUNT) return 0;
    return LatchReleased(releaseLatch, code) ? 1 : 0;
}

std::string ReadTypedText() {
    ++typedTextReads;
    std::string text;
    if (!acquired) return text;
    for (int code = 0; code < LATCH_COUNT; ++code) {
        if (!LatchReleased(typedLatch, code)) continue;
        char c = KeypadCharacter(code);
        if (c == 0) c = BackendKeyCharacter(code);
        if (c == 0 || c == '\r' || c == '\n' || c == '\b') continue;
        text += c;
    }
    return text;
}

int TypedTextReads() { return typedTextReads; }

int DetectJoysticks() {
    joystickTotal = BackendOpenJoysticks();
    if (joystickTotal > MAX_JOYSTICKS) joystickTotal = MAX_JOYSTICKS;
    std::memset(joysticks, 0, sizeof joysticks);
    return joystickTotal;
}

void ShutdownJoysticks() {
    BackendCloseJoysticks();
    joystickTotal = 0;
}

int SampleJoystick(int n) {
    if (n < 0 || n >= joystickTotal) return 0;
    Joystick fresh{};
    // A device pulled out reads as released: a button held as it went must not stay down.
    const bool read = BackendReadJoystick(n, fresh.x, fresh.y, fresh.buttons);
    joysticks[n] = read ? fresh : Joystick{};
    return read ? 1 : 0;
}

static int AxisDirection(int value) { return value < -500 ? -1 : value > 500 ? 1 : 0; }

int GetJoystickX(int n) { return n >= 0 && n < joystickTotal ? AxisDirection(joysticks[n].x) : 0; }

int GetJoystickY(int n) { return n >= 0 && n < joystickTotal ? AxisDirection(joysticks[n].y) : 0; }

int IsJoystickButtonDown(int n, int button) {
    if (n < 0 || n >= joystickTotal || button < 1 || button > 32) return 0;
    return (joysticks[n].buttons[button - 1] & 0x80) ? 1 : 0;
}
