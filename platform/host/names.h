// Account resolution as one machine of the world sees it, both ways.
//
// Rules (the platform's, as far as the programs can observe them):
//   1. Well-known SIDs (Everyone, CREATOR OWNER, NT AUTHORITY\SYSTEM, ...)
//      and the BUILTIN aliases exist on every machine without being stored.
//   2. A machine resolves its own local accounts (domain = machine name) and
//      the accounts of every domain of the world, as if all were trusted.
//      Other machines' local accounts are unknown to it.
//   3. Deleted accounts resolve by SID (SidTypeDeletedAccount) but not by
//      name.
//   4. Names compare without regard to ASCII case; a name without a domain
//      is searched among well-known names, BUILTIN, the machine, then the
//      machine's domain.
// Pure over a World: no caching here (the Host caches), no last error set.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/util.h"
#include "store/world.h"

namespace platform::host {

struct ResolvedAccount {
    Bytes sid;           // the account's SID
    std::string name;    // "alice", "Administrators"
    std::string domain;  // "CORP", "BUILTIN", "NT AUTHORITY", "" for Everyone
    SID_NAME_USE use = SidTypeUnknown;  // the type the platform reports
};

std::optional<ResolvedAccount> ResolveSid(store::World& world, const store::Machine& machine,
                                          const Bytes& sid);
std::optional<ResolvedAccount> ResolveName(store::World& world, const store::Machine& machine,
                                           std::string_view name);

// Well-known SIDs the token is built from.
Bytes EveryoneSid();
Bytes AuthenticatedUsersSid();
Bytes InteractiveSid();
Bytes NetworkSid();
Bytes BuiltinAliasSid(DWORD rid);

// Privilege names and values, shared by LookupPrivilegeValueA and the token.
std::optional<DWORD> PrivilegeValue(std::string_view name);
std::string_view PrivilegeName(DWORD luid);

}  // namespace platform::host
