// The work of quorbisk: not built yet.  Until it is, the program says so
// honestly on standard error and ends with the failure status, so no script
// mistakes a run for a completed one.
#include "tools/quorbisk/work.h"

#include <cstdio>

int QuorbiskWork(const ScanResult&) {
    std::fputs("quorbisk: not implemented yet\n", stderr);
    return 0;
}
