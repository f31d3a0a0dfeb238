// Block streaming of the game's tune. After start-up all rendering happens in the device's reports, one
// at a time on its reporting thread; the main thread only opens, resumes and closes. refillLock keeps a
// refill from overlapping CloseOutput, so that no block is rendered or queued once the output is closed.
#include "tune/audio_stream.h"

#include <cstdio>
#include <mutex>

#include "tune/sid_player.h"

namespace {

const OutputDevice* outputDevice = nullptr; // for the next OpenOutput
const OutputDevice* openDevice = nullptr;   // the device that is open
std::atomic<bool> outputOpen{false};
std::atomic<const char*> outputFault{nullptr};
std::mutex refillLock;
std::atomic<bool> blockRefused[BlockCount]; // queued again after the next report of the other block
std::atomic<bool> refusalShown{false};      // one line on stderr for a run of refusals

int16_t blockSamples[BlockCount][SamplesPerBlock];
BlockRefill blockRefills[BlockCount];
AudioBlock audioBlocks[BlockCount];

void RenderBlock(int block) {
    for (int frame = 0; frame < FramesPerBlock; frame++)
        RenderFrame(tunePlayer, blockSamples[block] + frame * SamplesPerFrame, SamplesPerFrame);
}

// The refill routine of one block: render its next 8 frames and queue it again with this same routine.
template <int Block>
void RefillBlock(uint32_t argument) {
    ReleaseBlock(Block);
    RenderBlock(Block);
    PrepareBlock(Block, blockSamples[Block], SamplesPerBlock);
    SubmitBlock(Block, RefillBlock<Block>, argument);
}

constexpr RefillRoutine REFILL_ROUTINES[BlockCount] = {RefillBlock<0>, RefillBlock<1>};

} // namespace

void SetOutputDevice(const OutputDevice* device) {
    outputDevice = device;
}

bool OpenOutput() {
    if (!outputDevice || !outputDevice->open(OnOutputEvent, nullptr)) return false;
    openDevice = outputDevice;
    outputOpen = true;
    return true;
}

void CreateBlock(int block) {
    blockRefills[block].routine = nullptr;
    blockRefills[block].argument = 0;
    audioBlocks[block] = AudioBlock{};
    blockRefused[block] = false;
}

void PrepareBlock(int block, const int16_t* samples, int count) {
    AudioBlock& audioBlock = audioBlocks[block];
    audioBlock.samples = samples;
    audioBlock.count = count;
    if (!outputOpen) {
        outputFault = "no audio output device";
        return;
    }
    audioBlock.prepared = true;
}

void SubmitBlock(int block, RefillRoutine routine, uint32_t argument) {
    if (!outputOpen) return;
    blockRefills[block].routine = routine;
    blockRefills[block].argument = argument;
    if (openDevice->queue(block, audioBlocks[block].samples, audioBlocks[block].count)) {
        refusalShown = false;
        return;
    }
    outputFault = "the audio output refused a block";
    blockRefused[block] = true;
    if (!refusalShown.exchange(true))
        std::fprintf(stderr, "vexed-drifts: the audio output refused a block of the tune; the tune goes on\n");
}

void ReleaseBlock(int block) {
    audioBlocks[block].prepared = false;
}

void ResumeOutput() {
    if (outputOpen) openDevice->resume();
}

void CloseOutput() {
    if (!outputOpen) return;
    {
        std::lock_guard hold(refillLock);
        for (BlockRefill& refill : blockRefills) {
            refill.routine = nullptr;
            refill.argument = 0;
        }
        outputOpen = false;
    }
    // The reports of the blocks still queued find no routine.
    openDevice->close();
}

void OnOutputEvent(void*, int block) {
    if (block < 0 || block >= BlockCount) return;
    std::lock_guard hold(refillLock);
    BlockRefill& refill = blockRefills[block];
    if (RefillRoutine routine = refill.routine) routine(refill.argument);
    // A block the device refused was never played, so it is never reported: it is rendered and queued
    // again here, behind the block just refilled.
    for (int other = 0; other < BlockCount; other++)
        if (other != block && blockRefused[other].exchange(false))
            if (RefillRoutine routine = blockRefills[other].routine) routine(blockRefills[other].argument);
}

void StartOutput() {
    OpenOutput();
    for (int block = 0; block < BlockCount; block++) CreateBlock(block);
    for (int block = 0; block < BlockCount; block++) RenderBlock(block);
    for (int block = 0; block < BlockCount; block++) PrepareBlock(block, blockSamples[block], SamplesPerBlock);
    for (int block = 0; block < BlockCount; block++) SubmitBlock(block, REFILL_ROUTINES[block], 0);
}

const char* OutputFault() {
    return outputFault;
}
