#include "console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

ConsoleSink g_sink;

bool StdoutIsTerminal() {
#ifdef _WIN32
  static const bool terminal = _isatty(_fileno(stdout)) != 0;
#else
  static const bool terminal = isatty(fileno(stdout)) != 0;
#endif
  return terminal;
}

void WriteStdout(const char* bytes, std::size_t size) {
#ifdef _WIN32
  // Binary mode: "\r\n" must reach the console as written, not as "\r\r\n".
  static const bool binary = (_setmode(_fileno(stdout), _O_BINARY), true);
  (void)binary;
#endif
  std::fwrite(bytes, 1, size, stdout);
  // A console shows each dot as it comes; a file or a pipe takes the text
  // in the C library's blocks (FlushConsole before standard error).
  if (StdoutIsTerminal()) std::fflush(stdout);
}

void Write(const char* bytes, std::size_t size) {
  if (size == 0) return;
  if (g_sink)
    g_sink(bytes, size);
  else
    WriteStdout(bytes, size);
}

}  // namespace

void Print(const char* format, ...) {
  char buffer[kPrintRoom];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return;
  Write(buffer, std::strlen(buffer));
}

void NewLine() { Write("\r\n", 2); }

void Beep() { Write("\a", 1); }

void PrintLong(const std::string& text) {
  const std::size_t piece = kPrintRoom - 1;
  const std::size_t length = std::strlen(text.c_str());
  for (std::size_t at = 0; at < length; at += piece) {
    const std::string part = text.substr(at, piece);
    Print("%s", part.c_str());
  }
}

void SetConsoleSink(ConsoleSink sink) { g_sink = std::move(sink); }

bool ConsoleIsTerminal() { return !g_sink && StdoutIsTerminal(); }

void FlushConsole() { std::fflush(stdout); }

void PrintErrorLine(const std::string& line) {
  FlushConsole();
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}
