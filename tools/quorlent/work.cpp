// The work of quorlent: not built yet.  Until it is, the program says so
// honestly on standard error and ends with the failure status, so no script
// mistakes a run for a completed one.
#include "tools/quorlent/work.h"

#include <cstdio>

int QuorlentWork(const ScanResult&) {
    std::fputs("quorlent: not implemented yet\n", stderr);
    return 0;
}
