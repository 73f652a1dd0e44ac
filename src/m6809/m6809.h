#ifndef TONEBAKE_M6809_M6809_H
#define TONEBAKE_M6809_M6809_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// A model of the MC6809 for exactly the instructions the player uses, with
// the data sheet's lengths and cycle counts, and a record of every write:
// enough to run the player's own bytes, time its PSG writes and check what
// it touches. A byte it does not know stops it with an error, never a guess.
namespace tonebake::m6809 {

struct BusWrite {
  std::uint64_t cycle;  // the cycle its instruction ends on
  std::uint16_t address;
  std::uint8_t value;
};

class M6809 {
 public:
  // CC bits.
  static constexpr std::uint8_t kCarry = 0x01;
  static constexpr std::uint8_t kOverflow = 0x02;
  static constexpr std::uint8_t kZero = 0x04;
  static constexpr std::uint8_t kNegative = 0x08;
  static constexpr std::uint8_t kIrqMask = 0x10;
  static constexpr std::uint8_t kFirqMask = 0x40;

  std::array<std::uint8_t, 65536> memory{};
  std::uint8_t a = 0, b = 0, dp = 0, cc = 0;
  std::uint16_t x = 0, y = 0, u = 0, s = 0, pc = 0;
  std::uint64_t cycles = 0;
  std::vector<BusWrite> writes;
  std::uint64_t portReads = 0;  // reads of the I/O page $FD00-$FDFF
  // Writes to the PSG ports with interrupts not masked: none is allowed.
  std::uint64_t unmaskedPortWrites = 0;
  std::string error;  // why Step stopped

  // Runs one instruction. False, with `error` set, for a byte the model does
  // not know.
  bool Step();

  std::uint16_t d() const { return static_cast<std::uint16_t>(a << 8 | b); }

 private:
  struct Operand {
    std::uint16_t address = 0;  // the effective address, or the branch target
    std::uint16_t value = 0;    // an immediate operand or post-byte
  };
  struct Op;
  static const Op kOps[];

  std::uint8_t Read(std::uint16_t address);
  std::uint16_t Read16(std::uint16_t address);
  void Write(std::uint16_t address, std::uint8_t value);
  void Write16(std::uint16_t address, std::uint16_t value);
  std::uint8_t Fetch();
  bool Indexed(Operand& operand, std::uint32_t& extraCycles);
  std::uint16_t& IndexRegister(std::uint8_t postByte);
  void SetNz8(std::uint8_t value);
  void SetNz16(std::uint16_t value);
  void Pshs(const Operand& o);
  void Puls(const Operand& o);
  void Tfr(const Operand& o);

  // The operations, one each.
  void Nop(const Operand&) {}
  void Lbsr(const Operand& o);
  void Orcc(const Operand& o) { cc = static_cast<std::uint8_t>(cc | o.value); }
  void Branch(const Operand& o, bool taken) { pc = taken ? o.address : pc; }
  void Bra(const Operand& o) { Branch(o, true); }
  void Brn(const Operand&) {}
  void Bne(const Operand& o) { Branch(o, (cc & kZero) == 0); }
  void Bpl(const Operand& o) { Branch(o, (cc & kNegative) == 0); }
  void Leay(const Operand& o);
  void Leas(const Operand& o) { s = o.address; }
  void Leau(const Operand& o) { u = o.address; }
  void Rts(const Operand&);
  void Deca(const Operand&);
  void Clra(const Operand&);
  void Decb(const Operand&);
  void Incb(const Operand&);
  void Clrb(const Operand&);
  void Lda(const Operand& o);
  void Ldb(const Operand& o);
  void Sta(const Operand& o);
  void Stb(const Operand& o);
  void Cmpx(const Operand& o);
  void Ldx(const Operand& o);
  void Ldd(const Operand& o);
  void Sty(const Operand& o);
  void Lds(const Operand& o);
  void Sts(const Operand& o);

  std::uint64_t now_ = 0;  // the cycle the running instruction ends on
};

}  // namespace tonebake::m6809

#endif  // TONEBAKE_M6809_M6809_H
