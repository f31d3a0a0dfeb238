// The sample channel: 4-bit samples in the tune's memory, two to a byte, played at a period given in
// processor clock cycles and added to the output after the chip's volume.
#include "tune/sid_player.h"

namespace {

constexpr int32_t CPU_CLOCK = 985248; // Hz: one nibble every period cycles

void SetLow(uint16_t& word, uint8_t value) {
    word = uint16_t((word & 0xFF00) | value);
}

void SetHigh(uint16_t& word, uint8_t value) {
    word = uint16_t((word & 0x00FF) | value << 8);
}

// Every command reloads the live channel from the prepared registers; $FD stops it, $FE and $FF start it.
// The fraction, the nibble selector and the current value carry over.
void Command(SampleChannel& channel, uint8_t value) {
    channel.repeatCount = channel.preparedRepeatCount;
    channel.position = channel.preparedStart;
    channel.start = channel.preparedStart;
    channel.end = channel.preparedEnd;
    channel.repeatAddress = channel.preparedRepeatAddress;
    channel.period = channel.preparedPeriod;
    channel.step = channel.period ? CPU_CLOCK / channel.period : 0;
    channel.order = channel.preparedOrder;
    if (value == 0xFD) channel.active = 0;
    else if (value >= 0xFE) channel.active = 1;
}

} // namespace

void WriteSampleRegister(SidPlayer& player, uint16_t address, uint8_t value) {
    SampleChannel& channel = player.samples;
    switch (address) {
    case 0xD41D: Command(channel, value); break;
    case 0xD41E: SetLow(channel.preparedStart, value); break;
    case 0xD41F: SetHigh(channel.preparedStart, value); break;
    case 0xD43D: SetLow(channel.preparedEnd, value); break;
    case 0xD43E: SetHigh(channel.preparedEnd, value); break;
    case 0xD43F: channel.preparedRepeatCount = value; break;
    case 0xD45D: SetLow(channel.preparedPeriod, value); break;
    case 0xD45E: SetHigh(channel.preparedPeriod, value); break;
    case 0xD47D: channel.preparedOrder = value; break;
    case 0xD47E: SetLow(channel.preparedRepeatAddress, value); break;
    case 0xD47F: SetHigh(channel.preparedRepeatAddress, value); break;
    default: break;
    }
}

// The repeat count is the number of extra passes: when a nibble step reaches the end address with a
// count above 0, the count drops by one and playing goes on from the repeat address (silent if that lies
// outside start to end). With a count of 0 the channel falls silent at the end. A period of 0 plays
// nothing.
int32_t MixSampleChannel(SidPlayer& player, int32_t x) {
    SampleChannel& channel = player.samples;
    if (!channel.active || channel.step == 0 || channel.position < channel.start || channel.position >= channel.end)
        return x;
    int32_t result = x + channel.value;
    channel.fraction += channel.step;
    if (channel.fraction <= MixRate) return result;
    channel.fraction %= MixRate;
    // Order 0 plays each byte low nibble first, any other order high nibble first.
    if (channel.order == 0 && ++channel.selector == 2) {
        channel.selector = 0;
        channel.position++;
    } else if (channel.order != 0 && --channel.selector < 0) {
        channel.selector = 1;
        channel.position++;
    }
    if (channel.repeatCount != 0 && channel.position >= channel.end) {
        channel.repeatCount--;
        channel.position = channel.repeatAddress;
    }
    uint8_t byte = player.memory[channel.position & 0xFFFF];
    int32_t nibble = channel.selector ? byte >> 4 : byte & 15;
    channel.value = (nibble - 7) * 1024;
    return result;
}
