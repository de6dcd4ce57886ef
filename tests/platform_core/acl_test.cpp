// Access lists: creation limits, adding entries until the list is exactly
// full, insertion order, deletion, size information, and lists whose header
// or entries lie about their sizes.
#include <gtest/gtest.h>

#include <vector>

#include "helpers.h"
#include "platform/security.h"
#include "security/descriptor.h"

using testutil::Ace;
using testutil::Sid;
using testutil::Word;

namespace {

struct AclBuffer {
    explicit AclBuffer(DWORD size) : bytes(size, 0xEE) {
        EXPECT_TRUE(InitializeAcl(acl(), size, ACL_REVISION));
    }
    PACL acl() { return reinterpret_cast<PACL>(bytes.data()); }
    ACL_SIZE_INFORMATION Sizes() {
        ACL_SIZE_INFORMATION info{};
        EXPECT_TRUE(GetAclInformation(acl(), &info, sizeof info, AclSizeInformation));
        return info;
    }
    DWORD MaskAt(DWORD index) {
        void* ace = nullptr;
        EXPECT_TRUE(GetAce(acl(), index, &ace));
        DWORD mask = 0;
        if (ace) std::memcpy(&mask, static_cast<BYTE*>(ace) + 4, 4);
        return mask;
    }
    std::vector<BYTE> bytes;  // the list and its free space
};

}  // namespace

TEST(Acl, InitializeRefusesSizesAndRevisionsOutsideTheFormat) {
    struct Case {
        DWORD length;
        DWORD revision;
        DWORD error;  // 0 = succeeds
    };
    const Case cases[] = {
        {8, ACL_REVISION, 0},
        {0xFFFF, ACL_REVISION, 0},
        {36, ACL_REVISION_DS, 0},
        {7, ACL_REVISION, ERROR_INSUFFICIENT_BUFFER},
        {0x10000, ACL_REVISION, ERROR_INVALID_PARAMETER},
        {36, 1, ERROR_REVISION_MISMATCH},
        {36, 5, ERROR_REVISION_MISMATCH},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " rev " << c.revision);
        std::vector<BYTE> buffer(16, 0);
        SetLastError(0);
        BOOL ok = InitializeAcl(reinterpret_cast<PACL>(buffer.data()), c.length, c.revision);
        EXPECT_EQ(ok != FALSE, c.error == 0);
        if (c.error) {
            EXPECT_EQ(GetLastError(), c.error);
        } else {
            EXPECT_EQ(buffer[0], c.revision);
            EXPECT_EQ(Word(buffer, 2), static_cast<WORD>(c.length));
            EXPECT_EQ(Word(buffer, 4), 0);
        }
    }
}

TEST(Acl, AddAceFillsTheListExactlyThenReportsItFull) {
    std::vector<BYTE> sid = Sid("S-1-5-21-1-2-3-1001");
    // Room for exactly one entry: header 8, entry 8 + SID.
    AclBuffer list(static_cast<DWORD>(sid.size() + 16));
    std::vector<BYTE> ace = Ace(ACCESS_ALLOWED_ACE_TYPE, 0, KEY_READ, sid);
    ASSERT_TRUE(AddAce(list.acl(), ACL_REVISION, MAXDWORD, ace.data(), static_cast<DWORD>(ace.size())));
    ACL_SIZE_INFORMATION info = list.Sizes();
    EXPECT_EQ(info.AceCount, 1u);
    EXPECT_EQ(info.AclBytesInUse, sid.size() + 16);
    EXPECT_EQ(info.AclBytesFree, 0u);

    std::vector<BYTE> before = list.bytes;
    SetLastError(0);
    EXPECT_FALSE(AddAce(list.acl(), ACL_REVISION, MAXDWORD, ace.data(), static_cast<DWORD>(ace.size())));
    EXPECT_EQ(GetLastError(), ERROR_ALLOTTED_SPACE_EXCEEDED);
    EXPECT_EQ(list.bytes, before);
    EXPECT_FALSE(AddAccessDeniedAce(list.acl(), ACL_REVISION, KEY_READ, sid.data()));
    EXPECT_EQ(GetLastError(), ERROR_ALLOTTED_SPACE_EXCEEDED);

    // Four bytes short of one entry: nothing fits.
    AclBuffer shortList(static_cast<DWORD>(sid.size() + 12));
    EXPECT_FALSE(AddAce(shortList.acl(), ACL_REVISION, MAXDWORD, ace.data(), static_cast<DWORD>(ace.size())));
    EXPECT_EQ(GetLastError(), ERROR_ALLOTTED_SPACE_EXCEEDED);
    EXPECT_EQ(shortList.Sizes().AceCount, 0u);
}

TEST(Acl, AddAceInsertsAtTheGivenPosition) {
    std::vector<BYTE> sid = Sid("S-1-1-0");
    struct Case {
        DWORD index;
        std::vector<DWORD> order;  // masks after inserting 9 into 1, 2, 3
    };
    const Case cases[] = {
        {0, {9, 1, 2, 3}},       {1, {1, 9, 2, 3}},       {2, {1, 2, 9, 3}},
        {3, {1, 2, 3, 9}},       {7, {1, 2, 3, 9}},       {MAXDWORD, {1, 2, 3, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        AclBuffer list(200);
        for (DWORD mask : {1u, 2u, 3u}) ASSERT_TRUE(AddAccessAllowedAce(list.acl(), ACL_REVISION, mask, sid.data()));
        std::vector<BYTE> ace = Ace(ACCESS_DENIED_ACE_TYPE, 0, 9, sid);
        ASSERT_TRUE(AddAce(list.acl(), ACL_REVISION, c.index, ace.data(), static_cast<DWORD>(ace.size())));
        ASSERT_EQ(list.Sizes().AceCount, 4u);
        for (DWORD i = 0; i < 4; ++i) EXPECT_EQ(list.MaskAt(i), c.order[i]) << i;
    }
}

TEST(Acl, AddAceTakesSeveralEntriesAndRaisesTheRevision) {
    std::vector<BYTE> a = Ace(ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE, 1, Sid("S-1-1-0"));
    std::vector<BYTE> b = Ace(ACCESS_DENIED_ACE_TYPE, 0, 2, Sid("S-1-5-32-544"));
    std::vector<BYTE> both = a;
    both.insert(both.end(), b.begin(), b.end());
    AclBuffer list(100);
    ASSERT_TRUE(AddAce(list.acl(), ACL_REVISION_DS, 0, both.data(), static_cast<DWORD>(both.size())));
    EXPECT_EQ(list.Sizes().AceCount, 2u);
    EXPECT_EQ(list.bytes[0], ACL_REVISION_DS);
    EXPECT_EQ(list.MaskAt(1), 2u);
}

TEST(Acl, AddAceRefusesMalformedEntries) {
    std::vector<BYTE> good = Ace(ACCESS_ALLOWED_ACE_TYPE, 0, 1, Sid("S-1-1-0"));
    struct Case {
        const char* name;
        std::vector<BYTE> entries;
        DWORD length;
    };
    std::vector<BYTE> oddSize = good;
    oddSize[2] = 18;
    std::vector<BYTE> zeroSize = good;
    zeroSize[2] = 0;
    std::vector<BYTE> sidPastEntry = good;
    sidPastEntry[9] = 5;  // claims five sub-authorities in a 20-byte entry
    const Case cases[] = {
        {"length cuts the entry", good, static_cast<DWORD>(good.size() - 4)},
        {"trailing partial header", good, static_cast<DWORD>(good.size())},  // made longer below
        {"size not a multiple of 4", oddSize, static_cast<DWORD>(oddSize.size())},
        {"size zero", zeroSize, static_cast<DWORD>(zeroSize.size())},
        {"SID runs past the entry", sidPastEntry, static_cast<DWORD>(sidPastEntry.size())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> entries = c.entries;
        DWORD length = c.length;
        if (std::string(c.name) == "trailing partial header") {
            entries.resize(entries.size() + 2);
            length += 2;
        }
        AclBuffer list(200);
        std::vector<BYTE> before = list.bytes;
        SetLastError(0);
        EXPECT_FALSE(AddAce(list.acl(), ACL_REVISION, MAXDWORD, entries.data(), length));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(list.bytes, before);
    }
    AclBuffer list(200);
    EXPECT_FALSE(AddAce(list.acl(), 7, MAXDWORD, good.data(), static_cast<DWORD>(good.size())));
    EXPECT_EQ(GetLastError(), ERROR_REVISION_MISMATCH);
}

TEST(Acl, DeleteAceClosesTheGapAndClearsTheFreedBytes) {
    std::vector<BYTE> sid = Sid("S-1-5-32-544");
    AclBuffer list(100);
    for (DWORD mask : {1u, 2u, 3u}) ASSERT_TRUE(AddAccessAllowedAce(list.acl(), ACL_REVISION, mask, sid.data()));
    ACL_SIZE_INFORMATION full = list.Sizes();
    ASSERT_TRUE(DeleteAce(list.acl(), 1));
    ACL_SIZE_INFORMATION after = list.Sizes();
    EXPECT_EQ(after.AceCount, 2u);
    EXPECT_EQ(after.AclBytesInUse, full.AclBytesInUse - 24);
    EXPECT_EQ(after.AclBytesFree, full.AclBytesFree + 24);
    EXPECT_EQ(list.MaskAt(0), 1u);
    EXPECT_EQ(list.MaskAt(1), 3u);
    for (DWORD i = after.AclBytesInUse; i < full.AclBytesInUse; ++i) EXPECT_EQ(list.bytes[i], 0) << i;

    SetLastError(0);
    EXPECT_FALSE(DeleteAce(list.acl(), 2));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    void* ace = nullptr;
    EXPECT_FALSE(GetAce(list.acl(), 2, &ace));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ace, nullptr);
}

TEST(Acl, InformationClassesAndBufferSizes) {
    AclBuffer list(64);
    ASSERT_TRUE(AddAccessAllowedAceEx(list.acl(), ACL_REVISION, CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS,
                                      Sid("S-1-1-0").data()));
    ACL_SIZE_INFORMATION info = list.Sizes();
    EXPECT_EQ(info.AceCount, 1u);
    EXPECT_EQ(info.AclBytesInUse, 28u);
    EXPECT_EQ(info.AclBytesFree, 36u);
    ACL_SIZE_INFORMATION small{};
    EXPECT_FALSE(GetAclInformation(list.acl(), &small, 11, AclSizeInformation));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ACL_REVISION_INFORMATION revision{};
    EXPECT_TRUE(GetAclInformation(list.acl(), &revision, sizeof revision, AclRevisionInformation));
    EXPECT_EQ(revision.AclRevision, ACL_REVISION);
    EXPECT_FALSE(GetAclInformation(list.acl(), &info, sizeof info, static_cast<ACL_INFORMATION_CLASS>(9)));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Acl, AddHelpersWriteTheDocumentedEntries) {
    std::vector<BYTE> sid = Sid("S-1-1-0");
    AclBuffer list(100);
    ASSERT_TRUE(AddAuditAccessAceEx(list.acl(), ACL_REVISION, OBJECT_INHERIT_ACE, 0x10, sid.data(), TRUE, FALSE));
    const std::vector<BYTE> expected = {SYSTEM_AUDIT_ACE_TYPE, OBJECT_INHERIT_ACE | SUCCESSFUL_ACCESS_ACE_FLAG, 20, 0,
                                        0x10, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<BYTE>(list.bytes.begin() + 8, list.bytes.begin() + 28), expected);
    EXPECT_FALSE(AddAccessAllowedAceEx(list.acl(), ACL_REVISION, 0x40, 1, sid.data()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    std::vector<BYTE> bad = sid;
    bad[0] = 3;
    EXPECT_FALSE(AddAccessAllowedAce(list.acl(), ACL_REVISION, 1, bad.data()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
}

TEST(Acl, ListsThatLieAboutTheirSizesAreRefused) {
    AclBuffer source(100);
    ASSERT_TRUE(AddAccessAllowedAce(source.acl(), ACL_REVISION, 1, Sid("S-1-1-0").data()));
    ASSERT_TRUE(AddAccessDeniedAce(source.acl(), ACL_REVISION, 2, Sid("S-1-5-32-544").data()));
    const std::vector<BYTE> good = source.bytes;
    struct Case {
        const char* name;
        std::size_t at;  // byte to change
        BYTE value;
    };
    const Case cases[] = {
        {"revision 1", 0, 1},
        {"revision 5", 0, 5},
        {"AclSize below the header", 2, 4},
        {"AclSize past the buffer", 3, 1},
        {"count past the entries", 4, 9},
        {"entry size zero", 10, 0},
        {"entry size not a multiple of 4", 10, 22},
        {"entry runs past AclSize", 10, 0xFC},
        {"SID count past the entry", 17, 9},
        {"second entry's SID revision", 36, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> bytes = good;
        bytes[c.at] = c.value;
        EXPECT_FALSE(platform::IsValidAclBytes(bytes.data(), bytes.size()));
        SetLastError(0);
        if (c.at == 3) continue;  // the bare-pointer calls trust AclSize by contract
        EXPECT_FALSE(IsValidAcl(reinterpret_cast<PACL>(bytes.data())));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_ACL);
    }
    EXPECT_TRUE(platform::IsValidAclBytes(good.data(), good.size()));
    EXPECT_FALSE(platform::IsValidAclBytes(good.data(), 99));  // AclSize says 100
    EXPECT_FALSE(platform::IsValidAclBytes(good.data(), 7));
}

TEST(Acl, EntrySizesMustKeepEntriesOnFourByteBoundaries) {
    // The last entry of the list grows by two bytes that the list still
    // holds: only the alignment rule of the format refuses it.
    AclBuffer list(100);
    ASSERT_TRUE(AddAccessAllowedAce(list.acl(), ACL_REVISION, 1, Sid("S-1-1-0").data()));
    list.bytes[10] = 22;
    EXPECT_FALSE(platform::IsValidAclBytes(list.bytes.data(), list.bytes.size()));
    void* ace = nullptr;
    EXPECT_FALSE(GetAce(list.acl(), 0, &ace));
    list.bytes[10] = 24;
    EXPECT_TRUE(platform::IsValidAclBytes(list.bytes.data(), list.bytes.size()));
}

TEST(Acl, ListCallsRefuseAListWithALyingCount) {
    AclBuffer list(40);
    ASSERT_TRUE(AddAccessAllowedAce(list.acl(), ACL_REVISION, 1, Sid("S-1-1-0").data()));
    list.bytes[4] = 3;  // three entries claimed, one present, the rest is 0xEE
    void* ace = nullptr;
    ACL_SIZE_INFORMATION info{};
    std::vector<BYTE> entry = Ace(ACCESS_ALLOWED_ACE_TYPE, 0, 1, Sid("S-1-1-0"));
    EXPECT_FALSE(GetAce(list.acl(), 0, &ace));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_ACL);
    EXPECT_FALSE(GetAclInformation(list.acl(), &info, sizeof info, AclSizeInformation));
    EXPECT_FALSE(DeleteAce(list.acl(), 0));
    EXPECT_FALSE(AddAce(list.acl(), ACL_REVISION, MAXDWORD, entry.data(), static_cast<DWORD>(entry.size())));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_ACL);
}
