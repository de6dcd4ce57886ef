// Building an account's token on a machine; see token_build.h.
#include "host/token_build.h"

#include <algorithm>
#include <deque>
#include <map>

#include "host/names.h"

namespace platform::host {
namespace {

constexpr DWORD kDomainUsersRid = 513;

bool Contains(const std::vector<Bytes>& list, const Bytes& sid) {
    return std::find(list.begin(), list.end(), sid) != list.end();
}

}  // namespace

TokenContents BuildToken(store::World& world, const store::Machine& machine, const Bytes& user,
                         bool interactive) {
    TokenContents t;
    t.user = user;

    // Seeds: the user and the logon's implicit groups; all can be members
    // of groups and aliases, so each is expanded below.
    std::deque<Bytes> pending;
    std::vector<Bytes> seen{user};
    auto add = [&](const Bytes& sid) {
        if (sid.empty() || Contains(seen, sid)) return;
        seen.push_back(sid);
        t.groups.push_back(sid);
        pending.push_back(sid);
    };

    Bytes prefix;
    DWORD rid = 0;
    if (SplitRid(user, prefix, rid)) {
        if (auto d = world.DomainBySid(prefix)) {
            if (auto a = world.DomainAccountByRid(d->id, rid); a && a->type == SidTypeUser) {
                add(AppendRid(d->sid, kDomainUsersRid));
            }
        }
    }
    pending.push_back(user);
    add(EveryoneSid());
    add(AuthenticatedUsersSid());
    add(interactive ? InteractiveSid() : NetworkSid());

    // Group and alias accounts by id, for the ids GroupsWithMember gives:
    // every domain's accounts (all domains are trusted) and this machine's,
    // read only once some SID turns out to be a member of something.
    std::map<store::Id, store::Account> accounts;
    bool accountsLoaded = false;
    auto loadAccounts = [&] {
        if (accountsLoaded) return;
        accountsLoaded = true;
        for (const auto& d : world.Domains()) {
            for (auto& a : world.AccountsOf(d.id, 0)) accounts.emplace(a.id, std::move(a));
        }
        for (auto& a : world.AccountsOf(0, machine.id)) accounts.emplace(a.id, std::move(a));
    };

    while (!pending.empty()) {
        Bytes sid = std::move(pending.front());
        pending.pop_front();
        for (store::Id id : world.GroupsWithMember(sid)) {
            loadAccounts();
            auto found = accounts.find(id);
            if (found == accounts.end()) continue;  // another machine's alias
            const store::Account* group = &found->second;
            if (group->deleted) continue;
            if (group->domainId != 0) {
                if (auto d = world.DomainById(group->domainId)) add(AppendRid(d->sid, group->rid));
            } else if (group->machineId == machine.id) {
                // Another machine's aliases mean nothing here.
                add(AppendRid(machine.sid, group->rid));
            }
        }
        for (DWORD aliasRid : world.BuiltinAliasesWithMember(machine.id, sid)) {
            add(BuiltinAliasSid(aliasRid));
        }
    }

    for (const auto& grant : world.PrivilegesOn(machine.id)) {
        if (grant.holderSid != t.user && !Contains(t.groups, grant.holderSid)) continue;
        auto value = PrivilegeValue(grant.privilege);
        if (value && std::find(t.held.begin(), t.held.end(), *value) == t.held.end()) {
            t.held.push_back(*value);
        }
    }
    std::sort(t.held.begin(), t.held.end());
    return t;
}

AccessToken ToAccessToken(const TokenContents& contents, const std::vector<DWORD>& enabled) {
    AccessToken token;
    token.user = contents.user;
    token.groups = contents.groups;
    for (DWORD luid : contents.held) {
        bool on = std::find(enabled.begin(), enabled.end(), luid) != enabled.end();
        token.privileges.push_back(TokenPrivilege{luid, on});
    }
    return token;
}

}  // namespace platform::host
