#pragma once
// Start-up loading: the embedded pictures and sounds, the loading screen and the derived sprites.
// GameMain calls LoadGraphics once the screen is open, then holds the full bar for a second
// (answering a close request at once) and switches transformed sprites to bilinear filtering.

int LoadGraphics();                   // loads sprites (each texture with its transformed twin) and sounds, then font sheet, masks and star field under loading frames; 0 when an embedded asset was refused
void DrawLoadingScreen(int progress); // one presented frame: the credit line and a bar progress + 16 pixels wide (progress 1..170)
