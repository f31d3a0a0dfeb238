#include <cstdio>
#include <cstring>

#include "shell/shell.h"

namespace {
const char HELP[] =
    "Usage: vexed-drifts [--help | --version]\n"
    "A single-player arcade shoot-'em-up: steer a ship over a turning star field and shoot down the\n"
    "seekers and planets of five rounds.\n"
    "\n"
    "Keys: Left Control (or joystick button 1) starts a game and fires; the arrow keys (or the joystick)\n"
    "steer; Escape quits, or ends a game in play; 1 ends the round; F11 or Alt+Return switches between\n"
    "the window and the whole screen; letters, Backspace and Return enter a name in the hall of fame.\n"
    "\n"
    "Environment: DISPLAY or WAYLAND_DISPLAY, the display to open the window on; SDL_VIDEODRIVER and\n"
    "SDL_AUDIODRIVER, the video and audio drivers; SDL_RENDER_DRIVER, the renderer (\"software\", like\n"
    "LIBGL_ALWAYS_SOFTWARE=1, draws without the graphics card).\n";

// Written in full, or the caller hears of the failure (a closed pipe, a full disk).
int Answer(const char* text) {
    std::fputs(text, stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
}  // namespace

// --version and --help answer without opening anything; any other argument is ignored.
int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) return Answer("vexed-drifts " VD_VERSION "\n");
        if (std::strcmp(argv[i], "--help") == 0) return Answer(HELP);
    }
    GameMain();
}
