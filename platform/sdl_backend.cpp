// The SDL backend: the window shows the finished back buffer stretched to its client area; keyboard,
// joystick, clock and the audio device come from SDL. This is the only file that includes SDL.
#include <SDL.h>
#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <thread>

#include "platform/backend.h"
#include "platform/key_table.h"
#include "platform/stretch.h"

namespace {
SDL_Window* window;
SDL_Renderer* renderer;          // a graphics card's renderer, when there is one ...
SDL_Texture* texture;
SDL_Surface* frameSurface;       // ... else the back buffer is copied into the window's own surface
const uint32_t* framePixels;
bool closePending;
// A start-up failure, said in one line on stderr; on Windows also in a message box, since a program
// started from the desktop has no console to show stderr.
__attribute__((format(printf, 1, 2))) void SayWhyNot(const char* format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    std::fprintf(stderr, "%s\n", line);
#ifdef _WIN32
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Vexed Drifts", line, nullptr);
#endif
}

// A plugged-in device: a known game controller through SDL's mapping, any other joystick raw.
struct Pad {
    SDL_GameController* controller;
    SDL_Joystick* joystick;      // the controller's own joystick, or the raw one
    SDL_JoystickID id;
};
Pad pads[JOYSTICK_SLOTS];
SDL_AudioDeviceID audioDevice;
void (*audioMix)(void*, int16_t*, int);
void* audioUser;

// Drivers SDL takes when no real one starts: they open no window anyone can see.
bool IsSubstituteDriver(const char* driver) {
    return !driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
           std::strcmp(driver, "evdev") == 0;
}
// An X server resets itself when its last client disconnects, and drops a connection that arrives
// during the reset: a copy started just as another one ended (the display's last client) can find the
// display refusing it for a moment. One more try after this pause finds it ready.
constexpr Uint32 RETRY_DELAY_MS = 200;

SDL_Scancode ScancodeOf(int set1) {
    for (int k = 0; k < KEY_NAME_COUNT; ++k)
        if (KEY_NAMES[k].set1 == set1) return SDL_Scancode(KEY_NAMES[k].usb);  // SDL's scancodes are USB usages
    return SDL_SCANCODE_UNKNOWN;
}

// A renderer that the processor emulates (an X server without a graphics card, a remote display) costs
// far more than copying into the window's surface, so only a real graphics card's renderer is used.
bool RendererIsEmulated(SDL_Renderer* candidate) {
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(candidate, &info) != 0 || !(info.flags & SDL_RENDERER_ACCELERATED)) return true;
    if (std::strncmp(info.name, "opengl", 6) != 0) return false;
    using GetString = const unsigned char* (*)(unsigned);
    auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const unsigned char* name = getString ? getString(0x1F01) : nullptr;  // GL_RENDERER
    if (!name) return true;
    const char* text = reinterpret_cast<const char*>(name);
    return std::strstr(text, "llvmpipe") || std::strstr(text, "softpipe") || std::strstr(text, "Software");
}

// Whether a graphics card can draw for this process. Without a device node for one, Linux's OpenGL can
// only be emulated, and setting that up (about 0.3 s) to find so and throw it away is skipped; elsewhere,
// and with a device, the renderer is made and judged by RendererIsEmulated.
bool MayHaveGraphicsCard() {
    if (std::strcmp(SDL_GetPlatform(), "Linux") != 0) return true;
    const char* software = SDL_getenv("LIBGL_ALWAYS_SOFTWARE");
    if (software && *software && std::strcmp(software, "0") != 0) return false;
    // The first few device nodes are enough to tell (they are numbered from card0 and renderD128); a plain
    // stat keeps the file-system library, which is large when linked statically, out of the program.
    struct stat node;
    char path[32];
    for (int n = 0; n < 8; ++n) {
        std::snprintf(path, sizeof path, "/dev/dri/card%d", n);
        if (stat(path, &node) == 0) return true;
        std::snprintf(path, sizeof path, "/dev/dri/renderD%d", 128 + n);
        if (stat(path, &node) == 0) return true;
    }
    return stat("/dev/nvidia0", &node) == 0;
}

void ShowLastFrame() {
    if (renderer) {
        SDL_RenderClear(renderer);
        SDL_RenderCopy(renderer, texture, nullptr, nullptr);  // stretched to the whole client area
        SDL_RenderPresent(renderer);
        return;
    }
    SDL_Surface* target = SDL_GetWindowSurface(window);   // remade by SDL after a resize
    if (!target || !frameSurface) return;
    // The common 32-bit layouts are stretched here, far faster than SDL's general scaler; others go to it.
    const Uint32 format = target->format->format;
    const bool same = format == SDL_PIXELFORMAT_XBGR8888 || format == SDL_PIXELFORMAT_ABGR8888;
    const bool swapped = format == SDL_PIXELFORMAT_XRGB8888 || format == SDL_PIXELFORMAT_ARGB8888;
    if ((same || swapped) && SDL_LockSurface(target) == 0) {
        StretchPixels(framePixels, frameSurface->w, frameSurface->h, static_cast<uint32_t*>(target->pixels),
                      target->w, target->h, target->pitch / int(sizeof(uint32_t)), swapped);
        SDL_UnlockSurface(target);
    } else if (target->w == frameSurface->w && target->h == frameSurface->h) {
        SDL_BlitSurface(frameSurface, nullptr, target, nullptr);
    } else {
        SDL_BlitScaled(frameSurface, nullptr, target, nullptr);
    }
    SDL_UpdateWindowSurface(window);
}

// A device plugged in (SDL reports those present at start-up too) takes the first free slot.
void PlugPad(int deviceIndex) {
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    Pad* free = nullptr;
    for (Pad& pad : pads) {
        if (pad.joystick && pad.id == id) return;   // already open
        if (!pad.joystick && !free) free = &pad;
    }
    if (!free) return;
    if (SDL_IsGameController(deviceIndex) && (free->controller = SDL_GameControllerOpen(deviceIndex)))
        free->joystick = SDL_GameControllerGetJoystick(free->controller);
    else
        free->joystick = SDL_JoystickOpen(deviceIndex);
    free->id = id;
}

void UnplugPad(SDL_JoystickID id) {
    for (Pad& pad : pads) {
        if (!pad.joystick || pad.id != id) continue;
        if (pad.controller) SDL_GameControllerClose(pad.controller);
        else SDL_JoystickClose(pad.joystick);
        pad = Pad{};
    }
}

// Whether the window fills its display without a frame. SDL's flags follow only the switches made
// through SDL; this also sees a whole screen that the window manager made (its own key or menu).
bool FillsDisplay() {
    SDL_Rect bounds;
    const int display = SDL_GetWindowDisplayIndex(window);
    if (display < 0 || SDL_GetDisplayBounds(display, &bounds) != 0) return false;
    int x, y, w, h, top = 0, left = 0, bottom = 0, right = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &w, &h);
    SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right);  // zeros where unknown
    return x == bounds.x && y == bounds.y && w == bounds.w && h == bounds.h && top + left + bottom + right == 0;
}

// Whether the window is maximised when not on the whole screen: kept while it is, as window managers
// drop the maximised state for the whole screen, and SDL with it. While SDL believes the window on the
// whole screen, its maximised flag is not kept up to date, so it is not read then.
bool maximisedInWindow;

void NoteWindowState() {
    const Uint32 flags = SDL_GetWindowFlags(window);
    if (!(flags & SDL_WINDOW_FULLSCREEN) && !FillsDisplay()) maximisedInWindow = flags & SDL_WINDOW_MAXIMIZED;
}

// F11, or Alt with Return, switches between the window and the whole screen (at the desktop's own mode,
// the picture stretched as in a window), and back to the window as it was: maximised stays maximised.
// Return pressed with Alt does not reach the game.

void HandleKeyEvent(const SDL_KeyboardEvent& key) {
    if (key.type != SDL_KEYDOWN || key.repeat || !window) return;
    const SDL_Scancode code = key.keysym.scancode;
    const bool altReturn = (code == SDL_SCANCODE_RETURN || code == SDL_SCANCODE_KP_ENTER) && (key.keysym.mod & KMOD_ALT);
    if (code != SDL_SCANCODE_F11 && !altReturn) return;
    // What the screen shows decides; where the window manager switched on its own, SDL's state is brought
    // in line first, as SDL sends the window manager only the changes from what it believes.
    const bool sdlFull = SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN;
    if (FillsDisplay()) {
        if (!sdlFull) SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        SDL_SetWindowFullscreen(window, 0);
        if (maximisedInWindow) SDL_MaximizeWindow(window);
        return;
    }
    if (sdlFull) SDL_SetWindowFullscreen(window, 0);
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
}

void AudioCallback(void*, Uint8* stream, int length) {
    audioMix(audioUser, reinterpret_cast<int16_t*>(stream), length / int(sizeof(int16_t)));
}
}  // namespace

bool BackendStart() {
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");  // the window-surface path copies straight to the window
    // Without a reachable display SDL falls back to a driver that shows nothing (off-screen, dummy): the game
    // would run unseen and could not be closed. Such a driver is taken only when SDL_VIDEODRIVER names it.
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    const bool driverAsked = asked && *asked;
    for (int attempt = 0;; ++attempt) {
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER | SDL_INIT_TIMER) != 0) {
            SayWhyNot("vexed-drifts: cannot open a window: %s", SDL_GetError());
            return false;
        }
        const char* driver = SDL_GetCurrentVideoDriver();
        if (driverAsked || !IsSubstituteDriver(driver)) break;
        SDL_Quit();
        // A display that is set but refused the connection is tried once more (see RETRY_DELAY_MS).
        const char* display = SDL_getenv("DISPLAY");
        if (attempt == 0 && display && *display) {
            SDL_Delay(RETRY_DELAY_MS);
            continue;
        }
        SayWhyNot("vexed-drifts: cannot open a window: no display could be reached (DISPLAY=%s)",
                     display && *display ? display : "unset");
        return false;
    }
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    return true;
}

void BackendStop() { SDL_Quit(); }

bool BackendOpenWindow(const char* title, int width, int height) {
    window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                              SDL_WINDOW_RESIZABLE | SDL_WINDOW_SHOWN);
    // Presenting waits for the display's refresh, so the picture never tears.
    if (window && MayHaveGraphicsCard())
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (renderer && RendererIsEmulated(renderer)) {
        SDL_DestroyRenderer(renderer);
        renderer = nullptr;
    }
    if (renderer) texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_XBGR8888, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!texture && window && SDL_GetWindowSurface(window)) return true;
    if (!texture) {
        SayWhyNot("vexed-drifts: cannot open the window: %s", SDL_GetError());
        return false;
    }
    return true;
}

void BackendCloseWindow() {
    if (frameSurface) SDL_FreeSurface(frameSurface);
    frameSurface = nullptr;
    framePixels = nullptr;
    if (texture) SDL_DestroyTexture(texture);
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
    texture = nullptr;
    renderer = nullptr;
    window = nullptr;
    maximisedInWindow = false;
}

namespace {
// With VD_FRAME_RATE set, the frames shown per second, said on stderr every two seconds: the way to
// compare the game's speed across systems and displays.
void CountFrame() {
    static const bool wanted = SDL_getenv("VD_FRAME_RATE") != nullptr;
    static Uint64 start, frames;
    if (!wanted) return;
    const Uint64 now = SDL_GetPerformanceCounter(), frequency = SDL_GetPerformanceFrequency();
    if (frames++ == 0) start = now;
    if (now - start >= 2 * frequency) {
        std::fprintf(stderr, "vexed-drifts: %.1f frames per second\n", double(frames - 1) * double(frequency) / double(now - start));
        start = now;
        frames = 1;
    }
}
}  // namespace

void BackendShowFrame(const uint32_t* pixels, int width, int height) {
    CountFrame();
    if (texture) {
        SDL_UpdateTexture(texture, nullptr, pixels, width * int(sizeof(uint32_t)));
    } else if (pixels != framePixels) {
        if (frameSurface) SDL_FreeSurface(frameSurface);
        frameSurface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(pixels), width, height, 32,
                                                          width * int(sizeof(uint32_t)), SDL_PIXELFORMAT_XBGR8888);
        framePixels = pixels;
    }
    ShowLastFrame();
}

int BackendPollEvent() {
    // Every pending message is handled here, so that none piles up; a close request is kept for this call.
    SDL_Event event;
    bool windowChanged = false;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) closePending = true;
        if (event.type == SDL_KEYDOWN) HandleKeyEvent(event.key);
        if (event.type == SDL_JOYDEVICEADDED) PlugPad(event.jdevice.which);
        if (event.type == SDL_JOYDEVICEREMOVED) UnplugPad(event.jdevice.which);
        if (event.type != SDL_WINDOWEVENT) continue;
        windowChanged = true;
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) closePending = true;
        if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
            ShowLastFrame();
    }
    if (windowChanged && window) NoteWindowState();  // once the batch is in: the state it ends in
    if (!closePending) return 0;
    closePending = false;
    return 0x10;
}

bool BackendVisible() {
    SDL_PumpEvents();
    return !window || !(SDL_GetWindowFlags(window) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN));
}

bool BackendWaitShown(uint32_t milliseconds) {
    // Sleeps until a window message comes (the restore is one); a close request stays for BackendPollEvent.
    if (SDL_WaitEventTimeout(nullptr, int(milliseconds)) && BackendPollEvent() == 0x10) closePending = true;
    return closePending || BackendVisible();
}

bool BackendReadKeys(uint8_t keys[256]) {
    SDL_PumpEvents();
    // The snapshot is what the game reads: key events only serve the fullscreen keys, text events nothing.
    SDL_Event events[16];
    int count;
    while ((count = SDL_PeepEvents(events, 16, SDL_GETEVENT, SDL_KEYDOWN, SDL_TEXTINPUT)) > 0)
        for (int i = 0; i < count; ++i) HandleKeyEvent(events[i].key);
    if (!window || SDL_GetKeyboardFocus() != window) return false;
    const Uint8* state = SDL_GetKeyboardState(nullptr);
    std::memset(keys, 0, 256);
    for (int k = 0; k < KEY_NAME_COUNT; ++k)
        if (state[KEY_NAMES[k].usb]) keys[KEY_NAMES[k].set1] = 0x80;
    if (SDL_GetModState() & KMOD_ALT) keys[0x1C] = keys[0x9C] = 0;
    return true;
}

char BackendKeyCharacter(int code) {
    SDL_Scancode scancode = ScancodeOf(code);
    if (scancode == SDL_SCANCODE_UNKNOWN) return 0;
    SDL_Keycode key = SDL_GetKeyFromScancode(scancode);  // the current layout's unshifted character
    if (key < 32 || key > 126) return 0;
    char c = char(key);
    SDL_Keymod mod = SDL_GetModState();
    bool shift = (mod & KMOD_SHIFT) != 0;
    if (c >= 'a' && c <= 'z') return (shift != ((mod & KMOD_CAPS) != 0)) ? char(c - 32) : c;
    return shift ? ShiftedCharacter(c) : c;
}

int BackendOpenJoysticks() {
    for (int i = 0; i < SDL_NumJoysticks(); ++i) PlugPad(i);
    return JOYSTICK_SLOTS;
}

bool BackendReadJoystick(int n, int& x, int& y, uint8_t buttons[32]) {
    if (n < 0 || n >= JOYSTICK_SLOTS || !pads[n].joystick || !SDL_JoystickGetAttached(pads[n].joystick)) return false;
    SDL_GameControllerUpdate();
    auto scale = [](Sint16 value) { return value < 0 ? int(value) * 1000 / 32768 : int(value) * 1000 / 32767; };
    std::memset(buttons, 0, 32);
    if (SDL_GameController* pad = pads[n].controller) {
        // The left stick, overridden by the d-pad; buttons in SDL's order, so button 1 is the south face.
        auto button = [pad](SDL_GameControllerButton b) { return SDL_GameControllerGetButton(pad, b) != 0; };
        x = scale(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTX));
        y = scale(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTY));
        if (button(SDL_CONTROLLER_BUTTON_DPAD_LEFT) != button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT))
            x = button(SDL_CONTROLLER_BUTTON_DPAD_LEFT) ? -1000 : 1000;
        if (button(SDL_CONTROLLER_BUTTON_DPAD_UP) != button(SDL_CONTROLLER_BUTTON_DPAD_DOWN))
            y = button(SDL_CONTROLLER_BUTTON_DPAD_UP) ? -1000 : 1000;
        for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX && b < 32; ++b)
            if (button(SDL_GameControllerButton(b))) buttons[b] = 0x80;
        return true;
    }
    SDL_Joystick* stick = pads[n].joystick;
    x = scale(SDL_JoystickGetAxis(stick, 0));
    y = scale(SDL_JoystickGetAxis(stick, 1));
    const int count = SDL_JoystickNumButtons(stick);
    for (int b = 0; b < 32 && b < count; ++b)
        if (SDL_JoystickGetButton(stick, b)) buttons[b] = 0x80;
    return true;
}

void BackendCloseJoysticks() {
    for (Pad& pad : pads)
        if (pad.joystick) UnplugPad(pad.id);
}

int64_t BackendTicks() { return int64_t(SDL_GetPerformanceCounter()); }
int64_t BackendTickFrequency() { return int64_t(SDL_GetPerformanceFrequency()); }

void BackendWaitUntil(int64_t ticks) {
    // Sleep through the wait but its last half millisecond, which is spun, so the cap costs next to no
    // processor time and still releases the frame on time.
    const int64_t frequency = BackendTickFrequency();
    for (;;) {
        int64_t left = ticks - BackendTicks();
        if (left <= 0) return;
        int64_t microseconds = left * 1000000 / frequency;
        if (microseconds > 500) std::this_thread::sleep_for(std::chrono::microseconds(microseconds - 500));
    }
}

uint32_t BackendMilliseconds() { return SDL_GetTicks(); }
void BackendSleep(uint32_t milliseconds) { SDL_Delay(milliseconds); }

uint32_t BackendRandomSeed() {
    uint64_t counter = SDL_GetPerformanceCounter();
    return uint32_t(counter ^ (counter >> 32)) ^ uint32_t(std::hash<std::thread::id>{}(std::this_thread::get_id())) ^ SDL_GetTicks();
}

void BackendExit(int code) { std::exit(code); }

bool BackendOpenAudio(void (*mix)(void*, int16_t*, int), void* user, std::string& error) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        error = SDL_GetError();
        return false;
    }
    audioMix = mix;
    audioUser = user;
    SDL_AudioSpec wanted{};
    wanted.freq = 44100;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 1;
    wanted.samples = 1024;                       // about 23 ms: an effect is heard at once
    wanted.callback = AudioCallback;
    audioDevice = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (audioDevice == 0) {
        error = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(audioDevice, 0);
    return true;
}

void BackendCloseAudio() {
    if (audioDevice == 0) return;
    SDL_CloseAudioDevice(audioDevice);           // returns once the callback has finished
    audioDevice = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void BackendPauseAudio(bool paused) {
    if (audioDevice != 0) SDL_PauseAudioDevice(audioDevice, paused ? 1 : 0);
}

bool BackendMixesOnFrameLoop() { return false; }
