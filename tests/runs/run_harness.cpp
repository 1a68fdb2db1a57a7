// Runs the rows of the run table and checks every expectation of each: in
// process over the virtual board (board_line.h) on the virtual clock, and
// the rows marked for it also through the real korvel, or korvel.exe under
// Wine, against h8board on a pseudo-terminal.
#include <fcntl.h>
#include <glob.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>  // setitimer
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <filesystem>
#include <functional>
#include <iostream>
#include <future>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "board_line.h"
#include "pty.h"
#include "run_table.h"
#include "serial_contract.h"
#include "console.h"
#include "run_progress.h"
#include "expected_console.h"
#include "h8board_tool.h"
#include "run_clock.h"
#include "startup.h"
#include "subprocess.h"
#include "transfer_test_files.h"
#include "first_stage.h"
#include "write_control_program.h"

namespace {

constexpr const char* kInProcessDevice = "/dev/board";
constexpr long kProcessorSecondsPerRun = 20;  // in process; a run that spins longer hangs (whatever the wall clock says)
// Real runs at once: a board must keep up with the chip's time on the real clock (the fast mode's
// windows: 50 ms within a frame, 500 ms an answer); under Wine one: one wineserver carries every line.
constexpr std::size_t kRealRunsAtOnce = 2;  // one a processor; CTest runs these tests alone
constexpr int kRealRunSeconds = 170;  // one run; a board waits for its turn besides

// A folder in the build tree made once for all test processes (they run in
// parallel: a lock keeps them from making it twice), and again when the
// marker, which names what made it, changes; "" when make fails.
std::string MadeOnce(const std::string& dir, const std::function<bool()>& make, const std::string& marker = "made") {
  const int lock = open((dir + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  flock(lock, LOCK_EX);
  if (access((dir + "/." + marker).c_str(), F_OK) != 0 && make()) std::ofstream(dir + "/." + marker) << "made";
  close(lock);
  return access((dir + "/." + marker).c_str(), F_OK) == 0 ? dir : "";
}

// The files made here, by name (the others are in tests/runs/files);
// folder.mot is a folder, missing.mot is none.
std::string BuiltFile(const std::string& folder, const std::string& name) {
  const std::map<std::string, std::function<std::string()>> files = {
      {"noise.dat",
       [] {
         std::mt19937 random(3048);
         std::string noise(64 * 1024, '\0');
         for (char& b : noise) b = static_cast<char>(random() & 0xFF);
         return noise;
       }},
      {"huge.mot",  // good records all within the flash, the last one bad
       [&] {
         std::string block, text;
         for (unsigned i = 0; i < 256; ++i) block += MakeRecord(1, i * 16, Pattern(16, i)) + "\r\n";
         while (text.size() < 5'000'000) text += block;
         std::string bad = MakeRecord(1, 0x0110, Pattern(16, 2));
         bad.back() = bad.back() == '0' ? '1' : '0';
         return text + bad + "\r\n";
       }},
  };
  if (name == "folder.mot") mkdir((folder + name).c_str(), 0755);
  // NULs (sparse files) of the largest size taken, and one byte more.
  if (name == "64mb.dat" || name == "64mb_and_1.dat") {
    std::ofstream(folder + name, std::ios::binary | std::ios::trunc);
    if (truncate((folder + name).c_str(), (64l << 20) + (name == "64mb.dat" ? 0 : 1)) != 0) return "";
  }
  if (files.count(name)) std::ofstream(folder + name, std::ios::binary | std::ios::trunc) << files.at(name)();
  return folder + name;
}

// A sample program file in another format than S-records (tick.coff,
// tick.elf, tick.hex, tick.bin), its S-record twin (tick.mot: the same
// program by objcopy -O srec), and beside it the records korvel must make
// of it (tick.coff.records; tools/make_sample_records.sh).
bool OtherFormat(const std::string& path) {
  const std::string ext = std::filesystem::path(path).extension().string();
  return ext == ".coff" || ext == ".elf" || ext == ".hex" || ext == ".bin";
}
std::string Twin(const std::string& path) { return std::filesystem::path(path).replace_extension(".mot").string(); }

// The lines the host sends as records: those that begin with "S".
Lines RecordLinesOf(const std::string& path) {
  Lines records;
  std::error_code error;
  const std::string file = OtherFormat(path) ? path + ".records" : path;
  std::istringstream text(std::filesystem::is_regular_file(file, error) ? ReadWholeFile(file) : "");
  for (std::string line; std::getline(text, line);) {
    // The reader takes CR LF as a line end; a CR before it stays on the line.
    if (!line.empty() && line.back() == '\x1a') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == 'S') records.push_back(line);
  }
  return records;
}

// A record as the console shows it: without the CRs that may trail it.
std::string Shown(std::string record) {
  record.erase(std::remove(record.begin(), record.end(), '\r'), record.end());
  return record;
}

std::string Dots(std::size_t count) {
  std::string text = "\r\nTransfer...";
  for (std::size_t p = 0; p < count; ++p) text += p % 64 == 0 ? "\r\n." : ".";
  return text;
}

// What the chip must have received, by the row.
std::string ExpectedHostBytes(const RunRow& row, const std::string& file) {
  const bool fast = !row.options.empty() && row.options[0] == "--fast";
  const unsigned char* image = fast ? kFirstStage : kWriteControlProgram;
  const std::size_t size = fast ? kFirstStageSize : kWriteControlProgramSize;
  std::string load = {'\x55', static_cast<char>(size >> 8), static_cast<char>(size & 0xFF)};
  load.append(reinterpret_cast<const char*>(image), size);
  std::string bytes(static_cast<std::size_t>(row.tries.count), '\0');
  bytes += load.substr(0, row.load.bytes < 0 ? load.size() : static_cast<std::size_t>(row.load.bytes));
  const Lines records = fast ? Lines() : RecordLinesOf(file);
  const std::size_t sent = row.records.lines < 0 ? records.size() : static_cast<std::size_t>(row.records.lines);
  for (std::size_t i = 0; i < records.size() && i < sent; ++i) bytes += records[i];
  return bytes;
}

// The flash after programming the file, by srec_cat: H'FF where it gives
// nothing; for a file in another format, that of its twin.
std::string FlashOfFile(const std::string& file) {
  TempFolder folder;
  const std::string bin = folder.Path("flash.bin");
  std::string text = ReadWholeFile(OtherFormat(file) ? Twin(file) : file);  // srec_cat takes no CR CR LF line ends
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  const std::string plain = folder.Write("plain.mot", text);
  if (!RunTool("srec_cat '" + plain + "' -fill 0xFF 0 0x20000 -o '" + bin + "' -binary")) return "srec_cat failed";
  return ReadWholeFile(bin);
}

// ... with the bytes the row expects to differ.
std::string FlashOfFile(const std::string& file, const RunRow& row) {
  std::string flash = FlashOfFile(file);
  for (const auto& [address, value] : row.flashExcept) flash.at(address) = static_cast<char>(value);
  return flash;
}

// The row's h8board options, "{file}" replaced by the program file's path.
std::vector<std::string> BoardArguments(const RunRow& row, const std::string& file) {
  std::vector<std::string> args = row.board;
  std::replace(args.begin(), args.end(), std::string("{file}"), file);
  return args;
}

// The program file a row names, made on first use. Samples (blink.mot,
// blink_s3.mot, random32k_*.mot, top4k_s2_32.mot, random128k_s2_32.mot,
// tick.*) come from tools/make_sample_records.sh, made again when it
// changes; the others are built by BuiltFile. "" when the tools for a
// sample are missing.
std::string ProgramFile(const std::string& name) {
  static TempFolder temporary;  // kept in the build tree for the replay commands
  static const std::string folder = getenv("KORVEL_ROW_COMMANDS") == nullptr ? temporary.Path("") : BinaryPath("tests/runs/replay/");
  std::filesystem::create_directories(folder);
  static std::map<std::string, std::string> made;
  if (made.count(name)) return made[name];
  if (access(SourcePath("tests/runs/files/" + name).c_str(), F_OK) == 0) return made[name] = SourcePath("tests/runs/files/" + name);
  if (name.rfind("blink", 0) != 0 && name.rfind("random", 0) != 0 && name.rfind("top4k", 0) != 0 &&
      name.rfind("tick", 0) != 0)
    return made[name] = BuiltFile(folder, name);
  const std::string script = SourcePath("tools/make_sample_records.sh"), dir = BinaryPath("tests/runs/samples");
  const std::string samples = MadeOnce(dir, [&] {
    return ToolAvailable("h8300-hms-gcc") && ToolAvailable("srec_cat") &&
           RunTool("rm -rf '" + dir + "' && '" + script + "' '" + dir + "'");
  }, "made-" + std::to_string(std::hash<std::string>()(ReadWholeFile(script))));
  return samples.empty() ? "" : made[name] = samples + "/" + name;
}

// The row's console text with the tokens (run_table.h) filled in for this file.
enum class Token { kFile, kFastLoad, kLoad, kDots, kRec, kRecords, kLines, kTries, kFail, kSuccess };

std::string ExpandConsole(const std::string& text, const std::string& file) {
  static const std::map<std::string, Token> tokens = {
      {"file", Token::kFile},   {"fastload", Token::kFastLoad}, {"load", Token::kLoad},   {"dots", Token::kDots},
      {"rec", Token::kRec},     {"records", Token::kRecords}, {"lines", Token::kLines},
      {"tries", Token::kTries}, {"fail", Token::kFail},   {"success", Token::kSuccess}};
  static const std::regex token(R"(\{(\w+)(?::(\d+))?(?::([^}]*))?\})");  // {name}, {name:N}, {name:N:WORD}
  std::string out, whole;
  std::size_t done = 0;
  for (std::sregex_iterator at(text.begin(), text.end(), token), end;; ++at) {
    out += text.substr(done, at == end ? std::string::npos : static_cast<std::size_t>(at->position()) - done);
    if (at == end) return out;
    done = static_cast<std::size_t>(at->position() + at->length());
    const std::string word = (*at)[3];
    unsigned long n = (*at)[2].matched ? std::stoul((*at)[2]) : 0;
    switch (tokens.at((*at)[1])) {  // an unknown token throws: the row is wrong
      case Token::kFile: out += file; break;
      case Token::kFastLoad: out += Dots(kFirstStageSize) + "\r\n\r\nWAIT H3048 response...OK\r\n"; break;
      case Token::kLoad: out += Dots(kWriteControlProgramSize) + "\r\n\r\nWAIT H3048 response...OK\r\n"; break;
      case Token::kDots: out += Dots(n); break;
      case Token::kRec: out += Shown(RecordLinesOf(file).at(n - 1)); break;
      case Token::kRecords:
        for (const std::string& r : RecordLinesOf(file)) out += Shown(r) + ":OK:U\r\n";
        break;
      case Token::kLines: whole = ReadWholeFile(file), out += std::to_string(std::count(whole.begin(), whole.end(), '\n')); break;
      case Token::kTries:
        while (n-- > 0) out += "." + word;
        break;
      case Token::kFail: out += ExpectedFail(); break;
      case Token::kSuccess: out += ExpectedSuccess(); break;
    }
  }
}

std::string FileArgument(const RunRow& row) {
  if (row.file.empty()) return "H3048.MOT";  // the default, not in the test's folder
  return row.file.rfind("=", 0) == 0 ? row.file.substr(1) : ProgramFile(row.file);
}

// shown: the file name as korvel got it; file: where the test finds it.
std::string ExpectedConsole(const RunRow& row, const std::string& device, const std::string& shown,
                            const std::string& file) {
  const std::string banner = ExpectedBanner(device, shown), text = ExpandConsole(row.console, file);
  if (shown.size() < 528) return banner + text;
  return banner.substr(0, banner.rfind("Program MOT Filename=")) + text;  // a name too long for its buffer
}

// A named pipe that a writer fills once with the file's bytes, as a shell's
// process substitution or a build pipeline would; "" path for no file.
struct Pipe {
  explicit Pipe(const std::string& file) {
    if (file.empty()) return;
    path = folder.Path("pipe.mot");
    if (mkfifo(path.c_str(), 0600) != 0) return;
    writer = std::thread([this, bytes = ReadWholeFile(file)] {
      const int fd = open(path.c_str(), O_WRONLY);  // until korvel opens it
      if (fd >= 0 && write(fd, bytes.data(), bytes.size()) >= 0) close(fd);
    });
  }
  ~Pipe() {
    if (!writer.joinable()) return;
    const int unblock = open(path.c_str(), O_RDONLY | O_NONBLOCK);  // a writer still waiting for its reader
    writer.join();
    close(unblock);
  }
  TempFolder folder;
  std::string path;
  std::thread writer;
};

std::string Wine() {
  for (const char* candidate : {"/usr/lib/wine/wine64", "/usr/bin/wine64", "/usr/bin/wine"})
    if (access(candidate, X_OK) == 0) return candidate;
  return "";
}

// The row's name and the command lines that run it by hand (tools/row_commands.sh).
std::string ReplayCommands(const RunRow& row, const std::string& file) {
  std::string board = "# " + row.name + "\n$ '" + H8BOARD_EXECUTABLE + "'";  // no ' in our paths and arguments
  for (const std::string& argument : BoardArguments(row, file)) board += " '" + argument + "'";
  return board + " --link /tmp/h8board-line --out /tmp/h8board-flash.bin &\n$ until [ -e /tmp/h8board-line ]; do sleep 0.1; " +
         "done; '" + KorvelPath() + "' /tmp/h8board-line" + (row.file.empty() ? "" : " '" + file + "'") + "\n" +
         (row.hostBytesThatArrive == SIZE_MAX ? "" : "# in process the line drops after byte " + std::to_string(row.hostBytesThatArrive) + "\n") +
         (row.port.empty() ? "" : "# in process it runs on port " + row.port + "\n");
}

// Standard error ends with the run summary, whose outcome is the console's;
// what comes before it is the row's.
void ExpectErr(const std::string& err, const RunRow& row, const std::string& console, bool exactSummary,
               const std::string& shown) {
  const std::size_t tail = std::min(console.size(), ExpectedSuccess().size());
  const std::string before = WithoutSummary(err, console.substr(console.size() - tail) == ExpectedSuccess() ? "Success" : "Fail");
  EXPECT_TRUE(before != err && err.back() == '\n') << "no summary with the console's outcome: " << err;
  EXPECT_EQ(before, ExpandConsole(row.err, shown));
  EXPECT_TRUE(!exactSummary || row.summary.empty() || err.substr(before.size()) == row.summary + "\n") << err;
}

// A real run's console; the chip's text after a refused record ("NG [FAIL]") may be cut where korvel's
// 100 ms wait for it ended (pinned in process): as expected when what came begins the expected text.
std::string RealRunConsole(std::string console, const std::string& expected) {
  const std::size_t from = expected.find(":NG [") + 5, end = expected.find("\r\n", from), got = console.find("\r\n", from);
  if (from < 5 || end == std::string::npos || got > end || console.compare(0, got, expected, 0, got) != 0) return console;
  return console.replace(from, got - from, expected, from, end - from);
}

// A chip that answers late in a real fast run (a board the scheduler leaves waiting two seconds uses up an exchange's
// retries) adds retries, failed rates, a step down and a broken blank-check line: the machine's doing, pinned in
// process. A run longer than its row by just such lines is compared without them and without the rates taken.
std::string WithoutLateAnswers(const std::string& console) {
  static const std::regex late("Retry \\d+ of [^\r]*\r\n|[^\r\n]*(: stepping down| failed)\r\n|Rate \\d+ bit/s, [^\r]*\r\n"),
      blank("(Blank check of \\d+ bytes\\.\\.\\.)\r\nBlank check OK");
  return std::regex_replace(std::regex_replace(console, late, ""), blank, "$1OK");
}

// The progress reports count 1, 2, ... of one total, one for each record
// the chip took (":OK:U" on the console) or block it programmed, and a run
// that succeeds ends on the total.
void ExpectProgress(const std::string& progress, const std::string& unit, const std::string& console) {
  std::istringstream reports(progress);
  std::string word, fraction, all;
  unsigned long count = 0;
  while (reports >> word >> fraction) {
    const std::size_t slash = fraction.find('/');
    EXPECT_EQ(word + " " + fraction.substr(0, slash), unit + " " + std::to_string(++count)) << progress;
    EXPECT_TRUE(all.empty() || fraction.substr(slash + 1) == all) << progress;
    all = fraction.substr(slash + 1);
  }
  unsigned long taken = 0;
  for (std::size_t at = console.find(":OK:U\r\n"); at != std::string::npos; at = console.find(":OK:U\r\n", at + 1)) ++taken;
  EXPECT_TRUE(unit != "records" || count == taken) << "records taken " << taken << ", reports:" << progress;
  const std::string successEnd = "\r\nSuccess\r\n\a";
  const bool success = console.size() >= successEnd.size() &&
                       console.compare(console.size() - successEnd.size(), successEnd.size(), successEnd) == 0;
  EXPECT_TRUE(!success || (count > 0 && std::to_string(count) == all)) << "a successful run ends on all:" << progress;
}

// Every expectation of the row; a failure names the row.
void RunInProcess(const RunRow& row) {
  const std::string file = FileArgument(row);
  if (file.empty()) GTEST_SKIP() << "the cross toolchain or srec_cat is missing for " << row.file;
  const char* replayOnly = getenv("KORVEL_ROW_COMMANDS");
  if (replayOnly != nullptr) {
    if (row.name.find(replayOnly) != std::string::npos) std::cout << ReplayCommands(row, file);
    GTEST_SKIP();
  }
  SCOPED_TRACE(ReplayCommands(row, file));  // a failure shows how to run the row by hand
  H8BoardOptions options;
  std::string why;
  ASSERT_TRUE(ParseH8BoardOptions(BoardArguments(row, file), &options, &why)) << why;
  board_line::Prepare({options.board, row.hostBytesThatArrive});

  Pipe pipe(row.piped ? file : "");
  std::string console, device = row.port.empty() ? kInProcessDevice : row.port, program = "korvel";
  std::string name = row.piped ? pipe.path : file;
  SetConsoleSink([&console](const char* bytes, std::size_t size) { console.append(bytes, size); });
  std::string progress;  // the reports a page's progress bar is drawn from: " unit done/all" each
  SetProgressWatcher([&progress](const char* unit, unsigned long done, unsigned long all) {
    progress += " " + std::string(unit) + " " + std::to_string(done) + "/" + std::to_string(all);
  });
  // As a shell passes them: argv[argc] is a null pointer.
  std::vector<std::string> args = row.options;
  args.insert(args.begin(), program);
  args.push_back(device);
  if (!row.file.empty()) args.push_back(name);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  SetRunClock(board_line::VirtualSeconds);
  testing::internal::CaptureStderr();
  const itimerval spin{{0, 0}, {kProcessorSecondsPerRun, 0}}, off{};
  setitimer(ITIMER_PROF, &spin, nullptr);  // a run that hangs ends the process at once (SIGPROF)
  Initialize(static_cast<int>(argv.size()) - 1, argv.data());
  Run();
  Terminate();
  setitimer(ITIMER_PROF, &off, nullptr);
  const std::string err = testing::internal::GetCapturedStderr();
  SetConsoleSink(nullptr);
  SetProgressWatcher(nullptr);
  SetRunClock(nullptr);

  EXPECT_FALSE(board_line::CapReached()) << "the run went on past its virtual time";
  EXPECT_TRUE(board_line::LinesRaised()) << "RTS and DTR are raised at open";
  ExpectProgress(progress, row.options.empty() ? "records" : "blocks", console);
  // A port argument shows as the number it reads as.
  const std::string channel = row.port.empty() ? device : std::to_string(PortIndexFromArgument(row.port.c_str()) + 1);
  const std::string expected = ExpectedConsole(row, channel, name, file);
  EXPECT_EQ(NormaliseBuildStamp(console), expected);
  ExpectErr(err, row, expected, true, name);
  EXPECT_TRUE(row.virtualMs < 0 || board_line::VirtualMs() == row.virtualMs) << "virtual ms: " << board_line::VirtualMs();
  const std::vector<std::uint8_t>& sent = board_line::HostBytes();
  const std::string expectedSent = ExpectedHostBytes(row, file);
  // In the fast mode the protocol's own bytes follow the load.
  const std::size_t compared = row.options.empty() ? sent.size() : std::min(sent.size(), expectedSent.size());
  EXPECT_EQ(std::string(sent.begin(), sent.begin() + static_cast<long>(compared)), expectedSent) << "what the chip received";
  Board* board = board_line::LastBoard();
  const std::uint8_t* cells = board != nullptr ? board->Flash().Cells() : nullptr;
  EXPECT_TRUE(cells == nullptr || row.flash != FlashAfter::kFile ||
              FlashOfFile(file, row) == std::string(cells, cells + FlashMemory::kSize)) << "the flash differs from the file";
  EXPECT_TRUE(cells == nullptr || row.flash != FlashAfter::kNothingProgrammed ||
              board->Flash().GetStats().bytesProgrammed == 0) << "bytes were programmed";
  // Both on-chip programs keep every pulse within the flash's timing envelope, at every row's clock, the watchdog counting.
  EXPECT_TRUE(board == nullptr || board->Bus().Envelope().Flags() == row.envelopeFlags) << board->Summary();
  EXPECT_TRUE(board == nullptr || board->Bus().GetStats().unguardedPulses == 0) << board->Summary();
}

// All at once through the real korvel (row i on its own h8board's pty), or
// korvel.exe under Wine (row i on COM<i+1>, one prefix for all), at most
// kRealRunsAtOnce at a time (one under Wine). korvel: the command that runs a Linux korvel
// (an ARM build under qemu), the native build when empty; a path in it that
// is missing or empty (tools/run_tests.sh --quick builds none) skips the test.
void RunExecutables(const std::vector<RunRow>& rows, bool underWine, std::vector<std::string> korvel = {}) {
  if (korvel.empty()) korvel = {underWine ? KORVEL_WINDOWS_EXE : KorvelPath()};
  for (const std::string& part : korvel)
    if (part.empty() || (part[0] == '/' && access(part.c_str(), R_OK) != 0)) GTEST_SKIP() << "not built: '" << part << "'";
  TempFolder work;
  ProcessOptions options;
  options.timeoutSeconds = kRealRunSeconds;
  options.workingDirectory = work.Path("");
  const std::string prefix = BinaryPath("tests/wine-prefix");
  options.environment = {"WINEPREFIX=" + prefix, "WINEDLLOVERRIDES=mscoree,mshtml=", "WINEDEBUG=-all"};
  const std::string server = std::filesystem::path(Wine()).parent_path() / "wineserver";
  if (underWine) {
    if (Wine().empty()) GTEST_SKIP() << "Wine is not installed (package wine64)";
    // wineboot takes half a minute: the prefix is kept in the build tree.
    ASSERT_FALSE(MadeOnce(prefix, [&] { return RunProcess(Wine(), {"wineboot", "-i"}, options).exitCode == 0; }).empty());
    RunProcess(server, {"-k"}, options);  // the registry is read afresh at the next start
  }
  std::vector<std::future<ProcessResult>> boards(rows.size());
  std::vector<std::string> devices, files;
  std::string ports = "[Software\\\\Wine\\\\Ports]\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    files.push_back(FileArgument(rows[i]));
    if (files[i].empty()) GTEST_SKIP() << "the cross toolchain or srec_cat is missing for " << rows[i].file;
    std::vector<std::string> args = BoardArguments(rows[i], files[i]);
    // Every board starts now; row i's korvel only once the runs before it
    // are done (kRealRunsAtOnce at a time, one under Wine), each of which
    // may take kRealRunSeconds on a busy machine.
    const std::size_t turn = i / (underWine ? 1 : kRealRunsAtOnce);
    args.insert(args.end(), {"--out", work.Path(std::to_string(i) + ".bin"), "--dump", work.Path(std::to_string(i) + ".dump"),
                             "--timeout", std::to_string(kRealRunSeconds * (1 + turn))});
    devices.push_back(StartBoard(args, work.Path("line" + std::to_string(i)), &boards[i]));
    ports += "\"COM" + std::to_string(i + 1) + "\"=\"" + devices[i] + "\"\n";
  }
  std::future<ProcessResult> serving;
  Pty contractLine;  // the serial contract's line for the Windows backend, the port after the rows'
  ports += "\"COM" + std::to_string(rows.size() + 1) + "\"=\"" + contractLine.path + "\"\n";
  if (underWine) {
    // COM<i+1> is row i's board, written straight into the prefix's
    // registry; the server runs apart and stays up (-p), so what it writes is not korvel.exe's.
    std::string registry = ReadWholeFile(prefix + "/system.reg");
    const std::size_t at = registry.find("[Software\\\\Wine\\\\Ports]");
    if (at != std::string::npos) registry.erase(at, registry.find("\n\n", at) - at + 1);
    std::ofstream(prefix + "/system.reg", std::ios::binary | std::ios::trunc) << registry << "\n" << ports;
    serving = StartProcess("/bin/sh", {"-c", "exec '" + server + "' -f -p >/dev/null 2>&1"}, options);
    struct stat dir {};
    stat(prefix.c_str(), &dir);
    char socket[128];  // where the server listens once it is up (/tmp/.wine-UID or /tmp/wine-XXXXXX)
    std::snprintf(socket, sizeof socket, "/tmp/*wine-*/server-%llx-%llx/socket",
                  static_cast<unsigned long long>(dir.st_dev), static_cast<unsigned long long>(dir.st_ino));
    glob_t found{};
    for (int wait = 0; wait < 1000 && glob(socket, 0, nullptr, &found) != 0; ++wait) usleep(10000);
    globfree(&found);
  }
  std::vector<std::future<ProcessResult>> runs;
  std::vector<std::unique_ptr<Pipe>> pipes;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    pipes.push_back(std::make_unique<Pipe>(rows[i].piped && !underWine ? files[i] : ""));
    std::vector<std::string> args(korvel.begin() + (underWine ? 0 : 1), korvel.end());
    args.insert(args.end(), rows[i].options.begin(), rows[i].options.end());
    std::string name = pipes[i]->path.empty() ? files[i] : pipes[i]->path;
    if (underWine) {  // COM<i+1> (the first as a device path with slashes), the file relative to the work folder
      std::filesystem::copy(files[i], work.Path(std::to_string(i) + ".mot"));
      devices[i] = (i == 0 ? "//./COM" : "") + std::to_string(i + 1);
      name = std::to_string(i) + ".mot";
    }
    args.insert(args.end(), {devices[i], name});
    if (rows[i].file.empty()) args.pop_back();  // korvel PORT
    if (const std::size_t atOnce = underWine ? 1 : kRealRunsAtOnce; i >= atOnce) runs[i - atOnce].wait();
    runs.push_back(StartProcess(underWine ? Wine() : korvel[0], args, options));
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    const ProcessResult run = runs[i].get(), served = boards[i].get();
    EXPECT_TRUE(run.exitCode == 0 && served.exitCode == 0) << served.err;
    const std::string shown = underWine ? std::to_string(i) + ".mot" : pipes[i]->path.empty() ? files[i] : pipes[i]->path;
    const std::string expected = ExpectedConsole(rows[i], devices[i], shown, files[i]);
    const std::string got = RealRunConsole(NormaliseBuildStamp(run.out), expected);
    EXPECT_EQ(got.size() > expected.size() && WithoutLateAnswers(got) == WithoutLateAnswers(expected) ? expected : got, expected);
    std::string err = run.err;  // Windows writes its standard error as text: CR LF line ends
    for (std::size_t at; underWine && (at = err.find("\r\n")) != std::string::npos;) err.erase(at, 1);
    // The echo times are the machine's (under qemu the emulator's): the slow-adapter note is pinned in process.
    if (const std::size_t at = err.find("korvel: the chip's echoes took"); at != std::string::npos)
      err.erase(at, err.find('\n', at) + 1 - at);
    ExpectErr(err, rows[i], expected, false, shown);
    EXPECT_TRUE(rows[i].flash != FlashAfter::kFile ||
                ReadWholeFile(work.Path(std::to_string(i) + ".bin")) == FlashOfFile(files[i], rows[i])) << "flash differs";
    EXPECT_TRUE(rows[i].flash != FlashAfter::kNothingProgrammed || served.err.rfind("h8board: 0 bytes programmed", 0) == 0)
        << served.err;
  }
  if (underWine) {  // korvel.exe --list names the ports the registry maps
    const std::string list = RunProcess(Wine(), {KORVEL_WINDOWS_EXE, "--list"}, options).out;
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_NE(list.find("COM" + std::to_string(i + 1) + " ("), std::string::npos) << list;
    const std::string contract = (std::filesystem::path(KORVEL_WINDOWS_EXE).parent_path() / "serial_contract.exe").string();
    std::future<ProcessResult> checked = StartProcess(Wine(), {contract, "COM" + std::to_string(rows.size() + 1)}, options);
    for (int step = 0; step < 10 && contractLine.ServeContract(); ++step) {
    }
    const ProcessResult result = checked.get();
    EXPECT_TRUE(result.exitCode == 0 && result.out.empty()) << "serial contract under Wine: " << result.out << result.err;
    EXPECT_EQ(contractLine.got, std::string("\0\x55V", 3)) << "what reached the contract's far end";
    RunProcess(server, {"-k"}, options);
  }
}

class TableRun : public ::testing::TestWithParam<RunRow> {};

TEST_P(TableRun, InProcess) { RunInProcess(GetParam()); }

std::string RowName(const ::testing::TestParamInfo<RunRow>& info) {
  std::string name = std::to_string(info.index) + "_";
  for (char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

std::vector<RunRow> RowsFor(unsigned place) {
  std::vector<RunRow> rows;
  std::copy_if(RunTable().begin(), RunTable().end(), std::back_inserter(rows), [&](const RunRow& r) { return r.places & place; });
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Rows, TableRun, ::testing::ValuesIn(RowsFor(kInProcess)), RowName);

// The board answers the contract's bytes by itself; the line dies 120 ms in.
TEST(SerialContract, BoardLine) {
  board_line::Prepare({BoardConfig{}, SIZE_MAX, 0.12});
  EXPECT_EQ(CheckSerialContract("/dev/board"), "");
}

TEST(TableRun, Executable) { RunExecutables(RowsFor(kExecutable | kNative), false); }
TEST(TableRun, Wine) { RunExecutables(RowsFor(kWine), true); }
// The ARM builds under user-mode emulation, against the native h8board.
TEST(TableRun, Arm64) { RunExecutables(RowsFor(kExecutable), false, {"/usr/bin/qemu-aarch64", "-L", "/usr/aarch64-linux-gnu", KORVEL_ARM64_EXE}); }
TEST(TableRun, Armhf) { RunExecutables(RowsFor(kExecutable), false, {"/usr/bin/qemu-arm", "-L", "/usr/arm-linux-gnueabihf", KORVEL_ARMHF_EXE}); }

}  // namespace
