// The string form of security descriptors (SDDL), both ways.
//
// Used by the simulated host's store and by ntsim; the programs never see it.
// Aliases that name machine- or domain-relative accounts (LA, LG, DA, DU, DG,
// ...) resolve against the SIDs the caller passes; with none given they are
// an error when parsing and are written as S-1-... when printing.
//
// Guarantees:
//   1. Output is canonical: owner, group, DACL, SACL in that order; flags
//      and rights in a fixed order; SIDs as aliases where one exists.
//   2. Parsing canonical output gives back the same bytes.
//   3. Input is untrusted: errors name the offset of the first bad character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform {

struct SddlContext {
    const SID* machineSid = nullptr;  // machine-relative aliases (LA, LG, ...), or null
    const SID* domainSid = nullptr;   // domain-relative aliases (DA, DU, DG, ...), or null
};

// Parses text into a self-relative descriptor.  On failure returns false,
// leaves out untouched and sets *errorOffset (when given) to the offset of
// the first character that could not be used.
bool SddlToSelfRelative(std::string_view text, const SddlContext& context, std::vector<BYTE>& out,
                        std::size_t* errorOffset);

// Writes the parts selected by info (OWNER_/GROUP_/DACL_/SACL_SECURITY_
// INFORMATION bits) of a descriptor of `length` bytes, self-relative or
// absolute (absolute only when length is 0 and the caller vouches for the
// pointers).  Returns false for a malformed descriptor.
bool SecurityDescriptorToSddl(const void* sd, std::size_t length, SECURITY_INFORMATION info,
                              const SddlContext& context, std::string& out);

// SID text: "S-1-5-32-544" form both ways, without aliases.
bool SidToString(const void* sid, std::size_t length, std::string& out);
bool StringToSid(std::string_view text, std::vector<BYTE>& out);

}  // namespace platform
