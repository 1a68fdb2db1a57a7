// The CPU core running the real write-control program image at H'FF300,
// with a minimal stand-in for the chip around it: SCI1 as a queue of input
// characters and a transmit log, flash that only ever clears bits when a
// program pulse ends, and logs of FLMCR and EBR1/EBR2 writes stamped with
// the instruction count. The board tests (board_program_test) cover the
// records end to end; this pins down the program's timing loops as the core
// runs them: the pulse of P + 1 decrement-and-branch passes.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cpu_test_support.h"
#include "write_control_program.h"

namespace {

class ChipStandIn : public H8Memory {
 public:
  explicit ChipStandIn(std::string input) : ram_(1u << 24), flash_(0x20000, 0xFF), input_(std::move(input)) {}

  std::uint8_t Read8(std::uint32_t a) override {
    switch (a) {
      case 0xFFFFBC:  // SSR: TDRE always; RDRF while input is waiting
        return static_cast<std::uint8_t>(0x80 | (next_ < input_.size() ? 0x40 : 0));
      case 0xFFFFBD:
        return next_ < input_.size() ? static_cast<std::uint8_t>(input_[next_]) : 0;
      default:
        break;
    }
    if (a < flash_.size()) return flash_[a];
    return ram_[a];
  }

  void Write8(std::uint32_t a, std::uint8_t v) override {
    const std::uint64_t now = cpu_->InstructionCount();
    switch (a) {
      case 0xFFFFBB: output_ += static_cast<char>(v); return;
      case 0xFFFFBC:
        if ((v & 0x40) == 0 && next_ < input_.size()) ++next_;  // RDRF cleared: next character
        return;
      case 0xFFFF40:
        if ((flmcr_ & 0x01) != 0 && (v & 0x01) == 0) {  // end of a program pulse
          for (const auto& [address, data] : latched_) flash_[address] &= data;
        }
        flmcr_ = v;
        flmcr_log_.push_back({now, v});
        return;
      case 0xFFFF42:
      case 0xFFFF43:
        ebr_log_.push_back({a == 0xFFFF42 ? 1 : 2, v});
        return;
      default:
        break;
    }
    if (a < flash_.size()) {
      latched_[a] = v;  // the byte to program; the array changes only on a pulse
      return;
    }
    ram_[a] = v;
  }

  H8Cpu* cpu_ = nullptr;
  std::vector<std::uint8_t> ram_, flash_;
  std::string input_;
  std::size_t next_ = 0;
  std::string output_;
  std::uint8_t flmcr_ = 0;
  std::map<std::uint32_t, std::uint8_t> latched_;
  std::vector<std::pair<std::uint64_t, std::uint8_t>> flmcr_log_;
  std::vector<std::pair<int, std::uint8_t>> ebr_log_;  // (1 or 2, value)
};

class WriteControlProgramTest : public ::testing::Test {
 protected:
  void Start(const std::string& input) {
    chip_ = std::make_unique<ChipStandIn>(input);
    for (std::size_t i = 0; i < kWriteControlProgramSize; ++i) {
      chip_->ram_[kWriteControlProgramAddress + i] = kWriteControlProgram[i];
    }
    cpu_ = std::make_unique<H8Cpu>(*chip_);
    chip_->cpu_ = cpu_.get();
    cpu_->Reset(kWriteControlProgramAddress);
  }
  // Runs until the output holds text (or a budget of instructions is used).
  void RunUntilOutput(const std::string& text, std::uint64_t budget = 20000000) {
    while (chip_->output_.find(text) == std::string::npos && cpu_->InstructionCount() < budget) {
      ASSERT_EQ(cpu_->Run(1000), 1000u) << cpu_->Fault();
    }
    ASSERT_NE(chip_->output_.find(text), std::string::npos) << "output so far: " << chip_->output_;
  }
  // Instructions between each FLMCR = H'41 (pulse on) and the next write.
  std::vector<std::uint64_t> PulseLengths() const {
    std::vector<std::uint64_t> lengths;
    const auto& log = chip_->flmcr_log_;
    for (std::size_t i = 0; i + 1 < log.size(); ++i) {
      if (log[i].second == 0x41) lengths.push_back(log[i + 1].first - log[i].first);
    }
    return lengths;
  }

  std::unique_ptr<ChipStandIn> chip_;
  std::unique_ptr<H8Cpu> cpu_;
};

// A pulse of P + 1 passes of "dec.w #1,e5 / bpl" is 2 (P + 1) instructions,
// plus the MOV.B that ends it.
std::uint64_t PulseInstructions(std::uint64_t passes) { return 2 * passes + 1; }

TEST_F(WriteControlProgramTest, PulsesDoubleFrom41To1281PassesThenTheProgramFails) {
  Start("S1040200017A");
  chip_->flash_[0x200] = 0x00;  // already programmed: bit 0 can never come back
  RunUntilOutput("[FAIL]\r\n[FAIL]\r\n");
  EXPECT_EQ(chip_->output_.substr(0, 17), "[START]\r\n[FAIL]\r\n") << "no reply byte for the record";
  const std::vector<std::uint64_t> expected = {PulseInstructions(41),  PulseInstructions(81),
                                               PulseInstructions(161), PulseInstructions(321),
                                               PulseInstructions(641), PulseInstructions(1281)};
  EXPECT_EQ(PulseLengths(), expected);
  EXPECT_EQ(chip_->flmcr_, 0x00);
  ASSERT_GE(chip_->ebr_log_.size(), 3u);
  EXPECT_EQ(chip_->ebr_log_[0], std::make_pair(1, std::uint8_t{0x01}));
  EXPECT_EQ(chip_->ebr_log_[1], std::make_pair(1, std::uint8_t{0x00}));
  EXPECT_EQ(chip_->ebr_log_[2], std::make_pair(2, std::uint8_t{0x00}));
}

}  // namespace
