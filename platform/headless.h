#pragma once
// The headless backend's script controls, for tests and tools: keys and joystick are set by the script,
// the clock is fake and moves only when the game sleeps or waits for the frame cap (or the script moves it),
// there is no window, and the audio device is pumped by the script.
#include <cstdint>
#include <functional>

struct HeadlessExit { int code; };    // thrown by ExitProcess instead of ending the process

void HeadlessReset();                  // everything back to its start: keys up, clock 0, no joystick, focus on
void HeadlessSetKey(int code, bool down); // set-1 code
void HeadlessReleaseAllKeys();
void HeadlessSetKeyCharacter(int code, char c); // what a key types (defaults: a US layout, unshifted)
void HeadlessSetFocus(bool focused);   // without focus the keyboard cannot be read
void HeadlessSetDisplayAvailable(bool available); // without a display the backend cannot start (one line on stderr)
void HeadlessSetJoystickCount(int count); // joysticks attached in slots 0..count-1, the others empty
void HeadlessPlugJoystick(int n, bool plugged); // plugs a joystick into slot n, or pulls it out, at any time
void HeadlessSetJoystick(int n, int x, int y, uint32_t buttonsDown); // bit b-1 = button b
void HeadlessRequestClose();           // the next PollWindowEvent reports a close request
// The window is minimised (keys unread) until the clock has moved this far; meanwhile every wait of the
// game for it to be shown calls whileMinimised.
void HeadlessMinimise(uint32_t milliseconds, std::function<void()> whileMinimised = nullptr);
bool HeadlessAudioPaused();            // the device's output is held (the pump gives silence and mixes nothing)
void HeadlessSetClock(uint32_t milliseconds);
void HeadlessSetWaitLateness(uint32_t microseconds); // the frame cap's next wait returns this much late (a busy machine)
void HeadlessAdvanceClock(uint32_t milliseconds);
void HeadlessSetRandomSeed(uint32_t seed); // the seed BackendRandomSeed gives
void HeadlessOnFrame(std::function<void(int frame)> hook); // called at every presented frame, after it is shown
bool HeadlessPumpAudio(int16_t* out, int frames); // runs the device's mix callback once; false when no device is open
void HeadlessSetAudioAvailable(bool available);   // whether BackendOpenAudio finds a device (default yes)
void HeadlessSetMixOnFrameLoop(bool onFrameLoop); // the device is pumped without threads, as in a web page (default no)
