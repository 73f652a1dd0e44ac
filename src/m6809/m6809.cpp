#include "m6809/m6809.h"

#include <cstdio>

namespace tonebake::m6809 {
namespace {

enum class Mode {
  Inherent,
  Immediate8,
  Immediate16,
  Direct,
  Indexed,
  Relative8,
  Relative16,
  Register,
  StackList
};
// What the instruction does with its operand: nothing, read 8 or 16 bits
// (from the instruction or from memory), or write.
enum class Access { None, Read8, Read16, Write };

constexpr std::uint16_t kIoPage = 0xFD00;
constexpr std::uint16_t kPsgFunction = 0xFD0D;
constexpr std::uint16_t kPsgData = 0xFD0E;

// Bytes a PSHS/PULS post-byte moves: PC, U, Y, X 2 each; DP, B, A, CC 1.
std::uint32_t StackedBytes(std::uint8_t list) {
  std::uint32_t bytes = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if ((list >> bit & 1) != 0) {
      bytes += bit >= 4 ? 2 : 1;
    }
  }
  return bytes;
}

}  // namespace

struct M6809::Op {
  std::uint16_t code;  // with its page prefix, if any: 0x10AF
  const char* mnemonic;
  Mode mode;
  Access access;
  std::uint8_t bytes;   // before the extra bytes of an indexed form
  std::uint8_t cycles;  // before the extra cycles of an indexed form or a stack list
  void (M6809::*run)(const Operand&);
};

// From the data sheet's Table 9 and programming aid, the instructions the
// player uses and no others.
// clang-format off
const M6809::Op M6809::kOps[] = {
    {0x12, "NOP", Mode::Inherent, Access::None, 1, 2, &M6809::Nop},
    {0x17, "LBSR", Mode::Relative16, Access::None, 3, 9, &M6809::Lbsr},
    {0x1A, "ORCC", Mode::Immediate8, Access::Read8, 2, 3, &M6809::Orcc},
    {0x1F, "TFR", Mode::Register, Access::None, 2, 6, &M6809::Tfr},
    {0x20, "BRA", Mode::Relative8, Access::None, 2, 3, &M6809::Bra},
    {0x21, "BRN", Mode::Relative8, Access::None, 2, 3, &M6809::Brn},
    {0x26, "BNE", Mode::Relative8, Access::None, 2, 3, &M6809::Bne},
    {0x2A, "BPL", Mode::Relative8, Access::None, 2, 3, &M6809::Bpl},
    {0x31, "LEAY", Mode::Indexed, Access::None, 2, 4, &M6809::Leay},
    {0x32, "LEAS", Mode::Indexed, Access::None, 2, 4, &M6809::Leas},
    {0x33, "LEAU", Mode::Indexed, Access::None, 2, 4, &M6809::Leau},
    {0x34, "PSHS", Mode::StackList, Access::None, 2, 5, &M6809::Pshs},
    {0x35, "PULS", Mode::StackList, Access::None, 2, 5, &M6809::Puls},
    {0x39, "RTS", Mode::Inherent, Access::None, 1, 5, &M6809::Rts},
    {0x4A, "DECA", Mode::Inherent, Access::None, 1, 2, &M6809::Deca},
    {0x4F, "CLRA", Mode::Inherent, Access::None, 1, 2, &M6809::Clra},
    {0x5A, "DECB", Mode::Inherent, Access::None, 1, 2, &M6809::Decb},
    {0x5C, "INCB", Mode::Inherent, Access::None, 1, 2, &M6809::Incb},
    {0x5F, "CLRB", Mode::Inherent, Access::None, 1, 2, &M6809::Clrb},
    {0x86, "LDA", Mode::Immediate8, Access::Read8, 2, 2, &M6809::Lda},
    {0x97, "STA", Mode::Direct, Access::Write, 2, 4, &M6809::Sta},
    {0xA6, "LDA", Mode::Indexed, Access::Read8, 2, 4, &M6809::Lda},
    {0xAC, "CMPX", Mode::Indexed, Access::Read16, 2, 6, &M6809::Cmpx},
    {0xAE, "LDX", Mode::Indexed, Access::Read16, 2, 5, &M6809::Ldx},
    {0xC6, "LDB", Mode::Immediate8, Access::Read8, 2, 2, &M6809::Ldb},
    {0xD7, "STB", Mode::Direct, Access::Write, 2, 4, &M6809::Stb},
    {0xE6, "LDB", Mode::Indexed, Access::Read8, 2, 4, &M6809::Ldb},
    {0xE7, "STB", Mode::Indexed, Access::Write, 2, 4, &M6809::Stb},
    {0xEC, "LDD", Mode::Indexed, Access::Read16, 2, 5, &M6809::Ldd},
    {0x10AF, "STY", Mode::Indexed, Access::Write, 3, 6, &M6809::Sty},
    {0x10EE, "LDS", Mode::Indexed, Access::Read16, 3, 6, &M6809::Lds},
    {0x10EF, "STS", Mode::Indexed, Access::Write, 3, 6, &M6809::Sts},
};
// clang-format on

std::uint8_t M6809::Read(std::uint16_t address) {
  if ((address & 0xFF00) == kIoPage) {
    ++portReads;
  }
  return memory[address];
}

std::uint16_t M6809::Read16(std::uint16_t address) {
  const std::uint8_t high = Read(address);
  return static_cast<std::uint16_t>(high << 8 | Read(static_cast<std::uint16_t>(address + 1)));
}

void M6809::Write(std::uint16_t address, std::uint8_t value) {
  memory[address] = value;
  writes.push_back({now_, address, value});
  if ((address == kPsgFunction || address == kPsgData) &&
      (cc & (kIrqMask | kFirqMask)) != (kIrqMask | kFirqMask)) {
    ++unmaskedPortWrites;
  }
}

// High byte first, at the lower address.
void M6809::Write16(std::uint16_t address, std::uint16_t value) {
  Write(address, static_cast<std::uint8_t>(value >> 8));
  Write(static_cast<std::uint16_t>(address + 1), static_cast<std::uint8_t>(value));
}

std::uint8_t M6809::Fetch() {
  return memory[pc++];
}

std::uint16_t& M6809::IndexRegister(std::uint8_t postByte) {
  switch (postByte >> 5 & 3) {
    case 0:
      return x;
    case 1:
      return y;
    case 2:
      return u;
    default:
      return s;
  }
}

// The indexed forms of the data sheet's Table 2 that have no indirection;
// false for any other post-byte.
bool M6809::Indexed(Operand& operand, std::uint32_t& extraCycles) {
  const std::uint8_t post = Fetch();
  if ((post & 0x80) == 0) {  // 5-bit signed offset
    const int offset = (post & 0x10) != 0 ? (post & 0x1F) - 32 : post & 0x1F;
    operand.address = static_cast<std::uint16_t>(IndexRegister(post) + offset);
    extraCycles = 1;
    return true;
  }
  std::uint16_t& r = IndexRegister(post);
  switch (post & 0x1F) {
    case 0x00:  // ,R+
      operand.address = r++;
      extraCycles = 2;
      return true;
    case 0x04:  // ,R
      operand.address = r;
      extraCycles = 0;
      return true;
    case 0x06:  // A,R: A signed
      operand.address = static_cast<std::uint16_t>(r + static_cast<std::int8_t>(a));
      extraCycles = 1;
      return true;
    case 0x0B:  // D,R
      operand.address = static_cast<std::uint16_t>(r + d());
      extraCycles = 4;
      return true;
    case 0x0C: {  // 8-bit offset from the PC after the instruction
      const auto offset = static_cast<std::int8_t>(Fetch());
      operand.address = static_cast<std::uint16_t>(pc + offset);
      extraCycles = 1;
      return true;
    }
    case 0x0D: {  // 16-bit offset from the PC after the instruction
      const std::uint8_t high = Fetch();
      const auto offset = static_cast<std::uint16_t>(high << 8 | Fetch());
      operand.address = static_cast<std::uint16_t>(pc + offset);
      extraCycles = 5;
      return true;
    }
    default:
      return false;
  }
}

bool M6809::Step() {
  const std::uint16_t at = pc;
  std::uint16_t code = Fetch();
  if (code == 0x10) {
    code = static_cast<std::uint16_t>(0x1000 | Fetch());
  }
  const Op* op = nullptr;
  for (const Op& candidate : kOps) {
    if (candidate.code == code) {
      op = &candidate;
    }
  }
  char where[64];
  if (op == nullptr) {
    std::snprintf(where, sizeof where, "unknown opcode $%X at $%04X", code, at);
    error = where;
    return false;
  }
  Operand operand;
  std::uint32_t extra = 0;
  switch (op->mode) {
    case Mode::Inherent:
      break;
    case Mode::Immediate8:
    case Mode::Register:
    case Mode::StackList:
      operand.value = Fetch();
      extra =
          op->mode == Mode::StackList ? StackedBytes(static_cast<std::uint8_t>(operand.value)) : 0;
      break;
    case Mode::Immediate16:
      operand.value = static_cast<std::uint16_t>(Fetch() << 8);
      operand.value = static_cast<std::uint16_t>(operand.value | Fetch());
      break;
    case Mode::Direct:
      operand.address = static_cast<std::uint16_t>(dp << 8 | Fetch());
      break;
    case Mode::Indexed:
      if (!Indexed(operand, extra)) {
        std::snprintf(where, sizeof where, "unknown indexed post-byte $%02X at $%04X",
                      memory[static_cast<std::uint16_t>(pc - 1)], at);
        error = where;
        return false;
      }
      break;
    case Mode::Relative8: {
      const auto offset = static_cast<std::int8_t>(Fetch());
      operand.address = static_cast<std::uint16_t>(pc + offset);
      break;
    }
    case Mode::Relative16: {
      const std::uint8_t high = Fetch();
      const auto offset = static_cast<std::uint16_t>(high << 8 | Fetch());
      operand.address = static_cast<std::uint16_t>(pc + offset);
      break;
    }
  }
  now_ = cycles + op->cycles + extra;
  if (op->access == Access::Read8 && op->mode != Mode::Immediate8) {
    operand.value = Read(operand.address);
  } else if (op->access == Access::Read16 && op->mode != Mode::Immediate16) {
    operand.value = Read16(operand.address);
  }
  (this->*op->run)(operand);
  cycles = now_;
  return error.empty();
}

void M6809::SetNz8(std::uint8_t value) {
  cc = static_cast<std::uint8_t>((cc & ~(kNegative | kZero | kOverflow)) |
                                 ((value & 0x80) != 0 ? kNegative : 0) | (value == 0 ? kZero : 0));
}

void M6809::SetNz16(std::uint16_t value) {
  cc =
      static_cast<std::uint8_t>((cc & ~(kNegative | kZero | kOverflow)) |
                                ((value & 0x8000) != 0 ? kNegative : 0) | (value == 0 ? kZero : 0));
}

void M6809::Lbsr(const Operand& o) {
  s = static_cast<std::uint16_t>(s - 2);
  Write16(s, pc);
  pc = o.address;
}

void M6809::Leay(const Operand& o) {
  y = o.address;
  cc = static_cast<std::uint8_t>((cc & ~kZero) | (y == 0 ? kZero : 0));
}

void M6809::Rts(const Operand&) {
  pc = Read16(s);
  s = static_cast<std::uint16_t>(s + 2);
}

// DEC: V when the value was $80; INC: V when it was $7F. C unchanged.
void M6809::Deca(const Operand&) {
  const bool overflow = a == 0x80;
  SetNz8(--a);
  cc = static_cast<std::uint8_t>(cc | (overflow ? kOverflow : 0));
}

void M6809::Decb(const Operand&) {
  const bool overflow = b == 0x80;
  SetNz8(--b);
  cc = static_cast<std::uint8_t>(cc | (overflow ? kOverflow : 0));
}

void M6809::Incb(const Operand&) {
  const bool overflow = b == 0x7F;
  SetNz8(++b);
  cc = static_cast<std::uint8_t>(cc | (overflow ? kOverflow : 0));
}

void M6809::Clra(const Operand&) {
  a = 0;
  SetNz8(a);
  cc = static_cast<std::uint8_t>(cc & ~kCarry);
}

void M6809::Clrb(const Operand&) {
  b = 0;
  SetNz8(b);
  cc = static_cast<std::uint8_t>(cc & ~kCarry);
}

void M6809::Lda(const Operand& o) {
  a = static_cast<std::uint8_t>(o.value);
  SetNz8(a);
}

void M6809::Ldb(const Operand& o) {
  b = static_cast<std::uint8_t>(o.value);
  SetNz8(b);
}

void M6809::Sta(const Operand& o) {
  Write(o.address, a);
  SetNz8(a);
}

void M6809::Stb(const Operand& o) {
  Write(o.address, b);
  SetNz8(b);
}

// X - M: N, Z, V and C as a 16-bit subtraction.
void M6809::Cmpx(const Operand& o) {
  const std::uint32_t result = static_cast<std::uint32_t>(x) - o.value;
  const auto low = static_cast<std::uint16_t>(result);
  SetNz16(low);
  const bool overflow = ((x ^ o.value) & (x ^ low) & 0x8000) != 0;
  cc = static_cast<std::uint8_t>((cc & ~kCarry) | (overflow ? kOverflow : 0) |
                                 (x < o.value ? kCarry : 0));
}

void M6809::Ldx(const Operand& o) {
  x = o.value;
  SetNz16(x);
}

void M6809::Ldd(const Operand& o) {
  a = static_cast<std::uint8_t>(o.value >> 8);
  b = static_cast<std::uint8_t>(o.value);
  SetNz16(o.value);
}

void M6809::Sty(const Operand& o) {
  Write16(o.address, y);
  SetNz16(y);
}

void M6809::Lds(const Operand& o) {
  s = o.value;
  SetNz16(s);
}

void M6809::Sts(const Operand& o) {
  Write16(o.address, s);
  SetNz16(s);
}

// The stacking order of the data sheet: PC, U, Y, X, DP, B, A, CC, each
// 16-bit register low byte first, so that it lies high byte first.
void M6809::Pshs(const Operand& o) {
  const auto list = static_cast<std::uint8_t>(o.value);
  const auto push8 = [this](std::uint8_t value) { Write(--s, value); };
  const auto push16 = [&push8](std::uint16_t value) {
    push8(static_cast<std::uint8_t>(value));
    push8(static_cast<std::uint8_t>(value >> 8));
  };
  if (list & 0x80)
    push16(pc);
  if (list & 0x40)
    push16(u);
  if (list & 0x20)
    push16(y);
  if (list & 0x10)
    push16(x);
  if (list & 0x08)
    push8(dp);
  if (list & 0x04)
    push8(b);
  if (list & 0x02)
    push8(a);
  if (list & 0x01)
    push8(cc);
}

void M6809::Puls(const Operand& o) {
  const auto list = static_cast<std::uint8_t>(o.value);
  const auto pull8 = [this]() { return Read(s++); };
  const auto pull16 = [&pull8]() {
    const std::uint8_t high = pull8();
    return static_cast<std::uint16_t>(high << 8 | pull8());
  };
  if (list & 0x01)
    cc = pull8();
  if (list & 0x02)
    a = pull8();
  if (list & 0x04)
    b = pull8();
  if (list & 0x08)
    dp = pull8();
  if (list & 0x10)
    x = pull16();
  if (list & 0x20)
    y = pull16();
  if (list & 0x40)
    u = pull16();
  if (list & 0x80)
    pc = pull16();
}

// Between 8-bit registers only, as the player does (A to DP); any other
// pair stops the model.
void M6809::Tfr(const Operand& o) {
  const auto registerOf = [this](int code) -> std::uint8_t* {
    switch (code) {
      case 0x8:
        return &a;
      case 0x9:
        return &b;
      case 0xA:
        return &cc;
      case 0xB:
        return &dp;
      default:
        return nullptr;
    }
  };
  std::uint8_t* from = registerOf(o.value >> 4);
  std::uint8_t* to = registerOf(o.value & 0xF);
  if (from != nullptr && to != nullptr) {
    *to = *from;
  } else {
    error = "a TFR between registers the model does not move";
  }
}

}  // namespace tonebake::m6809
