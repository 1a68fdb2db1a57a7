// Prints how many simulated instructions and execution states per second
// the H8/300H core runs on
// two loops: the decrement-and-branch wait loop that the write-control
// program times its programming pulses with, and a mix of calls, stack
// traffic, byte loads, shifts and compares. Each runs on a flat memory once
// with the fetch/data windows and once through Read8/Write8 alone. The
// states per second against a chip's system clock (16 MHz: 16 million
// states/s) say how many times faster than the chip the core runs; the
// states an instruction, the same on every machine, say what was run.
//
//   h8cpu_bench [million instructions per run, default 50]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "h8_cpu.h"

namespace {

class FlatMemory : public H8Memory {
 public:
  explicit FlatMemory(bool windows) : bytes_(1u << 24), windows_(windows) {}
  std::uint8_t Read8(std::uint32_t a) override { return bytes_[a & 0xFFFFFF]; }
  void Write8(std::uint32_t a, std::uint8_t v) override { bytes_[a & 0xFFFFFF] = v; }
  bool Window(std::uint32_t, H8Window& w) override {
    if (!windows_) return false;
    w.data = bytes_.data();
    w.begin = 0;
    w.size = static_cast<std::uint32_t>(bytes_.size());
    w.writable = true;
    return true;
  }
  void Load(std::uint32_t at, const std::vector<std::uint8_t>& code) {
    for (std::size_t i = 0; i < code.size(); ++i) bytes_[at + i] = code[i];
  }

 private:
  std::vector<std::uint8_t> bytes_;
  bool windows_;
};

// L0: mov.w #1280,e5 / L1: dec.w #1,e5 / bpl L1 / bra L0
const std::vector<std::uint8_t> kWaitLoop = {0x79, 0x0D, 0x05, 0x00, 0x1B, 0x5D, 0x4A, 0xFC, 0x40, 0xF6};

// top: mov.l #0x1000,er1 / mov.w #64,r2
// loop: mov.b @er1+,r0l / bsr sub / dec.w #1,r2 / bne loop / bra top
// sub: mov.l er1,@-er7 / shll.b r0l / add.b r0l,r3l / cmp.b #0x40,r3l /
//      bcs 1f / xor.b r3l,r3l / 1: mov.l @er7+,er1 / rts
const std::vector<std::uint8_t> kMixedLoop = {
    0x7A, 0x01, 0x00, 0x00, 0x10, 0x00, 0x79, 0x02, 0x00, 0x40, 0x6C, 0x18, 0x55, 0x06,
    0x1B, 0x52, 0x46, 0xF8, 0x40, 0xEC, 0x01, 0x00, 0x6D, 0xF1, 0x10, 0x08, 0x08, 0x8B,
    0xAB, 0x40, 0x45, 0x02, 0x15, 0xBB, 0x01, 0x00, 0x6D, 0x71, 0x54, 0x70};

struct Speed {
  double instructions;  // per second
  double states;        // per second
  double statesEach;    // states an instruction
};

Speed Measure(const std::vector<std::uint8_t>& code, bool windows, std::uint64_t count) {
  FlatMemory memory(windows);
  memory.Load(0xFF300, code);
  H8Cpu cpu(memory);
  cpu.Reset(0xFF300);
  cpu.SetEr(7, 0xFFF00);
  const auto start = std::chrono::steady_clock::now();
  const std::uint64_t ran = cpu.Run(count);
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  if (ran != count) {
    std::fprintf(stderr, "stopped after %llu instructions: %s\n", static_cast<unsigned long long>(ran),
                 cpu.Fault().c_str());
    std::exit(1);
  }
  const auto states = static_cast<double>(cpu.States());
  return {static_cast<double>(ran) / seconds.count(), states / seconds.count(), states / static_cast<double>(ran)};
}

}  // namespace

int main(int argc, char** argv) {
  char* end = nullptr;
  const std::uint64_t millions = argc > 1 ? std::strtoull(argv[1], &end, 10) : 50;
  if (argc > 2 || millions == 0 || (end != nullptr && *end != '\0')) {
    std::fprintf(stderr, "usage: h8cpu_bench [million instructions per run, from 1; default 50]\n");
    return 2;
  }
  const std::uint64_t count = millions * 1000000;
  struct Case {
    const char* name;
    const std::vector<std::uint8_t>* code;
    bool windows;
  } cases[] = {
      {"wait loop (dec.w/bpl), windows", &kWaitLoop, true},
      {"wait loop (dec.w/bpl), Read8 only", &kWaitLoop, false},
      {"mixed loop (bsr/rts, push/pop, @er+), windows", &kMixedLoop, true},
      {"mixed loop (bsr/rts, push/pop, @er+), Read8 only", &kMixedLoop, false},
  };
  for (const Case& c : cases) {
    const Speed speed = Measure(*c.code, c.windows, count);
    std::printf("%-50s %7.1f million instructions/s, %7.1f million states/s, %.4f states each\n", c.name,
                speed.instructions / 1e6, speed.states / 1e6, speed.statesEach);
  }
  return 0;
}
