// Entry point of quorbisk: the tool frame runs the start-up sequence and the
// option scan from the program's table, then the program's work.
#include "tools/quorbisk/quorbisk_spec.h"
#include "tools/quorbisk/work.h"

int main(int argc, char** argv) { return RunProgram(QuorbiskSpec, QuorbiskWork, argc, argv); }
