// The bitmap font: the glyph strip, its coloured sheet and text drawn as keyed copies of glyph cells.
#include "shell/font.h"

#include "assets/catalogue.h"
#include "platform/sprites.h"

namespace {
constexpr int CELL = 16;           // pixels per character
constexpr int ROW_PITCH = 24;      // lines between the colour rows of the sheet
constexpr int FONT_WIDTH = 575, GLYPH_HEIGHT = 23;
constexpr uint32_t WHITE = 0xFFFFFF;

// Glyph cells from sheet, clip row top at line rowTop; characters without a glyph keep an empty cell.
void DrawGlyphs(int sheet, int rowTop, int x, int y, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int left;
        if (c >= '0' && c <= '9')
            left = CELL * (c - '0');
        else if (c >= 'a' && c <= 'z')
            left = 160 + CELL * (c - 'a');
        else
            continue;
        SetSpriteClip(sheet, left, rowTop, CELL, ROW_PITCH);
        DrawSpriteKeyed(sheet, x + CELL * int(i), y);
    }
}
}  // namespace

void MakeSpriteMask(int sourceId, int maskId) {
    const int w = GetSpriteWidth(sourceId), h = GetSpriteHeight(sourceId);
    CreateBlankSprite(maskId, w, h, 0);
    SetDrawTarget(maskId);
    DrawSprite(sourceId, 0, 0);
    SetDrawTarget(-1);
    if (!BeginPixelAccess(SpritePixelTarget(maskId))) return;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) WritePixel(x, y, ReadPixel(x, y) != 0 ? WHITE : 0);
    EndPixelAccess();
}

void BuildColouredFont() {
    struct Tint { int red, green, blue; };
    constexpr Tint TINTS[3] = {{250, 90, 0}, {250, 0, 0}, {0, 0, 250}};
    CreateBlankSprite(SPRITE_FONT_COLOURED, FONT_WIDTH, 3 * ROW_PITCH + GLYPH_HEIGHT, 0);
    SetDrawTarget(SPRITE_FONT_COLOURED);
    DrawSprite(SPRITE_FONT, 0, 0);
    SetSpriteKeyColour(SPRITE_MASK_SEEKER, WHITE);
    for (int row = 1; row <= 3; ++row) {
        const int y = ROW_PITCH * row;
        const Tint& tint = TINTS[row - 1];
        DrawSprite(SPRITE_FONT, 0, y);
        TintRectangle(0, y, FONT_WIDTH, GLYPH_HEIGHT, tint.red, tint.green, tint.blue);
        // The mask's black copies over the tinted background; its white (the key) leaves the glyphs.
        DrawSpriteKeyed(SPRITE_MASK_SEEKER, 0, y);
    }
    SetDrawTarget(-1);
}

void DrawText(int x, int y, const std::string& text, int row) {
    DrawGlyphs(SPRITE_FONT_COLOURED, ROW_PITCH * row, x, y, text);
}

void DrawPlainText(int x, int y, const std::string& text) { DrawGlyphs(SPRITE_FONT, 0, x, y, text); }

void DrawNumber(int x, int y, int value, int row) { DrawText(x, y, PadDigits(value, 6), row); }

std::string PadDigits(int value, int width) {
    const std::string text = "00000000" + std::to_string(value);
    return width <= 0 ? std::string() : text.size() <= size_t(width) ? text : text.substr(text.size() - size_t(width));
}
