// Security identifiers: validation, length, comparison, copying and
// construction, plus the S-1-... text form.
//
// A SID is a revision byte (1), a sub-authority count (0..15), a 48-bit
// big-endian identifier authority and that many little-endian 32-bit
// sub-authorities.  The bare-pointer calls trust the caller for the first
// eight bytes and then for as many sub-authorities as the count says, as the
// platform does; the *Bytes forms take a length and never read past it.
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/security.h"
#include "security/descriptor.h"
#include "security/formats.h"
#include "security/sddl.h"

namespace platform::detail {

std::size_t SidSize(const BYTE* p, std::size_t avail) {
    if (p == nullptr || avail < kSidHeaderSize) return 0;
    if (p[0] != SID_REVISION || p[1] > SID_MAX_SUB_AUTHORITIES) return 0;
    std::size_t size = kSidHeaderSize + 4u * p[1];
    return size <= avail ? size : 0;
}

}  // namespace platform::detail

using platform::detail::LoadU32;
using platform::detail::SidSize;

namespace {

const BYTE* AsBytes(const void* p) { return static_cast<const BYTE*>(p); }

// Length of a SID reached through a bare pointer; 0 when malformed.
std::size_t TrustedSidSize(const void* sid) {
    return SidSize(AsBytes(sid), platform::detail::kSidHeaderSize + 4u * SID_MAX_SUB_AUTHORITIES);
}

}  // namespace

BOOL IsValidSid(PSID sid) {
    if (TrustedSidSize(sid) == 0) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    return TRUE;
}

DWORD GetLengthSid(PSID sid) {
    std::size_t size = TrustedSidSize(sid);
    if (size == 0) SetLastError(ERROR_INVALID_SID);
    return static_cast<DWORD>(size);
}

BOOL EqualSid(PSID a, PSID b) {
    std::size_t sizeA = TrustedSidSize(a);
    std::size_t sizeB = TrustedSidSize(b);
    if (sizeA == 0 || sizeB == 0) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    // The platform clears the last error on a clean comparison so that a
    // FALSE result can be told apart from a malformed argument.
    SetLastError(ERROR_SUCCESS);
    return sizeA == sizeB && std::memcmp(a, b, sizeA) == 0 ? TRUE : FALSE;
}

BOOL CopySid(DWORD destLength, PSID dest, PSID source) {
    std::size_t size = TrustedSidSize(source);
    if (size == 0) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    if (destLength < size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (dest == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memmove(dest, source, size);
    return TRUE;
}

DWORD GetSidLengthRequired(UCHAR subAuthorityCount) {
    return static_cast<DWORD>(platform::detail::kSidHeaderSize + 4u * subAuthorityCount);
}

BOOL InitializeSid(PSID sid, SID_IDENTIFIER_AUTHORITY* authority, BYTE subAuthorityCount) {
    if (sid == nullptr || authority == nullptr || subAuthorityCount > SID_MAX_SUB_AUTHORITIES) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BYTE* p = static_cast<BYTE*>(sid);
    p[0] = SID_REVISION;
    p[1] = subAuthorityCount;
    std::memcpy(p + 2, authority->Value, 6);
    // Sub-authorities start at zero; callers fill them through GetSidSubAuthority.
    std::memset(p + 8, 0, 4u * subAuthorityCount);
    return TRUE;
}

DWORD* GetSidSubAuthority(PSID sid, DWORD index) {
    if (TrustedSidSize(sid) == 0 || index >= static_cast<const BYTE*>(sid)[1]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return reinterpret_cast<DWORD*>(static_cast<BYTE*>(sid) + 8 + 4u * index);
}

UCHAR* GetSidSubAuthorityCount(PSID sid) {
    if (TrustedSidSize(sid) == 0) {
        SetLastError(ERROR_INVALID_SID);
        return nullptr;
    }
    return static_cast<UCHAR*>(sid) + 1;
}

SID_IDENTIFIER_AUTHORITY* GetSidIdentifierAuthority(PSID sid) {
    if (TrustedSidSize(sid) == 0) {
        SetLastError(ERROR_INVALID_SID);
        return nullptr;
    }
    return reinterpret_cast<SID_IDENTIFIER_AUTHORITY*>(static_cast<BYTE*>(sid) + 2);
}

BOOL AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY* authority, BYTE count, DWORD s0, DWORD s1, DWORD s2,
                              DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID* sid) {
    if (authority == nullptr || sid == nullptr || count > 8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD values[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
    BYTE* p = static_cast<BYTE*>(std::malloc(GetSidLengthRequired(count)));
    if (p == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    p[0] = SID_REVISION;
    p[1] = count;
    std::memcpy(p + 2, authority->Value, 6);
    for (BYTE i = 0; i < count; ++i) platform::detail::StoreU32(p + 8 + 4u * i, values[i]);
    *sid = p;
    return TRUE;
}

PVOID FreeSid(PSID sid) {
    std::free(sid);
    return nullptr;
}

namespace platform {

bool IsValidSidBytes(const void* data, std::size_t length) {
    return SidSize(AsBytes(data), length) != 0;
}

bool SidToString(const void* sid, std::size_t length, std::string& out) {
    const BYTE* p = AsBytes(sid);
    std::size_t size = SidSize(p, length);
    if (size == 0) return false;
    std::uint64_t authority = 0;
    for (int i = 0; i < 6; ++i) authority = (authority << 8) | p[2 + i];
    std::string text = "S-1-";
    // Authorities that do not fit 32 bits are written in hexadecimal, as the
    // documented text form asks.
    if (authority >> 32) {
        static const char kHex[] = "0123456789ABCDEF";
        text += "0x";
        for (int shift = 44; shift >= 0; shift -= 4) text += kHex[(authority >> shift) & 0xF];
    } else {
        text += std::to_string(authority);
    }
    for (BYTE i = 0; i < p[1]; ++i) {
        text += '-';
        text += std::to_string(LoadU32(p + 8 + 4u * i));
    }
    out = std::move(text);
    return true;
}

namespace {

// Parses an unsigned number at text[pos...]: decimal, or 0x-hex when
// allowHex.  Advances pos; false on no digits or overflow past limit.
bool ParseNumber(std::string_view text, std::size_t& pos, bool allowHex, std::uint64_t limit,
                 std::uint64_t* value) {
    unsigned base = 10;
    if (allowHex && pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
        base = 16;
        pos += 2;
    }
    std::uint64_t v = 0;
    std::size_t start = pos;
    while (pos < text.size()) {
        char c = text[pos];
        // In the descriptor text a letter before ':' starts the next section
        // ("D:"), never a hex digit of an authority.
        if (base == 16 && pos + 1 < text.size() && text[pos + 1] == ':') break;
        unsigned digit;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        else break;
        if (v > (limit - digit) / base) return false;
        v = v * base + digit;
        ++pos;
    }
    if (pos == start) return false;
    *value = v;
    return true;
}

}  // namespace

namespace detail {

bool ParseSidText(std::string_view text, std::size_t& pos, std::vector<BYTE>& out) {
    if (pos + 1 >= text.size() || (text[pos] != 'S' && text[pos] != 's') || text[pos + 1] != '-') return false;
    pos += 2;
    std::size_t revisionAt = pos;
    std::uint64_t revision = 0;
    if (!ParseNumber(text, pos, false, 255, &revision)) return false;
    if (revision != SID_REVISION) {
        pos = revisionAt;
        return false;
    }
    if (pos >= text.size() || text[pos] != '-') return false;
    ++pos;
    std::uint64_t authority = 0;
    if (!ParseNumber(text, pos, true, 0xFFFFFFFFFFFFull, &authority)) return false;
    std::vector<BYTE> sid(8);
    sid[0] = SID_REVISION;
    for (int i = 0; i < 6; ++i) sid[2 + i] = static_cast<BYTE>(authority >> (8 * (5 - i)));
    BYTE count = 0;
    while (pos + 1 < text.size() && text[pos] == '-' && text[pos + 1] >= '0' && text[pos + 1] <= '9') {
        if (count == SID_MAX_SUB_AUTHORITIES) return false;
        std::size_t at = pos + 1;
        std::uint64_t value = 0;
        if (!ParseNumber(text, at, false, 0xFFFFFFFFu, &value)) {
            pos = at;
            return false;
        }
        pos = at;
        sid.resize(sid.size() + 4);
        detail::StoreU32(sid.data() + sid.size() - 4, static_cast<DWORD>(value));
        ++count;
    }
    sid[1] = count;
    out = std::move(sid);
    return true;
}

}  // namespace detail

bool StringToSid(std::string_view text, std::vector<BYTE>& out) {
    std::size_t pos = 0;
    std::vector<BYTE> sid;
    if (!detail::ParseSidText(text, pos, sid) || pos != text.size()) return false;
    out = std::move(sid);
    return true;
}

}  // namespace platform
