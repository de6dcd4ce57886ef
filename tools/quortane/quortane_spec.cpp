// quortane hands one account's access entries and ownership of registry keys
// over to another account.  Beside the registry options it has flags that
// restrict the work and two quiet levels; it needs the from-user, the to-user
// and the subkey.  Both "-noowner" and "-owneronly" may be given together.
#include "tools/quortane/quortane_spec.h"

namespace {

const OptionSpec options[] = {
    REGISTRY_ROOT_OPTIONS,
    {"-r", OptionKind::Flag, nullptr},
    {"-noowner", OptionKind::Flag, nullptr},
    {"-owneronly", OptionKind::Flag, nullptr},
    {"-q1", OptionKind::Flag, nullptr},
    {"-q2", OptionKind::Flag, nullptr},
    {"-s", OptionKind::Value, nullptr},
};

}  // namespace

const ProgramSpec QuortaneSpec = {
    "quortane",
    "QUORTANE",
    "Swap ACLs on  registry keys",
    "usage: quortane [-lm|-cr|-cu|-u] [-r] [-noowner|-owneronly]\n"
    "                  [-q1|-q2] [-s server] from-user to-user subkey\n"
    "\n"
    "\t-lm        HKEY_LOCAL_MACHINE (default)\n"
    "\t-cr        HKEY_CLASSES_ROOT\n"
    "\t-cu        HKEY_CURRENT_USER\n"
    "\t-u         HKEY_USERS\n"
    "\t-r         Recurse subkeys\n"
    "\t-noowner   Do not swap key ownership\n"
    "\t-owneronly Only swap key ownership\n"
    "\t-s         Specify server name of registry to connect to\n"
    "\t-q1        Quiet - skip display of unmodified keys\n"
    "\t-q2        Quiet - only print errors\n"
    "\n",
    options, static_cast<int>(sizeof options / sizeof options[0]),
    3,
    ScanMode::Full,
};
