#pragma once
// Keyboard and joystick, polled once per frame. Key codes are PC set-1 scan codes; keys sent with the
// 0xE0 prefix take code + 0x80 (cursor up 0xC8). Every key reads as up while the window lacks focus.
#include <string>

constexpr int KEY_ESCAPE = 0x01, KEY_1 = 0x02, KEY_BACKSPACE = 0x0E, KEY_RETURN = 0x1C, KEY_LEFT_CONTROL = 0x1D;
constexpr int KEY_UP = 0xC8, KEY_LEFT = 0xCB, KEY_RIGHT = 0xCD, KEY_DOWN = 0xD0;

int InitKeyboardInput();      // 0 when the keyboard is already open (InitSpriteSystem opened it)
int SampleKeyboard();         // once per frame: takes the snapshot; 0 without keyboard focus
int IsKeyDown(int code);      // in the last snapshot; -1 asks for any key
int WasKeyReleased(int code); // 1 once after the key went up (its own latch table)
std::string ReadTypedText();  // characters of the keys released since the last call, in scan-code order (own latches)
int TypedTextReads();         // calls of ReadTypedText so far: a backend sees from it that the game reads text
void ShutdownKeyboardInput();

int DetectJoysticks();        // start-up: opens the attached joysticks and watches for more; returns the slots to read
int SampleJoystick(int n);    // 1 when the state was read; 0 when no device is in slot n, which then reads as released
int GetJoystickX(int n);      // -1 below -500, +1 above 500, else 0
int GetJoystickY(int n);
int IsJoystickButtonDown(int n, int button); // button counts from 1
void ShutdownJoysticks();
