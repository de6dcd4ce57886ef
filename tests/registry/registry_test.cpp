// Registry access against a small world: connecting locally and to other
// machines, reading one key's three parts, writing DACL and owner back,
// the privilege switches, subkey listing and the depth-first walk.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/registry/registry_key_security.h"
#include "common/registry/subkey_walker.h"
#include "platform/errors.h"
#include "platform/security.h"
#include "tests/support/world_fixture.h"

namespace {

// CORP\admin is an administrator of WKS01 and holds SeSecurityPrivilege
// there, so it can read audit lists once that privilege is enabled.
const char* const kWorld = R"json({
  "local": "WKS01",
  "logon": "CORP\\admin",
  "domains": [
    { "name": "CORP", "sid": "S-1-5-21-1000-2000-3000", "dc": "CORPDC",
      "accounts": [
        { "name": "Domain Admins", "rid": 512, "type": "group", "members": ["CORP\\admin"] },
        { "name": "admin", "rid": 1100, "type": "user" },
        { "name": "jsmith", "rid": 1105, "type": "user" }
      ] }
  ],
  "machines": [
    { "name": "CORPDC", "sid": "S-1-5-21-1100-2100-3100", "domain": "CORP",
      "builtin": { "Administrators": ["CORP\\Domain Admins"] },
      "accounts": [ { "name": "dconly", "rid": 1001, "type": "user" } ],
      "registry": [
        { "key": "HKLM\\SOFTWARE\\Remote", "sd": "O:S-1-5-21-1100-2100-3100-1001D:(A;;KA;;;BA)(A;;KR;;;WD)" }
      ] },
    { "name": "WKS01", "sid": "S-1-5-21-4000-5000-6000", "domain": "CORP",
      "builtin": { "Administrators": ["CORP\\Domain Admins"] },
      "privileges": { "SeSecurityPrivilege": ["BUILTIN\\Administrators"],
                      "SeBackupPrivilege": ["BUILTIN\\Administrators"] },
      "registry": [
        { "key": "HKLM", "sd": "O:SYD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;KR;;;WD)" },
        { "key": "HKLM\\SOFTWARE", "sd": "O:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;KR;;;BU)" },
        { "key": "HKLM\\SOFTWARE\\Tree",
          "sd": "O:S-1-5-21-1000-2000-3000-1105D:(A;;KA;;;BA)(D;;0x6;;;S-1-5-21-1000-2000-3000-1105)(A;;KR;;;WD)S:(AU;SAFA;KW;;;WD)" },
        { "key": "HKLM\\SOFTWARE\\Tree\\beta", "sd": "O:BAD:(A;;KA;;;BA)" },
        { "key": "HKLM\\SOFTWARE\\Tree\\Alpha", "sd": "O:BAD:(A;;KA;;;BA)" },
        { "key": "HKLM\\SOFTWARE\\Tree\\Alpha\\Deep", "sd": "O:BAD:(A;;KA;;;BA)" },
        { "key": "HKLM\\SOFTWARE\\Tree\\Gamma", "sd": "O:BAD:(A;;KA;;;BA)" },
        { "key": "HKLM\\SOFTWARE\\Tree\\Secret", "sd": "O:SYD:(A;;KA;;;SY)" },
        { "key": "HKLM\\SOFTWARE\\Tree\\Secret\\Hidden", "sd": "O:SYD:(A;;KA;;;SY)" },
        { "key": "HKLM\\SOFTWARE\\NoDacl", "sd": "O:BA" },
        { "key": "HKLM\\SOFTWARE\\Edit", "sd": "O:BAD:(A;;KR;;;WD)(D;;KW;;;S-1-5-21-1000-2000-3000-1105)(A;;KA;;;BA)" }
      ] },
    { "name": "OFFLINE1", "sid": "S-1-5-21-7-8-9", "online": false },
    { "name": "NOREMOTE", "sid": "S-1-5-21-7-8-10", "remote_registry": false }
  ]
})json";

std::vector<BYTE> Sid(std::initializer_list<DWORD> parts, BYTE authority = 5) {
    std::vector<BYTE> sid(8 + 4 * parts.size());
    sid[0] = 1;
    sid[1] = static_cast<BYTE>(parts.size());
    sid[7] = authority;
    size_t at = 8;
    for (DWORD part : parts) {
        std::memcpy(sid.data() + at, &part, 4);
        at += 4;
    }
    return sid;
}

const std::vector<BYTE> kJsmith = Sid({21, 1000, 2000, 3000, 1105});
const std::vector<BYTE> kAdmin = Sid({21, 1000, 2000, 3000, 1100});
const std::vector<BYTE> kAdministrators = Sid({32, 544});
const std::vector<BYTE> kEveryone = Sid({0}, 1);

PSID P(const std::vector<BYTE>& sid) { return const_cast<BYTE*>(sid.data()); }

class RegistryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { world = new WorldFile(kWorld); }
    static void TearDownTestSuite() {
        delete world;
        world = nullptr;
    }
    static WorldFile* world;
};
WorldFile* RegistryTest::world = nullptr;

TEST_F(RegistryTest, ConnectLocallyAndRemotely) {
    struct Case {
        const char* server;
        HKEY root;
        bool connects;
        const char* errorPrefix;  // of ErrorText when it fails
    };
    const Case cases[] = {
        {nullptr, HKEY_LOCAL_MACHINE, true, ""},
        {nullptr, HKEY_USERS, true, ""},
        {"CORPDC", HKEY_LOCAL_MACHINE, true, ""},
        {"\\\\CORPDC", HKEY_LOCAL_MACHINE, true, ""},
        {"OFFLINE1", HKEY_LOCAL_MACHINE, false, "53: "},
        {"NOSUCHHOST", HKEY_LOCAL_MACHINE, false, "53: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server ? c.server : "(local)");
        RegistryConnection connection;
        EXPECT_EQ(connection.Connect(c.server, c.root), c.connects);
        if (c.connects) {
            EXPECT_STREQ(connection.Server().Text(), c.server ? c.server : "");
            EXPECT_STREQ(connection.ErrorText().Text(), "");
            if (c.server == nullptr) {
                EXPECT_EQ(connection.Root(), c.root);
            }
        } else {
            EXPECT_EQ(std::string(connection.ErrorText().Text()).rfind(c.errorPrefix, 0), 0u)
                << connection.ErrorText().Text();
            EXPECT_EQ(GetLastError(), 53u);
            EXPECT_STREQ(connection.Server().Text(), "");
        }
    }
    RegistryConnection noRemote;
    EXPECT_FALSE(noRemote.Connect("NOREMOTE", HKEY_LOCAL_MACHINE));
    EXPECT_STRNE(noRemote.ErrorText().Text(), "");
}

TEST_F(RegistryTest, OpenReadsOwnerDaclAndReportsTheSaclItCannotRead) {
    RegistryConnection connection;
    ASSERT_TRUE(connection.Connect(nullptr, HKEY_LOCAL_MACHINE));
    RegistryKeySecurity key;
    ASSERT_TRUE(key.Open(connection, "SOFTWARE\\Tree"));
    EXPECT_STREQ(key.ObjectName.Text(), "SOFTWARE\\Tree");
    EXPECT_STREQ(key.ServerName.Text(), "");
    EXPECT_TRUE(EqualSid(key.GetOwner().Sid(), P(kJsmith)));

    struct Entry {
        BYTE type;
        DWORD mask;
        const std::vector<BYTE>* sid;
    };
    const Entry expected[] = {{0, KEY_ALL_ACCESS, &kAdministrators}, {1, 0x6, &kJsmith}, {0, KEY_READ, &kEveryone}};
    ASSERT_EQ(key.DaclEntryCount(), 3u);
    for (DWORD i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        Account entry = key.GetDaclEntry(i);
        EXPECT_EQ(entry.AceType, expected[i].type);
        EXPECT_EQ(entry.Mask, expected[i].mask);
        EXPECT_TRUE(EqualSid(entry.Sid(), P(*expected[i].sid)));
    }
    // Without SeSecurityPrivilege enabled the key opens without audit access.
    EXPECT_EQ(key.SaclEntryCount(), 0u);
    EXPECT_EQ(key.SaclSlot.LastError, ERROR_PRIVILEGE_NOT_HELD);
    EXPECT_EQ(key.OwnerSlot.LastError, 0u);
    EXPECT_EQ(key.DaclSlot.LastError, 0u);
}

TEST_F(RegistryTest, KeysThatCannotBeOpened) {
    RegistryConnection connection;
    ASSERT_TRUE(connection.Connect(nullptr, HKEY_LOCAL_MACHINE));
    struct Case {
        const char* path;
        DWORD error;
    };
    const Case cases[] = {
        {"SOFTWARE\\Missing", ERROR_FILE_NOT_FOUND},
        {"SOFTWARE\\Tree\\Secret", ERROR_ACCESS_DENIED},
        {"\\SOFTWARE", ERROR_BAD_PATHNAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        RegistryKeySecurity key;
        SetLastError(0);
        EXPECT_FALSE(key.Open(connection, c.path));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(key.DaclEntryCount(), 0u);
        EXPECT_FALSE(key.GetOwner().IsValid());
        EXPECT_FALSE(key.WriteDacl()) << "nothing loaded, nothing written";
        EXPECT_FALSE(key.WriteOwner());
    }
}

TEST_F(RegistryTest, EmptyPathIsTheRootAndAbsentDaclGivesNoEntries) {
    RegistryConnection connection;
    ASSERT_TRUE(connection.Connect(nullptr, HKEY_LOCAL_MACHINE));
    RegistryKeySecurity root;
    ASSERT_TRUE(root.Open(connection, ""));
    EXPECT_TRUE(EqualSid(root.GetOwner().Sid(), P(Sid({18}))));
    EXPECT_EQ(root.DaclEntryCount(), 3u);

    RegistryKeySecurity noDacl;
    ASSERT_TRUE(noDacl.Open(connection, "SOFTWARE\\NoDacl"));
    EXPECT_TRUE(noDacl.GetOwner().IsValid());
    EXPECT_EQ(noDacl.DaclEntryCount(), 0u);
    EXPECT_EQ(noDacl.Dacl(), nullptr);
}

TEST_F(RegistryTest, RemoteKeysResolveAccountsOnTheServer) {
    for (const char* typed : {"CORPDC", "\\\\CORPDC"}) {
        SCOPED_TRACE(typed);
        RegistryConnection connection;
        ASSERT_TRUE(connection.Connect(typed, HKEY_LOCAL_MACHINE));
        RegistryKeySecurity key;
        ASSERT_TRUE(key.Open(connection, "SOFTWARE\\Remote"));
        EXPECT_STREQ(key.ServerName.Text(), "CORPDC");
        Account owner = key.GetOwner();
        EXPECT_STREQ(owner.Server(), "CORPDC");
        EXPECT_STREQ(owner.QualifiedName().Text(), "CORPDC\\dconly");
        EXPECT_STREQ(key.GetDaclEntry(0).Server(), "CORPDC");
    }
}

TEST_F(RegistryTest, WriteDaclStoresTheCanonicalOrder) {
    RegistryConnection connection;
    ASSERT_TRUE(connection.Connect(nullptr, HKEY_LOCAL_MACHINE));
    {
        RegistryKeySecurity key;
        ASSERT_TRUE(key.Open(connection, "SOFTWARE\\Edit"));
        Account everyone = key.GetDaclEntry(0);
        everyone.Mask = 0;  // an emptied entry disappears on writing
        ASSERT_TRUE(key.DeleteDaclEntry(0));
        ASSERT_TRUE(key.AddDaclEntry(everyone));
        Account jsmith;
        ASSERT_TRUE(jsmith.SetSid(P(kJsmith), nullptr));
        jsmith.Mask = KEY_READ;
        ASSERT_TRUE(key.AddDaclEntry(jsmith));
        ASSERT_TRUE(key.WriteDacl());
    }
    RegistryKeySecurity reread;
    ASSERT_TRUE(reread.Open(connection, "SOFTWARE\\Edit"));
    struct Entry {
        BYTE type;
        DWORD mask;
        const std::vector<BYTE>* sid;
    };
    const Entry expected[] = {{1, KEY_WRITE, &kJsmith}, {0, KEY_ALL_ACCESS, &kAdministrators}, {0, KEY_READ, &kJsmith}};
    ASSERT_EQ(reread.DaclEntryCount(), 3u);
    for (DWORD i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        Account entry = reread.GetDaclEntry(i);
        EXPECT_EQ(entry.AceType, expected[i].type);
        EXPECT_EQ(entry.Mask, expected[i].mask);
        EXPECT_TRUE(EqualSid(entry.Sid(), P(*expected[i].sid)));
    }
}

TEST_F(RegistryTest, WriteOwnerStoresTheNewOwner) {
    RegistryConnection connection;
    ASSERT_TRUE(connection.Connect(nullptr, HKEY_LOCAL_MACHINE));
    {
        RegistryKeySecurity key;
        ASSERT_TRUE(key.Open(connection, "SOFTWARE\\Edit"));
        Account admin;
        ASSERT_TRUE(admin.SetSid(P(kAdmin), nullptr));
        ASSERT_TRUE(key.SetOwner(admin));
        ASSERT_TRUE(key.WriteOwner());
    }
    RegistryKeySecurity reread;
    ASSERT_TRUE(reread.Open(connection, "SOFTWARE\\Edit"));
    EXPECT_TRUE(EqualSid(reread.GetOwner().Sid(), P(kAdmin)));
}

TEST_F(RegistryTest, EnumerateSubkeysInRegistryOrder) {
    RegistryConnection connection;
    ASSERT_TRUE(connection.Connect(nullptr, HKEY_LOCAL_MACHINE));
    Array* names = connection.EnumerateSubkeys("SOFTWARE\\Tree");
    ASSERT_NE(names, nullptr);
    std::vector<std::string> got;
    for (std::int32_t i = 0; i <= names->LastIndex(); ++i)
        got.push_back(static_cast<const String*>(names->Get(i))->Text());
    delete names;
    EXPECT_EQ(got, (std::vector<std::string>{"Alpha", "beta", "Gamma", "Secret"}));

    Array* none = connection.EnumerateSubkeys("SOFTWARE\\Tree\\Gamma");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->LastIndex(), -1);
    delete none;

    SetLastError(0);
    EXPECT_EQ(connection.EnumerateSubkeys("SOFTWARE\\Missing"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(connection.EnumerateSubkeys("SOFTWARE\\Tree\\Secret"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

// A step that opens nothing: it records the paths and refuses the ones it
// is told to, as a key that cannot be opened.
struct Recorder {
    std::vector<std::string> visited;  // paths in the order the walk gave them
    std::vector<std::string> refuse;   // paths reported as not opened
};

bool Record(RegistryConnection&, const String& path, void* context) {
    Recorder* recorder = static_cast<Recorder*>(context);
    recorder->visited.emplace_back(path.Text());
    for (const std::string& refused : recorder->refuse)
        if (refused == path.Text()) return false;
    return true;
}

TEST_F(RegistryTest, WalkIsDepthFirstPreOrder) {
    RegistryConnection connection;
    ASSERT_TRUE(connection.Connect(nullptr, HKEY_LOCAL_MACHINE));
    struct Case {
        const char* what;
        const char* start;
        bool recurse;
        std::vector<std::string> refuse;
        std::vector<std::string> visited;
    };
    const Case cases[] = {
        {"whole subtree", "SOFTWARE\\Tree", true, {},
         {"SOFTWARE\\Tree", "SOFTWARE\\Tree\\Alpha", "SOFTWARE\\Tree\\Alpha\\Deep", "SOFTWARE\\Tree\\beta",
          "SOFTWARE\\Tree\\Gamma", "SOFTWARE\\Tree\\Secret"}},
        {"without recursion", "SOFTWARE\\Tree", false, {}, {"SOFTWARE\\Tree"}},
        {"a key without subkeys", "SOFTWARE\\Tree\\Gamma", true, {}, {"SOFTWARE\\Tree\\Gamma"}},
        {"a refused key is not descended into", "SOFTWARE\\Tree", true, {"SOFTWARE\\Tree\\Alpha"},
         {"SOFTWARE\\Tree", "SOFTWARE\\Tree\\Alpha", "SOFTWARE\\Tree\\beta", "SOFTWARE\\Tree\\Gamma",
          "SOFTWARE\\Tree\\Secret"}},
        {"a refused start", "SOFTWARE\\Tree", true, {"SOFTWARE\\Tree"}, {"SOFTWARE\\Tree"}},
        {"a missing start counts once", "SOFTWARE\\Missing", true, {}, {"SOFTWARE\\Missing"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Recorder recorder;
        recorder.refuse = c.refuse;
        const std::int32_t count = WalkSubkeys(connection, String(c.start), c.recurse, Record, &recorder);
        EXPECT_EQ(recorder.visited, c.visited);
        EXPECT_EQ(count, static_cast<std::int32_t>(c.visited.size()));
    }
}

TEST_F(RegistryTest, WalkFromTheRootGivesBareNames) {
    RegistryConnection connection;
    ASSERT_TRUE(connection.Connect(nullptr, HKEY_LOCAL_MACHINE));
    Recorder recorder;
    const std::int32_t count = WalkSubkeys(connection, String(""), true, Record, &recorder);
    ASSERT_GE(recorder.visited.size(), 3u);
    EXPECT_EQ(recorder.visited[0], "");
    EXPECT_EQ(count, static_cast<std::int32_t>(recorder.visited.size()));
    bool sawSoftware = false;
    for (const std::string& path : recorder.visited) {
        EXPECT_NE(path.rfind("\\", 0), 0u) << "no path starts with a backslash: " << path;
        if (path == "SOFTWARE") sawSoftware = true;
    }
    EXPECT_TRUE(sawSoftware);
}

TEST_F(RegistryTest, WalkCountsEveryKeyTheReadingStepVisits) {
    RegistryConnection connection;
    ASSERT_TRUE(connection.Connect(nullptr, HKEY_LOCAL_MACHINE));
    struct Opened {
        std::vector<std::string> ok, failed;
    } opened;
    KeyStep step = [](RegistryConnection& c, const String& path, void* context) {
        RegistryKeySecurity key;
        const bool ok = key.Open(c, path.Text());
        (ok ? static_cast<Opened*>(context)->ok : static_cast<Opened*>(context)->failed).emplace_back(path.Text());
        return ok;
    };
    EXPECT_EQ(WalkSubkeys(connection, String("SOFTWARE\\Tree"), true, step, &opened), 6);
    EXPECT_EQ(opened.failed, std::vector<std::string>{"SOFTWARE\\Tree\\Secret"});
    EXPECT_EQ(opened.ok.size(), 5u);
}

// Injected failures: each case sets NTSIM_FAULT for a fresh host, walks
// SOFTWARE\Tree with a step that really reads each key, and checks which
// keys the walk reached.
TEST_F(RegistryTest, WalkSkipsWhatCannotBeListed) {
    struct Case {
        const char* fault;
        std::vector<std::string> visited;
    };
    const Case cases[] = {
        {"RegQueryInfoKeyA:5", {"SOFTWARE\\Tree"}},
        {"RegOpenKeyExA:5@3", {"SOFTWARE\\Tree"}},  // the open for listing, after two for reading
        {"RegEnumKeyExA:234@2", {"SOFTWARE\\Tree", "SOFTWARE\\Tree\\Alpha", "SOFTWARE\\Tree\\Alpha\\Deep"}},
        {"RegOpenKeyExA:2", {"SOFTWARE\\Tree"}},  // the start key itself
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        WorldFile::Restart("NTSIM_FAULT", c.fault);
        RegistryConnection connection;
        ASSERT_TRUE(connection.Connect(nullptr, HKEY_LOCAL_MACHINE));
        Recorder recorder;
        KeyStep step = [](RegistryConnection& con, const String& path, void* context) {
            Record(con, path, context);
            RegistryKeySecurity key;
            return key.Open(con, path.Text());
        };
        const std::int32_t count = WalkSubkeys(connection, String("SOFTWARE\\Tree"), true, step, &recorder);
        EXPECT_EQ(recorder.visited, c.visited);
        EXPECT_EQ(count, static_cast<std::int32_t>(c.visited.size()));
    }
    WorldFile::Restart("NTSIM_FAULT", nullptr);
}

TEST_F(RegistryTest, APartThatCannotBeReadLeavesItsSlotEmpty) {
    struct Case {
        const char* fault;
        DWORD ownerError, daclError;
    };
    // Each part is read with a sizing call and a reading call.
    const Case cases[] = {
        {"RegGetKeySecurity:5@2", 5, 0},
        {"RegGetKeySecurity:1336@4", 0, 1336},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        WorldFile::Restart("NTSIM_FAULT", c.fault);
        RegistryConnection connection;
        ASSERT_TRUE(connection.Connect(nullptr, HKEY_LOCAL_MACHINE));
        RegistryKeySecurity key;
        EXPECT_TRUE(key.Open(connection, "SOFTWARE\\Tree"));
        EXPECT_EQ(key.OwnerSlot.LastError, c.ownerError);
        EXPECT_EQ(key.DaclSlot.LastError, c.daclError);
        EXPECT_EQ(key.GetOwner().IsValid(), c.ownerError == 0);
        EXPECT_EQ(key.DaclEntryCount(), c.daclError == 0 ? 3u : 0u);
        EXPECT_EQ(key.WriteOwner(), false) << "nothing to write, or not allowed to";
    }
    WorldFile::Restart("NTSIM_FAULT", nullptr);
}

TEST_F(RegistryTest, AFailedRemoteConnectionKeepsItsText) {
    WorldFile::Restart("NTSIM_FAULT", "RegConnectRegistryA:1722");
    RegistryConnection connection;
    EXPECT_FALSE(connection.Connect("CORPDC", HKEY_LOCAL_MACHINE));
    EXPECT_EQ(std::string(connection.ErrorText().Text()).rfind("1722: ", 0), 0u) << connection.ErrorText().Text();
    EXPECT_TRUE(connection.Connect("CORPDC", HKEY_LOCAL_MACHINE)) << "the fault fires once; reconnecting works";
    EXPECT_STREQ(connection.Server().Text(), "CORPDC");
    WorldFile::Restart("NTSIM_FAULT", nullptr);
}

// Runs last in this file: enabling privileges lasts for the process.
TEST_F(RegistryTest, PrivilegesOpenTheAuditList) {
    EXPECT_FALSE(EnablePrivilege("SeTcbPrivilege")) << "the account does not hold it";
    EXPECT_EQ(GetLastError(), ERROR_NOT_ALL_ASSIGNED);
    EXPECT_FALSE(EnablePrivilege("SeNoSuchPrivilege"));
    EnableAdminPrivileges();

    RegistryConnection connection;
    ASSERT_TRUE(connection.Connect(nullptr, HKEY_LOCAL_MACHINE));
    RegistryKeySecurity key;
    ASSERT_TRUE(key.Open(connection, "SOFTWARE\\Tree"));
    EXPECT_EQ(key.SaclSlot.LastError, 0u);
    ASSERT_EQ(key.SaclEntryCount(), 1u);
    Account audit = key.GetSaclEntry(0);
    EXPECT_EQ(audit.AceType, SYSTEM_AUDIT_ACE_TYPE);
    EXPECT_STREQ(audit.RegistryEntryText().Text(), "(WCR-SF-)");
    EXPECT_TRUE(EnablePrivilege("SeSecurityPrivilege"));
}

}  // namespace
