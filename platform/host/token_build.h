// The token an account holds on one machine of the world.
//
// Groups, in the order they are found: the account's domain groups
// (Domain Users implicitly for a domain user), the machine's own aliases and
// the BUILTIN aliases of that machine that contain the account or one of
// its groups, followed transitively; then Everyone, Authenticated Users and
// INTERACTIVE (on the local machine) or NETWORK (elsewhere), which can
// themselves be alias members.  Privileges: every privilege the machine
// grants to the user or any of those groups.  Which privileges are enabled
// is the process's business, not the token builder's.
#pragma once

#include <string>
#include <vector>

#include "host/util.h"
#include "security/access_check.h"
#include "store/world.h"

namespace platform::host {

struct TokenContents {
    Bytes user;                 // the account's SID
    std::vector<Bytes> groups;  // every group SID, no duplicates
    std::vector<DWORD> held;    // privilege values held on the machine, ascending
};

TokenContents BuildToken(store::World& world, const store::Machine& machine, const Bytes& user,
                         bool interactive);

// The access-check form with privileges enabled where `enabled` says so.
AccessToken ToAccessToken(const TokenContents& contents, const std::vector<DWORD>& enabled);

}  // namespace platform::host
