// Running RunProgram in-process on a made-up command line and recording what
// the program's work was handed.
//
// The work is a plain function pointer, so what it sees is kept in one
// process-wide record that each run clears first.
#pragma once

#include "common/frame/frame.h"
#include "tests/frame/capture.h"

#include <string>
#include <vector>

struct SeenScan {
    bool ran = false;                      // the work function was called
    HKEY root = nullptr;                   // Root() as the work saw it
    std::vector<std::string> flags;        // option words whose Flag() was true, table order
    std::vector<std::string> values;       // "word=value" for Value options that have one
    std::vector<std::string> positionals;  // Positional(0..count-1)
    bool positionalsAreArgv = false;       // each Positional() is the argv pointer itself
    bool outOfRangeIsNull = false;         // Positional(-1) and Positional(count) are nullptr
};

// The record of the last run and the status the recording work returns.
inline SeenScan seenScan;
inline int recordingStatus = 1;
inline const ProgramSpec* recordingSpec = nullptr;
inline std::vector<char*> recordingArgv;

inline int RecordingWork(const ScanResult& scan) {
    SeenScan& seen = seenScan;
    seen.ran = true;
    seen.root = scan.Root();
    for (int i = 0; i < recordingSpec->optionCount; ++i) {
        const OptionSpec& option = recordingSpec->options[i];
        if (option.kind == OptionKind::Flag && scan.Flag(option.word)) seen.flags.push_back(option.word);
        if (option.kind == OptionKind::Value && scan.Value(option.word) != nullptr)
            seen.values.push_back(std::string(option.word) + "=" + scan.Value(option.word));
    }
    const int count = scan.PositionalCount();
    const int first = static_cast<int>(recordingArgv.size()) - count;
    seen.positionalsAreArgv = first >= 1;
    for (int i = 0; i < count; ++i) {
        seen.positionals.push_back(scan.Positional(i));
        if (first < 1 || scan.Positional(i) != recordingArgv[first + i]) seen.positionalsAreArgv = false;
    }
    seen.outOfRangeIsNull = scan.Positional(-1) == nullptr && scan.Positional(count) == nullptr;
    return recordingStatus;
}

// Runs spec with the given arguments (the program path is supplied) and
// work; returns what was written and the exit status.  The argument strings
// live in `storage` for the duration of the run.
inline Captured RunCommandLine(const ProgramSpec& spec, const std::vector<std::string>& args,
                               ProgramWork work = RecordingWork) {
    std::vector<std::string> storage;
    storage.push_back(std::string("/usr/bin/") + spec.name);
    storage.insert(storage.end(), args.begin(), args.end());
    recordingArgv.clear();
    for (std::string& arg : storage) recordingArgv.push_back(arg.data());
    seenScan = SeenScan{};
    recordingSpec = &spec;
    std::vector<char*> argv = recordingArgv;
    argv.push_back(nullptr);
    return CaptureOutput([&] { return RunProgram(spec, work, static_cast<int>(storage.size()), argv.data()); });
}
