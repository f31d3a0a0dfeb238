#pragma once
// One game from round 1 to its end: the game and round records, and the play loop's frame.
#include <cstdint>

struct GameState {
    int32_t hiScore, score;
    int32_t shipX, shipY;           // top-left corner of the 64 x 64 ship
    int32_t fireDx, fireDy;         // missile step per frame
    int32_t shipSprite;
    int32_t lives;                  // ships left, the one in play included
    int32_t missileLifetime, shipSpeed;
    int32_t aimedFire, autoFire;
    int32_t fireAngle;              // degrees, 0 up, clockwise
    int32_t autoFireCount;
    int32_t secondScore;            // the right-hand panel's score; play never changes it
    int32_t round;                  // 1..5
    int32_t leaveLoop;              // ends the current screen loop after its frame
    int32_t logoY;                  // the title logo's slide on the attract title page
};

struct RoundState {
    int32_t targetsLeft;
    uint32_t roundStartMs;
    int32_t roundSoundDone;
    int32_t deathsThisRound;
    int32_t bonusShowing, bonusAwarded;
    uint32_t bonusStartMs;
    int32_t bonusPoints, bonusHalfWidth;
    int32_t roundOver;
    int32_t keyFireHeld, padFireHeld;
    uint32_t lastAutoFireMs;
    uintptr_t lastBlastVoice;       // handle of the latest strike blast; 0 until the first
};

extern GameState game;
extern RoundState roundState;

// What a frame of play hands back to the shell's play loop.
enum PlayOutcome {
    PLAY_GOES_ON,         // next frame
    PLAY_ROUNDS_DONE,     // round 5 was won: back to the attract title page, no hall-of-fame check
    PLAY_GAME_OVER        // leaveLoop was set: the end-of-game check with game.score
};

void CreateGameLists();   // start-up: the three empty lists
void ResetGameState();    // before every attract loop: hiScore from the hall of fame, attract tints, reset values
void StartRound();        // the first round of a game and every round after a won one
PlayOutcome RunGameFrame(); // one pass of the play loop, including present and the 10 ms sleep
