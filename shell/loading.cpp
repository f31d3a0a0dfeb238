// Start-up loading and the loading screen.
#include "shell/loading.h"

#include "assets/catalogue.h"
#include "platform/sound.h"
#include "platform/sprites.h"
#include "platform/video.h"
#include "shell/background.h"
#include "shell/font.h"

namespace {
constexpr const char* CREDIT_LINE = "vexed drifts";  // 12 characters, centred over the bar

// The masks for tinting, each followed by its loading frame.
struct MaskStep { int source, mask, progress; };
constexpr MaskStep MASK_STEPS[] = {
    {SPRITE_SEEKER, SPRITE_MASK_SEEKER, 30},
    {SPRITE_PLANET_FIRST, SPRITE_MASK_PLANET_FIRST, 45},
    {SPRITE_PLANET_FIRST + 1, SPRITE_MASK_PLANET_FIRST + 1, 60},
    {SPRITE_PLANET_FIRST + 2, SPRITE_MASK_PLANET_FIRST + 2, 75},
    {SPRITE_PICKUP_FIRST, SPRITE_MASK_PICKUP_FIRST, 90},
    {SPRITE_PICKUP_FIRST + 1, SPRITE_MASK_PICKUP_FIRST + 1, 110},
    {SPRITE_PICKUP_FIRST + 2, SPRITE_MASK_PICKUP_FIRST + 2, 130},
    {SPRITE_PICKUP_FIRST + 3, SPRITE_MASK_PICKUP_FIRST + 3, 150},
    {SPRITE_PICKUP_FIRST + 4, SPRITE_MASK_PICKUP_FIRST + 4, 170},
};

int LoadSprite(int id, int flags) {
    const EmbeddedFile file = SpriteFile(id);
    return LoadSpriteFromMemory(id, file.data, file.size, flags);
}
}  // namespace

int LoadGraphics() {
    int loaded = 1;
    for (int id : TEXTURE_SPRITE_IDS) {
        if (!LoadSprite(id, SPRITE_FLAG_TEXTURE)) loaded = 0;
        CreateTransformedSprite(id, id);
    }
    for (int id : PLAIN_SPRITE_IDS)
        if (!LoadSprite(id, 0)) loaded = 0;
    for (int id : SOUND_IDS) {
        const EmbeddedFile file = SoundFile(id);
        if (!LoadSoundFromMemory(id, file.data, file.size)) loaded = 0;
    }
    DrawLoadingScreen(1);
    SetSpriteClip(SPRITE_FONT, -1, -1, -1, -1);
    MakeSpriteMask(SPRITE_FONT, SPRITE_MASK_SEEKER);
    BuildColouredFont();
    DrawLoadingScreen(15);
    for (const MaskStep& step : MASK_STEPS) {
        MakeSpriteMask(step.source, step.mask);
        DrawLoadingScreen(step.progress);
    }
    InitStarField();
    return loaded;
}

void DrawLoadingScreen(int progress) {
    ClearFrame(0);
    DrawPlainText(301, 240, CREDIT_LINE);
    BeginTransformedBatch();
    SetTransformedBlend(7, 7);
    for (int i = 0; i <= progress; ++i) {
        SetTransformedSize(SPRITE_GLOW, 16, 16);
        DrawTransformedSprite(SPRITE_GLOW, 305 + i, 286);
    }
    EndTransformedBatch();
    PresentFrame();
}
