// The seven programs' command-line tables run through the frame: banner and
// usage byte for byte, the version switch, the two argument errors and each
// program's own scan details.  The expected usage blocks are written out
// here independently of the tables, so a slip in either shows.
#include "tests/frame/run_program.h"
#include "tools/quorbisk/quorbisk_spec.h"
#include "tools/quorlent/quorlent_spec.h"
#include "tools/quormade/quormade_spec.h"
#include "tools/quortane/quortane_spec.h"
#include "tools/teskalun/teskalun_spec.h"
#include "tools/teskevan/teskevan_spec.h"
#include "tools/teskorim/teskorim_spec.h"

#include <gtest/gtest.h>

namespace {

using Strings = std::vector<std::string>;

const std::string registryRootLines =
    "\t-lm     HKEY_LOCAL_MACHINE (default)\n"
    "\t-cr     HKEY_CLASSES_ROOT\n"
    "\t-cu     HKEY_CURRENT_USER\n"
    "\t-u      HKEY_USERS\n"
    "\t-r      Recurse subkeys\n";

const std::string permissionCodes =
    "Permission codes:\n"
    "  Q = Query Value       W = Set Value\n"
    "  C = Create Subkey     E = Enumerate Subkey\n"
    "  N = Notify            L = Create Link\n"
    "  D = Delete            R = Read Control\n"
    "  P = Write DAC         O = Write Owner\n";

struct ProgramCase {
    const ProgramSpec* spec;   // the real table
    const char* name;          // lower-case name
    std::string helpText;      // everything "-h" writes
    Strings enough;            // the shortest command line whose scan succeeds
    Strings tooFew;            // a command line one positional short; empty when none exists
};

const ProgramCase programs[] = {
    {&TeskalunSpec, "teskalun",
     "\nTESKALUN\n--------\nList share security\n\n\n"
     "usage: teskalun [\\\\server\\]share\n"
     "\n"
     "share may be specified as a wildcard\n",
     {"data"}, {}},
    {&TeskorimSpec, "teskorim",
     "\nTESKORIM\n--------\nGrant permissions on network shares\n\n\n"
     "usage: teskorim [-clear] [\\\\server\\]share user:perms user:perms ...\n"
     "\n"
     "\tuser        Any valid user or group\n"
     "\tperms       Can be one of none,read,change or full\n"
     "\n",
     {"data", "alice:read"}, {"data"}},
    {&TeskevanSpec, "teskevan",
     "\nTESKEVAN\n--------\nRevoke permissions from network shares\n\n\n"
     "usage: teskevan [\\\\server\\]share user user ...\n"
     "\n"
     "\tuser        Any valid user or group\n"
     "\n",
     {"data", "alice"}, {"data"}},
    {&QuorlentSpec, "quorlent",
     "\nQUORLENT\n--------\nList registry security\n\n\n"
     "usage: quorlent [-lm|-cr|-cu|-u] [-r] [-s server] subkey\n"
     "\n" +
         registryRootLines + "\n" + permissionCodes +
         "\n"
         "Hint: specify \"\" as the subkey for the root.\n",
     {"SOFTWARE"}, {"-r"}},
    {&QuormadeSpec, "quormade",
     "\nQUORMADE\n--------\nSet registry security subkey ownership\n\n\n"
     "usage: quormade [-lm|-cr|-cu|-u] [-r] [-s server] newowner subkey\n"
     "\n" +
         registryRootLines + "\n",
     {"alice", "SOFTWARE"}, {"alice"}},
    {&QuortaneSpec, "quortane",
     "\nQUORTANE\n--------\nSwap ACLs on  registry keys\n\n\n"
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
     {"alice", "bob", "SOFTWARE"}, {"alice", "bob"}},
    {&QuorbiskSpec, "quorbisk",
     "\nQUORBISK\n--------\nRevoke security on registry keys\n\n\n"
     "usage: quorbisk [-lm|-cr|-cu|-u] [-q1|-q2] [-r] [-s server]\n"
     "                  user:perms user:perms ... subkey\n"
     "\n" +
         registryRootLines +
         "\t-q1     Quiet - skip display of unmodified keys\n"
         "\t-q2     Quiet - only print errors\n"
         "\n" +
         permissionCodes + "  Full = QWCENLDRPO     Read = QENR\n",
     {"SOFTWARE"}, {"-q1"}},
};

std::string Upper(const char* name) {
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

TEST(Programs, TablesNameThePrograms) {
    for (const ProgramCase& p : programs) {
        SCOPED_TRACE(p.name);
        EXPECT_STREQ(p.spec->name, p.name);
        EXPECT_EQ(p.spec->bannerName, Upper(p.name));
    }
}

TEST(Programs, HelpShowsBannerAndUsage) {
    for (const ProgramCase& p : programs) {
        for (const Strings& args : {Strings{}, Strings{"-h"}, Strings{"-h", "-x", "more"}}) {
            SCOPED_TRACE(std::string(p.name) + " with " + std::to_string(args.size()) + " arguments");
            const Captured run = RunCommandLine(*p.spec, args);
            EXPECT_EQ(run.out, p.helpText);
            EXPECT_EQ(run.err, "");
            EXPECT_EQ(run.status, 0);
            EXPECT_FALSE(seenScan.ran);
        }
    }
}

TEST(Programs, VersionSwitchEndsEverything) {
    for (const ProgramCase& p : programs) {
        for (const Strings& args : {Strings{"-v"}, Strings{"-V"}, Strings{"-v", "-x"}, Strings{"-V", "-h"}}) {
            SCOPED_TRACE(std::string(p.name) + " " + args[0] + " followed by " + std::to_string(args.size() - 1));
            const Captured run = RunCommandLine(*p.spec, args);
            EXPECT_EQ(run.out, "Version 4.01\n");
            EXPECT_EQ(run.err, "");
            EXPECT_EQ(run.status, 0);
            EXPECT_FALSE(seenScan.ran);
        }
    }
}

TEST(Programs, NearMissesOfTheSwitchesAreNotSwitches) {
    // "-vv", "-version" and a control character 0x20 below "v" are not the
    // version switch; "-H" is not help.  Every program reports them as
    // unknown arguments, because each tests at least its first argument.
    for (const ProgramCase& p : programs) {
        for (const char* arg : {"-vv", "-version", "-\x16", "-H", "-x"}) {
            SCOPED_TRACE(std::string(p.name) + " " + arg);
            const Captured run = RunCommandLine(*p.spec, {arg, "a", "b", "c"});
            EXPECT_EQ(run.out, std::string(p.name) + ": unknown argument: " + arg + "\n");
            EXPECT_EQ(run.status, 0);
            EXPECT_FALSE(seenScan.ran);
        }
    }
}

TEST(Programs, MissingArgumentsAreReported) {
    for (const ProgramCase& p : programs) {
        if (p.tooFew.empty()) continue;
        SCOPED_TRACE(p.name);
        const Captured run = RunCommandLine(*p.spec, p.tooFew);
        EXPECT_EQ(run.out, Upper(p.name) + ": missing required arguments\n");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.status, 0);
        EXPECT_FALSE(seenScan.ran);
    }
}

TEST(Programs, EnoughArgumentsReachTheWork) {
    for (const ProgramCase& p : programs) {
        SCOPED_TRACE(p.name);
        recordingStatus = 1;
        const Captured run = RunCommandLine(*p.spec, p.enough);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(seenScan.ran);
        EXPECT_EQ(seenScan.positionals, p.enough);
        EXPECT_EQ(seenScan.root, HKEY_LOCAL_MACHINE);
    }
}

// Each program's own scan details.
struct DetailCase {
    const char* label;         // what the case proves
    const ProgramSpec* spec;   // the program
    Strings args;              // its command line
    std::string out;           // exact standard output ("" when the work runs)
    Strings flags = {};             // flags the work sees
    Strings values = {};            // "word=value" of Value options
    Strings positionals = {};       // positional arguments the work sees
    HKEY root = {};                 // root the work sees
};

TEST(Programs, OwnScanDetails) {
    const HKEY lm = HKEY_LOCAL_MACHINE;
    const DetailCase cases[] = {
        {"teskalun ignores later option-like arguments", &TeskalunSpec, {"data", "-x", "-v"}, "", {}, {}, {"data", "-x", "-v"}, lm},
        {"teskalun takes a lone dash as the share", &TeskalunSpec, {"-"}, "", {}, {}, {"-"}, lm},
        {"teskalun takes an empty share", &TeskalunSpec, {""}, "", {}, {}, {""}, lm},
        {"teskalun has no -r", &TeskalunSpec, {"-r"}, "teskalun: unknown argument: -r\n"},
        {"teskevan: dash words after the share are accounts", &TeskevanSpec, {"data", "-clear", "-h"}, "", {}, {}, {"data", "-clear", "-h"}, lm},
        {"teskevan has no -clear", &TeskevanSpec, {"-clear", "alice"}, "teskevan: unknown argument: -clear\n"},
        {"teskorim -clear in any case, repeated", &TeskorimSpec, {"-clear", "-CLEAR", "data", "a:read"}, "", {"-clear"}, {}, {"data", "a:read"}, lm},
        {"teskorim: -clear after the share is an item", &TeskorimSpec, {"data", "-clear"}, "", {}, {}, {"data", "-clear"}, lm},
        {"teskorim: -h after -clear", &TeskorimSpec, {"-clear", "-h"}, "teskorim: unknown argument: -h\n"},
        {"teskorim: -x after -clear", &TeskorimSpec, {"-clear", "-x", "data", "a:read"}, "teskorim: unknown argument: -x\n"},
        {"teskorim has no registry options", &TeskorimSpec, {"-r", "data", "a:read"}, "teskorim: unknown argument: -r\n"},
        {"teskorim: only -clear", &TeskorimSpec, {"-clear"}, "TESKORIM: missing required arguments\n"},
        {"quorlent -r then -h", &QuorlentSpec, {"-r", "-h"}, "quorlent: unknown argument: -h\n"},
        {"quorlent: all its options", &QuorlentSpec, {"-R", "-CU", "-s", "srv", "SOFTWARE", "extra"}, "", {"-r"}, {"-s=srv"}, {"SOFTWARE", "extra"}, HKEY_CURRENT_USER},
        {"quorlent: empty subkey", &QuorlentSpec, {""}, "", {}, {}, {""}, lm},
        {"quorlent has no quiet levels", &QuorlentSpec, {"-q1", "x"}, "quorlent: unknown argument: -q1\n"},
        {"quormade: all its options", &QuormadeSpec, {"-u", "-r", "-s", "srv", "alice", "\\SOFTWARE"}, "", {"-r"}, {"-s=srv"}, {"alice", "\\SOFTWARE"}, HKEY_USERS},
        {"quormade has no -noowner", &QuormadeSpec, {"-noowner", "a", "b"}, "quormade: unknown argument: -noowner\n"},
        {"quortane: quiet levels", &QuortaneSpec, {"-q2", "-Q1", "a", "b", "c"}, "", {"-q1", "-q2"}, {}, {"a", "b", "c"}, lm},
        {"quorbisk: quiet levels and roots", &QuorbiskSpec, {"-q1", "-cr", "-r", "bob:w", "SOFTWARE"}, "", {"-r", "-q1"}, {}, {"bob:w", "SOFTWARE"}, HKEY_CLASSES_ROOT},
        {"quorbisk has no -owneronly", &QuorbiskSpec, {"-owneronly", "k"}, "quorbisk: unknown argument: -owneronly\n"},
        {"quorbisk: -s without value", &QuorbiskSpec, {"-q2", "-s"}, "QUORBISK: missing required arguments\n"},
    };
    for (const DetailCase& c : cases) {
        SCOPED_TRACE(c.label);
        recordingStatus = 1;
        const Captured run = RunCommandLine(*c.spec, c.args);
        EXPECT_EQ(run.out, c.out);
        const bool shouldRun = c.out.empty();
        EXPECT_EQ(seenScan.ran, shouldRun);
        EXPECT_EQ(run.status, shouldRun ? 1 : 0);
        if (!shouldRun || !seenScan.ran) continue;
        EXPECT_EQ(seenScan.flags, c.flags);
        EXPECT_EQ(seenScan.values, c.values);
        EXPECT_EQ(seenScan.positionals, c.positionals);
        EXPECT_EQ(seenScan.root, c.root);
    }
}

}  // namespace
