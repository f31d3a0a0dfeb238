// The program's life: start-up, the attract loop, the play loop and the exit path.
#include <cstdio>

#include "assets/catalogue.h"
#include "gameplay/game.h"
#include "platform/input.h"
#include "platform/sound.h"
#include "platform/sprites.h"
#include "platform/timing.h"
#include "platform/video.h"
#include "shell/background.h"
#include "shell/hall_of_fame.h"
#include "shell/loading.h"
#include "shell/shell.h"
#include "tune/sid_player.h"

int joystickCount;
int attractPage;
int blinkOn;
uint32_t pageStartMs, blinkStartMs;

namespace {
constexpr const char* GAME_TITLE = "Vexed Drifts [96k]";

// Timers compare the difference of two clock readings, taken as signed, with a strict greater-than.
bool Elapsed(uint32_t now, uint32_t since, int32_t period) { return int32_t(now - since) > period; }
}  // namespace

void ResetShellState() {
    joystickCount = 0;
    attractPage = 0;
    blinkOn = 0;
    pageStartMs = 0;
    blinkStartMs = 0;
    ResetStarField();
}

namespace {
// Every way out: the audio device and its reporting thread stop first, then the rest in order.
[[noreturn]] void ShutDownAndExit(int code) {
    ShutdownSoundEffects();
    ShutdownJoysticks();
    ReleaseAllTransformedSprites();
    ShutdownScreen();
    ShutdownSpriteSystem();
    ShutdownKeyboardInput();
    DestroyGameWindows();
    ShutdownPlatform();
    ExitProcess(code);
}

// A start-up step failed and has said why in one line on stderr.
[[noreturn]] void FailStartUp() { ShutDownAndExit(1); }

// The full loading bar stays up for a second, and a close request is answered at once meanwhile.
void HoldLoadingScreen() {
    for (int waited = 0; waited < 1000; waited += 10) {
        if (PollWindowEvent() == EVENT_CLOSE) ExitGame();
        SleepMilliseconds(10);
    }
}
}  // namespace

void ExitGame() { ShutDownAndExit(0); }

void StartUp() {
    ResetShellState();
    // Running blind helps nobody: each failing step has said why on stderr.
    if (!InitSpriteSystem() || !InitTransformedSprites()) FailStartUp();
    InitKeyboardInput();
    joystickCount = DetectJoysticks();
    if (!InitSoundEffects()) FailStartUp();
    int window = OpenGameWindow(0, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, GAME_TITLE, WINDOW_FLAGS);
    if (window == 0 || !OpenScreenInWindow(window, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, 1, 0, 0)) FailStartUp();
    ResetHallOfFame();
    CreateGameLists();
    LoadGraphics();
    HoldLoadingScreen();
    SetTransformedFilter(1);
    EmbeddedFile tune = TuneFile();
    if (!StartTune(tune.data, uint32_t(tune.size), 0))  // the game goes on without music
        std::fprintf(stderr, "vexed-drifts: no music: %s\n", TuneImageFault(tune.data, uint32_t(tune.size)));
    ResumeTune();
}

void EndFrame() {
    PresentFrame();
    SleepMilliseconds(10);
}

void ReadFireKeys() {
    if (IsKeyDown(KEY_LEFT_CONTROL)) game.leaveLoop = 1;
    if (joystickCount > 0) {
        SampleJoystick(0);
        if (IsJoystickButtonDown(0, 1)) game.leaveLoop = 1;
    }
}

void DrawTurningBackground(uint32_t now) {
    ClearFrame(0);
    BeginTransformedBatch();
    DrawBackground();
    EndTransformedBatch();
    UpdateStarSpin(now);
}

int RunAttractFrame() {
    uint32_t now = NowMilliseconds();
    if (PollWindowEvent() == EVENT_CLOSE) ExitGame();
    if (Elapsed(now, blinkStartMs, 500)) {
        blinkStartMs = NowMilliseconds();
        blinkOn = 1 - blinkOn;
    }
    SampleKeyboard();
    if (IsKeyDown(KEY_ESCAPE)) {
        StopTune();
        SleepMilliseconds(100);
        ExitGame();
    }
    ReadFireKeys();
    DrawTurningBackground(now);
    if (Elapsed(now, pageStartMs, 20000)) {
        pageStartMs = NowMilliseconds();
        attractPage = (attractPage + 1) % 4;
    }
    DrawAttractPage(attractPage);
    EndFrame();
    return game.leaveLoop == 1 ? 1 : 0;
}

void RunAttractMode() {
    ResetGameState();
    pageStartMs = NowMilliseconds();
    while (!RunAttractFrame()) {
    }
}

void RunGame() {
    StartRound();
    for (;;) {
        switch (RunGameFrame()) {
            case PLAY_GOES_ON:
                continue;
            case PLAY_ROUNDS_DONE:
                attractPage = 0;
                return;
            case PLAY_GAME_OVER:
                CheckHallOfFame(game.score);  // sets the page the attract mode opens on
                return;
        }
    }
}

void GameMain() {
    StartUp();
    attractPage = 0;
    for (;;) {
        RunAttractMode();
        RunGame();
    }
}
