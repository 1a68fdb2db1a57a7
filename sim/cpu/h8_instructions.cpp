// Every instruction of the H8/300H core in one place: the handlers that
// run them (struct H8Cpu::Ops) and, below them, the table that gives each
// instruction form its encoding, length, mnemonic, operand layout for the
// disassembler and handler. A handler used by one form only is written in
// its table entry; families (moves, arithmetic, shifts, bit operations)
// are templates over operand size and operation, named by their entries.
//
// A handler runs one instruction with the PC past the words that decoded
// it (see h8isa::Exec) and fetches any further words itself.
#include <cstdint>
#include <cstdio>
#include <string>

#include "h8_cpu.h"
#include "h8_isa.h"

namespace {

// Operand sizes: byte, word, long.
template <int S>
struct Size;
template <>
struct Size<1> {
  static constexpr std::uint32_t kMask = 0xFF, kMsb = 0x80, kHalf = 0x0F;
};
template <>
struct Size<2> {
  static constexpr std::uint32_t kMask = 0xFFFF, kMsb = 0x8000, kHalf = 0x0FFF;
};
template <>
struct Size<4> {
  static constexpr std::uint32_t kMask = 0xFFFFFFFF, kMsb = 0x80000000, kHalf = 0x0FFFFFFF;
};

// Bcc: the condition table is indexed by cc * 16 + (CCR & NZVC).
constexpr bool Condition(unsigned cc, unsigned ccr) {
  const bool c = (ccr & kCcrC) != 0;
  const bool v = (ccr & kCcrV) != 0;
  const bool z = (ccr & kCcrZ) != 0;
  const bool n = (ccr & kCcrN) != 0;
  switch (cc) {
    case 0x0: return true;          // BRA
    case 0x1: return false;         // BRN
    case 0x2: return !(c || z);     // BHI
    case 0x3: return c || z;        // BLS
    case 0x4: return !c;            // BCC (BHS)
    case 0x5: return c;             // BCS (BLO)
    case 0x6: return !z;            // BNE
    case 0x7: return z;             // BEQ
    case 0x8: return !v;            // BVC
    case 0x9: return v;             // BVS
    case 0xA: return !n;            // BPL
    case 0xB: return n;             // BMI
    case 0xC: return n == v;        // BGE
    case 0xD: return n != v;        // BLT
    case 0xE: return !z && n == v;  // BGT
    default: return z || n != v;    // BLE
  }
}

struct ConditionTable {
  bool taken[256] = {};
  constexpr ConditionTable() {
    for (unsigned i = 0; i < 256; ++i) taken[i] = Condition(i >> 4, i & 0x0F);
  }
};

constexpr ConditionTable kConditions;

}  // namespace

struct H8Cpu::Ops {
  // The binary operations of the register/immediate forms.
  enum class Bin { kAdd, kAddx, kSub, kSubx, kCmp, kAnd, kOr, kXor, kMov };
  // The one-operand register forms.
  enum class Un {
    kInc1, kInc2, kDec1, kDec2, kAdds1, kAdds2, kAdds4, kSubs1, kSubs2, kSubs4,
    kNot, kNeg, kExtu, kExts, kShll, kShal, kShlr, kShar, kRotl, kRotr, kRotxl, kRotxr
  };
  // Memory operand addressing. The register is the 3-bit field in bits
  // 4-6 of op, except for kD24 (bits 20-22: the 78 prefix word).
  enum class Ea { kInd, kPostInc, kPreDec, kD16, kD24, kAbs16, kAbs24 };
  // Bit manipulation.
  enum class Bit { kSet, kNot, kClr, kTst, kSt, kIst, kOr, kIor, kXor, kIxor, kAnd, kIand, kLd, kIld };

  // -- flags ---------------------------------------------------------------

  static void SetNZOnly(H8Cpu& c, bool n, bool z) {
    c.ccr_ = static_cast<std::uint8_t>((c.ccr_ & ~(kCcrN | kCcrZ)) | (n ? kCcrN : 0) | (z ? kCcrZ : 0));
  }
  template <int S>
  static void SetNZ(H8Cpu& c, std::uint32_t r) {
    SetNZOnly(c, (r & Size<S>::kMsb) != 0, (r & Size<S>::kMask) == 0);
  }
  // N and Z from the result, V cleared: moves and logic.
  template <int S>
  static void SetNZV0(H8Cpu& c, std::uint32_t r) {
    c.ccr_ = static_cast<std::uint8_t>((c.ccr_ & ~(kCcrN | kCcrZ | kCcrV)) |
                                       ((r & Size<S>::kMsb) != 0 ? kCcrN : 0) |
                                       ((r & Size<S>::kMask) == 0 ? kCcrZ : 0));
  }

  // a + b + carry with H, N, Z, V, C. For ADDX (sticky_z) Z is only ever
  // cleared, so a multi-precision sum tests zero across all its parts.
  template <int S>
  static std::uint32_t Add(H8Cpu& c, std::uint32_t a, std::uint32_t b, std::uint32_t carry, bool sticky_z) {
    using T = Size<S>;
    const std::uint64_t full = std::uint64_t{a} + b + carry;
    const std::uint32_t r = static_cast<std::uint32_t>(full) & T::kMask;
    std::uint32_t f = c.ccr_ & ~(kCcrH | kCcrN | kCcrV | kCcrC);
    if ((a & T::kHalf) + (b & T::kHalf) + carry > T::kHalf) f |= kCcrH;
    if ((r & T::kMsb) != 0) f |= kCcrN;
    if (sticky_z) {
      if (r != 0) f &= ~kCcrZ;
    } else {
      f = r == 0 ? (f | kCcrZ) : (f & ~kCcrZ);
    }
    if ((~(a ^ b) & (a ^ r) & T::kMsb) != 0) f |= kCcrV;
    if (full > T::kMask) f |= kCcrC;
    c.ccr_ = static_cast<std::uint8_t>(f);
    return r;
  }

  // a - b - borrow with H, N, Z, V, C (C and H are borrows).
  template <int S>
  static std::uint32_t Sub(H8Cpu& c, std::uint32_t a, std::uint32_t b, std::uint32_t borrow, bool sticky_z) {
    using T = Size<S>;
    const std::uint32_t r = (a - b - borrow) & T::kMask;
    std::uint32_t f = c.ccr_ & ~(kCcrH | kCcrN | kCcrV | kCcrC);
    if ((b & T::kHalf) + borrow > (a & T::kHalf)) f |= kCcrH;
    if ((r & T::kMsb) != 0) f |= kCcrN;
    if (sticky_z) {
      if (r != 0) f &= ~kCcrZ;
    } else {
      f = r == 0 ? (f | kCcrZ) : (f & ~kCcrZ);
    }
    if (((a ^ b) & (a ^ r) & T::kMsb) != 0) f |= kCcrV;
    if (std::uint64_t{b} + borrow > a) f |= kCcrC;
    c.ccr_ = static_cast<std::uint8_t>(f);
    return r;
  }

  // -- registers and memory by size -----------------------------------------

  template <int S>
  static std::uint32_t Reg(const H8Cpu& c, unsigned n) {
    if constexpr (S == 1) return c.RegB(n);
    else if constexpr (S == 2) return c.RegW(n);
    else return c.er_[n & 7];
  }
  template <int S>
  static void SetReg(H8Cpu& c, unsigned n, std::uint32_t v) {
    if constexpr (S == 1) c.SetRegB(n, v);
    else if constexpr (S == 2) c.SetRegW(n, v);
    else c.er_[n & 7] = v;
  }
  template <int S>
  static std::uint32_t Mem(H8Cpu& c, std::uint32_t a) {
    if constexpr (S == 1) return c.Read8(a);
    else if constexpr (S == 2) return c.Read16(a);
    else return c.Read32(a);
  }
  template <int S>
  static void SetMem(H8Cpu& c, std::uint32_t a, std::uint32_t v) {
    if constexpr (S == 1) c.Write8(a, static_cast<std::uint8_t>(v));
    else if constexpr (S == 2) c.Write16(a, static_cast<std::uint16_t>(v));
    else c.Write32(a, v);
  }

  static void Push32(H8Cpu& c, std::uint32_t v) {
    c.er_[7] -= 4;
    c.Write32(c.er_[7], v);
  }
  static std::uint32_t Pop32(H8Cpu& c) {
    const std::uint32_t v = c.Read32(c.er_[7]);
    c.er_[7] += 4;
    return v;
  }

  // -- binary operations ----------------------------------------------------

  template <int S, Bin O>
  static void BinOp(H8Cpu& c, unsigned rd, std::uint32_t s) {
    const std::uint32_t d = Reg<S>(c, rd);
    const std::uint32_t carry = c.ccr_ & kCcrC;
    std::uint32_t r = 0;
    if constexpr (O == Bin::kAdd) r = Add<S>(c, d, s, 0, false);
    else if constexpr (O == Bin::kAddx) r = Add<S>(c, d, s, carry, true);
    else if constexpr (O == Bin::kSub) r = Sub<S>(c, d, s, 0, false);
    else if constexpr (O == Bin::kSubx) r = Sub<S>(c, d, s, carry, true);
    else if constexpr (O == Bin::kCmp) {
      Sub<S>(c, d, s, 0, false);
      return;
    } else {
      if constexpr (O == Bin::kAnd) r = d & s;
      else if constexpr (O == Bin::kOr) r = d | s;
      else if constexpr (O == Bin::kXor) r = d ^ s;
      else r = s;
      SetNZV0<S>(c, r);
    }
    SetReg<S>(c, rd, r);
  }

  // Rs,Rd: source field in bits 4-7, destination in bits 0-3.
  template <int S, Bin O>
  static void RR(H8Cpu& c, std::uint32_t op) {
    BinOp<S, O>(c, op & 0xF, Reg<S>(c, (op >> 4) & 0xF));
  }
  // #xx:8,Rd: 8d xx.
  template <Bin O>
  static void ImmB(H8Cpu& c, std::uint32_t op) {
    BinOp<1, O>(c, (op >> 8) & 0xF, op & 0xFF);
  }
  // #xx:16,Rd: 79 od xxxx.
  template <Bin O>
  static void ImmW(H8Cpu& c, std::uint32_t op) {
    BinOp<2, O>(c, op & 0xF, c.Fetch16());
  }
  // #xx:32,ERd: 7A od xxxxxxxx.
  template <Bin O>
  static void ImmL(H8Cpu& c, std::uint32_t op) {
    BinOp<4, O>(c, op & 7, c.Fetch32());
  }

  // -- one-operand forms ----------------------------------------------------

  template <int S, Un O>
  static void Unary(H8Cpu& c, std::uint32_t op) {
    using T = Size<S>;
    const unsigned n = op & 0xF;
    const std::uint32_t x = Reg<S>(c, n);
    const std::uint32_t carry = c.ccr_ & kCcrC;
    std::uint32_t r = 0;
    if constexpr (O == Un::kAdds1 || O == Un::kAdds2 || O == Un::kAdds4) {
      r = x + (O == Un::kAdds1 ? 1 : O == Un::kAdds2 ? 2 : 4);  // no flags
    } else if constexpr (O == Un::kSubs1 || O == Un::kSubs2 || O == Un::kSubs4) {
      r = x - (O == Un::kSubs1 ? 1 : O == Un::kSubs2 ? 2 : 4);  // no flags
    } else if constexpr (O == Un::kInc1 || O == Un::kInc2) {
      // N, Z, V; H and C stay.
      r = (x + (O == Un::kInc1 ? 1 : 2)) & T::kMask;
      SetNZV0<S>(c, r);
      if ((~x & r & T::kMsb) != 0) c.ccr_ |= kCcrV;
    } else if constexpr (O == Un::kDec1 || O == Un::kDec2) {
      r = (x - (O == Un::kDec1 ? 1 : 2)) & T::kMask;
      SetNZV0<S>(c, r);
      if ((x & ~r & T::kMsb) != 0) c.ccr_ |= kCcrV;
    } else if constexpr (O == Un::kNot) {
      r = ~x & T::kMask;
      SetNZV0<S>(c, r);
    } else if constexpr (O == Un::kNeg) {
      r = Sub<S>(c, 0, x, 0, false);
    } else if constexpr (O == Un::kExtu) {
      r = x & (S == 2 ? 0xFFu : 0xFFFFu);
      SetNZV0<S>(c, r);
    } else if constexpr (O == Un::kExts) {
      r = S == 2 ? static_cast<std::uint32_t>(static_cast<std::int8_t>(x & 0xFF)) & 0xFFFF
                 : static_cast<std::uint32_t>(static_cast<std::int16_t>(x & 0xFFFF));
      SetNZV0<S>(c, r);
    } else {
      // Shifts and rotates by one: N, Z, V (only SHAL can overflow), C =
      // the bit shifted out.
      constexpr unsigned kTop = S * 8 - 1;
      std::uint32_t out = 0;
      if constexpr (O == Un::kShll || O == Un::kShal) {
        out = x >> kTop;
        r = (x << 1) & T::kMask;
      } else if constexpr (O == Un::kShlr) {
        out = x & 1;
        r = x >> 1;
      } else if constexpr (O == Un::kShar) {
        out = x & 1;
        r = (x >> 1) | (x & T::kMsb);
      } else if constexpr (O == Un::kRotl) {
        out = x >> kTop;
        r = ((x << 1) | out) & T::kMask;
      } else if constexpr (O == Un::kRotr) {
        out = x & 1;
        r = (x >> 1) | (out << kTop);
      } else if constexpr (O == Un::kRotxl) {
        out = x >> kTop;
        r = ((x << 1) | carry) & T::kMask;
      } else {
        out = x & 1;
        r = (x >> 1) | (carry << kTop);
      }
      SetNZV0<S>(c, r);
      std::uint32_t f = (c.ccr_ & ~kCcrC) | out;
      if (O == Un::kShal && ((x ^ (x << 1)) & T::kMsb) != 0) f |= kCcrV;
      c.ccr_ = static_cast<std::uint8_t>(f);
    }
    SetReg<S>(c, n, r);
  }

  // -- memory operands ------------------------------------------------------

  template <int S, Ea M>
  static std::uint32_t Address(H8Cpu& c, std::uint32_t op) {
    if constexpr (M == Ea::kInd) {
      return c.er_[(op >> 4) & 7];
    } else if constexpr (M == Ea::kPostInc) {
      std::uint32_t& r = c.er_[(op >> 4) & 7];
      const std::uint32_t a = r;
      r += S;
      return a;
    } else if constexpr (M == Ea::kPreDec) {
      std::uint32_t& r = c.er_[(op >> 4) & 7];
      r -= S;
      return r;
    } else if constexpr (M == Ea::kD16) {
      const std::uint32_t disp = static_cast<std::uint32_t>(static_cast<std::int16_t>(c.Fetch16()));
      return c.er_[(op >> 4) & 7] + disp;
    } else if constexpr (M == Ea::kD24) {
      return c.er_[(op >> 20) & 7] + (c.Fetch32() & 0xFFFFFF);
    } else if constexpr (M == Ea::kAbs16) {
      return static_cast<std::uint32_t>(static_cast<std::int16_t>(c.Fetch16()));
    } else {
      return c.Fetch32() & 0xFFFFFF;
    }
  }

  // MOV to a register: data register in bits 0-3 (bits 0-2 for longs).
  // With @ERs+ and ERs = ERd the loaded value wins over the increment.
  template <int S, Ea M>
  static void Load(H8Cpu& c, std::uint32_t op) {
    const std::uint32_t a = Address<S, M>(c, op);
    const std::uint32_t v = Mem<S>(c, a);
    SetNZV0<S>(c, v);
    SetReg<S>(c, op & 0xF, v);
  }
  // MOV to memory: the register is read before @-ERd decrements, so
  // MOV.L ER7,@-ER7 stores the old ER7.
  template <int S, Ea M>
  static void Store(H8Cpu& c, std::uint32_t op) {
    const std::uint32_t v = Reg<S>(c, op & 0xF);
    const std::uint32_t a = Address<S, M>(c, op);
    SetNZV0<S>(c, v);
    SetMem<S>(c, a, v);
  }

  // LDC/STC with memory move a word; CCR is its upper byte.
  template <Ea M>
  static void LdcMem(H8Cpu& c, std::uint32_t op) {
    const std::uint32_t a = Address<2, M>(c, op);
    c.ccr_ = static_cast<std::uint8_t>(c.Read16(a) >> 8);
  }
  template <Ea M>
  static void StcMem(H8Cpu& c, std::uint32_t op) {
    const std::uint32_t a = Address<2, M>(c, op);
    c.Write16(a, static_cast<std::uint16_t>(c.ccr_ << 8));
  }

  // -- bit manipulation -----------------------------------------------------

  // Applies O to bit of v; true when v is to be written back (the chip
  // writes the byte back for every modifying bit instruction).
  template <Bit O>
  static bool BitApply(H8Cpu& c, std::uint32_t& v, unsigned bit) {
    const std::uint32_t mask = 1u << bit;
    const bool b = (v & mask) != 0;
    const bool carry = (c.ccr_ & kCcrC) != 0;
    auto set_c = [&c](bool value) {
      c.ccr_ = static_cast<std::uint8_t>((c.ccr_ & ~kCcrC) | (value ? kCcrC : 0));
    };
    switch (O) {
      case Bit::kSet: v |= mask; return true;
      case Bit::kClr: v &= ~mask; return true;
      case Bit::kNot: v ^= mask; return true;
      case Bit::kSt: v = carry ? (v | mask) : (v & ~mask); return true;
      case Bit::kIst: v = carry ? (v & ~mask) : (v | mask); return true;
      case Bit::kTst:
        c.ccr_ = static_cast<std::uint8_t>((c.ccr_ & ~kCcrZ) | (b ? 0 : kCcrZ));
        return false;
      case Bit::kLd: set_c(b); return false;
      case Bit::kIld: set_c(!b); return false;
      case Bit::kAnd: set_c(carry && b); return false;
      case Bit::kIand: set_c(carry && !b); return false;
      case Bit::kOr: set_c(carry || b); return false;
      case Bit::kIor: set_c(carry || !b); return false;
      case Bit::kXor: set_c(carry != b); return false;
      case Bit::kIxor: set_c(carry == b); return false;
    }
    return false;
  }

  // On a register: 7x/6x [bit][rd]; the bit number is #imm (bits 4-6) or
  // the low 3 bits of the byte register in bits 4-7.
  template <Bit O, bool kBitInReg>
  static void BitReg(H8Cpu& c, std::uint32_t op) {
    const unsigned d = op & 0xF;
    const unsigned bit = kBitInReg ? c.RegB((op >> 4) & 0xF) & 7 : (op >> 4) & 7;
    std::uint32_t v = c.RegB(d);
    if (BitApply<O>(c, v, bit)) c.SetRegB(d, v);
  }
  // On memory: 7C/7D [erd]0 or 7E/7F aa, then the register form's word.
  template <Bit O, bool kBitInReg, bool kAbs8>
  static void BitMem(H8Cpu& c, std::uint32_t op) {
    const std::uint32_t a = kAbs8 ? 0xFFFF00 | ((op >> 16) & 0xFF) : c.er_[(op >> 20) & 7];
    const unsigned bit = kBitInReg ? c.RegB((op >> 4) & 0xF) & 7 : (op >> 4) & 7;
    std::uint32_t v = c.Read8(a);
    if (BitApply<O>(c, v, bit)) c.Write8(a, static_cast<std::uint8_t>(v));
  }

  // -- instructions of their own -------------------------------------------

  static void Unknown(H8Cpu& c, std::uint32_t) {
    // Show at least the first two words, whatever the decoder looked at.
    std::uint32_t n = (c.pc_ - c.insn_pc_) & 0xFFFFFF;
    if (n < 4) n = 4;
    char text[64];
    int used = std::snprintf(text, sizeof text, "unknown instruction at H'%06X:", c.insn_pc_);
    for (std::uint32_t i = 0; i < n && used < static_cast<int>(sizeof text) - 4; ++i) {
      used += std::snprintf(text + used, sizeof text - used, " %02X",
                            c.Read8((c.insn_pc_ + i) & 0xFFFFFF));
    }
    c.fault_ = text;
    c.pc_ = c.insn_pc_;
    c.stopped_ = true;
    --c.count_;
  }

  static void Eepmov(H8Cpu& c, std::uint32_t op) {
    // EEPMOV.B counts in R4L, EEPMOV.W in R4; bytes go from @ER5+ to @ER6+.
    const bool word = (op >> 16) == 0x7BD4;
    std::uint32_t count = word ? c.RegW(4) : c.RegB(12);
    while (count != 0) {
      c.Write8(c.er_[6], c.Read8(c.er_[5]));
      ++c.er_[5];
      ++c.er_[6];
      --count;
    }
    if (word) {
      c.SetRegW(4, 0);
    } else {
      c.SetRegB(12, 0);
    }
  }

  static void Daa(H8Cpu& c, std::uint32_t op) {
    const unsigned n = op & 0xF;
    const std::uint32_t x = c.RegB(n);
    std::uint32_t adjust = 0;
    bool carry = (c.ccr_ & kCcrC) != 0;
    if ((c.ccr_ & kCcrH) != 0 || (x & 0x0F) > 9) adjust |= 0x06;
    if (carry || x > 0x99) {
      adjust |= 0x60;
      carry = true;
    }
    const std::uint32_t r = (x + adjust) & 0xFF;
    c.SetRegB(n, r);
    SetNZ<1>(c, r);
    c.ccr_ = static_cast<std::uint8_t>((c.ccr_ & ~kCcrC) | (carry ? kCcrC : 0));
  }

  static void Das(H8Cpu& c, std::uint32_t op) {
    const unsigned n = op & 0xF;
    std::uint32_t r = c.RegB(n);
    if ((c.ccr_ & kCcrH) != 0) r += 0xFA;
    if ((c.ccr_ & kCcrC) != 0) r += 0xA0;
    r &= 0xFF;
    c.SetRegB(n, r);
    SetNZ<1>(c, r);
  }

  static void MulxuB(H8Cpu& c, std::uint32_t op) {
    const unsigned d = op & 0xF;
    c.SetRegW(d, c.RegB((op >> 4) & 0xF) * (c.RegW(d) & 0xFF));
  }

  static void MulxuW(H8Cpu& c, std::uint32_t op) {
    std::uint32_t& d = c.er_[op & 7];
    d = c.RegW((op >> 4) & 0xF) * (d & 0xFFFF);
  }

  static void MulxsB(H8Cpu& c, std::uint32_t op) {
    const unsigned d = op & 0xF;
    const std::int32_t r = static_cast<std::int8_t>(c.RegB((op >> 4) & 0xF)) *
                           static_cast<std::int8_t>(c.RegW(d) & 0xFF);
    c.SetRegW(d, static_cast<std::uint32_t>(r));
    SetNZOnly(c, r < 0, r == 0);
  }

  static void MulxsW(H8Cpu& c, std::uint32_t op) {
    std::uint32_t& d = c.er_[op & 7];
    const std::int32_t r = static_cast<std::int16_t>(c.RegW((op >> 4) & 0xF)) *
                           static_cast<std::int16_t>(d & 0xFFFF);
    d = static_cast<std::uint32_t>(r);
    SetNZOnly(c, r < 0, r == 0);
  }

  // Division by zero leaves the dividend register as it was; N and Z tell
  // about the divisor, as on the chip.
  static void DivxuB(H8Cpu& c, std::uint32_t op) {
    const unsigned d = op & 0xF;
    const std::uint32_t divisor = c.RegB((op >> 4) & 0xF);
    SetNZOnly(c, (divisor & 0x80) != 0, divisor == 0);
    if (divisor == 0) return;
    const std::uint32_t dividend = c.RegW(d);
    c.SetRegW(d, ((dividend % divisor) << 8) | ((dividend / divisor) & 0xFF));
  }

  static void DivxuW(H8Cpu& c, std::uint32_t op) {
    std::uint32_t& d = c.er_[op & 7];
    const std::uint32_t divisor = c.RegW((op >> 4) & 0xF);
    SetNZOnly(c, (divisor & 0x8000) != 0, divisor == 0);
    if (divisor == 0) return;
    d = ((d % divisor) << 16) | ((d / divisor) & 0xFFFF);
  }

  static void DivxsB(H8Cpu& c, std::uint32_t op) {
    const unsigned d = op & 0xF;
    const std::int32_t divisor = static_cast<std::int8_t>(c.RegB((op >> 4) & 0xF));
    const std::int32_t dividend = static_cast<std::int16_t>(c.RegW(d));
    if (divisor == 0) {
      SetNZOnly(c, false, true);
      return;
    }
    const std::int32_t q = dividend / divisor;
    const std::int32_t r = dividend % divisor;
    SetNZOnly(c, q < 0, false);
    c.SetRegW(d, ((static_cast<std::uint32_t>(r) & 0xFF) << 8) | (static_cast<std::uint32_t>(q) & 0xFF));
  }

  static void DivxsW(H8Cpu& c, std::uint32_t op) {
    std::uint32_t& d = c.er_[op & 7];
    const std::int64_t divisor = static_cast<std::int16_t>(c.RegW((op >> 4) & 0xF));
    const std::int64_t dividend = static_cast<std::int32_t>(d);
    if (divisor == 0) {
      SetNZOnly(c, false, true);
      return;
    }
    const std::int64_t q = dividend / divisor;
    const std::int64_t r = dividend % divisor;
    SetNZOnly(c, q < 0, false);
    d = ((static_cast<std::uint32_t>(r) & 0xFFFF) << 16) | (static_cast<std::uint32_t>(q) & 0xFFFF);
  }

  static void Bcc8(H8Cpu& c, std::uint32_t op) {
    if (kConditions.taken[((op >> 4) & 0xF0) | (c.ccr_ & 0x0F)]) {
      c.pc_ = (c.pc_ + static_cast<std::uint32_t>(static_cast<std::int8_t>(op & 0xFF))) & 0xFFFFFF;
    }
  }

  static void Bcc16(H8Cpu& c, std::uint32_t op) {
    const std::uint32_t disp = static_cast<std::uint32_t>(static_cast<std::int16_t>(c.Fetch16()));
    if (kConditions.taken[(op & 0xF0) | (c.ccr_ & 0x0F)]) c.pc_ = (c.pc_ + disp) & 0xFFFFFF;
  }

  static void Bsr8(H8Cpu& c, std::uint32_t op) {
    Push32(c, c.pc_);
    c.pc_ = (c.pc_ + static_cast<std::uint32_t>(static_cast<std::int8_t>(op & 0xFF))) & 0xFFFFFF;
  }

  static void Bsr16(H8Cpu& c, std::uint32_t) {
    const std::uint32_t disp = static_cast<std::uint32_t>(static_cast<std::int16_t>(c.Fetch16()));
    Push32(c, c.pc_);
    c.pc_ = (c.pc_ + disp) & 0xFFFFFF;
  }

  static h8isa::Tables BuildTables();
};

// The states of an instruction that are not the word fetches and data
// accesses the CPU counts itself, from the H8/300H programming manual's
// table of execution states (advanced mode): a branch, jump, call or
// return fetches once more at its target (I = 2 for a one-word
// instruction); 16-bit branch displacements, 24-bit jump addresses, return
// addresses, @ERn+ / @-ERn and the multiplier and divider take internal
// states (N, 1 state each); EEPMOV.B/W moves 2 bytes more than it counts.
static std::uint8_t ExtraStates(const std::string& m, const std::string& operands) {
  if (m == "rts" || m == "rte") return 4;                                      // I = 2, N = 2
  if (m == "trapa") return 4;                                                  // I = 2, N = 2
  if (m == "mulxu.b" || m == "mulxs.b" || m == "divxu.b" || m == "divxs.b") return 12;
  if (m == "mulxu.w" || m == "mulxs.w" || m == "divxu.w" || m == "divxs.w") return 20;
  if (m == "eepmov.b" || m == "eepmov.w") return 4;
  const bool jump = m == "jmp" || m == "jsr" || m == "bsr" || (m[0] == 'b' && (operands == "%P1" || operands == "%Q2"));
  if (jump) {
    if (operands == "%V1") return m == "jmp" ? 4 : 2;  // @@aa:8: I = 2 (and N = 2 for JMP)
    return 2;  // d:8, @ERn: I = 2; d:16, @aa:24: N = 2
  }
  if (operands.find("+") != std::string::npos || operands.find("@-") != std::string::npos) return 2;
  return 0;
}

// --- the table --------------------------------------------------------------
// Encodings one 16-bit word at a time (pattern letters in h8_isa.h);
// operand templates as h8_disasm.cpp renders them.

h8isa::Tables H8Cpu::Ops::BuildTables() {
  static const h8isa::FormSpec kForms[] = {
      // -- data transfer ----------------------------------------------------
      {{"0Cxx"}, 2, "mov.b", "%b2,%b3", &RR<1, Bin::kMov>},
      {{"0Dxx"}, 2, "mov.w", "%w2,%w3", &RR<2, Bin::kMov>},
      {{"0FRr"}, 2, "mov.l", "%l2,%l3", &RR<4, Bin::kMov>},
      {{"Fxxx"}, 2, "mov.b", "%I1,%b1", &ImmB<Bin::kMov>},
      {{"790x"}, 4, "mov.w", "%J2,%w3", &ImmW<Bin::kMov>},
      {{"7A0r"}, 6, "mov.l", "%K2,%l3", &ImmL<Bin::kMov>},

      {{"68rx"}, 2, "mov.b", "@%l2,%b3", &Load<1, Ea::kInd>},
      {{"68Rx"}, 2, "mov.b", "%b3,@%l2", &Store<1, Ea::kInd>},
      {{"69rx"}, 2, "mov.w", "@%l2,%w3", &Load<2, Ea::kInd>},
      {{"69Rx"}, 2, "mov.w", "%w3,@%l2", &Store<2, Ea::kInd>},
      {{"0100", "69rr"}, 4, "mov.l", "@%l6,%l7", &Load<4, Ea::kInd>},
      {{"0100", "69Rr"}, 4, "mov.l", "%l7,@%l6", &Store<4, Ea::kInd>},

      {{"6Crx"}, 2, "mov.b", "@%l2+,%b3", &Load<1, Ea::kPostInc>},
      {{"6CRx"}, 2, "mov.b", "%b3,@-%l2", &Store<1, Ea::kPreDec>},
      {{"6Drx"}, 2, "mov.w", "@%l2+,%w3", &Load<2, Ea::kPostInc>},
      {{"6DRx"}, 2, "mov.w", "%w3,@-%l2", &Store<2, Ea::kPreDec>},
      {{"0100", "6Drr"}, 4, "mov.l", "@%l6+,%l7", &Load<4, Ea::kPostInc>},
      {{"0100", "6DRr"}, 4, "mov.l", "%l7,@-%l6", &Store<4, Ea::kPreDec>},

      {{"6Erx"}, 4, "mov.b", "%D22,%b3", &Load<1, Ea::kD16>},
      {{"6ERx"}, 4, "mov.b", "%b3,%D22", &Store<1, Ea::kD16>},
      {{"6Frx"}, 4, "mov.w", "%D22,%w3", &Load<2, Ea::kD16>},
      {{"6FRx"}, 4, "mov.w", "%w3,%D22", &Store<2, Ea::kD16>},
      {{"0100", "6Frr"}, 6, "mov.l", "%D46,%l7", &Load<4, Ea::kD16>},
      {{"0100", "6FRr"}, 6, "mov.l", "%l7,%D46", &Store<4, Ea::kD16>},

      {{"78r0", "6A2x"}, 8, "mov.b", "%E52,%b7", &Load<1, Ea::kD24>},
      {{"78r0", "6AAx"}, 8, "mov.b", "%b7,%E52", &Store<1, Ea::kD24>},
      {{"78r0", "6B2x"}, 8, "mov.w", "%E52,%w7", &Load<2, Ea::kD24>},
      {{"78r0", "6BAx"}, 8, "mov.w", "%w7,%E52", &Store<2, Ea::kD24>},
      // The assembler sets the top bit of the register field in the store
      // form of MOV.L @(d:24,ERd); the load form has it clear.
      {{"0100", "78r0", "6B2r"}, 10, "mov.l", "%E76,%lB", &Load<4, Ea::kD24>},
      {{"0100", "78R0", "6BAr"}, 10, "mov.l", "%lB,%E76", &Store<4, Ea::kD24>},

      {{"2xxx"}, 2, "mov.b", "%A1,%b1", [](H8Cpu& c, std::uint32_t op) {
        const std::uint32_t v = c.Read8(0xFFFF00 | (op & 0xFF));
        SetNZV0<1>(c, v);
        c.SetRegB((op >> 8) & 0xF, v);
      }},
      {{"3xxx"}, 2, "mov.b", "%b1,%A1", [](H8Cpu& c, std::uint32_t op) {
        const std::uint32_t v = c.RegB((op >> 8) & 0xF);
        SetNZV0<1>(c, v);
        c.Write8(0xFFFF00 | (op & 0xFF), static_cast<std::uint8_t>(v));
      }},
      {{"6A0x"}, 4, "mov.b", "%B2,%b3", &Load<1, Ea::kAbs16>},
      {{"6A8x"}, 4, "mov.b", "%b3,%B2", &Store<1, Ea::kAbs16>},
      {{"6B0x"}, 4, "mov.w", "%B2,%w3", &Load<2, Ea::kAbs16>},
      {{"6B8x"}, 4, "mov.w", "%w3,%B2", &Store<2, Ea::kAbs16>},
      {{"0100", "6B0r"}, 6, "mov.l", "%B4,%l7", &Load<4, Ea::kAbs16>},
      {{"0100", "6B8r"}, 6, "mov.l", "%l7,%B4", &Store<4, Ea::kAbs16>},
      {{"6A2x"}, 6, "mov.b", "%C3,%b3", &Load<1, Ea::kAbs24>},
      {{"6AAx"}, 6, "mov.b", "%b3,%C3", &Store<1, Ea::kAbs24>},
      {{"6B2x"}, 6, "mov.w", "%C3,%w3", &Load<2, Ea::kAbs24>},
      {{"6BAx"}, 6, "mov.w", "%w3,%C3", &Store<2, Ea::kAbs24>},
      {{"0100", "6B2r"}, 8, "mov.l", "%C5,%l7", &Load<4, Ea::kAbs24>},
      {{"0100", "6BAr"}, 8, "mov.l", "%l7,%C5", &Store<4, Ea::kAbs24>},
      // E-clock synchronous moves; timing is not modelled, so plain moves.
      {{"6A4x"}, 4, "movfpe", "%B2,%b3", &Load<1, Ea::kAbs16>},
      {{"6ACx"}, 4, "movtpe", "%b3,%B2", &Store<1, Ea::kAbs16>},
      {{"7B5C", "598F"}, 4, "eepmov.b", "", &Eepmov},
      {{"7BD4", "598F"}, 4, "eepmov.w", "", &Eepmov},

      // -- arithmetic -------------------------------------------------------
      {{"08xx"}, 2, "add.b", "%b2,%b3", &RR<1, Bin::kAdd>},
      {{"09xx"}, 2, "add.w", "%w2,%w3", &RR<2, Bin::kAdd>},
      {{"0ARr"}, 2, "add.l", "%l2,%l3", &RR<4, Bin::kAdd>},
      {{"8xxx"}, 2, "add.b", "%I1,%b1", &ImmB<Bin::kAdd>},
      {{"791x"}, 4, "add.w", "%J2,%w3", &ImmW<Bin::kAdd>},
      {{"7A1r"}, 6, "add.l", "%K2,%l3", &ImmL<Bin::kAdd>},
      {{"0Exx"}, 2, "addx", "%b2,%b3", &RR<1, Bin::kAddx>},
      {{"9xxx"}, 2, "addx", "%I1,%b1", &ImmB<Bin::kAddx>},
      {{"0B0r"}, 2, "adds", "#1,%l3", &Unary<4, Un::kAdds1>},
      {{"0B8r"}, 2, "adds", "#2,%l3", &Unary<4, Un::kAdds2>},
      {{"0B9r"}, 2, "adds", "#4,%l3", &Unary<4, Un::kAdds4>},
      {{"0A0x"}, 2, "inc.b", "%b3", &Unary<1, Un::kInc1>},
      {{"0B5x"}, 2, "inc.w", "#1,%w3", &Unary<2, Un::kInc1>},
      {{"0BDx"}, 2, "inc.w", "#2,%w3", &Unary<2, Un::kInc2>},
      {{"0B7r"}, 2, "inc.l", "#1,%l3", &Unary<4, Un::kInc1>},
      {{"0BFr"}, 2, "inc.l", "#2,%l3", &Unary<4, Un::kInc2>},
      {{"0F0x"}, 2, "daa", "%b3", &Daa},

      {{"18xx"}, 2, "sub.b", "%b2,%b3", &RR<1, Bin::kSub>},
      {{"19xx"}, 2, "sub.w", "%w2,%w3", &RR<2, Bin::kSub>},
      {{"1ARr"}, 2, "sub.l", "%l2,%l3", &RR<4, Bin::kSub>},
      {{"793x"}, 4, "sub.w", "%J2,%w3", &ImmW<Bin::kSub>},
      {{"7A3r"}, 6, "sub.l", "%K2,%l3", &ImmL<Bin::kSub>},
      {{"1Exx"}, 2, "subx", "%b2,%b3", &RR<1, Bin::kSubx>},
      {{"Bxxx"}, 2, "subx", "%I1,%b1", &ImmB<Bin::kSubx>},
      {{"1B0r"}, 2, "subs", "#1,%l3", &Unary<4, Un::kSubs1>},
      {{"1B8r"}, 2, "subs", "#2,%l3", &Unary<4, Un::kSubs2>},
      {{"1B9r"}, 2, "subs", "#4,%l3", &Unary<4, Un::kSubs4>},
      {{"1A0x"}, 2, "dec.b", "%b3", &Unary<1, Un::kDec1>},
      {{"1B5x"}, 2, "dec.w", "#1,%w3", &Unary<2, Un::kDec1>},
      {{"1BDx"}, 2, "dec.w", "#2,%w3", &Unary<2, Un::kDec2>},
      {{"1B7r"}, 2, "dec.l", "#1,%l3", &Unary<4, Un::kDec1>},
      {{"1BFr"}, 2, "dec.l", "#2,%l3", &Unary<4, Un::kDec2>},
      {{"1F0x"}, 2, "das", "%b3", &Das},

      {{"1Cxx"}, 2, "cmp.b", "%b2,%b3", &RR<1, Bin::kCmp>},
      {{"1Dxx"}, 2, "cmp.w", "%w2,%w3", &RR<2, Bin::kCmp>},
      {{"1FRr"}, 2, "cmp.l", "%l2,%l3", &RR<4, Bin::kCmp>},
      {{"Axxx"}, 2, "cmp.b", "%I1,%b1", &ImmB<Bin::kCmp>},
      {{"792x"}, 4, "cmp.w", "%J2,%w3", &ImmW<Bin::kCmp>},
      {{"7A2r"}, 6, "cmp.l", "%K2,%l3", &ImmL<Bin::kCmp>},

      {{"178x"}, 2, "neg.b", "%b3", &Unary<1, Un::kNeg>},
      {{"179x"}, 2, "neg.w", "%w3", &Unary<2, Un::kNeg>},
      {{"17Br"}, 2, "neg.l", "%l3", &Unary<4, Un::kNeg>},
      {{"175x"}, 2, "extu.w", "%w3", &Unary<2, Un::kExtu>},
      {{"177r"}, 2, "extu.l", "%l3", &Unary<4, Un::kExtu>},
      {{"17Dx"}, 2, "exts.w", "%w3", &Unary<2, Un::kExts>},
      {{"17Fr"}, 2, "exts.l", "%l3", &Unary<4, Un::kExts>},

      {{"50xx"}, 2, "mulxu.b", "%b2,%w3", &MulxuB},
      {{"52xr"}, 2, "mulxu.w", "%w2,%l3", &MulxuW},
      {{"01C0", "50xx"}, 4, "mulxs.b", "%b6,%w7", &MulxsB},
      {{"01C0", "52xr"}, 4, "mulxs.w", "%w6,%l7", &MulxsW},
      {{"51xx"}, 2, "divxu.b", "%b2,%w3", &DivxuB},
      {{"53xr"}, 2, "divxu.w", "%w2,%l3", &DivxuW},
      {{"01D0", "51xx"}, 4, "divxs.b", "%b6,%w7", &DivxsB},
      {{"01D0", "53xr"}, 4, "divxs.w", "%w6,%l7", &DivxsW},

      // -- logic --------------------------------------------------------------
      {{"16xx"}, 2, "and.b", "%b2,%b3", &RR<1, Bin::kAnd>},
      {{"66xx"}, 2, "and.w", "%w2,%w3", &RR<2, Bin::kAnd>},
      {{"01F0", "66rr"}, 4, "and.l", "%l6,%l7", &RR<4, Bin::kAnd>},
      {{"Exxx"}, 2, "and.b", "%I1,%b1", &ImmB<Bin::kAnd>},
      {{"796x"}, 4, "and.w", "%J2,%w3", &ImmW<Bin::kAnd>},
      {{"7A6r"}, 6, "and.l", "%K2,%l3", &ImmL<Bin::kAnd>},
      {{"14xx"}, 2, "or.b", "%b2,%b3", &RR<1, Bin::kOr>},
      {{"64xx"}, 2, "or.w", "%w2,%w3", &RR<2, Bin::kOr>},
      {{"01F0", "64rr"}, 4, "or.l", "%l6,%l7", &RR<4, Bin::kOr>},
      {{"Cxxx"}, 2, "or.b", "%I1,%b1", &ImmB<Bin::kOr>},
      {{"794x"}, 4, "or.w", "%J2,%w3", &ImmW<Bin::kOr>},
      {{"7A4r"}, 6, "or.l", "%K2,%l3", &ImmL<Bin::kOr>},
      {{"15xx"}, 2, "xor.b", "%b2,%b3", &RR<1, Bin::kXor>},
      {{"65xx"}, 2, "xor.w", "%w2,%w3", &RR<2, Bin::kXor>},
      {{"01F0", "65rr"}, 4, "xor.l", "%l6,%l7", &RR<4, Bin::kXor>},
      {{"Dxxx"}, 2, "xor.b", "%I1,%b1", &ImmB<Bin::kXor>},
      {{"795x"}, 4, "xor.w", "%J2,%w3", &ImmW<Bin::kXor>},
      {{"7A5r"}, 6, "xor.l", "%K2,%l3", &ImmL<Bin::kXor>},
      {{"170x"}, 2, "not.b", "%b3", &Unary<1, Un::kNot>},
      {{"171x"}, 2, "not.w", "%w3", &Unary<2, Un::kNot>},
      {{"173r"}, 2, "not.l", "%l3", &Unary<4, Un::kNot>},

      // -- shifts and rotates -------------------------------------------------
      {{"100x"}, 2, "shll.b", "%b3", &Unary<1, Un::kShll>},
      {{"101x"}, 2, "shll.w", "%w3", &Unary<2, Un::kShll>},
      {{"103r"}, 2, "shll.l", "%l3", &Unary<4, Un::kShll>},
      {{"108x"}, 2, "shal.b", "%b3", &Unary<1, Un::kShal>},
      {{"109x"}, 2, "shal.w", "%w3", &Unary<2, Un::kShal>},
      {{"10Br"}, 2, "shal.l", "%l3", &Unary<4, Un::kShal>},
      {{"110x"}, 2, "shlr.b", "%b3", &Unary<1, Un::kShlr>},
      {{"111x"}, 2, "shlr.w", "%w3", &Unary<2, Un::kShlr>},
      {{"113r"}, 2, "shlr.l", "%l3", &Unary<4, Un::kShlr>},
      {{"118x"}, 2, "shar.b", "%b3", &Unary<1, Un::kShar>},
      {{"119x"}, 2, "shar.w", "%w3", &Unary<2, Un::kShar>},
      {{"11Br"}, 2, "shar.l", "%l3", &Unary<4, Un::kShar>},
      {{"120x"}, 2, "rotxl.b", "%b3", &Unary<1, Un::kRotxl>},
      {{"121x"}, 2, "rotxl.w", "%w3", &Unary<2, Un::kRotxl>},
      {{"123r"}, 2, "rotxl.l", "%l3", &Unary<4, Un::kRotxl>},
      {{"128x"}, 2, "rotl.b", "%b3", &Unary<1, Un::kRotl>},
      {{"129x"}, 2, "rotl.w", "%w3", &Unary<2, Un::kRotl>},
      {{"12Br"}, 2, "rotl.l", "%l3", &Unary<4, Un::kRotl>},
      {{"130x"}, 2, "rotxr.b", "%b3", &Unary<1, Un::kRotxr>},
      {{"131x"}, 2, "rotxr.w", "%w3", &Unary<2, Un::kRotxr>},
      {{"133r"}, 2, "rotxr.l", "%l3", &Unary<4, Un::kRotxr>},
      {{"138x"}, 2, "rotr.b", "%b3", &Unary<1, Un::kRotr>},
      {{"139x"}, 2, "rotr.w", "%w3", &Unary<2, Un::kRotr>},
      {{"13Br"}, 2, "rotr.l", "%l3", &Unary<4, Un::kRotr>},

      // -- bit manipulation ---------------------------------------------------
      {{"70rx"}, 2, "bset", "%k2,%b3", &BitReg<Bit::kSet, false>},
      {{"60xx"}, 2, "bset", "%b2,%b3", &BitReg<Bit::kSet, true>},
      {{"71rx"}, 2, "bnot", "%k2,%b3", &BitReg<Bit::kNot, false>},
      {{"61xx"}, 2, "bnot", "%b2,%b3", &BitReg<Bit::kNot, true>},
      {{"72rx"}, 2, "bclr", "%k2,%b3", &BitReg<Bit::kClr, false>},
      {{"62xx"}, 2, "bclr", "%b2,%b3", &BitReg<Bit::kClr, true>},
      {{"73rx"}, 2, "btst", "%k2,%b3", &BitReg<Bit::kTst, false>},
      {{"63xx"}, 2, "btst", "%b2,%b3", &BitReg<Bit::kTst, true>},
      {{"74rx"}, 2, "bor", "%k2,%b3", &BitReg<Bit::kOr, false>},
      {{"74Rx"}, 2, "bior", "%k2,%b3", &BitReg<Bit::kIor, false>},
      {{"75rx"}, 2, "bxor", "%k2,%b3", &BitReg<Bit::kXor, false>},
      {{"75Rx"}, 2, "bixor", "%k2,%b3", &BitReg<Bit::kIxor, false>},
      {{"76rx"}, 2, "band", "%k2,%b3", &BitReg<Bit::kAnd, false>},
      {{"76Rx"}, 2, "biand", "%k2,%b3", &BitReg<Bit::kIand, false>},
      {{"77rx"}, 2, "bld", "%k2,%b3", &BitReg<Bit::kLd, false>},
      {{"77Rx"}, 2, "bild", "%k2,%b3", &BitReg<Bit::kIld, false>},
      {{"67rx"}, 2, "bst", "%k2,%b3", &BitReg<Bit::kSt, false>},
      {{"67Rx"}, 2, "bist", "%k2,%b3", &BitReg<Bit::kIst, false>},

      {{"7Cr0", "63x0"}, 4, "btst", "%b6,@%l2", &BitMem<Bit::kTst, true, false>},
      {{"7Cr0", "73r0"}, 4, "btst", "%k6,@%l2", &BitMem<Bit::kTst, false, false>},
      {{"7Cr0", "74r0"}, 4, "bor", "%k6,@%l2", &BitMem<Bit::kOr, false, false>},
      {{"7Cr0", "74R0"}, 4, "bior", "%k6,@%l2", &BitMem<Bit::kIor, false, false>},
      {{"7Cr0", "75r0"}, 4, "bxor", "%k6,@%l2", &BitMem<Bit::kXor, false, false>},
      {{"7Cr0", "75R0"}, 4, "bixor", "%k6,@%l2", &BitMem<Bit::kIxor, false, false>},
      {{"7Cr0", "76r0"}, 4, "band", "%k6,@%l2", &BitMem<Bit::kAnd, false, false>},
      {{"7Cr0", "76R0"}, 4, "biand", "%k6,@%l2", &BitMem<Bit::kIand, false, false>},
      {{"7Cr0", "77r0"}, 4, "bld", "%k6,@%l2", &BitMem<Bit::kLd, false, false>},
      {{"7Cr0", "77R0"}, 4, "bild", "%k6,@%l2", &BitMem<Bit::kIld, false, false>},
      {{"7Dr0", "60x0"}, 4, "bset", "%b6,@%l2", &BitMem<Bit::kSet, true, false>},
      {{"7Dr0", "70r0"}, 4, "bset", "%k6,@%l2", &BitMem<Bit::kSet, false, false>},
      {{"7Dr0", "61x0"}, 4, "bnot", "%b6,@%l2", &BitMem<Bit::kNot, true, false>},
      {{"7Dr0", "71r0"}, 4, "bnot", "%k6,@%l2", &BitMem<Bit::kNot, false, false>},
      {{"7Dr0", "62x0"}, 4, "bclr", "%b6,@%l2", &BitMem<Bit::kClr, true, false>},
      {{"7Dr0", "72r0"}, 4, "bclr", "%k6,@%l2", &BitMem<Bit::kClr, false, false>},
      {{"7Dr0", "67r0"}, 4, "bst", "%k6,@%l2", &BitMem<Bit::kSt, false, false>},
      {{"7Dr0", "67R0"}, 4, "bist", "%k6,@%l2", &BitMem<Bit::kIst, false, false>},

      {{"7Exx", "63x0"}, 4, "btst", "%b6,%A1", &BitMem<Bit::kTst, true, true>},
      {{"7Exx", "73r0"}, 4, "btst", "%k6,%A1", &BitMem<Bit::kTst, false, true>},
      {{"7Exx", "74r0"}, 4, "bor", "%k6,%A1", &BitMem<Bit::kOr, false, true>},
      {{"7Exx", "74R0"}, 4, "bior", "%k6,%A1", &BitMem<Bit::kIor, false, true>},
      {{"7Exx", "75r0"}, 4, "bxor", "%k6,%A1", &BitMem<Bit::kXor, false, true>},
      {{"7Exx", "75R0"}, 4, "bixor", "%k6,%A1", &BitMem<Bit::kIxor, false, true>},
      {{"7Exx", "76r0"}, 4, "band", "%k6,%A1", &BitMem<Bit::kAnd, false, true>},
      {{"7Exx", "76R0"}, 4, "biand", "%k6,%A1", &BitMem<Bit::kIand, false, true>},
      {{"7Exx", "77r0"}, 4, "bld", "%k6,%A1", &BitMem<Bit::kLd, false, true>},
      {{"7Exx", "77R0"}, 4, "bild", "%k6,%A1", &BitMem<Bit::kIld, false, true>},
      {{"7Fxx", "60x0"}, 4, "bset", "%b6,%A1", &BitMem<Bit::kSet, true, true>},
      {{"7Fxx", "70r0"}, 4, "bset", "%k6,%A1", &BitMem<Bit::kSet, false, true>},
      {{"7Fxx", "61x0"}, 4, "bnot", "%b6,%A1", &BitMem<Bit::kNot, true, true>},
      {{"7Fxx", "71r0"}, 4, "bnot", "%k6,%A1", &BitMem<Bit::kNot, false, true>},
      {{"7Fxx", "62x0"}, 4, "bclr", "%b6,%A1", &BitMem<Bit::kClr, true, true>},
      {{"7Fxx", "72r0"}, 4, "bclr", "%k6,%A1", &BitMem<Bit::kClr, false, true>},
      {{"7Fxx", "67r0"}, 4, "bst", "%k6,%A1", &BitMem<Bit::kSt, false, true>},
      {{"7Fxx", "67R0"}, 4, "bist", "%k6,%A1", &BitMem<Bit::kIst, false, true>},

      // -- branches -----------------------------------------------------------
      {{"40xx"}, 2, "bra", "%P1", &Bcc8},
      {{"41xx"}, 2, "brn", "%P1", &Bcc8},
      {{"42xx"}, 2, "bhi", "%P1", &Bcc8},
      {{"43xx"}, 2, "bls", "%P1", &Bcc8},
      {{"44xx"}, 2, "bcc", "%P1", &Bcc8},
      {{"45xx"}, 2, "bcs", "%P1", &Bcc8},
      {{"46xx"}, 2, "bne", "%P1", &Bcc8},
      {{"47xx"}, 2, "beq", "%P1", &Bcc8},
      {{"48xx"}, 2, "bvc", "%P1", &Bcc8},
      {{"49xx"}, 2, "bvs", "%P1", &Bcc8},
      {{"4Axx"}, 2, "bpl", "%P1", &Bcc8},
      {{"4Bxx"}, 2, "bmi", "%P1", &Bcc8},
      {{"4Cxx"}, 2, "bge", "%P1", &Bcc8},
      {{"4Dxx"}, 2, "blt", "%P1", &Bcc8},
      {{"4Exx"}, 2, "bgt", "%P1", &Bcc8},
      {{"4Fxx"}, 2, "ble", "%P1", &Bcc8},
      {{"5800"}, 4, "bra", "%Q2", &Bcc16},
      {{"5810"}, 4, "brn", "%Q2", &Bcc16},
      {{"5820"}, 4, "bhi", "%Q2", &Bcc16},
      {{"5830"}, 4, "bls", "%Q2", &Bcc16},
      {{"5840"}, 4, "bcc", "%Q2", &Bcc16},
      {{"5850"}, 4, "bcs", "%Q2", &Bcc16},
      {{"5860"}, 4, "bne", "%Q2", &Bcc16},
      {{"5870"}, 4, "beq", "%Q2", &Bcc16},
      {{"5880"}, 4, "bvc", "%Q2", &Bcc16},
      {{"5890"}, 4, "bvs", "%Q2", &Bcc16},
      {{"58A0"}, 4, "bpl", "%Q2", &Bcc16},
      {{"58B0"}, 4, "bmi", "%Q2", &Bcc16},
      {{"58C0"}, 4, "bge", "%Q2", &Bcc16},
      {{"58D0"}, 4, "blt", "%Q2", &Bcc16},
      {{"58E0"}, 4, "bgt", "%Q2", &Bcc16},
      {{"58F0"}, 4, "ble", "%Q2", &Bcc16},
      {{"55xx"}, 2, "bsr", "%P1", &Bsr8},
      {{"5C00"}, 4, "bsr", "%Q2", &Bsr16},
      {{"59r0"}, 2, "jmp", "@%l2", [](H8Cpu& c, std::uint32_t op) { c.pc_ = c.er_[(op >> 4) & 7] & 0xFFFFFF; }},
      {{"5Axx"}, 4, "jmp", "%C1", [](H8Cpu& c, std::uint32_t op) { c.pc_ = ((op & 0xFF) << 16) | c.Fetch16(); }},
      {{"5Bxx"}, 2, "jmp", "%V1", [](H8Cpu& c, std::uint32_t op) { c.pc_ = c.Read32(op & 0xFF) & 0xFFFFFF; }},
      {{"5Dr0"}, 2, "jsr", "@%l2", [](H8Cpu& c, std::uint32_t op) {
        const std::uint32_t target = c.er_[(op >> 4) & 7] & 0xFFFFFF;
        Push32(c, c.pc_);
        c.pc_ = target;
      }},
      {{"5Exx"}, 4, "jsr", "%C1", [](H8Cpu& c, std::uint32_t op) {
        const std::uint32_t target = ((op & 0xFF) << 16) | c.Fetch16();
        Push32(c, c.pc_);
        c.pc_ = target;
      }},
      {{"5Fxx"}, 2, "jsr", "%V1", [](H8Cpu& c, std::uint32_t op) {
        const std::uint32_t target = c.Read32(op & 0xFF) & 0xFFFFFF;
        Push32(c, c.pc_);
        c.pc_ = target;
      }},
      {{"5470"}, 2, "rts", "", [](H8Cpu& c, std::uint32_t) { c.pc_ = Pop32(c) & 0xFFFFFF; }},
      {{"5670"}, 2, "rte", "", [](H8Cpu& c, std::uint32_t) {
        const std::uint32_t frame = Pop32(c);
        c.ccr_ = static_cast<std::uint8_t>(frame >> 24);
        c.pc_ = frame & 0xFFFFFF;
      }},
      {{"57q0"}, 2, "trapa", "%k2", [](H8Cpu& c, std::uint32_t op) { c.TakeException(8 + ((op >> 4) & 3)); }},

      // -- system control -----------------------------------------------------
      {{"0000"}, 2, "nop", "", [](H8Cpu&, std::uint32_t) {}},
      {{"0180"}, 2, "sleep", "", [](H8Cpu& c, std::uint32_t) { c.stopped_ = true; c.sleeping_ = true; }},
      {{"020x"}, 2, "stc", "ccr,%b3", [](H8Cpu& c, std::uint32_t op) { c.SetRegB(op & 0xF, c.ccr_); }},
      {{"030x"}, 2, "ldc", "%b3,ccr", [](H8Cpu& c, std::uint32_t op) {
        c.ccr_ = static_cast<std::uint8_t>(c.RegB(op & 0xF));
      }},
      {{"07xx"}, 2, "ldc", "%I1,ccr", [](H8Cpu& c, std::uint32_t op) { c.ccr_ = static_cast<std::uint8_t>(op); }},
      {{"06xx"}, 2, "andc", "%I1,ccr", [](H8Cpu& c, std::uint32_t op) { c.ccr_ &= static_cast<std::uint8_t>(op); }},
      {{"04xx"}, 2, "orc", "%I1,ccr", [](H8Cpu& c, std::uint32_t op) { c.ccr_ |= static_cast<std::uint8_t>(op); }},
      {{"05xx"}, 2, "xorc", "%I1,ccr", [](H8Cpu& c, std::uint32_t op) { c.ccr_ ^= static_cast<std::uint8_t>(op); }},
      {{"0140", "69r0"}, 4, "ldc", "@%l6,ccr", &LdcMem<Ea::kInd>},
      {{"0140", "69R0"}, 4, "stc", "ccr,@%l6", &StcMem<Ea::kInd>},
      {{"0140", "6Dr0"}, 4, "ldc", "@%l6+,ccr", &LdcMem<Ea::kPostInc>},
      {{"0140", "6DR0"}, 4, "stc", "ccr,@-%l6", &StcMem<Ea::kPreDec>},
      {{"0140", "6Fr0"}, 6, "ldc", "%D46,ccr", &LdcMem<Ea::kD16>},
      {{"0140", "6FR0"}, 6, "stc", "ccr,%D46", &StcMem<Ea::kD16>},
      {{"0140", "78r0", "6B20"}, 10, "ldc", "%E76,ccr", &LdcMem<Ea::kD24>},
      {{"0140", "78r0", "6BA0"}, 10, "stc", "ccr,%E76", &StcMem<Ea::kD24>},
      {{"0140", "6B00"}, 6, "ldc", "%B4,ccr", &LdcMem<Ea::kAbs16>},
      {{"0140", "6B80"}, 6, "stc", "ccr,%B4", &StcMem<Ea::kAbs16>},
      {{"0140", "6B20"}, 8, "ldc", "%C5,ccr", &LdcMem<Ea::kAbs24>},
      {{"0140", "6BA0"}, 8, "stc", "ccr,%C5", &StcMem<Ea::kAbs24>},
  };
  h8isa::Tables tables = h8isa::BuildDecodeTree(kForms, sizeof kForms / sizeof kForms[0], &Unknown);
  for (h8isa::Form& form : tables.forms) form.extraStates = ExtraStates(form.mnemonic, form.operands);
  return tables;
}

const h8isa::Tables& h8isa::GetTables() {
  static const Tables tables = H8Cpu::Ops::BuildTables();
  return tables;
}
