// The work of quormade: not built yet.  Until it is, the program says so
// honestly on standard error and ends with the failure status, so no script
// mistakes a run for a completed one.
#include "tools/quormade/work.h"

#include <cstdio>

int QuormadeWork(const ScanResult&) {
    std::fputs("quormade: not implemented yet\n", stderr);
    return 0;
}
