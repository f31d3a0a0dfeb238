#pragma once
// The bitmap font: 16 pixels per character, glyphs for digits and lower-case letters only.
// Colour rows of the coloured sheet: 0 plain, 1 orange, 2 red, 3 blue.
#include <string>

constexpr int FONT_PLAIN = 0, FONT_ORANGE = 1, FONT_RED = 2, FONT_BLUE = 3;

void MakeSpriteMask(int sourceId, int maskId); // white where the source's clip is not black, black elsewhere
void BuildColouredFont();                      // start-up: sheet 900 from strip 600 and its mask 800
void DrawText(int x, int y, const std::string& text, int row); // spaces and control codes keep their cell empty
void DrawPlainText(int x, int y, const std::string& text);     // from the plain strip, before the sheet exists
void DrawNumber(int x, int y, int value, int row);             // six digits with leading zeros
std::string PadDigits(int value, int width);                   // the last width characters of zeros + the number
