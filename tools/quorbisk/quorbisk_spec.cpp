// quorbisk takes registry rights away from accounts given as user:perms
// items.  Beside the registry options it has two quiet levels.  The scan
// needs only one positional argument, the subkey (the last one); whether any
// user item came before it is for the work to judge.
#include "tools/quorbisk/quorbisk_spec.h"

namespace {

const OptionSpec options[] = {
    REGISTRY_ROOT_OPTIONS,
    {"-r", OptionKind::Flag, nullptr},
    {"-q1", OptionKind::Flag, nullptr},
    {"-q2", OptionKind::Flag, nullptr},
    {"-s", OptionKind::Value, nullptr},
};

}  // namespace

const ProgramSpec QuorbiskSpec = {
    "quorbisk",
    "QUORBISK",
    "Revoke security on registry keys",
    "usage: quorbisk [-lm|-cr|-cu|-u] [-q1|-q2] [-r] [-s server]\n"
    "                  user:perms user:perms ... subkey\n"
    "\n"
    "\t-lm     HKEY_LOCAL_MACHINE (default)\n"
    "\t-cr     HKEY_CLASSES_ROOT\n"
    "\t-cu     HKEY_CURRENT_USER\n"
    "\t-u      HKEY_USERS\n"
    "\t-r      Recurse subkeys\n"
    "\t-q1     Quiet - skip display of unmodified keys\n"
    "\t-q2     Quiet - only print errors\n"
    "\n"
    "Permission codes:\n"
    "  Q = Query Value       W = Set Value\n"
    "  C = Create Subkey     E = Enumerate Subkey\n"
    "  N = Notify            L = Create Link\n"
    "  D = Delete            R = Read Control\n"
    "  P = Write DAC         O = Write Owner\n"
    "  Full = QWCENLDRPO     Read = QENR\n",
    options, static_cast<int>(sizeof options / sizeof options[0]),
    1,
    ScanMode::Full,
};
