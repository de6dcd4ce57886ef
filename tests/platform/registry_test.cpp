// The registry calls: opening with the access check, enumeration order,
// reading and writing key security part by part, remote connections,
// values and key information.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "host_world.h"

namespace hosttest {
namespace {

class Registry : public HostWorld {
protected:
    // Reads the parts `info` of an open key through the two-call protocol.
    static LSTATUS ReadSd(HKEY key, SECURITY_INFORMATION info, std::vector<BYTE>& out) {
        DWORD length = 0;
        LSTATUS rc = RegGetKeySecurity(key, info, nullptr, &length);
        if (rc != ERROR_INSUFFICIENT_BUFFER) return rc;
        out.assign(length, 0);
        return RegGetKeySecurity(key, info, out.data(), &length);
    }

    static std::vector<std::string> Subkeys(HKEY key) {
        std::vector<std::string> names;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD length = sizeof name;
            LSTATUS rc = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            EXPECT_EQ(rc, ERROR_SUCCESS);
            if (rc != ERROR_SUCCESS) break;
            EXPECT_EQ(length, std::strlen(name));
            names.emplace_back(name);
        }
        return names;
    }
};

struct OpenCase {
    HKEY root;            // where the path starts
    const char* path;     // subkey as passed
    REGSAM desired;       // access asked
    LSTATUS rc;           // expected result
};

TEST_F(Registry, OpenRunsTheAccessCheckAndResolvesPaths) {
    const OpenCase asAlice[] = {
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\App", KEY_READ, ERROR_SUCCESS},
        {HKEY_LOCAL_MACHINE, "software\\APP\\alpha\\deep", KEY_READ, ERROR_SUCCESS},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\App\\", KEY_READ, ERROR_SUCCESS},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\App", KEY_SET_VALUE, ERROR_ACCESS_DENIED},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\App", MAXIMUM_ALLOWED, ERROR_SUCCESS},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\App", GENERIC_READ, ERROR_SUCCESS},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\App", GENERIC_WRITE, ERROR_ACCESS_DENIED},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\App", KEY_READ | ACCESS_SYSTEM_SECURITY, ERROR_PRIVILEGE_NOT_HELD},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Secret", KEY_READ, ERROR_ACCESS_DENIED},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Audited", KEY_ALL_ACCESS, ERROR_SUCCESS},
        // helpdesk (alice through Team) is denied writing before it is allowed all.
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Helpdesk", KEY_READ, ERROR_SUCCESS},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Helpdesk", KEY_SET_VALUE, ERROR_ACCESS_DENIED},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", KEY_READ, ERROR_FILE_NOT_FOUND},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\App\\Alpha\\Missing\\Deeper", KEY_READ, ERROR_FILE_NOT_FOUND},
        {HKEY_LOCAL_MACHINE, "\\SOFTWARE\\App", KEY_READ, ERROR_BAD_PATHNAME},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\\\App", KEY_READ, ERROR_BAD_PATHNAME},
        {HKEY_CLASSES_ROOT, ".txt", KEY_READ, ERROR_SUCCESS},
        {HKEY_CLASSES_ROOT, ".doc", KEY_READ, ERROR_FILE_NOT_FOUND},
        {HKEY_CURRENT_USER, "Software", KEY_ALL_ACCESS, ERROR_SUCCESS},
        {HKEY_USERS, "S-1-5-21-1000-2000-3000-1104\\Software", KEY_READ, ERROR_SUCCESS},
        {reinterpret_cast<HKEY>(std::uintptr_t{0x1234}), "SOFTWARE", KEY_READ, ERROR_INVALID_HANDLE},
    };
    for (const auto& c : asAlice) {
        SCOPED_TRACE(c.path);
        HKEY key = nullptr;
        LSTATUS rc = RegOpenKeyExA(c.root, c.path, 0, c.desired, &key);
        EXPECT_EQ(rc, c.rc);
        if (rc == ERROR_SUCCESS) {
            EXPECT_NE(key, nullptr);
            EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
            EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
        }
    }
}

TEST_F(Registry, AdministratorOpensWhatAliceCannot) {
    LogOnAs("CORP\\bob");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    // SYSTEM only: even an administrator is refused until he takes ownership.
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Secret", 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Secret", 0, WRITE_OWNER, &key), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(Enable("SeTakeOwnershipPrivilege"));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Secret", 0, WRITE_OWNER, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(Registry, EmptySubkeyOpensTheKeyItselfAsANewHandle) {
    HKEY app = nullptr, again = nullptr, viaNull = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App", 0, KEY_READ, &app), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(app, "", 0, KEY_READ, &again), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(app, nullptr, 0, KEY_READ, &viaNull), ERROR_SUCCESS);
    EXPECT_NE(app, again);
    EXPECT_NE(again, viaNull);
    EXPECT_EQ(Subkeys(again), (std::vector<std::string>{"Alpha", "beta", "zeta"}));
    HKEY deep = nullptr;
    EXPECT_EQ(RegOpenKeyExA(again, "ALPHA\\deep", 0, KEY_READ, &deep), ERROR_SUCCESS);
    for (HKEY k : {app, again, viaNull, deep}) EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
}

TEST_F(Registry, SubkeysEnumerateInUpperCaseOrderKeepingTheirCase) {
    HKEY app = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App", 0, KEY_READ, &app), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(app), (std::vector<std::string>{"Alpha", "beta", "zeta"}));

    // A buffer exactly one short of name + terminator is refused.
    char name[5];
    DWORD length = 5;  // "Alpha" needs 6
    EXPECT_EQ(RegEnumKeyExA(app, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    length = 6;
    char exact[6];
    EXPECT_EQ(RegEnumKeyExA(app, 0, exact, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(exact, "Alpha");
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(RegCloseKey(app), ERROR_SUCCESS);

    // Enumeration needs KEY_ENUMERATE_SUB_KEYS on the handle.
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App", 0, KEY_QUERY_VALUE, &app), ERROR_SUCCESS);
    length = 6;
    EXPECT_EQ(RegEnumKeyExA(app, 0, exact, &length, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    RegCloseKey(app);
}

TEST_F(Registry, QueryInfoCountsSubkeysAndValues) {
    HKEY app = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App", 0, KEY_READ, &app), ERROR_SUCCESS);
    DWORD subkeys = 99, longest = 99, values = 99, longestName = 99, longestData = 99, sdLength = 0;
    ASSERT_EQ(RegQueryInfoKeyA(app, nullptr, nullptr, nullptr, &subkeys, &longest, nullptr, &values, &longestName,
                               &longestData, &sdLength, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 3u);
    EXPECT_EQ(longest, 5u);  // "Alpha", "zeta", "beta"
    EXPECT_EQ(values, 1u);
    EXPECT_EQ(longestName, 4u);  // "Name"
    EXPECT_EQ(longestData, 5u);  // "text" and its terminator
    EXPECT_GT(sdLength, 20u);
    RegCloseKey(app);

    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App", 0, KEY_ENUMERATE_SUB_KEYS, &app), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryInfoKeyA(app, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_ACCESS_DENIED);
    RegCloseKey(app);
}

TEST_F(Registry, QueryValueFollowsTheSizeProtocol) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName",
                            0, KEY_QUERY_VALUE, &key),
              ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "ComputerName", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 8u);  // "WKSTN01" and its terminator

    char small[4];
    DWORD smallSize = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "ComputerName", nullptr, &type, reinterpret_cast<LPBYTE>(small), &smallSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(smallSize, 8u);

    auto exact = std::make_unique<BYTE[]>(size);
    ASSERT_EQ(RegQueryValueExA(key, "computername", nullptr, &type, exact.get(), &size), ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(exact.get()), "WKSTN01");

    EXPECT_EQ(RegQueryValueExA(key, "NoSuchValue", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);

    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App", 0, KEY_ENUMERATE_SUB_KEYS, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, nullptr, &size), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
}

struct PartsCase {
    SECURITY_INFORMATION info;  // parts asked
    const char* sddl;           // expected text of what comes back
};

TEST_F(Registry, GetKeySecurityReturnsOnlyThePartsAsked) {
    LogOnAs("CORP\\bob");
    ASSERT_TRUE(Enable("SeSecurityPrivilege"));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Audited", 0, KEY_READ | ACCESS_SYSTEM_SECURITY, &key),
              ERROR_SUCCESS);
    constexpr SECURITY_INFORMATION kAll = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                          DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
    const PartsCase cases[] = {
        {OWNER_SECURITY_INFORMATION, "O:BA"},
        {GROUP_SECURITY_INFORMATION, "G:SY"},
        {DACL_SECURITY_INFORMATION, "D:(A;;KA;;;WD)"},
        {SACL_SECURITY_INFORMATION, "S:(AU;SAFA;KA;;;WD)"},
        {kAll, "O:BAG:SYD:(A;;KA;;;WD)S:(AU;SAFA;KA;;;WD)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sddl);
        std::vector<BYTE> sd;
        ASSERT_EQ(ReadSd(key, c.info, sd), ERROR_SUCCESS);
        EXPECT_TRUE(platform::IsValidSelfRelative(sd.data(), sd.size()));
        EXPECT_EQ(Sddl(sd.data(), sd.size(), kAll), c.sddl);
    }
    // A buffer one byte short fails and reports the size; nothing is written.
    DWORD needed = 0;
    ASSERT_EQ(RegGetKeySecurity(key, kAll, nullptr, &needed), ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> buffer(needed, 0xEE);
    DWORD length = needed - 1;
    EXPECT_EQ(RegGetKeySecurity(key, kAll, buffer.data(), &length), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, needed);
    EXPECT_EQ(buffer, std::vector<BYTE>(needed, 0xEE));
    RegCloseKey(key);
}

TEST_F(Registry, GetKeySecurityChecksTheHandlesAccess) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Audited", 0, KEY_ENUMERATE_SUB_KEYS, &key), ERROR_SUCCESS);
    std::vector<BYTE> sd;
    EXPECT_EQ(ReadSd(key, DACL_SECURITY_INFORMATION, sd), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadSd(key, OWNER_SECURITY_INFORMATION, sd), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadSd(key, SACL_SECURITY_INFORMATION, sd), ERROR_PRIVILEGE_NOT_HELD);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Audited", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(ReadSd(key, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
    EXPECT_EQ(ReadSd(key, SACL_SECURITY_INFORMATION, sd), ERROR_PRIVILEGE_NOT_HELD);
    RegCloseKey(key);
}

TEST_F(Registry, SetKeySecurityMergesTheGivenPartsAndPersists) {
    LogOnAs("CORP\\bob");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App\\zeta", 0, KEY_READ | WRITE_DAC, &key), ERROR_SUCCESS);
    auto update = Sd("O:SYD:(A;;KR;;;AU)");
    ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, update.data()), ERROR_SUCCESS);
    // The owner was not asked to change and stays; the same handle sees the DACL.
    std::vector<BYTE> sd;
    ASSERT_EQ(ReadSd(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
    EXPECT_EQ(Sddl(sd.data(), sd.size(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION), "O:BAD:(A;;KR;;;AU)");
    // Without WRITE_OWNER on the handle the owner cannot be written.
    EXPECT_EQ(RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, update.data()), ERROR_ACCESS_DENIED);
    RegCloseKey(key);

    // A fresh process (host) reads the stored bytes.
    platform::host::Host::ResetForTesting();
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App\\zeta", 0, READ_CONTROL, &key), ERROR_SUCCESS);
    ASSERT_EQ(ReadSd(key, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
    EXPECT_EQ(Sddl(sd.data(), sd.size(), DACL_SECURITY_INFORMATION), "D:(A;;KR;;;AU)");
    RegCloseKey(key);
}

TEST_F(Registry, SetKeySecurityAcceptsAnAbsoluteDescriptor) {
    LogOnAs("CORP\\bob");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App\\beta", 0, KEY_READ | WRITE_DAC, &key), ERROR_SUCCESS);
    auto everyone = Sid("S-1-1-0");
    std::vector<BYTE> aclBuffer(64);
    auto* acl = reinterpret_cast<PACL>(aclBuffer.data());
    ASSERT_TRUE(InitializeAcl(acl, static_cast<DWORD>(aclBuffer.size()), ACL_REVISION));
    ASSERT_TRUE(AddAccessDeniedAce(acl, ACL_REVISION, KEY_SET_VALUE, everyone.data()));
    SECURITY_DESCRIPTOR absolute;
    ASSERT_TRUE(InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&absolute, TRUE, acl, FALSE));
    ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &absolute), ERROR_SUCCESS);
    std::vector<BYTE> sd;
    ASSERT_EQ(ReadSd(key, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
    auto expected = Sd("D:(D;;0x2;;;WD)");
    EXPECT_EQ(Sddl(sd.data(), sd.size(), DACL_SECURITY_INFORMATION),
              Sddl(expected.data(), expected.size(), DACL_SECURITY_INFORMATION));
    RegCloseKey(key);
}

struct OwnerCase {
    const char* logon;      // who runs
    const char* privilege;  // enabled first, or null
    const char* owner;      // owner to set (SDDL)
    LSTATUS rc;             // expected result
};

TEST_F(Registry, OwnerMustBeTheUserOrOneOfItsGroupsUnlessRestoring) {
    const OwnerCase cases[] = {
        {"CORP\\bob", nullptr, "O:S-1-5-21-1000-2000-3000-1105", ERROR_SUCCESS},  // himself
        {"CORP\\bob", nullptr, "O:BA", ERROR_SUCCESS},                             // his Administrators
        {"CORP\\bob", nullptr, "O:S-1-5-21-1000-2000-3000-1104", ERROR_INVALID_OWNER},
        {"CORP\\bob", "SeRestorePrivilege", "O:S-1-5-21-1000-2000-3000-1104", ERROR_SUCCESS},
        {"CORP\\bob", nullptr, "D:(A;;KA;;;WD)", ERROR_INVALID_OWNER},              // no owner given
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.owner) + (c.privilege ? " with restore" : ""));
        LogOnAs(c.logon);
        if (c.privilege != nullptr) {
            ASSERT_TRUE(Enable(c.privilege));
        }
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App", 0, READ_CONTROL | WRITE_OWNER, &key),
                  ERROR_SUCCESS);
        auto sd = Sd(c.owner);
        EXPECT_EQ(RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, sd.data()), c.rc);
        RegCloseKey(key);
    }
}

TEST_F(Registry, SaclNeedsTheSecurityPrivilegeEnabled) {
    LogOnAs("CORP\\bob");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Audited", 0, ACCESS_SYSTEM_SECURITY, &key),
              ERROR_PRIVILEGE_NOT_HELD);
    ASSERT_TRUE(Enable("SeSecurityPrivilege"));
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Audited", 0, READ_CONTROL | ACCESS_SYSTEM_SECURITY, &key),
              ERROR_SUCCESS);
    auto sacl = Sd("S:(AU;FA;KW;;;WD)");
    ASSERT_EQ(RegSetKeySecurity(key, SACL_SECURITY_INFORMATION, sacl.data()), ERROR_SUCCESS);
    std::vector<BYTE> sd;
    ASSERT_EQ(ReadSd(key, SACL_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
    EXPECT_EQ(Sddl(sd.data(), sd.size(), SACL_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION),
              "D:(A;;KA;;;WD)S:(AU;FA;KW;;;WD)");
    RegCloseKey(key);
}

TEST_F(Registry, PredefinedRootsWorkWithoutAnOpen) {
    std::vector<BYTE> sd;
    EXPECT_EQ(ReadSd(HKEY_LOCAL_MACHINE, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
    auto names = Subkeys(HKEY_LOCAL_MACHINE);
    EXPECT_NE(std::find(names.begin(), names.end(), "SOFTWARE"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "SYSTEM"), names.end());
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(HKEY_CLASSES_ROOT), std::vector<std::string>{".txt"});
}

struct ConnectCase {
    const char* machine;  // as passed
    HKEY root;            // root asked
    LSTATUS rc;           // expected result
};

TEST_F(Registry, ConnectReachesOnlineMachinesWithRemoteRegistry) {
    const ConnectCase cases[] = {
        {nullptr, HKEY_LOCAL_MACHINE, ERROR_SUCCESS},
        {"", HKEY_CLASSES_ROOT, ERROR_SUCCESS},
        {"\\\\FILESRV", HKEY_LOCAL_MACHINE, ERROR_SUCCESS},
        {"filesrv", HKEY_USERS, ERROR_SUCCESS},
        {"\\\\WKSTN01", HKEY_LOCAL_MACHINE, ERROR_SUCCESS},
        {"\\\\FILESRV", HKEY_CURRENT_USER, ERROR_INVALID_HANDLE},
        {"\\\\FILESRV", HKEY_CLASSES_ROOT, ERROR_INVALID_HANDLE},
        {"\\\\OLDSRV", HKEY_LOCAL_MACHINE, ERROR_BAD_NETPATH},
        {"\\\\NOREG", HKEY_LOCAL_MACHINE, ERROR_BAD_NETPATH},
        {"\\\\GHOST", HKEY_LOCAL_MACHINE, ERROR_BAD_NETPATH},
        {"FILESRV", reinterpret_cast<HKEY>(std::uintptr_t{0x80000007}), ERROR_INVALID_HANDLE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.machine ? c.machine : "(null)");
        HKEY root = nullptr;
        LSTATUS rc = RegConnectRegistryA(c.machine, c.root, &root);
        EXPECT_EQ(rc, c.rc);
        if (rc == ERROR_SUCCESS) {
            EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
        }
    }
}

TEST_F(Registry, RemoteKeysAreTheServersAndCheckedWithItsToken) {
    HKEY root = nullptr, key = nullptr;
    ASSERT_EQ(RegConnectRegistryA("\\\\FILESRV", HKEY_LOCAL_MACHINE, &root), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(root, "SOFTWARE\\Remote", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    // The workstation's keys are not on the server.
    EXPECT_EQ(RegOpenKeyExA(root, "SOFTWARE\\App", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    DWORD size = 0;
    HKEY name = nullptr;
    ASSERT_EQ(RegOpenKeyExA(root, "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName", 0,
                            KEY_QUERY_VALUE, &name),
              ERROR_SUCCESS);
    char text[32];
    size = sizeof text;
    ASSERT_EQ(RegQueryValueExA(name, "ComputerName", nullptr, nullptr, reinterpret_cast<LPBYTE>(text), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "FILESRV");
    RegCloseKey(name);
    RegCloseKey(root);
}

TEST_F(Registry, AWriteIsSeenByTheNextOpenAtOnce) {
    LogOnAs("CORP\\bob");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App\\zeta", 0, KEY_READ | WRITE_DAC, &key),
              ERROR_SUCCESS);
    auto readOnly = Sd("D:(A;;KR;;;BA)");
    ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly.data()), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App\\zeta", 0, KEY_SET_VALUE, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App\\zeta", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(Registry, AnotherProcesssWriteShowsAfterAMoment) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App\\beta", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    {
        // Another writer: its own connection to the same file.
        std::string error;
        auto world = platform::store::World::Open(Path(), false, &error);
        ASSERT_TRUE(world) << error;
        auto machine = world->MachineByName("WKSTN01");
        auto beta = world->KeyByPath(machine->id, "HKLM", "SOFTWARE\\App\\beta");
        ASSERT_TRUE(beta);
        ASSERT_TRUE(world->SetKeySd(beta->id, Sd("O:BAG:SYD:(A;;KA;;;SY)")));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App\\beta", 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
}

}  // namespace
}  // namespace hosttest
