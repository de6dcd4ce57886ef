// Capturing what a piece of code writes to standard output and standard
// error, so the frame's exact bytes can be compared in-process.
//
// Both streams are pointed at anonymous temporary files for the duration of
// the call and restored afterwards; buffered output is flushed on both sides
// of the switch so nothing leaks into or out of the capture.
#pragma once

#include <cstdio>
#include <string>
#include <unistd.h>

struct Captured {
    std::string out;  // bytes written to standard output
    std::string err;  // bytes written to standard error
    int status = -1;  // what the call returned
};

namespace capture_detail {

inline std::string ReadAll(std::FILE* file) {
    std::string text;
    std::fflush(file);
    std::rewind(file);
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    return text;
}

// Redirects one standard descriptor into a temporary file while alive.
class Redirect {
public:
    Redirect(std::FILE* which, int number) : stream(which), descriptor(number), file(std::tmpfile()) {
        std::fflush(stream);
        saved = dup(descriptor);
        if (file != nullptr) dup2(fileno(file), descriptor);
    }
    ~Redirect() {
        Restore();
        if (file != nullptr) std::fclose(file);
    }
    Redirect(const Redirect&) = delete;
    Redirect& operator=(const Redirect&) = delete;

    std::string Finish() {
        Restore();
        return file != nullptr ? ReadAll(file) : std::string("<no temporary file>");
    }

private:
    void Restore() {
        if (saved < 0) return;
        std::fflush(stream);
        dup2(saved, descriptor);
        close(saved);
        saved = -1;
    }

    std::FILE* stream;    // the C stream whose buffer is flushed around the switch
    int descriptor;       // the descriptor that is pointed elsewhere
    std::FILE* file;      // where the bytes go while redirected
    int saved = -1;       // the original descriptor, -1 once restored
};

}  // namespace capture_detail

template <typename Call>
Captured CaptureOutput(Call call) {
    Captured result;
    capture_detail::Redirect out(stdout, STDOUT_FILENO);
    capture_detail::Redirect err(stderr, STDERR_FILENO);
    result.status = call();
    result.err = err.Finish();
    result.out = out.Finish();
    return result;
}
