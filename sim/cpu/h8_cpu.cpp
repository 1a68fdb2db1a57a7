// The H8/300H core: state, memory access with the optional windows, the
// fetch-decode-execute loop and exceptions. The instructions themselves,
// with the decode table that names them, are in h8_instructions.cpp.
#include "h8_cpu.h"

#include <cstdio>

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

unsigned H8Memory::ExtraStates(std::uint32_t, unsigned) { return 0; }

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
// h8_cpu.h).

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
  states_ += form->extraStates;
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
