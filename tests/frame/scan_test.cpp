// The option scan and the start-up sequence, driven through the real table of
// the program with the most options (quortane: four roots, five flags, a
// value option, three positional arguments).
#include "tests/frame/run_program.h"
#include "tools/quortane/quortane_spec.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using Strings = std::vector<std::string>;

struct ScanCase {
    const char* label;        // what the case proves
    Strings args;             // command line after the program path
    bool workRuns;            // the scan succeeded and the work was called
    std::string out;          // exact standard output (the recording work writes none)
    HKEY root = {};                // root handed to the work (when it runs)
    Strings flags = {};            // flags handed to the work, table order
    Strings values = {};           // "word=value" of Value options
    Strings positionals = {};      // positional arguments handed to the work
};

const std::string unknownPrefix = "quortane: unknown argument: ";
const std::string missing = "QUORTANE: missing required arguments\n";

TEST(OptionScan, FollowsTheCommonRules) {
    const ScanCase cases[] = {
        {"positionals only", {"a", "b", "c"}, true, "", HKEY_LOCAL_MACHINE, {}, {}, {"a", "b", "c"}},
        {"extra positionals are handed on", {"a", "b", "c", "d"}, true, "", HKEY_LOCAL_MACHINE, {}, {}, {"a", "b", "c", "d"}},
        {"flags accumulate", {"-r", "-q1", "-q2", "a", "b", "c"}, true, "", HKEY_LOCAL_MACHINE, {"-r", "-q1", "-q2"}, {}, {"a", "b", "c"}},
        {"a repeated flag is still one flag", {"-r", "-r", "a", "b", "c"}, true, "", HKEY_LOCAL_MACHINE, {"-r"}, {}, {"a", "b", "c"}},
        {"both ownership flags together", {"-noowner", "-owneronly", "a", "b", "c"}, true, "", HKEY_LOCAL_MACHINE, {"-noowner", "-owneronly"}, {}, {"a", "b", "c"}},
        {"option words fold A-Z", {"-R", "-NoOwner", "-OWNERONLY", "-Q1", "a", "b", "c"}, true, "", HKEY_LOCAL_MACHINE, {"-r", "-noowner", "-owneronly", "-q1"}, {}, {"a", "b", "c"}},
        {"root -cr", {"-cr", "a", "b", "c"}, true, "", HKEY_CLASSES_ROOT, {}, {}, {"a", "b", "c"}},
        {"root -cu", {"-cu", "a", "b", "c"}, true, "", HKEY_CURRENT_USER, {}, {}, {"a", "b", "c"}},
        {"root -u", {"-U", "a", "b", "c"}, true, "", HKEY_USERS, {}, {}, {"a", "b", "c"}},
        {"last root wins", {"-cu", "-cr", "-u", "a", "b", "c"}, true, "", HKEY_USERS, {}, {}, {"a", "b", "c"}},
        {"-lm after another root restores the default", {"-cu", "-LM", "a", "b", "c"}, true, "", HKEY_LOCAL_MACHINE, {}, {}, {"a", "b", "c"}},
        {"server value", {"-s", "srv", "a", "b", "c"}, true, "", HKEY_LOCAL_MACHINE, {}, {"-s=srv"}, {"a", "b", "c"}},
        {"-s takes an option-like value", {"-S", "-r", "a", "b", "c"}, true, "", HKEY_LOCAL_MACHINE, {}, {"-s=-r"}, {"a", "b", "c"}},
        {"-s takes an empty value", {"-s", "", "a", "b", "c"}, true, "", HKEY_LOCAL_MACHINE, {}, {"-s="}, {"a", "b", "c"}},
        {"the last -s wins", {"-s", "one", "-s", "two", "a", "b", "c"}, true, "", HKEY_LOCAL_MACHINE, {}, {"-s=two"}, {"a", "b", "c"}},
        {"options resume after the value", {"-s", "srv", "-cu", "-r", "a", "b", "c"}, true, "", HKEY_CURRENT_USER, {"-r"}, {"-s=srv"}, {"a", "b", "c"}},
        {"a lone dash is positional", {"-r", "-", "b", "c"}, true, "", HKEY_LOCAL_MACHINE, {"-r"}, {}, {"-", "b", "c"}},
        {"an empty argument is positional", {"-r", "", "b", "c"}, true, "", HKEY_LOCAL_MACHINE, {"-r"}, {}, {"", "b", "c"}},
        {"a lone dash first is positional", {"-", "b", "c"}, true, "", HKEY_LOCAL_MACHINE, {}, {}, {"-", "b", "c"}},
        {"options after a positional are positional", {"a", "-r", "-zz"}, true, "", HKEY_LOCAL_MACHINE, {}, {}, {"a", "-r", "-zz"}},

        {"unknown option", {"-x", "a", "b", "c"}, false, unknownPrefix + "-x\n"},
        {"unknown option keeps its case", {"-r", "-Bogus", "a", "b", "c"}, false, unknownPrefix + "-Bogus\n"},
        {"no abbreviations", {"-q", "a", "b", "c"}, false, unknownPrefix + "-q\n"},
        {"no prefix forms", {"-rr", "a", "b", "c"}, false, unknownPrefix + "-rr\n"},
        {"no longer forms", {"-noownerx", "a", "b", "c"}, false, unknownPrefix + "-noownerx\n"},
        {"only A-Z fold: 0x11 is not '1'", {"-q\x11", "a", "b", "c"}, false, unknownPrefix + "-q\x11\n"},
        {"-h later is unknown", {"-r", "-h", "a", "b", "c"}, false, unknownPrefix + "-h\n"},
        {"-v later is unknown", {"-r", "-v"}, false, unknownPrefix + "-v\n"},
        {"-H first is not help", {"-H"}, false, unknownPrefix + "-H\n"},
        {"the first unknown option stops the scan", {"-x", "-y"}, false, unknownPrefix + "-x\n"},
        {"unknown beats missing arguments", {"-r", "-x"}, false, unknownPrefix + "-x\n"},

        {"options only", {"-r", "-cu"}, false, missing},
        {"too few positionals", {"a", "b"}, false, missing},
        {"-s without its value", {"-s"}, false, missing},
        {"-s eats a positional", {"-s", "a", "b", "c"}, false, missing},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.label);
        recordingStatus = 1;
        const Captured run = RunCommandLine(QuortaneSpec, c.args);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(seenScan.ran, c.workRuns);
        EXPECT_EQ(run.status, c.workRuns ? 1 : 0);
        if (!c.workRuns || !seenScan.ran) continue;
        EXPECT_EQ(seenScan.root, c.root);
        EXPECT_EQ(seenScan.flags, c.flags);
        EXPECT_EQ(seenScan.values, c.values);
        EXPECT_EQ(seenScan.positionals, c.positionals);
        EXPECT_TRUE(seenScan.positionalsAreArgv);
        EXPECT_TRUE(seenScan.outOfRangeIsNull);
    }
}

// What the work asked of its scan result in the probe test below.
struct Probe {
    const char* word;   // asked of the scan result
    bool flag;          // expected Flag()
    const char* value;  // expected Value(), nullptr for none
};
const Probe probes[] = {
    {"-r", true, nullptr},    {"-R", true, nullptr},      {"-q1", false, nullptr}, {"-s", true, "srv"},
    {"-S", true, "srv"},      {"-nosuch", false, nullptr}, {"-", false, nullptr},  {"", false, nullptr},
    {nullptr, false, nullptr},
};
constexpr int probeCount = static_cast<int>(sizeof probes / sizeof probes[0]);
bool answeredFlag[probeCount];
std::optional<std::string> answeredValue[probeCount];  // copied: argv dies with the run

int AskingWork(const ScanResult& scan) {
    for (int i = 0; i < probeCount; ++i) {
        answeredFlag[i] = scan.Flag(probes[i].word);
        const char* value = scan.Value(probes[i].word);
        answeredValue[i] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    }
    return 1;
}

TEST(OptionScan, LooksUpWordsWithoutRegardToCase) {
    // The work may ask with any spelling; words the table does not define
    // are simply absent rather than matching something else.
    const Captured run = RunCommandLine(QuortaneSpec, {"-R", "-s", "srv", "a", "b", "c"}, AskingWork);
    EXPECT_EQ(run.status, 1);
    for (int i = 0; i < probeCount; ++i) {
        SCOPED_TRACE(probes[i].word != nullptr ? probes[i].word : "(null)");
        EXPECT_EQ(answeredFlag[i], probes[i].flag);
        if (probes[i].value == nullptr) {
            EXPECT_FALSE(answeredValue[i].has_value());
        } else {
            EXPECT_EQ(answeredValue[i], std::optional<std::string>(probes[i].value));
        }
    }
}

TEST(StartUp, WorkStatusBecomesExitStatus) {
    for (int status : {0, 1, 7}) {
        SCOPED_TRACE(status);
        recordingStatus = status;
        const Captured run = RunCommandLine(QuortaneSpec, {"a", "b", "c"});
        EXPECT_TRUE(seenScan.ran);
        EXPECT_EQ(run.status, status);
    }
    recordingStatus = 1;
}

int PartialLineWork(const ScanResult&) {
    std::fputs("partial line", stdout);  // no line end, no flush of its own
    return 1;
}

TEST(StartUp, OutputIsFlushedBeforeTheStatusIsReturned) {
    // Whatever path the run takes, its bytes have reached the descriptor by
    // the time RunProgram returns, before any exit-time flushing.
    struct FlushCase {
        const char* label;              // the path through the start-up sequence
        std::vector<std::string> args;  // command line
        ProgramWork work;               // the work, when it runs
    };
    const FlushCase cases[] = {
        {"version line", {"-v"}, RecordingWork},
        {"banner and usage", {}, RecordingWork},
        {"unknown argument", {"-x"}, RecordingWork},
        {"missing arguments", {"a"}, RecordingWork},
        {"the work's own output", {"a", "b", "c"}, PartialLineWork},
    };
    for (const FlushCase& c : cases) {
        SCOPED_TRACE(c.label);
        off_t reached = -1;
        const Captured run = CaptureOutput([&] {
            std::vector<std::string> storage{"quortane"};
            storage.insert(storage.end(), c.args.begin(), c.args.end());
            std::vector<char*> argv;
            for (std::string& arg : storage) argv.push_back(arg.data());
            argv.push_back(nullptr);
            recordingSpec = &QuortaneSpec;
            recordingArgv.assign(argv.begin(), argv.end() - 1);
            const int status = RunProgram(QuortaneSpec, c.work, static_cast<int>(storage.size()), argv.data());
            reached = lseek(STDOUT_FILENO, 0, SEEK_END);
            return status;
        });
        EXPECT_GT(run.out.size(), 0u);
        EXPECT_EQ(reached, static_cast<off_t>(run.out.size()));
    }
}

}  // namespace
