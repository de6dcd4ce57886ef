// Security descriptors: the exact self-relative bytes of a few descriptors
// worked out by hand from the format documentation, conversion between the
// two forms, the size query of MakeAbsoluteSD, the setters' refusal of the
// self-relative form, and rejection of malformed or truncated bytes.
#include <gtest/gtest.h>

#include <vector>

#include "helpers.h"
#include "platform/security.h"
#include "security/descriptor.h"
#include "security/sddl.h"

using testutil::Dword;
using testutil::PutDword;
using testutil::PutWord;
using testutil::Sd;
using testutil::Sid;
using testutil::Text;

namespace {

// The five buffers MakeAbsoluteSD fills, sized by its own query.
struct Absolute {
    std::vector<BYTE> sd, dacl, sacl, owner, group;  // the absolute descriptor and its parts

    // Converts bytes; returns the error of the real conversion (0 = ok).
    DWORD From(std::vector<BYTE>& relative) {
        DWORD sizes[5] = {0, 0, 0, 0, 0};
        SetLastError(0);
        EXPECT_FALSE(MakeAbsoluteSD(relative.data(), nullptr, &sizes[0], nullptr, &sizes[1], nullptr, &sizes[2],
                                    nullptr, &sizes[3], nullptr, &sizes[4]));
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return GetLastError();
        sd.assign(sizes[0], 0);
        dacl.assign(sizes[1], 0);
        sacl.assign(sizes[2], 0);
        owner.assign(sizes[3], 0);
        group.assign(sizes[4], 0);
        if (!MakeAbsoluteSD(relative.data(), sd.data(), &sizes[0], reinterpret_cast<PACL>(dacl.data()), &sizes[1],
                            reinterpret_cast<PACL>(sacl.data()), &sizes[2], owner.data(), &sizes[3], group.data(),
                            &sizes[4]))
            return GetLastError();
        return 0;
    }
    PSECURITY_DESCRIPTOR get() { return sd.data(); }
};

}  // namespace

TEST(Descriptor, SelfRelativeBytesMatchHandComputedLayouts) {
    struct Case {
        const char* text;
        std::vector<BYTE> bytes;
    };
    const Case cases[] = {
        // Header, owner BA at 0x14, group SY at 0x24, DACL at 0x30 holding
        // one allowed entry of KEY_ALL_ACCESS for Everyone.
        {"O:BAG:SYD:(A;;KA;;;WD)",
         {0x01, 0x00, 0x04, 0x80, 0x14, 0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
          0x30, 0x00, 0x00, 0x00,
          0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x20, 0x00, 0x00, 0x00, 0x20, 0x02, 0x00, 0x00,
          0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x12, 0x00, 0x00, 0x00,
          0x02, 0x00, 0x1C, 0x00, 0x01, 0x00, 0x00, 0x00,
          0x00, 0x00, 0x14, 0x00, 0x3F, 0x00, 0x0F, 0x00,
          0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
        // A protected NULL DACL: present bit, no offset.
        {"D:PNO_ACCESS_CONTROL",
         {0x01, 0x00, 0x04, 0x90, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // An owner with a 48-bit authority and an auto-inherited SACL with
        // one success-and-failure audit entry for ACCESS_SYSTEM_SECURITY.
        {"O:S-1-0x123456789ABC-7S:AI(AU;SAFA;0x1000000;;;WD)",
         {0x01, 0x00, 0x10, 0x88, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00,
          0x00, 0x00, 0x00, 0x00,
          0x01, 0x01, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x07, 0x00, 0x00, 0x00,
          0x02, 0x00, 0x1C, 0x00, 0x01, 0x00, 0x00, 0x00,
          0x02, 0xC0, 0x14, 0x00, 0x00, 0x00, 0x00, 0x01,
          0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
        // An empty DACL: present, eight bytes of header and nothing else.
        {"D:", {0x01, 0x00, 0x04, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x14, 0, 0, 0,
                0x02, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<BYTE> bytes = Sd(c.text);
        EXPECT_EQ(bytes, c.bytes);
        EXPECT_TRUE(platform::IsValidSelfRelative(c.bytes.data(), c.bytes.size()));
        std::vector<BYTE> copy = c.bytes;
        EXPECT_EQ(GetSecurityDescriptorLength(copy.data()), c.bytes.size());
        EXPECT_EQ(Text(c.bytes), c.text);
    }
}

TEST(Descriptor, RoundTripsThroughTheAbsoluteForm) {
    const char* texts[] = {
        "O:BAG:SYD:PAI(A;OICI;KA;;;BA)(D;;KW;;;S-1-5-21-9-9-9-1001)(A;CIIO;GR;;;CO)S:(AU;FA;KA;;;WD)",
        "O:DAG:DUD:NO_ACCESS_CONTROL",
        "D:",
        "G:LA",
        "",
        "S:NO_ACCESS_CONTROL",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        std::vector<BYTE> relative = Sd(text);
        Absolute abs;
        ASSERT_EQ(abs.From(relative), 0u);
        EXPECT_EQ(abs.sd.size(), SECURITY_DESCRIPTOR_MIN_LENGTH);
        EXPECT_TRUE(IsValidSecurityDescriptor(abs.get()));

        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE(GetSecurityDescriptorControl(abs.get(), &control, &revision));
        EXPECT_EQ(control & SE_SELF_RELATIVE, 0);
        EXPECT_EQ(revision, SECURITY_DESCRIPTOR_REVISION);

        DWORD length = 0;
        EXPECT_FALSE(MakeSelfRelativeSD(abs.get(), nullptr, &length));
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(length, relative.size());
        std::vector<BYTE> back(length);
        ASSERT_TRUE(MakeSelfRelativeSD(abs.get(), back.data(), &length));
        EXPECT_EQ(back, relative);

        std::vector<BYTE> viaCopy;
        ASSERT_TRUE(platform::ToSelfRelative(abs.get(), viaCopy));
        EXPECT_EQ(viaCopy, relative);
        std::string printed;
        ASSERT_TRUE(platform::SecurityDescriptorToSddl(abs.get(), 0, 0xF, testutil::Context(), printed));
        EXPECT_EQ(printed, text);
    }
}

TEST(Descriptor, MakeAbsoluteReportsEveryNeededSizeWhenAnyIsShort) {
    std::vector<BYTE> relative = Sd("O:BAG:SYD:(A;;KA;;;WD)S:(AU;SA;KA;;;WD)");
    const DWORD need[5] = {SECURITY_DESCRIPTOR_MIN_LENGTH, 28, 28, 16, 12};
    for (int shortOne = 0; shortOne < 5; ++shortOne) {
        SCOPED_TRACE(shortOne);
        DWORD sizes[5];
        for (int i = 0; i < 5; ++i) sizes[i] = need[i] + 8;
        sizes[shortOne] = need[shortOne] - 1;
        std::vector<BYTE> sd(64, 0xEE), dacl(64, 0xEE), sacl(64, 0xEE), owner(64, 0xEE), group(64, 0xEE);
        SetLastError(0);
        EXPECT_FALSE(MakeAbsoluteSD(relative.data(), sd.data(), &sizes[0], reinterpret_cast<PACL>(dacl.data()),
                                    &sizes[1], reinterpret_cast<PACL>(sacl.data()), &sizes[2], owner.data(),
                                    &sizes[3], group.data(), &sizes[4]));
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(sizes[i], need[i]) << i;
        for (const auto* buffer : {&sd, &dacl, &sacl, &owner, &group})
            EXPECT_EQ(*buffer, std::vector<BYTE>(64, 0xEE));
    }
}

TEST(Descriptor, AbsoluteInputIsNamedAsSuchBeforeAnySizeIsLookedAt) {
    std::vector<BYTE> relative = Sd("O:BAD:(A;;KA;;;WD)");
    Absolute abs;
    ASSERT_EQ(abs.From(relative), 0u);
    DWORD sizes[5] = {0, 0, 0, 0, 0};
    SetLastError(0);
    EXPECT_FALSE(MakeAbsoluteSD(abs.get(), nullptr, &sizes[0], nullptr, &sizes[1], nullptr, &sizes[2], nullptr,
                                &sizes[3], nullptr, &sizes[4]));
    EXPECT_EQ(GetLastError(), ERROR_BAD_DESCRIPTOR_FORMAT);
    for (DWORD size : sizes) EXPECT_EQ(size, 0u);

    std::vector<BYTE> fresh(SECURITY_DESCRIPTOR_MIN_LENGTH);
    ASSERT_TRUE(InitializeSecurityDescriptor(fresh.data(), SECURITY_DESCRIPTOR_REVISION));
    EXPECT_FALSE(MakeAbsoluteSD(fresh.data(), nullptr, &sizes[0], nullptr, &sizes[1], nullptr, &sizes[2], nullptr,
                                &sizes[3], nullptr, &sizes[4]));
    EXPECT_EQ(GetLastError(), ERROR_BAD_DESCRIPTOR_FORMAT);

    DWORD length = 200;
    std::vector<BYTE> out(200);
    EXPECT_FALSE(MakeSelfRelativeSD(relative.data(), out.data(), &length));
    EXPECT_EQ(GetLastError(), ERROR_BAD_DESCRIPTOR_FORMAT);
}

TEST(Descriptor, SettersEditTheAbsoluteFormAndRefuseTheSelfRelativeOne) {
    std::vector<BYTE> owner = Sid("S-1-5-32-544");
    std::vector<BYTE> sd(SECURITY_DESCRIPTOR_MIN_LENGTH, 0xEE);
    ASSERT_TRUE(InitializeSecurityDescriptor(sd.data(), SECURITY_DESCRIPTOR_REVISION));
    EXPECT_EQ(GetSecurityDescriptorLength(sd.data()), SECURITY_DESCRIPTOR_MIN_LENGTH);
    ASSERT_TRUE(SetSecurityDescriptorOwner(sd.data(), owner.data(), FALSE));
    EXPECT_EQ(GetSecurityDescriptorLength(sd.data()), SECURITY_DESCRIPTOR_MIN_LENGTH + owner.size());

    std::vector<BYTE> acl(64);
    ASSERT_TRUE(InitializeAcl(reinterpret_cast<PACL>(acl.data()), 64, ACL_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(sd.data(), TRUE, reinterpret_cast<PACL>(acl.data()), TRUE));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(sd.data(), &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_TRUE(defaulted);
    EXPECT_EQ(reinterpret_cast<BYTE*>(dacl), acl.data());
    std::string printed;
    ASSERT_TRUE(platform::SecurityDescriptorToSddl(sd.data(), 0, 0xF, testutil::Context(), printed));
    EXPECT_EQ(printed, "O:BAD:");

    ASSERT_TRUE(SetSecurityDescriptorDacl(sd.data(), FALSE, nullptr, FALSE));
    ASSERT_TRUE(GetSecurityDescriptorDacl(sd.data(), &present, &dacl, &defaulted));
    EXPECT_FALSE(present);
    EXPECT_EQ(dacl, nullptr);

    std::vector<BYTE> relative = Sd("O:SYD:(A;;KA;;;WD)");
    const std::vector<BYTE> before = relative;
    struct Setter {
        const char* name;
        BOOL (*call)(PSECURITY_DESCRIPTOR, void*);
    };
    const Setter setters[] = {
        {"owner", [](PSECURITY_DESCRIPTOR s, void* p) { return SetSecurityDescriptorOwner(s, p, FALSE); }},
        {"group", [](PSECURITY_DESCRIPTOR s, void* p) { return SetSecurityDescriptorGroup(s, p, FALSE); }},
        {"dacl", [](PSECURITY_DESCRIPTOR s, void*) { return SetSecurityDescriptorDacl(s, TRUE, nullptr, FALSE); }},
        {"sacl", [](PSECURITY_DESCRIPTOR s, void*) { return SetSecurityDescriptorSacl(s, TRUE, nullptr, FALSE); }},
    };
    for (const Setter& setter : setters) {
        SCOPED_TRACE(setter.name);
        SetLastError(0);
        EXPECT_FALSE(setter.call(relative.data(), owner.data()));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
        EXPECT_EQ(relative, before);
    }
    EXPECT_FALSE(InitializeSecurityDescriptor(sd.data(), 2));
    EXPECT_EQ(GetLastError(), ERROR_UNKNOWN_REVISION);
}

TEST(Descriptor, GettersReadTheSelfRelativeFormInPlace) {
    std::vector<BYTE> relative = Sd("O:BAG:SYD:(A;;KA;;;WD)");
    PSID owner = nullptr, group = nullptr;
    BOOL defaulted = TRUE, present = FALSE;
    PACL dacl = nullptr, sacl = reinterpret_cast<PACL>(1);
    ASSERT_TRUE(GetSecurityDescriptorOwner(relative.data(), &owner, &defaulted));
    EXPECT_EQ(static_cast<BYTE*>(owner), relative.data() + 0x14);
    EXPECT_FALSE(defaulted);
    ASSERT_TRUE(GetSecurityDescriptorGroup(relative.data(), &group, &defaulted));
    EXPECT_TRUE(EqualSid(group, Sid("S-1-5-18").data()));
    ASSERT_TRUE(GetSecurityDescriptorDacl(relative.data(), &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_EQ(reinterpret_cast<BYTE*>(dacl), relative.data() + 0x30);
    ASSERT_TRUE(GetSecurityDescriptorSacl(relative.data(), &present, &sacl, &defaulted));
    EXPECT_FALSE(present);
    EXPECT_EQ(sacl, nullptr);
}

TEST(Descriptor, ControlBitsOutsideTheInheritanceOnesCannotBeSet) {
    std::vector<BYTE> relative = Sd("D:(A;;KA;;;WD)");
    EXPECT_TRUE(SetSecurityDescriptorControl(relative.data(), SE_DACL_PROTECTED, SE_DACL_PROTECTED));
    EXPECT_EQ(Text(relative), "D:P(A;;KA;;;WD)");
    EXPECT_FALSE(SetSecurityDescriptorControl(relative.data(), SE_DACL_PRESENT, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(SetSecurityDescriptorControl(relative.data(), SE_SELF_RELATIVE, 0));
    EXPECT_EQ(Text(relative), "D:P(A;;KA;;;WD)");
}

TEST(Descriptor, LengthOfASelfRelativeDescriptorCoversPartsLaidOutWithGaps) {
    // Owner after the DACL, with a gap in between: a length counting only
    // the parts' sizes would cut the owner off.
    std::vector<BYTE> dacl = Sd("D:(A;;KA;;;WD)");
    std::vector<BYTE> list(dacl.begin() + 20, dacl.end());
    std::vector<BYTE> owner = Sid("S-1-5-32-544");
    std::vector<BYTE> bytes(128, 0);
    bytes[0] = 1;
    PutWord(bytes, 2, SE_SELF_RELATIVE | SE_DACL_PRESENT);
    PutDword(bytes, 16, 24);
    std::copy(list.begin(), list.end(), bytes.begin() + 24);
    PutDword(bytes, 4, 100);
    std::copy(owner.begin(), owner.end(), bytes.begin() + 100);
    ASSERT_TRUE(platform::IsValidSelfRelative(bytes.data(), bytes.size()));
    EXPECT_EQ(GetSecurityDescriptorLength(bytes.data()), 116u);
    EXPECT_FALSE(platform::IsValidSelfRelative(bytes.data(), 115));
    std::vector<BYTE> compact;
    ASSERT_TRUE(platform::ToSelfRelative(bytes.data(), compact));
    EXPECT_EQ(compact, Sd("O:BAD:(A;;KA;;;WD)"));
}

TEST(Descriptor, MalformedSelfRelativeBytesAreRefused) {
    const std::vector<BYTE> good = Sd("O:BAG:SYD:(A;;KA;;;WD)S:(AU;SA;KA;;;WD)");
    ASSERT_TRUE(platform::IsValidSelfRelative(good.data(), good.size()));
    // Offsets in good: owner 0x14, group 0x24, SACL 0x30, DACL 0x4C.
    ASSERT_EQ(Dword(good, 12), 0x30u);
    ASSERT_EQ(Dword(good, 16), 0x4Cu);
    struct Case {
        const char* name;
        std::size_t at;   // first byte to change
        DWORD value;      // new little-endian value
        int width;        // bytes written: 1, 2 or 4
    };
    const Case cases[] = {
        {"revision 0", 0, 0, 1},
        {"revision 2", 0, 2, 1},
        {"not self-relative", 2, SE_DACL_PRESENT | SE_SACL_PRESENT, 2},
        {"owner offset past the end", 4, 0x1000, 4},
        {"owner offset at the last byte", 4, static_cast<DWORD>(good.size() - 1), 4},
        {"owner offset inside the header", 4, 4, 4},
        {"owner offset wraps", 4, 0xFFFFFFF0u, 4},
        {"group SID revision", 0x24, 3, 1},
        {"group offset leaves no room for a SID header", 8, static_cast<DWORD>(good.size() - 7), 4},
        {"SACL revision", 0x30, 9, 1},
        {"SACL size past the buffer", 0x32, 0x7FFF, 2},
        {"SACL count past its entries", 0x34, 2, 2},
        {"DACL offset past the end", 16, static_cast<DWORD>(good.size()), 4},
        {"DACL entry size zero", 0x4C + 10, 0, 2},
        {"DACL entry SID count too large", 0x4C + 17, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> bytes = good;
        for (int i = 0; i < c.width; ++i) bytes[c.at + i] = static_cast<BYTE>(c.value >> (8 * i));
        EXPECT_FALSE(platform::IsValidSelfRelative(bytes.data(), bytes.size()));
        std::string text;
        EXPECT_FALSE(platform::SecurityDescriptorToSddl(bytes.data(), bytes.size(), 0xF, testutil::Context(), text));
    }
}

TEST(Descriptor, PartsMayNotOverlapTheHeader) {
    // A DACL offset of 14 makes header bytes 14..21 read as a well-formed
    // empty list of 14 bytes (the unused SACL offset supplies its revision):
    // only the rule that parts follow the header refuses it.
    std::vector<BYTE> bytes(28, 0);
    bytes[0] = 1;
    PutWord(bytes, 2, SE_SELF_RELATIVE | SE_DACL_PRESENT);
    PutDword(bytes, 12, 0x00020000);
    PutDword(bytes, 16, 14);
    EXPECT_FALSE(platform::IsValidSelfRelative(bytes.data(), bytes.size()));
    PutDword(bytes, 16, 20);
    PutDword(bytes, 20, 0x00080002);
    EXPECT_TRUE(platform::IsValidSelfRelative(bytes.data(), bytes.size()));
}

TEST(Descriptor, EveryTruncationIsRefusedAndExtraBytesAreNot) {
    const std::vector<BYTE> good = Sd("O:BAG:SYD:(A;;KA;;;WD)S:(AU;SA;KA;;;WD)");
    for (std::size_t length = 0; length < good.size(); ++length) {
        SCOPED_TRACE(length);
        // A copy of exactly `length` bytes, so the sanitizer sees any read past it.
        std::vector<BYTE> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(platform::IsValidSelfRelative(cut.data(), cut.size()));
    }
    std::vector<BYTE> longer = good;
    longer.resize(good.size() + 13, 0x5A);
    EXPECT_TRUE(platform::IsValidSelfRelative(longer.data(), longer.size()));
    EXPECT_FALSE(platform::IsValidSelfRelative(nullptr, 20));
}

TEST(Descriptor, PresentBitsDecideWhetherListOffsetsCount) {
    // A DACL offset with the present bit clear names no list, even a bad one.
    std::vector<BYTE> bytes = Sd("O:BA");
    PutDword(bytes, 16, 0xFFFF);
    EXPECT_TRUE(platform::IsValidSelfRelative(bytes.data(), bytes.size()));
    BOOL present = TRUE, defaulted = TRUE;
    PACL dacl = reinterpret_cast<PACL>(1);
    ASSERT_TRUE(GetSecurityDescriptorDacl(bytes.data(), &present, &dacl, &defaulted));
    EXPECT_FALSE(present);
    EXPECT_EQ(dacl, nullptr);
    EXPECT_EQ(Text(bytes), "O:BA");
}

TEST(Descriptor, AbsoluteDescriptorsWithBrokenPartsAreRefused) {
    std::vector<BYTE> badSid = Sid("S-1-5-32-544");
    badSid[1] = 40;  // more sub-authorities than a SID may have
    std::vector<BYTE> badAcl(16, 0);
    badAcl[0] = ACL_REVISION;
    badAcl[2] = 16;
    badAcl[4] = 1;  // one entry claimed, none there
    struct Case {
        const char* name;
        void* owner;
        void* dacl;
    };
    const Case cases[] = {
        {"owner SID", badSid.data(), nullptr},
        {"DACL", nullptr, badAcl.data()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SECURITY_DESCRIPTOR abs{};
        abs.Revision = SECURITY_DESCRIPTOR_REVISION;
        abs.Owner = c.owner;
        abs.Dacl = static_cast<PACL>(c.dacl);
        if (c.dacl) abs.Control = SE_DACL_PRESENT;
        SetLastError(0);
        EXPECT_FALSE(IsValidSecurityDescriptor(&abs));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
        DWORD length = 0;
        EXPECT_FALSE(MakeSelfRelativeSD(&abs, nullptr, &length));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
        EXPECT_EQ(length, 0u);
        std::vector<BYTE> out{1};
        EXPECT_FALSE(platform::ToSelfRelative(&abs, out));
        EXPECT_EQ(out, std::vector<BYTE>{1});
    }
}
