#include "gameplay/game.h"
#include "assets/catalogue.h"
#include "gameplay/objects.h"
#include "gameplay/particles.h"
#include "gameplay/play.h"
#include "gameplay/ship.h"
#include "platform/input.h"
#include "platform/sound.h"
#include "platform/sprites.h"
#include "platform/timing.h"
#include "platform/video.h"
#include "shell/background.h"
#include "shell/font.h"
#include "shell/hall_of_fame.h"
#include "shell/shell.h"
#include <algorithm>
#include <string>

GameState game;
RoundState roundState;
int32_t soundStarts[SOUND_AUTO_FIRE + 1];

namespace {

constexpr int32_t ROUND_MESSAGE_MS = 3000, ROUND_SOUND_MS = 2000, BONUS_MS = 3000;
constexpr int32_t MAX_SHIP_ICONS = 8;
// While the bonus shows, these keep the end-of-round check from firing again.
constexpr int32_t BONUS_DEATHS_GUARD = 5, BONUS_TARGETS_GUARD = 255;

void StartBonus(uint32_t now) {
    roundState.bonusShowing = 1;
    roundState.bonusStartMs = now;
    roundState.deathsThisRound = BONUS_DEATHS_GUARD;
}

void DrawHeadsUp() {
    DrawNumber(16, 16, game.score, FONT_BLUE);
    game.hiScore = std::max(game.hiScore, game.score);
    DrawNumber(352, 0, game.hiScore, FONT_ORANGE);
    DrawText(0, 577, "r " + PadDigits(game.round, 2) + "   m " + PadDigits(game.autoFireCount, 2), FONT_BLUE);
    if (game.lives <= 0) return;
    SetSpriteClip(SPRITE_LIVES_ICONS, 0, 0, 16, 23); // the left icon of the strip
    for (int32_t i = 1; i <= std::min(game.lives, MAX_SHIP_ICONS); ++i)
        DrawSpriteKeyed(SPRITE_LIVES_ICONS, 102 + 28 * i, 16);
}

void DrawRoundMessage(uint32_t now) {
    int32_t roundTime = RoundTime(now);
    if (roundTime >= ROUND_MESSAGE_MS) return;
    if (roundTime < ROUND_SOUND_MS && !roundState.roundSoundDone) {
        // The round fanfare cuts the last strike's blast and a launch still sounding.
        StopSoundVoice(SOUND_BLAST, roundState.lastBlastVoice);
        StopSoundEffect(SOUND_LAUNCH);
        SetSoundEffectVolume(SOUND_ROUND_START, 100);
        PlayGameSound(SOUND_ROUND_START);
        roundState.roundSoundDone = 1;
    }
    DrawText(340, 260, "round " + PadDigits(game.round, 2), FONT_PLAIN);
}

void RunBonusDisplay(uint32_t now) {
    if (!roundState.bonusShowing) return;
    int32_t shown = int32_t(now - roundState.bonusStartMs);
    if (shown < BONUS_MS) {
        DrawText(300, 260, "bonus points", FONT_ORANGE);
        if (!roundState.bonusAwarded) {
            roundState.bonusPoints = game.lives * 1000;
            roundState.bonusHalfWidth = int32_t(std::to_string(roundState.bonusPoints).size()) * 16 / 2;
            roundState.bonusAwarded = 1;
            game.score += roundState.bonusPoints;
            PlayGameSound(SOUND_POINTS);
        }
        DrawText(400 - roundState.bonusHalfWidth, 300, std::to_string(roundState.bonusPoints), FONT_RED);
    }
    if (shown > BONUS_MS) roundState.roundOver = 1;
}

} // namespace

int32_t RoundTime(uint32_t now) { return int32_t(now - roundState.roundStartMs); }

int PlayGameSound(int id) {
    ++soundStarts[id];
    return StartSoundEffect(id);
}

uintptr_t PlayGameSoundVoice(int id) {
    ++soundStarts[id];
    return StartSoundEffectEx(id, 2);
}

void CreateGameLists() {
    ListClear(objectList);
    ListClear(missileList);
    ListClear(particleList);
}

void ResetGameState() {
    game.hiScore = hallOfFame[0].score;
    for (int i = 0; i < 4; ++i) // the attract pages' colouring of the seeker and planet sprites
        MakeTintedSprite(SPRITE_SEEKER + i, SPRITE_SEEKER_TINTED + i, SPRITE_MASK_SEEKER + i, 85, 60, 0);
    game = GameState{.hiScore = game.hiScore, .score = 0, .shipX = 368, .shipY = 300, .fireDx = 0, .fireDy = -16,
                     .shipSprite = SPRITE_PLAYER_SHIP, .lives = 3, .missileLifetime = 15, .shipSpeed = 4,
                     .aimedFire = 0, .autoFire = 0, .fireAngle = 0, .autoFireCount = 0, .secondScore = 0,
                     .round = 1, .leaveLoop = 0, .logoY = 600};
}

void StartRound() {
    // Pick-ups last until the end of the round in which they were collected.
    game.fireDx = 0;
    game.fireDy = -16;
    game.shipSprite = SPRITE_PLAYER_SHIP;
    game.missileLifetime = 15;
    game.shipSpeed = 4;
    game.aimedFire = 0;
    game.autoFire = 0;
    game.fireAngle = 0;
    ListClear(objectList);
    roundState.targetsLeft = 0;
    SetUpRound(game.round);
    ListClear(missileList);
    ListClear(particleList);
    roundState.roundStartMs = NowMilliseconds();
    game.leaveLoop = 0;
    roundState.roundSoundDone = 0;
    roundState.deathsThisRound = 0;
    roundState.bonusShowing = 0;
    roundState.bonusAwarded = 0;
    roundState.roundOver = 0;
}

PlayOutcome RunGameFrame() {
    uint32_t now = NowMilliseconds();
    if (PollWindowEvent() == EVENT_CLOSE) ExitGame();
    SampleKeyboard();
    if (WasKeyReleased(KEY_ESCAPE)) game.leaveLoop = 1;
    if (IsKeyDown(KEY_1)) StartBonus(now); // ends the round at once, bonus included
    ClearFrame(0);
    RunControls(now);
    BeginTransformedBatch();
    DrawBackground();
    RunObjectsPass(now);
    RunMissilesPass(now);
    DrawShip();
    RunParticlesPass();
    EndTransformedBatch();
    DrawHeadsUp();
    DrawRoundMessage(now);
    if (game.lives <= 0) game.leaveLoop = 1;
    if (roundState.targetsLeft == 0) {
        if (roundState.deathsThisRound == 0) {
            StartBonus(now);
            roundState.targetsLeft = BONUS_TARGETS_GUARD;
        } else {
            roundState.roundOver = 1;
        }
    }
    RunBonusDisplay(now);
    if (roundState.roundOver) {
        // The frame that ends a round is not presented; StartRound also clears leaveLoop, so a game whose
        // last ship went with the round's last target ends in the next round's first frame.
        if (++game.round > 5) return PLAY_ROUNDS_DONE;
        StartRound();
        return PLAY_GOES_ON;
    }
    EndFrame();
    return game.leaveLoop ? PLAY_GAME_OVER : PLAY_GOES_ON;
}
