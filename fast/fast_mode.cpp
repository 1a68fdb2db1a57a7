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
#include "run_progress.h"
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
// The chip's rate-change windows (30 ticks for the first byte at the new
// rate, 5 between bytes, 2 of quiet: at most 37 ticks of 10-13 ms) are
// over by then: this comes after the check's 300 ms, both counted from the
// switch, so 700 ms in all.
constexpr unsigned kRateWindowMs = 400;
// A line quiet this long has taken the chip back to the boot program's
// rate (LOST ticks in fast_program.s: on the board at 16 MHz between 5.1
// and 5.6 s after its last answer; longer than any wait of ours for an
// answer, the longest a read-back of 128 KB at 8 MHz, 3.8 s).
constexpr unsigned kBackToBootMs = 6500;

// The rate taken and where it came from: the chip's divider, or the boot
// program.
void SayRate(const LadderRate& rung) {
  if (rung.brr < 0)
    Print("Rate %ld bit/s, the boot program's", rung.rate);
  else
    Print("Rate %ld bit/s, the chip's phi/%d", rung.rate, 32 * (rung.brr + 1));
  NewLine();
}

class Session {
 public:
  Session(int port, FastFigures* figures, const ChipClock& clock, const LadderRate& rung)
      : port_(port), figures_(figures), clock_(clock), hz_(clock.hz), rate_(rung.rate), brr_(rung.brr) {}

  bool Run(const FastFile& file);

 private:
  bool Ping(unsigned ms);
  bool TryRate(const LadderRate& rung);
  void ChooseRate(long maxRate, bool* lost);
  bool StepDown();
  bool FindAtBootRate();
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
  bool Sum(std::uint32_t address, std::uint32_t length, std::uint32_t* crc);
  void NameFirstDifference(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
  // Ends a line left open ("Blank check...") before a line of its own.
  void EndOpenLine() {
    if (lineOpen_) NewLine();
    lineOpen_ = false;
  }

  int port_;
  FastFigures* figures_;
  ChipClock clock_;
  bool lineOpen_ = false;
  double hz_;
  long rate_;
  int brr_;  // the chip's BRR for rate_; -1 for the boot program's own
};

bool Session::Ping(unsigned ms) {
  RsFlush(port_);
  SendFrame(port_, CommandFrame(kHello, 0, 0));
  return ReadAnswer(port_, ms).code == kHelloAnswer;
}

bool Session::TryRate(const LadderRate& rung) {
  const long rate = rung.rate;
  const int brr = rung.brr;
  const long old = rate_;
  RsFlush(port_);
  SendFrame(port_, CommandFrame(kRate, static_cast<std::uint32_t>(brr), 0));
  const Answer ack = ReadAnswer(port_, FrameMs(0, 0));
  if (ack.code == kRateAnswer && ack.value == static_cast<std::uint32_t>(brr) && RsSetBitRate(port_, rate) == 1) {
    RsSleep(1);  // the chip turns its receiver on again one bit time after the switch
    RsFlush(port_);
    const std::vector<std::uint8_t> pattern = CommandFrame(kHello, 0x55AA00, 0xFF0FF0);
    SendFrame(port_, pattern);
    if (ReadBytes(port_, pattern.size(), 300) == pattern) {
      rate_ = rate;
      brr_ = brr;
      return true;
    }
  }
  // The chip goes back to the old rate once its windows are over, unless it
  // took the check as good; then it answers at the new one.
  RsSleep(kRateWindowMs);
  RsSetBitRate(port_, old);
  WaitForQuiet(port_, kQuietMs);
  if (Ping(kAnswerMs)) return false;
  RsSetBitRate(port_, rate);
  WaitForQuiet(port_, kQuietMs);
  if (Ping(kAnswerMs)) {
    rate_ = rate;
    brr_ = brr;
    return true;
  }
  RsSetBitRate(port_, old);
  rate_ = 0;  // lost
  return false;
}

void Session::ChooseRate(long maxRate, bool* lost) {
  *lost = false;
  for (const LadderRate& rung : RateLadder(clock_, maxRate)) {
    if (!HostTakes(port_, rung.rate, rate_)) continue;
    if (TryRate(rung)) break;
    if (rate_ == 0 && FindAtBootRate()) {
      Print("Rate %ld bit/s failed; the chip answers at 9600 bit/s again", rung.rate);
      NewLine();
      continue;
    }
    if (rate_ == 0) {
      Print("Rate %ld bit/s failed, and the chip answers at no rate", rung.rate);
      NewLine();
      *lost = true;
      return;
    }
    Print("Rate %ld bit/s failed", rung.rate);
    NewLine();
  }
  SayRate({rate_, brr_});
}

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

// After a rate failed: once the line has been quiet long enough the chip
// is back at the boot program's rate; the rates below the failed one are
// offered from there, each checked both ways again.
bool Session::StepDown() {
  const long failed = rate_;
  if (!FindAtBootRate()) {
    figures_->rate = 0;
    Print("No answer at %ld bit/s either", kBootRate);
    NewLine();
    return false;
  }
  bool lost = false;
  ChooseRate(failed - 1, &lost);
  figures_->rate = rate_;
  return !lost;
}

// Waits out the chip's quiet time and asks for its hello at 9600 bit/s.
bool Session::FindAtBootRate() {
  WaitForQuiet(port_, kQuietMs);
  RsSleep(kBackToBootMs);
  RsSetBitRate(port_, kBootRate);
  if (!Ping(kAnswerMs) && !Ping(kAnswerMs)) {
    rate_ = 0;  // lost
    return false;
  }
  rate_ = kBootRate;
  brr_ = -1;
  return true;
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
      if (brr_ < 0) {
        Print("%s: %s, %d retries: given up", name.c_str(), why, kMaxRetries);
        NewLine();
        break;
      }
      // Not at the boot program's rate yet: the next rate down takes the same frame.
      Print("%s: %s, %d retries at %ld bit/s: stepping down", name.c_str(), why, kMaxRetries, rate_);
      NewLine();
      if (!StepDown()) break;
      attempt = -1;
      continue;
    }
    ++figures_->retries;
    Print("Retry %d of %s: %s", attempt + 1, ExchangeName(cmd, address, length).c_str(), why);
    NewLine();
  }
  return false;
}

bool Session::Sum(std::uint32_t address, std::uint32_t length, std::uint32_t* crc) {
  Answer sum;
  if (!Exchange(kSum, address, length, nullptr, kStatesPerSummedByte * length, &sum) || sum.code != kSumAnswer) return false;
  *crc = sum.value;
  return true;
}

bool Session::RangeIsBlank(std::uint32_t address, std::uint32_t length, bool* blank) {
  std::uint32_t crc = 0;
  if (!Sum(address, length, &crc)) return false;
  const std::vector<std::uint8_t> erased(length, 0xFF);
  *blank = crc == Crc32(erased.data(), erased.size());
  return true;
}

// Every byte the file programs must read H'FF. A range that does not is
// halved until its first such byte is found.
bool Session::BlankCheck(const FastFile& file) {
  Print("Blank check of %lu bytes...", static_cast<unsigned long>(file.sentBytes));
  lineOpen_ = true;
  for (const FlashRange& range : file.sent) {
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
  const std::vector<FlashBlock> blocks = CutIntoBlocks(file.sent, kMaxData);
  Print("Programming %lu bytes in %lu block%s", static_cast<unsigned long>(file.sentBytes),
        static_cast<unsigned long>(blocks.size()), blocks.size() == 1 ? "" : "s");
  if (file.sentBytes < file.dataBytes)
    Print(" (%lu bytes of H'FF left out: erased already)", static_cast<unsigned long>(file.dataBytes - file.sentBytes));
  NewLine();
  const bool terminal = ConsoleIsTerminal();
  unsigned long done = 0;
  unsigned shownTenth = 0;
  unsigned long blocksDone = 0;
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
    ReportProgress("blocks", ++blocksDone, static_cast<unsigned long>(blocks.size()));
    figures_->dataBytes = done;
    const unsigned percent = static_cast<unsigned>(done * 100 / file.sentBytes);
    if (terminal) {
      Print("\r%lu bytes, %u%%", done, percent);
      if (done == file.sentBytes) NewLine();
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
    std::uint32_t crc = 0;
    const auto length = static_cast<std::uint32_t>(range.bytes.size());
    if (!Sum(range.address, length, &crc)) return false;
    const std::uint32_t expected = Crc32(range.bytes.data(), range.bytes.size());
    Print("Read-back H'%05lX-H'%05lX: CRC-32 %08lX", static_cast<unsigned long>(range.address),
          static_cast<unsigned long>(range.address + length - 1), static_cast<unsigned long>(crc));
    Print(crc == expected ? ", as the file" : ", the file gives %08lX", static_cast<unsigned long>(expected));
    NewLine();
    if (crc != expected) NameFirstDifference(range.address, range.bytes);
    all = all && crc == expected;
  }
  return all;
}

// A range that read back wrong is halved until its first differing byte is
// found; the sum of that one byte names its value (a byte's CRC-32 is its own).
void Session::NameFirstDifference(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  std::size_t from = 0, length = bytes.size();
  std::uint32_t crc = 0;
  while (length > 1) {
    const std::size_t half = length / 2;
    if (!Sum(address + static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(half), &crc)) return;
    const bool same = crc == Crc32(bytes.data() + from, half);
    if (same) from += half;
    length = same ? length - half : half;
  }
  if (!Sum(address + static_cast<std::uint32_t>(from), 1, &crc)) return;
  for (unsigned value = 0; value < 256; ++value) {
    const auto byte = static_cast<std::uint8_t>(value);
    if (Crc32(&byte, 1) != crc) continue;
    if (byte == bytes[from]) return;  // it reads right now: no single byte to name
    Print("First difference at H'%05lX: the chip reads H'%02X, the file gives H'%02X",
          static_cast<unsigned long>(address + from), value, bytes[from]);
    NewLine();
    return;
  }
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

bool ProgramChipFast(const char* fileName, long maxRate, double clockMhz, RunReport* report) {
  const ProgramFile program = ReadProgramFile(fileName);
  if (!program.ok()) {
    PrintLong(program.refusal);
    NewLine();
    return false;
  }
  report->fast.chosen = true;
  // A run of H'FF shorter than a frame's head costs more to leave out than to send.
  const FastFile file = FastFileOf(program.image, kFrameHead);
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
  // A crystal named by --clock that the BRR allows is taken as it is; else a
  // common crystal within the BRR's clocks is shown by its own name, or the
  // clock the BRR stands for.
  const bool given = clockMhz > 0 && ClockFitsBootBrr(clockMhz * 1e6, bootBrr);
  const ChipClock clock = given ? GivenClock(clockMhz * 1e6) : ClockOfBootBrr(bootBrr);
  const double crystal = given ? clock.hz : CommonCrystal(bootBrr);
  if (crystal > 0)
    Print("First stage: clock %g MHz%s (BRR %d at 9600 bit/s)", crystal / 1e6, given ? " by --clock" : "", bootBrr);
  else
    Print("First stage: BRR %d at 9600 bit/s, clock %.4f MHz", bootBrr, mhz);
  NewLine();
  if (clockMhz > 0 && !given) {
    const ChipClock range = ClockOfBootBrr(bootBrr);
    Print("Note: --clock %g does not give BRR %d, which stands for %.4f to %.4f MHz: the BRR's clock is taken",
          clockMhz, bootBrr, range.low / 1e6, range.high / 1e6);
    NewLine();
  }
  if (!BootClockInRange(bootBrr)) {
    Print("Clock %.4f MHz: the boot program aligns at 9600 bit/s only from 8 to 16 MHz; the fast program is not loaded",
          mhz);
    NewLine();
    return false;
  }
  report->fast.used = true;
  if (!LoadFastProgram(port, bootBrr, clock, maxRate, &loaded)) {
    Print("Fast program: not loaded at any rate");
    NewLine();
    return false;
  }
  SayRate(loaded.rung);
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
  Session session(port, &report->fast, clock, loaded.rung);
  return session.Run(file);
}
