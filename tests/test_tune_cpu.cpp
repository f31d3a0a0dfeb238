// The 6502 interpreter: routine calls, stack, arithmetic flags, addressing modes and opcode lengths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

TEST(TuneCpu, RoutineEndsAtSentinelBrkOrAddressZeroAndOne) {
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
}

TEST(TuneCpu, NeverReturningRoutineIsAbandoned) {
    Reset();
    const uint8_t loop[] = {0xE6, 0x30, 0x4C, 0x00, 0x10}; // INC $30; JMP $1000
    std::memcpy(player.memory + 0x1000, loop, sizeof loop);
    EXPECT_FALSE(RunRoutine(player, 0x1000, 0));
    EXPECT_EQ(player.memory[0x30], uint8_t(RoutineInstructionLimit / 2));
}

TEST(TuneCpu, StackSaturatesAtBothEnds) {
    Reset();
    player.cpu.s = 0;
    player.cpu.a = 0x5A;
    Execute({0x48}); // PHA
    EXPECT_EQ(player.memory[0x0100], 0x5A);
    EXPECT_EQ(player.cpu.s, 0);

    player.cpu.s = 0xFF;
    player.memory[0x01FF] = 0x81;
    Execute({0x68}); // PLA
    EXPECT_EQ(player.cpu.a, 0x81);
    EXPECT_EQ(player.cpu.s, 0xFF);
    EXPECT_EQ(player.cpu.p, FLAG_N);
}

TEST(TuneCpu, PhpPushesPAsStoredAndPlpPullsAllBits) {
    Reset();
    player.cpu.p = 0x31 | FLAG_N;
    Execute({0x08}); // PHP
    Execute({0x68}); // PLA
    EXPECT_EQ(player.cpu.a, 0xB1);
    player.cpu.p = 0;
    player.memory[0x0100 + player.cpu.s] = 0xFF;
    player.cpu.s--;
    Execute({0x28}); // PLP
    EXPECT_EQ(player.cpu.p, 0xFF);
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
                for (uint8_t decimal : {uint8_t(0), FLAG_D}) {
                    int sum = a + m + carry;
                    int signedSum = int8_t(a) + int8_t(m) + carry;
                    player.cpu.a = uint8_t(a);
                    player.cpu.p = uint8_t(carry | decimal);
                    Execute({0x69, uint8_t(m)}); // ADC #m
                    ASSERT_EQ(player.cpu.a, uint8_t(sum));
                    ASSERT_EQ(player.cpu.p, (Flags(sum & 0x80, signedSum < -128 || signedSum > 127,
                                                   (sum & 0xFF) == 0, sum > 255) | decimal))
                        << a << " + " << m << " + " << carry;

                    int difference = a - m - (1 - carry);
                    int signedDifference = int8_t(a) - int8_t(m) - (1 - carry);
                    player.cpu.a = uint8_t(a);
                    player.cpu.p = uint8_t(carry | decimal);
                    Execute({0xE9, uint8_t(m)}); // SBC #m
                    ASSERT_EQ(player.cpu.a, uint8_t(difference));
                    ASSERT_EQ(player.cpu.p,
                              (Flags(difference & 0x80, signedDifference < -128 || signedDifference > 127,
                                     (difference & 0xFF) == 0, difference >= 0) | decimal))
                        << a << " - " << m << " - " << 1 - carry;
                }
}

TEST(TuneCpu, ShiftCompareAndBitFlags) {
    Reset();
    player.cpu.a = 0x80;
    Execute({0x0A}); // ASL A
    EXPECT_EQ(player.cpu.a, 0);
    EXPECT_EQ(player.cpu.p, FLAG_C | FLAG_Z);

    player.cpu.p = FLAG_C;
    player.cpu.a = 0x01;
    Execute({0x6A}); // ROR A: old carry into bit 7, bit 0 into carry
    EXPECT_EQ(player.cpu.a, 0x80);
    EXPECT_EQ(player.cpu.p, FLAG_C | FLAG_N);

    player.cpu.p = 0;
    player.cpu.a = 0x42;
    Execute({0xC9, 0x42}); // CMP #$42
    EXPECT_EQ(player.cpu.p, FLAG_Z | FLAG_C);
    Execute({0xC9, 0x43}); // 0x42 - 0x43: borrow, negative
    EXPECT_EQ(player.cpu.p, FLAG_N);

    player.memory[0x10] = 0xC0;
    player.cpu.a = 0x3F;
    Execute({0x24, 0x10}); // BIT $10
    EXPECT_EQ(player.cpu.p, FLAG_N | FLAG_V | FLAG_Z);
}

TEST(TuneCpu, JumpsCallsAndReturns) {
    Reset();
    player.memory[0x10FF] = 0x34;
    player.memory[0x1100] = 0x12;
    player.memory[0x1000] = 0x99;
    Execute({0x6C, 0xFF, 0x10}); // JMP ($10FF): high byte from $1100
    EXPECT_EQ(player.cpu.pc, 0x1234);

    Execute({0x20, 0x00, 0x30}); // JSR $3000 pushes the address of its own last byte
    EXPECT_EQ(player.cpu.pc, 0x3000);
    EXPECT_EQ(player.memory[0x01FF], 0x02);
    EXPECT_EQ(player.memory[0x01FE], 0x02);
    player.cpu.p = 0;
    Execute({0x40}); // RTI: returns like RTS and leaves P alone
    EXPECT_EQ(player.cpu.pc, CODE + 3);
    EXPECT_EQ(player.cpu.p, 0);
    EXPECT_EQ(player.cpu.s, 0xFF);

    Execute({0x00, 0xFF}); // BRK
    EXPECT_EQ(player.cpu.pc, 0);
    EXPECT_EQ(player.cpu.s, 0xFF);
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

// Every documented opcode in every one of its modes: the operand it reaches and its length. The setup
// gives each mode a distinct operand value at a distinct effective address.
enum RefMode { IMP, ACC, IMM, ZP, ZPX, ZPY, ABS, ABX, ABY, IZX, IZY, IND, REL };
constexpr int LENGTH[] = {1, 1, 2, 2, 2, 2, 3, 3, 3, 2, 2, 3, 2};
constexpr uint16_t ADDRESS[] = {0, 0, CODE + 1, 0x40, 0x45, 0x50, 0x1240, 0x1245, 0x1250, 0x3060, 0x4030, 0, 0};
constexpr uint8_t VALUE[] = {0, 0, 0x40, 0x20, 0x60, 0x77, 0x11, 0x22, 0x33, 0x44, 0x55, 0, 0};

struct RefOpcode { uint8_t code; const char* name; RefMode mode; };
const RefOpcode DOCUMENTED[] = {
    {0x69, "ADC", IMM}, {0x65, "ADC", ZP}, {0x75, "ADC", ZPX}, {0x6D, "ADC", ABS}, {0x7D, "ADC", ABX},
    {0x79, "ADC", ABY}, {0x61, "ADC", IZX}, {0x71, "ADC", IZY}, {0x29, "AND", IMM}, {0x25, "AND", ZP},
    {0x35, "AND", ZPX}, {0x2D, "AND", ABS}, {0x3D, "AND", ABX}, {0x39, "AND", ABY}, {0x21, "AND", IZX},
    {0x31, "AND", IZY}, {0x0A, "ASL", ACC}, {0x06, "ASL", ZP}, {0x16, "ASL", ZPX}, {0x0E, "ASL", ABS},
    {0x1E, "ASL", ABX}, {0x90, "BCC", REL}, {0xB0, "BCS", REL}, {0xF0, "BEQ", REL}, {0x24, "BIT", ZP},
    {0x2C, "BIT", ABS}, {0x30, "BMI", REL}, {0xD0, "BNE", REL}, {0x10, "BPL", REL}, {0x00, "BRK", IMP},
    {0x50, "BVC", REL}, {0x70, "BVS", REL}, {0x18, "CLC", IMP}, {0xD8, "CLD", IMP}, {0x58, "CLI", IMP},
    {0xB8, "CLV", IMP}, {0xC9, "CMP", IMM}, {0xC5, "CMP", ZP}, {0xD5, "CMP", ZPX}, {0xCD, "CMP", ABS},
    {0xDD, "CMP", ABX}, {0xD9, "CMP", ABY}, {0xC1, "CMP", IZX}, {0xD1, "CMP", IZY}, {0xE0, "CPX", IMM},
    {0xE4, "CPX", ZP}, {0xEC, "CPX", ABS}, {0xC0, "CPY", IMM}, {0xC4, "CPY", ZP}, {0xCC, "CPY", ABS},
    {0xC6, "DEC", ZP}, {0xD6, "DEC", ZPX}, {0xCE, "DEC", ABS}, {0xDE, "DEC", ABX}, {0xCA, "DEX", IMP},
    {0x88, "DEY", IMP}, {0x49, "EOR", IMM}, {0x45, "EOR", ZP}, {0x55, "EOR", ZPX}, {0x4D, "EOR", ABS},
    {0x5D, "EOR", ABX}, {0x59, "EOR", ABY}, {0x41, "EOR", IZX}, {0x51, "EOR", IZY}, {0xE6, "INC", ZP},
    {0xF6, "INC", ZPX}, {0xEE, "INC", ABS}, {0xFE, "INC", ABX}, {0xE8, "INX", IMP}, {0xC8, "INY", IMP},
    {0x4C, "JMP", ABS}, {0x6C, "JMP", IND}, {0x20, "JSR", ABS}, {0xA9, "LDA", IMM}, {0xA5, "LDA", ZP},
    {0xB5, "LDA", ZPX}, {0xAD, "LDA", ABS}, {0xBD, "LDA", ABX}, {0xB9, "LDA", ABY}, {0xA1, "LDA", IZX},
    {0xB1, "LDA", IZY}, {0xA2, "LDX", IMM}, {0xA6, "LDX", ZP}, {0xB6, "LDX", ZPY}, {0xAE, "LDX", ABS},
    {0xBE, "LDX", ABY}, {0xA0, "LDY", IMM}, {0xA4, "LDY", ZP}, {0xB4, "LDY", ZPX}, {0xAC, "LDY", ABS},
    {0xBC, "LDY", ABX}, {0x4A, "LSR", ACC}, {0x46, "LSR", ZP}, {0x56, "LSR", ZPX}, {0x4E, "LSR", ABS},
    {0x5E, "LSR", ABX}, {0xEA, "NOP", IMP}, {0x09, "ORA", IMM}, {0x05, "ORA", ZP}, {0x15, "ORA", ZPX},
    {0x0D, "ORA", ABS}, {0x1D, "ORA", ABX}, {0x19, "ORA", ABY}, {0x01, "ORA", IZX}, {0x11, "ORA", IZY},
    {0x48, "PHA", IMP}, {0x08, "PHP", IMP}, {0x68, "PLA", IMP}, {0x28, "PLP", IMP}, {0x2A, "ROL", ACC},
    {0x26, "ROL", ZP}, {0x36, "ROL", ZPX}, {0x2E, "ROL", ABS}, {0x3E, "ROL", ABX}, {0x6A, "ROR", ACC},
    {0x66, "ROR", ZP}, {0x76, "ROR", ZPX}, {0x6E, "ROR", ABS}, {0x7E, "ROR", ABX}, {0x40, "RTI", IMP},
    {0x60, "RTS", IMP}, {0xE9, "SBC", IMM}, {0xE5, "SBC", ZP}, {0xF5, "SBC", ZPX}, {0xED, "SBC", ABS},
    {0xFD, "SBC", ABX}, {0xF9, "SBC", ABY}, {0xE1, "SBC", IZX}, {0xF1, "SBC", IZY}, {0x38, "SEC", IMP},
    {0xF8, "SED", IMP}, {0x78, "SEI", IMP}, {0x85, "STA", ZP}, {0x95, "STA", ZPX}, {0x8D, "STA", ABS},
    {0x9D, "STA", ABX}, {0x99, "STA", ABY}, {0x81, "STA", IZX}, {0x91, "STA", IZY}, {0x86, "STX", ZP},
    {0x96, "STX", ZPY}, {0x8E, "STX", ABS}, {0x84, "STY", ZP}, {0x94, "STY", ZPX}, {0x8C, "STY", ABS},
    {0xAA, "TAX", IMP}, {0xA8, "TAY", IMP}, {0xBA, "TSX", IMP}, {0x8A, "TXA", IMP}, {0x9A, "TXS", IMP},
    {0x98, "TYA", IMP},
};

void SetUpModes() {
    Reset();
    player.memory[CODE + 1] = 0x40;
    player.memory[CODE + 2] = 0x12;
    player.memory[0x41] = 0x40; // ($40),Y -> $4020 + Y
    player.memory[0x46] = 0x30; // ($40,X) -> $3060
    for (int mode = IMM; mode <= IZY; mode++) player.memory[ADDRESS[mode]] = VALUE[mode];
    player.cpu.x = 0x05;
    player.cpu.y = 0x10;
    player.cpu.pc = CODE;
}

TEST(TuneCpu, DocumentedOpcodesReachTheirOperandAndHaveTheirLength) {
    ASSERT_EQ(std::size(DOCUMENTED), 151u);
    for (const RefOpcode& op : DOCUMENTED) {
        SetUpModes();
        std::string name = op.name;
        SCOPED_TRACE(name + " " + std::to_string(op.code));
        player.memory[CODE] = op.code;
        uint8_t value = VALUE[op.mode];
        uint16_t address = ADDRESS[op.mode];
        bool flow = op.mode == REL || name == "JMP" || name == "JSR" || name == "RTS" || name == "RTI" ||
                    name == "BRK";
        if (name == "ORA" || name == "EOR" || name == "ADC") player.cpu.a = 0;
        if (name == "AND") player.cpu.a = 0xFF;
        if (name == "SBC") { player.cpu.a = 0; player.cpu.p = FLAG_C; }
        if (name == "CMP" || name == "BIT") player.cpu.a = value;
        if (name == "CPX") player.cpu.x = value;
        if (name == "CPY") player.cpu.y = value;
        if (name == "STA") player.cpu.a = 0x99;
        uint8_t storedByX = player.cpu.x, storedByY = player.cpu.y;
        ExecuteInstruction(player);

        if (!flow) { EXPECT_EQ(player.cpu.pc, CODE + LENGTH[op.mode]); }
        if (name == "LDA" || name == "ORA" || name == "EOR" || name == "ADC" || name == "AND") {
            EXPECT_EQ(player.cpu.a, value);
        }
        if (name == "LDX") { EXPECT_EQ(player.cpu.x, value); }
        if (name == "LDY") { EXPECT_EQ(player.cpu.y, value); }
        if (name == "SBC") { EXPECT_EQ(player.cpu.a, uint8_t(-value)); }
        if (name == "CMP" || name == "CPX" || name == "CPY") { EXPECT_EQ(player.cpu.p & FLAG_Z, FLAG_Z); }
        if (name == "BIT") { EXPECT_EQ(player.cpu.p & FLAG_Z, 0); }
        if (name == "STA") { EXPECT_EQ(player.memory[address], 0x99); }
        if (name == "STX") { EXPECT_EQ(player.memory[address], storedByX); }
        if (name == "STY") { EXPECT_EQ(player.memory[address], storedByY); }
        const struct { const char* name; uint8_t result; } modifies[] = {
            {"ASL", uint8_t(value << 1)}, {"LSR", uint8_t(value >> 1)}, {"ROL", uint8_t(value << 1)},
            {"ROR", uint8_t(value >> 1)}, {"INC", uint8_t(value + 1)}, {"DEC", uint8_t(value - 1)}};
        for (const auto& modify : modifies)
            if (name == modify.name && op.mode != ACC) { EXPECT_EQ(player.memory[address], modify.result); }
    }
}

TEST(TuneCpu, UndocumentedOpcodesAreOneByteNoOperations) {
    std::vector<bool> documented(256);
    for (const RefOpcode& op : DOCUMENTED) documented[op.code] = true;
    static uint8_t before[65536];
    for (int code = 0; code < 256; code++) {
        if (documented[code]) continue;
        SetUpModes();
        player.memory[CODE] = uint8_t(code);
        std::memcpy(before, player.memory, sizeof before);
        SidCpu cpu = player.cpu;
        ExecuteInstruction(player);
        EXPECT_EQ(player.cpu.pc, CODE + 1) << code;
        EXPECT_TRUE(player.cpu.a == cpu.a && player.cpu.x == cpu.x && player.cpu.y == cpu.y &&
                    player.cpu.s == cpu.s && player.cpu.p == cpu.p) << code;
        EXPECT_EQ(std::memcmp(before, player.memory, sizeof before), 0) << code;
    }
}

} // namespace
