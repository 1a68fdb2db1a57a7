// The serial contract (serial_contract.h) for the Windows backend, built
// with korvel.exe and run under Wine by the run-table tests: prints the
// failures, exits with 0 when there are none.
#include <cstdio>

#include "serial_contract.h"

int main(int argc, char** argv) {
  const std::string failures = argc == 2 ? CheckSerialContract(argv[1]) : "usage: serial_contract PORT\n";
  std::fputs(failures.c_str(), stdout);
  return failures.empty() ? 0 : 1;
}
