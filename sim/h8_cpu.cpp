// The H8/300H core: state, memory access with the optional windows, the
// fetch-decode-execute loop and the instruction handlers. The decode table
// that maps encodings onto the handlers is in h8_cpu_forms.cpp.
#include "h8_cpu.h"

#include <cstdio>

#include "h8_cpu_ops.h"
#include "h8_isa.h"

// ---------------------------------------------------------------------------
// H8Memory defaults: big-endian words and longs made of byte accesses.

std::uint16_t H8Memory::Read16(std::uint32_t address) {
  const std::uint32_t hi = Read8(address);
  return static_cast<std::uint16_t>((hi << 8) | Read8((address + 1) & 0xFFFFFF));
}

void H8Memory::Write16(std::uint32_t address, std::uint16_t value) {
  Write8(address, static_cast<std::uint8_t>(value >> 8));
  Write8((address + 1) & 0xFFFFFF, static_cast<std::uint8_t>(value));
}

std::uint32_t H8Memory::Read32(std::uint32_t address) {
  const std::uint32_t hi = Read16(address);
  return (hi << 16) | Read16((address + 2) & 0xFFFFFF);
}

void H8Memory::Write32(std::uint32_t address, std::uint32_t value) {
  Write16(address, static_cast<std::uint16_t>(value >> 16));
  Write16((address + 2) & 0xFFFFFF, static_cast<std::uint16_t>(value));
}

bool H8Memory::Window(std::uint32_t, H8Window&) { return false; }

// ---------------------------------------------------------------------------
// Windows.

namespace {

// A window the CPU may use for an access of n bytes at address.
bool Usable(const H8Window& w, std::uint32_t address, std::uint32_t n) {
  return w.data != nullptr && w.size >= 4 && address - w.begin <= w.size - n;
}

}  // namespace

void H8Cpu::Window::Set(const H8Window& w) {
  data = w.data;
  begin = w.begin;
  limit1 = w.size;
  limit2 = w.size - 1;
  limit4 = w.size - 3;
  writable = w.writable;
}

void H8Cpu::InvalidateWindows() {
  fetch_.Clear();
  data_.Clear();
}

// ---------------------------------------------------------------------------
// State.

H8Cpu::H8Cpu(H8Memory& memory)
    : memory_(memory),
      forms_(h8isa::GetTables().forms.data()),
      nodes_(h8isa::GetTables().node_pointers.data()) {}

void H8Cpu::Reset(std::uint32_t pc) {
  for (auto& r : er_) r = 0;
  pc_ = pc & 0xFFFFFF;
  insn_pc_ = pc_;
  ccr_ = kCcrI;
  stopped_ = false;
  sleeping_ = false;
  fault_.clear();
  InvalidateWindows();
}

std::uint32_t H8Cpu::Pc() const { return pc_; }
void H8Cpu::SetPc(std::uint32_t pc) { pc_ = pc & 0xFFFFFF; }
std::uint32_t H8Cpu::Er(int n) const { return er_[n & 7]; }
void H8Cpu::SetEr(int n, std::uint32_t value) { er_[n & 7] = value; }
std::uint8_t H8Cpu::Ccr() const { return ccr_; }
void H8Cpu::SetCcr(std::uint8_t ccr) { ccr_ = ccr; }
std::uint64_t H8Cpu::InstructionCount() const { return count_; }
bool H8Cpu::Stopped() const { return stopped_; }
const std::string& H8Cpu::Fault() const { return fault_; }
bool H8Cpu::Sleeping() const { return sleeping_; }

// ---------------------------------------------------------------------------
// Fetch and data access: the slow paths (the fast ones are inline in
// h8_cpu_ops.h).

std::uint16_t H8Cpu::FetchMiss(std::uint32_t address) {
  H8Window w;
  if (memory_.Window(address, w) && Usable(w, address, 2)) {
    fetch_.Set(w);
    const std::uint32_t off = address - fetch_.begin;
    return static_cast<std::uint16_t>((fetch_.data[off] << 8) | fetch_.data[off + 1]);
  }
  return memory_.Read16(address);
}

bool H8Cpu::DataWindow(std::uint32_t address) {
  H8Window w;
  if (memory_.Window(address, w) && Usable(w, address, 1)) {
    data_.Set(w);
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Execution.

inline void H8Cpu::ExecuteOne() {
  insn_pc_ = pc_;
  ++count_;
  std::uint32_t op = Fetch16();
  const h8isa::Form* form = &forms_[nodes_[0][op]];
  while (form->next != 0) {
    const std::uint16_t word = Fetch16();
    op = (op << 16) | word;
    form = &forms_[nodes_[form->next][word]];
  }
  form->exec(*this, op);
}

bool H8Cpu::Step() {
  if (stopped_) return false;
  ExecuteOne();
  return !stopped_;
}

std::uint64_t H8Cpu::Run(std::uint64_t count) {
  const std::uint64_t start = count_;
  const std::uint64_t end = start + count;
  while (!stopped_ && count_ < end) ExecuteOne();
  return count_ - start;
}

void H8Cpu::TakeException(unsigned vector) {
  er_[7] -= 4;
  Write32(er_[7], (std::uint32_t{ccr_} << 24) | pc_);
  ccr_ |= kCcrI;
  pc_ = Read32(vector * 4) & 0xFFFFFF;
  if (sleeping_) {
    sleeping_ = false;
    stopped_ = false;
  }
}

// ---------------------------------------------------------------------------
// The handlers that are not templates.

void H8Cpu::Ops::Unknown(H8Cpu& c, std::uint32_t) {
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

void H8Cpu::Ops::Nop(H8Cpu&, std::uint32_t) {}

void H8Cpu::Ops::Sleep(H8Cpu& c, std::uint32_t) {
  c.stopped_ = true;
  c.sleeping_ = true;
}

void H8Cpu::Ops::Eepmov(H8Cpu& c, std::uint32_t op) {
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

void H8Cpu::Ops::Daa(H8Cpu& c, std::uint32_t op) {
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

void H8Cpu::Ops::Das(H8Cpu& c, std::uint32_t op) {
  const unsigned n = op & 0xF;
  std::uint32_t r = c.RegB(n);
  if ((c.ccr_ & kCcrH) != 0) r += 0xFA;
  if ((c.ccr_ & kCcrC) != 0) r += 0xA0;
  r &= 0xFF;
  c.SetRegB(n, r);
  SetNZ<1>(c, r);
}

void H8Cpu::Ops::MulxuB(H8Cpu& c, std::uint32_t op) {
  const unsigned d = op & 0xF;
  c.SetRegW(d, c.RegB((op >> 4) & 0xF) * (c.RegW(d) & 0xFF));
}

void H8Cpu::Ops::MulxuW(H8Cpu& c, std::uint32_t op) {
  std::uint32_t& d = c.er_[op & 7];
  d = c.RegW((op >> 4) & 0xF) * (d & 0xFFFF);
}

void H8Cpu::Ops::MulxsB(H8Cpu& c, std::uint32_t op) {
  const unsigned d = op & 0xF;
  const std::int32_t r = static_cast<std::int8_t>(c.RegB((op >> 4) & 0xF)) *
                         static_cast<std::int8_t>(c.RegW(d) & 0xFF);
  c.SetRegW(d, static_cast<std::uint32_t>(r));
  SetNZOnly(c, r < 0, r == 0);
}

void H8Cpu::Ops::MulxsW(H8Cpu& c, std::uint32_t op) {
  std::uint32_t& d = c.er_[op & 7];
  const std::int32_t r = static_cast<std::int16_t>(c.RegW((op >> 4) & 0xF)) *
                         static_cast<std::int16_t>(d & 0xFFFF);
  d = static_cast<std::uint32_t>(r);
  SetNZOnly(c, r < 0, r == 0);
}

// Division by zero leaves the dividend register as it was; N and Z tell
// about the divisor, as on the chip.
void H8Cpu::Ops::DivxuB(H8Cpu& c, std::uint32_t op) {
  const unsigned d = op & 0xF;
  const std::uint32_t divisor = c.RegB((op >> 4) & 0xF);
  SetNZOnly(c, (divisor & 0x80) != 0, divisor == 0);
  if (divisor == 0) return;
  const std::uint32_t dividend = c.RegW(d);
  c.SetRegW(d, ((dividend % divisor) << 8) | ((dividend / divisor) & 0xFF));
}

void H8Cpu::Ops::DivxuW(H8Cpu& c, std::uint32_t op) {
  std::uint32_t& d = c.er_[op & 7];
  const std::uint32_t divisor = c.RegW((op >> 4) & 0xF);
  SetNZOnly(c, (divisor & 0x8000) != 0, divisor == 0);
  if (divisor == 0) return;
  d = ((d % divisor) << 16) | ((d / divisor) & 0xFFFF);
}

void H8Cpu::Ops::DivxsB(H8Cpu& c, std::uint32_t op) {
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

void H8Cpu::Ops::DivxsW(H8Cpu& c, std::uint32_t op) {
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

// Bcc: the condition table is indexed by cc * 16 + (CCR & NZVC).
namespace {

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

void H8Cpu::Ops::Bcc8(H8Cpu& c, std::uint32_t op) {
  if (kConditions.taken[((op >> 4) & 0xF0) | (c.ccr_ & 0x0F)]) {
    c.pc_ = (c.pc_ + static_cast<std::uint32_t>(static_cast<std::int8_t>(op & 0xFF))) & 0xFFFFFF;
  }
}

void H8Cpu::Ops::Bcc16(H8Cpu& c, std::uint32_t op) {
  const std::uint32_t disp = static_cast<std::uint32_t>(static_cast<std::int16_t>(c.Fetch16()));
  if (kConditions.taken[(op & 0xF0) | (c.ccr_ & 0x0F)]) c.pc_ = (c.pc_ + disp) & 0xFFFFFF;
}

void H8Cpu::Ops::Bsr8(H8Cpu& c, std::uint32_t op) {
  Push32(c, c.pc_);
  c.pc_ = (c.pc_ + static_cast<std::uint32_t>(static_cast<std::int8_t>(op & 0xFF))) & 0xFFFFFF;
}

void H8Cpu::Ops::Bsr16(H8Cpu& c, std::uint32_t) {
  const std::uint32_t disp = static_cast<std::uint32_t>(static_cast<std::int16_t>(c.Fetch16()));
  Push32(c, c.pc_);
  c.pc_ = (c.pc_ + disp) & 0xFFFFFF;
}

void H8Cpu::Ops::JmpReg(H8Cpu& c, std::uint32_t op) { c.pc_ = c.er_[(op >> 4) & 7] & 0xFFFFFF; }

void H8Cpu::Ops::JmpAbs(H8Cpu& c, std::uint32_t op) {
  c.pc_ = ((op & 0xFF) << 16) | c.Fetch16();
}

void H8Cpu::Ops::JmpInd(H8Cpu& c, std::uint32_t op) { c.pc_ = c.Read32(op & 0xFF) & 0xFFFFFF; }

void H8Cpu::Ops::JsrReg(H8Cpu& c, std::uint32_t op) {
  const std::uint32_t target = c.er_[(op >> 4) & 7] & 0xFFFFFF;
  Push32(c, c.pc_);
  c.pc_ = target;
}

void H8Cpu::Ops::JsrAbs(H8Cpu& c, std::uint32_t op) {
  const std::uint32_t target = ((op & 0xFF) << 16) | c.Fetch16();
  Push32(c, c.pc_);
  c.pc_ = target;
}

void H8Cpu::Ops::JsrInd(H8Cpu& c, std::uint32_t op) {
  const std::uint32_t target = c.Read32(op & 0xFF) & 0xFFFFFF;
  Push32(c, c.pc_);
  c.pc_ = target;
}

void H8Cpu::Ops::Rts(H8Cpu& c, std::uint32_t) { c.pc_ = Pop32(c) & 0xFFFFFF; }

void H8Cpu::Ops::Rte(H8Cpu& c, std::uint32_t) {
  const std::uint32_t frame = Pop32(c);
  c.ccr_ = static_cast<std::uint8_t>(frame >> 24);
  c.pc_ = frame & 0xFFFFFF;
}

void H8Cpu::Ops::Trapa(H8Cpu& c, std::uint32_t op) { c.TakeException(8 + ((op >> 4) & 3)); }

void H8Cpu::Ops::StcReg(H8Cpu& c, std::uint32_t op) { c.SetRegB(op & 0xF, c.ccr_); }
void H8Cpu::Ops::LdcReg(H8Cpu& c, std::uint32_t op) {
  c.ccr_ = static_cast<std::uint8_t>(c.RegB(op & 0xF));
}
void H8Cpu::Ops::LdcImm(H8Cpu& c, std::uint32_t op) { c.ccr_ = static_cast<std::uint8_t>(op); }
void H8Cpu::Ops::Andc(H8Cpu& c, std::uint32_t op) { c.ccr_ &= static_cast<std::uint8_t>(op); }
void H8Cpu::Ops::Orc(H8Cpu& c, std::uint32_t op) { c.ccr_ |= static_cast<std::uint8_t>(op); }
void H8Cpu::Ops::Xorc(H8Cpu& c, std::uint32_t op) { c.ccr_ ^= static_cast<std::uint8_t>(op); }

void H8Cpu::Ops::LoadAbs8(H8Cpu& c, std::uint32_t op) {
  const std::uint32_t v = c.Read8(0xFFFF00 | (op & 0xFF));
  SetNZV0<1>(c, v);
  c.SetRegB((op >> 8) & 0xF, v);
}

void H8Cpu::Ops::StoreAbs8(H8Cpu& c, std::uint32_t op) {
  const std::uint32_t v = c.RegB((op >> 8) & 0xF);
  SetNZV0<1>(c, v);
  c.Write8(0xFFFF00 | (op & 0xFF), static_cast<std::uint8_t>(v));
}
