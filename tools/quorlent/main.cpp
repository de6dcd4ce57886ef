// Entry point of quorlent: the tool frame runs the start-up sequence and the
// option scan from the program's table, then the program's work.
#include "tools/quorlent/quorlent_spec.h"
#include "tools/quorlent/work.h"

int main(int argc, char** argv) { return RunProgram(QuorlentSpec, QuorlentWork, argc, argv); }
