// Entry point of teskorim: the tool frame runs the start-up sequence and the
// option scan from the program's table, then the program's work.
#include "tools/teskorim/teskorim_spec.h"
#include "tools/teskorim/work.h"

int main(int argc, char** argv) { return RunProgram(TeskorimSpec, TeskorimWork, argc, argv); }
