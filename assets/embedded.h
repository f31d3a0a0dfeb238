#pragma once
// The files of assets/data, compiled in at build time by embed.cmake (the table is generated).
#include <cstddef>
#include <cstdint>

struct EmbeddedNamedFile {
    const char* name; // the file name in assets/data, e.g. "sprite_100_player_ship.bmp"
    const uint8_t* data;
    size_t size;
};

extern const EmbeddedNamedFile EMBEDDED_FILES[]; // in name order
extern const size_t EMBEDDED_FILE_COUNT;
