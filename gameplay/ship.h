#pragma once
// The player's ship and its missiles: the controls step of a play frame (steering, fire latches,
// automatic and aimed fire), the missiles pass with the glowing trail, and the ship drawing.
#include "gameplay/lists.h"
#include <cstdint>

struct Missile {
    int32_t angle;              // sprite rotation, fireAngle at launch
    int32_t x, y;               // top-left corner of the 32 x 32 sprite
    int32_t dx, dy;             // step per frame, fireDx and fireDy at launch
    int32_t age;                // frames moved so far
};
extern GameList<Missile> missileList;

extern int32_t moveUp, moveDown, moveRight, moveLeft; // this frame's steering, keyboard and joystick together

void RunControls(uint32_t now);    // step 6 of a play frame: steer, fire, aim, keep the ship on screen
void LaunchMissile();              // a missile from the ship's centre in the fire direction, with sound 100
void RunMissilesPass(uint32_t now); // step 9: move, draw, trail, strikes and removal of every missile
void DrawShip();                   // step 10: the ship turned to the fire angle
