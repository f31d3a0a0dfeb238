#pragma once
// Window, back buffer and frames. The game draws into one 800 x 600 back buffer in memory (sprites.h)
// and shows it once per frame in a resizable window, stretched to the client area.
#include <cstdint>

constexpr int SCREEN_WIDTH = 800;
constexpr int SCREEN_HEIGHT = 600;
constexpr int EVENT_CLOSE = 0x10;               // PollWindowEvent: the user asked to close the window
constexpr uint32_t WINDOW_FLAGS = 0xCD0001;     // title bar, system menu, sizeable border, maximise box, centred
constexpr int FRAME_CAP = 60;                   // frames are released at most every frequency / (FRAME_CAP + 1) ticks

inline uint32_t MakeColour(int red, int green, int blue) { return uint32_t(red) + 256u * uint32_t(green) + 65536u * uint32_t(blue); }

int InitSpriteSystem();       // start-up: starts the backend, the sprite registry and the keyboard; 0 = the game must quit
int OpenGameWindow(int id, int x, int y, int width, int height, const char* title, uint32_t flags); // opens and shows the window centred; 0 on failure
int OpenScreenInWindow(int window, int x, int y, int width, int height, int stretch, int rightMargin, int bottomMargin); // back buffer and view; sets the frame cap
int PollWindowEvent();        // once per frame in the attract and play loops: handles one pending window message; EVENT_CLOSE or 0
void ClearFrame(uint32_t colour); // fills the whole current draw target (the back buffer, or a sprite after SetDrawTarget)
void PresentFrame();          // end of every frame: ends pixel access, waits for the frame cap, shows the back buffer;
                              // then, while the picture cannot be seen, stands still (timing.h)
int64_t FrameInterval(int64_t frequency, int cap); // ticks between two frame releases: frequency / (cap + 1)
int64_t FrameReleaseTime(int64_t now, int64_t lastRelease, int64_t interval); // when the frame after lastRelease may go out
int PresentedFrameCount();    // frames presented since start-up (tests and tools)

// Shutdown, in ExitGame's order (the sprite and sound parts are declared in their own headers).
void ShutdownScreen();        // releases all sprites and the back buffer view
void DestroyGameWindows();    // closes the window
void ShutdownPlatform();      // stops the backend; the last step before the process ends
[[noreturn]] void ExitProcess(int code); // ends the process (the headless backend throws HeadlessExit instead)
