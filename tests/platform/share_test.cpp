// Share records at level 502, network enumeration of a server's disk
// shares, fault injection and an unusable world.
#include <algorithm>
#include <cstring>

#include "host_world.h"

namespace hosttest {
namespace {

class Shares : public HostWorld {};

std::string Narrow(const char16_t* text) {
    std::string out;
    if (text == nullptr) return "(null)";
    for (; *text != 0; ++text) out.push_back(static_cast<char>(*text));
    return out;
}

TEST_F(Shares, GetInfoGivesTheRecordInOneBlock) {
    LogOnAs("CORP\\bob");
    LPBYTE buffer = nullptr;
    ASSERT_EQ(NetShareGetInfo(u"\\\\FILESRV", u"DATA", 502, &buffer), NERR_Success);
    auto* info = reinterpret_cast<SHARE_INFO_502*>(buffer);
    EXPECT_EQ(Narrow(info->shi502_netname), "data");
    EXPECT_EQ(Narrow(info->shi502_remark), "Team data");
    EXPECT_EQ(Narrow(info->shi502_path), "C:\\data");
    EXPECT_EQ(info->shi502_type, STYPE_DISKTREE);
    EXPECT_EQ(info->shi502_max_uses, MAXDWORD);
    ASSERT_NE(info->shi502_security_descriptor, nullptr);
    // The descriptor lies inside the block, self-relative and valid.
    DWORD length = GetSecurityDescriptorLength(info->shi502_security_descriptor);
    EXPECT_TRUE(platform::IsValidSelfRelative(info->shi502_security_descriptor, length));
    auto expected = Sd("O:BAG:BAD:(A;;FA;;;WD)");
    EXPECT_EQ(std::vector<BYTE>(static_cast<BYTE*>(info->shi502_security_descriptor),
                                static_cast<BYTE*>(info->shi502_security_descriptor) + length),
              expected);
    EXPECT_EQ(NetApiBufferFree(buffer), NERR_Success);

    ASSERT_EQ(NetShareGetInfo(u"FILESRV", u"ADMIN$", 502, &buffer), NERR_Success);
    info = reinterpret_cast<SHARE_INFO_502*>(buffer);
    EXPECT_EQ(info->shi502_security_descriptor, nullptr);
    EXPECT_EQ(Narrow(info->shi502_remark), "Remote Admin");
    NetApiBufferFree(buffer);
}

struct GetCase {
    const char* logon;         // who asks
    const char16_t* server;    // server named
    const char16_t* share;     // share named
    DWORD level;               // level asked
    NET_API_STATUS status;     // expected result
};

TEST_F(Shares, GetInfoErrors) {
    const GetCase cases[] = {
        {"CORP\\alice", u"\\\\FILESRV", u"data", 502, ERROR_ACCESS_DENIED},
        {"CORP\\bob", u"\\\\FILESRV", u"nosuch", 502, NERR_NetNameNotFound},
        {"CORP\\bob", u"\\\\FILESRV", u"data", 2, ERROR_INVALID_LEVEL},
        {"CORP\\bob", u"\\\\OLDSRV", u"data", 502, ERROR_BAD_NETPATH},
        {"CORP\\bob", u"\\\\GHOST", u"data", 502, ERROR_BAD_NETPATH},
        {"CORP\\bob", nullptr, u"data", 502, NERR_NetNameNotFound},  // the workstation has no shares
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.logon) + " " + Narrow(c.server) + " " + Narrow(c.share));
        LogOnAs(c.logon);
        LPBYTE buffer = nullptr;
        EXPECT_EQ(NetShareGetInfo(c.server, c.share, c.level, &buffer), c.status);
        EXPECT_EQ(buffer, nullptr);
    }
}

TEST_F(Shares, SetInfoStoresTheDescriptorSelfRelativeOrRemovesIt) {
    LogOnAs("CORP\\bob");
    LPBYTE buffer = nullptr;
    ASSERT_EQ(NetShareGetInfo(u"\\\\FILESRV", u"data", 502, &buffer), NERR_Success);
    auto* info = reinterpret_cast<SHARE_INFO_502*>(buffer);

    // An absolute descriptor built by hand.
    auto users = Sid("S-1-5-32-545");
    std::vector<BYTE> aclBuffer(64);
    auto* acl = reinterpret_cast<PACL>(aclBuffer.data());
    ASSERT_TRUE(InitializeAcl(acl, static_cast<DWORD>(aclBuffer.size()), ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, FILE_GENERIC_READ, users.data()));
    SECURITY_DESCRIPTOR absolute;
    ASSERT_TRUE(InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&absolute, TRUE, acl, FALSE));
    info->shi502_security_descriptor = &absolute;
    char16_t remark[] = u"Changed";
    info->shi502_remark = remark;
    DWORD parm = 0;
    ASSERT_EQ(NetShareSetInfo(u"\\\\FILESRV", u"data", 502, buffer, &parm), NERR_Success);
    NetApiBufferFree(buffer);

    ASSERT_EQ(NetShareGetInfo(u"\\\\FILESRV", u"data", 502, &buffer), NERR_Success);
    info = reinterpret_cast<SHARE_INFO_502*>(buffer);
    EXPECT_EQ(Narrow(info->shi502_remark), "Changed");
    EXPECT_EQ(Narrow(info->shi502_path), "C:\\data");
    ASSERT_NE(info->shi502_security_descriptor, nullptr);
    DWORD length = GetSecurityDescriptorLength(info->shi502_security_descriptor);
    auto expected = Sd("D:(A;;FR;;;BU)");
    EXPECT_EQ(Sddl(info->shi502_security_descriptor, length, DACL_SECURITY_INFORMATION),
              Sddl(expected.data(), expected.size(), DACL_SECURITY_INFORMATION));

    // Null descriptor: the share has none afterwards.
    info->shi502_security_descriptor = nullptr;
    ASSERT_EQ(NetShareSetInfo(u"\\\\FILESRV", u"data", 502, buffer, &parm), NERR_Success);
    NetApiBufferFree(buffer);
    ASSERT_EQ(NetShareGetInfo(u"\\\\FILESRV", u"data", 502, &buffer), NERR_Success);
    EXPECT_EQ(reinterpret_cast<SHARE_INFO_502*>(buffer)->shi502_security_descriptor, nullptr);
    NetApiBufferFree(buffer);

    // Non-administrators may not write.
    LogOnAs("CORP\\alice");
    SHARE_INFO_502 record{};
    EXPECT_EQ(NetShareSetInfo(u"\\\\FILESRV", u"data", 502, reinterpret_cast<LPBYTE>(&record), &parm),
              ERROR_ACCESS_DENIED);
}

TEST_F(Shares, SetInfoRefusesAMalformedDescriptorAndNamesTheParameter) {
    LogOnAs("CORP\\bob");
    LPBYTE buffer = nullptr;
    ASSERT_EQ(NetShareGetInfo(u"\\\\FILESRV", u"data", 502, &buffer), NERR_Success);
    auto* info = reinterpret_cast<SHARE_INFO_502*>(buffer);
    std::vector<BYTE> before(static_cast<BYTE*>(info->shi502_security_descriptor),
                             static_cast<BYTE*>(info->shi502_security_descriptor) +
                                 GetSecurityDescriptorLength(info->shi502_security_descriptor));
    // Revision 9 and a self-relative flag whose offsets point far away.
    BYTE bad[20] = {9, 0, 0x04, 0x80, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0};
    info->shi502_security_descriptor = bad;
    DWORD parm = 0;
    EXPECT_EQ(NetShareSetInfo(u"\\\\FILESRV", u"data", 502, buffer, &parm), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(parm, 501u);
    EXPECT_EQ(NetShareSetInfo(u"\\\\FILESRV", u"data", 2, buffer, &parm), ERROR_INVALID_LEVEL);
    EXPECT_EQ(NetShareSetInfo(u"\\\\FILESRV", u"missing", 502, buffer, &parm), NERR_NetNameNotFound);
    NetApiBufferFree(buffer);
    // Nothing was written.
    ASSERT_EQ(NetShareGetInfo(u"\\\\FILESRV", u"data", 502, &buffer), NERR_Success);
    info = reinterpret_cast<SHARE_INFO_502*>(buffer);
    ASSERT_NE(info->shi502_security_descriptor, nullptr);
    EXPECT_EQ(std::vector<BYTE>(static_cast<BYTE*>(info->shi502_security_descriptor),
                                static_cast<BYTE*>(info->shi502_security_descriptor) + before.size()),
              before);
    NetApiBufferFree(buffer);
}

class Enumeration : public HostWorld {
protected:
    static DWORD Open(const char* server, HANDLE& handle) {
        std::string name = server;
        NETRESOURCEA resource{};
        resource.dwScope = RESOURCE_GLOBALNET;
        resource.dwType = RESOURCETYPE_DISK;
        resource.lpRemoteName = name.data();
        return WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, 0, &resource, &handle);
    }
};

TEST_F(Enumeration, ListsVisibleDiskSharesAsTheCallerNamedTheServer) {
    HANDLE handle = nullptr;
    ASSERT_EQ(Open("\\\\filesrv", handle), ERROR_SUCCESS);
    std::vector<BYTE> buffer(16384);
    DWORD count = MAXDWORD, size = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(WNetEnumResourceA(handle, &count, buffer.data(), &size), ERROR_SUCCESS);
    ASSERT_EQ(count, 2u);
    auto* entries = reinterpret_cast<NETRESOURCEA*>(buffer.data());
    const char* expected[][2] = {{"\\\\filesrv\\data", "Team data"}, {"\\\\filesrv\\public", ""}};
    for (DWORD i = 0; i < count; ++i) {
        SCOPED_TRACE(expected[i][0]);
        EXPECT_STREQ(entries[i].lpRemoteName, expected[i][0]);
        EXPECT_STREQ(entries[i].lpComment, expected[i][1]);
        EXPECT_STREQ(entries[i].lpProvider, "Microsoft Windows Network");
        EXPECT_EQ(entries[i].lpLocalName, nullptr);
        EXPECT_EQ(entries[i].dwType, RESOURCETYPE_DISK);
        // Strings sit inside the caller's buffer, after the entries.
        auto* text = reinterpret_cast<BYTE*>(entries[i].lpRemoteName);
        EXPECT_GE(text, buffer.data() + count * sizeof(NETRESOURCEA));
        EXPECT_LT(text, buffer.data() + buffer.size());
    }
    count = MAXDWORD;
    EXPECT_EQ(WNetEnumResourceA(handle, &count, buffer.data(), &size), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(WNetCloseEnum(handle), ERROR_SUCCESS);
    EXPECT_EQ(WNetCloseEnum(handle), ERROR_INVALID_HANDLE);
}

TEST_F(Enumeration, ShortBufferTakesWhatFitsAndReportsTheSizeWhenNothingDoes) {
    HANDLE handle = nullptr;
    ASSERT_EQ(Open("\\\\FILESRV", handle), ERROR_SUCCESS);
    DWORD count = MAXDWORD, size = 8;
    std::vector<BYTE> tiny(8);
    ASSERT_EQ(WNetEnumResourceA(handle, &count, tiny.data(), &size), ERROR_MORE_DATA);
    DWORD one = size;
    EXPECT_GE(one, sizeof(NETRESOURCEA) + std::strlen("\\\\FILESRV\\data") + 1);
    // Exactly that size holds exactly one entry; a heap buffer of that size
    // lets the sanitizer catch a write past it.
    auto exact = std::make_unique<BYTE[]>(one);
    count = MAXDWORD;
    ASSERT_EQ(WNetEnumResourceA(handle, &count, exact.get(), &size), ERROR_SUCCESS);
    EXPECT_EQ(count, 1u);
    EXPECT_STREQ(reinterpret_cast<NETRESOURCEA*>(exact.get())->lpRemoteName, "\\\\FILESRV\\data");
    // The count can limit the entries too.
    std::vector<BYTE> big(4096);
    count = 1;
    size = static_cast<DWORD>(big.size());
    ASSERT_EQ(WNetEnumResourceA(handle, &count, big.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(count, 1u);
    EXPECT_STREQ(reinterpret_cast<NETRESOURCEA*>(big.data())->lpRemoteName, "\\\\FILESRV\\public");
    WNetCloseEnum(handle);
}

TEST_F(Enumeration, OnlyGlobalDiskEnumerationIsOffered) {
    std::string name = "\\\\FILESRV";
    NETRESOURCEA resource{};
    resource.lpRemoteName = name.data();
    HANDLE handle = nullptr;
    EXPECT_EQ(WNetOpenEnumA(RESOURCE_CONNECTED, RESOURCETYPE_DISK, 0, &resource, &handle), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_PRINT, 0, &resource, &handle), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, 0, nullptr, &handle), ERROR_INVALID_PARAMETER);
    DWORD count = 1, size = 0;
    EXPECT_EQ(WNetEnumResourceA(reinterpret_cast<HANDLE>(std::uintptr_t{0x1234}), &count, nullptr, &size),
              ERROR_INVALID_HANDLE);
}

TEST_F(Enumeration, UnreachableServersAreBadPaths) {
    for (const char* server : {"\\\\OLDSRV", "\\\\GHOST", "FILESRV", "\\\\"}) {
        SCOPED_TRACE(server);
        HANDLE handle = nullptr;
        EXPECT_EQ(Open(server, handle), ERROR_BAD_NETPATH);
    }
}

class Faults : public HostWorld {};

TEST_F(Faults, NamedCallFailsOnceAtTheChosenCall) {
    InjectFaults("RegOpenKeyExA:5@2,LookupAccountSidA:1722,NetShareGetInfo:2310");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App", 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);

    auto everyone = Sid("S-1-1-0");
    char name[64], domain[64];
    DWORD nameLength = sizeof name, domainLength = sizeof domain;
    SID_NAME_USE use;
    EXPECT_FALSE(LookupAccountSidA(nullptr, everyone.data(), name, &nameLength, domain, &domainLength, &use));
    EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
    EXPECT_TRUE(LookupAccountSidA(nullptr, everyone.data(), name, &nameLength, domain, &domainLength, &use));

    LogOnAs("CORP\\bob");  // a fresh host: the fault list is read again, counters start over
    LPBYTE buffer = nullptr;
    EXPECT_EQ(NetShareGetInfo(u"\\\\FILESRV", u"data", 502, &buffer), NERR_NetNameNotFound);
    ASSERT_EQ(NetShareGetInfo(u"\\\\FILESRV", u"data", 502, &buffer), NERR_Success);
    NetApiBufferFree(buffer);
}

TEST_F(Faults, MalformedEntriesAreIgnored) {
    InjectFaults("RegOpenKeyExA,:5,RegOpenKeyExA:x,RegOpenKeyExA:5@0,RegCloseKey:6");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\App", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);  // injected: the handle stays open
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST(UnusableWorld, CallsFailWithCodesAndOneLineOnStandardError) {
    std::string garbage = ::testing::TempDir() + "host_garbage_world.db";
    {
        std::FILE* f = std::fopen(garbage.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::string text(8192, 'g');
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    // A path below a regular file cannot be created, even by root.
    for (const std::string& path : {std::string("/dev/null/world.db"), garbage}) {
        SCOPED_TRACE(path);
        ::setenv("NTSIM_WORLD", path.c_str(), 1);
        ::unsetenv("NTSIM_FAULT");
        platform::host::Host::ResetForTesting();
        ::testing::internal::CaptureStderr();
        HKEY key = nullptr;
        EXPECT_EQ(RegConnectRegistryA("\\FILESRV", HKEY_LOCAL_MACHINE, &key), ERROR_BAD_NETPATH);
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
        auto everyone = Sid("S-1-1-0");
        char name[64], domain[64];
        DWORD nameLength = sizeof name, domainLength = sizeof domain;
        SID_NAME_USE use;
        EXPECT_FALSE(LookupAccountSidA(nullptr, everyone.data(), name, &nameLength, domain, &domainLength, &use));
        EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
        LPBYTE buffer = nullptr;
        EXPECT_EQ(NetShareGetInfo(nullptr, u"data", 502, &buffer), ERROR_BAD_NETPATH);
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("ntsim: cannot open world " + path + ": ", 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    platform::host::Host::ResetForTesting();
    ::unsetenv("NTSIM_WORLD");
    std::remove(garbage.c_str());
}

}  // namespace
}  // namespace hosttest
