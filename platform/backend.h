#pragma once
// What a backend gives the platform layer. Exactly one backend is linked: sdl_backend.cpp for the game,
// web_backend.cpp for the game in a web page, headless_backend.cpp for tests and tools (scripted input,
// a fake clock, no window, no device).
#include <cstdint>
#include <string>

bool BackendStart();              // InitSpriteSystem: first call of all; false when the backend cannot run
void BackendStop();               // ShutdownPlatform: last call of all
bool BackendOpenWindow(const char* title, int width, int height); // centred, resizable, maximise box; false with a message on stderr
void BackendCloseWindow();
void BackendShowFrame(const uint32_t* pixels, int width, int height); // shows the back buffer stretched to the window
int BackendPollEvent();           // handles at most one pending window message; 0x10 for a close request, else 0
bool BackendVisible();            // false while nothing of the picture can be seen (a minimised window, a hidden page)
bool BackendWaitShown(uint32_t milliseconds); // waits at most this long for the picture to be seen again; true once
                                  // it is, or once a close request is pending (BackendPollEvent then reports it)
bool BackendReadKeys(uint8_t keys[256]); // set-1 snapshot, bit 7 = down; false without keyboard focus
char BackendKeyCharacter(int code);      // what the key types with the current layout, shift and lock state; 0 for nothing
char ShiftedCharacter(char c);           // what a US layout types for c with Shift ('a' gives 'A', '1' gives '!'); input.cpp
constexpr int JOYSTICK_SLOTS = 4;        // devices plugged in take the first free slot, and leave it when pulled out
int BackendOpenJoysticks();              // opens the attached joysticks and watches for more; the slots to read (at most JOYSTICK_SLOTS)
bool BackendReadJoystick(int n, int& x, int& y, uint8_t buttons[32]); // axes -1000..1000, bit 7 = pressed; false: slot n is empty
void BackendCloseJoysticks();
int64_t BackendTicks();           // the high-resolution counter
int64_t BackendTickFrequency();   // its ticks per second
void BackendWaitUntil(int64_t ticks); // returns when the counter reaches ticks: sleeps through most, spins at most the last ms
uint32_t BackendMilliseconds();
void BackendSleep(uint32_t milliseconds);
uint32_t BackendRandomSeed();     // differs between runs
[[noreturn]] void BackendExit(int code);

// The audio device: 44100 Hz, 16-bit signed, mono. mix(user, out, frames) fills out on the device's thread.
// False when there is no device; error then says why.
bool BackendOpenAudio(void (*mix)(void* user, int16_t* out, int frames), void* user, std::string& error);
void BackendCloseAudio();         // stops the callback; it has returned when this returns
void BackendPauseAudio(bool paused); // holds the device's output where it stands (no mix calls), or lets it go on
bool BackendMixesOnFrameLoop();   // true: mix runs on the main thread, called from the frame loop (no threads)
