// The tool frame's start-up sequence and option scan.
//
// The order of the steps is part of the contract: the version switch is
// tested before DefaultDomain is filled (so "-v" touches nothing else), and
// DefaultDomain is filled before the help test (so every run past "-v" has
// it).  Option words and "-v" fold only the ASCII letters A to Z; "-h" is
// compared exactly, as users of the older programs expect.
#include "common/frame/frame.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

String DefaultDomain;

namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Whole-word equality folding only A to Z; no prefixes, no abbreviations.
bool SameWordIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b)) return false;
    }
    return *a == *b;
}

// An argument the scan treats as an option: "-" followed by at least one
// more character.  "-" alone and "" are positional.
bool LooksLikeOption(const char* arg) { return arg[0] == '-' && arg[1] != '\0'; }

// The value of USERDOMAIN, its name matched without regard to ASCII case as
// the platform's environment does; the first matching entry wins.
const char* UserDomainFromEnvironment() {
    static const char name[] = "USERDOMAIN";
    const std::size_t nameLength = sizeof name - 1;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (equals == nullptr || static_cast<std::size_t>(equals - *entry) != nameLength) continue;
        bool same = true;
        for (std::size_t i = 0; i < nameLength && same; ++i) same = FoldAscii((*entry)[i]) == FoldAscii(name[i]);
        if (same) return equals + 1;
    }
    return nullptr;
}

void WriteBannerAndUsage(const ProgramSpec& spec) {
    // The rule is eight dashes whatever the name's length.
    std::fputs("\n", stdout);
    std::fputs(spec.bannerName, stdout);
    std::fputs("\n--------\n", stdout);
    std::fputs(spec.description, stdout);
    std::fputs("\n\n", stdout);
    std::fputs("\n", stdout);
    std::fputs(spec.usage, stdout);
}

void WriteUnknownArgument(const ProgramSpec& spec, const char* arg) {
    std::fputs(spec.name, stdout);
    std::fputs(": unknown argument: ", stdout);
    std::fputs(arg, stdout);
    std::fputs("\n", stdout);
}

void WriteMissingArguments(const ProgramSpec& spec) {
    std::fputs(spec.bannerName, stdout);
    std::fputs(": missing required arguments\n", stdout);
}

int UsableOptionCount(const ProgramSpec& spec) {
    if (spec.options == nullptr || spec.optionCount < 0) return 0;
    return spec.optionCount < ScanResult::maxOptions ? spec.optionCount : ScanResult::maxOptions;
}

}  // namespace

int ScanResult::OptionIndex(const char* word) const {
    if (spec == nullptr || word == nullptr) return -1;
    const int count = UsableOptionCount(*spec);
    for (int i = 0; i < count; ++i) {
        if (SameWordIgnoringCase(spec->options[i].word, word)) return i;
    }
    return -1;
}

bool ScanResult::Flag(const char* word) const {
    const int index = OptionIndex(word);
    return index >= 0 && (given & (std::uint32_t{1} << index)) != 0;
}

const char* ScanResult::Value(const char* word) const {
    const int index = OptionIndex(word);
    return index >= 0 ? values[index] : nullptr;
}

const char* ScanResult::Positional(int index) const {
    if (index < 0 || index >= positionalCount) return nullptr;
    return positionals[index];
}

int RunProgram(const ProgramSpec& spec, ProgramWork work, int argc, char** argv) {
    if (argc >= 2 && SameWordIgnoringCase(argv[1], "-v")) {
        std::fputs("Version ", stdout);
        std::fputs(SuiteVersion, stdout);
        std::fputs("\n", stdout);
        std::fflush(stdout);
        return 0;
    }

    const char* domain = UserDomainFromEnvironment();
    DefaultDomain = domain != nullptr ? domain : "";

    if (argc < 2 || std::strcmp(argv[1], "-h") == 0) {
        WriteBannerAndUsage(spec);
        std::fflush(stdout);
        return 0;
    }

    ScanResult scan;
    scan.spec = &spec;
    int next = 1;
    if (spec.mode == ScanMode::FirstOnly) {
        // The table is not consulted: a program in this mode has no options,
        // and later arguments that begin with "-" are its data.
        if (LooksLikeOption(argv[1])) {
            WriteUnknownArgument(spec, argv[1]);
            std::fflush(stdout);
            return 0;
        }
    } else {
        while (next < argc && LooksLikeOption(argv[next])) {
            const char* arg = argv[next];
            const int index = scan.OptionIndex(arg);
            if (index < 0) {
                // "-v" and "-h" land here too: they mean something only first.
                WriteUnknownArgument(spec, arg);
                std::fflush(stdout);
                return 0;
            }
            const OptionSpec& option = spec.options[index];
            scan.given |= std::uint32_t{1} << index;
            ++next;
            if (option.kind == OptionKind::RootChoice) {
                scan.root = option.root;
            } else if (option.kind == OptionKind::Value) {
                // A missing value stays absent; the positional check then
                // reports the command line as incomplete.
                scan.values[index] = next < argc ? argv[next] : nullptr;
                if (next < argc) ++next;
            }
        }
    }

    scan.positionals = argv + next;
    scan.positionalCount = argc - next;
    if (scan.positionalCount < spec.requiredPositionals) {
        WriteMissingArguments(spec);
        std::fflush(stdout);
        return 0;
    }

    const int status = work != nullptr ? work(scan) : 0;
    std::fflush(stdout);
    return status;
}
