// Taking descriptors apart and putting them together; see sd_parts.h.
#include "host/sd_parts.h"

#include <cstring>

#include "security/descriptor.h"

namespace platform::host {
namespace {

constexpr SECURITY_DESCRIPTOR_CONTROL kOwnerBits = SE_OWNER_DEFAULTED;
constexpr SECURITY_DESCRIPTOR_CONTROL kGroupBits = SE_GROUP_DEFAULTED;
constexpr SECURITY_DESCRIPTOR_CONTROL kDaclBits =
    SE_DACL_PRESENT | SE_DACL_DEFAULTED | SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED;
constexpr SECURITY_DESCRIPTOR_CONTROL kSaclBits =
    SE_SACL_PRESENT | SE_SACL_DEFAULTED | SE_SACL_AUTO_INHERIT_REQ | SE_SACL_AUTO_INHERITED | SE_SACL_PROTECTED;

DWORD ReadDword(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
           static_cast<DWORD>(p[3]) << 24;
}

void WriteDword(BYTE* p, DWORD v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}

Bytes AclAt(const BYTE* base, DWORD offset) {
    WORD size = static_cast<WORD>(base[offset + 2] | base[offset + 3] << 8);
    return Bytes(base + offset, base + offset + size);
}

SECURITY_DESCRIPTOR_CONTROL MaskFor(SECURITY_INFORMATION info) {
    SECURITY_DESCRIPTOR_CONTROL m = 0;
    if (info & OWNER_SECURITY_INFORMATION) m |= kOwnerBits;
    if (info & GROUP_SECURITY_INFORMATION) m |= kGroupBits;
    if (info & DACL_SECURITY_INFORMATION) m |= kDaclBits;
    if (info & SACL_SECURITY_INFORMATION) m |= kSaclBits;
    return m;
}

}  // namespace

std::optional<SdParts> ParseSelfRelative(const void* data, std::size_t length) {
    if (data == nullptr || !IsValidSelfRelative(data, length)) return std::nullopt;
    const auto* b = static_cast<const BYTE*>(data);
    SdParts p;
    p.control = static_cast<SECURITY_DESCRIPTOR_CONTROL>((b[2] | b[3] << 8) & ~SE_SELF_RELATIVE);
    DWORD owner = ReadDword(b + 4), group = ReadDword(b + 8), sacl = ReadDword(b + 12), dacl = ReadDword(b + 16);
    if (owner != 0) p.owner.assign(b + owner, b + owner + SidLength(b + owner));
    if (group != 0) p.group.assign(b + group, b + group + SidLength(b + group));
    p.saclPresent = (p.control & SE_SACL_PRESENT) != 0;
    if (p.saclPresent && sacl != 0) p.sacl = AclAt(b, sacl);
    p.daclPresent = (p.control & SE_DACL_PRESENT) != 0;
    if (p.daclPresent && dacl != 0) p.dacl = AclAt(b, dacl);
    return p;
}

std::optional<SdParts> ParseAny(const void* sd) {
    Bytes rel;
    if (sd == nullptr || !ToSelfRelative(sd, rel)) return std::nullopt;
    return ParseSelfRelative(rel.data(), rel.size());
}

SdParts Select(const SdParts& parts, SECURITY_INFORMATION info) {
    SdParts out;
    out.control = parts.control & MaskFor(info);
    if (info & OWNER_SECURITY_INFORMATION) out.owner = parts.owner;
    if (info & GROUP_SECURITY_INFORMATION) out.group = parts.group;
    if (info & SACL_SECURITY_INFORMATION) {
        out.saclPresent = parts.saclPresent;
        out.sacl = parts.sacl;
    }
    if (info & DACL_SECURITY_INFORMATION) {
        out.daclPresent = parts.daclPresent;
        out.dacl = parts.dacl;
    }
    return out;
}

SdParts Merge(const SdParts& base, const SdParts& update, SECURITY_INFORMATION info) {
    SdParts out = base;
    SECURITY_DESCRIPTOR_CONTROL m = MaskFor(info);
    out.control = static_cast<SECURITY_DESCRIPTOR_CONTROL>((base.control & ~m) | (update.control & m));
    if (info & OWNER_SECURITY_INFORMATION) out.owner = update.owner;
    if (info & GROUP_SECURITY_INFORMATION) out.group = update.group;
    if (info & SACL_SECURITY_INFORMATION) {
        out.saclPresent = update.saclPresent;
        out.sacl = update.sacl;
    }
    if (info & DACL_SECURITY_INFORMATION) {
        out.daclPresent = update.daclPresent;
        out.dacl = update.dacl;
    }
    return out;
}

Bytes Build(const SdParts& parts) {
    constexpr std::size_t kHeader = sizeof(SECURITY_DESCRIPTOR_RELATIVE);
    bool sacl = parts.saclPresent && !parts.sacl.empty();
    bool dacl = parts.daclPresent && !parts.dacl.empty();
    Bytes out(kHeader + parts.owner.size() + parts.group.size() + (sacl ? parts.sacl.size() : 0) +
              (dacl ? parts.dacl.size() : 0));
    SECURITY_DESCRIPTOR_CONTROL control = parts.control & static_cast<SECURITY_DESCRIPTOR_CONTROL>(
                                              ~(SE_SACL_PRESENT | SE_DACL_PRESENT | SE_SELF_RELATIVE));
    if (parts.saclPresent) control |= SE_SACL_PRESENT;
    if (parts.daclPresent) control |= SE_DACL_PRESENT;
    control |= SE_SELF_RELATIVE;
    out[0] = SECURITY_DESCRIPTOR_REVISION;
    out[1] = 0;
    out[2] = static_cast<BYTE>(control & 0xFF);
    out[3] = static_cast<BYTE>(control >> 8);
    std::size_t at = kHeader;
    auto place = [&](const Bytes& part, std::size_t field) {
        if (part.empty()) return;
        std::memcpy(out.data() + at, part.data(), part.size());
        WriteDword(out.data() + field, static_cast<DWORD>(at));
        at += part.size();
    };
    place(parts.owner, 4);
    place(parts.group, 8);
    if (sacl) place(parts.sacl, 12);
    if (dacl) place(parts.dacl, 16);
    return out;
}

}  // namespace platform::host
