// Entry point of quortane: the tool frame runs the start-up sequence and the
// option scan from the program's table, then the program's work.
#include "tools/quortane/quortane_spec.h"
#include "tools/quortane/work.h"

int main(int argc, char** argv) { return RunProgram(QuortaneSpec, QuortaneWork, argc, argv); }
