// Security identifiers as the store handles them, and the accounts every
// machine knows without being told: the well-known SIDs and the BUILTIN
// aliases.
//
// SIDs travel as byte vectors in the platform's binary layout.  The text
// form is "S-1-<authority>-<sub>..." with decimal numbers; parsing rejects
// anything else (no aliases, no hex authority), so JSON errors can name the
// place.  The tables are the host's naming rules too: "host" may use them
// for its look-ups so that both sides name accounts alike.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform::store {

using SidBytes = std::vector<BYTE>;

// "S-1-5-21-1-2-3" -> bytes; nullopt for malformed text.
std::optional<SidBytes> ParseSid(std::string_view text);
// Bytes -> "S-1-..."; "" when the bytes are not one well-formed SID.
std::string FormatSid(const SidBytes& sid);
// The SID with one more sub-authority (a domain SID and a RID).
SidBytes SidWithRid(const SidBytes& domainSid, DWORD rid);
// Splits off the last sub-authority; false when the SID has none.
bool SplitRid(const SidBytes& sid, SidBytes& prefix, DWORD& rid);
// A random machine or domain SID, S-1-5-21-a-b-c.
SidBytes NewDomainSid();

struct WellKnownAccount {
    const char* sid;     // text form
    const char* domain;  // "NT AUTHORITY", or "" (Everyone, CREATOR OWNER, ...)
    const char* name;    // "SYSTEM"
};
// Well-known SIDs, reported as SidTypeWellKnownGroup.
const std::vector<WellKnownAccount>& WellKnownAccounts();

struct BuiltinAlias {
    DWORD rid;         // under S-1-5-32
    const char* name;  // "Administrators"
};
// BUILTIN aliases (domain "BUILTIN"), ascending RID.
const std::vector<BuiltinAlias>& BuiltinAliases();
std::optional<DWORD> BuiltinRidByName(std::string_view name);
const char* BuiltinNameByRid(DWORD rid);  // null when unknown
SidBytes BuiltinSid(DWORD rid);           // S-1-5-32-rid

inline constexpr DWORD kAdministratorsRid = 544;
inline constexpr DWORD kUsersRid = 545;
inline constexpr DWORD kBackupOperatorsRid = 551;

}  // namespace platform::store
