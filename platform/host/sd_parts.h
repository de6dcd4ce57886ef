// A security descriptor taken apart into its four parts and put together
// again, for the host's calls that return or store only some of them.
//
// RegGetKeySecurity hands out only the parts asked for; RegSetKeySecurity
// and the share calls replace only the parts given.  Parse accepts only
// bytes that pass IsValidSelfRelative, so the parts it yields are bounded;
// Build always writes a fresh self-relative descriptor (owner, group, SACL,
// DACL in that order) whose control bits say exactly which parts are there.
#pragma once

#include <optional>

#include "host/util.h"

namespace platform::host {

struct SdParts {
    SECURITY_DESCRIPTOR_CONTROL control = 0;  // SE_* bits, SE_SELF_RELATIVE cleared
    Bytes owner;                              // owner SID, empty when absent
    Bytes group;                              // primary group SID, empty when absent
    bool saclPresent = false;                 // SE_SACL_PRESENT
    Bytes sacl;                               // empty with saclPresent = NULL SACL
    bool daclPresent = false;                 // SE_DACL_PRESENT
    Bytes dacl;                               // empty with daclPresent = NULL DACL
};

// From a self-relative descriptor of `length` bytes; nullopt when malformed.
std::optional<SdParts> ParseSelfRelative(const void* data, std::size_t length);
// From any descriptor a caller passes (absolute or self-relative); nullopt
// when malformed.
std::optional<SdParts> ParseAny(const void* sd);

// The parts selected by `info` only.
SdParts Select(const SdParts& parts, SECURITY_INFORMATION info);
// `base` with the parts selected by `info` taken from `update`.
SdParts Merge(const SdParts& base, const SdParts& update, SECURITY_INFORMATION info);

Bytes Build(const SdParts& parts);

}  // namespace platform::host
