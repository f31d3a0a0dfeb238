#pragma once
// The embedded asset catalogue: every sprite and sound identifier, and the embedded files behind them.
// The files are compiled into the executable; the program opens no file at run time.
#include <cstddef>
#include <cstdint>

// Bitmaps, in load order. Flag-4 sprites first (each gets its transformed twin), then the plain ones.
constexpr int SPRITE_PLAYER_SHIP = 100;         // 64 x 64
constexpr int SPRITE_MISSILE = 110;             // 32 x 32
constexpr int SPRITE_EXPLOSION_FIRST = 130;     // 130..139, 32 x 32 each, in playing order
constexpr int SPRITE_GLOW = 140;                // 32 x 32 soft blue glow
constexpr int SPRITE_PICKUP_FIRST = 160;        // 160..164, the pick-ups of kinds 1..5
constexpr int SPRITE_SEEKER = 500;              // 32 x 32 smoke puff
constexpr int SPRITE_PLANET_FIRST = 501;        // 501..503, 128 x 128, one embedded file loaded three times
constexpr int SPRITE_FONT = 600;                // 575 x 23 font strip
constexpr int SPRITE_LIVES_ICONS = 120;         // 32 x 23: blue and red crystal
constexpr int SPRITE_TITLE_LOGO = 121;          // 406 x 118

// Sprites made at run time.
constexpr int SPRITE_MASK_SEEKER = 800;         // first the font mask, then the smoke puff's
constexpr int SPRITE_MASK_PLANET_FIRST = 801;   // 801..803
constexpr int SPRITE_MASK_PICKUP_FIRST = 820;   // 820..824
constexpr int SPRITE_SEEKER_WHITE = 849;
constexpr int SPRITE_SEEKER_TINTED = 850;
constexpr int SPRITE_PLANET_WHITE = 851;
constexpr int SPRITE_PLANET_TINTED_FIRST = 852; // 852, 853
constexpr int SPRITE_PICKUP_TINTED_FIRST = 860; // 860..864
constexpr int SPRITE_FONT_COLOURED = 900;       // 575 x 95, four colour rows 24 lines apart

// Sounds, in load order. There is no sound 103.
constexpr int SOUND_LAUNCH = 100;
constexpr int SOUND_BLAST = 101;
constexpr int SOUND_ROUND_START = 102;
constexpr int SOUND_PICKUP_FIRST = 104;         // 104..108

constexpr int TEXTURE_SPRITE_IDS[] = {100, 110, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139,
                                      140, 160, 161, 162, 163, 164, 500, 501, 502, 503};
constexpr int PLAIN_SPRITE_IDS[] = {600, 120, 121};
constexpr int SOUND_IDS[] = {100, 101, 102, 104, 105, 106, 107, 108};
constexpr size_t TUNE_LENGTH = 21598;

struct EmbeddedFile {
    const uint8_t* data;
    size_t size;
};

EmbeddedFile SpriteFile(int id); // the bitmap loaded under id (501..503 share one array); {nullptr, 0} for others
EmbeddedFile SoundFile(int id);  // the RIFF WAVE sound; {nullptr, 0} for an unknown id
EmbeddedFile TuneFile();         // the PSID tune image
