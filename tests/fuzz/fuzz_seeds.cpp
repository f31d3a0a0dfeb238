// fuzz-seeds DIR: the starting corpora, DIR/<target>/<name>, from the assets the game embeds: every
// bitmap, every sound, the tune image, and for the processor the tune's code and data as they lie in its
// memory after loading (what fuzz_cpu reads: registers first, then memory).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "assets/catalogue.h"
#include "tune/sid_player.h"

namespace {
bool Write(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    return bool(out);
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-seeds DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    bool ok = true;
    for (int id : TEXTURE_SPRITE_IDS) {
        const EmbeddedFile file = SpriteFile(id);
        ok = ok && Write(dir / "bitmap" / ("sprite_" + std::to_string(id) + ".bmp"), file.data, file.size);
    }
    for (int id : PLAIN_SPRITE_IDS) {
        const EmbeddedFile file = SpriteFile(id);
        ok = ok && Write(dir / "bitmap" / ("sprite_" + std::to_string(id) + ".bmp"), file.data, file.size);
    }
    for (int id : SOUND_IDS) {
        const EmbeddedFile file = SoundFile(id);
        ok = ok && Write(dir / "wave" / ("sound_" + std::to_string(id) + ".wav"), file.data, file.size);
    }
    const EmbeddedFile tune = TuneFile();
    ok = ok && Write(dir / "tune" / "tune.sid", tune.data, tune.size);

    // The processor's seeds: the tune's memory from its load address, entered at the init routine as
    // loaded, and at the play routine as the init routine leaves it.
    static SidPlayer player;
    if (!PrepareTune(player, tune.data, uint32_t(tune.size), 0)) return 1;
    auto seed = [&](uint16_t entry, const uint8_t* memory, const char* name) {
        const size_t from = player.loadAddress;
        size_t to = 0x10000;
        while (to > from && memory[to - 1] == 0) --to;
        std::string bytes = {char(0), char(from), char(from >> 8), char(entry), char(entry >> 8)};
        bytes.append(reinterpret_cast<const char*>(memory) + from, to - from);
        return Write(dir / "cpu" / name, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    };
    ok = ok && seed(player.playAddress, player.memory, "play");
    static SidPlayer loaded;
    ok = ok && LoadTune(loaded, tune.data, uint32_t(tune.size)) && seed(loaded.initAddress, loaded.memory, "init");
    return ok ? 0 : 1;
}
