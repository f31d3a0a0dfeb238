#pragma once
// Explosions, sparks and the missile trail: short-lived transformed sprites that animate, grow or shrink
// and spin where they were made, drawn in front of the rest of the play field.
#include "gameplay/lists.h"
#include <cstdint>

struct Particle {
    int32_t sprite;             // integer part of frame, drawn this frame
    float angle, spin;          // degrees; spin is added every frame
    int32_t x, y;               // centre
    float size, sizeStep;
    int32_t firstFrame, lastFrame; // lastFrame not above firstFrame: firstFrame all its life, ended by its size
    float frameStep, frame;
    float alpha, alphaStep;
};
extern GameList<Particle> particleList;

void AddParticle(int32_t firstFrame, int32_t lastFrame, float frameStep, int32_t size, float sizeStep, float spin,
                 int32_t x, int32_t y, int32_t alpha, float alphaStep);
void AddBurst(int32_t size, float sizeStep, int32_t x, int32_t y); // one explosion or spark particle, sprites 130..139
void RunParticlesPass(); // step 11 of a play frame: animate, draw and retire every particle
