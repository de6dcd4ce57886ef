// teskevan removes accounts from one share's access list.  It has no options:
// only its first argument is tested for looking like one, so later arguments
// beginning with "-" are account names.  It needs the share and one account.
#include "tools/teskevan/teskevan_spec.h"

const ProgramSpec TeskevanSpec = {
    "teskevan",
    "TESKEVAN",
    "Revoke permissions from network shares",
    "usage: teskevan [\\\\server\\]share "
    "user user ...\n"
    "\n"
    "\tuser        Any valid user or group\n"
    "\n",
    nullptr, 0,
    2,
    ScanMode::FirstOnly,
};
