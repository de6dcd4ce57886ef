// The access check as one table: descriptor, token privileges, desired
// access and mapping against the expected result and granted rights.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers.h"
#include "security/access_check.h"

using platform::AccessToken;
using platform::CheckAccess;
using testutil::Sd;
using testutil::Sid;

namespace {

// User S-1-5-21-1-2-3-1001 in Users, Everyone and Authenticated Users.
AccessToken MakeToken(std::vector<platform::TokenPrivilege> privileges) {
    AccessToken token;
    token.user = Sid("S-1-5-21-1-2-3-1001");
    token.groups = {Sid("S-1-1-0"), Sid("S-1-5-32-545"), Sid("S-1-5-11")};
    token.privileges = std::move(privileges);
    return token;
}

enum class Privs { None, SecurityEnabled, SecurityHeldDisabled, TakeOwnershipEnabled, TakeOwnershipDisabled };

std::vector<platform::TokenPrivilege> PrivilegesFor(Privs p) {
    switch (p) {
        case Privs::None: return {};
        case Privs::SecurityEnabled: return {{SE_SECURITY_PRIVILEGE, true}};
        case Privs::SecurityHeldDisabled: return {{SE_SECURITY_PRIVILEGE, false}};
        case Privs::TakeOwnershipEnabled: return {{SE_TAKE_OWNERSHIP_PRIVILEGE, true}};
        case Privs::TakeOwnershipDisabled: return {{SE_TAKE_OWNERSHIP_PRIVILEGE, false}};
    }
    return {};
}

const std::string kUser = "S-1-5-21-1-2-3-1001";

}  // namespace

TEST(AccessCheck, RulesAsATable) {
    struct Case {
        const char* name;
        std::string sddl;
        Privs privileges;
        ACCESS_MASK desired;
        const GENERIC_MAPPING* mapping;
        DWORD error;
        ACCESS_MASK granted;  // checked on success
    };
    const GENERIC_MAPPING* key = &platform::kKeyGenericMapping;
    const GENERIC_MAPPING* file = &platform::kFileGenericMapping;
    const Case cases[] = {
        {"allowed through a group", "D:(A;;KR;;;WD)", Privs::None, KEY_READ, key, 0, KEY_READ},
        {"rights the list does not give", "D:(A;;KR;;;WD)", Privs::None, KEY_SET_VALUE, key, ERROR_ACCESS_DENIED, 0},
        {"generic desired mapped for keys", "D:(A;;KA;;;BU)", Privs::None, GENERIC_ALL, key, 0, KEY_ALL_ACCESS},
        {"generic read asks for read control too", "D:(A;;0x19;;;WD)", Privs::None, GENERIC_READ, key,
         ERROR_ACCESS_DENIED, 0},
        {"generic in an entry is mapped", "D:(A;;GR;;;WD)", Privs::None, KEY_READ, key, 0, KEY_READ},
        {"user SID entry", "D:(A;;KA;;;" + kUser + ")", Privs::None, KEY_ALL_ACCESS, key, 0, KEY_ALL_ACCESS},
        {"entry for someone else", "D:(A;;KA;;;BA)", Privs::None, KEY_QUERY_VALUE, key, ERROR_ACCESS_DENIED, 0},
        {"deny names only its bits", "D:(D;;0x2;;;WD)(A;;KA;;;WD)", Privs::None, KEY_READ, key, 0, KEY_READ},
        {"deny of write also denies read control", "D:(D;;KW;;;WD)(A;;KA;;;WD)", Privs::None, KEY_READ, key,
         ERROR_ACCESS_DENIED, 0},
        {"deny after allow comes too late", "D:(A;;KA;;;WD)(D;;KA;;;WD)", Privs::None, KEY_ALL_ACCESS, key, 0,
         KEY_ALL_ACCESS},
        {"allows add up across entries", "D:(A;;0x1;;;WD)(A;;0x8;;;BU)", Privs::None, 0x9, key, 0, 0x9},
        {"deny for the user beats a later group allow", "D:(D;;0x1;;;" + kUser + ")(A;;KA;;;WD)", Privs::None, 0x1,
         key, ERROR_ACCESS_DENIED, 0},
        {"inherit-only entries are skipped", "D:(A;IO;KA;;;WD)", Privs::None, KEY_READ, key, ERROR_ACCESS_DENIED, 0},
        {"inherit-only deny is skipped too", "D:(D;OICIIO;KA;;;WD)(A;;KA;;;WD)", Privs::None, KEY_READ, key, 0,
         KEY_READ},
        {"audit entries in a DACL grant nothing", "D:(AU;SA;KA;;;WD)", Privs::None, KEY_READ, key,
         ERROR_ACCESS_DENIED, 0},
        {"empty DACL grants nothing", "D:", Privs::None, KEY_QUERY_VALUE, key, ERROR_ACCESS_DENIED, 0},
        {"empty DACL, nothing asked", "D:", Privs::None, 0, key, 0, 0},
        {"NULL DACL grants everything", "D:NO_ACCESS_CONTROL", Privs::None, KEY_ALL_ACCESS | SYNCHRONIZE, key, 0,
         KEY_ALL_ACCESS | SYNCHRONIZE},
        {"absent DACL grants everything", "O:BA", Privs::None, GENERIC_WRITE, key, 0, KEY_WRITE},
        {"NULL DACL maximum", "D:NO_ACCESS_CONTROL", Privs::None, MAXIMUM_ALLOWED, key, 0, KEY_ALL_ACCESS},
        {"system security needs the privilege", "D:NO_ACCESS_CONTROL", Privs::None,
         KEY_READ | ACCESS_SYSTEM_SECURITY, key, ERROR_PRIVILEGE_NOT_HELD, 0},
        {"a disabled privilege does not count", "D:NO_ACCESS_CONTROL", Privs::SecurityHeldDisabled,
         ACCESS_SYSTEM_SECURITY, key, ERROR_PRIVILEGE_NOT_HELD, 0},
        {"the privilege is checked before the list", "D:", Privs::None, KEY_READ | ACCESS_SYSTEM_SECURITY, key,
         ERROR_PRIVILEGE_NOT_HELD, 0},
        {"system security with the privilege", "D:(A;;KR;;;WD)", Privs::SecurityEnabled,
         KEY_READ | ACCESS_SYSTEM_SECURITY, key, 0, KEY_READ | ACCESS_SYSTEM_SECURITY},
        {"the list cannot grant system security", "D:(A;;0x1000000;;;WD)", Privs::None, ACCESS_SYSTEM_SECURITY,
         key, ERROR_PRIVILEGE_NOT_HELD, 0},
        {"owner reads and writes the DACL", "O:" + kUser + "D:", Privs::None, READ_CONTROL | WRITE_DAC, key, 0,
         READ_CONTROL | WRITE_DAC},
        {"owner through a group", "O:BUD:", Privs::None, READ_CONTROL, key, 0, READ_CONTROL},
        {"owner gets nothing more", "O:" + kUser + "D:", Privs::None, KEY_READ, key, ERROR_ACCESS_DENIED, 0},
        {"owner rights survive a deny", "O:" + kUser + "D:(D;;KA;;;WD)", Privs::None, WRITE_DAC, key, 0, WRITE_DAC},
        {"not the owner", "O:BAD:", Privs::None, READ_CONTROL, key, ERROR_ACCESS_DENIED, 0},
        {"take ownership grants write owner", "D:", Privs::TakeOwnershipEnabled, WRITE_OWNER, key, 0, WRITE_OWNER},
        {"take ownership grants nothing else", "D:", Privs::TakeOwnershipEnabled, WRITE_OWNER | KEY_READ, key,
         ERROR_ACCESS_DENIED, 0},
        {"disabled take ownership", "D:", Privs::TakeOwnershipDisabled, WRITE_OWNER, key, ERROR_ACCESS_DENIED, 0},
        {"maximum allowed", "D:(A;;KR;;;WD)", Privs::None, MAXIMUM_ALLOWED, key, 0, KEY_READ},
        {"maximum allowed minus a deny", "D:(D;;0x2;;;WD)(A;;KA;;;WD)", Privs::None, MAXIMUM_ALLOWED, key, 0,
         KEY_ALL_ACCESS & ~0x2u},
        {"maximum allowed with owner rights", "O:" + kUser + "D:(A;;0x1;;;WD)", Privs::None, MAXIMUM_ALLOWED, key, 0,
         0x1 | READ_CONTROL | WRITE_DAC},
        {"maximum allowed with nothing to give", "D:", Privs::None, MAXIMUM_ALLOWED, key, ERROR_ACCESS_DENIED, 0},
        {"maximum allowed plus a right not given", "D:(A;;KR;;;WD)", Privs::None, MAXIMUM_ALLOWED | KEY_SET_VALUE,
         key, ERROR_ACCESS_DENIED, 0},
        {"file mapping", "D:(A;;FR;;;WD)", Privs::None, GENERIC_READ, file, 0, FILE_GENERIC_READ},
        {"file mapping of generic all", "D:(A;;GA;;;WD)", Privs::None, GENERIC_ALL, file, 0, FILE_ALL_ACCESS},
        {"file mapping refuses write", "D:(A;;FR;;;WD)", Privs::None, GENERIC_WRITE, file, ERROR_ACCESS_DENIED, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> sd = Sd(c.sddl);
        AccessToken token = MakeToken(PrivilegesFor(c.privileges));
        ACCESS_MASK granted = 0xDEADBEEF;
        EXPECT_EQ(CheckAccess(sd.data(), sd.size(), token, c.desired, *c.mapping, &granted), c.error);
        EXPECT_EQ(granted, c.error == 0 ? c.granted : 0xDEADBEEF);
    }
}

TEST(AccessCheck, MalformedDescriptorsAreReportedNotRead) {
    AccessToken token = MakeToken({});
    std::vector<BYTE> sd = Sd("D:(A;;KA;;;WD)");
    ACCESS_MASK granted = 7;
    for (std::size_t length = 0; length < sd.size(); ++length) {
        SCOPED_TRACE(length);
        std::vector<BYTE> cut(sd.begin(), sd.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_EQ(CheckAccess(cut.data(), cut.size(), token, KEY_READ, platform::kKeyGenericMapping, &granted),
                  ERROR_INVALID_SECURITY_DESCR);
    }
    sd[0] = 2;
    EXPECT_EQ(CheckAccess(sd.data(), sd.size(), token, KEY_READ, platform::kKeyGenericMapping, &granted),
              ERROR_INVALID_SECURITY_DESCR);
    EXPECT_EQ(granted, 7u);
}

TEST(AccessCheck, TokenMembershipComparesWholeSids) {
    AccessToken token = MakeToken({{SE_BACKUP_PRIVILEGE, true}});
    EXPECT_TRUE(token.HoldsSid(Sid(kUser).data()));
    EXPECT_TRUE(token.HoldsSid(Sid("S-1-5-11").data()));
    EXPECT_FALSE(token.HoldsSid(Sid("S-1-5-21-1-2-3").data()));      // a prefix of the user
    EXPECT_FALSE(token.HoldsSid(Sid("S-1-5-21-1-2-3-1001-5").data()));  // the user extended
    EXPECT_TRUE(token.HasEnabledPrivilege(SE_BACKUP_PRIVILEGE));
    EXPECT_FALSE(token.HasEnabledPrivilege(SE_RESTORE_PRIVILEGE));
}
