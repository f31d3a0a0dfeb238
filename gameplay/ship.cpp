#include "gameplay/ship.h"
#include "assets/catalogue.h"
#include "gameplay/collisions.h"
#include "gameplay/game.h"
#include "gameplay/particles.h"
#include "gameplay/play.h"
#include "platform/input.h"
#include "platform/sprites.h"
#include "platform/timing.h"
#include "platform/video.h"
#include "shell/shell.h"

GameList<Missile> missileList;
int32_t moveUp, moveDown, moveRight, moveLeft;

namespace {

constexpr int32_t SHIP_X_LIMIT = SCREEN_WIDTH - 64, SHIP_Y_LIMIT = SCREEN_HEIGHT - 64;
constexpr int UP = 1, DOWN = 2, RIGHT = 4, LEFT = 8;

// Aimed fire: every rule whose steering holds overwrites the direction, so the last one that holds wins.
struct FireRule {
    int need;
    int32_t dx, dy, angle;
};
constexpr FireRule fireRules[] = {
    {UP, 0, -16, 0},          {DOWN, 0, 16, 180},       {RIGHT, 16, 0, 90},       {LEFT, -16, 0, 270},
    {UP | RIGHT, 16, -16, 45}, {DOWN | RIGHT, 16, 16, 135}, {UP | LEFT, -16, -16, 315}, {DOWN | LEFT, -16, 16, 225},
};

void Steer(bool up, bool down, bool right, bool left) {
    if (up) { game.shipY -= game.shipSpeed; moveUp = 1; }
    if (down) { game.shipY += game.shipSpeed; moveDown = 1; }
    if (right) { game.shipX += game.shipSpeed; moveRight = 1; }
    if (left) { game.shipX -= game.shipSpeed; moveLeft = 1; }
}

// One launch per press: the latch is set by the press (also under automatic fire, for aimed fire's sake)
// and cleared in the first frame the control is up.
void Fire(bool down, int32_t& held) {
    if (down && !held) {
        if (!game.autoFire) LaunchMissile();
        held = 1;
    }
    if (!down && held) held = 0;
}

void Aim() {
    int steering = (moveUp ? UP : 0) | (moveDown ? DOWN : 0) | (moveRight ? RIGHT : 0) | (moveLeft ? LEFT : 0);
    for (const FireRule& rule : fireRules) {
        if ((steering & rule.need) != rule.need) continue;
        game.fireDx = rule.dx;
        game.fireDy = rule.dy;
        game.fireAngle = rule.angle;
    }
}

int32_t Clamp(int32_t value, int32_t high) { return value < 0 ? 0 : value > high ? high : value; }

} // namespace

void RunControls(uint32_t now) {
    moveUp = moveDown = moveRight = moveLeft = 0;
    Steer(IsKeyDown(KEY_UP), IsKeyDown(KEY_DOWN), IsKeyDown(KEY_RIGHT), IsKeyDown(KEY_LEFT));
    Fire(IsKeyDown(KEY_LEFT_CONTROL), roundState.keyFireHeld);
    if (joystickCount > 0) {
        SampleJoystick(0);
        int x = GetJoystickX(0), y = GetJoystickY(0);
        Steer(y == -1, y == 1, x == 1, x == -1);
        Fire(IsJoystickButtonDown(0, 1), roundState.padFireHeld);
    }
    if (game.autoFire == 1 && int32_t(now - roundState.lastAutoFireMs) > 150) {
        roundState.lastAutoFireMs = NowMilliseconds();
        LaunchMissile();
    }
    if (game.aimedFire == 1 && (roundState.keyFireHeld || roundState.padFireHeld)) Aim();
    game.shipY = Clamp(game.shipY, SHIP_Y_LIMIT);
    game.shipX = Clamp(game.shipX, SHIP_X_LIMIT);
}

void LaunchMissile() {
    Missile& missile = *ListAdd(missileList);
    missile.angle = game.fireAngle;
    missile.x = game.shipX + 16;
    missile.y = game.shipY + 16;
    missile.dx = game.fireDx;
    missile.dy = game.fireDy;
    PlayGameSound(SOUND_LAUNCH);
}

void RunMissilesPass(uint32_t now) {
    int32_t roundTime = RoundTime(now);
    SetTransformedBlend(7, 7);
    for (Missile* m = ListFirst(missileList); m; m = ListNext(missileList)) {
        m->y += m->dy;
        m->x += m->dx;
        ++m->age;
        RotateTransformedSprite(SPRITE_MISSILE, float(m->angle), 0);
        DrawTransformedSprite(SPRITE_MISSILE, m->x, m->y);
        AddParticle(SPRITE_GLOW, 0, 0.0f, 32, -4.0f, 1.0f, m->x + 16, m->y + 16, 0, 0.0f);
        AddParticle(SPRITE_GLOW, 0, 0.0f, 64, -64.0f, 1.0f, m->x + 16, m->y + 16, 0, 0.0f);
        bool remove = m->y < -32 || m->y > 600 || m->x < -32 || m->x > 800;
        // A marked missile still strikes the rest of the list: one missile can take several objects.
        for (SpaceObject* o = ListFirst(objectList); o; o = ListNext(objectList))
            if (o->appearMs < roundTime && StrikeObject(*o, *m)) remove = true;
        if (m->age > game.missileLifetime) remove = true;
        if (remove) ListDeleteCurrent(missileList);
    }
}

void DrawShip() {
    SetTransformedBlend(5, 7);
    RotateTransformedSprite(SPRITE_PLAYER_SHIP, float(game.fireAngle), 0);
    DrawTransformedSprite(game.shipSprite, game.shipX, game.shipY);
}
