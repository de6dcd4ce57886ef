// The access check: a token against a self-relative descriptor, for the
// rights an open asks for.
//
// Domain rules kept here, beyond the list in access_check.h:
//   - Generic bits inside entries are mapped through the same mapping as
//     the desired mask, so an entry written "GA" in the string form grants
//     the object kind's full rights; the list is taken as it is stored.
//   - Rights the owner holds implicitly, and WRITE_OWNER through the
//     take-ownership privilege, are decided before the list is walked, so a
//     denied entry cannot take them away.
//   - MAXIMUM_ALLOWED grants whatever the list allows, but never
//     ACCESS_SYSTEM_SECURITY unless that bit was asked for as well; it fails
//     when nothing at all would be granted.
//   - A desired mask of 0 is granted with nothing.
#include <algorithm>
#include <cstring>

#include "platform/errors.h"
#include "security/access_check.h"
#include "security/formats.h"

namespace platform {

const GENERIC_MAPPING kKeyGenericMapping = {KEY_READ, KEY_WRITE, KEY_EXECUTE, KEY_ALL_ACCESS};
const GENERIC_MAPPING kFileGenericMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                                             FILE_ALL_ACCESS};
const GENERIC_MAPPING kShareGenericMapping = kFileGenericMapping;

bool AccessToken::HasEnabledPrivilege(DWORD luid) const {
    return std::any_of(privileges.begin(), privileges.end(),
                       [luid](const TokenPrivilege& p) { return p.luid == luid && p.enabled; });
}

bool AccessToken::HoldsSid(const void* sid) const {
    const BYTE* p = static_cast<const BYTE*>(sid);
    std::size_t size = detail::SidSize(p, detail::kSidHeaderSize + 4u * SID_MAX_SUB_AUTHORITIES);
    if (size == 0) return false;
    auto matches = [p, size](const std::vector<BYTE>& held) {
        return held.size() >= size && detail::SidSize(held.data(), held.size()) == size &&
               std::memcmp(held.data(), p, size) == 0;
    };
    return matches(user) || std::any_of(groups.begin(), groups.end(), matches);
}

namespace {

ACCESS_MASK MapGeneric(ACCESS_MASK mask, const GENERIC_MAPPING& mapping) {
    ACCESS_MASK mapped = mask & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (mask & GENERIC_READ) mapped |= mapping.GenericRead;
    if (mask & GENERIC_WRITE) mapped |= mapping.GenericWrite;
    if (mask & GENERIC_EXECUTE) mapped |= mapping.GenericExecute;
    if (mask & GENERIC_ALL) mapped |= mapping.GenericAll;
    return mapped;
}

}  // namespace

DWORD CheckAccess(const void* sd, std::size_t length, const AccessToken& token, ACCESS_MASK desired,
                  const GENERIC_MAPPING& mapping, ACCESS_MASK* granted) {
    detail::DescriptorParts parts;
    if (sd == nullptr || length == 0 || !detail::ReadDescriptor(sd, length, true, &parts))
        return ERROR_INVALID_SECURITY_DESCR;

    const bool maximum = (desired & MAXIMUM_ALLOWED) != 0;
    ACCESS_MASK wanted = MapGeneric(desired & ~MAXIMUM_ALLOWED, mapping);
    ACCESS_MASK result = 0;

    if (wanted & ACCESS_SYSTEM_SECURITY) {
        if (!token.HasEnabledPrivilege(SE_SECURITY_PRIVILEGE)) return ERROR_PRIVILEGE_NOT_HELD;
        result |= ACCESS_SYSTEM_SECURITY;
        wanted &= ~ACCESS_SYSTEM_SECURITY;
    }

    // The rights still to be decided by the list: what was asked, or
    // everything the list could name when the most allowed is asked for.
    ACCESS_MASK open = maximum ? ~(ACCESS_SYSTEM_SECURITY | MAXIMUM_ALLOWED) : wanted;

    if ((open & WRITE_OWNER) && token.HasEnabledPrivilege(SE_TAKE_OWNERSHIP_PRIVILEGE)) {
        result |= WRITE_OWNER;
        open &= ~WRITE_OWNER;
    }
    if (parts.owner != nullptr && token.HoldsSid(parts.owner)) {
        result |= open & (READ_CONTROL | WRITE_DAC);
        open &= ~(READ_CONTROL | WRITE_DAC);
    }

    if (parts.dacl == nullptr) {
        // No list (absent or NULL) protects nothing.
        result |= maximum ? (open & MapGeneric(GENERIC_ALL, mapping)) | wanted : open;
        open = 0;
    } else {
        detail::AclLayout layout;
        detail::WalkAcl(parts.dacl, parts.daclSize, true, &layout);
        for (std::size_t start : layout.starts) {
            if (open == 0) break;
            const BYTE* ace = parts.dacl + start;
            BYTE type = ace[0];
            if ((type != ACCESS_ALLOWED_ACE_TYPE && type != ACCESS_DENIED_ACE_TYPE) ||
                (ace[1] & INHERIT_ONLY_ACE) || !token.HoldsSid(ace + 8))
                continue;
            ACCESS_MASK named = MapGeneric(detail::LoadU32(ace + 4), mapping) & open;
            if (type == ACCESS_ALLOWED_ACE_TYPE) result |= named;
            open &= ~named;
        }
    }

    if (maximum) {
        if ((wanted & ~result) != 0 || result == 0) return ERROR_ACCESS_DENIED;
    } else if ((wanted & ~result) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (granted != nullptr) *granted = result;
    return ERROR_SUCCESS;
}

}  // namespace platform
