// quormade makes one account the owner of a registry key or key tree.  It
// takes the registry options of the other registry programs and needs two
// positional arguments, the new owner and the subkey.
#include "tools/quormade/quormade_spec.h"

namespace {

const OptionSpec options[] = {
    REGISTRY_ROOT_OPTIONS,
    {"-r", OptionKind::Flag, nullptr},
    {"-s", OptionKind::Value, nullptr},
};

}  // namespace

const ProgramSpec QuormadeSpec = {
    "quormade",
    "QUORMADE",
    "Set registry security subkey ownership",
    "usage: quormade [-lm|-cr|-cu|-u] [-r] [-s server] newowner subkey\n"
    "\n"
    "\t-lm     HKEY_LOCAL_MACHINE (default)\n"
    "\t-cr     HKEY_CLASSES_ROOT\n"
    "\t-cu     HKEY_CURRENT_USER\n"
    "\t-u      HKEY_USERS\n"
    "\t-r      Recurse subkeys\n"
    "\n",
    options, static_cast<int>(sizeof options / sizeof options[0]),
    2,
    ScanMode::Full,
};
