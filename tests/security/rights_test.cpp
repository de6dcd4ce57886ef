// The rights codecs: the texts the listers print for an entry's rights and
// the single-right setters, checked against the bit tables they encode.
#include <gtest/gtest.h>

#include <cstdint>

#include "common/security/account.h"
#include "common/security/rights.h"

namespace {

Account Entry(DWORD mask, BYTE type, BYTE flags) {
    Account entry;
    entry.Mask = mask;
    entry.AceType = type;
    entry.AceFlags = flags;
    return entry;
}

constexpr BYTE kAllowed = ACCESS_ALLOWED_ACE_TYPE;
constexpr BYTE kDenied = ACCESS_DENIED_ACE_TYPE;
constexpr BYTE kAudit = SYSTEM_AUDIT_ACE_TYPE;

struct TextCase {
    DWORD mask;
    BYTE type;
    BYTE flags;
    const char* expected;
};

TEST(RegistryEntryText, LettersWordsAndAuditMarks) {
    const TextCase cases[] = {
        {0x000F003F, kAllowed, 0, "(Full)"},
        {0x000F003F, kDenied, 0, "(None)"},
        {0x00020019, kAllowed, 0, "(Read)"},
        {0x00020019, kDenied, 0, "(Read)"},
        {0x00020006, kAllowed, 0, "(WCR)"},
        {0x10000000, kAllowed, 0, "()"},
        {0, kAllowed, 0, "()"},
        {0x00000001, kAllowed, 0, "(Q)"},
        {0x000E003F, kAllowed, 0, "(QWCENLRPO)"},
        {0x000F003E, kDenied, 0, "(WCENLDRPO)"},
        // Bits without a letter do not spoil the words.
        {0x801F003F, kAllowed, 0, "(Full)"},
        {0x00020019, kAudit, 0xC0, "(Read-SF-)"},
        {0x00020019, kAudit, 0x00, "(Read--)"},
        {0x000F003F, kAudit, 0x40, "(Full-S-)"},
        {0x00010000, kAudit, 0x80, "(D-F-)"},
        // Audit marks belong to audit entries only.
        {0x00010000, kAllowed, 0xC0, "(D)"},
        // An unknown kind is printed like an allowed entry.
        {0x000F003F, 7, 0, "(Full)"},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << "mask 0x" << c.mask << " type " << int(c.type)
                                          << " flags 0x" << int(c.flags));
        Account entry = Entry(c.mask, c.type, c.flags);
        EXPECT_STREQ(entry.RegistryEntryText().Text(), c.expected);
    }
}

TEST(ShareEntryText, LettersWordsDoublingAndMax) {
    const TextCase cases[] = {
        {0x001F01FF, kAllowed, 0, "(All)"},
        {0x001F01FF, kDenied, 0, "(None)"},
        {0x001200A9, kAllowed, 0, "(RX)"},
        {0x001301BF, kAllowed, 0, "(RWXD)"},
        {0x10000000, kAllowed, 0, "(All)"},
        {0x10000000, kDenied, 0, "(None)"},
        {0x10010000, kAllowed, 0, "(DAll)"},
        {0x10010000, kDenied, 0, "(None)"},
        {0x80120089, kAllowed, 0, "(RR)"},
        {0x80000000, kAllowed, 0, "(R)"},
        {0xE0000000, kAllowed, 0, "(RWX)"},
        {0x02000000, kAllowed, 0, "(Max)"},
        {0, kAllowed, 0, "()"},
        // An incomplete file form gives no letter.
        {0x00120088, kAllowed, 0, "()"},
        {0x000D0000, kAllowed, 0, "(DPO)"},
        {0x001200A9, kAllowed, 0x03, "(RX)(RX)"},
        {0x001200A9, kAllowed, 0x02, "(RX)"},
        {0x001200A9, kAllowed, 0x01, "(RX)"},
        {0x001F01FF, kAudit, 0xC0, "(All-SF-)"},
        {0x02120089, kAudit, 0x40, "(R-S-Max)"},
        {0x12000000, kDenied, 0, "(NoneMax)"},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << "mask 0x" << c.mask << " type " << int(c.type)
                                          << " flags 0x" << int(c.flags));
        Account entry = Entry(c.mask, c.type, c.flags);
        EXPECT_STREQ(entry.ShareEntryText().Text(), c.expected);
    }
}

using Setter = void (Account::*)(bool);

struct SetterCase {
    const char* name;
    Setter setter;
    bool on;
    DWORD mask;
    BYTE type;
    BYTE flags;
    DWORD expectedMask;
    BYTE expectedType;
};

TEST(RegistrySetters, SetClearAndTheDeniedEntry) {
    const SetterCase cases[] = {
        {"delete off on full", &Account::SetDelete, false, 0x000F003F, kAllowed, 0, 0x000E003F, kAllowed},
        {"delete off on denied", &Account::SetDelete, false, 0x000F003F, kDenied, 0, 0x000F003F, kDenied},
        {"delete on turns denied into allowed", &Account::SetDelete, true, 0x000F003F, kDenied, 0, 0x00010000, kAllowed},
        {"query on", &Account::SetQueryValue, true, 0, kAllowed, 0, 0x00000001, kAllowed},
        {"set value on", &Account::SetSetValue, true, 0x1, kAllowed, 0, 0x00000003, kAllowed},
        {"create subkey off", &Account::SetCreateSubKey, false, 0x000F003F, kAllowed, 0, 0x000F003B, kAllowed},
        {"enumerate off", &Account::SetEnumerateSubKeys, false, 0x00020019, kAllowed, 0, 0x00020011, kAllowed},
        {"notify on", &Account::SetNotify, true, 0, kAllowed, 0, 0x00000010, kAllowed},
        {"create link on", &Account::SetCreateLink, true, 0, kAllowed, 0, 0x00000020, kAllowed},
        {"read control off", &Account::SetReadControl, false, 0x00020019, kAllowed, 0, 0x00000019, kAllowed},
        {"write dac on", &Account::SetWriteDac, true, 0, kAllowed, 0, 0x00040000, kAllowed},
        {"write owner on", &Account::SetWriteOwner, true, 0, kAllowed, 0, 0x00080000, kAllowed},
        // Bits outside the letters are left alone.
        {"clearing keeps generic bits", &Account::SetQueryValue, false, 0x80000001, kAllowed, 0, 0x80000000, kAllowed},
        {"audit entry keeps its kind", &Account::SetDelete, true, 0, kAudit, 0x40, 0x00010000, kAudit},
    };
    for (const SetterCase& c : cases) {
        SCOPED_TRACE(c.name);
        Account entry = Entry(c.mask, c.type, c.flags);
        (entry.*c.setter)(c.on);
        EXPECT_EQ(entry.Mask, c.expectedMask);
        EXPECT_EQ(entry.AceType, c.expectedType);
        EXPECT_EQ(entry.AceFlags, c.flags);
    }
}

TEST(ShareSetters, MaskIsRebuiltFromTheRecognisedRights) {
    const SetterCase cases[] = {
        {"read on empty", &Account::SetShareRead, true, 0, kAllowed, 0, 0x00120089, kAllowed},
        {"execute after read", &Account::SetShareExecute, true, 0x00120089, kAllowed, 0, 0x001200A9, kAllowed},
        {"delete after read write execute", &Account::SetShareDelete, true, 0x001201BF, kAllowed, 0, 0x001301BF, kAllowed},
        {"write on full stays full", &Account::SetShareWrite, true, 0x001F01FF, kAllowed, 0, 0x001F01FF, kAllowed},
        {"write off full", &Account::SetShareWrite, false, 0x001F01FF, kAllowed, 0, 0x001F00A9, kAllowed},
        {"read on object-inherit uses generic", &Account::SetShareRead, true, 0, kAllowed, 0x01, 0x80000000, kAllowed},
        {"six generic forms collapse to GENERIC_ALL", &Account::SetShareDelete, true, 0xE00C0000, kAllowed, 0x01, 0x10000000, kAllowed},
        {"both forms carried", &Account::SetShareDelete, true, 0x80120089, kAllowed, 0, 0x80130089, kAllowed},
        {"partial file form dropped", &Account::SetShareDelete, true, 0x00120088, kAllowed, 0, 0x00010000, kAllowed},
        {"GENERIC_ALL and MAXIMUM_ALLOWED dropped", &Account::SetShareRead, true, 0x12000000, kAllowed, 0, 0x00120089, kAllowed},
        {"ACCESS_SYSTEM_SECURITY kept", &Account::SetShareRead, true, 0x01000000, kAllowed, 0, 0x01120089, kAllowed},
        {"own right off removes both forms", &Account::SetShareRead, false, 0x80120089, kAllowed, 0, 0, kAllowed},
        {"denied becomes allowed", &Account::SetShareRead, true, 0x001F01FF, kDenied, 0, 0x00120089, kAllowed},
        {"denied with object-inherit", &Account::SetShareWrite, true, 0x001F01FF, kDenied, 0x01, 0x40000000, kAllowed},
        {"denied off unchanged", &Account::SetShareRead, false, 0x001F01FF, kDenied, 0, 0x001F01FF, kDenied},
        {"delete is never generic", &Account::SetShareDelete, true, 0, kAllowed, 0x01, 0x00010000, kAllowed},
    };
    for (const SetterCase& c : cases) {
        SCOPED_TRACE(c.name);
        Account entry = Entry(c.mask, c.type, c.flags);
        (entry.*c.setter)(c.on);
        EXPECT_EQ(entry.Mask, c.expectedMask) << std::hex << entry.Mask;
        EXPECT_EQ(entry.AceType, c.expectedType);
    }
}

TEST(ShareSetters, GranterSequencesPrintAsTheListerShowsThem) {
    Account readExecute;
    readExecute.SetShareRead(true);
    readExecute.SetShareExecute(true);
    EXPECT_STREQ(readExecute.ShareEntryText().Text(), "(RX)");

    Account change;
    change.SetShareRead(true);
    change.SetShareWrite(true);
    change.SetShareExecute(true);
    change.SetShareDelete(true);
    EXPECT_STREQ(change.ShareEntryText().Text(), "(RWXD)");
}

TEST(RegistryRightBit, ParsesTheSameLettersItPrints) {
    const char* letters = "QWCENLDRPO";
    DWORD all = 0;
    for (const char* p = letters; *p; ++p) {
        SCOPED_TRACE(*p);
        const DWORD bit = RegistryRightBit(*p);
        ASSERT_NE(bit, 0u);
        EXPECT_EQ(all & bit, 0u) << "two letters share a bit";
        all |= bit;
        Account single = Entry(bit, kAllowed, 0);
        const char expected[] = {'(', *p, ')', '\0'};
        EXPECT_STREQ(single.RegistryEntryText().Text(), expected);
    }
    EXPECT_EQ(all, 0x000F003Fu);
    for (char other : {'q', 'A', 'F', '\0', '-'}) EXPECT_EQ(RegistryRightBit(other), 0u) << other;
}

}  // namespace
