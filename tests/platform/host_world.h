// A small world for the host's tests, written into a fresh file per test
// and made the process's world: NTSIM_WORLD points at it, NTSIM_LOGON and
// NTSIM_FAULT are cleared unless a test sets them, and the process-wide host
// is dropped so the next platform call starts from scratch.
//
// The world: domain CORP (controller CORPDC) with alice (in Team), bob (in
// Domain Admins) and a deleted olduser; the local workstation WKSTN01 whose
// Administrators hold WKSTN01\Administrator and CORP\Domain Admins, with an
// alias helpdesk holding CORP\Team; a file server FILESRV with shares; a
// machine OLDSRV that is offline and NOREG whose remote registry is off.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/host.h"
#include "platform/platform.h"
#include "security/descriptor.h"
#include "security/sddl.h"
#include "store/world.h"

namespace hosttest {

inline const char* const kWorld = R"json({
  "local": "WKSTN01",
  "logon": "CORP\\alice",
  "domains": [ { "name": "CORP", "sid": "S-1-5-21-1000-2000-3000", "dc": "CORPDC",
     "accounts": [
        { "name": "Domain Admins", "rid": 512, "type": "group", "members": ["CORP\\bob"] },
        { "name": "alice", "rid": 1104, "type": "user" },
        { "name": "bob", "rid": 1105, "type": "user" },
        { "name": "Team", "rid": 1300, "type": "group", "members": ["CORP\\alice"] },
        { "name": "olduser", "rid": 1200, "type": "user", "deleted": true } ] } ],
  "machines": [
    { "name": "WKSTN01", "sid": "S-1-5-21-4000-5000-6000", "domain": "CORP",
      "accounts": [ { "name": "Administrator", "rid": 500, "type": "user" },
                    { "name": "helpdesk", "rid": 1001, "type": "alias", "members": ["CORP\\Team"] } ],
      "builtin": { "Administrators": ["WKSTN01\\Administrator", "CORP\\Domain Admins"],
                   "Users": ["CORP\\Domain Users"] },
      "registry": [
        { "key": "HKLM\\SOFTWARE\\App", "sd": "O:BAG:SYD:(A;CI;KA;;;BA)(A;CI;KR;;;BU)",
          "values": { "Name": "text" } },
        { "key": "HKLM\\SOFTWARE\\App\\zeta" },
        { "key": "HKLM\\SOFTWARE\\App\\Alpha" },
        { "key": "HKLM\\SOFTWARE\\App\\beta" },
        { "key": "HKLM\\SOFTWARE\\App\\Alpha\\Deep" },
        { "key": "HKLM\\SOFTWARE\\Secret", "sd": "O:SYG:SYD:(A;;KA;;;SY)" },
        { "key": "HKLM\\SOFTWARE\\Audited", "sd": "O:BAG:SYD:(A;;KA;;;WD)S:(AU;SAFA;KA;;;WD)" },
        { "key": "HKLM\\SOFTWARE\\Helpdesk", "sd": "O:BAG:SYD:(D;;0x6;;;S-1-5-21-4000-5000-6000-1001)(A;;KA;;;S-1-5-21-4000-5000-6000-1001)" },
        { "key": "HKLM\\SOFTWARE\\Classes\\.txt" },
        { "key": "HKU\\S-1-5-21-1000-2000-3000-1104\\Software", "sd": "O:S-1-5-21-1000-2000-3000-1104G:SYD:(A;CI;KA;;;S-1-5-21-1000-2000-3000-1104)" } ],
      "shares": [] },
    { "name": "CORPDC", "sid": "S-1-5-21-7000-7000-7000", "domain": "CORP",
      "builtin": { "Administrators": ["CORP\\Domain Admins"] } },
    { "name": "FILESRV", "sid": "S-1-5-21-8000-8000-8000", "domain": "CORP",
      "accounts": [ { "name": "svc", "rid": 1000, "type": "user" } ],
      "builtin": { "Administrators": ["CORP\\Domain Admins"], "Users": ["CORP\\Domain Users"] },
      "registry": [ { "key": "HKLM\\SOFTWARE\\Remote", "sd": "O:BAG:SYD:(A;;KA;;;WD)" } ],
      "shares": [
        { "name": "data", "path": "C:\\data", "remark": "Team data", "type": "disk", "max_uses": -1,
          "sd": "O:BAG:BAD:(A;;FA;;;WD)" },
        { "name": "ADMIN$", "path": "C:\\WINDOWS", "remark": "Remote Admin", "type": "disk", "sd": null },
        { "name": "IPC$", "path": "", "remark": "Remote IPC", "type": "ipc", "sd": null },
        { "name": "public", "path": "C:\\public", "remark": "", "type": "disk", "sd": "O:BAG:BAD:(A;;0x1200a9;;;WD)" },
        { "name": "printer", "path": "", "remark": "Laser", "type": "printer", "sd": null } ] },
    { "name": "OLDSRV", "sid": "S-1-5-21-9000-9000-9000", "domain": "CORP", "online": false },
    { "name": "NOREG", "sid": "S-1-5-21-9100-9100-9100", "domain": "CORP", "remote_registry": false }
  ]
})json";

inline std::vector<BYTE> Sid(const char* text) {
    std::vector<BYTE> out;
    EXPECT_TRUE(platform::StringToSid(text, out)) << text;
    return out;
}

inline std::string SidString(const void* sid, std::size_t length) {
    std::string out;
    if (!platform::SidToString(sid, length, out)) return "(bad SID)";
    return out;
}

// A self-relative descriptor from SDDL (aliases for WKSTN01 and CORP).
inline std::vector<BYTE> Sd(const char* sddl) {
    auto machine = Sid("S-1-5-21-4000-5000-6000");
    auto domain = Sid("S-1-5-21-1000-2000-3000");
    platform::SddlContext context{reinterpret_cast<const SID*>(machine.data()),
                                  reinterpret_cast<const SID*>(domain.data())};
    std::vector<BYTE> out;
    std::size_t at = 0;
    EXPECT_TRUE(platform::SddlToSelfRelative(sddl, context, out, &at)) << sddl << " at " << at;
    return out;
}

inline std::string Sddl(const void* sd, std::size_t length, SECURITY_INFORMATION info) {
    auto machine = Sid("S-1-5-21-4000-5000-6000");
    auto domain = Sid("S-1-5-21-1000-2000-3000");
    platform::SddlContext context{reinterpret_cast<const SID*>(machine.data()),
                                  reinterpret_cast<const SID*>(domain.data())};
    std::string out;
    if (!platform::SecurityDescriptorToSddl(sd, length, info, context, out)) return "(bad descriptor)";
    return out;
}

class HostWorld : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = ::testing::TempDir() + "host_world_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                std::to_string(::getpid()) + ".db";
        Remove();
        std::string error;
        auto world = platform::store::World::Open(path_, false, &error);
        ASSERT_TRUE(world) << error;
        ASSERT_TRUE(world->ImportJson(WorldJson(), &error)) << error;
        world.reset();
        ::setenv("NTSIM_WORLD", path_.c_str(), 1);
        ::unsetenv("NTSIM_LOGON");
        ::unsetenv("NTSIM_FAULT");
        platform::host::Host::ResetForTesting();
    }

    void TearDown() override {
        platform::host::Host::ResetForTesting();
        ::unsetenv("NTSIM_LOGON");
        ::unsetenv("NTSIM_FAULT");
        Remove();
    }

    virtual std::string WorldJson() { return kWorld; }

    // Runs the rest of the test as another account (or with faults): the
    // host is dropped so the next call reads the environment again.
    void LogOnAs(const char* account) {
        ::setenv("NTSIM_LOGON", account, 1);
        platform::host::Host::ResetForTesting();
    }
    void InjectFaults(const char* spec) {
        ::setenv("NTSIM_FAULT", spec, 1);
        platform::host::Host::ResetForTesting();
    }

    // Enables a privilege through the platform calls; true when held.
    static bool Enable(const char* privilege) {
        HANDLE token = nullptr;
        EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
        TOKEN_PRIVILEGES tp{};
        tp.PrivilegeCount = 1;
        EXPECT_TRUE(LookupPrivilegeValueA(nullptr, privilege, &tp.Privileges[0].Luid));
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr));
        bool held = GetLastError() == ERROR_SUCCESS;
        EXPECT_TRUE(CloseHandle(token));
        return held;
    }

    const std::string& Path() const { return path_; }

private:
    void Remove() {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::remove((path_ + suffix).c_str());
    }
    std::string path_;
};

}  // namespace hosttest
