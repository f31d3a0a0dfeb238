// The hall of fame, the end-of-game check and the name-entry screen.
#include "shell/hall_of_fame.h"

#include <utility>

#include "gameplay/game.h"
#include "platform/input.h"
#include "platform/timing.h"
#include "platform/video.h"
#include "shell/font.h"
#include "shell/shell.h"

HallOfFameEntry hallOfFame[HALL_OF_FAME_PLACES];
std::string entryName;
int colourStep;

namespace {
constexpr int NAME_LENGTH = 8;
constexpr int LAST_SHOWN_PLACE = 19;   // a score must beat this place to enter the table
constexpr int COLOUR_CYCLE_LENGTH = 7;
// Colour rows the typed name steps through every 100 ms: red, orange, plain, orange, red, red, red.
constexpr int colourCycle[COLOUR_CYCLE_LENGTH] = {FONT_RED, FONT_ORANGE, FONT_PLAIN, FONT_ORANGE,
                                                  FONT_RED, FONT_RED, FONT_RED};

std::string entryMessage;
int entryMessageX;

int32_t ScoreAt(int place) { return hallOfFame[place].score; }

// Hoare partition with the pivot moved to lo first. The pivot choice and the scans decide where equal
// scores end up, so they must stay exactly as they are: a new score ties below the scores already there.
int Partition(int lo, int hi) {
    int mid = (lo + hi) / 2;
    int pivotPlace;
    if (ScoreAt(lo) < ScoreAt(hi)) pivotPlace = mid;
    else if (ScoreAt(mid) >= ScoreAt(lo)) pivotPlace = lo;
    else if (ScoreAt(mid) <= ScoreAt(hi)) pivotPlace = hi;
    else pivotPlace = mid;
    std::swap(hallOfFame[lo], hallOfFame[pivotPlace]);
    int32_t pivot = ScoreAt(lo);
    int i = lo - 1, j = hi + 1;
    for (;;) {
        do --j; while (ScoreAt(j) < pivot);
        do ++i; while (ScoreAt(i) > pivot);
        if (i >= j) return j;
        std::swap(hallOfFame[i], hallOfFame[j]);
    }
}

void SortHallOfFame(int lo, int hi) {
    while (hi - lo > 0) {
        int p = Partition(lo, hi);
        SortHallOfFame(lo, p);
        lo = p + 1;
    }
}

bool IsNameCharacter(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

std::string ToLowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

// One pass of the name-entry loop; leaves game.leaveLoop at 1 when the entry is over.
void RunNameEntryFrame() {
    uint32_t now = NowMilliseconds();
    // The close box works here as on the other screens: a window that ignores it looks hung.
    if (PollWindowEvent() == EVENT_CLOSE) ExitGame();
    if (int32_t(now - blinkStartMs) > 100) {
        blinkStartMs = NowMilliseconds();
        colourStep = (colourStep + 1) % COLOUR_CYCLE_LENGTH;
    }
    SampleKeyboard();
    if (IsKeyDown(KEY_ESCAPE)) ExitGame();
    ReadFireKeys();
    DrawTurningBackground(now);

    std::string typed = ToLowerCase(ReadTypedText());
    if (WasKeyReleased(KEY_BACKSPACE) && !entryName.empty()) entryName.pop_back();
    if (WasKeyReleased(KEY_RETURN)) game.leaveLoop = 1;
    for (char c : typed)
        if (IsNameCharacter(c) && entryName.size() < NAME_LENGTH) entryName += c;

    // Free places show the letter i, whose glyph is a plain bar.
    std::string shown = (entryName + "iiiiiiii").substr(0, NAME_LENGTH);
    DrawText(320, 80, "name entry", FONT_PLAIN);
    DrawText(190, 130, "congratulations player one", FONT_ORANGE);
    DrawText(entryMessageX, 170, entryMessage, FONT_RED);
    DrawText(190, 430, "please enter your initials", FONT_RED);
    for (int i = 1; i <= NAME_LENGTH; ++i)
        DrawText(240 + 32 * i, 300, shown.substr(i - 1, 1), colourCycle[colourStep]);
    DrawStatusPanels();
    EndFrame();
}
}  // namespace

void ResetHallOfFame() {
    for (int i = 0; i < HALL_OF_FAME_PLACES; ++i) hallOfFame[i] = {"quillvane", i * 100};
    entryName.clear();
    colourStep = 0;
}

void CheckHallOfFame(int32_t score) {
    if (score <= ScoreAt(LAST_SHOWN_PLACE)) {
        attractPage = 0;
        return;
    }
    if (score >= ScoreAt(0)) {
        entryMessage = "you have the current highscore";
        entryMessageX = 160;
    } else {
        entryMessage = "you reached a new top score";
        entryMessageX = 184;
    }
    game.leaveLoop = 0;
    RunNameEntry(score);
}

void RunNameEntry(int32_t score) {
    do RunNameEntryFrame();
    while (game.leaveLoop != 1);
    if (entryName.empty()) entryName = "nobody";
    attractPage = 1;
    InsertHallOfFame(entryName, score);
}

void InsertHallOfFame(const std::string& name, int32_t score) {
    hallOfFame[HALL_OF_FAME_PLACES - 1] = {name, score};
    SortHallOfFame(0, HALL_OF_FAME_PLACES - 1);
}
