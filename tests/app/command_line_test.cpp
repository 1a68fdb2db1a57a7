// The command line: korvel's options anywhere, ports by name, exit codes.
#include <gtest/gtest.h>

#include "command_line.h"
#include "port_names.h"
#include "subprocess.h"

// The words after "korvel", and "port file [fast rate] [exit] [rate problem] [usage: problem]". The first word
// alone names the port whatever it looks like; a later one that starts with "--" must be an option.
TEST(CommandLine, OptionsAnywhereAndWhatIsRefused) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "- -"}, {{"/dev/ttyUSB0", "app.mot", "--fast"}, "/dev/ttyUSB0 app.mot fast 10000000"}, {{"--HELP", "-x.mot"}, "--HELP -x.mot"},
      {{"--max-rate", "38400", "--fast", "COM3", "app.mot"}, "COM3 app.mot fast 38400"},
      {{"COM3", "--max-rate", "19200", "a.mot", "b.mot", "--exit-status", "--fast"}, "COM3 a.mot fast 19200 exit"},
      {{"--fast", "--exit-status", "--HELP"}, "- - fast 10000000 exit usage: --HELP is not an option of korvel"},
      {{"1", "a.mot", "--fast", "--max-rate"}, "1 a.mot fast 10000000 usage: --max-rate needs a value"},
      {{"1", "--max-rate", "9600"}, "1 - usage: --max-rate is the fast mode's: give --fast too"},
      {{"1", "--list"}, "1 - usage: --list counts only as the first argument"}, {{"1", "--version"}, "1 - usage: --version counts only as the first argument"}};
  for (auto [words, expected] : cases) {
    std::vector<char*> argv = {const_cast<char*>("korvel")};
    for (std::string& word : words) argv.push_back(word.data());
    const CommandLine l = ReadCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(std::string(l.port ? l.port : "-") + " " + (l.file ? l.file : "-") + (l.fast ? " fast " + std::to_string(l.maxRate) : "") +
              (l.exitStatus ? " exit" : "") + (l.rateProblem.empty() ? "" : " [" + l.rateProblem + "]") +
              (l.usageProblem.empty() ? "" : " usage: " + l.usageProblem), expected);
  }
}

TEST(PortNames, TheNamesTheSystemGivesAPort) {
  for (const auto& [name, device] : std::vector<std::pair<const char*, std::string>>{{"COM5", "\\\\.\\COM5"},
           {"com12", "\\\\.\\COM12"}, {"COM0", ""}, {"COM05", ""}, {"COM5x", ""}, {"null", "/dev/null"}, {"no-such", ""}, {"../dev/null", ""}})
    EXPECT_EQ(WindowsPortDevice(name) + PosixPortDevice(name), device) << name;
}

// --exit-status: 2 for a refused command line, 1 after Fail (a file name too long: no try is made). Without it the
// code stays 0 (here refused, the usage on standard error; the executable rows after Fail).
TEST(CommandLine, ExitCodesAndRefusals) {
  const std::string name(600, 'n'), usage = "korvel: --bogus is not an option of korvel\nUsage: korvel PORT [FILE]\n";
  EXPECT_EQ(RunProcess(KorvelPath(), {"--exit-status", "/dev/null", "--bogus"}, 10).exitCode, 2);
  EXPECT_EQ(RunProcess(KorvelPath(), {"/dev/null", name, "--exit-status"}, 10).exitCode, 1);
  const ProcessResult refused = RunProcess(KorvelPath(), {"1", "a.mot", "--bogus"}, 10);
  EXPECT_EQ(std::to_string(refused.exitCode) + refused.out + refused.err.substr(0, usage.size()), "0" + usage);
  // h8board: a refused option, --help alone, a --link where a file stands (left as it is).
  const std::string file = KORVEL_SOURCE_DIR "/tests/runs/files/three.mot";
  for (const auto& [args, expected] : std::vector<std::pair<std::vector<std::string>, std::string>>{{{"--timeout"}, "2h8board: --timeout needs a value (h8board --help lists the options)\n"},
           {{"--help", "--link", file}, "0usage: h8board [options]\n"}, {{"--link", file}, "1h8board: cannot link " + file + ": it exists and is not a symbolic link\n"}}) {
    const ProcessResult run = RunProcess(H8BOARD_EXECUTABLE, args, 10);
    EXPECT_EQ(std::to_string(run.exitCode) + run.err + run.out.substr(0, run.out.find('\n') + 1), expected);
  }
  // h8board alone, given up after --timeout: the flash it was given dumped (erased bytes left out), an --out it cannot write named.
  const ProcessResult alone = RunProcess(H8BOARD_EXECUTABLE, {"--preload", file, "--timeout", "0.1",
                                                               "--dump", "/dev/stdout", "--out", "/nonexistent/f.bin"}, 10);
  EXPECT_EQ(std::to_string(alone.exitCode) + alone.err.substr(0, 41) + alone.out.substr(alone.out.find("S0")),
            "1h8board: cannot write /nonexistent/f.bin\nS00A00006838626F6172644D\r\n"
            "S22400010010345A7EA4C8EE12385C82A6CCF0163A1A40648AAED4F81E42688CB2D6FC20468A\r\nS804000000FB\r\n") << alone.err;
  // h8board stopped by SIGTERM once it serves its line (the link made): the summary, and exit code 3.
  const ProcessResult stopped = RunProcess("/bin/sh", {"-c", "l=/tmp/h8board-$$; \"$0\" --link $l --timeout 30 & until [ -L $l ]; do sleep 0.05; done; kill $!; wait $!", H8BOARD_EXECUTABLE}, 20);
  EXPECT_TRUE(stopped.exitCode == 3 && stopped.err.find("h8board: 0 bytes programmed") == 0 && stopped.err.find("; interrupted after ") != std::string::npos) << stopped.err;
}
