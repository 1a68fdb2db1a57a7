// h8board: the virtual H8/3048F board on a pseudo-terminal (h8board_tool.h).
#include "h8board_tool.h"

int main(int argc, char** argv) { return H8BoardMain(argc, argv); }
