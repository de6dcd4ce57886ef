// The process token: privilege values, enabling what the account holds,
// the groups the token carries on each machine, and what ntsim shows of it.
#include <algorithm>
#include <cstring>

#include "host/inspect.h"
#include "host_world.h"

namespace hosttest {
namespace {

class Token : public HostWorld {};

TEST_F(Token, PrivilegeValuesAreThePlatformsNumbers) {
    struct Case {
        const char* name;  // as passed
        DWORD value;       // expected LUID.LowPart, 0 = unknown
    };
    const Case cases[] = {
        {"SeSecurityPrivilege", SE_SECURITY_PRIVILEGE},
        {"SeTakeOwnershipPrivilege", SE_TAKE_OWNERSHIP_PRIVILEGE},
        {"SeBackupPrivilege", SE_BACKUP_PRIVILEGE},
        {"SeRestorePrivilege", SE_RESTORE_PRIVILEGE},
        {"SeTcbPrivilege", SE_TCB_PRIVILEGE},
        {"SeChangeNotifyPrivilege", SE_CHANGE_NOTIFY_PRIVILEGE},
        {"sesecurityprivilege", SE_SECURITY_PRIVILEGE},
        {"SeFlyingPrivilege", 0},
        {"", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LUID luid{77, 77};
        BOOL ok = LookupPrivilegeValueA(nullptr, c.name, &luid);
        if (c.value == 0) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_PRIVILEGE);
            EXPECT_EQ(luid.LowPart, 77u);
        } else {
            ASSERT_TRUE(ok);
            EXPECT_EQ(luid.LowPart, c.value);
            EXPECT_EQ(luid.HighPart, 0);
        }
    }
}

TEST_F(Token, OnlyHeldPrivilegesAreEnabled) {
    struct Case {
        const char* logon;      // account running
        const char* privilege;  // privilege asked for
        bool held;              // expected: enabled (else ERROR_NOT_ALL_ASSIGNED)
    };
    const Case cases[] = {
        {"CORP\\alice", "SeSecurityPrivilege", false},
        {"CORP\\bob", "SeSecurityPrivilege", true},
        {"CORP\\bob", "SeBackupPrivilege", true},
        {"CORP\\bob", "SeRestorePrivilege", true},
        {"CORP\\bob", "SeTakeOwnershipPrivilege", true},
        {"CORP\\bob", "SeTcbPrivilege", false},
        {"WKSTN01\\Administrator", "SeSecurityPrivilege", true},
        {"Administrator", "SeBackupPrivilege", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.logon) + " " + c.privilege);
        LogOnAs(c.logon);
        EXPECT_EQ(Enable(c.privilege), c.held);
    }
}

TEST_F(Token, EnabledPrivilegesLastAndApplyToEveryOpen) {
    LogOnAs("CORP\\bob");
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    // Two privileges in one call, one not held: TRUE, ERROR_NOT_ALL_ASSIGNED,
    // and the held one is enabled all the same.
    alignas(TOKEN_PRIVILEGES) BYTE buffer[sizeof(DWORD) + 2 * sizeof(LUID_AND_ATTRIBUTES)];
    auto* tp = reinterpret_cast<PTOKEN_PRIVILEGES>(buffer);
    tp->PrivilegeCount = 2;
    LUID_AND_ATTRIBUTES entries[2] = {{{SE_SECURITY_PRIVILEGE, 0}, SE_PRIVILEGE_ENABLED},
                                      {{SE_TCB_PRIVILEGE, 0}, SE_PRIVILEGE_ENABLED}};
    std::memcpy(buffer + sizeof(DWORD), entries, sizeof entries);
    SetLastError(12345);
    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, tp, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_NOT_ALL_ASSIGNED);
    EXPECT_TRUE(CloseHandle(token));

    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Audited", 0, ACCESS_SYSTEM_SECURITY, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    // The enabled set applies on the server too, where bob's Domain Admins
    // membership makes him an administrator.
    HKEY root = nullptr;
    ASSERT_EQ(RegConnectRegistryA("\\\\FILESRV", HKEY_LOCAL_MACHINE, &root), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(root, "SOFTWARE\\Remote", 0, ACCESS_SYSTEM_SECURITY, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    RegCloseKey(root);

    // Disabling everything takes it back.
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    EXPECT_TRUE(AdjustTokenPrivileges(token, TRUE, nullptr, 0, nullptr, nullptr));
    EXPECT_TRUE(CloseHandle(token));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Audited", 0, ACCESS_SYSTEM_SECURITY, &key),
              ERROR_PRIVILEGE_NOT_HELD);
}

TEST_F(Token, PreviousStateReportsWhatChanged) {
    LogOnAs("CORP\\bob");
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    tp.Privileges[0] = {{SE_BACKUP_PRIVILEGE, 0}, SE_PRIVILEGE_ENABLED};
    TOKEN_PRIVILEGES previous{};
    DWORD needed = 0;
    // Too small for the one change: nothing happens.
    EXPECT_FALSE(AdjustTokenPrivileges(token, FALSE, &tp, sizeof(DWORD), &previous, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, sizeof(TOKEN_PRIVILEGES));
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &tp, sizeof previous, &previous, &needed));
    EXPECT_EQ(previous.PrivilegeCount, 1u);
    EXPECT_EQ(previous.Privileges[0].Luid.LowPart, SE_BACKUP_PRIVILEGE);
    EXPECT_EQ(previous.Privileges[0].Attributes, 0u);  // it was disabled
    // Enabling it again changes nothing.
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &tp, sizeof previous, &previous, &needed));
    EXPECT_EQ(previous.PrivilegeCount, 0u);
    EXPECT_TRUE(CloseHandle(token));
}

TEST_F(Token, HandlesAreChecked) {
    HANDLE token = nullptr;
    EXPECT_FALSE(OpenProcessToken(reinterpret_cast<HANDLE>(std::uintptr_t{42}), TOKEN_QUERY, &token));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    TOKEN_PRIVILEGES tp{};
    EXPECT_FALSE(AdjustTokenPrivileges(reinterpret_cast<HANDLE>(std::uintptr_t{42}), FALSE, &tp, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    EXPECT_TRUE(CloseHandle(token));
    EXPECT_FALSE(CloseHandle(token));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// What ntsim shows: the groups each account's token holds on a machine.
struct TokenCase {
    const char* account;  // whose token
    const char* machine;  // where
    std::vector<std::string> present;  // lines expected in the description
    std::vector<std::string> absent;   // lines that must not be there
};

TEST_F(Token, GroupsFollowMembershipsTransitivelyPerMachine) {
    const TokenCase cases[] = {
        {"CORP\\alice", "",
         {"user S-1-5-21-1000-2000-3000-1104 CORP\\alice", "group S-1-5-21-1000-2000-3000-513 CORP\\Domain Users",
          "group S-1-5-21-1000-2000-3000-1300 CORP\\Team", "group S-1-5-21-4000-5000-6000-1001 WKSTN01\\helpdesk",
          "group S-1-5-32-545 BUILTIN\\Users", "group S-1-1-0 Everyone",
          "group S-1-5-11 NT AUTHORITY\\Authenticated Users", "group S-1-5-4 NT AUTHORITY\\INTERACTIVE"},
         {"group S-1-5-32-544 BUILTIN\\Administrators", "group S-1-5-2 NT AUTHORITY\\NETWORK", "privilege"}},
        {"CORP\\alice", "FILESRV",
         {"group S-1-5-2 NT AUTHORITY\\NETWORK", "group S-1-5-32-545 BUILTIN\\Users"},
         {"WKSTN01\\helpdesk", "INTERACTIVE"}},
        {"CORP\\bob", "FILESRV",
         {"group S-1-5-21-1000-2000-3000-512 CORP\\Domain Admins", "group S-1-5-32-544 BUILTIN\\Administrators",
          "privilege SeSecurityPrivilege", "privilege SeBackupPrivilege", "privilege SeRestorePrivilege",
          "privilege SeTakeOwnershipPrivilege"},
         {"privilege SeTcbPrivilege"}},
    };
    std::string error;
    auto world = platform::store::World::Open(Path(), false, &error);
    ASSERT_TRUE(world) << error;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.account) + " on " + c.machine);
        std::string out;
        ASSERT_TRUE(platform::host::DescribeToken(*world, c.account, c.machine, out, error)) << error;
        std::vector<std::string> lines;
        for (std::size_t at = 0; at < out.size();) {
            auto end = out.find('\n', at);
            lines.push_back(out.substr(at, end - at));
            at = end + 1;
        }
        for (const auto& want : c.present) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), want), lines.end()) << want << "\n" << out;
        }
        for (const auto& unwanted : c.absent) {
            EXPECT_EQ(out.find(unwanted), std::string::npos) << unwanted << "\n" << out;
        }
    }
    std::string out;
    EXPECT_FALSE(platform::host::DescribeToken(*world, "CORP\\nobody", "", out, error));
    EXPECT_NE(error.find("nobody"), std::string::npos);
    EXPECT_FALSE(platform::host::DescribeToken(*world, "alice", "GHOST", out, error));
    EXPECT_NE(error.find("GHOST"), std::string::npos);
}

TEST_F(Token, MaximumAccessMatchesWhatAnOpenGrants) {
    struct Case {
        const char* key;      // key as ntsim takes it
        const char* account;  // whose access
        ACCESS_MASK granted;  // expected maximum
        bool ok;              // false: an error is expected
    };
    const Case cases[] = {
        {"HKLM\\SOFTWARE\\App", "CORP\\alice", KEY_READ, true},
        {"HKLM\\SOFTWARE\\App", "CORP\\bob", KEY_ALL_ACCESS, true},
        {"hklm\\software\\app\\alpha\\deep", "CORP\\alice", KEY_READ, true},
        {"HKLM\\SOFTWARE\\Secret", "CORP\\bob", 0, true},
        {"HKLM\\SOFTWARE\\Helpdesk", "CORP\\alice", KEY_ALL_ACCESS & ~(KEY_SET_VALUE | KEY_CREATE_SUB_KEY), true},
        {"\\\\FILESRV\\HKLM\\SOFTWARE\\Remote", "CORP\\alice", KEY_ALL_ACCESS, true},
        {"HKLM\\SOFTWARE\\Nothing", "CORP\\alice", 0, false},
        {"HKCU\\Software", "CORP\\alice", 0, false},
        {"\\\\GHOST\\HKLM\\SOFTWARE", "CORP\\alice", 0, false},
        {"HKLM\\SOFTWARE\\App", "CORP\\ghost", 0, false},
    };
    std::string error;
    auto world = platform::store::World::Open(Path(), false, &error);
    ASSERT_TRUE(world) << error;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " as " + c.account);
        ACCESS_MASK granted = 0xDEAD;
        error.clear();
        bool ok = platform::host::MaximumKeyAccess(*world, c.key, c.account, granted, error);
        EXPECT_EQ(ok, c.ok) << error;
        if (ok) {
            EXPECT_EQ(granted, c.granted);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

}  // namespace
}  // namespace hosttest
