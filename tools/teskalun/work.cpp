// The work of teskalun: not built yet.  Until it is, the program says so
// honestly on standard error and ends with the failure status, so no script
// mistakes a run for a completed one.
#include "tools/teskalun/work.h"

#include <cstdio>

int TeskalunWork(const ScanResult&) {
    std::fputs("teskalun: not implemented yet\n", stderr);
    return 0;
}
