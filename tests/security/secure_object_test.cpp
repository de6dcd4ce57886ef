// SecureObject on descriptors built with the platform's pure calls: the
// absolute conversion, entry reading, appending and growing, canonical
// order (including entries it cannot interpret) and the owner.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "common/security/secure_object.h"
#include "platform/security.h"

namespace {

using Bytes = std::vector<BYTE>;

// S-1-5-21-...-rid style identifiers, one per test account.
Bytes MakeSid(std::initializer_list<DWORD> subAuthorities) {
    Bytes sid(8 + 4 * subAuthorities.size());
    sid[0] = SID_REVISION;
    sid[1] = static_cast<BYTE>(subAuthorities.size());
    sid[7] = 5;
    size_t offset = 8;
    for (DWORD part : subAuthorities) {
        std::memcpy(sid.data() + offset, &part, 4);
        offset += 4;
    }
    return sid;
}

const Bytes kAlice = MakeSid({21, 100, 200, 300, 1001});
const Bytes kBob = MakeSid({21, 100, 200, 300, 1002});
const Bytes kCarol = MakeSid({21, 100, 200, 300, 1003});
const Bytes kDave = MakeSid({21, 100, 200, 300, 1004});
const Bytes kEve = MakeSid({21, 100, 200, 300, 1005});
const Bytes kSystem = MakeSid({18});

PSID P(const Bytes& sid) { return const_cast<BYTE*>(sid.data()); }

// One entry of a list as the test describes it.
struct AceSpec {
    BYTE type;
    BYTE flags;
    DWORD mask;
    const Bytes* sid;
};

// A raw entry of a kind SecureObject does not interpret: header, mask and
// a payload whose contents do not matter.
Bytes RawAce(BYTE type, BYTE flags, WORD size) {
    Bytes ace(size, 0xA5);
    ace[0] = type;
    ace[1] = flags;
    std::memcpy(ace.data() + 2, &size, 2);
    return ace;
}

Bytes AceBytes(const AceSpec& spec) {
    const DWORD sidLength = static_cast<DWORD>(spec.sid->size());
    Bytes ace(8 + sidLength);
    ace[0] = spec.type;
    ace[1] = spec.flags;
    const WORD size = static_cast<WORD>(ace.size());
    std::memcpy(ace.data() + 2, &size, 2);
    std::memcpy(ace.data() + 4, &spec.mask, 4);
    std::memcpy(ace.data() + 8, spec.sid->data(), sidLength);
    return ace;
}

Bytes BuildAcl(const std::vector<Bytes>& aces) {
    DWORD size = 8;
    for (const Bytes& ace : aces) size += static_cast<DWORD>(ace.size());
    Bytes acl(size);
    EXPECT_TRUE(InitializeAcl(reinterpret_cast<PACL>(acl.data()), size, ACL_REVISION));
    for (const Bytes& ace : aces)
        EXPECT_TRUE(AddAce(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, MAXDWORD,
                           const_cast<BYTE*>(ace.data()), static_cast<DWORD>(ace.size())));
    return acl;
}

// A self-relative descriptor in a heap block, the way loaders hand
// descriptors to a slot.
BYTE* SelfRelative(const Bytes* owner, const Bytes* dacl, const Bytes* sacl) {
    BYTE absolute[SECURITY_DESCRIPTOR_MIN_LENGTH];
    EXPECT_TRUE(InitializeSecurityDescriptor(absolute, SECURITY_DESCRIPTOR_REVISION));
    if (owner) {
        EXPECT_TRUE(SetSecurityDescriptorOwner(absolute, P(*owner), FALSE));
    }
    if (dacl) {
        EXPECT_TRUE(SetSecurityDescriptorDacl(absolute, TRUE,
                                              reinterpret_cast<PACL>(const_cast<BYTE*>(dacl->data())), FALSE));
    }
    if (sacl) {
        EXPECT_TRUE(SetSecurityDescriptorSacl(absolute, TRUE,
                                              reinterpret_cast<PACL>(const_cast<BYTE*>(sacl->data())), FALSE));
    }
    DWORD length = 0;
    MakeSelfRelativeSD(absolute, nullptr, &length);
    BYTE* block = static_cast<BYTE*>(std::malloc(length));
    EXPECT_TRUE(MakeSelfRelativeSD(absolute, block, &length));
    return block;
}

std::vector<Bytes> AcesOf(const std::vector<AceSpec>& specs) {
    std::vector<Bytes> aces;
    for (const AceSpec& spec : specs) aces.push_back(AceBytes(spec));
    return aces;
}

class SecureObjectTest : public ::testing::Test {
protected:
    // Loads a DACL of the given entries into DaclSlot and an owner into
    // OwnerSlot, as a registry load would.
    void LoadDacl(const std::vector<Bytes>& aces) {
        Bytes dacl = BuildAcl(aces);
        object.DaclSlot.descriptor = SelfRelative(nullptr, &dacl, nullptr);
        object.OwnerSlot.descriptor = SelfRelative(&kSystem, nullptr, nullptr);
        ASSERT_TRUE(object.MakeAbsolute());
    }

    // The kinds and first SID bytes of the DACL, entry by entry.
    std::vector<Bytes> DaclAces() {
        std::vector<Bytes> out;
        for (DWORD i = 0; i < object.DaclEntryCount(); ++i) {
            void* ace = nullptr;
            EXPECT_TRUE(GetAce(object.Dacl(), i, &ace));
            const BYTE* p = static_cast<const BYTE*>(ace);
            out.emplace_back(p, p + static_cast<const ACE_HEADER*>(ace)->AceSize);
        }
        return out;
    }

    SecureObject object;
};

TEST_F(SecureObjectTest, NewObjectHasNothingLoaded) {
    EXPECT_EQ(object.DaclEntryCount(), 0u);
    EXPECT_EQ(object.SaclEntryCount(), 0u);
    EXPECT_FALSE(object.GetOwner().IsValid());
    EXPECT_FALSE(object.ClearDacl());
    EXPECT_FALSE(object.DeleteDaclEntry(0));
    EXPECT_TRUE(object.MakeAbsolute());
    Account alice;
    ASSERT_TRUE(alice.SetSid(P(kAlice), nullptr));
    EXPECT_FALSE(object.AddDaclEntry(alice)) << "a slot that was never loaded gets no list";
    EXPECT_EQ(object.DaclSlot.descriptor, nullptr);
}

TEST_F(SecureObjectTest, ReadsEntriesOwnerAndAuditListAfterConversion) {
    Bytes dacl = BuildAcl(AcesOf({{0, 0x03, 0x000F003F, &kAlice}, {1, 0x00, 0x00010000, &kBob}}));
    Bytes sacl = BuildAcl(AcesOf({{2, 0xC0, 0x00020019, &kCarol}}));
    object.OwnerSlot.descriptor = SelfRelative(&kDave, nullptr, nullptr);
    object.DaclSlot.descriptor = SelfRelative(nullptr, &dacl, nullptr);
    object.SaclSlot.descriptor = SelfRelative(nullptr, nullptr, &sacl);
    object.ServerName = "FILESRV";
    ASSERT_TRUE(object.MakeAbsolute());

    struct Expected {
        DWORD index;
        BYTE type, flags;
        DWORD mask;
        const Bytes* sid;
    };
    const Expected dacls[] = {{0, 0, 0x03, 0x000F003F, &kAlice}, {1, 1, 0x00, 0x00010000, &kBob}};
    ASSERT_EQ(object.DaclEntryCount(), 2u);
    for (const Expected& e : dacls) {
        SCOPED_TRACE(e.index);
        Account entry = object.GetDaclEntry(e.index);
        EXPECT_EQ(entry.AceType, e.type);
        EXPECT_EQ(entry.AceFlags, e.flags);
        EXPECT_EQ(entry.Mask, e.mask);
        ASSERT_TRUE(entry.IsValid());
        EXPECT_TRUE(EqualSid(entry.Sid(), P(*e.sid)));
        EXPECT_STREQ(entry.Server(), "FILESRV");
    }
    ASSERT_EQ(object.SaclEntryCount(), 1u);
    Account audit = object.GetSaclEntry(0);
    EXPECT_EQ(audit.AceType, 2);
    EXPECT_EQ(audit.AceFlags, 0xC0);
    EXPECT_STREQ(audit.RegistryEntryText().Text(), "(Read-SF-)");

    Account owner = object.GetOwner();
    ASSERT_TRUE(owner.IsValid());
    EXPECT_TRUE(EqualSid(owner.Sid(), P(kDave)));
    EXPECT_EQ(owner.Mask, 0u);

    object.ServerName = "";
    EXPECT_EQ(object.GetDaclEntry(0).Server(), nullptr) << "empty server means the local machine";
}

TEST_F(SecureObjectTest, OutOfRangeEntriesComeBackEmpty) {
    LoadDacl(AcesOf({{0, 0, 1, &kAlice}}));
    for (DWORD index : {1u, 2u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(index);
        Account entry = object.GetDaclEntry(index);
        EXPECT_FALSE(entry.IsValid());
        EXPECT_EQ(entry.AceType, 0);
        EXPECT_EQ(entry.Mask, 0u);
        EXPECT_FALSE(object.DeleteDaclEntry(index));
    }
    EXPECT_EQ(object.DaclEntryCount(), 1u);
    EXPECT_FALSE(object.GetSaclEntry(0).IsValid()) << "no SACL loaded";
}

TEST_F(SecureObjectTest, AlreadyAbsoluteDescriptorIsKept) {
    BYTE* absolute = static_cast<BYTE*>(std::malloc(SECURITY_DESCRIPTOR_MIN_LENGTH));
    ASSERT_TRUE(InitializeSecurityDescriptor(absolute, SECURITY_DESCRIPTOR_REVISION));
    object.DaclSlot.descriptor = absolute;
    EXPECT_TRUE(object.MakeAbsolute());
    EXPECT_EQ(object.DaclSlot.descriptor, absolute);
    EXPECT_EQ(object.DaclSlot.LastError, 0u);
}

TEST_F(SecureObjectTest, FailedConversionUnloadsOnlyThatSlot) {
    Bytes dacl = BuildAcl(AcesOf({{0, 0, 1, &kAlice}}));
    object.DaclSlot.descriptor = SelfRelative(nullptr, &dacl, nullptr);
    // A self-relative header of a revision no reader knows.
    BYTE* broken = static_cast<BYTE*>(std::calloc(1, 20));
    broken[0] = 7;
    const WORD control = SE_SELF_RELATIVE;
    std::memcpy(broken + 2, &control, 2);
    object.OwnerSlot.descriptor = broken;

    EXPECT_FALSE(object.MakeAbsolute());
    EXPECT_EQ(object.OwnerSlot.descriptor, nullptr);
    EXPECT_NE(object.OwnerSlot.LastError, 0u);
    EXPECT_FALSE(object.GetOwner().IsValid());
    EXPECT_EQ(object.DaclEntryCount(), 1u) << "the other slots are still converted";
    EXPECT_EQ(object.DaclSlot.LastError, 0u);
}

TEST_F(SecureObjectTest, CanonicalOrderPutsDeniedFirstAndDropsEmptyMasks) {
    LoadDacl(AcesOf({{0, 0, 0x1, &kAlice},
                     {1, 0, 0x2, &kBob},
                     {0, 0x02, 0x4, &kCarol},
                     {1, 0x01, 0x8, &kDave},
                     {0, 0, 0x0, &kEve}}));
    object.CanonicalizeDacl();
    const std::vector<Bytes> expected =
        AcesOf({{1, 0, 0x2, &kBob}, {1, 0x01, 0x8, &kDave}, {0, 0, 0x1, &kAlice}, {0, 0x02, 0x4, &kCarol}});
    EXPECT_EQ(DaclAces(), expected);
}

TEST_F(SecureObjectTest, CanonicalOrderKeepsEntriesItCannotInterpret) {
    const Bytes deniedObject = RawAce(6, 0x02, 16);  // a deny kind
    const Bytes label = RawAce(0x11, 0x00, 16);      // some other kind
    LoadDacl({AceBytes({0, 0, 0x1, &kAlice}), label, AceBytes({1, 0, 0x2, &kBob}), deniedObject,
              AceBytes({0, 0, 0x0, &kEve})});
    object.CanonicalizeDacl();
    const std::vector<Bytes> expected = {AceBytes({1, 0, 0x2, &kBob}), deniedObject,
                                         AceBytes({0, 0, 0x1, &kAlice}), label};
    EXPECT_EQ(DaclAces(), expected);
}

TEST_F(SecureObjectTest, UnknownKindReadsAsKindAndFlagsOnly) {
    LoadDacl({RawAce(0x11, 0x13, 16)});
    Account entry = object.GetDaclEntry(0);
    EXPECT_EQ(entry.AceType, 0x11);
    EXPECT_EQ(entry.AceFlags, 0x13);
    EXPECT_EQ(entry.Mask, 0u);
    EXPECT_FALSE(entry.IsValid());
}

TEST_F(SecureObjectTest, FirstEntryCreatesExactListAndSecondGrowsIt) {
    object.DaclSlot.descriptor = SelfRelative(nullptr, nullptr, nullptr);
    ASSERT_TRUE(object.MakeAbsolute());
    ASSERT_EQ(object.Dacl(), nullptr);

    Account alice;
    ASSERT_TRUE(alice.SetSid(P(kAlice), nullptr));
    alice.Mask = 0x00020019;
    ASSERT_TRUE(object.AddDaclEntry(alice));
    ASSERT_NE(object.Dacl(), nullptr);
    const DWORD sidLength = static_cast<DWORD>(kAlice.size());
    EXPECT_EQ(object.Dacl()->AclSize, sidLength + 16);

    BOOL present = FALSE, defaulted = TRUE;
    PACL attached = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(object.DaclSlot.descriptor, &present, &attached, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    EXPECT_EQ(attached, object.Dacl());

    Account bob;
    ASSERT_TRUE(bob.SetSid(P(kBob), nullptr));
    bob.AceType = 1;
    bob.Mask = 0x00010000;
    ASSERT_TRUE(object.AddDaclEntry(bob));
    const DWORD inUse = sidLength + 16;
    EXPECT_EQ(object.Dacl()->AclSize, 6 * inUse + 8);
    ASSERT_TRUE(GetSecurityDescriptorDacl(object.DaclSlot.descriptor, &present, &attached, &defaulted));
    EXPECT_EQ(attached, object.Dacl()) << "the descriptor follows the grown list";
    EXPECT_EQ(DaclAces(), AcesOf({{0, 0, 0x00020019, &kAlice}, {1, 0, 0x00010000, &kBob}}));
}

TEST_F(SecureObjectTest, ManyAdditionsKeepEveryEntryInOrder) {
    LoadDacl({});
    std::vector<AceSpec> specs;
    const Bytes* sids[] = {&kAlice, &kBob, &kCarol, &kDave, &kEve};
    for (DWORD i = 0; i < 40; ++i) specs.push_back({static_cast<BYTE>(i % 2), 0, i + 1, sids[i % 5]});
    for (const AceSpec& spec : specs) {
        Account entry;
        ASSERT_TRUE(entry.SetSid(P(*spec.sid), nullptr));
        entry.AceType = spec.type;
        entry.Mask = spec.mask;
        ASSERT_TRUE(object.AddDaclEntry(entry));
    }
    EXPECT_EQ(DaclAces(), AcesOf(specs));
}

TEST_F(SecureObjectTest, AuditEntriesGoToTheSacl) {
    object.SaclSlot.descriptor = SelfRelative(nullptr, nullptr, nullptr);
    ASSERT_TRUE(object.MakeAbsolute());
    Account audit;
    ASSERT_TRUE(audit.SetSid(P(kCarol), nullptr));
    audit.AceType = 2;
    audit.AceFlags = 0x80;
    audit.Mask = 0x000F003F;
    ASSERT_TRUE(object.AddEntry(ListKind::Sacl, audit));
    ASSERT_EQ(object.SaclEntryCount(), 1u);
    EXPECT_STREQ(object.GetSaclEntry(0).RegistryEntryText().Text(), "(Full-F-)");
    EXPECT_FALSE(object.AddDaclEntry(audit)) << "the DACL slot was never loaded";
}

TEST_F(SecureObjectTest, AddingAnAccountWithoutSidFails) {
    LoadDacl({});
    Account nobody;
    nobody.Mask = 1;
    EXPECT_FALSE(object.AddDaclEntry(nobody));
    EXPECT_EQ(object.DaclEntryCount(), 0u);
}

TEST_F(SecureObjectTest, GrowingAListWhoseSizeCannotBeReadLeavesItAlone) {
    LoadDacl(AcesOf({{0, 0, 1, &kAlice}, {1, 0, 2, &kBob}}));
    BYTE* list = object.DaclSlot.dacl;
    list[0] = 9;  // a revision no reader accepts
    const Bytes before(list, list + reinterpret_cast<PACL>(list)->AclSize);
    object.GrowList(ListKind::Dacl);
    EXPECT_EQ(object.DaclSlot.dacl, list);
    EXPECT_EQ(Bytes(list, list + before.size()), before);
    object.CanonicalizeDacl();
    EXPECT_EQ(Bytes(object.DaclSlot.dacl, object.DaclSlot.dacl + before.size()), before);
}

TEST_F(SecureObjectTest, GrowListCopiesEveryEntryIntoMoreRoom) {
    const Bytes label = RawAce(0x11, 0, 16);
    LoadDacl({AceBytes({0, 0, 1, &kAlice}), label, AceBytes({1, 0, 2, &kBob})});
    const std::vector<Bytes> before = DaclAces();
    ACL_SIZE_INFORMATION info{};
    ASSERT_TRUE(GetAclInformation(object.Dacl(), &info, sizeof info, AclSizeInformation));
    object.GrowList(ListKind::Dacl);
    EXPECT_EQ(object.Dacl()->AclSize, info.AclBytesInUse + 8 + 5 * (info.AclBytesInUse / 3));
    EXPECT_EQ(DaclAces(), before);
    object.GrowList(ListKind::Sacl);  // no SACL: nothing happens
    EXPECT_EQ(object.Sacl(), nullptr);
}

TEST_F(SecureObjectTest, ClearDaclRemovesEveryEntryButKeepsTheList) {
    LoadDacl(AcesOf({{0, 0, 1, &kAlice}, {1, 0, 2, &kBob}, {0, 0, 4, &kCarol}}));
    PACL list = object.Dacl();
    EXPECT_TRUE(object.DeleteDaclEntry(1));
    EXPECT_EQ(DaclAces(), AcesOf({{0, 0, 1, &kAlice}, {0, 0, 4, &kCarol}}));
    EXPECT_TRUE(object.ClearDacl());
    EXPECT_EQ(object.DaclEntryCount(), 0u);
    EXPECT_EQ(object.Dacl(), list);
}

TEST_F(SecureObjectTest, SetOwnerWithoutDescriptorMakesAFullSizeOne) {
    Account dave;
    ASSERT_TRUE(dave.SetSid(P(kDave), nullptr));
    ASSERT_TRUE(object.SetOwner(dave));
    ASSERT_NE(object.OwnerSlot.descriptor, nullptr);
    EXPECT_TRUE(IsValidSecurityDescriptor(object.OwnerSlot.descriptor));
    Account owner = object.GetOwner();
    ASSERT_TRUE(owner.IsValid());
    EXPECT_TRUE(EqualSid(owner.Sid(), P(kDave)));
    // The descriptor must survive a round trip to the self-relative form,
    // which reads every field of the absolute layout.
    DWORD length = 0;
    MakeSelfRelativeSD(object.OwnerSlot.descriptor, nullptr, &length);
    Bytes relative(length);
    EXPECT_TRUE(MakeSelfRelativeSD(object.OwnerSlot.descriptor, relative.data(), &length));
}

TEST_F(SecureObjectTest, SetOwnerReplacesALoadedOwner) {
    LoadDacl(AcesOf({{0, 0, 1, &kAlice}}));
    Account eve;
    ASSERT_TRUE(eve.SetSid(P(kEve), nullptr));
    ASSERT_TRUE(object.SetOwner(eve));
    eve.SetSid(P(kAlice), nullptr);  // the object keeps its own copy
    EXPECT_TRUE(EqualSid(object.GetOwner().Sid(), P(kEve)));
    Account nobody;
    EXPECT_FALSE(object.SetOwner(nobody));
    EXPECT_TRUE(EqualSid(object.GetOwner().Sid(), P(kEve)));
}

TEST_F(SecureObjectTest, ClearEmptiesEverything) {
    LoadDacl(AcesOf({{0, 0, 1, &kAlice}}));
    object.ObjectName = "SOFTWARE";
    object.ServerName = "SRV";
    object.SaclSlot.LastError = 1314;
    object.Clear();
    EXPECT_EQ(object.DaclSlot.descriptor, nullptr);
    EXPECT_EQ(object.Dacl(), nullptr);
    EXPECT_EQ(object.OwnerSlot.descriptor, nullptr);
    EXPECT_EQ(object.SaclSlot.LastError, 0u);
    EXPECT_STREQ(object.ObjectName.Text(), "");
    EXPECT_STREQ(object.ServerName.Text(), "");
}

}  // namespace
