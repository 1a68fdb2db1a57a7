#include "run_harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "board_line.h"
#include "console.h"
#include "expected_console.h"
#include "h8board_tool.h"
#include "startup.h"
#include "subprocess.h"
#include "transfer_test_files.h"
#include "write_control_program.h"

namespace {

constexpr const char* kInProcessDevice = "/dev/board";
constexpr int kRealSecondsPerRun = 20;  // in process; a run that takes longer hangs

std::string SampleFolder() {
  static std::string folder = [] {
    for (const char* tool : {"h8300-hms-gcc", "h8300-hms-objcopy", "srec_cat"})
      if (!ToolAvailable(tool)) return std::string();
    const std::string dir = BinaryPath("tests/runs/samples");
    const int lock = open((dir + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    flock(lock, LOCK_EX);  // test processes run in parallel: one makes the folder
    if (access((dir + "/.made").c_str(), F_OK) != 0 &&
        RunTool("rm -rf '" + dir + "' && '" + SourcePath("tools/make_sample_records.sh") + "' '" + dir + "'"))
      std::ofstream(dir + "/.made") << "made";
    close(lock);
    return access((dir + "/.made").c_str(), F_OK) == 0 ? dir : std::string();
  }();
  return folder;
}

std::string BuiltFile(const TempFolder& folder, const std::string& name) {
  const std::string first = MakeRecord(1, 0x0100, Pattern(16, 1)), second = MakeRecord(1, 0x0110, Pattern(16, 2));
  const Lines three = {MakeRecord(0, 0, {'h', 'd', 'r'}), first, second, MakeRecord(9, 0x0100)};
  std::string bad = second;
  bad.back() = bad.back() == '0' ? '1' : '0';
  if (name == "three.mot") return folder.Write(name, CrLfFile(three));
  if (name == "three_lf.mot") return folder.Write(name, three[0] + "\n" + first + "\n" + second + "\n" + three[3] + "\n\x1a");
  if (name == "bad_checksum.mot") return folder.Write(name, CrLfFile({three[0], first, bad, three[3]}));
  if (name == "no_data.mot") return folder.Write(name, CrLfFile({three[0], three[3]}));
  if (name == "outside.mot") return folder.Write(name, CrLfFile({first, MakeRecord(2, 0x1FFF8, Pattern(16, 3))}));
  if (name == "one_long_line.mot") return folder.Write(name, "S2" + std::string(4998, 'A') + "\r\n");
  if (name == "bad_after_long.mot") return folder.Write(name, CrLfFile({three[0], "; " + std::string(4998, '-'), bad}));
  // Six NULs over the head of the second record, as a file damaged on its
  // way to the disk: its data can no longer be told.
  if (name == "damaged.mot")
    return folder.Write(name, first + "\r\n" + std::string(6, '\0') + second.substr(6) + "\r\n" + three[3] + "\r\n");
  if (name == "noise.bin") {
    std::mt19937 random(3048);
    std::string noise(64 * 1024, '\0');
    for (char& b : noise) b = static_cast<char>(random() & 0xFF);
    return folder.Write(name, noise);
  }
  if (name == "huge.mot") {  // good records all within the flash, the last one bad
    std::string block;
    for (unsigned i = 0; i < 256; ++i) block += MakeRecord(1, i * 16, Pattern(16, i)) + "\r\n";
    std::ofstream out(folder.Path(name), std::ios::binary);
    for (int i = 0; i < 5'000'000 / static_cast<int>(block.size()) + 1; ++i) out << block;
    out << bad << "\r\n";
    return folder.Path(name);
  }
  if (name == "folder.mot") mkdir(folder.Path(name).c_str(), 0755);
  return folder.Path(name);
}

// The lines the host sends as records: those that begin with "S".
Lines RecordLinesOf(const std::string& path) {
  Lines records;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return records;
  std::istringstream text(ReadWholeFile(path));
  for (std::string line; std::getline(text, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\x1a')) line.pop_back();
    if (!line.empty() && line[0] == 'S') records.push_back(line);
  }
  return records;
}

std::string Dots(std::size_t count) {
  std::string text = "\r\nTransfer...";
  for (std::size_t p = 0; p < count; ++p) text += p % 64 == 0 ? "\r\n." : ".";
  return text;
}

// What the chip must have received, by the row.
std::string ExpectedHostBytes(const RunRow& row, const std::string& file) {
  std::string load = {'\x55', '\x03', '\x45'};
  load.append(reinterpret_cast<const char*>(kWriteControlProgram), kWriteControlProgramSize);
  std::string bytes(static_cast<std::size_t>(row.syncTries), '\0');
  bytes += row.loadBytes < 0 ? load : load.substr(0, static_cast<std::size_t>(row.loadBytes));
  const Lines records = RecordLinesOf(file);
  for (std::size_t i = 0; i < records.size() && (row.records < 0 || i < static_cast<std::size_t>(row.records)); ++i)
    bytes += records[i];
  return bytes;
}

// The flash after programming the file, by srec_cat: H'FF where it gives nothing.
std::string FlashOfFile(const std::string& file) {
  TempFolder folder;
  const std::string bin = folder.Path("flash.bin");
  if (!RunTool("srec_cat '" + file + "' -fill 0xFF 0 0x20000 -o '" + bin + "' -binary")) return "srec_cat failed";
  return ReadWholeFile(bin);
}

// Ends the test process when a run hangs, instead of waiting for CTest.
class Watchdog {
 public:
  explicit Watchdog(const std::string& name) : thread_([this, name] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!done_.wait_for(lock, std::chrono::seconds(kRealSecondsPerRun), [this] { return finished_; })) {
        std::fprintf(stderr, "run '%s' still going after %d s\n", name.c_str(), kRealSecondsPerRun);
        std::_Exit(1);
      }
    }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    done_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

// Standard error into a file for the length of the object.
class CapturedStderr {
 public:
  CapturedStderr() : path_(folder_.Path("err")) {
    std::fflush(stderr);
    saved_ = dup(2);
    const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
  }
  std::string Stop() {
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    return ReadWholeFile(path_);
  }

 private:
  TempFolder folder_;
  std::string path_;
  int saved_ = -1;
};

// The row's h8board options, "{file}" replaced by the program file's path.
std::vector<std::string> BoardArguments(const RunRow& row, const std::string& file) {
  std::vector<std::string> args = row.board;
  for (std::string& arg : args)
    if (arg == "{file}") arg = file;
  return args;
}

std::string FileArgument(const RunRow& row) {
  return row.file.rfind("=", 0) == 0 ? row.file.substr(1) : ProgramFile(row.file);
}

// shown: the file name as korvel got it; file: where the test finds it.
std::string ExpectedConsole(const RunRow& row, const std::string& device, const std::string& shown,
                            const std::string& file) {
  if (row.file.rfind("=", 0) == 0 && row.file.size() > 528) {  // a name too long for its buffer
    const std::string banner = ExpectedBanner(device, "");
    return banner.substr(0, banner.rfind("Program MOT Filename=")) + ExpandConsole(row.console, file);
  }
  return ExpectedBanner(device, shown) + ExpandConsole(row.console, file);
}

}  // namespace

std::string ProgramFile(const std::string& name) {
  static TempFolder folder;
  static std::map<std::string, std::string> made;
  if (made.count(name)) return made[name];
  const std::string sample = name.rfind("blink", 0) == 0 || name.rfind("random", 0) == 0 || name.rfind("top4k", 0) == 0
                                 ? SampleFolder()
                                 : "-";
  if (sample.empty()) return "";
  return made[name] = sample == "-" ? BuiltFile(folder, name) : sample + "/" + name;
}

std::string ExpandConsole(const std::string& text, const std::string& file) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t end = text.find('}', i);
    if (text[i] != '{' || end == std::string::npos) {
      out += text[i];
      continue;
    }
    std::vector<std::string> parts;
    std::istringstream token(text.substr(i + 1, end - i - 1));
    for (std::string part; std::getline(token, part, ':');) parts.push_back(part);
    const std::string& what = parts[0];
    if (what == "file") out += file;
    if (what == "load") out += Dots(kWriteControlProgramSize) + "\r\n\r\nWAIT H3048 response...OK\r\n";
    if (what == "dots") out += Dots(std::stoul(parts[1]));
    if (what == "rec") out += RecordLinesOf(file).at(std::stoul(parts[1]) - 1);
    if (what == "records")
      for (const std::string& r : RecordLinesOf(file)) out += r + ":OK:U\r\n";
    if (what == "lines") {
      const std::string whole = ReadWholeFile(file);
      out += std::to_string(std::count(whole.begin(), whole.end(), '\n'));
    }
    if (what == "tries")
      for (int n = std::stoi(parts[1]); n > 0; --n) out += "." + parts[2];
    if (what == "fail") out += ExpectedFail();
    if (what == "success") out += ExpectedSuccess();
    i = end;
  }
  return out;
}

void RunInProcess(const RunRow& row) {
  SCOPED_TRACE(row.name);
  const std::string file = FileArgument(row);
  if (file.empty()) GTEST_SKIP() << "the cross toolchain or srec_cat is missing for " << row.file;
  H8BoardOptions options;
  std::string why;
  ASSERT_TRUE(ParseH8BoardOptions(BoardArguments(row, file), &options, &why)) << why;
  board_line::Setup setup;
  setup.board = options.board;
  setup.hostBytesThatArrive = row.hostBytesThatArrive;
  board_line::Prepare(setup);

  std::string console;
  SetConsoleSink([&console](const char* bytes, std::size_t size) { console.append(bytes, size); });
  std::string device = kInProcessDevice, name = file, program = "korvel";
  char* argv[] = {program.data(), device.data(), name.data(), nullptr};
  std::string err;
  {
    Watchdog watchdog(row.name);
    CapturedStderr captured;
    Initialize(3, argv);
    Run();
    Terminate();
    err = captured.Stop();
  }
  SetConsoleSink(nullptr);

  EXPECT_FALSE(board_line::CapReached()) << "the run went on past its virtual time";
  EXPECT_EQ(NormaliseBuildStamp(console), ExpectedConsole(row, kInProcessDevice, file, file));
  EXPECT_EQ(err, row.err);
  const std::vector<std::uint8_t>& sent = board_line::HostBytes();
  EXPECT_EQ(std::string(sent.begin(), sent.end()), ExpectedHostBytes(row, file)) << "what the chip received";
  Board* board = board_line::LastBoard();
  if (board == nullptr) return;
  if (row.flash == FlashAfter::kFile) {
    const std::string expected = FlashOfFile(file);
    EXPECT_TRUE(expected == std::string(board->Flash().Cells(), board->Flash().Cells() + FlashMemory::kSize))
        << "the flash differs from the file";
    EXPECT_EQ(board->Bus().GetStats().unguardedPulses, 0u);
  }
  if (row.flash == FlashAfter::kNothingProgrammed) {
    EXPECT_EQ(board->Flash().GetStats().bytesProgrammed, 0u);
  }
}

void RunExecutable(const RunRow& row) {
  SCOPED_TRACE(row.name);
  const std::string file = FileArgument(row);
  if (file.empty()) GTEST_SKIP() << "the cross toolchain or srec_cat is missing for " << row.file;
  TempFolder folder;
  std::vector<std::string> args = BoardArguments(row, file);
  args.insert(args.end(), {"--out", folder.Path("flash.bin"), "--timeout", "60"});
  BackgroundProcess board(H8BOARD_EXECUTABLE, args);
  const std::string pty = board.ReadLine(10);
  ASSERT_EQ(pty.rfind("/dev/pts/", 0), 0u) << pty;
  const ProcessResult run = RunProcess(KorvelPath(), {pty, file}, 60);
  const ProcessResult served = board.Wait(10);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(NormaliseBuildStamp(run.out), ExpectedConsole(row, pty, file, file));
  EXPECT_EQ(run.err, row.err);
  if (row.flash == FlashAfter::kFile) {
    EXPECT_TRUE(ReadWholeFile(folder.Path("flash.bin")) == FlashOfFile(file)) << "the flash differs from the file";
  }
  if (row.flash == FlashAfter::kNothingProgrammed) {
    EXPECT_EQ(served.err.rfind("h8board: 0 bytes programmed", 0), 0u) << served.err;
  }
}

namespace {

std::string Wine() {
  for (const char* candidate : {"/usr/lib/wine/wine64", "/usr/bin/wine64", "/usr/bin/wine"})
    if (access(candidate, X_OK) == 0) return candidate;
  return "";
}

// A Wine prefix made once in the build tree (wineboot takes half a minute).
std::string WinePrefix(const ProcessOptions& options) {
  const std::string prefix = BinaryPath("tests/wine-prefix");
  const int lock = open((prefix + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  flock(lock, LOCK_EX);
  if (access((prefix + "/.made").c_str(), F_OK) != 0 && RunProcess(Wine(), {"wineboot", "-i"}, options).exitCode == 0)
    std::ofstream(prefix + "/.made") << "made";
  close(lock);
  return access((prefix + "/.made").c_str(), F_OK) == 0 ? prefix : "";
}

}  // namespace

void RunUnderWine(const std::vector<RunRow>& rows) {
  if (Wine().empty()) GTEST_SKIP() << "Wine is not installed (package wine64)";
  if (access(KORVEL_WINDOWS_EXE, R_OK) != 0) GTEST_SKIP() << "no " << KORVEL_WINDOWS_EXE << ": build-win first";
  TempFolder work;
  ProcessOptions options;
  options.timeoutSeconds = 120;
  options.workingDirectory = work.Path("");
  options.environment = {"WINEPREFIX=" + BinaryPath("tests/wine-prefix"), "WINEDLLOVERRIDES=mscoree,mshtml=",
                         "WINEDEBUG=-all"};
  const std::string prefix = WinePrefix(options);
  ASSERT_FALSE(prefix.empty()) << "wineboot failed";
  const std::string server = std::filesystem::path(Wine()).parent_path() / "wineserver";
  RunProcess(server, {"-k"}, options);  // the registry is read afresh at the next start
  // COM<i+1> is row i's board: the ports go straight into the prefix's
  // registry file, so no Wine process is started to map them.
  std::vector<std::unique_ptr<BackgroundProcess>> boards;
  std::string ports = "[Software\\\\Wine\\\\Ports]\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::vector<std::string> args = rows[i].board;
    args.insert(args.end(), {"--out", work.Path(std::to_string(i) + ".bin"), "--timeout", "100"});
    boards.push_back(std::make_unique<BackgroundProcess>(H8BOARD_EXECUTABLE, args));
    ports += "\"COM" + std::to_string(i + 1) + "\"=\"" + boards.back()->ReadLine(10) + "\"\n";
  }
  std::string registry = ReadWholeFile(prefix + "/system.reg");
  const std::size_t at = registry.find("[Software\\\\Wine\\\\Ports]");
  if (at != std::string::npos) registry.erase(at, registry.find("\n\n", at) - at + 1);
  std::ofstream(prefix + "/system.reg", std::ios::binary | std::ios::trunc) << registry << "\n" << ports;
  // The server apart, so that what it writes is not korvel.exe's standard error.
  BackgroundProcess serving("/bin/sh", {"-c", "exec '" + server + "' -f >/dev/null 2>&1"}, options);
  std::vector<std::future<ProcessResult>> runs;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string name = std::to_string(i) + ".mot";
    std::filesystem::copy_file(ProgramFile(rows[i].file), work.Path(name));
    runs.push_back(std::async(std::launch::async, [&, i, name] {
      return RunProcess(Wine(), {KORVEL_WINDOWS_EXE, std::to_string(i + 1), name}, options);
    }));
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    const ProcessResult run = runs[i].get();
    boards[i]->Wait(10);
    EXPECT_EQ(NormaliseBuildStamp(run.out),
              ExpectedConsole(rows[i], std::to_string(i + 1), std::to_string(i) + ".mot", work.Path(std::to_string(i) + ".mot")));
    EXPECT_EQ(run.err, rows[i].err);
    if (rows[i].flash == FlashAfter::kFile) {
      EXPECT_TRUE(ReadWholeFile(work.Path(std::to_string(i) + ".bin")) == FlashOfFile(work.Path(std::to_string(i) + ".mot")));
    }
  }
  RunProcess(server, {"-k"}, options);
}
