// The fault campaign: korvel's run, in record mode and with --fast, against the
// virtual board in process on the virtual clock, each run with one fault
// on the line at a random point after the loaded program's start: a bit
// flipped on its way to the chip or to the host, a byte lost either way,
// or one of the chip's bytes sent late. Each run ends in one of three
// ways: "Success" with the flash equal to the file, "Fail", or "Success"
// with the flash different; the last must never happen in the fast mode.
//
//   fault_campaign [--runs N] [--seed S]
//
// N runs a mode (default 500), seeded by S (default 2026). Every fault is a
// set of h8board options, so a run can be replayed against the real board;
// the fast runs that end in "Success" with the flash different are listed
// so, and the first three of the record mode's.
// Exit code: 0, 1 when a fast run ended in "Success" with the flash
// different, 2 when the runs without a fault do not succeed or on a bad
// command line.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "board_line.h"
#include "console.h"
#include "h8board_options.h"
#include "run_clock.h"
#include "startup.h"

namespace {

enum Outcome { kSuccessEqual, kFail, kSuccessDifferent, kOutcomes };
enum Kind { kRxFlip, kTxFlip, kRxDrop, kTxDrop, kTxLate, kKinds };
const char* const kKindNames[kKinds] = {"bit flipped to the chip", "bit flipped to the host", "byte lost to the chip",
                                        "byte lost to the host", "answer byte late"};

// The program file: a header, 8 records of 16 bytes, the end record.
struct ProgramFile {
  std::string path;
  std::vector<std::uint8_t> flash;  // what the flash must hold after it
};

std::string Record(int type, std::uint32_t address, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(data.size() + 3), static_cast<std::uint8_t>(address >> 8),
                                     static_cast<std::uint8_t>(address)};
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  std::string text = "S" + std::to_string(type);
  char hex[3];
  for (std::uint8_t b : bytes) {
    sum += b;
    std::snprintf(hex, sizeof hex, "%02X", b);
    text += hex;
  }
  std::snprintf(hex, sizeof hex, "%02X", ~sum & 0xFF);
  return text + hex + "\r\n";
}

ProgramFile MakeFile(std::mt19937& random) {
  ProgramFile file{"/tmp/fault_campaign_" + std::to_string(getpid()) + ".mot",
                   std::vector<std::uint8_t>(128 * 1024, 0xFF)};
  std::string text = Record(0, 0, {'f', 'c'});
  for (std::uint32_t r = 0; r < 8; ++r) {
    std::vector<std::uint8_t> data(16);
    for (std::uint8_t& b : data) b = static_cast<std::uint8_t>(random());
    const std::uint32_t address = 0x1000 + r * 16;
    std::copy(data.begin(), data.end(), file.flash.begin() + address);
    text += Record(1, address, data);
  }
  std::ofstream(file.path, std::ios::binary) << text << Record(9, 0, {});
  return file;
}

std::string g_console;
double VirtualClock() { return board_line::VirtualSeconds(); }

// One run of korvel with these h8board options; console and stderr kept
// from the terminal. Exits when the options do not parse.
Outcome RunOnce(const std::vector<std::string>& boardOptions, bool fast, const ProgramFile& file) {
  H8BoardOptions options;
  std::string why;
  if (!ParseH8BoardOptions(boardOptions, &options, &why)) {
    std::fprintf(stderr, "fault_campaign: h8board options: %s\n", why.c_str());
    std::exit(2);
  }
  board_line::Prepare({options.board});
  g_console.clear();
  SetConsoleSink([](const char* bytes, std::size_t size) { g_console.append(bytes, size); });
  SetRunClock(VirtualClock);
  std::vector<std::string> args = {"korvel", "/dev/board", file.path};
  if (fast) args.insert(args.begin() + 1, "--fast");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::fflush(stderr);
  const int err = dup(2), null = open("/dev/null", O_WRONLY);
  dup2(null, 2);
  Initialize(static_cast<int>(args.size()), argv.data());
  Run();
  Terminate();
  std::fflush(stderr);
  dup2(err, 2);
  close(err);
  close(null);
  SetConsoleSink(nullptr);
  SetRunClock(nullptr);
  const std::string success = "\r\nSuccess\r\n\a";
  if (g_console.size() < success.size() || g_console.compare(g_console.size() - success.size(), success.size(), success) != 0)
    return kFail;
  const std::uint8_t* cells = board_line::LastBoard()->Flash().Cells();
  return std::equal(file.flash.begin(), file.flash.end(), cells) ? kSuccessEqual : kSuccessDifferent;
}

std::string Join(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
  return text;
}

struct Tally {
  std::array<std::array<unsigned, kOutcomes>, kKinds> byKind{};
  std::array<unsigned, kOutcomes> all{};
};

// N runs of one mode, each with one fault drawn from random.
Tally Campaign(bool fast, unsigned runs, std::mt19937& random, const ProgramFile& file) {
  if (RunOnce({}, fast, file) != kSuccessEqual) {
    std::fprintf(stderr, "fault_campaign: the %s run without a fault does not succeed:\n%s\n", fast ? "fast" : "record mode",
                 g_console.c_str());
    std::exit(2);
  }
  // The bytes each way after the start signal, where the faults go.
  const std::size_t received = board_line::LastBoard()->Bus().Gaps().Received();
  const std::size_t sent = board_line::LastBoard()->Bus().Gaps().Sent();
  Tally tally;
  for (unsigned run = 0; run < runs; ++run) {
    const auto kind = static_cast<Kind>(random() % kKinds);
    const bool toChip = kind == kRxFlip || kind == kRxDrop;
    const std::string n = std::to_string(1 + random() % (toChip ? received : sent));
    char mask[8];
    std::snprintf(mask, sizeof mask, "%02X", 1u << (random() % 8));
    const std::string lateMs = std::to_string(1 + random() % 3000);
    std::vector<std::string> options;
    switch (kind) {
      case kRxFlip: options = {"--rx-noise", n + ":" + mask}; break;
      case kTxFlip: options = {"--tx-noise", n + ":" + mask}; break;
      case kRxDrop: options = {"--rx-drop", n}; break;
      case kTxDrop: options = {"--tx-drop", n}; break;
      case kTxLate: options = {"--tx-late", n + ":" + lateMs}; break;
      case kKinds: break;
    }
    const Outcome outcome = RunOnce(options, fast, file);
    ++tally.byKind[kind][outcome];
    ++tally.all[outcome];
    // Every such fast run, and the first few of the record mode's.
    if (outcome == kSuccessDifferent && (fast || tally.all[kSuccessDifferent] <= 3))
      std::printf("  %s run %u: Success with the flash different: h8board %s\n", fast ? "fast" : "record mode", run + 1,
                  Join(options).c_str());
  }
  return tally;
}

void PrintRow(const char* name, const std::array<unsigned, kOutcomes>& counts) {
  std::printf("%-28s %6u %22u %6u %28u\n", name, counts[0] + counts[1] + counts[2], counts[kSuccessEqual], counts[kFail],
              counts[kSuccessDifferent]);
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long runs = 500, seed = 2026;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    char* end = nullptr;
    unsigned long* value = arg == "--runs" ? &runs : arg == "--seed" ? &seed : nullptr;
    if (!value || i + 1 >= argc || (*value = std::strtoul(argv[++i], &end, 10), *end != '\0') || runs == 0) {
      std::fprintf(stderr, "usage: fault_campaign [--runs N] [--seed S]  (N from 1)\n");
      return 2;
    }
  }
  std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
  const ProgramFile file = MakeFile(random);
  std::printf("Fault campaign: %lu runs a mode, seed %lu, 8 records of 16 bytes; one fault a run\n", runs, seed);
  const Tally recordMode = Campaign(false, static_cast<unsigned>(runs), random, file);
  const Tally fast = Campaign(true, static_cast<unsigned>(runs), random, file);
  std::remove(file.path.c_str());
  std::printf("\n%-28s %6s %22s %6s %28s\n", "", "runs", "Success, flash equal", "Fail", "Success, flash different");
  for (const auto& [name, tally] : {std::pair<const char*, const Tally&>{"record mode", recordMode}, {"fast mode", fast}}) {
    PrintRow(name, tally.all);
    for (int k = 0; k < kKinds; ++k) PrintRow((std::string("  ") + kKindNames[k]).c_str(), tally.byKind[k]);
  }
  if (fast.all[kSuccessDifferent] != 0) {
    std::printf("\nFAIL: %u fast runs ended in Success with the flash different\n", fast.all[kSuccessDifferent]);
    return 1;
  }
  return 0;
}
