#include "fast_load.h"

#include <cmath>
#include <vector>

#include "console.h"
#include "fast_link.h"
#include "fast_program.h"
#include "fast_protocol.h"
#include "rs.h"

using namespace fast_protocol;

namespace {

constexpr unsigned kEchoMs = 500;    // a byte's echo: the line, and a busy host or board
constexpr unsigned kAnswerMs = 500;  // the program's hello once the load is in
constexpr unsigned kQuietMs = 100;
// The echoes of a failed rate's check: a garbled line may make more bytes
// of the four; they follow within a few character times.
constexpr unsigned kFailedRateQuietMs = 20;
constexpr int kTries = 3;            // for each of the hello's two answers
// The first stage turns SCI1 off for 768 passes of 6 states when it
// switches rates (0.6 ms at 8 MHz; the host waits kSwitchMs before it
// speaks at the new rate), and starts over when a byte does not come
// within 2^17 poll passes (five instructions, one an I/O read: 20 states
// taken as the most): what a failed try may leave it doing (a byte taken as
// a BRR, its switch, the wait, the switch back), in states.
constexpr unsigned kSwitchMs = 2;
constexpr double kStartOverStates = 2 * 768 * 6 + 131072 * 20;
// Sent first at the new rate and echoed: every bit pattern of a rate check.
constexpr std::uint8_t kCheck[kLoadCheckBytes] = {0x55, 0xAA, 0x0F, 0xF0};

// The BRR the boot program sets at a clock of mhz MHz.
long BootBrrAt(double mhz) { return std::lround(mhz * 1e6 / (32.0 * kBootRate)) - 1; }

// The bytes, each within ms; the first wrong one ends the wait at once.
bool Receives(int port, const std::vector<std::uint8_t>& bytes, unsigned ms) {
  for (const std::uint8_t want : bytes)
    if (ReadBytes(port, 1, ms) != std::vector<std::uint8_t>{want}) return false;
  return true;
}

// The answer code, asked again with cmd while it does not come whole.
Answer Asked(int port, char want, char cmd) {
  Answer answer = ReadAnswer(port, kAnswerMs);
  for (int tries = 0; answer.code != want && tries < kTries; ++tries) {
    WaitForQuiet(port, kQuietMs);
    SendFrame(port, CommandFrame(cmd, 0, 0));
    answer = ReadAnswer(port, kAnswerMs);
  }
  return answer;
}

enum class Try { kRunning, kCheckFailed, kNoHello, kLost };

// One rung: the BRR, echoed at 9600; the check bytes echoed at the new
// rate; then the program and the CRC, and its hello. No echo at all at
// 9600 bit/s: the first stage is not there.
Try LoadAt(int port, const LadderRate& rung, int bootBrr, int brr, LoadedProgram* loaded,
          std::uint64_t* checkSentUs) {
  const std::vector<std::uint8_t> brrByte = {static_cast<std::uint8_t>(brr)};
  RsFlush(port);
  RsWrite(port, brrByte.data(), 1);
  const std::vector<std::uint8_t> echo = ReadBytes(port, 1, kEchoMs);
  if (echo.empty()) return Try::kLost;
  if (echo != brrByte) return Try::kCheckFailed;
  RsSetBitRate(port, rung.rate);
  RsSleep(kSwitchMs);
  const std::vector<std::uint8_t> check(kCheck, kCheck + kLoadCheckBytes);
  *checkSentUs = RsClockUs();
  RsWrite(port, check.data(), check.size());
  if (!Receives(port, check, kEchoMs)) return Try::kCheckFailed;
  std::vector<std::uint8_t> load(kFastProgram, kFastProgram + kFastProgramSize);
  load.resize(kMainProgramBytes, 0);
  std::uint32_t crc = Crc32(check.data(), check.size());
  crc = Crc32(load.data(), load.size(), crc);
  loaded->crcSent = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    load.push_back(static_cast<std::uint8_t>(crc >> shift));
    loaded->crcSent = loaded->crcSent << 8 | (crc >> shift & 0xFF);
  }
  RsWrite(port, load.data(), load.size());
  // The echoes of the load (some may be left out) and then the hello.
  const std::uint32_t value = static_cast<std::uint32_t>(kVersion) << 24 | static_cast<std::uint32_t>(bootBrr) << 16 |
                              static_cast<std::uint32_t>(brr) << 8;
  const std::vector<std::uint8_t> hello = AnswerBytes(kHelloAnswer, value);
  std::vector<std::uint8_t> tail;
  for (std::size_t n = 0; n < load.size() + hello.size() && tail != hello; ++n) {
    const std::vector<std::uint8_t> byte = ReadBytes(port, 1, kAnswerMs);
    if (byte.empty()) break;
    tail.push_back(byte[0]);
    if (tail.size() > hello.size()) tail.erase(tail.begin());
  }
  if (tail == hello) {
    loaded->version = kVersion;
  } else {
    const Answer asked = Asked(port, kHelloAnswer, kHello);
    if (asked.code != kHelloAnswer) return Try::kNoHello;
    loaded->version = static_cast<int>(asked.value >> 24);
  }
  const Answer crcAnswer = Asked(port, kLoadCrcAnswer, kLoadCrc);
  loaded->crcReported = crcAnswer.code == kLoadCrcAnswer ? crcAnswer.value : ~loaded->crcSent;
  return Try::kRunning;
}

// Whether the first stage's report of the boot BRR comes at 9600 bit/s,
// the last byte before the line falls quiet, within 2 s beyond four
// times its start-over: it has started over, and waits for a BRR.
bool ReportCame(int port, int bootBrr) {
  const std::uint64_t end =
      RsClockUs() + static_cast<std::uint64_t>(kStartOverStates / ClockFromBootBrr(bootBrr) * 4e6) + 2'000'000;
  while (RsClockUs() < end) {
    const std::vector<std::uint8_t> byte = ReadBytes(port, 1, kQuietMs);
    if (!byte.empty() && byte[0] == bootBrr && ReadBytes(port, 1, kQuietMs).empty()) return true;
  }
  return false;
}

// After a failed rate: the first stage starts over at 9600 bit/s once no
// byte has come for its time-out and reports the boot BRR. Once the
// failed rate's last echoes have gone by, the host listens at 9600 for
// that report until twice what a failed try may have left the stage doing
// has passed since the check was sent. Where the check's wait outlasted
// that, the report went out while the host still listened at the failed
// rate, and the stage is waiting for a BRR already.
void WaitForStartOver(int port, int bootBrr, std::uint64_t checkSentUs) {
  WaitForQuiet(port, kFailedRateQuietMs);
  RsSetBitRate(port, kBootRate);
  const std::uint64_t end = checkSentUs +
                            static_cast<std::uint64_t>(kStartOverStates / ClockFromBootBrr(bootBrr) * 2e6) +
                            kQuietMs * 1000;
  for (std::uint64_t now = RsClockUs(); now < end; now = RsClockUs()) {
    const std::vector<std::uint8_t> byte = ReadBytes(port, 1, static_cast<unsigned>((end - now + 999) / 1000));
    if (!byte.empty() && byte[0] == bootBrr) return;
  }
}

}  // namespace

bool HostTakes(int port, long rate, long current) {
  const bool takes = RsSetBitRate(port, rate) == 1;
  RsSetBitRate(port, current);
  return takes;
}

int FirstStageHello(int port) {
  const std::vector<std::uint8_t> brr = ReadBytes(port, 1, 1000);
  return brr.empty() ? -1 : brr[0];
}

bool BootClockInRange(int bootBrr) { return bootBrr >= BootBrrAt(8) && bootBrr <= BootBrrAt(16); }

bool LoadFastProgram(int port, int bootBrr, const ChipClock& clock, long maxRate, LoadedProgram* loaded) {
  std::vector<LadderRate> ladder = RateLadder(clock, maxRate);
  ladder.push_back({kBootRate, -1});
  for (const LadderRate& rung : ladder) {
    if (rung.brr >= 0 && !HostTakes(port, rung.rate, kBootRate)) continue;
    const int brr = rung.brr < 0 ? bootBrr : rung.brr;
    std::uint64_t checkSentUs = RsClockUs();
    Try result = LoadAt(port, rung, bootBrr, brr, loaded, &checkSentUs);
    // No echo: the first stage may still be busy with what a failed try
    // left it doing (a paced or loaded line can stretch that); once its
    // report comes, the rate is tried again.
    if (result == Try::kLost && ReportCame(port, bootBrr)) result = LoadAt(port, rung, bootBrr, brr, loaded, &checkSentUs);
    if (result == Try::kRunning) {
      loaded->rung = rung;
      return true;
    }
    if (result == Try::kLost) {
      Print("First stage: no answer at 9600 bit/s");
      NewLine();
      return false;
    }
    Print(result == Try::kCheckFailed ? "Rate %ld bit/s failed" : "Load at %ld bit/s failed: no hello",
          rung.rate);
    NewLine();
    WaitForStartOver(port, bootBrr, checkSentUs);
  }
  return false;
}
