// Console output helpers. Everything the programmer shows goes through
// these. On a terminal each call's text reaches the screen before it
// returns, so progress dots appear one by one while the serial exchanges
// run; into a file or a pipe it is buffered, one write a block.
#ifndef KORVEL_RUNTIME_CONSOLE_H
#define KORVEL_RUNTIME_CONSOLE_H

#include <cstddef>
#include <functional>
#include <string>

// Room for one Print call: at most kPrintRoom - 1 characters are written.
constexpr std::size_t kPrintRoom = 128;

// printf-style formatting into kPrintRoom bytes, written without line end.
// The text ends at its first NUL, as a C string does.
void Print(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Writes "\r\n".
void NewLine();

// Writes the BEL character and nothing else.
void Beep();

// Writes a text of any length through as many Print-sized pieces as it
// takes (for file names and long records).
void PrintLong(const std::string& text);

// Where console text goes; standard output unless a test captures it.
using ConsoleSink = std::function<void(const char* bytes, std::size_t size)>;
void SetConsoleSink(ConsoleSink sink);  // an empty sink restores stdout

// Standard output is a terminal (a line can be redrawn in place) and no
// sink takes the text.
bool ConsoleIsTerminal();

// Writes out what standard output holds back; at the run's end.
void FlushConsole();

// One line on standard error, after the console text before it.
void PrintErrorLine(const std::string& line);

// Writes out what standard output holds back; at the run's end.
void FlushConsole();

// One line on standard error, after the console text before it.
void PrintErrorLine(const std::string& line);

#endif
