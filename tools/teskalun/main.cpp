// Entry point of teskalun: the tool frame runs the start-up sequence and the
// option scan from the program's table, then the program's work.
#include "tools/teskalun/teskalun_spec.h"
#include "tools/teskalun/work.h"

int main(int argc, char** argv) { return RunProgram(TeskalunSpec, TeskalunWork, argc, argv); }
