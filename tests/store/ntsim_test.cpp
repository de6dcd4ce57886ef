// ntsim run as a program: its commands and errors, and the store's promises
// under several processes at once or a process killed mid-write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <regex>
#include <set>
#include <thread>

#include "security/descriptor.h"
#include "store_fixture.h"

#ifdef NTSIM_BINARY

namespace {

using storetest::ReadFile;
using storetest::TempFolder;
using storetest::WriteFile;

struct Outcome {
    int status = -1;     // exit status, or -1 when killed
    std::string out;     // standard output
    std::string err;     // standard error
};

// Starts ntsim with the arguments, standard output and error going to
// files in the folder; returns the child's pid.
pid_t Start(const TempFolder& folder, const std::vector<std::string>& args, const std::string& tag) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(folder.File(tag + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(folder.File(tag + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv;
        std::string program = NTSIM_BINARY;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (std::string& arg : copy) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

Outcome Finish(const TempFolder& folder, pid_t pid, const std::string& tag) {
    int status = 0;
    waitpid(pid, &status, 0);
    Outcome outcome;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = ReadFile(folder.File(tag + ".out"));
    outcome.err = ReadFile(folder.File(tag + ".err"));
    return outcome;
}

class NtsimTest : public ::testing::Test {
protected:
    std::string World() const { return folder_.File("world.db"); }

    Outcome Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--world", World()});
        return Finish(folder_, Start(folder_, args, "run"), "run");
    }

    // Runs a command that must succeed; returns its output.
    std::string Ok(const std::vector<std::string>& args) {
        const Outcome outcome = Run(args);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(outcome.err, "");
        return outcome.out;
    }

    std::unique_ptr<platform::store::World> OpenWorld() {
        std::string error;
        auto world = platform::store::World::Open(World(), false, &error);
        EXPECT_TRUE(world) << error;
        return world;
    }

    TempFolder folder_;
};

TEST_F(NtsimTest, ExportImportExportIsStableThroughTheTool) {
    const std::string first = Ok({"export"});  // the sample, created on first use
    ASSERT_NE(first.find("\"local\": \"WKSTN01\""), std::string::npos);
    WriteFile(folder_.File("world.json"), first);
    const std::string other = folder_.File("other.db");
    Outcome imported = Finish(folder_, Start(folder_, {"--world", other, "import", folder_.File("world.json")}, "i"), "i");
    ASSERT_EQ(imported.status, 0) << imported.err;
    Outcome again = Finish(folder_, Start(folder_, {"--world", other, "export"}, "e"), "e");
    EXPECT_EQ(again.out, first);
    // init --empty and init bring back an empty and the sample world.
    Ok({"init", "--empty"});
    EXPECT_EQ(Ok({"export"}), "{\n  \"local\": \"\",\n  \"logon\": \"\",\n  \"domains\": [],\n  \"machines\": []\n}\n");
    Ok({"init"});
    EXPECT_EQ(Ok({"export"}), first);
}

TEST_F(NtsimTest, DescriptorsShowAndSetAsSddl) {
    Ok({"init"});
    const std::string key = "\\\\FS01\\HKLM\\SOFTWARE\\Microsoft";
    Ok({"key", "sd", key, "O:BAG:SYD:(A;CI;KR;;;BU)(D;;KW;;;WD)"});
    EXPECT_EQ(Ok({"key", "sd", key}), "O:BAG:SYD:(A;CI;KR;;;BU)(D;;KW;;;WD)\n") << "entries keep their order";
    // A key created below inherits; an appended entry lands at the end.
    Ok({"key", "add", key + "\\Child"});
    EXPECT_EQ(Ok({"key", "sd", key + "\\Child"}), "O:BAG:SYD:AI(A;CIID;KR;;;BU)\n");
    Ok({"key", "add-ace", key + "\\Child", "(A;;KA;;;BA)"});
    Ok({"key", "add-ace", key + "\\Child", "--audit", "(AU;FA;KA;;;WD)"});
    EXPECT_EQ(Ok({"key", "sd", key + "\\Child"}), "O:BAG:SYD:AI(A;CIID;KR;;;BU)(A;;KA;;;BA)S:(AU;FA;KA;;;WD)\n");
    // Shares: set, show, remove (an empty line).
    Ok({"share", "sd", "\\\\FS01\\Public", "O:BAG:DUD:(A;;FA;;;WD)"});
    EXPECT_EQ(Ok({"share", "sd", "\\\\fs01\\PUBLIC"}), "O:BAG:DUD:(A;;FA;;;WD)\n");
    Ok({"share", "sd", "\\\\FS01\\Public", "--none"});
    EXPECT_EQ(Ok({"share", "sd", "\\\\FS01\\Public"}), "\n");
    EXPECT_EQ(Ok({"share", "sd", "C$"}), "\n") << "default shares have no descriptor";
}

TEST_F(NtsimTest, SmallChangesWithoutWritingJson) {
    Ok({"init", "--empty"});
    Ok({"domain", "add", "LAB", "--sid", "S-1-5-21-10-20-30"});
    Ok({"machine", "add", "BOX", "--sid", "S-1-5-21-40-50-60", "--domain", "LAB"});
    Ok({"domain", "set", "LAB", "--dc", "BOX"});
    Ok({"local", "BOX"});
    Ok({"logon", "LAB\\ann"});
    Ok({"account", "add", "LAB\\ann"});
    Ok({"account", "add", "LAB\\Ops", "--type", "group", "--rid", "2000"});
    Ok({"member", "add", "LAB\\Ops", "ann"});
    Ok({"account", "add", "Crew", "--type", "alias"});
    Ok({"member", "add", "BOX\\Crew", "LAB\\Ops"});
    Ok({"member", "add", "BUILTIN\\Administrators", "LAB\\Ops"});
    Ok({"privilege", "add", "SeDebugPrivilege", "LAB\\ann"});
    Ok({"key", "add", "--parents", "HKLM\\SOFTWARE\\Lab\\Tool", "--sd", "O:BAG:SYD:(A;CI;KA;;;BA)"});
    Ok({"value", "set", "HKLM\\SOFTWARE\\Lab\\Tool", "Level", "0x10", "--type", "dword"});
    Ok({"value", "set", "HKLM\\SOFTWARE\\Lab\\Tool", "Paths", "a|b c", "--type", "multi_sz"});
    Ok({"share", "add", "Tools", "--path", "C:\\Tools", "--remark", "Lab tools", "--sd", "O:BAG:DUD:(A;;FA;;;WD)"});
    Ok({"share", "add", "Temp", "--path", "C:\\Temp"});
    Ok({"share", "set", "Tools", "--max-uses", "5"});
    Ok({"account", "add", "LAB\\gone"});
    Ok({"account", "set", "LAB\\gone", "--deleted", "true"});

    const auto doc = nlohmann::ordered_json::parse(Ok({"export"}));
    EXPECT_EQ(doc["local"], "BOX");
    EXPECT_EQ(doc["logon"], "LAB\\ann");
    const auto& domain = doc["domains"][0];
    EXPECT_EQ(domain["dc"], "BOX");
    bool sawOps = false, sawGone = false;
    for (const auto& account : domain["accounts"]) {
        if (account["name"] == "Ops") {
            sawOps = true;
            EXPECT_EQ(account["rid"], 2000);
            EXPECT_EQ(account["members"], nlohmann::ordered_json({"LAB\\ann"}));
        }
        if (account["name"] == "gone") {
            sawGone = true;
            EXPECT_EQ(account["deleted"], true);
        }
    }
    EXPECT_TRUE(sawOps && sawGone);
    const auto& machine = doc["machines"][0];
    EXPECT_EQ(machine["builtin"]["Administrators"], nlohmann::ordered_json({"LAB\\Ops"}));
    EXPECT_EQ(machine["privileges"]["SeDebugPrivilege"], nlohmann::ordered_json({"LAB\\ann"}));
    EXPECT_EQ(machine["privileges"]["SeSecurityPrivilege"], nlohmann::ordered_json({"BUILTIN\\Administrators"}))
        << "the defaults stay when one grant is added";
    ASSERT_EQ(machine["shares"].size(), 2u);
    EXPECT_EQ(machine["shares"][0]["name"], "Tools");
    EXPECT_EQ(machine["shares"][0]["max_uses"], 5);
    EXPECT_EQ(machine["shares"][1]["sd"], nullptr);
    bool sawTool = false;
    for (const auto& key : machine["registry"])
        if (key["key"] == "HKLM\\SOFTWARE\\Lab\\Tool") {
            sawTool = true;
            EXPECT_EQ(key["values"]["Level"], 16);
            EXPECT_EQ(key["values"]["Paths"], nlohmann::ordered_json({"a", "b c"}));
        }
    EXPECT_TRUE(sawTool);

    // Undo, step by step.
    Ok({"member", "remove", "LAB\\Ops", "LAB\\ann"});
    Ok({"value", "delete", "HKLM\\SOFTWARE\\Lab\\Tool", "level"});
    Ok({"key", "delete", "HKLM\\SOFTWARE\\Lab"});
    Ok({"share", "delete", "Temp"});
    Ok({"privilege", "remove", "SeDebugPrivilege", "ann"});
    const std::string after = Ok({"export"});
    EXPECT_EQ(after.find("SOFTWARE\\\\Lab"), std::string::npos);
    EXPECT_EQ(after.find("\"Temp\""), std::string::npos);
    EXPECT_EQ(after.find("SeDebugPrivilege\": [\n          \"LAB"), std::string::npos);
    EXPECT_EQ(nlohmann::ordered_json::parse(after)["domains"][0]["accounts"][0].count("members"), 0u);
}

TEST_F(NtsimTest, BadArgumentsFailWithOneClearLine) {
    Ok({"init"});
    WriteFile(folder_.File("bad.json"), R"({"machines": [{"name": "M", "sid": "S-1-5-21-1-2-3", "oops": 1}]})");
    struct Case {
        std::vector<std::string> args;  // after --world
        const char* message;            // expected in standard error
    };
    const Case cases[] = {
        {{"key", "sd", "HKCU\\Software"}, "ntsim: \"HKCU\\Software\": a key path starts with HKLM or HKU"},
        {{"key", "sd", "HKLM\\Nope"}, "ntsim: no key HKLM\\Nope on WKSTN01"},
        {{"key", "sd", "HKLM\\SOFTWARE\\"}, "empty key name"},
        {{"key", "sd", "\\\\GHOST\\HKLM\\SOFTWARE"}, "ntsim: no machine named \"GHOST\""},
        {{"key", "sd", "HKLM\\SOFTWARE", "O:ZZ"}, "ntsim: bad descriptor at offset 2 of \"O:ZZ\""},
        {{"key", "add", "HKLM\\SOFTWARE\\A\\B"}, "does not exist (use --parents)"},
        {{"key", "add", "HKLM\\SOFTWARE"}, "ntsim: HKLM\\SOFTWARE exists already"},
        {{"key", "delete", "HKLM"}, "ntsim: a hive root cannot be deleted"},
        {{"key", "add-ace", "HKLM\\SOFTWARE", "A;;KR;;;BU"}, "an entry is written in parentheses"},
        {{"value", "set", "HKLM\\SOFTWARE", "n", "12x", "-t", "dword"}, "\"12x\" is not a number"},
        {{"value", "set", "HKLM\\SOFTWARE", "n", "abc", "-t", "binary"}, "pairs of hexadecimal digits"},
        {{"value", "set", "HKLM\\SOFTWARE", "n", "x", "-t", "qword"}, "unknown value type \"qword\""},
        {{"share", "sd", "nosuch"}, "ntsim: no share nosuch on WKSTN01"},
        {{"share", "sd", "\\\\FS01"}, "expected \\\\MACHINE\\ before the rest"},
        {{"share", "add", "\\\\FS01\\Public"}, "ntsim: share Public exists already"},
        {{"account", "add", "NOWHERE\\x"}, "ntsim: no domain or machine named \"NOWHERE\""},
        {{"member", "add", "CORP\\alice", "bob"}, "ntsim: CORP\\alice is not a group or alias"},
        {{"member", "add", "CORP\\Finance", "nobody"}, "unknown account \"nobody\""},
        {{"member", "remove", "CORP\\Finance", "bob"}, "ntsim: bob is not a member of CORP\\Finance"},
        {{"privilege", "add", "SeFlyPrivilege", "alice"}, "unknown privilege \"SeFlyPrivilege\""},
        {{"machine", "set", "GHOST", "--online", "false"}, "ntsim: no machine named \"GHOST\""},
        {{"machine", "delete", "CORPDC"}, "domains[0].dc: no machine named \"CORPDC\""},
        {{"local", "GHOST"}, "ntsim: local: no machine named \"GHOST\""},
        {{"import", "/nonexistent/world.json"}, "ntsim: cannot read /nonexistent/world.json"},
        {{"generate", "--keys", "500", "--depth", "2", "--fanout", "3", "--root", "HKLM\\SOFTWARE\\Small"},
         "hold only 13 keys"},
        {{"generate", "--root", "HKLM\\SOFTWARE"}, "ntsim: HKLM\\SOFTWARE exists already"},
    };
    const std::string before = Ok({"export"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const Outcome outcome = Run(c.args);
        EXPECT_NE(outcome.status, 0);
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    }
    const Outcome badImport = Run({"import", folder_.File("bad.json")});
    EXPECT_NE(badImport.status, 0);
    EXPECT_EQ(badImport.err, "ntsim: " + folder_.File("bad.json") + ": machines[0]: unknown field \"oops\"\n");
    // A refused generate leaves nothing half made; the rest changed nothing.
    EXPECT_EQ(Ok({"export"}), before);
    // Arguments the tool does not know.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"frobnicate"}, {"key"}, {"key", "sd"}, {"generate", "--keys", "0"}, {"export", "extra"},
          {"account", "add", "CORP\\x", "--type", "robot"}}) {
        SCOPED_TRACE(args[0]);
        EXPECT_NE(Run(args).status, 0);
    }
}

TEST_F(NtsimTest, AnUnusableWorldIsOneLineNamingTheFile) {
    WriteFile(World(), std::string(8192, '\x5a'));
    const Outcome outcome = Run({"export"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "ntsim: cannot open world " + World() + ": file is not a database\n");
}

TEST_F(NtsimTest, GenerateBuildsTheTreeItWasAskedFor) {
    Ok({"init", "--empty"});
    Ok({"machine", "add", "M", "--sid", "S-1-5-21-1-2-3"});
    Ok({"local", "M"});
    EXPECT_EQ(Ok({"generate", "--keys", "156", "--depth", "3", "--fanout", "5", "--aces", "3"}),
              "156 keys below HKLM\\SOFTWARE\\Generated\n");
    auto world = OpenWorld();
    ASSERT_TRUE(world);
    auto machine = world->MachineByName("M");
    auto root = world->KeyByPath(machine->id, "HKLM", "SOFTWARE\\Generated");
    ASSERT_TRUE(root);
    // 1 + 5 + 25 + 125 keys: the three levels full.
    std::size_t count = 0, deepest = 0;
    std::vector<std::pair<platform::store::Id, std::size_t>> stack{{root->id, 0}};
    while (!stack.empty()) {
        auto [id, level] = stack.back();
        stack.pop_back();
        ++count;
        deepest = std::max(deepest, level);
        auto key = world->KeyById(id);
        ASSERT_TRUE(key);
        EXPECT_TRUE(platform::IsValidSelfRelative(key->sd.data(), key->sd.size()));
        EXPECT_LE(world->SubkeyCount(id), 5u);
        for (const std::string& name : world->SubkeyNames(id)) stack.emplace_back(world->ChildKey(id, name)->id, level + 1);
    }
    EXPECT_EQ(count, 156u);
    EXPECT_EQ(deepest, 3u);
}

// Several processes append their own entries to one key at once: every
// entry arrives (no lost update) and the file stays consistent.
TEST_F(NtsimTest, ConcurrentWritersLoseNoEntry) {
    Ok({"init"});
    const std::string key = "HKLM\\SOFTWARE\\Contoso\\Timesheets";
    const int writers = 4, rounds = 8;
    std::vector<pid_t> children;
    for (int w = 0; w < writers; ++w) {
        const pid_t pid = fork();
        if (pid == 0) {
            for (int r = 0; r < rounds; ++r) {
                const std::string tag = "w" + std::to_string(w);
                const std::string ace = "(A;;KR;;;S-1-5-21-77-88-99-" + std::to_string(1000 + w * 100 + r) + ")";
                const Outcome outcome =
                    Finish(folder_, Start(folder_, {"--world", World(), "key", "add-ace", key, ace}, tag), tag);
                if (outcome.status != 0) _exit(10 + r);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    const std::string sddl = Ok({"key", "sd", key});
    std::set<std::string> rids;
    const std::regex entry("S-1-5-21-77-88-99-([0-9]+)");
    for (auto it = std::sregex_iterator(sddl.begin(), sddl.end(), entry); it != std::sregex_iterator(); ++it)
        rids.insert((*it)[1]);
    EXPECT_EQ(rids.size(), static_cast<std::size_t>(writers * rounds)) << sddl;
    auto world = OpenWorld();
    ASSERT_TRUE(world);
    std::string problem;
    EXPECT_TRUE(world->CheckIntegrity(&problem)) << problem;
}

// A writer killed in the middle of a large transaction leaves the world as
// it was: the tree it was building is not there at all, and the file is
// consistent and writable.
TEST_F(NtsimTest, AWriterKilledMidWayLeavesTheStoreIntact) {
    Ok({"init"});
    const std::string before = Ok({"export"});
    const pid_t pid = Start(folder_, {"--world", World(), "generate", "--keys", "2000000", "--depth", "8", "--fanout", "8",
                                      "--root", "HKLM\\SOFTWARE\\Killed"},
                            "k");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the writer finished before it could be killed";
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    auto world = OpenWorld();
    ASSERT_TRUE(world);
    std::string problem;
    EXPECT_TRUE(world->CheckIntegrity(&problem)) << problem;
    auto machine = world->MachineByName("WKSTN01");
    ASSERT_TRUE(machine);
    EXPECT_FALSE(world->KeyByPath(machine->id, "HKLM", "SOFTWARE\\Killed"));
    world.reset();
    EXPECT_EQ(Ok({"export"}), before);
    Ok({"key", "add-ace", "HKLM\\SOFTWARE", "(A;;KR;;;WD)"});
}

}  // namespace

#endif  // NTSIM_BINARY
