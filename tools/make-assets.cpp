// make-assets OUTDIR: writes every image and sound of the game into OUTDIR, the files that are embedded
// from assets/data. The output depends on nothing but this code, so it can be regenerated and compared.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "assets/generator/art.h"
#include "assets/generator/sound.h"

namespace {

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!file) std::fprintf(stderr, "make-assets: cannot write %s\n", path.c_str());
    return bool(file);
}

std::vector<uint8_t> Solid(const gen::Picture& p) { return gen::BitmapFileBytes(p.width, p.height, gen::SolidPixels(p)); }

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-assets OUTDIR\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    bool ok = Write(dir + "sprite_100_player_ship.bmp", Solid(gen::PlayerShip()));
    ok &= Write(dir + "sprite_110_missile.bmp", Solid(gen::Missile()));
    for (int frame = 0; frame < 10; frame++)
        ok &= Write(dir + "sprite_13" + std::to_string(frame) + "_explosion.bmp", Solid(gen::Explosion(frame)));
    ok &= Write(dir + "sprite_140_glow.bmp", gen::BitmapFileBytes(32, 32, gen::Glow()));
    const char* pickups[] = {"speed", "points", "aimed_fire", "auto_fire", "extra_ship"};
    for (int kind = 0; kind < 5; kind++)
        ok &= Write(dir + "sprite_16" + std::to_string(kind) + "_pickup_" + pickups[kind] + ".bmp", Solid(gen::Pickup(kind)));
    ok &= Write(dir + "sprite_500_seeker.bmp", Solid(gen::SmokePuff()));
    ok &= Write(dir + "sprite_501_planet.bmp", Solid(gen::Planet()));
    ok &= Write(dir + "sprite_600_font.bmp", Solid(gen::Font()));
    ok &= Write(dir + "sprite_120_lives_icons.bmp", Solid(gen::Crystals()));
    ok &= Write(dir + "sprite_121_title_logo.bmp", Solid(gen::Logo()));

    ok &= Write(dir + "sound_100_launch.wav", gen::WaveFileBytes(gen::LaunchSound()));
    ok &= Write(dir + "sound_101_blast.wav", gen::WaveFileBytes(gen::BlastSound()));
    ok &= Write(dir + "sound_102_round_start.wav", gen::WaveFileBytes(gen::RoundStartSound()));
    ok &= Write(dir + "sound_104_pickup_speed.wav", gen::WaveFileBytes(gen::SpeedSound()));
    ok &= Write(dir + "sound_105_pickup_points.wav", gen::WaveFileBytes(gen::PointsSound()));
    ok &= Write(dir + "sound_106_pickup_aimed_fire.wav", gen::WaveFileBytes(gen::AimedFireSound()));
    ok &= Write(dir + "sound_107_pickup_extra_ship.wav", gen::WaveFileBytes(gen::ExtraShipSound()));
    ok &= Write(dir + "sound_108_pickup_auto_fire.wav", gen::WaveFileBytes(gen::AutoFireSound()));
    return ok ? 0 : 1;
}
