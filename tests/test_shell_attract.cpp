// The attract pages: their credit lines, the title logo's slide and a golden frame of every page.
#include "shell/attract.h"

#include <array>
#include <utility>

#include "platform/timing.h"
#include "tests/test_shell_support.h"

namespace {
class Attract : public ShellTest {};

// Every slot has a fixed place and width; a line fills it with plain words crediting this project.
TEST_F(Attract, CreditLinesFillTheirSlotsWithPlainText) {
    const std::vector<std::array<int, 4>> slots = {{290, 330, 2, 15}, {245, 370, 1, 20}, {208, 410, 2, 25},
        {40, 90, 3, 44}, {140, 160, 1, 31}, {45, 200, 1, 43}, {45, 280, 2, 35}, {140, 430, 3, 32}};
    for (size_t i = 0; i < slots.size(); ++i) {
        const CreditLine& line = i < 3 ? titleCredits[i] : creditsPage[i - 3];
        const std::string text = line.text;
        EXPECT_EQ((std::array<int, 4>{line.x, line.y, line.row, int(text.size())}), slots[i]) << text;
        EXPECT_EQ(text.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789 "), std::string::npos) << text;
        EXPECT_TRUE(text.front() != ' ' && text.back() != ' ' && text.find("  ") == std::string::npos) << text;
        EXPECT_NE(text.find("vexed"), std::string::npos) << text;
    }
}

TEST_F(Attract, TheLogoRisesOnTheTitlePageAndIsResetByThePointsPage) {
    game.logoY = 600;
    for (int frame = 1; frame <= 153; ++frame) DrawAttractPage(0);
    EXPECT_EQ(game.logoY, 141);
    for (int page : {0, 0, 1, 3}) {  // at rest at 140, on the title page and the others but the points page
        DrawAttractPage(page);
        EXPECT_EQ(game.logoY, 140) << page;
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
