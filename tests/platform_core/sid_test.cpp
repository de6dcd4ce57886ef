// Security identifiers: validation of the binary form, the calls that read
// and build it, and the S-1-... text form both ways.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "helpers.h"
#include "platform/security.h"
#include "security/descriptor.h"
#include "security/sddl.h"

using testutil::Sid;

TEST(Sid, TextFormGivesTheDocumentedBytes) {
    struct Case {
        std::string text;
        std::vector<BYTE> bytes;
    };
    const Case cases[] = {
        {"S-1-1-0", {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}},
        {"S-1-5-32-544", {1, 2, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x20, 0x02, 0, 0}},
        {"S-1-5", {1, 0, 0, 0, 0, 0, 0, 5}},
        {"S-1-5-21-4294967295", {1, 2, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
        // Authorities past 32 bits are written in hexadecimal, big-endian.
        {"S-1-0x123456789ABC-7", {1, 1, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 7, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<BYTE> bytes;
        ASSERT_TRUE(platform::StringToSid(c.text, bytes));
        EXPECT_EQ(bytes, c.bytes);
        std::string back;
        ASSERT_TRUE(platform::SidToString(bytes.data(), bytes.size(), back));
        EXPECT_EQ(back, c.text);
    }
}

TEST(Sid, MalformedTextIsRefusedAndLeavesOutputAlone) {
    const char* cases[] = {
        "", "S", "S-", "S-1", "S-1-", "S-2-5", "S-1-5-", "S-1-5-x", "X-1-5", "S-1-5-32-544 ",
        "S-1-5-4294967296",                                   // sub-authority past 32 bits
        "S-1-0x1000000000000-1",                               // authority past 48 bits
        "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16",       // sixteen sub-authorities
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        std::vector<BYTE> out{0xAA};
        EXPECT_FALSE(platform::StringToSid(text, out));
        EXPECT_EQ(out, std::vector<BYTE>{0xAA});
    }
    std::vector<BYTE> fifteen;
    EXPECT_TRUE(platform::StringToSid("S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15", fifteen));
    EXPECT_EQ(fifteen.size(), SECURITY_MAX_SID_SIZE);
}

TEST(Sid, BinaryValidationNeedsRevisionCountAndRoom) {
    std::vector<BYTE> good = Sid("S-1-5-21-1-2-3");
    struct Case {
        const char* name;
        std::vector<BYTE> bytes;
        std::size_t length;
        bool valid;
    };
    std::vector<BYTE> badRevision = good;
    badRevision[0] = 2;
    std::vector<BYTE> tooMany = good;
    tooMany[1] = 16;
    std::vector<BYTE> padded = good;
    padded.resize(good.size() + 4);
    const Case cases[] = {
        {"well formed", good, good.size(), true},
        {"room to spare", padded, padded.size(), true},
        {"one byte short", good, good.size() - 1, false},
        {"header only", good, 8, false},
        {"shorter than a header", good, 7, false},
        {"revision 2", badRevision, badRevision.size(), false},
        {"sixteen sub-authorities", tooMany, tooMany.size(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::IsValidSidBytes(c.bytes.data(), c.length), c.valid);
    }
    SetLastError(0);
    EXPECT_FALSE(IsValidSid(badRevision.data()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
    EXPECT_FALSE(IsValidSid(nullptr));
    EXPECT_TRUE(IsValidSid(good.data()));
}

TEST(Sid, LengthEqualityAndCopy) {
    std::vector<BYTE> a = Sid("S-1-5-21-1-2-3-1001");
    std::vector<BYTE> b = Sid("S-1-5-21-1-2-3-1002");
    std::vector<BYTE> prefix = Sid("S-1-5-21-1-2-3");
    EXPECT_EQ(GetLengthSid(a.data()), 28u);
    EXPECT_EQ(GetSidLengthRequired(5), 28u);
    EXPECT_TRUE(EqualSid(a.data(), a.data()));
    EXPECT_FALSE(EqualSid(a.data(), b.data()));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_FALSE(EqualSid(a.data(), prefix.data()));

    std::vector<BYTE> bad = a;
    bad[0] = 0;
    EXPECT_FALSE(EqualSid(a.data(), bad.data()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);

    std::vector<BYTE> dest(28, 0xEE);
    EXPECT_FALSE(CopySid(27, dest.data(), a.data()));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(dest, std::vector<BYTE>(28, 0xEE));
    EXPECT_TRUE(CopySid(28, dest.data(), a.data()));
    EXPECT_EQ(dest, a);
}

TEST(Sid, BuildingThroughTheAuthorityCalls) {
    SID_IDENTIFIER_AUTHORITY nt = {{0, 0, 0, 0, 0, 5}};
    PSID allocated = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, 32, 544, 0, 0, 0, 0, 0, 0, &allocated));
    EXPECT_TRUE(EqualSid(allocated, Sid("S-1-5-32-544").data()));
    EXPECT_EQ(FreeSid(allocated), nullptr);
    EXPECT_FALSE(AllocateAndInitializeSid(&nt, 9, 0, 0, 0, 0, 0, 0, 0, 0, &allocated));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    std::vector<BYTE> buffer(GetSidLengthRequired(3), 0xCC);
    ASSERT_TRUE(InitializeSid(buffer.data(), &nt, 3));
    EXPECT_EQ(*GetSidSubAuthorityCount(buffer.data()), 3);
    DWORD values[3] = {21, 42, 1001};
    for (DWORD i = 0; i < 3; ++i) {
        DWORD* slot = GetSidSubAuthority(buffer.data(), i);
        ASSERT_NE(slot, nullptr);
        std::memcpy(slot, &values[i], 4);
    }
    EXPECT_EQ(GetSidSubAuthority(buffer.data(), 3), nullptr);
    EXPECT_EQ(GetSidIdentifierAuthority(buffer.data())->Value[5], 5);
    std::string text;
    ASSERT_TRUE(platform::SidToString(buffer.data(), buffer.size(), text));
    EXPECT_EQ(text, "S-1-5-21-42-1001");
}
