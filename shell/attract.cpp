// The four attract pages (title, hall of fame, points table, credits) and the status panels.
#include "shell/attract.h"

#include "assets/catalogue.h"
#include "gameplay/game.h"
#include "platform/sprites.h"
#include "shell/font.h"
#include "shell/hall_of_fame.h"
#include "shell/shell.h"

// Each line keeps the width of its slot, so the centring by x stays right.
const CreditLine titleCredits[TITLE_CREDIT_COUNT] = {
    {290, 330, FONT_RED, "a vexed release"},
    {245, 370, FONT_ORANGE, "tune by vexed drifts"},
    {208, 410, FONT_RED, "made by vexed drifts 2026"},
};
const CreditLine creditsPage[CREDITS_PAGE_COUNT] = {
    {40, 90, FONT_BLUE, "an original arcade shooter of the vexed team"},
    {140, 160, FONT_ORANGE, "coded in 2026 by the vexed team"},
    {45, 200, FONT_ORANGE, "all music composed by the vexed drifts team"},
    {45, 280, FONT_RED, "no planet is safe from vexed drifts"},
    {140, 430, FONT_BLUE, "font drawn by the vexed art team"},
};

namespace {
constexpr int LOGO_START_Y = 600, LOGO_REST_Y = 140, LOGO_STEP = 3;
constexpr int SHOWN_PLACES = 20;

void DrawCredits(const CreditLine* lines, int count) {
    for (int i = 0; i < count; ++i) DrawText(lines[i].x, lines[i].y, lines[i].text, lines[i].row);
}

void DrawTitlePage() {
    DrawText(358, 170, "vexed", FONT_PLAIN);  // sits in the arch of the logo once it rests
    DrawCredits(titleCredits, TITLE_CREDIT_COUNT);
    if (blinkOn == 1) DrawText(255, 480, "press fire to start", FONT_ORANGE);
    DrawStatusPanels();
    // Drawn last, so the rising logo passes in front of the texts.
    DrawSpriteKeyed(SPRITE_TITLE_LOGO, 200, game.logoY);
    game.logoY -= LOGO_STEP;
    if (game.logoY < LOGO_REST_Y) game.logoY = LOGO_REST_Y;
}

// Ranks 01, 03, ... 19 on the left and 02, 04, ... 20 on the right, row by row.
void DrawHallOfFamePage() {
    DrawText(230, 70, "galactic hall of fame", FONT_RED);
    for (int place = 0; place < SHOWN_PLACES; ++place) {
        bool right = place % 2 == 1;
        int y = 130 + 40 * (place / 2);
        DrawText(right ? 440 : 62, y, PadDigits(place + 1, 2), FONT_PLAIN);
        DrawNumber(right ? 494 : 116, y, hallOfFame[place].score, FONT_BLUE);
        DrawText(right ? 610 : 233, y, hallOfFame[place].name, FONT_ORANGE);
    }
    DrawStatusPanels();
}

void DrawPointsPage() {
    game.logoY = LOGO_START_Y;  // the logo slides in again the next time the title shows
    DrawText(310, 80, "points score", FONT_PLAIN);
    DrawText(280, 120, "you have 3 ships", FONT_ORANGE);
    DrawText(200, 160, "bonus ship every 10000 pts", FONT_ORANGE);
    // One planet picture per size class, growing down the page.
    struct Planet {
        int id, size, x, y;
    };
    static constexpr Planet planets[] = {{SPRITE_PLANET_TINTED_FIRST, 20, 140, 250},
                                         {SPRITE_PLANET_TINTED_FIRST + 1, 40, 130, 290},
                                         {SPRITE_PLANET_TINTED_FIRST, 80, 110, 340},
                                         {SPRITE_PLANET_WHITE, 128, 85, 430}};
    BeginTransformedBatch();
    for (const Planet& p : planets) {
        SetTransformedSize(p.id, p.size, p.size);
        DrawTransformedSprite(p.id, p.x, p.y);
    }
    EndTransformedBatch();
    struct Line {
        int y;
        const char *name, *points;
        int row;
    };
    static constexpr Line table[] = {{245, "moon attaching", "100", FONT_RED},
                                     {297, "zeta callisto", "200", FONT_ORANGE},
                                     {365, "zeta krypton", "300", FONT_RED},
                                     {477, "zeta xothopian", "500", FONT_ORANGE}};
    for (const Line& line : table) {
        DrawText(260, line.y, line.name, line.row);
        DrawText(600, line.y, line.points, line.row);
    }
    DrawStatusPanels();
}
}  // namespace

void DrawStatusPanels() {
    DrawNumber(16, 16, game.score, FONT_BLUE);
    DrawNumber(688, 16, game.secondScore, FONT_BLUE);
    DrawNumber(352, 0, game.hiScore, FONT_ORANGE);
    DrawText(0, 577, "r 00   m 00", FONT_BLUE);
    DrawText(624, 577, "r 00   m 00", FONT_BLUE);
    SetSpriteClip(SPRITE_LIVES_ICONS, 0, 0, 16, 23);
    for (int i = 1; i <= 3; ++i) DrawSpriteKeyed(SPRITE_LIVES_ICONS, 102 + 28 * i, 16);
    SetSpriteClip(SPRITE_LIVES_ICONS, 16, 0, 16, 23);
    for (int i = 1; i <= 3; ++i) DrawSpriteKeyed(SPRITE_LIVES_ICONS, 682 - 28 * i, 16);
}

void DrawAttractPage(int page) {
    switch (page) {
        case 0: DrawTitlePage(); break;
        case 1: DrawHallOfFamePage(); break;
        case 2: DrawPointsPage(); break;
        case 3:
            DrawCredits(creditsPage, CREDITS_PAGE_COUNT);
            DrawStatusPanels();
            break;
    }
}
