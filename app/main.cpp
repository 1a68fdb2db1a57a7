#include "command_line.h"
#include "information_request.h"
#include "program_chip.h"
#include "startup.h"

int main(int argc, char** argv) {
  if (AnswerInformationRequest(argc, argv)) return 0;
  const CommandLine line = ReadCommandLine(argc, argv);
  if (!line.usageProblem.empty()) {
    RefuseCommandLine(line.usageProblem);
    return line.exitStatus ? 2 : 0;
  }
  Initialize(argc, argv);
  const bool success = Run();
  Terminate();
  return line.exitStatus && !success ? 1 : 0;
}
