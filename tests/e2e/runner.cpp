// End-to-end case runner: runs the real programs against a freshly imported
// world and compares standard output, standard error and exit status byte
// for byte with what a case file expects.
//
// A case file (cases/<program>/<name>.case) reads top to bottom:
//
//   # why the case exists (comment lines start with '#')
//   world: layout.json          world under the worlds folder; "none" or no
//                               line: no world at all (see below)
//   env: USERDOMAIN=CORP        one variable per line, value taken literally
//   setup: ntsim key sd ...     ntsim commands run after the import; each must
//                               exit 0 (its output is not compared)
//   run: quorlent -r "" x       program and arguments; several run lines run in
//                               order and their outputs are concatenated
//   status: 1                   the exit status of each run line, in order
//   --- stdout                  every following line up to the next "--- "
//   ...                         header, each ending in a line end; "--- stdout
//   --- stderr                  noeol" when the last line has none; a missing
//                               section means the stream must stay empty
//
// Words of run and setup lines split at blanks; '...' and "..." quote
// literally (an empty pair is an empty argument) and a backslash is always
// itself, so registry paths are written as typed.
//
// Guarantees: every run sees only the variables the case sets among
// NTSIM_WORLD, NTSIM_LOGON, NTSIM_FAULT and USERDOMAIN (in any letter case),
// and a private HOME and XDG_DATA_HOME, so neither the user's own world nor a
// shared one is ever touched.  Without a world the world path lies below a
// plain file, where no world can be created, so a program that reaches the
// simulated host when it should not shows that on its standard error.  A run that takes
// longer than a minute is killed and reported by its signal.
//
// --update rewrites the status line and the output sections of each case from
// what the programs printed; what it writes must then be read against the
// programs' documented behaviour before it is committed.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr unsigned kRunSeconds = 60;  // per program run; hung programs are killed

struct Section {
    bool present = false;  // the case names this stream
    std::string text;      // expected bytes
};

struct Case {
    fs::path file;                                      // the case file itself
    std::vector<std::string> header;                    // header lines, verbatim, for --update
    std::string world;                                  // worlds/<name>, "" for none
    std::vector<std::pair<std::string, std::string>> env;  // NAME, value
    std::vector<std::vector<std::string>> setups;       // ntsim argument lists
    std::vector<std::vector<std::string>> runs;         // program + arguments
    std::optional<std::string> status;                  // "1", "0 1", "signal 6"
    Section out;                                        // expected standard output
    Section err;                                        // expected standard error
};

struct Outcome {
    std::string out;     // standard output of all runs, in order
    std::string err;     // standard error of all runs, in order
    std::string status;  // statuses separated by one blank
};

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// Splits at blanks; quotes group literally, backslashes are never escapes
// because registry paths and DOMAIN\name arguments are full of them.
bool SplitWords(const std::string& line, std::vector<std::string>* words, std::string* error) {
    words->clear();
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            if (inWord) words->push_back(word);
            word.clear();
            inWord = false;
        } else if (c == '\'' || c == '"') {
            const auto close = line.find(c, i + 1);
            if (close == std::string::npos) {
                *error = std::string("unclosed ") + c + " quote";
                return false;
            }
            word += line.substr(i + 1, close - i - 1);
            inWord = true;
            i = close;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words->push_back(word);
    return true;
}

bool ReadFile(const fs::path& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    *text = buffer.str();
    return true;
}

bool WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

bool ParseCase(const fs::path& file, Case* c, std::string* error) {
    std::string text;
    if (!ReadFile(file, &text)) {
        *error = "cannot read the case file";
        return false;
    }
    c->file = file;
    std::vector<std::string> lines;
    {
        size_t start = 0;
        while (start < text.size()) {
            const auto end = text.find('\n', start);
            if (end == std::string::npos) {
                lines.push_back(text.substr(start));
                break;
            }
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
    }
    Section* current = nullptr;
    bool currentNoEol = false;
    auto finish = [&]() {
        if (current != nullptr && currentNoEol && !current->text.empty()) current->text.pop_back();
    };
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        const std::string where = "line " + std::to_string(n + 1) + ": ";
        if (StartsWith(line, "--- ")) {
            finish();
            std::vector<std::string> words;
            std::string ignored;
            SplitWords(line.substr(4), &words, &ignored);
            if (words.empty() || (words[0] != "stdout" && words[0] != "stderr") || words.size() > 2 ||
                (words.size() == 2 && words[1] != "noeol")) {
                *error = where + "expected '--- stdout' or '--- stderr' (optionally followed by noeol)";
                return false;
            }
            current = words[0] == "stdout" ? &c->out : &c->err;
            if (current->present) {
                *error = where + words[0] + " given twice";
                return false;
            }
            current->present = true;
            currentNoEol = words.size() == 2;
            continue;
        }
        if (current != nullptr) {
            current->text += line + "\n";
            continue;
        }
        c->header.push_back(line);
        const std::string t = Trim(line);
        if (t.empty() || t[0] == '#') continue;
        const auto colon = t.find(':');
        if (colon == std::string::npos) {
            *error = where + "expected 'key: value'";
            return false;
        }
        const std::string key = t.substr(0, colon);
        const std::string value = Trim(t.substr(colon + 1));
        if (key == "world") {
            c->world = value == "none" ? "" : value;
        } else if (key == "env") {
            const auto eq = value.find('=');
            if (eq == std::string::npos || eq == 0) {
                *error = where + "env needs NAME=value";
                return false;
            }
            c->env.emplace_back(value.substr(0, eq), value.substr(eq + 1));
        } else if (key == "setup" || key == "run") {
            std::vector<std::string> words;
            if (!SplitWords(value, &words, error)) {
                *error = where + *error;
                return false;
            }
            if (words.empty()) {
                *error = where + key + " needs a program";
                return false;
            }
            if (key == "setup") {
                if (words[0] != "ntsim") {
                    *error = where + "setup lines run ntsim only";
                    return false;
                }
                words.erase(words.begin());
                c->setups.push_back(words);
            } else {
                c->runs.push_back(words);
            }
        } else if (key == "status") {
            c->status = value;
        } else {
            *error = where + "unknown key '" + key + "'";
            return false;
        }
    }
    finish();
    if (c->runs.empty()) {
        *error = "no run line";
        return false;
    }
    return true;
}

// Variables the runner decides on; any other variable of the caller (the
// sanitizer options, PATH) passes through unchanged.
bool IsControlled(const std::string& name) {
    std::string upper = name;
    for (char& ch : upper) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    }
    return upper == "NTSIM_WORLD" || upper == "NTSIM_LOGON" || upper == "NTSIM_FAULT" || upper == "USERDOMAIN" ||
           name == "HOME" || name == "XDG_DATA_HOME";
}

struct Spawned {
    std::string out;     // captured standard output
    std::string err;     // captured standard error
    std::string status;  // "N" or "signal N"
    bool started = true;  // false when the program could not be executed
};

Spawned Spawn(const fs::path& program, const std::vector<std::string>& args,
              const std::vector<std::string>& environment, const fs::path& scratch) {
    Spawned result;
    const fs::path outPath = scratch / "stdout";
    const fs::path errPath = scratch / "stderr";
    std::vector<char*> argv;
    std::string programText = program.string();
    argv.push_back(programText.data());
    std::vector<std::string> argCopies(args.begin(), args.end());
    for (auto& a : argCopies) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envCopies(environment.begin(), environment.end());
    std::vector<char*> envp;
    for (auto& e : envCopies) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::cout.flush();
    std::cerr.flush();
    const pid_t pid = fork();
    if (pid < 0) {
        result.started = false;
        result.err = std::string("fork: ") + std::strerror(errno) + "\n";
        return result;
    }
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (chdir(scratch.c_str()) != 0) _exit(126);
        // The alarm survives exec: a program that hangs dies of SIGALRM.
        alarm(kRunSeconds);
        execve(argv[0], argv.data(), envp.data());
        const std::string message = std::string("cannot execute ") + argv[0] + ": " + std::strerror(errno) + "\n";
        [[maybe_unused]] const auto written = write(2, message.data(), message.size());
        _exit(127);
    }
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(raw)) {
        result.status = std::to_string(WEXITSTATUS(raw));
    } else if (WIFSIGNALED(raw)) {
        result.status = "signal " + std::to_string(WTERMSIG(raw));
    } else {
        result.status = "unknown";
    }
    ReadFile(outPath, &result.out);
    ReadFile(errPath, &result.err);
    return result;
}

struct Options {
    fs::path bin;                // folder of the programs and ntsim
    fs::path worlds;             // folder of the JSON worlds
    bool update = false;         // rewrite expectations from the actual output
    bool keep = false;           // keep the scratch folders for inspection
    std::vector<fs::path> cases;  // case files to run
};

// Returns false with a message when the case could not be run at all.
bool RunCase(const Options& options, const Case& c, const fs::path& scratch, Outcome* outcome, std::string* error) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (!IsControlled(entry.substr(0, entry.find('=')))) environment.push_back(entry);
    }
    const fs::path home = scratch / "home";
    fs::create_directories(home);
    environment.push_back("HOME=" + home.string());
    environment.push_back("XDG_DATA_HOME=" + (home / "data").string());
    // Without a world the path lies below a plain file, where no world can be
    // opened or created.
    if (c.world.empty() && !WriteFile(scratch / "no-world", "")) {
        *error = "cannot write " + (scratch / "no-world").string();
        return false;
    }
    const fs::path worldPath = c.world.empty() ? scratch / "no-world" / "world.db" : scratch / "world.db";
    environment.push_back("NTSIM_WORLD=" + worldPath.string());
    for (const auto& [name, value] : c.env) environment.push_back(name + "=" + value);

    const fs::path ntsim = options.bin / "ntsim";
    if (!c.world.empty()) {
        const fs::path json = options.worlds / c.world;
        if (!fs::exists(json)) {
            *error = "world " + json.string() + " does not exist";
            return false;
        }
        const Spawned imported = Spawn(ntsim, {"--world", worldPath.string(), "import", json.string()}, environment,
                                       scratch);
        if (imported.status != "0") {
            *error = "importing " + c.world + " failed (status " + imported.status + "):\n" + imported.err;
            return false;
        }
    }
    for (const auto& setup : c.setups) {
        std::vector<std::string> args = {"--world", worldPath.string()};
        args.insert(args.end(), setup.begin(), setup.end());
        const Spawned done = Spawn(ntsim, args, environment, scratch);
        if (done.status != "0") {
            *error = "setup 'ntsim";
            for (const auto& a : setup) *error += " " + a;
            *error += "' failed (status " + done.status + "):\n" + done.out + done.err;
            return false;
        }
    }
    for (const auto& run : c.runs) {
        const std::vector<std::string> args(run.begin() + 1, run.end());
        const Spawned done = Spawn(options.bin / run[0], args, environment, scratch);
        outcome->out += done.out;
        outcome->err += done.err;
        if (!outcome->status.empty()) outcome->status += " ";
        outcome->status += done.status;
    }
    return true;
}

// A unified diff from the system's diff tool, which every build machine has.
std::string Diff(const std::string& label, const std::string& expected, const std::string& actual,
                 const fs::path& scratch) {
    const fs::path a = scratch / ("expected-" + label);
    const fs::path b = scratch / ("actual-" + label);
    WriteFile(a, expected);
    WriteFile(b, actual);
    const Spawned d = Spawn("/usr/bin/diff",
                            {"-u", "--label", "expected " + label, "--label", "actual " + label, a.string(),
                             b.string()},
                            {"PATH=/usr/bin:/bin", "LC_ALL=C"}, scratch);
    return d.out + d.err;
}

std::string SectionText(const std::string& name, const std::string& text) {
    if (text.empty()) return "";
    if (text.back() == '\n') return "--- " + name + "\n" + text;
    return "--- " + name + " noeol\n" + text + "\n";
}

bool Update(const Case& c, const Outcome& outcome) {
    std::string text;
    bool statusWritten = false;
    for (const auto& line : c.header) {
        if (StartsWith(Trim(line), "status:")) {
            text += "status: " + outcome.status + "\n";
            statusWritten = true;
        } else {
            text += line + "\n";
        }
    }
    while (StartsWith(text, "\n")) text.erase(0, 1);
    while (text.size() >= 2 && text.compare(text.size() - 2, 2, "\n\n") == 0) text.pop_back();
    if (!statusWritten) text += "status: " + outcome.status + "\n";
    text += SectionText("stdout", outcome.out);
    text += SectionText("stderr", outcome.err);
    return WriteFile(c.file, text);
}

int Usage() {
    std::cerr << "usage: e2e_runner --bin DIR --worlds DIR [--update] [--keep] CASE...\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--bin" || a == "--worlds") && i + 1 < argc) {
            (a == "--bin" ? options.bin : options.worlds) = fs::absolute(argv[++i]);
        } else if (a == "--update") {
            options.update = true;
        } else if (a == "--keep") {
            options.keep = true;
        } else if (StartsWith(a, "--")) {
            return Usage();
        } else {
            options.cases.push_back(fs::absolute(a));
        }
    }
    if (options.bin.empty() || options.worlds.empty() || options.cases.empty()) return Usage();

    int failed = 0;
    for (const auto& file : options.cases) {
        Case c;
        std::string error;
        if (!ParseCase(file, &c, &error)) {
            std::cout << "BROKEN " << file.string() << ": " << error << "\n";
            ++failed;
            continue;
        }
        char pattern[] = "/tmp/e2e-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) {
            std::cout << "BROKEN " << file.string() << ": no scratch folder: " << std::strerror(errno) << "\n";
            ++failed;
            continue;
        }
        const fs::path scratch = made;
        Outcome outcome;
        if (!RunCase(options, c, scratch, &outcome, &error)) {
            std::cout << "BROKEN " << file.string() << ": " << error << "\n";
            ++failed;
        } else if (options.update) {
            if (!Update(c, outcome)) {
                std::cout << "BROKEN " << file.string() << ": cannot rewrite the case\n";
                ++failed;
            } else {
                std::cout << "updated " << file.string() << "\n";
            }
        } else {
            const std::string expectedStatus = c.status.value_or("(none given)");
            const bool same = outcome.out == c.out.text && outcome.err == c.err.text &&
                              outcome.status == expectedStatus;
            if (same) {
                std::cout << "ok " << file.string() << "\n";
            } else {
                ++failed;
                std::cout << "FAIL " << file.string() << "\n";
                if (outcome.status != expectedStatus) {
                    std::cout << "exit status: expected " << expectedStatus << ", got " << outcome.status << "\n";
                }
                if (outcome.out != c.out.text) std::cout << Diff("stdout", c.out.text, outcome.out, scratch);
                if (outcome.err != c.err.text) std::cout << Diff("stderr", c.err.text, outcome.err, scratch);
            }
        }
        if (options.keep) {
            std::cout << "scratch kept in " << scratch.string() << "\n";
        } else {
            std::error_code ignored;
            fs::remove_all(scratch, ignored);
        }
    }
    return failed == 0 ? 0 : 1;
}
