// The access check the simulated host runs on every open.
//
// Rules, in the order they apply:
//   1. Generic bits of the desired mask are mapped through the object
//      kind's GENERIC_MAPPING; MAXIMUM_ALLOWED asks for everything the
//      descriptor allows.
//   2. ACCESS_SYSTEM_SECURITY needs SeSecurityPrivilege enabled in the
//      token, else ERROR_PRIVILEGE_NOT_HELD; the DACL does not grant it.
//   3. WRITE_OWNER is granted by SeTakeOwnershipPrivilege when enabled.
//   4. The owner (when the user or one of the token's groups) is implicitly
//      granted READ_CONTROL and WRITE_DAC.
//   5. A descriptor without a DACL (NULL DACL) grants everything; an empty
//      DACL grants nothing.
//   6. Entries are taken in list order, inherit-only entries skipped; for
//      each bit still undecided, the first entry naming it decides: denied
//      entries refuse it, allowed entries grant it.  Entries whose SID is
//      neither the user nor an enabled group of the token are skipped.
//   7. Any desired bit not granted fails the check with ERROR_ACCESS_DENIED.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/types.h"

namespace platform {

struct TokenPrivilege {
    DWORD luid;    // privilege value (LUID.LowPart)
    bool enabled;  // enabled for this process
};

struct AccessToken {
    std::vector<BYTE> user;                 // the user's SID bytes
    std::vector<std::vector<BYTE>> groups;  // every group SID of the token
    std::vector<TokenPrivilege> privileges; // privileges held, enabled or not

    bool HasEnabledPrivilege(DWORD luid) const;
    bool HoldsSid(const void* sid) const;   // the user or one of the groups
};

extern const GENERIC_MAPPING kKeyGenericMapping;    // KEY_READ, KEY_WRITE, KEY_EXECUTE, KEY_ALL_ACCESS
extern const GENERIC_MAPPING kFileGenericMapping;   // FILE_GENERIC_*, FILE_ALL_ACCESS
extern const GENERIC_MAPPING kShareGenericMapping;  // same as files

// Checks `desired` against a self-relative descriptor of `length` bytes.
// Returns ERROR_SUCCESS and sets *granted, or ERROR_ACCESS_DENIED,
// ERROR_PRIVILEGE_NOT_HELD, or ERROR_INVALID_SECURITY_DESCR for a malformed
// descriptor.  *granted is written only on success.
DWORD CheckAccess(const void* sd, std::size_t length, const AccessToken& token, ACCESS_MASK desired,
                  const GENERIC_MAPPING& mapping, ACCESS_MASK* granted);

}  // namespace platform
