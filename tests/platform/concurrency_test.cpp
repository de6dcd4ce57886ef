// Several processes writing different parts of one key's descriptor at the
// same time: each write merges into what is stored inside one transaction,
// so no process's part is ever lost to another's write.
//
// The writers are this test program itself, started again with an
// environment variable naming the part it writes.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "host_world.h"

extern char** environ;

namespace hosttest {
namespace {

constexpr int kRounds = 100;
constexpr const char* kKey = "SOFTWARE\\App\\Alpha";

// The descriptor text a writer sets in round i, for its part.
std::string PartText(char part, int round) {
    std::string rid = std::to_string(5000 + round);
    switch (part) {
        case 'O': return "O:S-1-5-21-1000-2000-3000-" + rid;
        case 'D': return "D:(A;;KA;;;BA)(A;;KR;;;S-1-5-21-1000-2000-3000-" + rid + ")";  // keeps the writers in
        default: return "S:(AU;FA;KA;;;S-1-5-21-1000-2000-3000-" + rid + ")";
    }
}

// The round a part's text was written in, -1 for the world's own value.
int RoundIn(const std::string& text) {
    auto at = text.find("S-1-5-21-1000-2000-3000-5");
    if (at == std::string::npos) return -1;
    return std::atoi(text.c_str() + at + std::strlen("S-1-5-21-1000-2000-3000-")) - 5000;
}

SECURITY_INFORMATION PartInfo(char part) {
    switch (part) {
        case 'O': return OWNER_SECURITY_INFORMATION;
        case 'D': return DACL_SECURITY_INFORMATION;
        default: return SACL_SECURITY_INFORMATION;
    }
}

// A writer process: the test program started again with HOST_TEST_PART
// set.  It runs before the test framework starts, writes its part
// kRounds times, and exits with 0, or 1 after printing what went wrong.
int RunWriter(char part) {
    platform::host::Host::ResetForTesting();
    for (const char* privilege : {"SeSecurityPrivilege", "SeRestorePrivilege", "SeTakeOwnershipPrivilege"}) {
        HANDLE token = nullptr;
        TOKEN_PRIVILEGES tp{};
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token) ||
            !LookupPrivilegeValueA(nullptr, privilege, &tp.Privileges[0].Luid) ||
            !AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr) || GetLastError() != ERROR_SUCCESS) {
            std::fprintf(stderr, "writer %c: cannot enable %s\n", part, privilege);
            return 1;
        }
        CloseHandle(token);
    }
    // Start together, so that the writes interleave to the end.
    const char* go = std::getenv("HOST_TEST_GO");
    if (go == nullptr) return 1;
    while (::access(go, F_OK) != 0) ::usleep(500);

    auto machine = platform::host::MakeSid(5, {21, 4000, 5000, 6000});
    auto domain = platform::host::MakeSid(5, {21, 1000, 2000, 3000});
    platform::SddlContext context{reinterpret_cast<const SID*>(machine.data()),
                                  reinterpret_cast<const SID*>(domain.data())};
    // Every part only moves forward: a write that put back an older owner,
    // DACL or SACL of another writer shows as a round going down.
    int seen[3] = {-1, -1, -1};
    for (int round = 0; round < kRounds; ++round) {
        HKEY key = nullptr;
        LSTATUS rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0,
                                   READ_CONTROL | WRITE_OWNER | WRITE_DAC | ACCESS_SYSTEM_SECURITY, &key);
        if (rc != ERROR_SUCCESS) {
            std::fprintf(stderr, "writer %c: open failed with %ld\n", part, static_cast<long>(rc));
            return 1;
        }
        int p = 0;
        for (char other : {'O', 'D', 'S'}) {
            std::vector<BYTE> current(4096);
            DWORD length = static_cast<DWORD>(current.size());
            std::string text;
            if (RegGetKeySecurity(key, PartInfo(other), current.data(), &length) != ERROR_SUCCESS ||
                !platform::SecurityDescriptorToSddl(current.data(), length, PartInfo(other), context, text)) {
                std::fprintf(stderr, "writer %c: cannot read part %c\n", part, other);
                return 1;
            }
            int now = RoundIn(text);
            if (now < seen[p]) {
                std::fprintf(stderr, "writer %c: part %c went back from round %d to %d\n", part, other, seen[p], now);
                return 1;
            }
            seen[p++] = now;
        }
        std::vector<BYTE> sd;
        std::size_t at = 0;
        if (!platform::SddlToSelfRelative(PartText(part, round), context, sd, &at) ||
            RegSetKeySecurity(key, PartInfo(part), sd.data()) != ERROR_SUCCESS) {
            std::fprintf(stderr, "writer %c: write %d failed\n", part, round);
            return 1;
        }
        RegCloseKey(key);
    }
    return 0;
}

// Turns this program into a writer before any test runs.
const bool kWriterChecked = [] {
    if (const char* part = std::getenv("HOST_TEST_PART")) std::_Exit(RunWriter(part[0]));
    return true;
}();

class Concurrency : public HostWorld {
protected:
    std::string Go() const { return Path() + ".go"; }
    void TearDown() override {
        std::remove(Go().c_str());
        HostWorld::TearDown();
    }
};

TEST_F(Concurrency, PartsWrittenTogetherAreAllKept) {
    std::vector<pid_t> writers;
    for (const char* part : {"O", "D", "S"}) {
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
        env.push_back(std::string("HOST_TEST_PART=") + part);
        env.push_back("NTSIM_LOGON=CORP\\bob");
        env.push_back("HOST_TEST_GO=" + Go());
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string self = "/proc/self/exe";
        char* argv[] = {self.data(), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, envp.data()), 0);
        writers.push_back(pid);
    }
    std::FILE* start = std::fopen(Go().c_str(), "w");
    ASSERT_NE(start, nullptr);
    std::fclose(start);
    for (pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer " << pid << " status " << status;
    }
    std::string error;
    auto world = platform::store::World::Open(Path(), false, &error);
    ASSERT_TRUE(world) << error;
    auto machine = world->MachineByName("WKSTN01");
    auto key = world->KeyByPath(machine->id, "HKLM", kKey);
    ASSERT_TRUE(key);
    auto expected = Sd((PartText('O', kRounds - 1) + "G:SY" + PartText('D', kRounds - 1) + PartText('S', kRounds - 1)).c_str());
    constexpr SECURITY_INFORMATION kParts =
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
    EXPECT_EQ(Sddl(key->sd.data(), key->sd.size(), kParts), Sddl(expected.data(), expected.size(), kParts));
}

}  // namespace
}  // namespace hosttest
