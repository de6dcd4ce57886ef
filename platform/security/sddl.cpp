// The string form of security descriptors, parsed into self-relative bytes
// and printed back in one canonical spelling.
//
// Grammar accepted (letters in codes and aliases without regard to case):
//   text    := section*            each of O: G: D: S: at most once
//   section := "O:" sid | "G:" sid | "D:" list | "S:" list
//   list    := ("P" | "AI" | "AR" | "NO_ACCESS_CONTROL")* ace*
//   ace     := "(" type ";" flags ";" rights ";" ";" ";" sid ")"
//   rights  := code code ... | 0xHEX | DECIMAL
//   sid     := "S-1-..." | two-letter alias
// The object-type fields of an entry must be empty: the programs never use
// object entries.  One table of {name, value} serves both directions, so a
// code can never parse to one value and print as another.
//
// Canonical output: O:, G:, D:, S: in that order; list flags P, AI, AR;
// entry flags OI CI NP IO ID SA FA; rights as the composite code that
// matches exactly, else single-bit codes in table order, else 0x-hex; SIDs
// as aliases where one matches.  Lists are written with revision 2 and no
// free space, parts laid out owner, group, SACL, DACL.
#include <cctype>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "security/formats.h"
#include "security/sddl.h"

namespace platform {

namespace {

using detail::LoadU16;
using detail::LoadU32;
using detail::StoreU16;
using detail::StoreU32;

struct Code {
    const char* name;  // text in the string form
    DWORD value;       // bits it stands for
};

const Code kAceTypes[] = {
    {"A", ACCESS_ALLOWED_ACE_TYPE},
    {"D", ACCESS_DENIED_ACE_TYPE},
    {"AU", SYSTEM_AUDIT_ACE_TYPE},
    {"AL", SYSTEM_ALARM_ACE_TYPE},
};

const Code kAceFlags[] = {
    {"OI", OBJECT_INHERIT_ACE},    {"CI", CONTAINER_INHERIT_ACE},      {"NP", NO_PROPAGATE_INHERIT_ACE},
    {"IO", INHERIT_ONLY_ACE},      {"ID", INHERITED_ACE},              {"SA", SUCCESSFUL_ACCESS_ACE_FLAG},
    {"FA", FAILED_ACCESS_ACE_FLAG},
};

// Composite rights print only on an exact match; KX equals KR and is
// therefore only ever read.
const Code kCompositeRights[] = {
    {"FA", FILE_ALL_ACCESS}, {"FR", FILE_GENERIC_READ}, {"FW", FILE_GENERIC_WRITE}, {"FX", FILE_GENERIC_EXECUTE},
    {"KA", KEY_ALL_ACCESS},  {"KR", KEY_READ},          {"KW", KEY_WRITE},          {"KX", KEY_EXECUTE},
};

const Code kBitRights[] = {
    {"GA", GENERIC_ALL}, {"GR", GENERIC_READ}, {"GW", GENERIC_WRITE}, {"GX", GENERIC_EXECUTE},
    {"RC", READ_CONTROL}, {"SD", DELETE},      {"WD", WRITE_DAC},     {"WO", WRITE_OWNER},
    {"CC", 0x0001},      {"DC", 0x0002},       {"LC", 0x0004},        {"SW", 0x0008},
    {"RP", 0x0010},      {"WP", 0x0020},       {"DT", 0x0040},        {"LO", 0x0080},
    {"CR", 0x0100},
};

enum class Base { None, Machine, Domain };

struct SidAlias {
    const char* alias;  // two letters
    const char* text;   // S-1-... for fixed SIDs, null for relative ones
    Base base;          // which caller SID a relative alias extends
    DWORD rid;          // the last sub-authority of a relative alias
};

const SidAlias kSidAliases[] = {
    {"WD", "S-1-1-0", Base::None, 0},       {"CO", "S-1-3-0", Base::None, 0},
    {"CG", "S-1-3-1", Base::None, 0},       {"OW", "S-1-3-4", Base::None, 0},
    {"NU", "S-1-5-2", Base::None, 0},       {"IU", "S-1-5-4", Base::None, 0},
    {"SU", "S-1-5-6", Base::None, 0},       {"AN", "S-1-5-7", Base::None, 0},
    {"ED", "S-1-5-9", Base::None, 0},       {"PS", "S-1-5-10", Base::None, 0},
    {"AU", "S-1-5-11", Base::None, 0},      {"RC", "S-1-5-12", Base::None, 0},
    {"SY", "S-1-5-18", Base::None, 0},      {"LS", "S-1-5-19", Base::None, 0},
    {"NS", "S-1-5-20", Base::None, 0},      {"BA", "S-1-5-32-544", Base::None, 0},
    {"BU", "S-1-5-32-545", Base::None, 0},  {"BG", "S-1-5-32-546", Base::None, 0},
    {"PU", "S-1-5-32-547", Base::None, 0},  {"AO", "S-1-5-32-548", Base::None, 0},
    {"SO", "S-1-5-32-549", Base::None, 0},  {"PO", "S-1-5-32-550", Base::None, 0},
    {"BO", "S-1-5-32-551", Base::None, 0},  {"RE", "S-1-5-32-552", Base::None, 0},
    {"RU", "S-1-5-32-554", Base::None, 0},  {"RD", "S-1-5-32-555", Base::None, 0},
    {"NO", "S-1-5-32-556", Base::None, 0},  {"MU", "S-1-5-32-558", Base::None, 0},
    {"LU", "S-1-5-32-559", Base::None, 0},  {"IS", "S-1-5-32-568", Base::None, 0},
    {"CY", "S-1-5-32-569", Base::None, 0},  {"ER", "S-1-5-32-573", Base::None, 0},
    {"LA", nullptr, Base::Machine, 500},    {"LG", nullptr, Base::Machine, 501},
    {"DA", nullptr, Base::Domain, 512},     {"DU", nullptr, Base::Domain, 513},
    {"DG", nullptr, Base::Domain, 514},     {"DC", nullptr, Base::Domain, 515},
    {"DD", nullptr, Base::Domain, 516},     {"CA", nullptr, Base::Domain, 517},
    {"SA", nullptr, Base::Domain, 518},     {"EA", nullptr, Base::Domain, 519},
    {"PA", nullptr, Base::Domain, 520},     {"RS", nullptr, Base::Domain, 553},
};

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool SameText(std::string_view text, std::size_t pos, const char* code) {
    std::size_t n = std::strlen(code);
    if (text.size() - pos < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (Upper(text[pos + i]) != code[i]) return false;
    return true;
}

// The bytes an alias stands for under the context; false when a relative
// alias has no base SID to extend.
bool AliasSid(const SidAlias& alias, const SddlContext& context, std::vector<BYTE>& out) {
    if (alias.base == Base::None) return StringToSid(alias.text, out);
    const SID* base = alias.base == Base::Machine ? context.machineSid : context.domainSid;
    const BYTE* p = reinterpret_cast<const BYTE*>(base);
    std::size_t size = detail::SidSize(p, detail::kSidHeaderSize + 4u * SID_MAX_SUB_AUTHORITIES);
    if (size == 0 || p[1] == SID_MAX_SUB_AUTHORITIES) return false;
    std::vector<BYTE> sid(p, p + size);
    sid.resize(size + 4);
    StoreU32(sid.data() + size, alias.rid);
    sid[1] = static_cast<BYTE>(p[1] + 1);
    out = std::move(sid);
    return true;
}

// Reads the text form; records the first failing offset.
class Parser {
public:
    Parser(std::string_view text, const SddlContext& context) : text_(text), context_(context) {}

    bool Parse(std::vector<BYTE>& out);
    std::size_t errorOffset() const { return error_; }

private:
    bool Fail(std::size_t at) {
        error_ = at;
        return false;
    }
    bool AtEnd() const { return pos_ >= text_.size(); }
    bool AtSectionStart() const {
        if (text_.size() - pos_ < 2 || text_[pos_ + 1] != ':') return false;
        char c = Upper(text_[pos_]);
        return c == 'O' || c == 'G' || c == 'D' || c == 'S';
    }
    bool ParseSid(std::vector<BYTE>& sid, char terminator);
    bool ParseList(bool& nullList, WORD& flags, std::vector<BYTE>& acl, bool dacl);
    bool ParseAce(std::vector<BYTE>& entries);
    bool ParseCodes(const Code* table, std::size_t count, DWORD& value);

    std::string_view text_;       // the whole input
    const SddlContext& context_;  // SIDs behind the relative aliases
    std::size_t pos_ = 0;         // next character to read
    std::size_t error_ = 0;       // first bad character, once failed
};

// A SID ends at the terminator (inside an entry) or at the next section or
// the end of text (after O: and G:).
bool Parser::ParseSid(std::vector<BYTE>& sid, char terminator) {
    std::size_t start = pos_;
    if (text_.size() - pos_ >= 2 && Upper(text_[pos_]) == 'S' && text_[pos_ + 1] == '-') {
        if (!detail::ParseSidText(text_, pos_, sid)) return Fail(pos_);
    } else {
        if (text_.size() - pos_ < 2) return Fail(pos_);
        bool found = false;
        for (const SidAlias& alias : kSidAliases) {
            if (!SameText(text_, pos_, alias.alias)) continue;
            if (!AliasSid(alias, context_, sid)) return Fail(start);
            found = true;
            break;
        }
        if (!found) return Fail(start);
        pos_ += 2;
    }
    if (terminator != 0) {
        if (AtEnd() || text_[pos_] != terminator) return Fail(pos_);
    } else if (!AtEnd() && !AtSectionStart()) {
        return Fail(pos_);
    }
    return true;
}

bool Parser::ParseCodes(const Code* table, std::size_t count, DWORD& value) {
    value = 0;
    while (!AtEnd() && text_[pos_] != ';') {
        const Code* match = nullptr;
        for (std::size_t i = 0; i < count && match == nullptr; ++i)
            if (std::strlen(table[i].name) == 2 && SameText(text_, pos_, table[i].name)) match = &table[i];
        if (match == nullptr) return Fail(pos_);
        value |= match->value;
        pos_ += 2;
    }
    return true;
}

bool Parser::ParseAce(std::vector<BYTE>& entries) {
    ++pos_;  // '('
    std::size_t start = pos_;
    while (!AtEnd() && text_[pos_] != ';') ++pos_;
    std::string_view typeText = text_.substr(start, pos_ - start);
    const Code* type = nullptr;
    for (const Code& code : kAceTypes)
        if (typeText.size() == std::strlen(code.name) && SameText(text_, start, code.name)) type = &code;
    if (type == nullptr) return Fail(start);
    if (AtEnd()) return Fail(pos_);
    ++pos_;

    DWORD flags = 0;
    if (!ParseCodes(kAceFlags, std::size(kAceFlags), flags)) return false;
    if (AtEnd()) return Fail(pos_);
    ++pos_;

    DWORD mask = 0;
    start = pos_;
    if (!AtEnd() && text_[pos_] >= '0' && text_[pos_] <= '9') {
        unsigned base = 10;
        if (text_.size() - pos_ >= 2 && text_[pos_] == '0' && (text_[pos_ + 1] == 'x' || text_[pos_ + 1] == 'X')) {
            base = 16;
            pos_ += 2;
        }
        std::size_t digits = pos_;
        std::uint64_t value = 0;
        while (!AtEnd() && text_[pos_] != ';') {
            char c = text_[pos_];
            unsigned digit = 99;
            if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
            if (digit >= base) return Fail(pos_);
            value = value * base + digit;
            if (value > 0xFFFFFFFFu) return Fail(pos_);
            ++pos_;
        }
        if (pos_ == digits) return Fail(pos_);
        mask = static_cast<DWORD>(value);
    } else {
        if (AtEnd() || text_[pos_] == ';') return Fail(pos_);
        while (!AtEnd() && text_[pos_] != ';') {
            const Code* match = nullptr;
            for (const Code& code : kCompositeRights)
                if (match == nullptr && SameText(text_, pos_, code.name)) match = &code;
            for (const Code& code : kBitRights)
                if (match == nullptr && SameText(text_, pos_, code.name)) match = &code;
            if (match == nullptr) return Fail(pos_);
            mask |= match->value;
            pos_ += 2;
        }
    }
    if (AtEnd()) return Fail(pos_);
    ++pos_;

    // Object type and inherited object type: always empty here.
    for (int field = 0; field < 2; ++field) {
        if (AtEnd() || text_[pos_] != ';') return Fail(pos_);
        ++pos_;
    }

    std::vector<BYTE> sid;
    if (!ParseSid(sid, ')')) return false;
    ++pos_;  // ')'

    std::size_t size = 8 + sid.size();
    std::size_t at = entries.size();
    entries.resize(at + size);
    BYTE* ace = entries.data() + at;
    ace[0] = static_cast<BYTE>(type->value);
    ace[1] = static_cast<BYTE>(flags);
    StoreU16(ace + 2, static_cast<WORD>(size));
    StoreU32(ace + 4, mask);
    std::memcpy(ace + 8, sid.data(), sid.size());
    return true;
}

bool Parser::ParseList(bool& nullList, WORD& flags, std::vector<BYTE>& acl, bool dacl) {
    nullList = false;
    flags = 0;
    const WORD protectedBit = dacl ? SE_DACL_PROTECTED : SE_SACL_PROTECTED;
    const WORD inheritedBit = dacl ? SE_DACL_AUTO_INHERITED : SE_SACL_AUTO_INHERITED;
    const WORD requestBit = dacl ? SE_DACL_AUTO_INHERIT_REQ : SE_SACL_AUTO_INHERIT_REQ;
    while (!AtEnd() && text_[pos_] != '(' && !AtSectionStart()) {
        if (SameText(text_, pos_, "NO_ACCESS_CONTROL")) {
            nullList = true;
            pos_ += std::strlen("NO_ACCESS_CONTROL");
        } else if (SameText(text_, pos_, "AI")) {
            flags |= inheritedBit;
            pos_ += 2;
        } else if (SameText(text_, pos_, "AR")) {
            flags |= requestBit;
            pos_ += 2;
        } else if (SameText(text_, pos_, "P")) {
            flags |= protectedBit;
            pos_ += 1;
        } else {
            return Fail(pos_);
        }
    }
    std::vector<BYTE> entries;
    WORD count = 0;
    while (!AtEnd() && text_[pos_] == '(') {
        std::size_t start = pos_;
        // A NULL list has no entries to hold.
        if (nullList) return Fail(start);
        if (!ParseAce(entries)) return false;
        if (detail::kAclHeaderSize + entries.size() > 0xFFFF) return Fail(start);
        ++count;
    }
    if (!AtEnd() && !AtSectionStart()) return Fail(pos_);
    if (nullList) {
        acl.clear();
        return true;
    }
    acl.assign(detail::kAclHeaderSize, 0);
    acl[0] = ACL_REVISION;
    StoreU16(acl.data() + 2, static_cast<WORD>(detail::kAclHeaderSize + entries.size()));
    StoreU16(acl.data() + 4, count);
    acl.insert(acl.end(), entries.begin(), entries.end());
    return true;
}

bool Parser::Parse(std::vector<BYTE>& out) {
    std::vector<BYTE> owner, group, dacl, sacl;
    bool seen[4] = {false, false, false, false};  // O G D S
    WORD control = 0;
    bool nullDacl = false, nullSacl = false;
    while (!AtEnd()) {
        if (!AtSectionStart()) return Fail(pos_);
        std::size_t start = pos_;
        char section = Upper(text_[pos_]);
        int index = section == 'O' ? 0 : section == 'G' ? 1 : section == 'D' ? 2 : 3;
        if (seen[index]) return Fail(start);
        seen[index] = true;
        pos_ += 2;
        WORD flags = 0;
        switch (section) {
            case 'O':
                if (!ParseSid(owner, 0)) return false;
                break;
            case 'G':
                if (!ParseSid(group, 0)) return false;
                break;
            case 'D':
                if (!ParseList(nullDacl, flags, dacl, true)) return false;
                control |= flags | SE_DACL_PRESENT;
                break;
            default:
                if (!ParseList(nullSacl, flags, sacl, false)) return false;
                control |= flags | SE_SACL_PRESENT;
                break;
        }
    }
    detail::DescriptorParts parts;
    parts.control = control;
    if (seen[0]) {
        parts.owner = owner.data();
        parts.ownerSize = owner.size();
    }
    if (seen[1]) {
        parts.group = group.data();
        parts.groupSize = group.size();
    }
    // A NULL list is the present bit without a list.
    if (seen[2] && !nullDacl) {
        parts.dacl = dacl.data();
        parts.daclSize = dacl.size();
    }
    if (seen[3] && !nullSacl) {
        parts.sacl = sacl.data();
        parts.saclSize = sacl.size();
    }
    std::vector<BYTE> bytes(detail::SelfRelativeSize(parts));
    detail::BuildSelfRelative(parts, bytes.data());
    out = std::move(bytes);
    return true;
}

// ---------------------------------------------------------------- printing

// The bytes of each fixed alias, built once: printing compares every SID of
// every entry against the whole table.
const std::vector<std::vector<BYTE>>& FixedAliasBytes() {
    static const std::vector<std::vector<BYTE>> table = [] {
        std::vector<std::vector<BYTE>> bytes;
        for (const SidAlias& alias : kSidAliases) {
            bytes.emplace_back();
            if (alias.base == Base::None) StringToSid(alias.text, bytes.back());
        }
        return bytes;
    }();
    return table;
}

bool PrintSid(const BYTE* sid, std::size_t size, const SddlContext& context, std::string& out) {
    const std::vector<std::vector<BYTE>>& fixed = FixedAliasBytes();
    std::vector<BYTE> relative;
    for (std::size_t i = 0; i < std::size(kSidAliases); ++i) {
        const SidAlias& alias = kSidAliases[i];
        if (alias.base != Base::None && !AliasSid(alias, context, relative)) continue;
        const std::vector<BYTE>& candidate = alias.base == Base::None ? fixed[i] : relative;
        if (candidate.size() == size && std::memcmp(candidate.data(), sid, size) == 0) {
            out += alias.alias;
            return true;
        }
    }
    std::string text;
    if (!SidToString(sid, size, text)) return false;
    out += text;
    return true;
}

void PrintRights(DWORD mask, std::string& out) {
    for (const Code& code : kCompositeRights) {
        if (mask == code.value) {
            out += code.name;
            return;
        }
    }
    DWORD covered = 0;
    for (const Code& code : kBitRights) covered |= mask & code.value;
    if (mask != 0 && covered == mask) {
        for (const Code& code : kBitRights)
            if (mask & code.value) out += code.name;
        return;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    do {
        hex.insert(hex.begin(), kHex[mask & 0xF]);
        mask >>= 4;
    } while (mask != 0);
    out += "0x" + hex;
}

bool PrintList(const BYTE* acl, WORD control, bool dacl, const SddlContext& context, std::string& out) {
    if (control & (dacl ? SE_DACL_PROTECTED : SE_SACL_PROTECTED)) out += "P";
    if (control & (dacl ? SE_DACL_AUTO_INHERITED : SE_SACL_AUTO_INHERITED)) out += "AI";
    if (control & (dacl ? SE_DACL_AUTO_INHERIT_REQ : SE_SACL_AUTO_INHERIT_REQ)) out += "AR";
    if (acl == nullptr) {
        out += "NO_ACCESS_CONTROL";
        return true;
    }
    detail::AclLayout layout;
    if (!detail::WalkAcl(acl, LoadU16(acl + 2), true, &layout)) return false;
    for (std::size_t start : layout.starts) {
        const BYTE* ace = acl + start;
        const Code* type = nullptr;
        for (const Code& code : kAceTypes)
            if (code.value == ace[0]) type = &code;
        // Entry kinds and flags the text form cannot spell make the whole
        // descriptor unprintable rather than silently different.
        if (type == nullptr || (ace[1] & ~detail::kValidAceFlags)) return false;
        out += '(';
        out += type->name;
        out += ';';
        for (const Code& flag : kAceFlags)
            if (ace[1] & flag.value) out += flag.name;
        out += ';';
        PrintRights(LoadU32(ace + 4), out);
        out += ";;;";
        std::size_t aceSize = LoadU16(ace + 2);
        if (!PrintSid(ace + 8, detail::SidSize(ace + 8, aceSize - 8), context, out)) return false;
        out += ')';
    }
    return true;
}

}  // namespace

bool SddlToSelfRelative(std::string_view text, const SddlContext& context, std::vector<BYTE>& out,
                        std::size_t* errorOffset) {
    Parser parser(text, context);
    if (!parser.Parse(out)) {
        if (errorOffset != nullptr) *errorOffset = parser.errorOffset();
        return false;
    }
    return true;
}

bool SecurityDescriptorToSddl(const void* sd, std::size_t length, SECURITY_INFORMATION info,
                              const SddlContext& context, std::string& out) {
    detail::DescriptorParts parts;
    if (!detail::ReadDescriptor(sd, length, true, &parts)) return false;
    std::string text;
    if ((info & OWNER_SECURITY_INFORMATION) && parts.owner != nullptr) {
        text += "O:";
        if (!PrintSid(parts.owner, parts.ownerSize, context, text)) return false;
    }
    if ((info & GROUP_SECURITY_INFORMATION) && parts.group != nullptr) {
        text += "G:";
        if (!PrintSid(parts.group, parts.groupSize, context, text)) return false;
    }
    if ((info & DACL_SECURITY_INFORMATION) && (parts.control & SE_DACL_PRESENT)) {
        text += "D:";
        if (!PrintList(parts.dacl, parts.control, true, context, text)) return false;
    }
    if ((info & SACL_SECURITY_INFORMATION) && (parts.control & SE_SACL_PRESENT)) {
        text += "S:";
        if (!PrintList(parts.sacl, parts.control, false, context, text)) return false;
    }
    out = std::move(text);
    return true;
}

}  // namespace platform
