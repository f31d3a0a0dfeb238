// The hall of fame, the end-of-game check and name entry, played through the headless backend.
#include "shell/hall_of_fame.h"

#include <algorithm>

#include "platform/timing.h"
#include "shell/font.h"
#include "tests/test_shell_support.h"

namespace {
const KeyFrames RETURN = Press({KEY_RETURN});

class NameEntry : public ShellTest {};

// Plays a name entry for score with the given keys; returns the frames it took.
int EnterName(int32_t score, const KeyFrames& keys) {
    PlayKeys(keys);
    int before = PresentedFrameCount();
    CheckHallOfFame(score);
    return PresentedFrameCount() - before;
}

int PlaceOf(const std::string& name) {
    for (int i = 0; i < HALL_OF_FAME_PLACES; ++i)
        if (hallOfFame[i].name == name) return i;
    return -1;
}

TEST_F(NameEntry, FirstStartNeedsMoreThanTheLowestShownScore) {
    attractPage = 3;
    EXPECT_EQ(EnterName(1900, {}), 0);  // equal to entry 19: no place, no screen
    EXPECT_EQ(attractPage, 0);
    for (int i = 0; i < HALL_OF_FAME_PLACES; ++i)
        EXPECT_EQ(std::make_pair(hallOfFame[i].name, hallOfFame[i].score), std::make_pair(std::string("quillvane"), i * 100));

    EnterName(1950, Typing("ace") + RETURN);
    EXPECT_EQ(attractPage, 1);
    EXPECT_EQ(std::make_pair(hallOfFame[0].name, hallOfFame[0].score), std::make_pair(std::string("ace"), 1950));
    for (int i = 1; i < HALL_OF_FAME_PLACES; ++i)  // the default 2000 in the spare place is gone
        EXPECT_EQ(std::make_pair(hallOfFame[i].name, hallOfFame[i].score), std::make_pair(std::string("quillvane"), 2000 - i * 100));
}

TEST_F(NameEntry, EqualScoresLandBelowTheOnesAlreadyThereAndTheLowestDropsOut) {
    InsertHallOfFame("ace", 1950);
    InsertHallOfFame("tie", 1000);
    EXPECT_EQ(PlaceOf("tie"), 11);
    EXPECT_EQ(hallOfFame[10].score, 1000);
    InsertHallOfFame("top", 1950);
    EXPECT_EQ(hallOfFame[0].name + hallOfFame[1].name, "acetop");
    EXPECT_EQ(hallOfFame[20].score, 200);  // the lowest of the 21 scores drops into the spare place
    int32_t lowest = hallOfFame[19].score;
    EXPECT_EQ(EnterName(lowest, {}), 0);
    EXPECT_GT(EnterName(lowest + 1, RETURN), 0);
    // Forty more with many ties: the table stays in order, and its exact order is that of the sort.
    std::string names;
    for (int i = 0; i < 40; ++i) InsertHallOfFame(std::string("p").append(std::to_string(i)), 1000 + (i * 7919 % 13) * 250);
    for (int i = 0; i < HALL_OF_FAME_PLACES; ++i) {
        EXPECT_GE(hallOfFame[std::max(i - 1, 0)].score, hallOfFame[i].score) << i;
        names += hallOfFame[i].name + " ";
    }
    EXPECT_EQ(names, "p32 p6 p19 p38 p12 p25 p31 p5 p18 p37 p11 p24 p17 p4 p30 p36 p10 p23 p16 p3 p39 ");
}

TEST_F(NameEntry, EmptyNameIsNobodyAndTheNameCarriesOver) {
    EXPECT_EQ(EnterName(5000, {{KEY_LEFT_CONTROL}}), 1);  // fire still held from play: over in the first frame
    EXPECT_EQ(std::make_pair(hallOfFame[0].name, hallOfFame[0].score), std::make_pair(std::string("nobody"), 5000));

    EnterName(6000, Typing("7") + RETURN);
    EXPECT_EQ(hallOfFame[0].name, "nobody7");

    // Backspace once more than there are letters: the extra one does nothing.
    EnterName(7000, Press(std::vector<int>(8, KEY_BACKSPACE)) + Typing("z") + RETURN);
    EXPECT_EQ(hallOfFame[0].name, "z");
    EXPECT_EQ(entryName, "z");
}

TEST_F(NameEntry, TypingKeepsEightLowerCaseLettersAndDigits) {
    // Shift+1 types "!", which is not a name character; capitals from A to Z are taken in lower case;
    // keypad digits count.
    const struct { KeyFrames keys; const char* name; } cases[] = {
        {Typing("ab-c d.e/f;g'h=ij12"), "abcdefgh"}, {Typing("azd1", true) + Press({0x4F, 0x50, 0x52}), "azd120"},
        {Typing("zz") + Press({KEY_BACKSPACE}) + Typing("9"), "z9"}};
    int32_t score = 5000;
    for (const auto& c : cases) {
        entryName.clear();
        EnterName(score += 1000, c.keys + RETURN);
        EXPECT_EQ(hallOfFame[0].name, c.name);
    }
}

TEST_F(NameEntry, FireOrReturnReleaseEndsTheEntry) {
    HeadlessSetJoystickCount(1);
    joystickCount = DetectJoysticks();
    HeadlessSetJoystick(0, 0, 0, 1u);  // button 1 held
    EXPECT_EQ(EnterName(5000, {}), 1);
    HeadlessSetJoystick(0, 0, 0, 0);

    // Return ends the entry when it goes up, not while it is held.
    EXPECT_EQ(EnterName(6000, KeyFrames(5, {KEY_RETURN})), 6);
    EXPECT_EQ(hallOfFame[0].score, 6000);
}

TEST_F(NameEntry, EscapeOrTheCloseBoxEndsTheProgramAtOnce) {
    for (bool closeBox : {false, true}) {
        SetUp();
        closeBox ? HeadlessRequestClose() : PlayKeys({{KEY_ESCAPE}});
        EXPECT_EQ(ExitCode([] { CheckHallOfFame(5000); }), 0);
        EXPECT_EQ(hallOfFame[0].score, 0);  // nothing was inserted
    }
}

TEST_F(NameEntry, ColourStepsOnlyAfterMoreThan100Ms) {
    colourStep = 6;
    blinkStartMs = NowMilliseconds() - 100;
    EnterName(5000, {{KEY_LEFT_CONTROL}});
    EXPECT_EQ(colourStep, 6);
    uint32_t frameStart = NowMilliseconds();
    blinkStartMs = frameStart - 101;
    EnterName(5000, {{KEY_LEFT_CONTROL}});
    EXPECT_EQ(colourStep, 0);  // wraps after the seventh colour
    EXPECT_EQ(blinkStartMs, frameStart);
}

class NameEntryFrames : public LoadedShellTest {};

// Plays a name entry that types name and takes the frame shown two frames after the last key.
uint64_t EntryFrame(int32_t score, const std::string& name, const std::string& frameName) {
    ResetGameState();  // as a game that ended with this score left them
    game.score = score;
    game.hiScore = std::max(game.hiScore, score);
    KeyFrames keys = Typing(name);
    uint64_t checksum = 0;
    int shotAt = int(keys.size()) + 2;
    PlayKeys(keys + KeyFrames(shotAt - int(keys.size())) + RETURN, [&](int frame) {
        if (frame == shotAt) checksum = FrameChecksum(frameName);
    });
    CheckHallOfFame(score);
    return checksum;
}

// The typed name steps through the colour rows red, orange, plain, orange, red, red, red, one step in
// the first frame more than 100 ms after the last (7 frames of 16.4 ms); shown as runs of row x frames.
TEST_F(NameEntryFrames, TheNameCyclesThroughItsColours) {
    uint32_t rows[4];
    int gx = 0, gy = 0;
    for (int row = 3; row >= 0; --row) {
        ClearFrame(0);
        DrawText(0, 0, "m", row);
        for (int i = 16 * 23 - 1; i >= 0; --i)
            if (row == 3 && BackBufferPixels()[i % 16 + i / 16 * SCREEN_WIDTH]) gx = i % 16, gy = i / 16;
        rows[row] = BackBufferPixels()[gx + gy * SCREEN_WIDTH];
    }
    std::string runs;
    int last = -1, length = 0;
    entryName = "m";
    PlayKeys(KeyFrames(100) + RETURN, [&](int) {
        const uint32_t seen = BackBufferPixels()[272 + gx + (300 + gy) * SCREEN_WIDTH];
        const int row = int(std::find(rows, rows + 4, seen) - rows);
        if (row != last && last >= 0) runs += std::to_string(last) + "x" + std::to_string(length) + " ";
        length = row == last ? length + 1 : 1;
        last = row;
    });
    CheckHallOfFame(5000);
    EXPECT_EQ(runs, "1x7 0x7 1x7 2x28 1x7 0x7 1x7 2x28 ");
}

// Checked by eye: the greetings, the typed name in the cycling colour, the free places as bars, the panels.
TEST_F(NameEntryFrames, BothGreetingsMatchTheirGoldenFrames) {
    EXPECT_EQ(EntryFrame(1950, "ace", "name-entry-highscore"), 0xb8dc84c4cb9d10b2ull);
    // The second entry starts from "ace" and has room for five more characters only.
    EXPECT_EQ(EntryFrame(1000, "vd2026", "name-entry-top-score"), 0x5c34f584604aa8faull);
    EXPECT_EQ(hallOfFame[11].name, "acevd202");  // below the 1000 already there
}
}  // namespace

// The whole way through the program: a game whose round 1 is ended with the "1" key, Escape pressed and
// released in round 2, a name typed and Return; the new name tops the table at once, then the pages turn.
TEST(PlayerJourney, ABonusRoundEarnsRankOneAndThePagesTurnEvery20Seconds) {
    SeedRandom(7);
    enum Step { FIRE, PLAYING, BONUS, QUIT_GAME, NAMING, BACK_ON_PAGES, DONE } step = FIRE;
    const KeyFrames naming = KeyFrames(3) + Typing("ace") + RETURN;
    size_t namingFrame = 0;
    int32_t scoreAtEscape = -1;
    uint32_t frameStart = 0, nextFrameStart = 0, hallShownMs = 0;
    std::vector<std::pair<int, uint32_t>> pages;  // each page with the clock of its first frame

    const int code = RunProgram([&](int frame) {
        frameStart = nextFrameStart;
        nextFrameStart = NowMilliseconds() + 10;  // the next frame begins after the 10 ms sleep
        HeadlessReleaseAllKeys();
        switch (step) {
            case FIRE:
                if (frame == 20) HeadlessSetKey(KEY_LEFT_CONTROL, true), step = PLAYING;
                break;
            case PLAYING:  // the first frame of play has set up round 1
                if (roundState.roundStartMs != 0) HeadlessSetKey(KEY_1, true), step = BONUS;
                break;
            case BONUS:
                if (game.round == 2) {
                    scoreAtEscape = game.score;
                    HeadlessSetKey(KEY_ESCAPE, true);
                    step = QUIT_GAME;
                }
                break;
            case QUIT_GAME:
                step = NAMING;
                break;
            case NAMING:
                if (namingFrame < naming.size())
                    for (int key : naming[namingFrame++]) HeadlessSetKey(key, true);
                if (hallOfFame[0].name != "ace") break;
                step = BACK_ON_PAGES;  // this is the first frame after the entry
                hallShownMs = frameStart;
                EXPECT_EQ(attractPage, 1);
                [[fallthrough]];
            case BACK_ON_PAGES:
                if (pages.empty() || pages.back().first != attractPage) pages.push_back({attractPage, frameStart});
                if (nextFrameStart - hallShownMs > 65000) HeadlessSetKey(KEY_ESCAPE, true), step = DONE;
                break;
            case DONE:
                break;
        }
    }, true, 20000);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(step, DONE);
    EXPECT_EQ(scoreAtEscape, 3000 + 250);  // the bonus for three ships, and a points pick-up that reached the ship
    EXPECT_EQ(hallOfFame[0].name, "ace");
    EXPECT_EQ(hallOfFame[0].score, scoreAtEscape);
    EXPECT_EQ(game.hiScore, scoreAtEscape);
    ASSERT_EQ(pages.size(), 4u);
    for (size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(pages[i].first, int(i + 1) % 4);
        if (i == 0) continue;
        uint32_t shown = pages[i].second - pages[i - 1].second;  // more than 20 s, by at most one frame
        EXPECT_GT(shown, 20000u);
        EXPECT_LT(shown, 20000u + 30u);
    }
}

// A game won to the end: every round ended with the "1" key. The score would top the hall of fame, but
// a won fifth round goes straight back to the title page, with no name entry.
TEST(PlayerJourney, WinningRoundFiveGoesBackToTheTitleWithoutAName) {
    SeedRandom(7);
    int roundEnded = 0, highestRound = 0, firstAttractPage = -1, attractFrames = 0;
    int32_t finalScore = 0;
    bool playing = false;
    const int code = RunProgram([&](int frame) {
        HeadlessReleaseAllKeys();
        if (playing && game.round < highestRound) {  // the attract mode has reset the game
            playing = false;
            firstAttractPage = attractPage;
        }
        if (!playing) {
            if (highestRound == 0 && frame == 20) HeadlessSetKey(KEY_LEFT_CONTROL, true), playing = true;
            if (highestRound != 0 && ++attractFrames == 30) HeadlessSetKey(KEY_ESCAPE, true);
            return;
        }
        highestRound = game.round;
        finalScore = game.score;
        if (roundState.roundStartMs != 0 && roundEnded < game.round) {  // the "1" key ends each round once
            HeadlessSetKey(KEY_1, true);
            roundEnded = game.round;
        }
    }, true, 5000);
    EXPECT_EQ(code, 0);  // not -1: no screen waited for keys
    EXPECT_EQ(highestRound, 5);
    for (const auto& entry : hallOfFame) EXPECT_GT(finalScore, entry.score);  // enough for the first place
    EXPECT_EQ(firstAttractPage, 0);
    EXPECT_EQ(attractFrames, 30);
    for (const auto& entry : hallOfFame) EXPECT_EQ(entry.name, "quillvane");  // no name was asked for
}
