// Account resolution over a World; see names.h for the rules.
#include "host/names.h"

#include <array>

namespace platform::host {
namespace {

constexpr std::uint64_t kWorldAuthority = 1;
constexpr std::uint64_t kLocalAuthority = 2;
constexpr std::uint64_t kCreatorAuthority = 3;
constexpr std::uint64_t kNtAuthority = 5;
constexpr DWORD kBuiltinDomainRid = 32;

struct WellKnown {
    std::uint64_t authority;  // identifier authority
    DWORD sub;                // the single sub-authority
    const char* name;         // account name as the platform reports it
    const char* domain;       // "" or "NT AUTHORITY"
};

// The platform reports Everyone and the CREATOR accounts with an empty
// domain; the NT AUTHORITY accounts name their authority.
constexpr std::array kWellKnown{
    WellKnown{0, 0, "NULL SID", ""},
    WellKnown{kWorldAuthority, 0, "Everyone", ""},
    WellKnown{kLocalAuthority, 0, "LOCAL", ""},
    WellKnown{kCreatorAuthority, 0, "CREATOR OWNER", ""},
    WellKnown{kCreatorAuthority, 1, "CREATOR GROUP", ""},
    WellKnown{kNtAuthority, 1, "DIALUP", "NT AUTHORITY"},
    WellKnown{kNtAuthority, 2, "NETWORK", "NT AUTHORITY"},
    WellKnown{kNtAuthority, 3, "BATCH", "NT AUTHORITY"},
    WellKnown{kNtAuthority, 4, "INTERACTIVE", "NT AUTHORITY"},
    WellKnown{kNtAuthority, 6, "SERVICE", "NT AUTHORITY"},
    WellKnown{kNtAuthority, 7, "ANONYMOUS LOGON", "NT AUTHORITY"},
    WellKnown{kNtAuthority, 9, "ENTERPRISE DOMAIN CONTROLLERS", "NT AUTHORITY"},
    WellKnown{kNtAuthority, 10, "SELF", "NT AUTHORITY"},
    WellKnown{kNtAuthority, 11, "Authenticated Users", "NT AUTHORITY"},
    WellKnown{kNtAuthority, 12, "RESTRICTED", "NT AUTHORITY"},
    WellKnown{kNtAuthority, 13, "TERMINAL SERVER USER", "NT AUTHORITY"},
    WellKnown{kNtAuthority, 18, "SYSTEM", "NT AUTHORITY"},
    WellKnown{kNtAuthority, 19, "LOCAL SERVICE", "NT AUTHORITY"},
    WellKnown{kNtAuthority, 20, "NETWORK SERVICE", "NT AUTHORITY"},
};

struct RidName {
    DWORD rid;         // relative identifier
    const char* name;  // account name
};

constexpr std::array kBuiltinAliases{
    RidName{544, "Administrators"},      RidName{545, "Users"},
    RidName{546, "Guests"},              RidName{547, "Power Users"},
    RidName{548, "Account Operators"},   RidName{549, "Server Operators"},
    RidName{550, "Print Operators"},     RidName{551, "Backup Operators"},
    RidName{552, "Replicator"},          RidName{554, "Pre-Windows 2000 Compatible Access"},
    RidName{555, "Remote Desktop Users"}, RidName{556, "Network Configuration Operators"},
};

// Global groups every domain has; a world need not list them, yet its
// domain users are implicitly members of Domain Users and descriptors name
// them, so they resolve even when absent from the store.
constexpr std::array kImplicitDomainGroups{
    RidName{512, "Domain Admins"},     RidName{513, "Domain Users"},
    RidName{514, "Domain Guests"},     RidName{515, "Domain Computers"},
    RidName{516, "Domain Controllers"},
};

struct PrivilegeEntry {
    const char* name;  // the privilege's programmatic name
    DWORD value;       // LUID.LowPart as the platform numbers it
};

constexpr std::array kPrivileges{
    PrivilegeEntry{"SeCreateTokenPrivilege", 2},
    PrivilegeEntry{"SeAssignPrimaryTokenPrivilege", 3},
    PrivilegeEntry{"SeLockMemoryPrivilege", 4},
    PrivilegeEntry{"SeIncreaseQuotaPrivilege", 5},
    PrivilegeEntry{"SeMachineAccountPrivilege", 6},
    PrivilegeEntry{"SeTcbPrivilege", 7},
    PrivilegeEntry{"SeSecurityPrivilege", 8},
    PrivilegeEntry{"SeTakeOwnershipPrivilege", 9},
    PrivilegeEntry{"SeLoadDriverPrivilege", 10},
    PrivilegeEntry{"SeSystemProfilePrivilege", 11},
    PrivilegeEntry{"SeSystemtimePrivilege", 12},
    PrivilegeEntry{"SeProfileSingleProcessPrivilege", 13},
    PrivilegeEntry{"SeIncreaseBasePriorityPrivilege", 14},
    PrivilegeEntry{"SeCreatePagefilePrivilege", 15},
    PrivilegeEntry{"SeCreatePermanentPrivilege", 16},
    PrivilegeEntry{"SeBackupPrivilege", 17},
    PrivilegeEntry{"SeRestorePrivilege", 18},
    PrivilegeEntry{"SeShutdownPrivilege", 19},
    PrivilegeEntry{"SeDebugPrivilege", 20},
    PrivilegeEntry{"SeAuditPrivilege", 21},
    PrivilegeEntry{"SeSystemEnvironmentPrivilege", 22},
    PrivilegeEntry{"SeChangeNotifyPrivilege", 23},
    PrivilegeEntry{"SeRemoteShutdownPrivilege", 24},
    PrivilegeEntry{"SeUndockPrivilege", 25},
    PrivilegeEntry{"SeManageVolumePrivilege", 28},
    PrivilegeEntry{"SeImpersonatePrivilege", 29},
    PrivilegeEntry{"SeCreateGlobalPrivilege", 30},
};

Bytes BuiltinDomainSid() { return MakeSid(kNtAuthority, {kBuiltinDomainRid}); }

ResolvedAccount FromStored(const store::Account& a, const Bytes& sid, const std::string& domain) {
    ResolvedAccount r;
    r.sid = sid;
    r.name = a.name;
    r.domain = domain;
    r.use = a.deleted ? SidTypeDeletedAccount : a.type;
    return r;
}

std::optional<ResolvedAccount> WellKnownBySid(const Bytes& sid) {
    auto subs = SidSubAuthorities(sid);
    if (subs.size() != 1) return std::nullopt;
    std::uint64_t auth = SidAuthority(sid);
    for (const auto& w : kWellKnown) {
        if (w.authority == auth && w.sub == subs[0]) {
            return ResolvedAccount{sid, w.name, w.domain, SidTypeWellKnownGroup};
        }
    }
    return std::nullopt;
}

std::optional<ResolvedAccount> WellKnownByName(std::string_view domain, std::string_view name,
                                               bool domainGiven) {
    for (const auto& w : kWellKnown) {
        if (!EqualNoCase(w.name, name)) continue;
        if (domainGiven && !EqualNoCase(w.domain, domain)) continue;
        return ResolvedAccount{MakeSid(w.authority, {w.sub}), w.name, w.domain, SidTypeWellKnownGroup};
    }
    return std::nullopt;
}

std::optional<ResolvedAccount> BuiltinByName(std::string_view name) {
    for (const auto& b : kBuiltinAliases) {
        if (EqualNoCase(b.name, name)) {
            return ResolvedAccount{BuiltinAliasSid(b.rid), b.name, "BUILTIN", SidTypeAlias};
        }
    }
    return std::nullopt;
}

std::optional<ResolvedAccount> DomainAccountNamed(store::World& world, const store::Domain& d,
                                                  std::string_view name) {
    if (auto a = world.DomainAccountByName(d.id, name)) {
        if (a->deleted) return std::nullopt;
        return FromStored(*a, AppendRid(d.sid, a->rid), d.name);
    }
    for (const auto& g : kImplicitDomainGroups) {
        if (EqualNoCase(g.name, name) && !world.DomainAccountByRid(d.id, g.rid)) {
            return ResolvedAccount{AppendRid(d.sid, g.rid), g.name, d.name, SidTypeGroup};
        }
    }
    return std::nullopt;
}

std::optional<ResolvedAccount> MachineAccountNamed(store::World& world, const store::Machine& m,
                                                   std::string_view name) {
    if (auto a = world.MachineAccountByName(m.id, name)) {
        if (a->deleted) return std::nullopt;
        return FromStored(*a, AppendRid(m.sid, a->rid), m.name);
    }
    return std::nullopt;
}

}  // namespace

Bytes EveryoneSid() { return MakeSid(kWorldAuthority, {0}); }
Bytes AuthenticatedUsersSid() { return MakeSid(kNtAuthority, {11}); }
Bytes InteractiveSid() { return MakeSid(kNtAuthority, {4}); }
Bytes NetworkSid() { return MakeSid(kNtAuthority, {2}); }
Bytes BuiltinAliasSid(DWORD rid) { return MakeSid(kNtAuthority, {kBuiltinDomainRid, rid}); }

std::optional<DWORD> PrivilegeValue(std::string_view name) {
    for (const auto& p : kPrivileges) {
        if (EqualNoCase(p.name, name)) return p.value;
    }
    return std::nullopt;
}

std::string_view PrivilegeName(DWORD luid) {
    for (const auto& p : kPrivileges) {
        if (p.value == luid) return p.name;
    }
    return {};
}

std::optional<ResolvedAccount> ResolveSid(store::World& world, const store::Machine& machine,
                                          const Bytes& sid) {
    if (!SidBytesValid(sid)) return std::nullopt;
    if (auto w = WellKnownBySid(sid)) return w;
    if (sid == BuiltinDomainSid()) return ResolvedAccount{sid, "BUILTIN", "BUILTIN", SidTypeDomain};
    if (sid == machine.sid) return ResolvedAccount{sid, machine.name, machine.name, SidTypeDomain};
    if (auto d = world.DomainBySid(sid)) return ResolvedAccount{sid, d->name, d->name, SidTypeDomain};

    Bytes prefix;
    DWORD rid = 0;
    if (!SplitRid(sid, prefix, rid)) return std::nullopt;
    if (prefix == BuiltinDomainSid()) {
        for (const auto& b : kBuiltinAliases) {
            if (b.rid == rid) return ResolvedAccount{sid, b.name, "BUILTIN", SidTypeAlias};
        }
        return std::nullopt;
    }
    if (prefix == machine.sid) {
        if (auto a = world.MachineAccountByRid(machine.id, rid)) return FromStored(*a, sid, machine.name);
        return std::nullopt;
    }
    if (auto d = world.DomainBySid(prefix)) {
        if (auto a = world.DomainAccountByRid(d->id, rid)) return FromStored(*a, sid, d->name);
        for (const auto& g : kImplicitDomainGroups) {
            if (g.rid == rid) return ResolvedAccount{sid, g.name, d->name, SidTypeGroup};
        }
    }
    return std::nullopt;
}

std::optional<ResolvedAccount> ResolveName(store::World& world, const store::Machine& machine,
                                           std::string_view text) {
    std::string domain, name;
    SplitAccountName(text, domain, name);
    bool domainGiven = text.find('\\') != std::string_view::npos;
    std::optional<store::Domain> home;
    if (machine.domainId != 0) home = world.DomainById(machine.domainId);

    if (domainGiven) {
        if (name.empty()) {
            // "CORP\\" names the domain itself, as the platform allows.
            return ResolveName(world, machine, domain);
        }
        if (EqualNoCase(domain, "NT AUTHORITY") || domain.empty()) {
            return WellKnownByName(domain, name, true);
        }
        if (EqualNoCase(domain, "BUILTIN")) return BuiltinByName(name);
        if (EqualNoCase(domain, machine.name)) return MachineAccountNamed(world, machine, name);
        if (auto d = world.DomainByName(domain)) return DomainAccountNamed(world, *d, name);
        return std::nullopt;
    }

    if (name.empty()) return std::nullopt;
    if (auto w = WellKnownByName({}, name, false)) return w;
    if (auto b = BuiltinByName(name)) return b;
    if (auto m = MachineAccountNamed(world, machine, name)) return m;
    if (home) {
        if (auto a = DomainAccountNamed(world, *home, name)) return a;
    }
    if (EqualNoCase(name, "BUILTIN")) return ResolvedAccount{BuiltinDomainSid(), "BUILTIN", "BUILTIN", SidTypeDomain};
    if (EqualNoCase(name, machine.name)) {
        return ResolvedAccount{machine.sid, machine.name, machine.name, SidTypeDomain};
    }
    if (auto d = world.DomainByName(name)) return ResolvedAccount{d->sid, d->name, d->name, SidTypeDomain};
    return std::nullopt;
}

}  // namespace platform::host
