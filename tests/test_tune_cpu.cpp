// The 6502 interpreter: routine calls, arithmetic flags, branches, the chip window, and every opcode's effect.
#include <gtest/gtest.h>

#include <cstring>

#include "tune/sid_player.h"

namespace {

SidPlayer player; // 64 KiB: kept off the stack

constexpr uint16_t CODE = 0x0200;

void Reset() {
    std::memset(&player, 0, sizeof player);
    SidReset(player, MixRate);
    CpuReset(player);
}

// Executes one instruction placed at CODE.
void Execute(std::initializer_list<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), player.memory + CODE);
    player.cpu.pc = CODE;
    ExecuteInstruction(player);
}

TEST(TuneCpu, RoutineEndsAtSentinelBrkOrAddressZeroAndOneOrIsAbandoned) {
    Reset();
    player.memory[0x1000] = 0x60; // RTS
    EXPECT_TRUE(RunRoutine(player, 0x1000, 7));
    EXPECT_EQ(player.cpu.pc, 1);
    EXPECT_EQ(player.cpu.s, 0xFF);
    EXPECT_EQ(player.cpu.a, 7);

    // INC $10 at address 0 and 1 would count: neither runs.
    player.memory[0] = 0xE6;
    player.memory[1] = 0x10;
    player.memory[2] = 0x60;
    EXPECT_TRUE(RunRoutine(player, 0, 0));
    EXPECT_TRUE(RunRoutine(player, 1, 0));
    EXPECT_EQ(player.memory[0x10], 0);

    const uint8_t jumpToZero[] = {0xE6, 0x20, 0x4C, 0x00, 0x00}; // INC $20; JMP $0000
    std::memcpy(player.memory + 0x1100, jumpToZero, sizeof jumpToZero);
    EXPECT_TRUE(RunRoutine(player, 0x1100, 0));
    EXPECT_EQ(player.memory[0x20], 1);

    player.memory[2] = 0xE6; // INC $10 at address 2 runs, then BRK at 4 ends the routine
    player.memory[3] = 0x10;
    EXPECT_TRUE(RunRoutine(player, 2, 0));
    EXPECT_EQ(player.memory[0x10], 1);

    player.memory[0x1200] = 0x00; // BRK
    player.memory[0x1201] = 0xE6;
    EXPECT_TRUE(RunRoutine(player, 0x1200, 0));
    EXPECT_EQ(player.cpu.pc, 0);

    const uint8_t loop[] = {0xE6, 0x30, 0x4C, 0x00, 0x13}; // INC $30; JMP $1300: never returns, abandoned
    std::memcpy(player.memory + 0x1300, loop, sizeof loop);
    EXPECT_FALSE(RunRoutine(player, 0x1300, 0));
    EXPECT_EQ(player.memory[0x30], uint8_t(RoutineInstructionLimit / 2));
}

uint8_t Flags(bool n, bool v, bool z, bool c) {
    return uint8_t((n ? FLAG_N : 0) | (v ? FLAG_V : 0) | (z ? FLAG_Z : 0) | (c ? FLAG_C : 0));
}

// Every operand pair and carry, against signed and unsigned arithmetic done the plain way; decimal mode
// makes no difference.
TEST(TuneCpu, AdcAndSbcMatchReferenceArithmetic) {
    Reset();
    for (int a = 0; a < 256; a++)
        for (int m = 0; m < 256; m++)
            for (int carry = 0; carry < 2; carry++)
                for (uint8_t decimal : {uint8_t(0), FLAG_D})
                    for (int sign : {1, -1}) { // ADC #m, then SBC #m with the carry as "no borrow"
                        const int result = a + sign * (m + (sign > 0 ? carry : 1 - carry));
                        const int signedResult = int8_t(a) + sign * (int8_t(m) + (sign > 0 ? carry : 1 - carry));
                        player.cpu.a = uint8_t(a);
                        player.cpu.p = uint8_t(carry | decimal);
                        Execute({uint8_t(sign > 0 ? 0x69 : 0xE9), uint8_t(m)});
                        ASSERT_EQ(player.cpu.a, uint8_t(result));
                        ASSERT_EQ(player.cpu.p, (Flags(result & 0x80, signedResult < -128 || signedResult > 127,
                                                       (result & 0xFF) == 0, sign > 0 ? result > 255 : result >= 0) | decimal))
                            << a << (sign > 0 ? " + " : " - ") << m << " carry " << carry;
                    }
}

TEST(TuneCpu, BranchesTestTheirFlagAndWrapAround) {
    struct Branch { uint8_t opcode, flag; bool jumpsWhenSet; };
    const Branch branches[] = {{0x10, FLAG_N, false}, {0x30, FLAG_N, true}, {0x50, FLAG_V, false},
                               {0x70, FLAG_V, true},  {0x90, FLAG_C, false}, {0xB0, FLAG_C, true},
                               {0xD0, FLAG_Z, false}, {0xF0, FLAG_Z, true}};
    Reset();
    for (const Branch& branch : branches)
        for (bool set : {false, true}) {
            player.cpu.p = set ? branch.flag : uint8_t(0xFF & ~branch.flag);
            Execute({branch.opcode, 0xFC}); // -4
            EXPECT_EQ(player.cpu.pc, set == branch.jumpsWhenSet ? CODE - 2 : CODE + 2) << int(branch.opcode);
        }
    player.memory[0xFFFE] = 0xD0; // BNE +4 at the top of memory wraps to $0004
    player.memory[0xFFFF] = 0x04;
    player.cpu.pc = 0xFFFE;
    player.cpu.p = 0;
    ExecuteInstruction(player);
    EXPECT_EQ(player.cpu.pc, 0x0004);
}

TEST(TuneCpu, ChipWindowTakesWritesAndReadsBackMemory) {
    Reset();
    player.memory[0xD420] = 0x77;
    player.cpu.a = 0x2C;
    Execute({0x8D, 0x20, 0xD4}); // STA $D420: chip register 0
    EXPECT_EQ(player.chip.registers[0], 0x2C);
    Execute({0xAD, 0x20, 0xD4}); // LDA $D420
    EXPECT_EQ(player.cpu.a, 0x77);
    player.cpu.a = 0x09;
    Execute({0x8D, 0xF8, 0xD7}); // $D7F8: register 24, the last mirror
    EXPECT_EQ(player.chip.registers[24], 0x09);
    Execute({0x8D, 0x00, 0xD8}); // past the window: plain memory
    EXPECT_EQ(player.memory[0xD800], 0x09);
}

// The 151 documented opcodes as a 256-bit map, opcode 255 first; every other opcode is a one-byte no-op.
bool Documented(int code) {
    const char* map = "6363777363637773777377772773757263637763636377636363777363636763";
    const char digit = map[63 - code / 4];
    return ((digit <= '9' ? digit - '0' : digit - 'a' + 10) >> (code % 4)) & 1;
}

// Every opcode from two start states, with every memory byte telling its address apart; the second puts
// the operands at page ends (zero-page indexing and the indirect jump wrap within their page), an empty
// stack and the other flags. What each one leaves in the registers and memory is hashed: the addressing
// modes, lengths, flags, stack and jumps of the whole instruction set in one golden value.
TEST(TuneCpu, EveryOpcodeFromTwoStatesGivesItsGoldenResult) {
    static uint8_t before[65536];
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](uint32_t value) { hash = (hash ^ value) * 1099511628211ull; };
    for (int variant = 0; variant < 2; variant++)
        for (int code = 0; code < 256; code++) {
            Reset();
            for (uint32_t i = 0; i < 65536; i++) player.memory[i] = uint8_t(i * 37 + (i >> 8) * 11 + variant);
            const uint8_t operand[2][2] = {{0x40, 0x12}, {0xFF, 0x10}};
            player.memory[CODE] = uint8_t(code);
            std::memcpy(player.memory + CODE + 1, operand[variant], 2);
            player.cpu = variant ? SidCpu{0xC3, 0xFB, 0xF0, 0x00, 0xCA, CODE} : SidCpu{0x3C, 0x05, 0x10, 0xFF, 0x01, CODE};
            std::memcpy(before, player.memory, sizeof before);
            const SidCpu cpu = player.cpu;
            ExecuteInstruction(player);
            const SidCpu& after = player.cpu;
            for (uint32_t value : {after.a, after.x, after.y, after.s, after.p}) mix(value);
            mix(after.pc);
            for (uint32_t i = 0; i < 65536; i++)
                if (player.memory[i] != before[i]) mix(i << 8 | player.memory[i]);
            for (uint8_t reg : player.chip.registers) mix(reg);
            if (Documented(code)) continue;
            EXPECT_EQ(after.pc, CODE + 1) << code;
            EXPECT_TRUE(after.a == cpu.a && after.x == cpu.x && after.y == cpu.y && after.s == cpu.s && after.p == cpu.p);
            EXPECT_EQ(std::memcmp(before, player.memory, sizeof before), 0) << code;
        }
    EXPECT_EQ(hash, 16705553947527235188u);
}

} // namespace
