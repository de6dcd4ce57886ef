// Several processes writing different parts of one key's descriptor at the
// same time: each write merges into what is stored inside one transaction,
// so no process's part is ever lost to another's write.
//
// The writers are this test program itself, started again with a filter
// that runs only PartWriter.Run and an environment variable naming the part.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Runs only inside a writer process.
TEST(PartWriter, Run) {
    const char* part = std::getenv("HOST_TEST_PART");
    if (part == nullptr) GTEST_SKIP() << "started by Concurrency.PartsWrittenTogetherAreAllKept";
    platform::host::Host::ResetForTesting();
    for (const char* privilege : {"SeSecurityPrivilege", "SeRestorePrivilege", "SeTakeOwnershipPrivilege"}) {
        HANDLE token = nullptr;
        ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
        TOKEN_PRIVILEGES tp{};
        tp.PrivilegeCount = 1;
        ASSERT_TRUE(LookupPrivilegeValueA(nullptr, privilege, &tp.Privileges[0].Luid));
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr));
        ASSERT_EQ(GetLastError(), ERROR_SUCCESS) << privilege;
        CloseHandle(token);
    }
    // Start together, so that the writes interleave to the end.
    const char* go = std::getenv("HOST_TEST_GO");
    ASSERT_NE(go, nullptr);
    while (::access(go, F_OK) != 0) ::usleep(500);
    const SECURITY_INFORMATION info = PartInfo(part[0]);
    // Every part only moves forward: a write that put back an older owner,
    // DACL or SACL of another writer would show as a round going down.
    int seen[3] = {-1, -1, -1};
    for (int round = 0; round < kRounds; ++round) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0,
                                READ_CONTROL | WRITE_OWNER | WRITE_DAC | ACCESS_SYSTEM_SECURITY, &key),
                  ERROR_SUCCESS);
        int p = 0;
        for (char other : {'O', 'D', 'S'}) {
            std::vector<BYTE> current(4096);
            DWORD length = static_cast<DWORD>(current.size());
            ASSERT_EQ(RegGetKeySecurity(key, PartInfo(other), current.data(), &length), ERROR_SUCCESS);
            int now = RoundIn(Sddl(current.data(), length, PartInfo(other)));
            EXPECT_GE(now, seen[p]) << other << " went back from round " << seen[p] << " to " << now;
            seen[p++] = now;
        }
        auto sd = Sd(PartText(part[0], round).c_str());
        ASSERT_EQ(RegSetKeySecurity(key, info, sd.data()), ERROR_SUCCESS) << round;
        RegCloseKey(key);
    }
}

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
        std::string self = "/proc/self/exe", filter = "--gtest_filter=PartWriter.Run";
        char* argv[] = {self.data(), filter.data(), nullptr};
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
