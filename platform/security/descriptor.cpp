// Security descriptors in absolute form (the parts are pointed to) and
// self-relative form (the parts follow the 20-byte header, found by offset):
// reading, editing the absolute form, converting between the two, and
// validating untrusted self-relative bytes.
//
// Guarantees:
//   1. Setters work on the absolute form only; a self-relative descriptor is
//      refused with ERROR_INVALID_SECURITY_DESCR, as it cannot grow in place.
//   2. MakeAbsoluteSD refuses an absolute input with
//      ERROR_BAD_DESCRIPTOR_FORMAT before looking at any size, and when any
//      buffer is too small reports all five sizes and writes no buffer.
//   3. GetSecurityDescriptorLength of a self-relative descriptor is the end
//      of its last part, so copying that many bytes never cuts a part off,
//      whatever order or gaps the parts were written with.
//   4. IsValidSelfRelative reads nothing outside the length it is given.
#include <algorithm>
#include <cstring>

#include "platform/errors.h"
#include "platform/security.h"
#include "security/descriptor.h"
#include "security/formats.h"

namespace platform::detail {

namespace {

std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

// A SID inside a self-relative buffer; with length 0 the caller vouches.
bool ReadSidPart(const BYTE* base, std::size_t length, DWORD offset, const BYTE** sid, std::size_t* size) {
    *sid = nullptr;
    *size = 0;
    if (offset == 0) return true;
    std::size_t avail = kSidHeaderSize + 4u * SID_MAX_SUB_AUTHORITIES;
    if (length != 0) {
        if (offset < kRelativeHeaderSize || offset >= length) return false;
        avail = length - offset;
    }
    *size = SidSize(base + offset, avail);
    *sid = base + offset;
    return *size != 0;
}

bool ReadAclAt(const BYTE* acl, std::size_t avail, bool checkSids, std::size_t* size) {
    AclLayout layout;
    if (!WalkAcl(acl, avail, checkSids, &layout)) return false;
    *size = layout.aclSize;
    return true;
}

// A list reached through a pointer the caller vouches for: bounded by its
// own AclSize.
bool ReadTrustedAcl(const BYTE* acl, bool checkSids, std::size_t* size) {
    std::size_t avail = LoadU16(acl + 2);
    return avail >= kAclHeaderSize && ReadAclAt(acl, avail, checkSids, size);
}

bool ReadAclPart(const BYTE* base, std::size_t length, DWORD offset, bool checkSids, const BYTE** acl,
                 std::size_t* size) {
    *acl = nullptr;
    *size = 0;
    if (offset == 0) return true;
    *acl = base + offset;
    if (length == 0) return ReadTrustedAcl(*acl, checkSids, size);
    if (offset < kRelativeHeaderSize || offset >= length) return false;
    return ReadAclAt(*acl, length - offset, checkSids, size);
}

}  // namespace

bool ReadDescriptor(const void* sd, std::size_t length, bool checkSids, DescriptorParts* parts) {
    if (sd == nullptr) return false;
    const BYTE* p = static_cast<const BYTE*>(sd);
    if (length != 0 && length < kRelativeHeaderSize) return false;
    if (p[0] != SECURITY_DESCRIPTOR_REVISION) return false;
    WORD control = LoadU16(p + 2);
    DescriptorParts result;
    result.control = control & static_cast<WORD>(~SE_SELF_RELATIVE);
    result.selfRelative = (control & SE_SELF_RELATIVE) != 0;
    if (result.selfRelative) {
        if (!ReadSidPart(p, length, LoadU32(p + 4), &result.owner, &result.ownerSize)) return false;
        if (!ReadSidPart(p, length, LoadU32(p + 8), &result.group, &result.groupSize)) return false;
        // An offset whose present bit is clear does not name a list.
        DWORD sacl = (control & SE_SACL_PRESENT) ? LoadU32(p + 12) : 0;
        DWORD dacl = (control & SE_DACL_PRESENT) ? LoadU32(p + 16) : 0;
        if (!ReadAclPart(p, length, sacl, checkSids, &result.sacl, &result.saclSize)) return false;
        if (!ReadAclPart(p, length, dacl, checkSids, &result.dacl, &result.daclSize)) return false;
    } else {
        if (length != 0) return false;  // bytes from outside are never pointers
        SECURITY_DESCRIPTOR abs;
        std::memcpy(&abs, sd, sizeof abs);
        const std::size_t sidAvail = kSidHeaderSize + 4u * SID_MAX_SUB_AUTHORITIES;
        if (abs.Owner != nullptr) {
            result.owner = static_cast<const BYTE*>(abs.Owner);
            if ((result.ownerSize = SidSize(result.owner, sidAvail)) == 0) return false;
        }
        if (abs.Group != nullptr) {
            result.group = static_cast<const BYTE*>(abs.Group);
            if ((result.groupSize = SidSize(result.group, sidAvail)) == 0) return false;
        }
        if ((control & SE_SACL_PRESENT) && abs.Sacl != nullptr) {
            result.sacl = reinterpret_cast<const BYTE*>(abs.Sacl);
            if (!ReadTrustedAcl(result.sacl, checkSids, &result.saclSize)) return false;
        }
        if ((control & SE_DACL_PRESENT) && abs.Dacl != nullptr) {
            result.dacl = reinterpret_cast<const BYTE*>(abs.Dacl);
            if (!ReadTrustedAcl(result.dacl, checkSids, &result.daclSize)) return false;
        }
    }
    *parts = result;
    return true;
}

namespace {

// Offsets of each part in the self-relative layout; 0 for an absent part.
struct RelativeLayout {
    DWORD owner = 0, group = 0, sacl = 0, dacl = 0;  // offsets from the start
    std::size_t total = kRelativeHeaderSize;         // bytes in all
};

RelativeLayout LayOut(const DescriptorParts& parts) {
    RelativeLayout layout;
    auto place = [&layout](const BYTE* part, std::size_t size, DWORD* offset) {
        if (part == nullptr) return;
        layout.total = Align4(layout.total);
        *offset = static_cast<DWORD>(layout.total);
        layout.total += size;
    };
    place(parts.owner, parts.ownerSize, &layout.owner);
    place(parts.group, parts.groupSize, &layout.group);
    place(parts.sacl, parts.saclSize, &layout.sacl);
    place(parts.dacl, parts.daclSize, &layout.dacl);
    return layout;
}

}  // namespace

std::size_t SelfRelativeSize(const DescriptorParts& parts) { return LayOut(parts).total; }

void BuildSelfRelative(const DescriptorParts& parts, BYTE* out) {
    RelativeLayout layout = LayOut(parts);
    std::memset(out, 0, layout.total);
    out[0] = SECURITY_DESCRIPTOR_REVISION;
    StoreU16(out + 2, static_cast<WORD>(parts.control | SE_SELF_RELATIVE));
    StoreU32(out + 4, layout.owner);
    StoreU32(out + 8, layout.group);
    StoreU32(out + 12, layout.sacl);
    StoreU32(out + 16, layout.dacl);
    if (parts.owner) std::memcpy(out + layout.owner, parts.owner, parts.ownerSize);
    if (parts.group) std::memcpy(out + layout.group, parts.group, parts.groupSize);
    if (parts.sacl) std::memcpy(out + layout.sacl, parts.sacl, parts.saclSize);
    if (parts.dacl) std::memcpy(out + layout.dacl, parts.dacl, parts.daclSize);
}

}  // namespace platform::detail

using platform::detail::DescriptorParts;
using platform::detail::LoadU16;
using platform::detail::ReadDescriptor;
using platform::detail::StoreU16;

namespace {

// The absolute header of a descriptor the caller may edit; fails with the
// platform's codes for a missing, unknown-revision or self-relative one.
bool LoadAbsolute(PSECURITY_DESCRIPTOR sd, SECURITY_DESCRIPTOR* abs) {
    if (sd == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::memcpy(abs, sd, sizeof *abs);
    if (abs->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return false;
    }
    if (abs->Control & SE_SELF_RELATIVE) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return false;
    }
    return true;
}

void StoreAbsolute(PSECURITY_DESCRIPTOR sd, const SECURITY_DESCRIPTOR& abs) { std::memcpy(sd, &abs, sizeof abs); }

bool ReadForQuery(PSECURITY_DESCRIPTOR sd, DescriptorParts* parts) {
    if (sd == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (static_cast<const BYTE*>(sd)[0] != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return false;
    }
    if (!ReadDescriptor(sd, 0, false, parts)) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return false;
    }
    return true;
}

void SetBit(WORD& control, WORD bit, bool on) {
    control = on ? static_cast<WORD>(control | bit) : static_cast<WORD>(control & ~bit);
}

}  // namespace

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision) {
    if (sd == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    SECURITY_DESCRIPTOR abs{};
    abs.Revision = SECURITY_DESCRIPTOR_REVISION;
    StoreAbsolute(sd, abs);
    return TRUE;
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR sd) {
    DescriptorParts parts;
    if (sd == nullptr || !ReadDescriptor(sd, 0, true, &parts)) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return FALSE;
    }
    return TRUE;
}

DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR sd) {
    DescriptorParts parts;
    if (!ReadForQuery(sd, &parts)) return 0;
    if (!parts.selfRelative) {
        return static_cast<DWORD>(SECURITY_DESCRIPTOR_MIN_LENGTH + platform::detail::SelfRelativeSize(parts) -
                                  platform::detail::kRelativeHeaderSize);
    }
    const BYTE* base = static_cast<const BYTE*>(sd);
    std::size_t end = platform::detail::kRelativeHeaderSize;
    auto extend = [&](const BYTE* part, std::size_t size) {
        if (part != nullptr) end = std::max(end, static_cast<std::size_t>(part - base) + size);
    };
    extend(parts.owner, parts.ownerSize);
    extend(parts.group, parts.groupSize);
    extend(parts.sacl, parts.saclSize);
    extend(parts.dacl, parts.daclSize);
    return static_cast<DWORD>(end);
}

BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR sd, SECURITY_DESCRIPTOR_CONTROL* control,
                                  LPDWORD revision) {
    if (sd == nullptr || control == nullptr || revision == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const BYTE* p = static_cast<const BYTE*>(sd);
    *revision = p[0];
    if (p[0] != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    *control = LoadU16(p + 2);
    return TRUE;
}

BOOL SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR sd, SECURITY_DESCRIPTOR_CONTROL bitsOfInterest,
                                  SECURITY_DESCRIPTOR_CONTROL bitsToSet) {
    // Only the inheritance bits may be set this way; presence and form bits
    // follow from the parts themselves.
    constexpr WORD kSettable = SE_DACL_AUTO_INHERIT_REQ | SE_SACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED |
                               SE_SACL_AUTO_INHERITED | SE_DACL_PROTECTED | SE_SACL_PROTECTED;
    if (sd == nullptr || ((bitsOfInterest | bitsToSet) & ~kSettable)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BYTE* p = static_cast<BYTE*>(sd);
    if (p[0] != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    WORD control = LoadU16(p + 2);
    control = static_cast<WORD>((control & ~bitsOfInterest) | (bitsToSet & bitsOfInterest));
    StoreU16(p + 2, control);
    return TRUE;
}

BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID* owner, LPBOOL defaulted) {
    DescriptorParts parts;
    if (owner == nullptr || defaulted == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ReadForQuery(sd, &parts)) return FALSE;
    *owner = const_cast<BYTE*>(parts.owner);
    *defaulted = (parts.control & SE_OWNER_DEFAULTED) ? TRUE : FALSE;
    return TRUE;
}

BOOL GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR sd, PSID* group, LPBOOL defaulted) {
    DescriptorParts parts;
    if (group == nullptr || defaulted == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ReadForQuery(sd, &parts)) return FALSE;
    *group = const_cast<BYTE*>(parts.group);
    *defaulted = (parts.control & SE_GROUP_DEFAULTED) ? TRUE : FALSE;
    return TRUE;
}

// Absent lists come back as not present with a null pointer and not
// defaulted, so a caller never reads an uninitialised pointer.
BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, LPBOOL present, PACL* dacl, LPBOOL defaulted) {
    DescriptorParts parts;
    if (present == nullptr || dacl == nullptr || defaulted == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ReadForQuery(sd, &parts)) return FALSE;
    *present = (parts.control & SE_DACL_PRESENT) ? TRUE : FALSE;
    *dacl = reinterpret_cast<PACL>(const_cast<BYTE*>(parts.dacl));
    *defaulted = (*present && (parts.control & SE_DACL_DEFAULTED)) ? TRUE : FALSE;
    return TRUE;
}

BOOL GetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR sd, LPBOOL present, PACL* sacl, LPBOOL defaulted) {
    DescriptorParts parts;
    if (present == nullptr || sacl == nullptr || defaulted == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ReadForQuery(sd, &parts)) return FALSE;
    *present = (parts.control & SE_SACL_PRESENT) ? TRUE : FALSE;
    *sacl = reinterpret_cast<PACL>(const_cast<BYTE*>(parts.sacl));
    *defaulted = (*present && (parts.control & SE_SACL_DEFAULTED)) ? TRUE : FALSE;
    return TRUE;
}

BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID owner, BOOL defaulted) {
    SECURITY_DESCRIPTOR abs;
    if (!LoadAbsolute(sd, &abs)) return FALSE;
    if (owner != nullptr && !IsValidSid(owner)) return FALSE;
    abs.Owner = owner;
    SetBit(abs.Control, SE_OWNER_DEFAULTED, defaulted != FALSE);
    StoreAbsolute(sd, abs);
    return TRUE;
}

BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR sd, PSID group, BOOL defaulted) {
    SECURITY_DESCRIPTOR abs;
    if (!LoadAbsolute(sd, &abs)) return FALSE;
    if (group != nullptr && !IsValidSid(group)) return FALSE;
    abs.Group = group;
    SetBit(abs.Control, SE_GROUP_DEFAULTED, defaulted != FALSE);
    StoreAbsolute(sd, abs);
    return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL dacl, BOOL defaulted) {
    SECURITY_DESCRIPTOR abs;
    if (!LoadAbsolute(sd, &abs)) return FALSE;
    abs.Dacl = present ? dacl : nullptr;
    SetBit(abs.Control, SE_DACL_PRESENT, present != FALSE);
    SetBit(abs.Control, SE_DACL_DEFAULTED, present && defaulted);
    StoreAbsolute(sd, abs);
    return TRUE;
}

BOOL SetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL sacl, BOOL defaulted) {
    SECURITY_DESCRIPTOR abs;
    if (!LoadAbsolute(sd, &abs)) return FALSE;
    abs.Sacl = present ? sacl : nullptr;
    SetBit(abs.Control, SE_SACL_PRESENT, present != FALSE);
    SetBit(abs.Control, SE_SACL_DEFAULTED, present && defaulted);
    StoreAbsolute(sd, abs);
    return TRUE;
}

BOOL MakeAbsoluteSD(PSECURITY_DESCRIPTOR selfRelative, PSECURITY_DESCRIPTOR absolute, LPDWORD absoluteSize,
                    PACL dacl, LPDWORD daclSize, PACL sacl, LPDWORD saclSize, PSID owner, LPDWORD ownerSize,
                    PSID group, LPDWORD groupSize) {
    if (selfRelative == nullptr || absoluteSize == nullptr || daclSize == nullptr || saclSize == nullptr ||
        ownerSize == nullptr || groupSize == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const BYTE* p = static_cast<const BYTE*>(selfRelative);
    if (p[0] != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    // Callers rely on this code to recognise a descriptor that is already
    // absolute, so it comes before any size is looked at.
    if (!(LoadU16(p + 2) & SE_SELF_RELATIVE)) {
        SetLastError(ERROR_BAD_DESCRIPTOR_FORMAT);
        return FALSE;
    }
    DescriptorParts parts;
    if (!ReadDescriptor(selfRelative, 0, false, &parts)) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return FALSE;
    }
    const DWORD need[5] = {SECURITY_DESCRIPTOR_MIN_LENGTH, static_cast<DWORD>(parts.daclSize),
                           static_cast<DWORD>(parts.saclSize), static_cast<DWORD>(parts.ownerSize),
                           static_cast<DWORD>(parts.groupSize)};
    DWORD* have[5] = {absoluteSize, daclSize, saclSize, ownerSize, groupSize};
    bool tooSmall = false;
    for (int i = 0; i < 5; ++i) tooSmall = tooSmall || *have[i] < need[i];
    if (tooSmall) {
        for (int i = 0; i < 5; ++i) *have[i] = need[i];
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (absolute == nullptr || (parts.dacl && dacl == nullptr) || (parts.sacl && sacl == nullptr) ||
        (parts.owner && owner == nullptr) || (parts.group && group == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SECURITY_DESCRIPTOR abs{};
    abs.Revision = SECURITY_DESCRIPTOR_REVISION;
    abs.Control = parts.control;
    if (parts.owner) {
        std::memmove(owner, parts.owner, parts.ownerSize);
        abs.Owner = owner;
    }
    if (parts.group) {
        std::memmove(group, parts.group, parts.groupSize);
        abs.Group = group;
    }
    if (parts.sacl) {
        std::memmove(sacl, parts.sacl, parts.saclSize);
        abs.Sacl = sacl;
    }
    if (parts.dacl) {
        std::memmove(dacl, parts.dacl, parts.daclSize);
        abs.Dacl = dacl;
    }
    StoreAbsolute(absolute, abs);
    return TRUE;
}

BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR absolute, PSECURITY_DESCRIPTOR selfRelative, LPDWORD length) {
    if (absolute == nullptr || length == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const BYTE* p = static_cast<const BYTE*>(absolute);
    if (p[0] != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    if (LoadU16(p + 2) & SE_SELF_RELATIVE) {
        SetLastError(ERROR_BAD_DESCRIPTOR_FORMAT);
        return FALSE;
    }
    DescriptorParts parts;
    if (!ReadDescriptor(absolute, 0, false, &parts)) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return FALSE;
    }
    std::size_t need = platform::detail::SelfRelativeSize(parts);
    if (*length < need) {
        *length = static_cast<DWORD>(need);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (selfRelative == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    platform::detail::BuildSelfRelative(parts, static_cast<BYTE*>(selfRelative));
    return TRUE;
}

namespace platform {

bool IsValidSelfRelative(const void* data, std::size_t length) {
    DescriptorParts parts;
    return length != 0 && detail::ReadDescriptor(data, length, true, &parts);
}

bool ToSelfRelative(const void* sd, std::vector<BYTE>& out) {
    DescriptorParts parts;
    if (!detail::ReadDescriptor(sd, 0, true, &parts)) return false;
    std::vector<BYTE> bytes(detail::SelfRelativeSize(parts));
    detail::BuildSelfRelative(parts, bytes.data());
    out = std::move(bytes);
    return true;
}

}  // namespace platform
