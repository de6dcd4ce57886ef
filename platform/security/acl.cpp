// Access lists of revision 2 (and 4): creation, validation, adding, reading
// and deleting entries, and size information.
//
// An ACL is an 8-byte header (revision, padding, AclSize, AceCount, padding)
// followed by AceCount entries packed from offset 8, each starting with a
// 4-byte header whose AceSize is a multiple of 4.  Bytes past the last entry
// up to AclSize are free space.  Guarantees:
//   1. Every call walks the list inside its own AclSize before touching it,
//      so a list with a lying count or size is refused, never overrun.
//   2. AddAce either inserts all the given entries or changes nothing;
//      a list without room fails with ERROR_ALLOTTED_SPACE_EXCEEDED.
//   3. DeleteAce zeroes the bytes it frees, so a list's free space never
//      holds stale entries.
#include <cstring>
#include <vector>

#include "platform/errors.h"
#include "platform/security.h"
#include "security/descriptor.h"
#include "security/formats.h"

namespace platform::detail {

std::size_t CheckAce(const BYTE* ace, std::size_t avail, bool checkSids) {
    if (avail < kAceHeaderSize) return 0;
    std::size_t aceSize = LoadU16(ace + 2);
    if (aceSize < kAceHeaderSize || aceSize % 4 != 0 || aceSize > avail) return 0;
    if (AceHasSid(ace[0])) {
        // Mask plus at least a SID header; a SID that claims a count must
        // fit, so readers of a structurally checked list stay in bounds.
        if (aceSize < 8 + kSidHeaderSize) return 0;
        const BYTE* sid = ace + 8;
        if (checkSids) {
            if (SidSize(sid, aceSize - 8) == 0) return 0;
        } else if (sid[0] == SID_REVISION && sid[1] <= SID_MAX_SUB_AUTHORITIES &&
                   kSidHeaderSize + 4u * sid[1] > aceSize - 8) {
            return 0;
        }
    }
    return aceSize;
}

bool WalkAcl(const BYTE* acl, std::size_t avail, bool checkSids, AclLayout* layout) {
    if (acl == nullptr || avail < kAclHeaderSize) return false;
    if (acl[0] < ACL_REVISION || acl[0] > ACL_REVISION_DS) return false;
    std::size_t aclSize = LoadU16(acl + 2);
    std::size_t count = LoadU16(acl + 4);
    if (aclSize < kAclHeaderSize || aclSize > avail) return false;
    if (layout != nullptr) {
        layout->starts.clear();
        layout->starts.reserve(count);
    }
    std::size_t offset = kAclHeaderSize;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t aceSize = CheckAce(acl + offset, aclSize - offset, checkSids);
        if (aceSize == 0) return false;
        if (layout != nullptr) layout->starts.push_back(offset);
        offset += aceSize;
    }
    if (layout != nullptr) {
        layout->aclSize = aclSize;
        layout->bytesInUse = offset;
    }
    return true;
}

}  // namespace platform::detail

using platform::detail::AclLayout;
using platform::detail::kAceHeaderSize;
using platform::detail::kAclHeaderSize;
using platform::detail::LoadU16;
using platform::detail::StoreU16;
using platform::detail::StoreU32;

namespace {

// Walks a list reached through a bare pointer: its own AclSize is the bound.
bool TrustedWalk(const void* acl, bool checkSids, AclLayout* layout) {
    if (acl == nullptr) return false;
    const BYTE* p = static_cast<const BYTE*>(acl);
    std::size_t avail = LoadU16(p + 2);
    if (avail < kAclHeaderSize) return false;
    return platform::detail::WalkAcl(p, avail, checkSids, layout);
}

bool ValidRevision(DWORD revision) { return revision >= ACL_REVISION && revision <= ACL_REVISION_DS; }

// Adds one entry of a SID-bearing kind at the end of the list.
BOOL AddSidAce(PACL acl, DWORD revision, BYTE type, DWORD flags, DWORD mask, PSID sid) {
    if (!IsValidSid(sid)) return FALSE;
    DWORD sidLength = GetLengthSid(sid);
    std::vector<BYTE> ace(8 + sidLength);
    ace[0] = type;
    ace[1] = static_cast<BYTE>(flags);
    StoreU16(ace.data() + 2, static_cast<WORD>(ace.size()));
    StoreU32(ace.data() + 4, mask);
    std::memcpy(ace.data() + 8, sid, sidLength);
    return AddAce(acl, revision, MAXDWORD, ace.data(), static_cast<DWORD>(ace.size()));
}

// The inheritance flags an allowed or denied entry may carry.
constexpr DWORD kInheritFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE |
                                INHERIT_ONLY_ACE | INHERITED_ACE;

}  // namespace

BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) {
    if (acl == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (length < kAclHeaderSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (length > 0xFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ValidRevision(revision)) {
        SetLastError(ERROR_REVISION_MISMATCH);
        return FALSE;
    }
    BYTE* p = reinterpret_cast<BYTE*>(acl);
    p[0] = static_cast<BYTE>(revision);
    p[1] = 0;
    StoreU16(p + 2, static_cast<WORD>(length));
    StoreU16(p + 4, 0);
    StoreU16(p + 6, 0);
    return TRUE;
}

BOOL IsValidAcl(PACL acl) {
    if (!TrustedWalk(acl, true, nullptr)) {
        SetLastError(ERROR_INVALID_ACL);
        return FALSE;
    }
    return TRUE;
}

BOOL AddAce(PACL acl, DWORD revision, DWORD startingIndex, LPVOID aceList, DWORD aceListLength) {
    AclLayout layout;
    if (!TrustedWalk(acl, false, &layout)) {
        SetLastError(ERROR_INVALID_ACL);
        return FALSE;
    }
    if (!ValidRevision(revision)) {
        SetLastError(ERROR_REVISION_MISMATCH);
        return FALSE;
    }
    if (aceList == nullptr && aceListLength != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The new entries must tile aceListLength exactly; copy them first, since
    // a caller may hand in an entry of this very list.
    std::vector<BYTE> added(static_cast<const BYTE*>(aceList),
                            static_cast<const BYTE*>(aceList) + (aceList ? aceListLength : 0));
    std::size_t newCount = 0;
    for (std::size_t offset = 0; offset < added.size(); ++newCount) {
        std::size_t size = platform::detail::CheckAce(added.data() + offset, added.size() - offset, false);
        if (size == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        offset += size;
    }
    BYTE* p = reinterpret_cast<BYTE*>(acl);
    std::size_t count = layout.starts.size();
    if (added.size() > layout.aclSize - layout.bytesInUse || count + newCount > 0xFFFF) {
        SetLastError(ERROR_ALLOTTED_SPACE_EXCEEDED);
        return FALSE;
    }
    std::size_t at = startingIndex < count ? layout.starts[startingIndex] : layout.bytesInUse;
    std::memmove(p + at + added.size(), p + at, layout.bytesInUse - at);
    if (!added.empty()) std::memcpy(p + at, added.data(), added.size());
    StoreU16(p + 4, static_cast<WORD>(count + newCount));
    if (revision > p[0]) p[0] = static_cast<BYTE>(revision);
    return TRUE;
}

BOOL GetAce(PACL acl, DWORD index, LPVOID* ace) {
    AclLayout layout;
    if (!TrustedWalk(acl, false, &layout)) {
        SetLastError(ERROR_INVALID_ACL);
        return FALSE;
    }
    if (ace == nullptr || index >= layout.starts.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *ace = reinterpret_cast<BYTE*>(acl) + layout.starts[index];
    return TRUE;
}

BOOL DeleteAce(PACL acl, DWORD index) {
    AclLayout layout;
    if (!TrustedWalk(acl, false, &layout)) {
        SetLastError(ERROR_INVALID_ACL);
        return FALSE;
    }
    if (index >= layout.starts.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BYTE* p = reinterpret_cast<BYTE*>(acl);
    std::size_t at = layout.starts[index];
    std::size_t size = LoadU16(p + at + 2);
    std::memmove(p + at, p + at + size, layout.bytesInUse - at - size);
    std::memset(p + layout.bytesInUse - size, 0, size);
    StoreU16(p + 4, static_cast<WORD>(layout.starts.size() - 1));
    return TRUE;
}

BOOL GetAclInformation(PACL acl, LPVOID info, DWORD length, ACL_INFORMATION_CLASS infoClass) {
    AclLayout layout;
    if (!TrustedWalk(acl, false, &layout)) {
        SetLastError(ERROR_INVALID_ACL);
        return FALSE;
    }
    if (info == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    switch (infoClass) {
        case AclSizeInformation: {
            if (length < sizeof(ACL_SIZE_INFORMATION)) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return FALSE;
            }
            ACL_SIZE_INFORMATION sizes{static_cast<DWORD>(layout.starts.size()),
                                       static_cast<DWORD>(layout.bytesInUse),
                                       static_cast<DWORD>(layout.aclSize - layout.bytesInUse)};
            std::memcpy(info, &sizes, sizeof sizes);
            return TRUE;
        }
        case AclRevisionInformation: {
            if (length < sizeof(ACL_REVISION_INFORMATION)) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return FALSE;
            }
            ACL_REVISION_INFORMATION revision{reinterpret_cast<const BYTE*>(acl)[0]};
            std::memcpy(info, &revision, sizeof revision);
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) {
    return AddSidAce(acl, revision, ACCESS_ALLOWED_ACE_TYPE, 0, mask, sid);
}

BOOL AddAccessAllowedAceEx(PACL acl, DWORD revision, DWORD flags, DWORD mask, PSID sid) {
    if (flags & ~kInheritFlags) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return AddSidAce(acl, revision, ACCESS_ALLOWED_ACE_TYPE, flags, mask, sid);
}

BOOL AddAccessDeniedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) {
    return AddSidAce(acl, revision, ACCESS_DENIED_ACE_TYPE, 0, mask, sid);
}

BOOL AddAccessDeniedAceEx(PACL acl, DWORD revision, DWORD flags, DWORD mask, PSID sid) {
    if (flags & ~kInheritFlags) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return AddSidAce(acl, revision, ACCESS_DENIED_ACE_TYPE, flags, mask, sid);
}

BOOL AddAuditAccessAceEx(PACL acl, DWORD revision, DWORD flags, DWORD mask, PSID sid, BOOL auditSuccess,
                         BOOL auditFailure) {
    if (flags & ~kInheritFlags) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (auditSuccess) flags |= SUCCESSFUL_ACCESS_ACE_FLAG;
    if (auditFailure) flags |= FAILED_ACCESS_ACE_FLAG;
    return AddSidAce(acl, revision, SYSTEM_AUDIT_ACE_TYPE, flags, mask, sid);
}

namespace platform {

bool IsValidAclBytes(const void* data, std::size_t length) {
    return detail::WalkAcl(static_cast<const BYTE*>(data), length, true, nullptr);
}

}  // namespace platform
