// Account look-ups, both ways, as each machine of the test world answers
// them; the two-call size protocol; domain controller location.
#include <cstring>

#include "host_world.h"

namespace hosttest {
namespace {

class Accounts : public HostWorld {};

struct NameCase {
    const char* system;  // machine asked (null = local)
    const char* name;    // as typed
    const char* sid;     // expected SID, or null when the look-up fails
    const char* domain;  // expected referenced domain
    SID_NAME_USE use;    // expected type
    DWORD error;         // expected last error when it fails
};

TEST_F(Accounts, NameLookupFindsEachKindOfAccount) {
    const NameCase cases[] = {
        {nullptr, "Everyone", "S-1-1-0", "", SidTypeWellKnownGroup, 0},
        {nullptr, "CREATOR OWNER", "S-1-3-0", "", SidTypeWellKnownGroup, 0},
        {nullptr, "system", "S-1-5-18", "NT AUTHORITY", SidTypeWellKnownGroup, 0},
        {nullptr, "NT AUTHORITY\\Authenticated Users", "S-1-5-11", "NT AUTHORITY", SidTypeWellKnownGroup, 0},
        {nullptr, "Administrators", "S-1-5-32-544", "BUILTIN", SidTypeAlias, 0},
        {nullptr, "BUILTIN\\backup operators", "S-1-5-32-551", "BUILTIN", SidTypeAlias, 0},
        {nullptr, "Administrator", "S-1-5-21-4000-5000-6000-500", "WKSTN01", SidTypeUser, 0},
        {nullptr, "helpdesk", "S-1-5-21-4000-5000-6000-1001", "WKSTN01", SidTypeAlias, 0},
        {nullptr, "alice", "S-1-5-21-1000-2000-3000-1104", "CORP", SidTypeUser, 0},
        {nullptr, "CORP\\Administrator", "S-1-5-21-1000-2000-3000-500", "CORP", SidTypeUser, 0},
        {nullptr, "corp\\domain admins", "S-1-5-21-1000-2000-3000-512", "CORP", SidTypeGroup, 0},
        {nullptr, "CORP\\Domain Users", "S-1-5-21-1000-2000-3000-513", "CORP", SidTypeGroup, 0},
        {nullptr, "CORP", "S-1-5-21-1000-2000-3000", "CORP", SidTypeDomain, 0},
        {nullptr, "WKSTN01\\Administrator", "S-1-5-21-4000-5000-6000-500", "WKSTN01", SidTypeUser, 0},
        {"FILESRV", "svc", "S-1-5-21-8000-8000-8000-1000", "FILESRV", SidTypeUser, 0},
        {"\\\\FILESRV", "Administrator", "S-1-5-21-8000-8000-8000-500", "FILESRV", SidTypeUser, 0},
        {"\\\\FILESRV", "helpdesk", nullptr, "", SidTypeUnknown, ERROR_NONE_MAPPED},
        {nullptr, "svc", nullptr, "", SidTypeUnknown, ERROR_NONE_MAPPED},
        {nullptr, "olduser", nullptr, "", SidTypeUnknown, ERROR_NONE_MAPPED},
        {nullptr, "nobody", nullptr, "", SidTypeUnknown, ERROR_NONE_MAPPED},
        {nullptr, "NOSUCH\\alice", nullptr, "", SidTypeUnknown, ERROR_NONE_MAPPED},
        {"OLDSRV", "alice", nullptr, "", SidTypeUnknown, RPC_S_SERVER_UNAVAILABLE},
        {"\\\\OLDSRV", "alice", nullptr, "", SidTypeUnknown, RPC_S_SERVER_UNAVAILABLE},
        {"\\\\GHOST", "alice", nullptr, "", SidTypeUnknown, RPC_S_SERVER_UNAVAILABLE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.system ? c.system : "(local)") + " " + c.name);
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD sidLength = sizeof sid;
        char domain[64];
        DWORD domainLength = sizeof domain;
        SID_NAME_USE use = SidTypeInvalid;
        BOOL ok = LookupAccountNameA(c.system, c.name, sid, &sidLength, domain, &domainLength, &use);
        if (c.sid == nullptr) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(GetLastError(), c.error);
            continue;
        }
        ASSERT_TRUE(ok) << GetLastError();
        EXPECT_EQ(SidString(sid, sidLength), c.sid);
        EXPECT_STREQ(domain, c.domain);
        EXPECT_EQ(domainLength, std::strlen(c.domain));
        EXPECT_EQ(use, c.use);
    }
}

struct SidCase {
    const char* system;  // machine asked
    const char* sid;     // SID looked up
    const char* name;    // expected name, or null on failure
    const char* domain;  // expected domain
    SID_NAME_USE use;    // expected type
    DWORD error;         // expected last error on failure
};

TEST_F(Accounts, SidLookupNamesEachKindOfAccount) {
    const SidCase cases[] = {
        {nullptr, "S-1-1-0", "Everyone", "", SidTypeWellKnownGroup, 0},
        {nullptr, "S-1-3-0", "CREATOR OWNER", "", SidTypeWellKnownGroup, 0},
        {nullptr, "S-1-5-18", "SYSTEM", "NT AUTHORITY", SidTypeWellKnownGroup, 0},
        {nullptr, "S-1-5-4", "INTERACTIVE", "NT AUTHORITY", SidTypeWellKnownGroup, 0},
        {nullptr, "S-1-5-2", "NETWORK", "NT AUTHORITY", SidTypeWellKnownGroup, 0},
        {nullptr, "S-1-5-32-544", "Administrators", "BUILTIN", SidTypeAlias, 0},
        {nullptr, "S-1-5-32-545", "Users", "BUILTIN", SidTypeAlias, 0},
        {nullptr, "S-1-5-32", "BUILTIN", "BUILTIN", SidTypeDomain, 0},
        {nullptr, "S-1-5-21-4000-5000-6000-500", "Administrator", "WKSTN01", SidTypeUser, 0},
        {nullptr, "S-1-5-21-4000-5000-6000-1001", "helpdesk", "WKSTN01", SidTypeAlias, 0},
        {nullptr, "S-1-5-21-4000-5000-6000", "WKSTN01", "WKSTN01", SidTypeDomain, 0},
        {nullptr, "S-1-5-21-1000-2000-3000-1104", "alice", "CORP", SidTypeUser, 0},
        {nullptr, "S-1-5-21-1000-2000-3000-513", "Domain Users", "CORP", SidTypeGroup, 0},
        {nullptr, "S-1-5-21-1000-2000-3000-1200", "olduser", "CORP", SidTypeDeletedAccount, 0},
        {nullptr, "S-1-5-21-1000-2000-3000", "CORP", "CORP", SidTypeDomain, 0},
        {"FILESRV", "S-1-5-21-8000-8000-8000-1000", "svc", "FILESRV", SidTypeUser, 0},
        {nullptr, "S-1-5-21-8000-8000-8000-1000", nullptr, "", SidTypeUnknown, ERROR_NONE_MAPPED},
        {nullptr, "S-1-5-21-1000-2000-3000-4242", nullptr, "", SidTypeUnknown, ERROR_NONE_MAPPED},
        {nullptr, "S-1-5-32-999", nullptr, "", SidTypeUnknown, ERROR_NONE_MAPPED},
        {nullptr, "S-1-5-21-1-2-3-4", nullptr, "", SidTypeUnknown, ERROR_NONE_MAPPED},
        {"OLDSRV", "S-1-1-0", nullptr, "", SidTypeUnknown, RPC_S_SERVER_UNAVAILABLE},
        {"\\\\NOWHERE", "S-1-1-0", nullptr, "", SidTypeUnknown, RPC_S_SERVER_UNAVAILABLE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.system ? c.system : "(local)") + " " + c.sid);
        auto sid = Sid(c.sid);
        char name[64], domain[64];
        DWORD nameLength = sizeof name, domainLength = sizeof domain;
        SID_NAME_USE use = SidTypeInvalid;
        BOOL ok = LookupAccountSidA(c.system, sid.data(), name, &nameLength, domain, &domainLength, &use);
        if (c.name == nullptr) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(GetLastError(), c.error);
            continue;
        }
        ASSERT_TRUE(ok) << GetLastError();
        EXPECT_STREQ(name, c.name);
        EXPECT_EQ(nameLength, std::strlen(c.name));
        EXPECT_STREQ(domain, c.domain);
        EXPECT_EQ(domainLength, std::strlen(c.domain));
        EXPECT_EQ(use, c.use);
    }
}

TEST_F(Accounts, SidLookupReportsSizesWithTerminatorAndWritesNothingWhenShort) {
    auto sid = Sid("S-1-5-21-1000-2000-3000-512");  // CORP\Domain Admins
    struct Sizes {
        DWORD name, domain;  // buffer sizes offered
    };
    const Sizes shortCases[] = {{0, 0}, {13, 5}, {14, 4}, {1, 100}};
    for (const auto& s : shortCases) {
        SCOPED_TRACE(std::to_string(s.name) + "/" + std::to_string(s.domain));
        std::string name(100, 'x'), domain(100, 'y');
        DWORD nameLength = s.name, domainLength = s.domain;
        SID_NAME_USE use = SidTypeInvalid;
        EXPECT_FALSE(LookupAccountSidA(nullptr, sid.data(), s.name ? name.data() : nullptr, &nameLength,
                                       s.domain ? domain.data() : nullptr, &domainLength, &use));
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(nameLength, 14u);  // "Domain Admins" + terminator
        EXPECT_EQ(domainLength, 5u);  // "CORP" + terminator
        EXPECT_EQ(name, std::string(100, 'x'));
        EXPECT_EQ(domain, std::string(100, 'y'));
        EXPECT_EQ(use, SidTypeInvalid);
    }
    // Exactly the sizes reported are enough; heap buffers of that size let
    // the address sanitizer catch a write past them.
    auto name = std::make_unique<char[]>(14);
    auto domain = std::make_unique<char[]>(5);
    DWORD nameLength = 14, domainLength = 5;
    SID_NAME_USE use = SidTypeInvalid;
    ASSERT_TRUE(LookupAccountSidA(nullptr, sid.data(), name.get(), &nameLength, domain.get(), &domainLength, &use));
    EXPECT_STREQ(name.get(), "Domain Admins");
    EXPECT_STREQ(domain.get(), "CORP");
    EXPECT_EQ(nameLength, 13u);
    EXPECT_EQ(domainLength, 4u);
    EXPECT_EQ(use, SidTypeGroup);
}

TEST_F(Accounts, NameLookupReportsSidAndDomainSizes) {
    DWORD sidLength = 0, domainLength = 0;
    SID_NAME_USE use = SidTypeInvalid;
    EXPECT_FALSE(LookupAccountNameA(nullptr, "CORP\\alice", nullptr, &sidLength, nullptr, &domainLength, &use));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(sidLength, 28u);  // five sub-authorities
    EXPECT_EQ(domainLength, 5u);

    auto sid = std::make_unique<BYTE[]>(sidLength);
    auto domain = std::make_unique<char[]>(domainLength);
    ASSERT_TRUE(LookupAccountNameA(nullptr, "CORP\\alice", sid.get(), &sidLength, domain.get(), &domainLength, &use));
    EXPECT_EQ(SidString(sid.get(), sidLength), "S-1-5-21-1000-2000-3000-1104");
    EXPECT_EQ(domainLength, 4u);
    EXPECT_EQ(use, SidTypeUser);

    // One byte short of the SID is still too small.
    DWORD shortSid = 27, roomyDomain = 64;
    BYTE buffer[64];
    char domainBuffer[64];
    EXPECT_FALSE(LookupAccountNameA(nullptr, "alice", buffer, &shortSid, domainBuffer, &roomyDomain, &use));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(shortSid, 28u);
}

std::string DcName(const char16_t* server, const char16_t* domain, NET_API_STATUS& status) {
    LPBYTE buffer = nullptr;
    status = NetGetDCName(server, domain, &buffer);
    if (status != NERR_Success) return {};
    std::string out;
    for (auto* p = reinterpret_cast<const char16_t*>(buffer); *p != 0; ++p) out.push_back(static_cast<char>(*p));
    EXPECT_EQ(NetApiBufferFree(buffer), NERR_Success);
    return out;
}

TEST_F(Accounts, DomainControllerIsNamedWithTwoBackslashes) {
    struct Case {
        const char16_t* server;  // machine asked
        const char16_t* domain;  // domain named
        NET_API_STATUS status;   // expected result
        const char* dc;          // expected name
    };
    const Case cases[] = {
        {nullptr, u"CORP", NERR_Success, "\\\\CORPDC"},
        {nullptr, u"corp", NERR_Success, "\\\\CORPDC"},
        {nullptr, nullptr, NERR_Success, "\\\\CORPDC"},
        {u"\\\\FILESRV", u"CORP", NERR_Success, "\\\\CORPDC"},
        {nullptr, u"NOSUCH", NERR_DCNotFound, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dc);
        NET_API_STATUS status = 0;
        EXPECT_EQ(DcName(c.server, c.domain, status), c.dc);
        EXPECT_EQ(status, c.status);
    }
}

class OfflineController : public HostWorld {
    std::string WorldJson() override {
        std::string json = kWorld;
        const std::string dc = R"("name": "CORPDC",)";
        json.replace(json.find(dc), dc.size(), dc + R"( "online": false,)");
        return json;
    }
};

TEST_F(OfflineController, IsNotFound) {
    NET_API_STATUS status = 0;
    EXPECT_EQ(DcName(nullptr, u"CORP", status), "");
    EXPECT_EQ(status, NERR_DCNotFound);
}

}  // namespace
}  // namespace hosttest
