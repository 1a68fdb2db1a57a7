// The WebAssembly entry (korvel-web): the page calls korvel_web_run with
// the words of a command line, and korvel runs once, as the command line
// would, on the port the page chose. The page may call it again for the
// next run. Console text and progress go to the page as they come.
#include <emscripten.h>

#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "console.h"
#include "information_request.h"
#include "run_progress.h"
#include "startup.h"

namespace {

// The page's side (web/korvel-page.js), set on the module before the run.
EM_JS(void, ShowConsoleText, (const char* bytes, std::size_t size), {
  Module["korvelConsole"](UTF8ToString(bytes, size));
});

EM_JS(void, ShowProgress, (const char* unit, unsigned long done, unsigned long all), {
  Module["korvelProgress"](UTF8ToString(unit), done, all);
});

// The name the page gives for its port: a device in the browser's file
// system, so that korvel takes it for a device path like any other and
// shows it on the console. The Web Serial backend opens the chosen port
// whatever the name.
constexpr const char* kPortDevice = "/dev/webserial";

void MakePortDevice() {
  if (std::FILE* device = std::fopen(kPortDevice, "a")) std::fclose(device);
}

// The words, one a line (a file name may hold spaces).
std::vector<std::string> Words(const char* lines) {
  std::vector<std::string> words;
  std::string word;
  for (const char* p = lines; *p != '\0'; ++p) {
    if (*p != '\n') {
      word += *p;
    } else {
      words.push_back(word);
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

}  // namespace

// 0: "Success"; 1: "Fail" (or a refusal after the settings lines); 2: the
// command line was refused before the run. Standard error (the summary
// line) reaches the page through the module's printErr.
extern "C" EMSCRIPTEN_KEEPALIVE int korvel_web_run(const char* argumentLines) {
  std::vector<std::string> words = Words(argumentLines);
  words.insert(words.begin(), "korvel");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());

  MakePortDevice();
  SetConsoleSink([](const char* bytes, std::size_t size) { ShowConsoleText(bytes, size); });
  SetProgressWatcher([](const char* unit, unsigned long done, unsigned long all) { ShowProgress(unit, done, all); });
  const CommandLine line = ReadCommandLine(argc, argv.data());
  if (!line.usageProblem.empty()) {
    RefuseCommandLine(line.usageProblem);
    std::fflush(stderr);
    return 2;
  }
  Initialize(argc, argv.data());
  const bool success = Run();
  Terminate();
  std::fflush(stderr);
  return success ? 0 : 1;
}
