#pragma once
// The program's life: start-up, the screen-state loops and the exit path.
#include <cstdint>

extern int joystickCount;      // joystick 0 is read only when this is above 0
extern int attractPage;        // 0..3
extern int blinkOn;            // "press fire to start" shows while 1
extern uint32_t pageStartMs, blinkStartMs;

[[noreturn]] void GameMain();  // the whole program; ends through ExitGame
[[noreturn]] void ExitGame();  // shuts the platform down in order and ends the process with code 0 (a failed start-up: 1)
void ResetShellState();        // start-up: every shell global back to its initial value
void StartUp();                // start-up steps up to the music; then the attract mode begins
void EndFrame();               // end of every frame: present, then sleep 10 ms
void ReadFireKeys();           // attract and name-entry frames: left Control or joystick 0 button 1 sets leaveLoop
void DrawTurningBackground(uint32_t now); // attract and name-entry frames: clear, the background in its batch, the spin step
void RunAttractMode();         // entry B: ResetGameState, a fresh page timer, the attract loop; returns when fire starts a game
int RunAttractFrame();         // one pass of the attract loop; 1 when fire set leaveLoop
void RunGame();                // the play loop from round 1 to the hand-over (end-of-game check or attract page 0)
void DrawAttractPage(int page);
void DrawStatusPanels();
