#include "gameplay/particles.h"
#include "assets/catalogue.h"
#include "gameplay/play.h"
#include "platform/random.h"
#include "platform/sprites.h"

GameList<Particle> particleList;

void AddParticle(int32_t firstFrame, int32_t lastFrame, float frameStep, int32_t size, float sizeStep, float spin,
                 int32_t x, int32_t y, int32_t alpha, float alphaStep) {
    Particle& particle = *ListAdd(particleList);
    particle.angle = float(RandomUpTo(360));
    particle.spin = spin;
    particle.x = x;
    particle.y = y;
    particle.size = float(size);
    particle.sizeStep = sizeStep;
    particle.firstFrame = firstFrame;
    particle.lastFrame = lastFrame;
    particle.frameStep = frameStep;
    particle.frame = float(firstFrame);
    particle.alpha = float(alpha);
    particle.alphaStep = alphaStep;
}

void AddBurst(int32_t size, float sizeStep, int32_t x, int32_t y) {
    AddParticle(SPRITE_EXPLOSION_FIRST, SPRITE_EXPLOSION_FIRST + 9, 0.4f, size, sizeStep, 1.0f, x, y, 255, 0.0f);
}

void RunParticlesPass() {
    SetTransformedBlend(7, 7);
    for (Particle* p = ListFirst(particleList); p; p = ListNext(particleList)) {
        bool finished = false;
        if (p->lastFrame > p->firstFrame) {
            p->frame += p->frameStep;
            finished = int32_t(p->frame) == p->lastFrame;
        } else {
            p->frame = float(p->firstFrame);
        }
        p->sprite = int32_t(p->frame);
        if (p->spin != 0.0f) p->angle += p->spin;
        if (p->sizeStep != 0.0f) p->size += p->sizeStep;
        int32_t half = RoundToInt(p->size / 2.0f);
        if (p->size < 0.0f) finished = true;
        // A particle is drawn in the frame in which it finishes, a negative size turning it half a turn.
        SetTransformedSize(p->sprite, RoundToInt(p->size), RoundToInt(p->size));
        RotateTransformedSprite(p->sprite, p->angle, 0);
        DrawTransformedSpriteAlpha(p->sprite, p->x - half, p->y - half, RoundToInt(p->alpha));
        if (p->alphaStep != 0.0f) p->alpha += p->alphaStep;
        if (finished) ListDeleteCurrent(particleList);
    }
}
