// The attract pages: their credit lines, the page order and timer, and the title logo's slide.
#include "shell/attract.h"

#include <array>
#include <utility>

#include "platform/timing.h"
#include "tests/test_shell_support.h"

namespace {
class Attract : public ShellTest {};

// Every slot has a fixed width and place; a line must fill it with words, not with runs of spaces.
void ExpectCreditLines(const CreditLine* lines, const std::vector<std::array<int, 4>>& slots) {
    for (size_t i = 0; i < slots.size(); ++i) {
        const std::string text = lines[i].text;
        SCOPED_TRACE(text);
        EXPECT_EQ((std::array<int, 4>{lines[i].x, lines[i].y, lines[i].row, int(text.size())}), slots[i]);
        for (char c : text) EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ') << c;
        EXPECT_NE(text.front(), ' ');
        EXPECT_NE(text.back(), ' ');
        EXPECT_EQ(text.find("  "), std::string::npos);
        EXPECT_NE(text.find("vexed"), std::string::npos);  // every line credits this project
    }
}

TEST_F(Attract, CreditLinesFillTheirSlotsWithPlainText) {
    ExpectCreditLines(titleCredits, {{290, 330, 2, 15}, {245, 370, 1, 20}, {208, 410, 2, 25}});
    ExpectCreditLines(creditsPage, {{40, 90, 3, 44}, {140, 160, 1, 31}, {45, 200, 1, 43}, {45, 280, 2, 35},
                                    {140, 430, 3, 32}});
}

// The pages shown by the attract mode from now until fire is pressed at stopMs, with the clock reading of
// the first frame of each page.
std::vector<std::pair<int, uint32_t>> PagesUntil(uint32_t stopMs) {
    std::vector<std::pair<int, uint32_t>> pages;
    uint32_t frameStart = NowMilliseconds();
    HeadlessOnFrame([&](int) {
        if (pages.empty() || pages.back().first != attractPage) pages.push_back({attractPage, frameStart});
        frameStart = NowMilliseconds() + 10;  // the next frame begins after the 10 ms sleep
        HeadlessSetKey(KEY_LEFT_CONTROL, frameStart >= stopMs);
    });
    RunAttractMode();
    HeadlessReleaseAllKeys();
    return pages;
}

TEST_F(Attract, PagesTurnEvery20SecondsWithAFreshTimerOnEveryEntry) {
    HeadlessSetClock(50000);
    auto pages = PagesUntil(50000 + 85000);
    ASSERT_EQ(pages.size(), 5u);
    for (size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(pages[i].first, int(i % 4));
        if (i == 0) continue;
        uint32_t shown = pages[i].second - pages[i - 1].second;  // more than 20 s, by at most one frame
        EXPECT_GT(shown, 20000u);
        EXPECT_LT(shown, 20000u + 30u);
    }

    // Back from a game long after the last page turn, on the hall-of-fame page: it still gets its 20 s.
    HeadlessAdvanceClock(60000);
    attractPage = 1;
    pages = PagesUntil(NowMilliseconds() + 25000);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].first, 1);
    EXPECT_EQ(pages[1].first, 2);
    EXPECT_GT(pages[1].second - pages[0].second, 20000u);
}

TEST_F(Attract, TheLogoRisesOnTheTitlePageAndIsResetByThePointsPage) {
    game.logoY = 600;
    for (int frame = 1; frame <= 153; ++frame) DrawAttractPage(0);
    EXPECT_EQ(game.logoY, 141);
    DrawAttractPage(0);
    EXPECT_EQ(game.logoY, 140);
    DrawAttractPage(0);
    EXPECT_EQ(game.logoY, 140);
    for (int page : {1, 3}) {
        DrawAttractPage(page);
        EXPECT_EQ(game.logoY, 140);
    }
    DrawAttractPage(2);
    EXPECT_EQ(game.logoY, 600);
}

class AttractFrames : public LoadedShellTest {};

// Shows page for at least `frames` frames and until the blinking line is on; the checksum of the last frame,
// written as name.png on request.
uint64_t PageFrame(int page, int frames, const std::string& name) {
    attractPage = page;
    pageStartMs = NowMilliseconds();
    for (int n = 0; n < frames || blinkOn == 0; ++n) RunAttractFrame();
    EXPECT_EQ(attractPage, page);
    return FrameChecksum(name);
}

// Checked by eye: the logo at rest with "press fire to start" on; the default table, lowest score first;
// the points table; the credits; and the logo rising in front of the texts after the points page.
TEST_F(AttractFrames, EveryPageMatchesItsGoldenFrame) {
    EXPECT_EQ(PageFrame(0, 160, "attract-title"), 0x7694b93eab8fc063ull);
    EXPECT_EQ(PageFrame(1, 2, "attract-hall-of-fame"), 0xaf39f8494133a8e2ull);
    EXPECT_EQ(PageFrame(2, 2, "attract-points"), 0x3f62d5982dbd1476ull);
    EXPECT_EQ(PageFrame(3, 2, "attract-credits"), 0x319e5d018e8cc228ull);
    EXPECT_EQ(PageFrame(0, 40, "attract-title-rising"), 0xd796ae712c29c474ull);
}
}  // namespace
