// The instruction handlers of the H8/300H core, shared by h8_cpu.cpp (the
// core) and h8_cpu_forms.cpp (the decode table that names them), and the
// inline fetch and data access they use. Internal to sim/.
#ifndef KORVEL_SIM_H8_CPU_OPS_H
#define KORVEL_SIM_H8_CPU_OPS_H

#include <cstdint>

#include "h8_cpu.h"

// ---------------------------------------------------------------------------
// Fetch and data access. Every path first tries the cached window, then asks
// the board for one, then falls back to the H8Memory calls.

inline std::uint16_t H8Cpu::Fetch16() {
  const std::uint32_t a = pc_ & 0xFFFFFE;
  pc_ = (a + 2) & 0xFFFFFF;
  const std::uint32_t off = a - fetch_.begin;
  if (off < fetch_.limit2) {
    return static_cast<std::uint16_t>((fetch_.data[off] << 8) | fetch_.data[off + 1]);
  }
  return FetchMiss(a);
}

inline std::uint32_t H8Cpu::Fetch32() {
  const std::uint32_t hi = Fetch16();
  return (hi << 16) | Fetch16();
}

inline std::uint8_t H8Cpu::Read8(std::uint32_t address) {
  const std::uint32_t a = address & 0xFFFFFF;
  std::uint32_t off = a - data_.begin;
  if (off < data_.limit1 || (DataWindow(a) && (off = a - data_.begin) < data_.limit1)) {
    return data_.data[off];
  }
  return memory_.Read8(a);
}

inline std::uint16_t H8Cpu::Read16(std::uint32_t address) {
  const std::uint32_t a = address & 0xFFFFFE;
  std::uint32_t off = a - data_.begin;
  if (off < data_.limit2 || (DataWindow(a) && (off = a - data_.begin) < data_.limit2)) {
    return static_cast<std::uint16_t>((data_.data[off] << 8) | data_.data[off + 1]);
  }
  return memory_.Read16(a);
}

inline std::uint32_t H8Cpu::Read32(std::uint32_t address) {
  const std::uint32_t a = address & 0xFFFFFE;
  std::uint32_t off = a - data_.begin;
  if (off < data_.limit4 || (DataWindow(a) && (off = a - data_.begin) < data_.limit4)) {
    const std::uint8_t* p = data_.data + off;
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
  }
  return memory_.Read32(a);
}

inline void H8Cpu::Write8(std::uint32_t address, std::uint8_t value) {
  const std::uint32_t a = address & 0xFFFFFF;
  std::uint32_t off = a - data_.begin;
  if ((off < data_.limit1 || (DataWindow(a) && (off = a - data_.begin) < data_.limit1)) &&
      data_.writable) {
    data_.data[off] = value;
    return;
  }
  memory_.Write8(a, value);
}

inline void H8Cpu::Write16(std::uint32_t address, std::uint16_t value) {
  const std::uint32_t a = address & 0xFFFFFE;
  std::uint32_t off = a - data_.begin;
  if ((off < data_.limit2 || (DataWindow(a) && (off = a - data_.begin) < data_.limit2)) &&
      data_.writable) {
    data_.data[off] = static_cast<std::uint8_t>(value >> 8);
    data_.data[off + 1] = static_cast<std::uint8_t>(value);
    return;
  }
  memory_.Write16(a, value);
}

inline void H8Cpu::Write32(std::uint32_t address, std::uint32_t value) {
  const std::uint32_t a = address & 0xFFFFFE;
  std::uint32_t off = a - data_.begin;
  if ((off < data_.limit4 || (DataWindow(a) && (off = a - data_.begin) < data_.limit4)) &&
      data_.writable) {
    std::uint8_t* p = data_.data + off;
    p[0] = static_cast<std::uint8_t>(value >> 24);
    p[1] = static_cast<std::uint8_t>(value >> 16);
    p[2] = static_cast<std::uint8_t>(value >> 8);
    p[3] = static_cast<std::uint8_t>(value);
    return;
  }
  memory_.Write32(a, value);
}

// ---------------------------------------------------------------------------
// The handlers. Each runs one instruction with the PC past the words that
// decoded it (see h8isa::Exec).

struct H8Cpu::Ops {
  // Operand sizes.
  template <int S>
  struct Size;

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

  // -- the rest (h8_cpu.cpp) -------------------------------------------------

  static void Unknown(H8Cpu& c, std::uint32_t op);
  static void Nop(H8Cpu& c, std::uint32_t op);
  static void Sleep(H8Cpu& c, std::uint32_t op);
  static void Eepmov(H8Cpu& c, std::uint32_t op);
  static void Daa(H8Cpu& c, std::uint32_t op);
  static void Das(H8Cpu& c, std::uint32_t op);
  static void MulxuB(H8Cpu& c, std::uint32_t op);
  static void MulxuW(H8Cpu& c, std::uint32_t op);
  static void MulxsB(H8Cpu& c, std::uint32_t op);
  static void MulxsW(H8Cpu& c, std::uint32_t op);
  static void DivxuB(H8Cpu& c, std::uint32_t op);
  static void DivxuW(H8Cpu& c, std::uint32_t op);
  static void DivxsB(H8Cpu& c, std::uint32_t op);
  static void DivxsW(H8Cpu& c, std::uint32_t op);
  static void Bcc8(H8Cpu& c, std::uint32_t op);
  static void Bcc16(H8Cpu& c, std::uint32_t op);
  static void Bsr8(H8Cpu& c, std::uint32_t op);
  static void Bsr16(H8Cpu& c, std::uint32_t op);
  static void JmpReg(H8Cpu& c, std::uint32_t op);
  static void JmpAbs(H8Cpu& c, std::uint32_t op);
  static void JmpInd(H8Cpu& c, std::uint32_t op);
  static void JsrReg(H8Cpu& c, std::uint32_t op);
  static void JsrAbs(H8Cpu& c, std::uint32_t op);
  static void JsrInd(H8Cpu& c, std::uint32_t op);
  static void Rts(H8Cpu& c, std::uint32_t op);
  static void Rte(H8Cpu& c, std::uint32_t op);
  static void Trapa(H8Cpu& c, std::uint32_t op);
  static void StcReg(H8Cpu& c, std::uint32_t op);
  static void LdcReg(H8Cpu& c, std::uint32_t op);
  static void LdcImm(H8Cpu& c, std::uint32_t op);
  static void Andc(H8Cpu& c, std::uint32_t op);
  static void Orc(H8Cpu& c, std::uint32_t op);
  static void Xorc(H8Cpu& c, std::uint32_t op);
  static void LoadAbs8(H8Cpu& c, std::uint32_t op);
  static void StoreAbs8(H8Cpu& c, std::uint32_t op);
};

template <>
struct H8Cpu::Ops::Size<1> {
  static constexpr std::uint32_t kMask = 0xFF, kMsb = 0x80, kHalf = 0x0F;
};
template <>
struct H8Cpu::Ops::Size<2> {
  static constexpr std::uint32_t kMask = 0xFFFF, kMsb = 0x8000, kHalf = 0x0FFF;
};
template <>
struct H8Cpu::Ops::Size<4> {
  static constexpr std::uint32_t kMask = 0xFFFFFFFF, kMsb = 0x80000000, kHalf = 0x0FFFFFFF;
};

#endif
