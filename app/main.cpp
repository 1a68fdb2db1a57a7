#include "information_request.h"
#include "startup.h"

int main(int argc, char** argv) {
  if (AnswerInformationRequest(argc, argv)) return 0;
  Initialize(argc, argv);
  Run();
  Terminate();
  return 0;
}
