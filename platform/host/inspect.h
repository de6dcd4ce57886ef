// What ntsim shows about the host's security decisions, computed exactly as
// the platform calls compute them (same token builder, same access check),
// but for any account and machine of a world rather than the process's.
//
// Neither function touches the process's Host or its caches; both read the
// world they are given.  On failure they return false and set `error` to one
// line for a person (unknown machine, account or key).
#pragma once

#include <string>
#include <string_view>

#include "platform/types.h"
#include "store/world.h"

namespace platform::host {

// For `ntsim token`: the SIDs (with names) and privileges of that
// account's token on that machine (empty = the world's local machine), one
// per line: "user S-... DOMAIN\\name", "group S-... DOMAIN\\name",
// "privilege SeXxxPrivilege".
bool DescribeToken(store::World& world, std::string_view account, std::string_view machine, std::string& out,
                   std::string& error);

// For `ntsim access`: the maximum access the account is granted on a key
// given as [\\MACHINE\]HKLM\PATH (or HKU\...), with no privilege enabled,
// as a freshly started program would have it.
bool MaximumKeyAccess(store::World& world, std::string_view keyPath, std::string_view account,
                      ACCESS_MASK& granted, std::string& error);

}  // namespace platform::host
