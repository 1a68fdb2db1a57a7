// The command line: korvel's options anywhere, ports by name, exit codes.
#include <gtest/gtest.h>

#include "command_line.h"
#include "port_names.h"
#include "subprocess.h"

// Each row: the words after "korvel", and "port file [fast rate] [exit] [rate problem] [usage: problem]".
TEST(CommandLine, OptionsAnywhereAndWhatIsRefused) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "- -"},
      {{"/dev/ttyUSB0", "app.mot", "--fast"}, "/dev/ttyUSB0 app.mot fast 115200"},
      {{"--max-rate", "38400", "--fast", "COM3", "app.mot"}, "COM3 app.mot fast 38400"},
      {{"COM3", "--max-rate", "19200", "a.mot", "b.mot", "--exit-status", "--fast"}, "COM3 a.mot fast 19200 exit"},
      {{"--fast", "1", "--max-rate", "4800"}, "1 - fast 4800 [--max-rate 4800: give 115200, 57600, 38400, 19200 or 9600]"},
      // The first word alone names the port whatever it looks like; later ones must be options.
      {{"--HELP", "-x.mot"}, "--HELP -x.mot"},
      {{"--fast", "--exit-status", "--HELP"}, "- - fast 115200 exit usage: --HELP is not an option of korvel"},
      {{"1", "a.mot", "--fast", "--max-rate"}, "1 a.mot fast 115200 usage: --max-rate needs a value"},
      {{"1", "--max-rate", "9600"}, "1 - usage: --max-rate is the fast mode's: give --fast too"},
  };
  for (auto [words, expected] : cases) {
    std::vector<char*> argv = {const_cast<char*>("korvel")};
    for (std::string& word : words) argv.push_back(word.data());
    const CommandLine line = ReadCommandLine(static_cast<int>(argv.size()), argv.data());
    std::string text = std::string(line.port ? line.port : "-") + " " + (line.file ? line.file : "-");
    if (line.fast) text += " fast " + std::to_string(line.maxRate);
    text += std::string(line.exitStatus ? " exit" : "") + (line.rateProblem.empty() ? "" : " [" + line.rateProblem + "]");
    EXPECT_EQ(text + (line.usageProblem.empty() ? "" : " usage: " + line.usageProblem), expected);
  }
}

TEST(PortNames, TheNamesTheSystemGivesAPort) {
  const std::pair<const char*, std::string> cases[] = {
      {"COM5", "\\\\.\\COM5"}, {"com12", "\\\\.\\COM12"}, {"COM0", ""}, {"COM05", ""}, {"COM5x", ""}, {"xCOM5", ""},
      {"null", "/dev/null"}, {"korvel-none", ""}, {"../dev/null", ""}, {"..", ""}};
  for (const auto& [name, device] : cases) EXPECT_EQ(WindowsPortDevice(name) + PosixPortDevice(name), device) << name;
}

// Without --exit-status the code is 0 whatever happened; with it, 2 for a
// refused command line (nothing opened, the usage on standard error) and
// 1 for Fail (a file name too long: no try is made).
TEST(CommandLine, ExitCodes) {
  const std::string bogus = "korvel: --bogus is not an option of korvel\nUsage: korvel PORT [FILE]\n", name(600, 'n');
  const std::vector<std::tuple<std::vector<std::string>, int, std::string>> cases = {
      {{"/dev/null", "a.mot", "--bogus"}, 0, bogus}, {{"--exit-status", "/dev/null", "--bogus"}, 2, bogus},
      {{"/dev/null", name, "--exit-status"}, 1, "korvel: cannot open /dev/null"}, {{"/dev/null", name}, 0, "korvel: cannot"}};
  for (const auto& [args, code, errStart] : cases) {
    const ProcessResult run = RunProcess(KorvelPath(), args, 10);
    EXPECT_EQ(run.exitCode, code) << args[1];
    EXPECT_EQ(run.err.substr(0, errStart.size()), errStart) << run.err;
    EXPECT_EQ(run.out.empty(), errStart == bogus) << run.out;
  }
  // h8board's option errors are one line too, with where to look.
  EXPECT_EQ(RunProcess(H8BOARD_EXECUTABLE, {"--timeout"}, 10).err,
            "h8board: --timeout needs a value (h8board --help lists the options)\n");
}
