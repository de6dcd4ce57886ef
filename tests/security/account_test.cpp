// Account against a small world: typed names and the controller note,
// look-ups by SID, the display and qualified names with their domain and
// type rules, SIDs nobody can map, overlong domain parts, deep copies.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/security/account.h"
#include "platform/security.h"
#include "tests/support/world_fixture.h"

namespace {

const char* const kWorld = R"json({
  "local": "WKS01",
  "logon": "CORP\\admin",
  "domains": [
    { "name": "CORP", "sid": "S-1-5-21-1000-2000-3000", "dc": "CORPDC",
      "accounts": [
        { "name": "Domain Admins", "rid": 512, "type": "group", "members": ["CORP\\admin"] },
        { "name": "admin", "rid": 1100, "type": "user" },
        { "name": "jsmith", "rid": 1105, "type": "user" },
        { "name": "olduser", "rid": 1200, "type": "user", "deleted": true }
      ] }
  ],
  "machines": [
    { "name": "CORPDC", "sid": "S-1-5-21-1100-2100-3100", "domain": "CORP",
      "accounts": [ { "name": "dconly", "rid": 1001, "type": "user" } ] },
    { "name": "WKS01", "sid": "S-1-5-21-4000-5000-6000", "domain": "CORP",
      "accounts": [
        { "name": "localuser", "rid": 1001, "type": "user" },
        { "name": "helpers", "rid": 1002, "type": "alias" }
      ] }
  ]
})json";

// The binary form of S-1-<authority>-<sub>-...; enough for the test SIDs.
std::vector<BYTE> Sid(const std::string& text) {
    std::vector<unsigned long> parts;
    size_t at = 2;  // after "S-"
    while (at < text.size()) {
        size_t end = text.find('-', at);
        if (end == std::string::npos) end = text.size();
        parts.push_back(std::strtoul(text.substr(at, end - at).c_str(), nullptr, 10));
        at = end + 1;
    }
    std::vector<BYTE> sid(8 + 4 * (parts.size() - 2));
    sid[0] = static_cast<BYTE>(parts[0]);
    sid[1] = static_cast<BYTE>(parts.size() - 2);
    sid[7] = static_cast<BYTE>(parts[1]);
    for (size_t i = 2; i < parts.size(); ++i) {
        const DWORD part = static_cast<DWORD>(parts[i]);
        std::memcpy(sid.data() + 8 + 4 * (i - 2), &part, 4);
    }
    return sid;
}

class AccountTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { world = new WorldFile(kWorld); }
    static void TearDownTestSuite() {
        delete world;
        world = nullptr;
    }
    static WorldFile* world;
};
WorldFile* AccountTest::world = nullptr;

TEST_F(AccountTest, TypedNames) {
    struct Case {
        const char* typed;
        bool valid;
        const char* sid;         // expected SID when valid
        const char* stderrText;  // the controller note, exactly
        DWORD sidType;
    };
    const Case cases[] = {
        {"jsmith", true, "S-1-5-21-1000-2000-3000-1105", "", SidTypeUser},
        {"JSMITH", true, "S-1-5-21-1000-2000-3000-1105", "", SidTypeUser},
        {"localuser", true, "S-1-5-21-4000-5000-6000-1001", "", SidTypeUser},
        {"Administrators", true, "S-1-5-32-544", "", SidTypeAlias},
        {"CORP\\jsmith", true, "S-1-5-21-1000-2000-3000-1105",
         "Locating a domain controller for domain: CORP using server: \\\\CORPDC\n", SidTypeUser},
        // The controller answers with its own accounts, not the workstation's.
        {"CORP\\dconly", true, "S-1-5-21-1100-2100-3100-1001",
         "Locating a domain controller for domain: CORP using server: \\\\CORPDC\n", SidTypeUser},
        {"CORP\\localuser", false, nullptr,
         "Locating a domain controller for domain: CORP using server: \\\\CORPDC\n", 0},
        // Not a domain: the text is taken for a machine name.
        {"WKS01\\localuser", true, "S-1-5-21-4000-5000-6000-1001",
         "Locating a domain controller for domain: WKS01 using server: WKS01\n", SidTypeUser},
        {"NOWHERE\\jsmith", false, nullptr,
         "Locating a domain controller for domain: NOWHERE using server: NOWHERE\n", 0},
        // An empty domain part asks for the controller of the machine's own domain.
        {"\\jsmith", true, "S-1-5-21-1000-2000-3000-1105",
         "Locating a domain controller for domain:  using server: \\\\CORPDC\n", SidTypeUser},
        {"nobody", false, nullptr, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Account account;
        ::testing::internal::CaptureStderr();
        const bool found = account.SetName(c.typed);
        const std::string note = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(found, c.valid);
        EXPECT_EQ(account.IsValid(), c.valid);
        EXPECT_EQ(note, c.stderrText);
        EXPECT_EQ(account.SidType, c.sidType);
        if (c.valid) {
            std::vector<BYTE> expected = Sid(c.sid);
            EXPECT_TRUE(EqualSid(account.Sid(), expected.data()));
        }
    }
}

TEST_F(AccountTest, TypedNameKeepsItsTextAndTheRightsPart) {
    Account account;
    account.Mask = 0x00020019;
    account.AceType = 1;
    char typed[] = "CORP\\jsmith:read";
    typed[11] = '\0';
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(account.SetName(typed));
    ::testing::internal::GetCapturedStderr();
    typed[11] = ':';
    EXPECT_STREQ(typed, "CORP\\jsmith:read");
    EXPECT_STREQ(account.Name(), "jsmith");
    EXPECT_STREQ(account.Domain(), "CORP");
    EXPECT_EQ(account.Mask, 0x00020019u);
    EXPECT_EQ(account.AceType, 1);
    EXPECT_FALSE(account.SetName(nullptr));
    EXPECT_TRUE(account.IsValid()) << "absent text changes nothing";
}

TEST_F(AccountTest, OverlongDomainPartsFailCleanly) {
    struct Case {
        size_t length;
        bool located;  // the note is completed with a server
    };
    for (const Case& c : {Case{63, true}, Case{64, false}, Case{300, false}}) {
        SCOPED_TRACE(c.length);
        const std::string domain(c.length, 'D');
        const std::string typed = domain + "\\jsmith";
        Account account;
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(account.SetName(typed.c_str()));
        const std::string note = ::testing::internal::GetCapturedStderr();
        EXPECT_FALSE(account.IsValid());
        const std::string start = "Locating a domain controller for domain: " + domain;
        EXPECT_EQ(note.substr(0, start.size()), start);
        EXPECT_EQ(note.find(" using server: ") != std::string::npos, c.located);
        EXPECT_EQ(note.back(), '\n');
        EXPECT_TRUE(account.Resolve()) << "the look-up counts as tried";
    }
}

TEST_F(AccountTest, DisplayAndQualifiedNames) {
    struct Case {
        const char* sid;
        const char* home;  // home domain, or absent
        const char* display;
        const char* displayWithoutType;
        const char* qualified;
    };
    const Case cases[] = {
        {"S-1-5-21-1000-2000-3000-1105", "corp", "jsmith", "jsmith", "CORP\\jsmith"},
        {"S-1-5-21-1000-2000-3000-1105", "CORP", "jsmith", "jsmith", "CORP\\jsmith"},
        {"S-1-5-21-1000-2000-3000-1105", "OTHER", "CORP\\jsmith", "CORP\\jsmith", "CORP\\jsmith"},
        {"S-1-5-21-1000-2000-3000-1105", nullptr, "CORP\\jsmith", "CORP\\jsmith", "CORP\\jsmith"},
        {"S-1-5-21-1000-2000-3000-512", "OTHER", "CORP\\Domain Admins (gg)", "CORP\\Domain Admins",
         "CORP\\Domain Admins"},
        {"S-1-5-21-1000-2000-3000-512", "Corp", "Domain Admins (gg)", "Domain Admins", "CORP\\Domain Admins"},
        {"S-1-5-32-544", "CORP", "Administrators (lg)", "Administrators", "BUILTIN\\Administrators"},
        {"S-1-5-18", "CORP", "SYSTEM", "SYSTEM", "NT AUTHORITY\\SYSTEM"},
        {"S-1-1-0", "CORP", "Everyone", "Everyone", "Everyone"},
        {"S-1-5-21-4000-5000-6000-1002", "CORP", "WKS01\\helpers (lg)", "WKS01\\helpers", "WKS01\\helpers"},
        {"S-1-5-21-4000-5000-6000-1002", "wks01", "helpers (lg)", "helpers", "WKS01\\helpers"},
        {"S-1-5-21-1000-2000-3000-1200", "OTHER", "CORP\\olduser (deleted)", "CORP\\olduser", "CORP\\olduser"},
        // Nobody knows these: the SID text, no suffix, each one distinct.
        {"S-1-5-21-9999-8888-7777-1234", "CORP", "S-1-5-21-9999-8888-7777-1234",
         "S-1-5-21-9999-8888-7777-1234", "S-1-5-21-9999-8888-7777-1234"},
        {"S-1-5-21-1000-2000-3000-4242", "CORP", "S-1-5-21-1000-2000-3000-4242",
         "S-1-5-21-1000-2000-3000-4242", "S-1-5-21-1000-2000-3000-4242"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.sid << " home " << (c.home ? c.home : "(none)"));
        std::vector<BYTE> sid = Sid(c.sid);
        Account account;
        ASSERT_TRUE(account.SetSid(sid.data(), nullptr));
        EXPECT_EQ(account.Name(), nullptr) << "SetSid looks nothing up";
        EXPECT_STREQ(account.DisplayName(c.home, true).Text(), c.display);
        EXPECT_STREQ(account.DisplayName(c.home, false).Text(), c.displayWithoutType);
        EXPECT_STREQ(account.QualifiedName().Text(), c.qualified);
    }
}

TEST_F(AccountTest, SidTextForms) {
    struct Case {
        std::vector<BYTE> sid;
        const char* text;
    };
    const Case cases[] = {
        {Sid("S-1-5-18"), "S-1-5-18"},
        {Sid("S-1-1-0"), "S-1-1-0"},
        {Sid("S-1-5-21-4294967295-1-2-3"), "S-1-5-21-4294967295-1-2-3"},
        {{1, 0, 0, 0, 0, 0, 0, 5}, "S-1-5"},
        {{1, 1, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 7, 0, 0, 0}, "S-1-0x123456789ABC-7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char buffer[192];
        ASSERT_TRUE(FormatSid(const_cast<BYTE*>(c.sid.data()), buffer, sizeof buffer));
        EXPECT_STREQ(buffer, c.text);
    }
    std::vector<BYTE> longest(8 + 4 * 15, 0xFF);
    longest[0] = 1;
    longest[1] = 15;
    char buffer[192];
    EXPECT_TRUE(FormatSid(longest.data(), buffer, sizeof buffer));
    EXPECT_FALSE(FormatSid(longest.data(), buffer, 20)) << "too small a buffer is refused, not overrun";
    std::vector<BYTE> broken = {9, 1, 0, 0, 0, 0, 0, 5, 1, 0, 0, 0};
    EXPECT_FALSE(FormatSid(broken.data(), buffer, sizeof buffer));
}

TEST_F(AccountTest, LookUpsAskTheGivenServer) {
    std::vector<BYTE> dcOnly = Sid("S-1-5-21-1100-2100-3100-1001");
    Account local;
    ASSERT_TRUE(local.SetSid(dcOnly.data(), nullptr));
    EXPECT_STREQ(local.QualifiedName().Text(), "S-1-5-21-1100-2100-3100-1001")
        << "the workstation cannot name the controller's own accounts";
    Account there;
    ASSERT_TRUE(there.SetSid(dcOnly.data(), "CORPDC"));
    EXPECT_STREQ(there.Server(), "CORPDC");
    EXPECT_STREQ(there.QualifiedName().Text(), "CORPDC\\dconly");
}

TEST_F(AccountTest, ANameWithTwoBackslashesKeepsTheRest) {
    Account account;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(account.SetName("CORP\\B\\C"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Locating a domain controller for domain: CORP using server: \\\\CORPDC\n");
    EXPECT_STREQ(account.Name(), "B\\C");
    EXPECT_STREQ(account.QualifiedName().Text(), "B\\C");
}

TEST_F(AccountTest, InvalidSidsAndSameSid) {
    std::vector<BYTE> broken = {7, 1, 0, 0, 0, 0, 0, 5, 1, 0, 0, 0};
    Account invalid;
    EXPECT_FALSE(invalid.SetSid(broken.data(), "SRV"));
    EXPECT_FALSE(invalid.IsValid());
    EXPECT_EQ(invalid.Server(), nullptr);
    EXPECT_FALSE(invalid.SetSid(nullptr, nullptr));

    std::vector<BYTE> a = Sid("S-1-5-21-1000-2000-3000-1105");
    std::vector<BYTE> b = Sid("S-1-5-21-1000-2000-3000-1100");
    Account first, sameAsFirst, second, empty;
    ASSERT_TRUE(first.SetSid(a.data(), nullptr));
    ASSERT_TRUE(sameAsFirst.SetSid(a.data(), "CORPDC"));
    ASSERT_TRUE(second.SetSid(b.data(), nullptr));
    struct Case {
        const char* what;
        const Account* left;
        const Account* right;
        bool same;
    };
    const Case cases[] = {
        {"equal SIDs, different servers", &first, &sameAsFirst, true},
        {"different SIDs", &first, &second, false},
        {"one without SID", &first, &empty, false},
        {"without SID, with itself", &empty, &empty, false},
        {"with itself", &first, &first, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.left->SameSid(*c.right), c.same);
        EXPECT_EQ(c.right->SameSid(*c.left), c.same);
    }
}

TEST_F(AccountTest, CopiesAreDeepAndIndependent) {
    std::vector<BYTE> a = Sid("S-1-5-21-1000-2000-3000-1105");
    std::vector<BYTE> b = Sid("S-1-5-32-544");
    Account original;
    ASSERT_TRUE(original.SetSid(a.data(), "CORPDC"));
    original.Mask = 0x000F003F;
    original.AceFlags = 0x03;
    original.AceType = 1;
    EXPECT_STREQ(original.DisplayName("OTHER", true).Text(), "CORP\\jsmith");

    Account copy(original);
    Account assigned;
    assigned = original;
    ASSERT_TRUE(original.SetSid(b.data(), nullptr));
    original.Mask = 0;
    for (Account* account : {&copy, &assigned}) {
        EXPECT_TRUE(account->IsValid());
        EXPECT_EQ(account->Mask, 0x000F003Fu);
        EXPECT_EQ(account->AceFlags, 0x03);
        EXPECT_EQ(account->AceType, 1);
        EXPECT_EQ(account->SidType, static_cast<DWORD>(SidTypeUser));
        EXPECT_STREQ(account->Server(), "CORPDC");
        EXPECT_STREQ(account->Domain(), "CORP") << "a copy of a resolved account is resolved";
        EXPECT_STREQ(account->DisplayName("OTHER", true).Text(), "CORP\\jsmith");
        EXPECT_NE(account->Sid(), original.Sid());
    }
    Account& self = assigned;
    assigned = self;
    EXPECT_STREQ(assigned.QualifiedName().Text(), "CORP\\jsmith");
}

TEST_F(AccountTest, ConstructedFromTypedText) {
    ::testing::internal::CaptureStderr();
    Account typed("CORP\\jsmith");
    Account unknown("nobody");
    ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(typed.IsValid());
    EXPECT_FALSE(unknown.IsValid());
    Account empty;
    EXPECT_FALSE(empty.IsValid());
    EXPECT_FALSE(empty.Resolve());
    EXPECT_STREQ(empty.QualifiedName().Text(), "");
    EXPECT_STREQ(empty.DisplayName(nullptr, true).Text(), "");
}

}  // namespace
