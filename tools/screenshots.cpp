// screenshots DIR: the README's pictures, taken from the whole game on the headless backend with a fixed
// random seed, so that they can be made again after any change: the loading screen, the four attract
// pages, a frame of play with explosions and particles, and name entry. A scripted player starts a game,
// ends round 1 at once (its bonus earns a place in the hall of fame), hunts the objects of round 2,
// gives up with Escape and types a name. The play picture is the frame of round 2 that shows the most
// explosions and objects (see FrameInterest).
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "assets/catalogue.h"
#include "gameplay/game.h"
#include "gameplay/objects.h"
#include "gameplay/particles.h"
#include "platform/headless.h"
#include "platform/input.h"
#include "platform/random.h"
#include "platform/sprites.h"
#include "platform/video.h"
#include "shell/shell.h"
#include "tools/png.h"

namespace {

constexpr int LOADING_FRAME = 8;         // the bar at about two thirds
constexpr int TITLE_FRAME = 400;         // attract frames: the logo has slid into place
constexpr int PAGE_FRAME = 300;          // frames into each later page
constexpr int SKIP_ROUND_FRAME = 60;     // play frames: "1" ends round 1 with its bonus
constexpr int PLAY_FROM = 400, PLAY_UNTIL = 2400; // the frames searched for the play picture
constexpr int GIVE_UP_FRAME = 2500;
constexpr int FRAME_LIMIT = 20000;
constexpr const char* NAME = "stardust";

enum Phase { LOADING, ATTRACT, PLAY, NAME_ENTRY };

std::vector<uint32_t> Frame() {
    const uint32_t* pixels = BackBufferPixels();
    return {pixels, pixels + SCREEN_WIDTH * SCREEN_HEIGHT};
}

// The set-1 key that types a lower-case letter on the headless backend's US layout.
int LetterKey(char c) {
    static const std::string rows[] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
    static const int first[] = {0x10, 0x1E, 0x2C};
    for (int r = 0; r < 3; ++r)
        if (size_t at = rows[r].find(c); at != std::string::npos) return first[r] + int(at);
    return 0;
}

struct Script {
    Phase phase = LOADING;
    int phaseFrame = 0;
    int shownPage = -1, pageFrame = 0;
    std::map<std::string, std::vector<uint32_t>> shots;
    int bestInterest = 0;

    void Enter(Phase next) {
        phase = next;
        phaseFrame = 0;
        shownPage = -1;
        HeadlessReleaseAllKeys();
    }

    void OnFrame() {
        ++phaseFrame;
        if (phase == LOADING && phaseFrame == LOADING_FRAME) shots["loading"] = Frame();
        if (phase == ATTRACT) Attract();
        if (phase == PLAY) Play();
        if (phase == NAME_ENTRY) NameEntry();
        if (shots.size() == 7 || PresentedFrameCount() > FRAME_LIMIT) HeadlessRequestClose();
    }

    // Each page is taken once it has shown for a while; then fire starts a game.
    void Attract() {
        static const char* pages[] = {"title", "hall-of-fame", "points", "credits"};
        if (attractPage != shownPage) shownPage = attractPage, pageFrame = 0;
        ++pageFrame;
        if (!shots.count(pages[attractPage]) && pageFrame >= (attractPage == 0 ? TITLE_FRAME : PAGE_FRAME))
            shots[pages[attractPage]] = Frame();
        HeadlessSetKey(KEY_LEFT_CONTROL, shots.count("credits") > 0);
    }

    // How much a play frame shows: objects, and explosions in full bloom (a few frames on, when the white
    // flash of the destroyed object is over), with the ship still in play; none while an object flashes,
    // the bonus shows, or there is too little to see.
    static int FrameInterest() {
        if (game.lives < 1 || roundState.bonusShowing) return 0;
        int objects = 0, explosions = 0;
        for (SpaceObject* o = ListFirst(objectList); o; o = ListNext(objectList)) {
            if (o->sprite == SPRITE_SEEKER_WHITE || o->sprite == SPRITE_PLANET_WHITE) return 0;
            objects += o->x > -o->size && o->x < SCREEN_WIDTH && o->y > -o->size && o->y < SCREEN_HEIGHT;
        }
        for (Particle* p = ListFirst(particleList); p; p = ListNext(particleList))
            explosions += p->sprite >= SPRITE_EXPLOSION_FIRST + 3 && p->sprite <= SPRITE_EXPLOSION_FIRST + 7;
        return objects >= 3 && explosions > 0 ? 2 * objects + 3 * explosions : 0;
    }

    void Play() {
        if (game.leaveLoop == 1) return Enter(NAME_ENTRY);
        if (game.round == 2 && phaseFrame >= PLAY_FROM && phaseFrame <= PLAY_UNTIL) {
            const int interest = FrameInterest();
            if (interest > bestInterest) bestInterest = interest, shots["play"] = Frame();
        }
        // Keep low on the screen, under the nearest hostile object, so that the missiles (fired upwards) hit.
        HeadlessReleaseAllKeys();
        const SpaceObject* target = nullptr;
        for (SpaceObject* o = ListFirst(objectList); o; o = ListNext(objectList))
            if (o->kind == KIND_HOSTILE && o->y > 0 &&
                (!target || std::abs(o->x - float(game.shipX)) < std::abs(target->x - float(game.shipX))))
                target = o;
        if (target) {
            const float dx = target->x + float(target->half) - float(game.shipX + 32);
            if (dx < -8) HeadlessSetKey(KEY_LEFT, true);
            if (dx > 8) HeadlessSetKey(KEY_RIGHT, true);
        }
        if (game.shipY < 420) HeadlessSetKey(KEY_DOWN, true);
        if (game.shipY > 500) HeadlessSetKey(KEY_UP, true);
        HeadlessSetKey(KEY_LEFT_CONTROL, phaseFrame % 2 == 0);
        HeadlessSetKey(KEY_1, phaseFrame == SKIP_ROUND_FRAME);
        HeadlessSetKey(KEY_ESCAPE, phaseFrame == GIVE_UP_FRAME);
    }

    // One letter of the name every other frame; the picture once it is typed, then Return.
    void NameEntry() {
        HeadlessReleaseAllKeys();
        const int typed = phaseFrame / 2;
        if (phaseFrame % 2 == 1 && typed < int(std::string(NAME).size())) HeadlessSetKey(LetterKey(NAME[typed]), true);
        if (phaseFrame == 2 * int(std::string(NAME).size()) + 30) shots["name-entry"] = Frame();
        if (phaseFrame > 2 * int(std::string(NAME).size()) + 30) HeadlessSetKey(KEY_RETURN, true);
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshots DIR\n");
        return 2;
    }
    Script script;
    HeadlessReset();
    SeedRandom(7);
    HeadlessOnFrame([&script](int) { script.OnFrame(); });
    try {
        StartUp();
        attractPage = 0;
        for (;;) {
            script.Enter(ATTRACT);
            RunAttractMode();
            script.Enter(PLAY);
            RunGame();
        }
    } catch (const HeadlessExit&) {
    }
    HeadlessOnFrame(nullptr);
    std::filesystem::create_directories(argv[1]);
    for (const char* name : {"loading", "title", "hall-of-fame", "points", "credits", "play", "name-entry"}) {
        const auto shot = script.shots.find(name);
        if (shot == script.shots.end()) {
            std::fprintf(stderr, "screenshots: the script never reached the %s picture\n", name);
            return 1;
        }
        const std::string path = std::string(argv[1]) + "/" + name + ".png";
        if (!WritePng(path, shot->second.data(), SCREEN_WIDTH, SCREEN_HEIGHT)) {
            std::fprintf(stderr, "screenshots: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
