// teskorim grants rights on one share to accounts given as account:rights
// items.  Its single option "-clear" may be repeated; the share path and at
// least one item must follow the options.
#include "tools/teskorim/teskorim_spec.h"

namespace {

const OptionSpec options[] = {
    {"-clear", OptionKind::Flag, nullptr},
};

}  // namespace

const ProgramSpec TeskorimSpec = {
    "teskorim",
    "TESKORIM",
    "Grant permissions on network shares",
    "usage: teskorim [-clear] [\\\\server\\]share "
    "user:perms user:perms ...\n"
    "\n"
    "\tuser        Any valid user or group\n"
    "\tperms       Can be one of none,read,change or full\n"
    "\n",
    options, static_cast<int>(sizeof options / sizeof options[0]),
    2,
    ScanMode::Full,
};
