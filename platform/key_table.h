#pragma once
// The keys the backends know, one row each: the PC set-1 code the game sees (keys sent with the 0xE0
// prefix take code + 0x80), the USB HID usage (which SDL's scancodes are) and the browser's
// KeyboardEvent.code name.
#include <cstdint>

struct KeyName {
    uint8_t set1;
    uint8_t usb;
    const char* dom;
};

extern const KeyName KEY_NAMES[];
extern const int KEY_NAME_COUNT;
