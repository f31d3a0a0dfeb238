#pragma once
// What happens when an object touches the ship or a missile strikes it: pick-up effects, lost ships,
// strikes by size class, points, explosions and sparks.
#include "gameplay/objects.h"
#include "gameplay/ship.h"
#include <cstdint>

int32_t CirclesOverlap(int32_t x1, int32_t y1, int32_t r1, int32_t x2, int32_t y2, int32_t r2); // 1 when they overlap (touching is not)
int32_t SizeClass(const SpaceObject& object);    // 0..4 from size against targetSize / 4; -1 for no class
int32_t StrikesNeeded(const SpaceObject& object); // (strength / 4) x class; 0 without a class
int32_t ClassPoints(int32_t sizeClass);          // 100, 200, 300 or 500
void TouchShip(SpaceObject& object);             // objects pass: a pick-up's effect or a lost ship; removes the
                                                 // object (the current one of objectList) when it touches
int32_t StrikeObject(SpaceObject& object, const Missile& missile); // missiles pass: 1 when struck; a destroyed
                                                 // object (the current one of objectList) is removed
void ExplodeObject(const SpaceObject& object);   // four explosion particles about the object's centre
