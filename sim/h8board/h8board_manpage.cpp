// Writes h8board's manual page (roff, man(7)) to standard output: the
// options and their help come from the option table, so the page always
// lists the options that h8board takes. The build runs it for h8board.1.
// Argument: the version for the page's footer.
#include <cctype>
#include <iostream>
#include <string>

#include "h8board_options.h"
#include "h8board_tool.h"

namespace {

// Text for roff: backslashes escaped, minus signs as such, and no line that
// begins with a control character.
std::string Roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else if (c == '\n') out += ' ';
    else out += c;
  }
  return !out.empty() && (out[0] == '.' || out[0] == '\'') ? "\\&" + out : out;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string version = argc > 1 ? argv[1] : "";
  std::cout << ".TH H8BOARD 1 \"\" \"h8board " << version << "\" \"User Commands\"\n"
            << ".SH NAME\n"
               "h8board \\- virtual H8/3048F board in boot mode on a pseudo\\-terminal\n"
               ".SH SYNOPSIS\n"
               ".B h8board\n"
               ".RI [ options ]\n"
               ".SH DESCRIPTION\n"
               ".B h8board\n"
               "is an H8/3048F microcontroller in boot mode, with its serial port SCI1 at\n"
               "the far end of a pseudo\\-terminal: an H8/300H instruction\\-set simulator\n"
               "runs the chip's boot program and whatever program a host loads into it,\n"
               "with the 128 KB flash memory and its program and verify registers, the\n"
               "watchdog timer, and the chip's clock range of 2 to 16 MHz. It keeps a log\n"
               "of every program pulse and its waits (\\fB\\-\\-flash\\-log\\fR) and counts\n"
               "in its summary each that lies outside the flash's timing envelope.\n"
               "It prints the path of the terminal, serves one programming run (until the\n"
               "host, having opened the line, closes it again), then writes the flash\n"
               "and a summary line on standard error.\n"
               ".PP\n"
               "Use it to try\n"
               ".BR korvel (1),\n"
               "or a build that makes programs for the chip, without a board. The fault\n"
               "options make the board behave like one that is not in boot mode, a line\n"
               "that loses bytes, or flash that does not program.\n"
               ".SH OPTIONS\n";
  for (const H8BoardOptionText& option : H8BoardOptionTexts()) {
    if (option.name.empty()) {
      std::string heading = option.help;
      if (!heading.empty() && heading.back() == ':') heading.pop_back();
      if (!heading.empty()) heading[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(heading[0])));
      std::cout << ".SS " << Roff(heading) << "\n";
      continue;
    }
    std::cout << ".TP\n.B " << Roff(option.name) << (option.argument.empty() ? "" : " \\fI" + Roff(option.argument) + "\\fR")
              << "\n" << Roff(option.help) << "\n";
  }
  std::cout << ".TP\n.BR \\-h \", \" \\-\\-help\n"
               "show the options and exit\n"
               ".SH EXIT STATUS\n"
               ".TP\n" << kH8BoardServed << "\nthe run was served: the host opened the line and closed it\n"
               ".TP\n" << kH8BoardFault << "\nthe simulated CPU met an unknown instruction, or a file or the terminal failed\n"
               ".TP\n" << kH8BoardUsage << "\nbad options\n"
               ".TP\n" << kH8BoardCutShort << "\n\\-\\-timeout, or a signal, ended the run first\n"
               ".SH EXAMPLES\n"
               "Program a file into the board and keep its flash as an image:\n"
               ".PP\n"
               ".nf\n"
               "h8board \\-\\-link /tmp/h8board \\-\\-out flash.bin &\n"
               "korvel /tmp/h8board app.mot\n"
               ".fi\n"
               ".PP\n"
               "The same at the real 9600 bit/s, with the answers held back 16 ms like a\n"
               "USB serial adapter's:\n"
               ".PP\n"
               ".nf\n"
               "h8board \\-\\-pace \\-\\-latency 16 \\-\\-link /tmp/h8board &\n"
               ".fi\n"
               ".SH SEE ALSO\n"
               ".BR korvel (1)\n";
  return std::cout ? 0 : 1;
}
