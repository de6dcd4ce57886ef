// The work of teskorim: not built yet.  Until it is, the program says so
// honestly on standard error and ends with the failure status, so no script
// mistakes a run for a completed one.
#include "tools/teskorim/work.h"

#include <cstdio>

int TeskorimWork(const ScanResult&) {
    std::fputs("teskorim: not implemented yet\n", stderr);
    return 0;
}
