// The work of quortane: not built yet.  Until it is, the program says so
// honestly on standard error and ends with the failure status, so no script
// mistakes a run for a completed one.
#include "tools/quortane/work.h"

#include <cstdio>

int QuortaneWork(const ScanResult&) {
    std::fputs("quortane: not implemented yet\n", stderr);
    return 0;
}
