#pragma once
// Sprites and transformed sprites, drawn by our own software renderer into the 800 x 600 back buffer.
// Sprites live in a registry indexed by SpriteId; a transformed sprite bears the number of its sprite.
// An id that holds nothing does nothing and returns 0. Colours are 0x00BBGGRR; black is the key colour.
#include <cstddef>
#include <cstdint>

constexpr int SPRITE_FLAG_TEXTURE = 4;          // the sprite may be the picture of a transformed sprite

int LoadSpriteFromMemory(int id, const uint8_t* data, size_t length, int flags); // decodes an 8-bit BMP; 0 when refused
int CreateBlankSprite(int id, int width, int height, int flags); // black pixels, default key colour
int SpriteExists(int id);
void ReleaseSprite(int id);
int GetSpriteWidth(int id);   // the current clip width, 0 for an empty id
int GetSpriteHeight(int id);  // the current clip height
void SetSpriteClip(int id, int x, int y, int width, int height); // all -1: the whole sprite; width and height cut to the picture
void SetSpriteKeyColour(int id, uint32_t colour); // id -1 sets the default for sprites made later
void SetDrawTarget(int id);   // a sprite, or -1 for the back buffer: where 2D drawing, ClearFrame and TintRectangle go
void DrawSprite(int id, int x, int y);      // opaque 1:1 copy of the clip rectangle
void DrawSpriteKeyed(int id, int x, int y); // the same, skipping key-colour pixels
void TintRectangle(int x, int y, int width, int height, int red, int green, int blue); // adds the colour, each channel capped at 255
int SpritePixelTarget(int id); // pixel access to a sprite: a handle, or 0 (empty id, or an access is still open)
int BeginPixelAccess(int handle);
uint32_t ReadPixel(int x, int y);
void WritePixel(int x, int y, uint32_t colour);
void EndPixelAccess();
void ShutdownSpriteSystem();  // releases every sprite

int InitTransformedSprites();
int CreateTransformedSprite(int id, int spriteId); // 0 when the sprite is missing or lacks SPRITE_FLAG_TEXTURE
void ReleaseTransformedSprite(int id);
void ReleaseAllTransformedSprites();
void SetTransformedFilter(int mode);    // 0 nearest texel, otherwise bilinear
int BeginTransformedBatch();            // blend factors back to (5, 6); 1 when the batch began
void SetTransformedBlend(int sourceFactor, int destinationFactor); // 1 zero, 2 one, 5 src alpha, 6 inv src alpha, 7 dest alpha (full)
void SetTransformedSize(int id, int width, int height); // a negative size turns the picture half a turn about the same centre
void RotateTransformedSprite(int id, float degrees, int relative); // positive turns clockwise on screen
void DrawTransformedSprite(int id, int x, int y);                  // alpha 255
void DrawTransformedSpriteAlpha(int id, int x, int y, int alpha);  // only the low 8 bits of alpha count
void EndTransformedBatch();

uint32_t* BackBufferPixels();  // the 800 x 600 back buffer, row after row, 0x00BBGGRR
