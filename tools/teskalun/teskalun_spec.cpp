// teskalun lists who holds which rights on one share, or on every share of a
// server whose name matches a wildcard.  It has no options: only its first
// argument is tested for looking like one, and arguments after the first are
// left to the work, which ignores them.
#include "tools/teskalun/teskalun_spec.h"

const ProgramSpec TeskalunSpec = {
    "teskalun",
    "TESKALUN",
    "List share security",
    "usage: teskalun [\\\\server\\]share\n"
    "\n"
    "share may be specified as a wildcard\n",
    nullptr, 0,
    1,
    ScanMode::FirstOnly,
};
