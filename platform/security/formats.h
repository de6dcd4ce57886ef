// Bounded readers and writers for the binary security formats, shared by the
// SID, ACL, descriptor, string-form and access-check modules.
//
// Every reader takes the number of bytes it may look at and never reads
// past it; every multi-byte field goes through memcpy-free byte assembly so
// that misaligned buffers (a self-relative descriptor may put a SID at any
// offset) are read without undefined behaviour.  Guarantees:
//   1. SidSize and WalkAcl report failure rather than read beyond `avail`.
//   2. A descriptor read with ReadDescriptor and a non-zero length is fully
//      inside that length, SIDs and lists included; with length 0 the caller
//      vouches for the pointers (the platform calls that take a bare pointer).
//   3. BuildSelfRelative lays out header, owner, group, SACL, DACL in that
//      order with no gaps, so equal parts give equal bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform::detail {

inline constexpr std::size_t kSidHeaderSize = 8;        // revision, count, authority
inline constexpr std::size_t kAclHeaderSize = 8;        // sizeof(ACL)
inline constexpr std::size_t kAceHeaderSize = 4;        // sizeof(ACE_HEADER)
inline constexpr std::size_t kRelativeHeaderSize = 20;  // sizeof(SECURITY_DESCRIPTOR_RELATIVE)
inline constexpr BYTE kValidAceFlags = 0xDF;            // every defined ACE flag bit

inline WORD LoadU16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
inline DWORD LoadU32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}
inline void StoreU16(BYTE* p, WORD v) {
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
}
inline void StoreU32(BYTE* p, DWORD v) {
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
    p[2] = static_cast<BYTE>(v >> 16);
    p[3] = static_cast<BYTE>(v >> 24);
}

// Length of the SID at p when it is well formed and fits in avail bytes;
// 0 otherwise.
std::size_t SidSize(const BYTE* p, std::size_t avail);

// Parses "S-1-auth(-sub)*" at text[pos...], stopping at the first character
// that cannot continue it.  On failure pos names the offending character.
bool ParseSidText(std::string_view text, std::size_t& pos, std::vector<BYTE>& out);

// True for the entry kinds whose body is a mask followed by a SID.
inline bool AceHasSid(BYTE type) { return type <= SYSTEM_ALARM_ACE_TYPE; }

// Size of the entry at ace when it fits in avail bytes and is well formed
// (see WalkAcl); 0 otherwise.
std::size_t CheckAce(const BYTE* ace, std::size_t avail, bool checkSids);

// Result of walking an access list's entries.
struct AclLayout {
    std::size_t aclSize = 0;          // AclSize from the header
    std::size_t bytesInUse = 0;       // header plus every entry
    std::vector<std::size_t> starts;  // offset of each entry from the list start
};

// Walks a list of at most `avail` bytes.  Structural checks only (revision,
// header, every entry inside AclSize and a multiple of 4 bytes); with
// checkSids, entries of the SID-bearing kinds must also hold a valid SID.
bool WalkAcl(const BYTE* acl, std::size_t avail, bool checkSids, AclLayout* layout);

// The four parts of a descriptor, wherever they live.
struct DescriptorParts {
    WORD control = 0;               // control bits, SE_SELF_RELATIVE cleared
    const BYTE* owner = nullptr;    // owner SID or null
    std::size_t ownerSize = 0;      // its length
    const BYTE* group = nullptr;    // primary group SID or null
    std::size_t groupSize = 0;      // its length
    const BYTE* sacl = nullptr;     // SACL, null when absent or a NULL SACL
    std::size_t saclSize = 0;       // its AclSize
    const BYTE* dacl = nullptr;     // DACL, null when absent or a NULL DACL
    std::size_t daclSize = 0;       // its AclSize
    bool selfRelative = false;      // the form it was read from
};

// Reads a descriptor of either form.  length 0: trust the pointers (the
// bare-pointer calls).  length > 0: the descriptor must be self-relative and
// everything must lie inside length bytes.  checkSids as in WalkAcl.
bool ReadDescriptor(const void* sd, std::size_t length, bool checkSids, DescriptorParts* parts);

// Size of the self-relative form of parts (each part rounded up to 4).
std::size_t SelfRelativeSize(const DescriptorParts& parts);

// Writes the self-relative form into out, which has SelfRelativeSize bytes.
void BuildSelfRelative(const DescriptorParts& parts, BYTE* out);

}  // namespace platform::detail
