#include "startup.h"

int main(int argc, char** argv) {
  Initialize(argc, argv);
  Run();
  Terminate();
  return 0;
}
