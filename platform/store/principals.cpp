// SID text and binary forms and the fixed account tables; see principals.h.
#include "store/principals.h"

#include <charconv>
#include <random>

#include "store/db.h"

namespace platform::store {

namespace {

bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t& out) {
    if (text.empty() || text.size() > 20) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && out <= max;
}

}  // namespace

std::optional<SidBytes> ParseSid(std::string_view text) {
    if (text.size() < 4 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') return std::nullopt;
    std::vector<std::string_view> parts;
    std::size_t start = 2;
    while (true) {
        const std::size_t dash = text.find('-', start);
        parts.push_back(text.substr(start, dash == std::string_view::npos ? std::string_view::npos : dash - start));
        if (dash == std::string_view::npos) break;
        start = dash + 1;
    }
    // revision, authority, then 0..15 sub-authorities
    if (parts.size() < 2 || parts.size() > 2 + SID_MAX_SUB_AUTHORITIES) return std::nullopt;
    std::uint64_t revision = 0, authority = 0;
    if (!ParseNumber(parts[0], 255, revision) || revision != SID_REVISION) return std::nullopt;
    if (!ParseNumber(parts[1], 0xFFFFFFFFFFFFull, authority)) return std::nullopt;
    SidBytes out;
    out.push_back(SID_REVISION);
    out.push_back(static_cast<BYTE>(parts.size() - 2));
    for (int shift = 40; shift >= 0; shift -= 8) out.push_back(static_cast<BYTE>(authority >> shift));
    for (std::size_t i = 2; i < parts.size(); ++i) {
        std::uint64_t sub = 0;
        if (!ParseNumber(parts[i], 0xFFFFFFFFull, sub)) return std::nullopt;
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<BYTE>(sub >> shift));
    }
    return out;
}

std::string FormatSid(const SidBytes& sid) {
    if (sid.size() < 8 || sid[0] != SID_REVISION || sid[1] > SID_MAX_SUB_AUTHORITIES ||
        sid.size() != 8u + 4u * sid[1])
        return {};
    std::uint64_t authority = 0;
    for (int i = 2; i < 8; ++i) authority = (authority << 8) | sid[static_cast<std::size_t>(i)];
    std::string out = "S-1-" + std::to_string(authority);
    for (std::size_t i = 0; i < sid[1]; ++i) {
        const std::size_t at = 8 + 4 * i;
        const DWORD sub = static_cast<DWORD>(sid[at]) | (static_cast<DWORD>(sid[at + 1]) << 8) |
                          (static_cast<DWORD>(sid[at + 2]) << 16) | (static_cast<DWORD>(sid[at + 3]) << 24);
        out += '-';
        out += std::to_string(sub);
    }
    return out;
}

SidBytes SidWithRid(const SidBytes& domainSid, DWORD rid) {
    SidBytes out = domainSid;
    if (out.size() < 8) return out;
    out[1] = static_cast<BYTE>(out[1] + 1);
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<BYTE>(rid >> shift));
    return out;
}

bool SplitRid(const SidBytes& sid, SidBytes& prefix, DWORD& rid) {
    if (sid.size() < 12 || sid[1] == 0 || sid.size() != 8u + 4u * sid[1]) return false;
    const std::size_t at = sid.size() - 4;
    rid = static_cast<DWORD>(sid[at]) | (static_cast<DWORD>(sid[at + 1]) << 8) |
          (static_cast<DWORD>(sid[at + 2]) << 16) | (static_cast<DWORD>(sid[at + 3]) << 24);
    prefix.assign(sid.begin(), sid.begin() + static_cast<std::ptrdiff_t>(at));
    prefix[1] = static_cast<BYTE>(prefix[1] - 1);
    return true;
}

SidBytes NewDomainSid() {
    std::random_device random;
    std::uniform_int_distribution<DWORD> pick(100000000u, 4000000000u);
    SidBytes sid = *ParseSid("S-1-5-21");
    for (int i = 0; i < 3; ++i) sid = SidWithRid(sid, pick(random));
    return sid;
}

const std::vector<WellKnownAccount>& WellKnownAccounts() {
    static const std::vector<WellKnownAccount> table = {
        {"S-1-1-0", "", "Everyone"},
        {"S-1-2-0", "", "LOCAL"},
        {"S-1-3-0", "", "CREATOR OWNER"},
        {"S-1-3-1", "", "CREATOR GROUP"},
        {"S-1-5-1", "NT AUTHORITY", "DIALUP"},
        {"S-1-5-2", "NT AUTHORITY", "NETWORK"},
        {"S-1-5-3", "NT AUTHORITY", "BATCH"},
        {"S-1-5-4", "NT AUTHORITY", "INTERACTIVE"},
        {"S-1-5-6", "NT AUTHORITY", "SERVICE"},
        {"S-1-5-7", "NT AUTHORITY", "ANONYMOUS LOGON"},
        {"S-1-5-9", "NT AUTHORITY", "ENTERPRISE DOMAIN CONTROLLERS"},
        {"S-1-5-10", "NT AUTHORITY", "SELF"},
        {"S-1-5-11", "NT AUTHORITY", "Authenticated Users"},
        {"S-1-5-12", "NT AUTHORITY", "RESTRICTED"},
        {"S-1-5-13", "NT AUTHORITY", "TERMINAL SERVER USER"},
        {"S-1-5-18", "NT AUTHORITY", "SYSTEM"},
        {"S-1-5-19", "NT AUTHORITY", "LOCAL SERVICE"},
        {"S-1-5-20", "NT AUTHORITY", "NETWORK SERVICE"},
    };
    return table;
}

const std::vector<BuiltinAlias>& BuiltinAliases() {
    static const std::vector<BuiltinAlias> table = {
        {544, "Administrators"},       {545, "Users"},
        {546, "Guests"},               {547, "Power Users"},
        {548, "Account Operators"},    {549, "Server Operators"},
        {550, "Print Operators"},      {551, "Backup Operators"},
        {552, "Replicator"},           {555, "Remote Desktop Users"},
        {556, "Network Configuration Operators"},
    };
    return table;
}

std::optional<DWORD> BuiltinRidByName(std::string_view name) {
    for (const auto& alias : BuiltinAliases())
        if (EqualNoCase(alias.name, name)) return alias.rid;
    return std::nullopt;
}

const char* BuiltinNameByRid(DWORD rid) {
    for (const auto& alias : BuiltinAliases())
        if (alias.rid == rid) return alias.name;
    return nullptr;
}

SidBytes BuiltinSid(DWORD rid) { return SidWithRid(*ParseSid("S-1-5-32"), rid); }

}  // namespace platform::store
