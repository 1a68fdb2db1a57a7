// The table of whole programming runs. Each row is one run of korvel: the
// virtual board's faults (h8board options, so the same row can be handed to
// the real h8board), the program file, the console after the settings lines
// byte for byte, what must have reached the chip, and standard error. Each
// .Takes(ms) carries a comment with the sum its milliseconds come from.
//
// Console text may hold tokens the harness fills in (run_harness.cpp):
//   {file}       the program file's path
//   {load}       a clean load: "\r\nTransfer...", 837 dots in lines of 64,
//                "\r\n\r\nWAIT H3048 response...OK\r\n"
//   {dots:N}     "\r\nTransfer..." and the first N dots (a load cut short)
//   {rec:N}      the N-th record line the host sends (1-based)
//   {records}    every record line with ":OK:U\r\n"
//   {lines}      the number of lines in the file
//   {tries:N:W}  N synchronisation tries, each "." and the word W
//   {fail} {success}  the final report, bell included
//   {fastload}   a clean load of the fast-mode program
#ifndef KORVEL_TESTS_RUNS_RUN_TABLE_H
#define KORVEL_TESTS_RUNS_RUN_TABLE_H

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// Where a row runs: in process on the virtual clock; the few that show
// something of the platform also through the real executables (or, where
// only Wine shows it, there alone). kNative: the Linux executable on this
// machine's own CPU only, not the ARM builds under qemu's user emulation,
// which has no termios2 and so sets no rate without a B-constant.
enum RunPlace : unsigned { kInProcess = 1, kExecutable = 2, kWine = 4, kNative = 8 };

enum class FlashAfter { kUnchecked, kFile, kNothingProgrammed };

// What must have reached the chip, in the order it goes out (RunRow::Sent):
// Tries(n) synchronisation H'00s, the load's first Load(n) bytes (H'55, the
// image length's two bytes, the 837 image bytes), the first Records(n) lines.
struct Tries { constexpr explicit Tries(int n) : count(n) {} int count; };
struct Load { constexpr explicit Load(long n) : bytes(n) {} long bytes; };
struct Records { constexpr explicit Records(int n) : lines(n) {} int lines; };
constexpr long kH55 = 1, kLengthHigh = 1, kLength = 2;  // bytes of the load's head
constexpr Load kWholeLoad(-1);                          // all 840
constexpr Records kAllRecords(-1);

// The file of every row that names none: S0, two S1 records of 16 bytes at
// H'100, S9, CR LF line ends.
inline const std::string kThreeMot = "three.mot";
inline const std::string kNoFile;  // korvel PORT, no file name given

struct RunRow {
  std::string name;
  std::vector<std::string> board;  // h8board options; "{file}" is the program file
  std::string console;             // everything after "Program MOT Filename=...\r\n"
  std::string file = kThreeMot;    // a sample or built file (run_harness.cpp), "=PATH" as it is
  std::string err;                 // standard error before the run summary, exactly
  std::string summary;             // in process: the summary line itself (virtual clock); "": its outcome only
  FlashAfter flash = FlashAfter::kUnchecked;
  std::vector<std::pair<std::uint32_t, std::uint8_t>> flashExcept;
  Tries tries{1};
  Load load = kWholeLoad;
  Records records = kAllRecords;
  std::size_t hostBytesThatArrive = SIZE_MAX;  // a cable pulled after so many bytes (in process only)
  // How long the run takes on the virtual clock, in ms (in process; -1: not
  // checked): every 5 ms poll and 10 ms line poll of the Rs operations counts.
  long virtualMs = -1;
  std::string port;  // a port number instead of the device path (in process)
  // korvel's options before the port (--fast ...). With --fast the chip must
  // have received the synchronisation and the fast-mode program's load;
  // what follows is the program's protocol, which the console shows.
  std::vector<std::string> options;
  unsigned places = kInProcess;
  bool piped = false;    // the file reaches korvel through a named pipe, written once
  std::size_t envelopeFlags = 0;  // program pulses the board finds outside the flash's timing envelope

  RunRow(std::string n, std::vector<std::string> b, std::string c)
      : name(std::move(n)), board(std::move(b)), console(std::move(c)) {}
  RunRow& File(std::string f) { return file = std::move(f), *this; }
  RunRow& Flash(FlashAfter f) { return flash = f, *this; }
  // The flash holds the file but value at address.
  RunRow& FlashExceptAt(std::uint32_t address, std::uint8_t value) {
    return flashExcept = {{address, value}}, flash = FlashAfter::kFile, *this;
  }
  RunRow& Sent(Tries t, Load l = kWholeLoad, Records r = kAllRecords) { return tries = t, load = l, records = r, *this; }
  RunRow& CutAfter(std::size_t bytes) { return hostBytesThatArrive = bytes, *this; }
  RunRow& Err(std::string text) { return err = std::move(text), *this; }
  RunRow& Summary(std::string line) { return summary = std::move(line), *this; }
  RunRow& Takes(long ms) { return virtualMs = ms, *this; }
  RunRow& OnPort(std::string number) { return port = std::move(number), *this; }
  RunRow& Also(unsigned where) { return places |= where, *this; }
  RunRow& Korvel(std::vector<std::string> o) { return options = std::move(o), *this; }
  RunRow& Piped() { return piped = true, *this; }
  RunRow& Flagged(std::size_t pulses) { return envelopeFlags = pulses, *this; }
};

// Test names show the row's name, not its bytes.
inline void PrintTo(const RunRow& row, std::ostream* out) { *out << row.name; }

const std::vector<RunRow>& RunTable();
// The fast mode's rows (fast_run_table.cpp), part of RunTable().
std::vector<RunRow> FastRunRows();

#endif
