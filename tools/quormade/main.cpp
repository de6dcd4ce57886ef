// Entry point of quormade: the tool frame runs the start-up sequence and the
// option scan from the program's table, then the program's work.
#include "tools/quormade/quormade_spec.h"
#include "tools/quormade/work.h"

int main(int argc, char** argv) { return RunProgram(QuormadeSpec, QuormadeWork, argc, argv); }
