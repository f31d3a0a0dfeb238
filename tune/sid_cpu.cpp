// The 6502 interpreter: documented opcodes only, binary arithmetic only, and the player's own rules for
// routine calls (BRK ends the routine, the stack saturates, RTI leaves P alone).
#include <array>

#include "tune/sid_player.h"

namespace {

enum Operation : uint8_t {
    OP_UNDOCUMENTED,
    OP_ADC, OP_AND, OP_ASL, OP_BCC, OP_BCS, OP_BEQ, OP_BIT, OP_BMI, OP_BNE, OP_BPL, OP_BRK, OP_BVC, OP_BVS,
    OP_CLC, OP_CLD, OP_CLI, OP_CLV, OP_CMP, OP_CPX, OP_CPY, OP_DEC, OP_DEX, OP_DEY, OP_EOR, OP_INC, OP_INX,
    OP_INY, OP_JMP, OP_JSR, OP_LDA, OP_LDX, OP_LDY, OP_LSR, OP_NOP, OP_ORA, OP_PHA, OP_PHP, OP_PLA, OP_PLP,
    OP_ROL, OP_ROR, OP_RTI, OP_RTS, OP_SBC, OP_SEC, OP_SED, OP_SEI, OP_STA, OP_STX, OP_STY, OP_TAX, OP_TAY,
    OP_TSX, OP_TXA, OP_TXS, OP_TYA,
};

enum Mode : uint8_t {
    MODE_IMPLIED, MODE_ACCUMULATOR, MODE_IMMEDIATE, MODE_ZERO_PAGE, MODE_ZERO_PAGE_X, MODE_ZERO_PAGE_Y,
    MODE_ABSOLUTE, MODE_ABSOLUTE_X, MODE_ABSOLUTE_Y, MODE_INDEXED_INDIRECT, MODE_INDIRECT_INDEXED,
    MODE_INDIRECT, MODE_RELATIVE,
};

struct Opcode {
    uint8_t code;
    Operation operation;
    Mode mode;
};

// The 151 documented opcodes.
constexpr Opcode OPCODES[] = {
    {0x69, OP_ADC, MODE_IMMEDIATE}, {0x65, OP_ADC, MODE_ZERO_PAGE}, {0x75, OP_ADC, MODE_ZERO_PAGE_X},
    {0x6D, OP_ADC, MODE_ABSOLUTE}, {0x7D, OP_ADC, MODE_ABSOLUTE_X}, {0x79, OP_ADC, MODE_ABSOLUTE_Y},
    {0x61, OP_ADC, MODE_INDEXED_INDIRECT}, {0x71, OP_ADC, MODE_INDIRECT_INDEXED},
    {0x29, OP_AND, MODE_IMMEDIATE}, {0x25, OP_AND, MODE_ZERO_PAGE}, {0x35, OP_AND, MODE_ZERO_PAGE_X},
    {0x2D, OP_AND, MODE_ABSOLUTE}, {0x3D, OP_AND, MODE_ABSOLUTE_X}, {0x39, OP_AND, MODE_ABSOLUTE_Y},
    {0x21, OP_AND, MODE_INDEXED_INDIRECT}, {0x31, OP_AND, MODE_INDIRECT_INDEXED},
    {0x0A, OP_ASL, MODE_ACCUMULATOR}, {0x06, OP_ASL, MODE_ZERO_PAGE}, {0x16, OP_ASL, MODE_ZERO_PAGE_X},
    {0x0E, OP_ASL, MODE_ABSOLUTE}, {0x1E, OP_ASL, MODE_ABSOLUTE_X},
    {0x90, OP_BCC, MODE_RELATIVE}, {0xB0, OP_BCS, MODE_RELATIVE}, {0xF0, OP_BEQ, MODE_RELATIVE},
    {0x30, OP_BMI, MODE_RELATIVE}, {0xD0, OP_BNE, MODE_RELATIVE}, {0x10, OP_BPL, MODE_RELATIVE},
    {0x50, OP_BVC, MODE_RELATIVE}, {0x70, OP_BVS, MODE_RELATIVE},
    {0x24, OP_BIT, MODE_ZERO_PAGE}, {0x2C, OP_BIT, MODE_ABSOLUTE},
    {0x00, OP_BRK, MODE_IMPLIED},
    {0x18, OP_CLC, MODE_IMPLIED}, {0xD8, OP_CLD, MODE_IMPLIED}, {0x58, OP_CLI, MODE_IMPLIED},
    {0xB8, OP_CLV, MODE_IMPLIED},
    {0xC9, OP_CMP, MODE_IMMEDIATE}, {0xC5, OP_CMP, MODE_ZERO_PAGE}, {0xD5, OP_CMP, MODE_ZERO_PAGE_X},
    {0xCD, OP_CMP, MODE_ABSOLUTE}, {0xDD, OP_CMP, MODE_ABSOLUTE_X}, {0xD9, OP_CMP, MODE_ABSOLUTE_Y},
    {0xC1, OP_CMP, MODE_INDEXED_INDIRECT}, {0xD1, OP_CMP, MODE_INDIRECT_INDEXED},
    {0xE0, OP_CPX, MODE_IMMEDIATE}, {0xE4, OP_CPX, MODE_ZERO_PAGE}, {0xEC, OP_CPX, MODE_ABSOLUTE},
    {0xC0, OP_CPY, MODE_IMMEDIATE}, {0xC4, OP_CPY, MODE_ZERO_PAGE}, {0xCC, OP_CPY, MODE_ABSOLUTE},
    {0xC6, OP_DEC, MODE_ZERO_PAGE}, {0xD6, OP_DEC, MODE_ZERO_PAGE_X}, {0xCE, OP_DEC, MODE_ABSOLUTE},
    {0xDE, OP_DEC, MODE_ABSOLUTE_X},
    {0xCA, OP_DEX, MODE_IMPLIED}, {0x88, OP_DEY, MODE_IMPLIED},
    {0x49, OP_EOR, MODE_IMMEDIATE}, {0x45, OP_EOR, MODE_ZERO_PAGE}, {0x55, OP_EOR, MODE_ZERO_PAGE_X},
    {0x4D, OP_EOR, MODE_ABSOLUTE}, {0x5D, OP_EOR, MODE_ABSOLUTE_X}, {0x59, OP_EOR, MODE_ABSOLUTE_Y},
    {0x41, OP_EOR, MODE_INDEXED_INDIRECT}, {0x51, OP_EOR, MODE_INDIRECT_INDEXED},
    {0xE6, OP_INC, MODE_ZERO_PAGE}, {0xF6, OP_INC, MODE_ZERO_PAGE_X}, {0xEE, OP_INC, MODE_ABSOLUTE},
    {0xFE, OP_INC, MODE_ABSOLUTE_X},
    {0xE8, OP_INX, MODE_IMPLIED}, {0xC8, OP_INY, MODE_IMPLIED},
    {0x4C, OP_JMP, MODE_ABSOLUTE}, {0x6C, OP_JMP, MODE_INDIRECT},
    {0x20, OP_JSR, MODE_ABSOLUTE},
    {0xA9, OP_LDA, MODE_IMMEDIATE}, {0xA5, OP_LDA, MODE_ZERO_PAGE}, {0xB5, OP_LDA, MODE_ZERO_PAGE_X},
    {0xAD, OP_LDA, MODE_ABSOLUTE}, {0xBD, OP_LDA, MODE_ABSOLUTE_X}, {0xB9, OP_LDA, MODE_ABSOLUTE_Y},
    {0xA1, OP_LDA, MODE_INDEXED_INDIRECT}, {0xB1, OP_LDA, MODE_INDIRECT_INDEXED},
    {0xA2, OP_LDX, MODE_IMMEDIATE}, {0xA6, OP_LDX, MODE_ZERO_PAGE}, {0xB6, OP_LDX, MODE_ZERO_PAGE_Y},
    {0xAE, OP_LDX, MODE_ABSOLUTE}, {0xBE, OP_LDX, MODE_ABSOLUTE_Y},
    {0xA0, OP_LDY, MODE_IMMEDIATE}, {0xA4, OP_LDY, MODE_ZERO_PAGE}, {0xB4, OP_LDY, MODE_ZERO_PAGE_X},
    {0xAC, OP_LDY, MODE_ABSOLUTE}, {0xBC, OP_LDY, MODE_ABSOLUTE_X},
    {0x4A, OP_LSR, MODE_ACCUMULATOR}, {0x46, OP_LSR, MODE_ZERO_PAGE}, {0x56, OP_LSR, MODE_ZERO_PAGE_X},
    {0x4E, OP_LSR, MODE_ABSOLUTE}, {0x5E, OP_LSR, MODE_ABSOLUTE_X},
    {0xEA, OP_NOP, MODE_IMPLIED},
    {0x09, OP_ORA, MODE_IMMEDIATE}, {0x05, OP_ORA, MODE_ZERO_PAGE}, {0x15, OP_ORA, MODE_ZERO_PAGE_X},
    {0x0D, OP_ORA, MODE_ABSOLUTE}, {0x1D, OP_ORA, MODE_ABSOLUTE_X}, {0x19, OP_ORA, MODE_ABSOLUTE_Y},
    {0x01, OP_ORA, MODE_INDEXED_INDIRECT}, {0x11, OP_ORA, MODE_INDIRECT_INDEXED},
    {0x48, OP_PHA, MODE_IMPLIED}, {0x08, OP_PHP, MODE_IMPLIED}, {0x68, OP_PLA, MODE_IMPLIED},
    {0x28, OP_PLP, MODE_IMPLIED},
    {0x2A, OP_ROL, MODE_ACCUMULATOR}, {0x26, OP_ROL, MODE_ZERO_PAGE}, {0x36, OP_ROL, MODE_ZERO_PAGE_X},
    {0x2E, OP_ROL, MODE_ABSOLUTE}, {0x3E, OP_ROL, MODE_ABSOLUTE_X},
    {0x6A, OP_ROR, MODE_ACCUMULATOR}, {0x66, OP_ROR, MODE_ZERO_PAGE}, {0x76, OP_ROR, MODE_ZERO_PAGE_X},
    {0x6E, OP_ROR, MODE_ABSOLUTE}, {0x7E, OP_ROR, MODE_ABSOLUTE_X},
    {0x40, OP_RTI, MODE_IMPLIED}, {0x60, OP_RTS, MODE_IMPLIED},
    {0xE9, OP_SBC, MODE_IMMEDIATE}, {0xE5, OP_SBC, MODE_ZERO_PAGE}, {0xF5, OP_SBC, MODE_ZERO_PAGE_X},
    {0xED, OP_SBC, MODE_ABSOLUTE}, {0xFD, OP_SBC, MODE_ABSOLUTE_X}, {0xF9, OP_SBC, MODE_ABSOLUTE_Y},
    {0xE1, OP_SBC, MODE_INDEXED_INDIRECT}, {0xF1, OP_SBC, MODE_INDIRECT_INDEXED},
    {0x38, OP_SEC, MODE_IMPLIED}, {0xF8, OP_SED, MODE_IMPLIED}, {0x78, OP_SEI, MODE_IMPLIED},
    {0x85, OP_STA, MODE_ZERO_PAGE}, {0x95, OP_STA, MODE_ZERO_PAGE_X}, {0x8D, OP_STA, MODE_ABSOLUTE},
    {0x9D, OP_STA, MODE_ABSOLUTE_X}, {0x99, OP_STA, MODE_ABSOLUTE_Y}, {0x81, OP_STA, MODE_INDEXED_INDIRECT},
    {0x91, OP_STA, MODE_INDIRECT_INDEXED},
    {0x86, OP_STX, MODE_ZERO_PAGE}, {0x96, OP_STX, MODE_ZERO_PAGE_Y}, {0x8E, OP_STX, MODE_ABSOLUTE},
    {0x84, OP_STY, MODE_ZERO_PAGE}, {0x94, OP_STY, MODE_ZERO_PAGE_X}, {0x8C, OP_STY, MODE_ABSOLUTE},
    {0xAA, OP_TAX, MODE_IMPLIED}, {0xA8, OP_TAY, MODE_IMPLIED}, {0xBA, OP_TSX, MODE_IMPLIED},
    {0x8A, OP_TXA, MODE_IMPLIED}, {0x9A, OP_TXS, MODE_IMPLIED}, {0x98, OP_TYA, MODE_IMPLIED},
};
static_assert(std::size(OPCODES) == 151);

// The two decoding tables; every opcode not listed is undocumented and implied (one byte).
struct DecodeTables {
    std::array<Operation, 256> operation{};
    std::array<Mode, 256> mode{};
};

constexpr DecodeTables BuildDecodeTables() {
    DecodeTables tables;
    for (const Opcode& opcode : OPCODES) {
        tables.operation[opcode.code] = opcode.operation;
        tables.mode[opcode.code] = opcode.mode;
    }
    return tables;
}

constexpr DecodeTables DECODE = BuildDecodeTables();

uint16_t ReadWord(const SidPlayer& player, uint16_t address) {
    return uint16_t(player.memory[address] | player.memory[uint16_t(address + 1)] << 8);
}

uint16_t ReadZeroPageWord(const SidPlayer& player, uint8_t address) {
    return uint16_t(player.memory[address] | player.memory[uint8_t(address + 1)] << 8);
}

// The address of the operand, with pc stepped past the operand bytes. Immediate and relative operands
// are the byte at the returned address; JMP indirect gets its target.
uint16_t OperandAddress(SidPlayer& player, Mode mode) {
    SidCpu& cpu = player.cpu;
    uint16_t operand = cpu.pc;
    switch (mode) {
    case MODE_IMPLIED:
    case MODE_ACCUMULATOR:
        return 0;
    case MODE_IMMEDIATE:
    case MODE_RELATIVE:
        cpu.pc++;
        return operand;
    case MODE_ZERO_PAGE:
        cpu.pc++;
        return player.memory[operand];
    case MODE_ZERO_PAGE_X:
        cpu.pc++;
        return uint8_t(player.memory[operand] + cpu.x);
    case MODE_ZERO_PAGE_Y:
        cpu.pc++;
        return uint8_t(player.memory[operand] + cpu.y);
    case MODE_INDEXED_INDIRECT:
        cpu.pc++;
        return ReadZeroPageWord(player, uint8_t(player.memory[operand] + cpu.x));
    case MODE_INDIRECT_INDEXED:
        cpu.pc++;
        return uint16_t(ReadZeroPageWord(player, player.memory[operand]) + cpu.y);
    default:
        break;
    }
    cpu.pc += 2;
    uint16_t word = ReadWord(player, operand);
    switch (mode) {
    case MODE_ABSOLUTE_X:
        return uint16_t(word + cpu.x);
    case MODE_ABSOLUTE_Y:
        return uint16_t(word + cpu.y);
    case MODE_INDIRECT:
        // The pointer's high byte comes from the next address even across a page boundary.
        return ReadWord(player, word);
    default:
        return word;
    }
}

void SetZeroNegative(SidCpu& cpu, uint8_t value) {
    cpu.p = uint8_t((cpu.p & ~(FLAG_Z | FLAG_N)) | (value == 0 ? FLAG_Z : 0) | (value & FLAG_N));
}

void SetFlag(SidCpu& cpu, uint8_t flag, bool on) {
    cpu.p = uint8_t(on ? cpu.p | flag : cpu.p & ~flag);
}

// ADC, and SBC with the operand inverted; never decimal.
void AddWithCarry(SidCpu& cpu, uint8_t operand) {
    unsigned sum = cpu.a + operand + (cpu.p & FLAG_C);
    uint8_t result = uint8_t(sum);
    SetFlag(cpu, FLAG_C, sum > 0xFF);
    SetFlag(cpu, FLAG_V, ((cpu.a ^ result) & (operand ^ result) & 0x80) != 0);
    cpu.a = result;
    SetZeroNegative(cpu, result);
}

void Compare(SidCpu& cpu, uint8_t reg, uint8_t operand) {
    SetZeroNegative(cpu, uint8_t(reg - operand));
    SetFlag(cpu, FLAG_C, reg >= operand);
}

// The stack stops at $00 and $FF instead of wrapping.
void Push(SidPlayer& player, uint8_t value) {
    WriteMemory(player, uint16_t(0x0100 + player.cpu.s), value);
    if (player.cpu.s != 0) player.cpu.s--;
}

uint8_t Pull(SidPlayer& player) {
    if (player.cpu.s != 0xFF) player.cpu.s++;
    return player.memory[0x0100 + player.cpu.s];
}

uint16_t PullReturnAddress(SidPlayer& player) {
    uint8_t low = Pull(player);
    return uint16_t((low | Pull(player) << 8) + 1);
}

// ASL, LSR, ROL, ROR, INC, DEC: the new value of m, with C set by the shifts.
uint8_t Modify(SidCpu& cpu, Operation operation, uint8_t m) {
    uint8_t carry = cpu.p & FLAG_C;
    uint8_t result = 0;
    switch (operation) {
    case OP_ASL: result = uint8_t(m << 1); carry = m >> 7; break;
    case OP_LSR: result = m >> 1; carry = m & 1; break;
    case OP_ROL: result = uint8_t(m << 1 | carry); carry = m >> 7; break;
    case OP_ROR: result = uint8_t(m >> 1 | carry << 7); carry = m & 1; break;
    case OP_INC: result = uint8_t(m + 1); break;
    default: result = uint8_t(m - 1); break; // OP_DEC
    }
    SetFlag(cpu, FLAG_C, carry != 0);
    SetZeroNegative(cpu, result);
    return result;
}

// The branch opcodes encode their test: bits 6-7 choose N, V, C or Z, bit 5 the value that jumps.
void Branch(SidPlayer& player, uint8_t opcode, uint16_t offsetAddress) {
    static constexpr uint8_t FLAGS[4] = {FLAG_N, FLAG_V, FLAG_C, FLAG_Z};
    bool set = (player.cpu.p & FLAGS[opcode >> 6]) != 0;
    if (set == ((opcode & 0x20) != 0)) player.cpu.pc = uint16_t(player.cpu.pc + int8_t(player.memory[offsetAddress]));
}

} // namespace

void CpuReset(SidPlayer& player) {
    player.cpu = SidCpu{};
    player.cpu.s = 0xFF;
}

void WriteMemory(SidPlayer& player, uint16_t address, uint8_t value) {
    if ((address & 0xFC00) != 0xD400) {
        player.memory[address] = value;
        return;
    }
    WriteSidRegister(player, address & 0x1F, value);
    if (address > 0xD418) WriteSampleRegister(player, address, value);
}

void ExecuteInstruction(SidPlayer& player) {
    SidCpu& cpu = player.cpu;
    uint8_t opcode = player.memory[cpu.pc++];
    Operation operation = DECODE.operation[opcode];
    Mode mode = DECODE.mode[opcode];
    uint16_t address = OperandAddress(player, mode);
    uint8_t m = player.memory[address];
    switch (operation) {
    case OP_ADC: AddWithCarry(cpu, m); break;
    case OP_SBC: AddWithCarry(cpu, m ^ 0xFF); break;
    case OP_AND: SetZeroNegative(cpu, cpu.a &= m); break;
    case OP_ORA: SetZeroNegative(cpu, cpu.a |= m); break;
    case OP_EOR: SetZeroNegative(cpu, cpu.a ^= m); break;
    case OP_ASL: case OP_LSR: case OP_ROL: case OP_ROR: case OP_INC: case OP_DEC:
        if (mode == MODE_ACCUMULATOR) cpu.a = Modify(cpu, operation, cpu.a);
        else WriteMemory(player, address, Modify(cpu, operation, m));
        break;
    case OP_INX: SetZeroNegative(cpu, ++cpu.x); break;
    case OP_INY: SetZeroNegative(cpu, ++cpu.y); break;
    case OP_DEX: SetZeroNegative(cpu, --cpu.x); break;
    case OP_DEY: SetZeroNegative(cpu, --cpu.y); break;
    case OP_BIT:
        cpu.p = uint8_t((cpu.p & ~(FLAG_Z | FLAG_N | FLAG_V)) | ((cpu.a & m) == 0 ? FLAG_Z : 0) |
                        (m & (FLAG_N | FLAG_V)));
        break;
    case OP_CMP: Compare(cpu, cpu.a, m); break;
    case OP_CPX: Compare(cpu, cpu.x, m); break;
    case OP_CPY: Compare(cpu, cpu.y, m); break;
    case OP_LDA: SetZeroNegative(cpu, cpu.a = m); break;
    case OP_LDX: SetZeroNegative(cpu, cpu.x = m); break;
    case OP_LDY: SetZeroNegative(cpu, cpu.y = m); break;
    case OP_STA: WriteMemory(player, address, cpu.a); break;
    case OP_STX: WriteMemory(player, address, cpu.x); break;
    case OP_STY: WriteMemory(player, address, cpu.y); break;
    case OP_TAX: SetZeroNegative(cpu, cpu.x = cpu.a); break;
    case OP_TAY: SetZeroNegative(cpu, cpu.y = cpu.a); break;
    case OP_TXA: SetZeroNegative(cpu, cpu.a = cpu.x); break;
    case OP_TYA: SetZeroNegative(cpu, cpu.a = cpu.y); break;
    case OP_TSX: SetZeroNegative(cpu, cpu.x = cpu.s); break;
    case OP_TXS: cpu.s = cpu.x; break;
    case OP_PHA: Push(player, cpu.a); break;
    case OP_PHP: Push(player, cpu.p); break;
    case OP_PLA: SetZeroNegative(cpu, cpu.a = Pull(player)); break;
    case OP_PLP: cpu.p = Pull(player); break;
    case OP_CLC: cpu.p &= uint8_t(~FLAG_C); break;
    case OP_CLD: cpu.p &= uint8_t(~FLAG_D); break;
    case OP_CLI: cpu.p &= uint8_t(~FLAG_I); break;
    case OP_CLV: cpu.p &= uint8_t(~FLAG_V); break;
    case OP_SEC: cpu.p |= FLAG_C; break;
    case OP_SED: cpu.p |= FLAG_D; break;
    case OP_SEI: cpu.p |= FLAG_I; break;
    case OP_BCC: case OP_BCS: case OP_BEQ: case OP_BMI: case OP_BNE: case OP_BPL: case OP_BVC: case OP_BVS:
        Branch(player, opcode, address);
        break;
    case OP_JMP: cpu.pc = address; break;
    case OP_JSR: {
        uint16_t last = uint16_t(cpu.pc - 1); // the JSR's last byte
        Push(player, uint8_t(last >> 8));
        Push(player, uint8_t(last));
        // The target's high byte is fetched after the pushes, as the processor does, which only matters
        // when the stack overwrites it.
        cpu.pc = uint16_t((address & 0xFF) | player.memory[last] << 8);
        break;
    }
    case OP_RTS: case OP_RTI: cpu.pc = PullReturnAddress(player); break;
    case OP_BRK: cpu.pc = 0; break;
    case OP_NOP: case OP_UNDOCUMENTED: break;
    }
}

bool RunRoutine(SidPlayer& player, uint16_t address, uint8_t a) {
    SidCpu& cpu = player.cpu;
    cpu = SidCpu{a, 0, 0, 0xFF, 0, address};
    Push(player, 0); // return sentinel: the final RTS continues at $0001
    Push(player, 0);
    for (long count = 0; cpu.pc > 1; count++) {
        if (count == RoutineInstructionLimit) return false;
        ExecuteInstruction(player);
    }
    return true;
}
