#include "fast_mode.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "boot_loader.h"
#include "console.h"
#include "fast_file.h"
#include "fast_load.h"
#include "fast_link.h"
#include "first_stage.h"
#include "fast_protocol.h"
#include "fast_rates.h"
#include "program_file.h"
#include "rs.h"
#include "run_clock.h"
#include "run_settings.h"

using namespace fast_protocol;

namespace {

constexpr int kMaxRetries = 3;
// Program bytes sent before their echoes are read. The boot program echoes
// each byte as it takes it, so it falls behind only where its bit rate is
// below ours, by its rate error a character: under 5% at any crystal where
// it synchronises at 9600 bit/s, so less than one character over a burst,
// and it overruns only when three behind. Behind a USB adapter's latency
// timer this waits out the timer once a burst instead of once a byte.
constexpr std::size_t kLoadBurst = 16;
constexpr unsigned kAnswerMs = 500;       // beyond the chip's own work and the line
constexpr unsigned kQuietMs = 100;
// The chip's work, in CPU states: a byte programmed with every pulse it
// may take (16 + 2,526 + 6 x 13 wait passes of 6 states, and the rest),
// and a byte read back into its CRC.
constexpr double kStatesPerProgrammedByte = 17000;
constexpr double kStatesPerSummedByte = 200;
class Session {
 public:
  Session(int port, FastFigures* figures, int bootBrr, const LadderRate& rung)
      : port_(port), figures_(figures), bootBrr_(bootBrr), hz_(ClockFromBootBrr(bootBrr)), rate_(rung.rate),
        brr_(rung.brr) {}

  bool Run(const FastFile& file);

 private:
  unsigned FrameMs(std::size_t bytes, double chipStates) const {
    return kAnswerMs + static_cast<unsigned>((bytes + kAnswerBytes) * 10000.0 / rate_ + chipStates / hz_ * 1000);
  }
  // One command, sent again (at most kMaxRetries times) while the chip
  // finds it damaged or its answer does not come whole; a kProgrammed must name
  // the address sent. False when every try failed.
  bool Exchange(char cmd, std::uint32_t address, std::uint32_t length, const std::uint8_t* data,
                double chipStates, Answer* answer);
  bool RangeIsBlank(std::uint32_t address, std::uint32_t length, bool* blank);
  bool BlankCheck(const FastFile& file);
  bool Program(const FastFile& file);
  bool ReadBack(const FastFile& file);
  // Ends a line left open ("Blank check...") before a line of its own.
  void EndOpenLine() {
    if (lineOpen_) NewLine();
    lineOpen_ = false;
  }

  int port_;
  FastFigures* figures_;
  bool lineOpen_ = false;
  int bootBrr_;
  double hz_;
  long rate_;
  int brr_;  // the chip's BRR for rate_; -1 for the boot program's own
};

// What an exchange is about, for the retry lines: "block at H'00100" (a
// write), else "read of H'00000-H'00003" (a sum: blank check, read-back).
std::string ExchangeName(char cmd, std::uint32_t address, std::uint32_t length) {
  char text[64];
  if (cmd == kWrite)
    std::snprintf(text, sizeof text, "block at H'%05lX", static_cast<unsigned long>(address));
  else
    std::snprintf(text, sizeof text, "read of H'%05lX-H'%05lX", static_cast<unsigned long>(address),
                  static_cast<unsigned long>(address + length - 1));
  return text;
}

bool Session::Exchange(char cmd, std::uint32_t address, std::uint32_t length, const std::uint8_t* data,
                       double chipStates, Answer* answer) {
  const std::vector<std::uint8_t> frame = CommandFrame(cmd, address, length, data, data ? length : 0);
  for (int attempt = 0; attempt <= kMaxRetries; ++attempt) {
    RsFlush(port_);
    SendFrame(port_, frame);
    *answer = ReadAnswer(port_, FrameMs(frame.size(), chipStates));
    const char* why = "the chip found the frame damaged";
    if (answer->code == kProgrammed && answer->value != address) answer->code = 0;  // a late answer to an earlier frame
    if (answer->code != kBadFrame) {
      if (answer->code != 0) return true;
      why = "no good answer";
      WaitForQuiet(port_, kQuietMs);
    }
    EndOpenLine();
    if (attempt == kMaxRetries) {
      std::string name = ExchangeName(cmd, address, length);
      name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
      Print("%s: %s, %d retries: given up", name.c_str(), why, kMaxRetries);
      NewLine();
      break;
    }
    ++figures_->retries;
    Print("Retry %d of %s: %s", attempt + 1, ExchangeName(cmd, address, length).c_str(), why);
    NewLine();
  }
  return false;
}

bool Session::RangeIsBlank(std::uint32_t address, std::uint32_t length, bool* blank) {
  Answer sum;
  if (!Exchange(kSum, address, length, nullptr, kStatesPerSummedByte * length, &sum) || sum.code != kSumAnswer) return false;
  const std::vector<std::uint8_t> erased(length, 0xFF);
  *blank = sum.value == Crc32(erased.data(), erased.size());
  return true;
}

// Every byte the file programs must read H'FF. A range that does not is
// halved until its first such byte is found.
bool Session::BlankCheck(const FastFile& file) {
  Print("Blank check of %lu bytes...", static_cast<unsigned long>(file.dataBytes));
  lineOpen_ = true;
  for (const FlashRange& range : file.ranges) {
    std::uint32_t address = range.address, length = static_cast<std::uint32_t>(range.bytes.size());
    bool blank = true;
    if (!RangeIsBlank(address, length, &blank)) return false;
    if (blank) continue;
    while (length > 1) {
      const std::uint32_t half = length / 2;
      if (!RangeIsBlank(address, half, &blank)) return false;
      if (blank) address += half;
      length = blank ? length - half : half;
    }
    EndOpenLine();
    Print("Flash not erased: H'%05lX does not read H'FF", static_cast<unsigned long>(address));
    NewLine();
    return false;
  }
  Print(lineOpen_ ? "OK" : "Blank check OK");  // a retry took the line
  lineOpen_ = false;
  NewLine();
  return true;
}

bool Session::Program(const FastFile& file) {
  const std::vector<FlashBlock> blocks = CutIntoBlocks(file.ranges, kMaxData);
  Print("Programming %lu bytes in %lu block%s", static_cast<unsigned long>(file.dataBytes),
        static_cast<unsigned long>(blocks.size()), blocks.size() == 1 ? "" : "s");
  NewLine();
  const bool terminal = ConsoleIsTerminal();
  unsigned long done = 0;
  unsigned shownTenth = 0;
  for (const FlashBlock& block : blocks) {
    Answer answer;
    const auto size = static_cast<std::uint32_t>(block.size);
    if (!Exchange(kWrite, block.address, size, block.bytes, kStatesPerProgrammedByte * size, &answer)) return false;
    if (answer.code != kProgrammed) {
      if (answer.code == kNotVerified)
        Print("Byte at H'%05lX does not program (not verified after 6 pulses)", static_cast<unsigned long>(answer.value));
      else
        Print("Block at H'%05lX: the chip answers %c", static_cast<unsigned long>(block.address), answer.code);
      NewLine();
      return false;
    }
    done += block.size;
    ++figures_->blocks;
    figures_->dataBytes = done;
    const unsigned percent = static_cast<unsigned>(done * 100 / file.dataBytes);
    if (terminal) {
      Print("\r%lu bytes, %u%%", done, percent);
      if (done == file.dataBytes) NewLine();
    } else if (percent / 10 > shownTenth) {
      shownTenth = percent / 10;
      Print("%lu bytes, %u%%", done, percent);
      NewLine();
    }
  }
  return true;
}

bool Session::ReadBack(const FastFile& file) {
  bool all = true;
  for (const FlashRange& range : file.ranges) {
    Answer sum;
    const auto length = static_cast<std::uint32_t>(range.bytes.size());
    if (!Exchange(kSum, range.address, length, nullptr, kStatesPerSummedByte * length, &sum) || sum.code != kSumAnswer) return false;
    const std::uint32_t expected = Crc32(range.bytes.data(), range.bytes.size());
    Print("Read-back H'%05lX-H'%05lX: CRC-32 %08lX", static_cast<unsigned long>(range.address),
          static_cast<unsigned long>(range.address + length - 1), static_cast<unsigned long>(sum.value));
    Print(sum.value == expected ? ", as the file" : ", the file gives %08lX", static_cast<unsigned long>(expected));
    NewLine();
    all = all && sum.value == expected;
  }
  return all;
}

bool Session::Run(const FastFile& file) {
  figures_->rate = rate_;
  if (!BlankCheck(file)) return false;
  const double start = RunClockSeconds();
  const bool programmed = Program(file);
  figures_->seconds = RunClockSeconds() - start;
  if (!programmed) return false;
  const bool same = ReadBack(file);
  figures_->seconds = RunClockSeconds() - start;
  return same;
}

}  // namespace

bool ProgramChipFast(const char* fileName, long maxRate, RunReport* report) {
  const ProgramFile program = ReadProgramFile(fileName);
  if (!program.ok()) {
    PrintLong(program.refusal);
    NewLine();
    return false;
  }
  const FastFile file = FastFileOf(program.image);
  const int port = g_runSettings.portIndex;
  RsFlush(port);
  Print("WAIT H3048 Boot mode...");
  if (!SynchroniseBoot(port, &report->noSync) ||
      LoadProgram(kFirstStage, kFirstStageSize, kLoadBurst, &report->echoUs) != 1)
    return false;
  Beep();
  LoadedProgram loaded;
  const int bootBrr = FirstStageHello(port);
  if (bootBrr < 0) {
    Print("First stage: no answer");
    NewLine();
    return false;
  }
  const double mhz = ClockFromBootBrr(bootBrr) / 1e6;
  // A common crystal within the BRR's clocks is shown by its own name; else
  // the clock the BRR stands for.
  const double crystal = CommonCrystal(bootBrr);
  if (crystal > 0)
    Print("First stage: clock %g MHz (BRR %d at 9600 bit/s)", crystal / 1e6, bootBrr);
  else
    Print("First stage: BRR %d at 9600 bit/s, clock %.4f MHz", bootBrr, mhz);
  NewLine();
  if (!BootClockInRange(bootBrr)) {
    Print("Clock %.4f MHz: the boot program aligns at 9600 bit/s only from 8 to 16 MHz; the fast program is not loaded",
          mhz);
    NewLine();
    return false;
  }
  report->fast.used = true;
  if (!LoadFastProgram(port, bootBrr, maxRate, &loaded)) {
    Print("Fast program: not loaded at any rate");
    NewLine();
    return false;
  }
  // Where the rate came from: the chip's divider, or the boot program.
  if (loaded.rung.brr < 0)
    Print("Rate %ld bit/s, the boot program's", loaded.rung.rate);
  else
    Print("Rate %ld bit/s, the chip's phi/%d", loaded.rung.rate, 32 * (loaded.rung.brr + 1));
  NewLine();
  Print("Fast program %d: CRC-32 %08lX", loaded.version, static_cast<unsigned long>(loaded.crcReported));
  Print(loaded.crcReported == loaded.crcSent ? ", as sent" : ", korvel sent %08lX",
        static_cast<unsigned long>(loaded.crcSent));
  NewLine();
  if (loaded.version != kVersion) {
    Print("Fast program: version %d, korvel needs %d", loaded.version, kVersion);
    NewLine();
    return false;
  }
  if (loaded.crcReported != loaded.crcSent) return false;
  Session session(port, &report->fast, bootBrr, loaded.rung);
  return session.Run(file);
}
