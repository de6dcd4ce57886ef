// Inheritance and entry appending over self-relative descriptors; see
// sd_edit.h.
#include "store/sd_edit.h"

#include <cstring>
#include <optional>

namespace platform::store {

namespace {

using Bytes = std::vector<BYTE>;

struct Ace {
    BYTE type = 0;      // ACE type
    BYTE flags = 0;     // inheritance and audit flags
    ACCESS_MASK mask = 0;  // rights
    Bytes sid;          // trustee
};

struct List {
    bool present = false;  // SE_*_PRESENT
    bool null = false;     // present without a list: a NULL DACL, which grants everything
    BYTE revision = ACL_REVISION;  // list revision
    std::vector<Ace> aces;  // entries in order
};

struct Parts {
    WORD control = 0;  // SE_* bits
    Bytes owner;       // empty when absent
    Bytes group;       // empty when absent
    List dacl;         // discretionary list
    List sacl;         // audit list
};

DWORD Read32(const Bytes& b, std::size_t at) {
    return static_cast<DWORD>(b[at]) | (static_cast<DWORD>(b[at + 1]) << 8) | (static_cast<DWORD>(b[at + 2]) << 16) |
           (static_cast<DWORD>(b[at + 3]) << 24);
}
WORD Read16(const Bytes& b, std::size_t at) { return static_cast<WORD>(b[at] | (b[at + 1] << 8)); }
void Put32(Bytes& b, DWORD v) {
    for (int s = 0; s < 32; s += 8) b.push_back(static_cast<BYTE>(v >> s));
}
void Put16(Bytes& b, WORD v) {
    b.push_back(static_cast<BYTE>(v));
    b.push_back(static_cast<BYTE>(v >> 8));
}

std::optional<Bytes> ReadSid(const Bytes& b, std::size_t at, std::size_t end) {
    if (at + 8 > end) return std::nullopt;
    const std::size_t size = 8u + 4u * b[at + 1];
    if (b[at] != SID_REVISION || b[at + 1] > SID_MAX_SUB_AUTHORITIES || at + size > end) return std::nullopt;
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + size));
}

bool ReadList(const Bytes& b, DWORD offset, List& list) {
    list.present = true;
    if (offset == 0) {
        list.null = true;
        return true;
    }
    if (offset + 8u > b.size()) return false;
    list.revision = b[offset];
    const std::size_t size = Read16(b, offset + 2);
    const std::size_t count = Read16(b, offset + 4);
    if (size < 8 || offset + size > b.size()) return false;
    const std::size_t end = offset + size;
    std::size_t at = offset + 8;
    for (std::size_t i = 0; i < count; ++i) {
        if (at + 8 > end) return false;
        const std::size_t aceSize = Read16(b, at + 2);
        if (aceSize < 16 || at + aceSize > end) return false;
        Ace ace;
        ace.type = b[at];
        ace.flags = b[at + 1];
        ace.mask = Read32(b, at + 4);
        auto sid = ReadSid(b, at + 8, at + aceSize);
        if (!sid) return false;
        ace.sid = *sid;
        list.aces.push_back(std::move(ace));
        at += aceSize;
    }
    return true;
}

bool Parse(const Bytes& b, Parts& parts) {
    if (b.size() < sizeof(SECURITY_DESCRIPTOR_RELATIVE) || b[0] != SECURITY_DESCRIPTOR_REVISION) return false;
    parts.control = Read16(b, 2);
    if ((parts.control & SE_SELF_RELATIVE) == 0) return false;
    const DWORD owner = Read32(b, 4), group = Read32(b, 8), sacl = Read32(b, 12), dacl = Read32(b, 16);
    if (owner != 0) {
        auto sid = ReadSid(b, owner, b.size());
        if (!sid) return false;
        parts.owner = *sid;
    }
    if (group != 0) {
        auto sid = ReadSid(b, group, b.size());
        if (!sid) return false;
        parts.group = *sid;
    }
    if ((parts.control & SE_DACL_PRESENT) != 0 && !ReadList(b, dacl, parts.dacl)) return false;
    if ((parts.control & SE_SACL_PRESENT) != 0 && !ReadList(b, sacl, parts.sacl)) return false;
    return true;
}

void WriteList(Bytes& out, const List& list) {
    std::size_t size = 8;
    for (const Ace& ace : list.aces) size += 8 + ace.sid.size();
    out.push_back(list.revision);
    out.push_back(0);
    Put16(out, static_cast<WORD>(size));
    Put16(out, static_cast<WORD>(list.aces.size()));
    Put16(out, 0);
    for (const Ace& ace : list.aces) {
        out.push_back(ace.type);
        out.push_back(ace.flags);
        Put16(out, static_cast<WORD>(8 + ace.sid.size()));
        Put32(out, ace.mask);
        out.insert(out.end(), ace.sid.begin(), ace.sid.end());
    }
}

std::size_t ListSize(const List& list) {
    std::size_t size = 8;
    for (const Ace& ace : list.aces) size += 8 + ace.sid.size();
    return size;
}

// Self-relative layout: header, owner, group, SACL, DACL.
bool Build(const Parts& parts, Bytes& out) {
    if (ListSize(parts.dacl) > 0xFFFF || ListSize(parts.sacl) > 0xFFFF) return false;
    WORD control = static_cast<WORD>(parts.control | SE_SELF_RELATIVE);
    control = static_cast<WORD>(parts.dacl.present ? control | SE_DACL_PRESENT : control & ~SE_DACL_PRESENT);
    control = static_cast<WORD>(parts.sacl.present ? control | SE_SACL_PRESENT : control & ~SE_SACL_PRESENT);
    std::size_t at = sizeof(SECURITY_DESCRIPTOR_RELATIVE);
    const DWORD owner = parts.owner.empty() ? 0 : static_cast<DWORD>(at);
    at += parts.owner.size();
    const DWORD group = parts.group.empty() ? 0 : static_cast<DWORD>(at);
    at += parts.group.size();
    const bool writeSacl = parts.sacl.present && !parts.sacl.null;
    const bool writeDacl = parts.dacl.present && !parts.dacl.null;
    const DWORD sacl = writeSacl ? static_cast<DWORD>(at) : 0;
    if (writeSacl) at += ListSize(parts.sacl);
    const DWORD dacl = writeDacl ? static_cast<DWORD>(at) : 0;
    Bytes result;
    result.push_back(SECURITY_DESCRIPTOR_REVISION);
    result.push_back(0);
    Put16(result, control);
    Put32(result, owner);
    Put32(result, group);
    Put32(result, sacl);
    Put32(result, dacl);
    result.insert(result.end(), parts.owner.begin(), parts.owner.end());
    result.insert(result.end(), parts.group.begin(), parts.group.end());
    if (writeSacl) WriteList(result, parts.sacl);
    if (writeDacl) WriteList(result, parts.dacl);
    out = std::move(result);
    return true;
}

const Bytes kCreatorOwner = {1, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0};
const Bytes kCreatorGroup = {1, 1, 0, 0, 0, 0, 0, 3, 1, 0, 0, 0};

ACCESS_MASK MapGeneric(ACCESS_MASK mask) {
    ACCESS_MASK out = mask & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (mask & GENERIC_READ) out |= KEY_READ;
    if (mask & GENERIC_WRITE) out |= KEY_WRITE;
    if (mask & GENERIC_EXECUTE) out |= KEY_EXECUTE;
    if (mask & GENERIC_ALL) out |= KEY_ALL_ACCESS;
    return out;
}

// The entries a child container inherits from one list.
List InheritList(const List& parent, const Parts& parts) {
    List child;
    child.revision = parent.revision;
    constexpr BYTE kInheritBits = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE | INHERIT_ONLY_ACE;
    constexpr ACCESS_MASK kGeneric = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL;
    for (const Ace& ace : parent.aces) {
        const BYTE auditBits = ace.flags & (SUCCESSFUL_ACCESS_ACE_FLAG | FAILED_ACCESS_ACE_FLAG);
        if ((ace.flags & CONTAINER_INHERIT_ACE) == 0) {
            // Object-inherit only: useless to the container itself, kept for
            // objects below it unless propagation stops here.
            if ((ace.flags & OBJECT_INHERIT_ACE) != 0 && (ace.flags & NO_PROPAGATE_INHERIT_ACE) == 0) {
                Ace copy = ace;
                copy.flags = static_cast<BYTE>(auditBits | OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE | INHERITED_ACE);
                child.aces.push_back(copy);
            }
            continue;
        }
        const bool creator = ace.sid == kCreatorOwner || ace.sid == kCreatorGroup;
        const bool propagate = (ace.flags & NO_PROPAGATE_INHERIT_ACE) == 0;
        if (creator || (ace.mask & kGeneric) != 0 || !propagate) {
            Ace effective = ace;
            effective.flags = static_cast<BYTE>(auditBits | INHERITED_ACE);
            effective.mask = MapGeneric(ace.mask);
            if (ace.sid == kCreatorOwner && !parts.owner.empty()) effective.sid = parts.owner;
            if (ace.sid == kCreatorGroup && !parts.group.empty()) effective.sid = parts.group;
            child.aces.push_back(effective);
            if (propagate) {
                Ace carrier = ace;
                carrier.flags = static_cast<BYTE>((ace.flags & ~NO_PROPAGATE_INHERIT_ACE) | INHERIT_ONLY_ACE | INHERITED_ACE);
                child.aces.push_back(carrier);
            }
            continue;
        }
        Ace copy = ace;
        copy.flags = static_cast<BYTE>((ace.flags & ~INHERIT_ONLY_ACE) | INHERITED_ACE);
        copy.flags = static_cast<BYTE>(copy.flags & (kInheritBits | INHERITED_ACE | SUCCESSFUL_ACCESS_ACE_FLAG | FAILED_ACCESS_ACE_FLAG));
        child.aces.push_back(copy);
    }
    return child;
}

}  // namespace

bool InheritedKeyDescriptor(const Bytes& parent, Bytes& child) {
    Parts parts;
    if (!Parse(parent, parts)) return false;
    Parts out;
    out.owner = parts.owner;
    out.group = parts.group;
    out.dacl = InheritList(parts.dacl, parts);
    out.dacl.present = true;
    // Below a key open to everyone (no DACL at all) the child is open too.
    out.dacl.null = !parts.dacl.present || parts.dacl.null;
    out.control = SE_DACL_AUTO_INHERITED;
    if (parts.sacl.present) {
        out.sacl = InheritList(parts.sacl, parts);
        out.sacl.present = !out.sacl.aces.empty();
        if (out.sacl.present) out.control |= SE_SACL_AUTO_INHERITED;
    }
    return Build(out, child);
}

bool AppendEntries(Bytes& target, const Bytes& source, bool sacl) {
    Parts to, from;
    if (!Parse(target, to) || !Parse(source, from)) return false;
    List& into = sacl ? to.sacl : to.dacl;
    const List& extra = sacl ? from.sacl : from.dacl;
    into.present = true;
    into.null = false;
    into.aces.insert(into.aces.end(), extra.aces.begin(), extra.aces.end());
    return Build(to, target);
}

}  // namespace platform::store
