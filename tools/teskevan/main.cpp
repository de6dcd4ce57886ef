// Entry point of teskevan: the tool frame runs the start-up sequence and the
// option scan from the program's table, then the program's work.
#include "tools/teskevan/teskevan_spec.h"
#include "tools/teskevan/work.h"

int main(int argc, char** argv) { return RunProgram(TeskevanSpec, TeskevanWork, argc, argv); }
