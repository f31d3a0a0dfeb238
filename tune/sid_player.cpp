// The tune image loader and the player's operations: reset, load, init, and the frame that the output
// renders 8 at a time.
#include <cstring>
#include <type_traits>

#include "tune/audio_stream.h"
#include "tune/sid_player.h"

SidPlayer tunePlayer;

namespace {

static_assert(std::is_trivially_copyable_v<SidPlayer>, "the player reset clears it bytewise");

constexpr uint32_t HEADER_FIELDS_END = 14; // the header is read up to the play address
constexpr uint16_t PLAY_VECTOR = 0x0314;   // where an init routine leaves the play address

// Where an image's parts lie, or why they cannot be read.
struct TuneLayout {
    const char* fault;
    uint16_t initAddress, playAddress, loadAddress;
    uint32_t dataStart; // offset of the data proper in the image
};

uint16_t BigEndianWord(const uint8_t* bytes) {
    return uint16_t(bytes[0] << 8 | bytes[1]);
}

TuneLayout ReadTuneLayout(const uint8_t* image, uint32_t length) {
    TuneLayout layout{};
    if (!image || length < HEADER_FIELDS_END) {
        layout.fault = "the tune image is shorter than its header";
        return layout;
    }
    layout.initAddress = BigEndianWord(image + 10);
    layout.playAddress = BigEndianWord(image + 12);
    layout.loadAddress = BigEndianWord(image + 8);
    uint32_t dataOffset = image[7];
    // A load address of 0 in the header means that the data block starts with the real one.
    layout.dataStart = dataOffset + (layout.loadAddress == 0 ? 2 : 0);
    if (length < layout.dataStart) {
        layout.fault = "the tune image is shorter than its data offset";
        return layout;
    }
    if (layout.loadAddress == 0) layout.loadAddress = uint16_t(image[dataOffset] | image[dataOffset + 1] << 8);
    // In 64 bits: a length near 4 GiB must not wrap the sum back into range.
    if (uint64_t(layout.loadAddress) + (uint64_t(length) - layout.dataStart) > 0x10000)
        layout.fault = "the tune data runs past $FFFF";
    return layout;
}

} // namespace

const char* TuneImageFault(const uint8_t* image, uint32_t length) {
    return ReadTuneLayout(image, length).fault;
}

bool LoadTune(SidPlayer& player, const uint8_t* image, uint32_t length) {
    TuneLayout layout = ReadTuneLayout(image, length);
    if (layout.fault) return false;
    player.initAddress = layout.initAddress;
    player.playAddress = layout.playAddress;
    player.loadAddress = layout.loadAddress;
    std::memset(player.memory, 0, sizeof player.memory);
    std::memcpy(player.memory + layout.loadAddress, image + layout.dataStart, length - layout.dataStart);
    // A play address of 0: the init routine installs the play routine's address at $0314.
    if (player.playAddress == 0) {
        RunRoutine(player, player.initAddress, 0);
        player.playAddress = uint16_t(player.memory[PLAY_VECTOR] | player.memory[PLAY_VECTOR + 1] << 8);
    }
    return true;
}

bool PrepareTune(SidPlayer& player, const uint8_t* image, uint32_t length, int song) {
    if (TuneImageFault(image, length)) return false;
    std::memset(&player, 0, sizeof player);
    SidReset(player, MixRate);
    CpuReset(player);
    LoadTune(player, image, length);
    RunRoutine(player, player.initAddress, uint8_t(song));
    return true;
}

void RenderFrame(SidPlayer& player, int16_t* buffer, int count) {
    RunRoutine(player, player.playAddress, 0);
    RenderSamples(player, buffer, count);
}

bool StartTune(const uint8_t* image, uint32_t length, int song) {
    StopTune(); // the refills of a tune already playing must not run on the player being reset
    if (!PrepareTune(tunePlayer, image, length, song)) return false;
    StartOutput();
    return true;
}

void ResumeTune() {
    ResumeOutput();
}

void StopTune() {
    CloseOutput();
}
