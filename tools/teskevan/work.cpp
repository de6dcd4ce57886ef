// The work of teskevan: not built yet.  Until it is, the program says so
// honestly on standard error and ends with the failure status, so no script
// mistakes a run for a completed one.
#include "tools/teskevan/work.h"

#include <cstdio>

int TeskevanWork(const ScanResult&) {
    std::fputs("teskevan: not implemented yet\n", stderr);
    return 0;
}
