// The tool frame: the start-up skeleton that all seven programs share.
//
// A program describes itself with one ProgramSpec table (names, usage block,
// option words, how many positional arguments its work needs, how its first
// argument is tested) and hands RunProgram that table and its work function.
// RunProgram then guarantees the common behaviour of every program:
//   1. "-v" (any letter case) as the first argument prints the version line,
//      flushes standard output and ends with status 0, looking at nothing else;
//   2. DefaultDomain takes the value of USERDOMAIN (name matched without regard
//      to ASCII case), or stays empty when it is not set;
//   3. no argument, or exactly "-h" first, prints banner and usage, status 0;
//   4. the option scan rejects an unknown option and too few positional
//      arguments with the shared messages and status 0; otherwise the work
//      runs and its result is the exit status.
// Everything is written to the buffered standard output; nothing throws.
#pragma once

#include "common/foundation/string.h"
#include "platform/types.h"

#include <cstdint>

// The user's own domain, filled at start-up; the listing programs leave it
// out of displayed names.  Empty until RunProgram's step 2 has run.
extern String DefaultDomain;

// How an option word behaves when the scan meets it.
enum class OptionKind {
    Flag,        // switches something on; repeating it changes nothing
    RootChoice,  // selects a registry root; the last one given wins
    Value,       // takes the next argument as its value, whatever it looks like
};

// How far the scan looks for options.
enum class ScanMode {
    Full,       // options until the first positional argument (the common rules)
    FirstOnly,  // no option words: only the first argument is tested for
                // looking like one; every argument is positional otherwise
};

struct OptionSpec {
    const char* word;  // lower-case option word, "-r"
    OptionKind kind;   // what the word does
    HKEY root;         // the root a RootChoice selects; nullptr otherwise
};

// The four root choices every registry program offers, in the order their
// usage blocks list them; the last one given wins.
#define REGISTRY_ROOT_OPTIONS                               \
    {"-lm", OptionKind::RootChoice, HKEY_LOCAL_MACHINE},    \
    {"-cr", OptionKind::RootChoice, HKEY_CLASSES_ROOT},     \
    {"-cu", OptionKind::RootChoice, HKEY_CURRENT_USER},     \
    {"-u", OptionKind::RootChoice, HKEY_USERS}


struct ProgramSpec {
    const char* name;          // lower-case name for messages, "quorlent"
    const char* bannerName;    // upper-case name for banner and errors, "QUORLENT"
    const char* description;   // the banner's description line
    const char* usage;         // the whole usage block, exact bytes
    const OptionSpec* options; // the option table; may be nullptr when optionCount is 0
    int optionCount;           // entries in options, at most ScanResult::maxOptions
    int requiredPositionals;   // positional arguments the work cannot do without
    ScanMode mode;             // how the scan treats arguments that begin with "-"
};

class ScanResult;

// The program's own work; its result is the exit status (1 = the work ran to
// its end, 0 = an early failure of its own).
using ProgramWork = int (*)(const ScanResult& scan);

// What the option scan found on one command line.  It borrows the argument
// vector and the program's table; both outlive the work function.
class ScanResult {
public:
    static constexpr int maxOptions = 32;  // option words one table may hold

    // HKEY_LOCAL_MACHINE unless a RootChoice option was given.
    HKEY Root() const { return root; }
    // True when the option with this word was met on the command line,
    // whatever its kind (word compared without regard to ASCII case).
    bool Flag(const char* word) const;
    // The argument that followed the last Value option with this word, or
    // nullptr when the option was not given or had no argument after it.
    const char* Value(const char* word) const;
    int PositionalCount() const { return positionalCount; }
    // The positional argument at index (0-based), the argv pointer itself;
    // nullptr when index is out of range.
    const char* Positional(int index) const;

private:
    friend int RunProgram(const ProgramSpec& spec, ProgramWork work, int argc, char** argv);
    ScanResult() = default;
    int OptionIndex(const char* word) const;

    const ProgramSpec* spec = nullptr;           // the table the option indices refer to
    char** positionals = nullptr;                // first positional argument in argv
    int positionalCount = 0;                     // arguments from there to the end
    HKEY root = HKEY_LOCAL_MACHINE;              // the root chosen last
    std::uint32_t given = 0;                     // bit i: option i was met
    const char* values[maxOptions] = {};         // Value options' arguments, by option index
};

// The whole start-up sequence of a program, then its work.  Returns the exit
// status for main to return.
int RunProgram(const ProgramSpec& spec, ProgramWork work, int argc, char** argv);

// The version every program reports.
inline constexpr const char* SuiteVersion = "4.01";
