#pragma once
// The game's tune output: two blocks of 8 frames in circulation on the device set by SetOutputDevice.
// Each block the device reports as played is rendered afresh from the game's player (tunePlayer) on the
// device's reporting thread and queued again behind the other, so the blocks alternate 0, 1, 0, 1.
#include <atomic>
#include <cstdint>

#include "tune/output_device.h"

using RefillRoutine = void (*)(uint32_t argument);

// What to do when a block has been played. The routine is read on the reporting thread and cleared on
// the main thread by CloseOutput.
struct BlockRefill {
    std::atomic<RefillRoutine> routine; // null: nothing
    uint32_t argument;                  // passed to the routine unchanged
};

struct AudioBlock {
    const int16_t* samples;
    int count;
    bool prepared;
};

bool OpenOutput();                                               // opens the device paused; false: none
void CreateBlock(int block);                                     // block 0 or 1 afresh, its refill empty
void PrepareBlock(int block, const int16_t* samples, int count); // ties the samples to the block
void SubmitBlock(int block, RefillRoutine routine, uint32_t argument); // arms the refill, queues the block
void ReleaseBlock(int block);                                    // unties a prepared block
void ResumeOutput();                                             // lets an open device play
void CloseOutput();  // detaches both refills (waiting for one in progress), then closes the device
void OnOutputEvent(void* user, int block);                       // the device's report: block was played
// Opens the output and queues blocks 0 and 1, rendered from frames 1-8 and 9-16 of tunePlayer.
void StartOutput();
// The latest failure of preparing or queueing a block, for the platform to show; null when none.
const char* OutputFault();
