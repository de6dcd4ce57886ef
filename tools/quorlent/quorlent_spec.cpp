// quorlent lists the owner, access list and audit list of a registry key, or
// with "-r" of a whole key tree.  Options choose the root (last one wins),
// recursion and a remote server; the subkey is the one positional argument
// the work needs.
#include "tools/quorlent/quorlent_spec.h"

namespace {

const OptionSpec options[] = {
    REGISTRY_ROOT_OPTIONS,
    {"-r", OptionKind::Flag, nullptr},
    {"-s", OptionKind::Value, nullptr},
};

}  // namespace

const ProgramSpec QuorlentSpec = {
    "quorlent",
    "QUORLENT",
    "List registry security",
    "usage: quorlent [-lm|-cr|-cu|-u] [-r] [-s server] subkey\n"
    "\n"
    "\t-lm     HKEY_LOCAL_MACHINE (default)\n"
    "\t-cr     HKEY_CLASSES_ROOT\n"
    "\t-cu     HKEY_CURRENT_USER\n"
    "\t-u      HKEY_USERS\n"
    "\t-r      Recurse subkeys\n"
    "\n"
    "Permission codes:\n"
    "  Q = Query Value       W = Set Value\n"
    "  C = Create Subkey     E = Enumerate Subkey\n"
    "  N = Notify            L = Create Link\n"
    "  D = Delete            R = Read Control\n"
    "  P = Write DAC         O = Write Owner\n"
    "\n"
    "Hint: specify \"\" as the subkey for the root.\n",
    options, static_cast<int>(sizeof options / sizeof options[0]),
    1,
    ScanMode::Full,
};
