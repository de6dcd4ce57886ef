// ntsim's view of tokens and access; see inspect.h.
#include "host/inspect.h"

#include "host/names.h"
#include "platform/errors.h"
#include "host/token_build.h"
#include "host/util.h"
#include "security/access_check.h"
#include "security/descriptor.h"

namespace platform::host {
namespace {

std::optional<store::Machine> MachineFor(store::World& world, std::string_view name, std::string& error) {
    std::string wanted = name.empty() ? world.LocalMachineName() : std::string(StripBackslashes(name));
    auto m = world.MachineByName(wanted);
    if (!m) error = "unknown machine '" + wanted + "'";
    return m;
}

// The account as `machine` knows it, or failing that as the local machine
// does (a workstation's local account reaching a server).
std::optional<ResolvedAccount> AccountFor(store::World& world, const store::Machine& machine,
                                          std::string_view account, std::string& error) {
    if (auto r = ResolveName(world, machine, account)) return r;
    if (auto local = world.MachineByName(world.LocalMachineName())) {
        if (auto r = ResolveName(world, *local, account)) return r;
    }
    error = "unknown account '" + std::string(account) + "'";
    return std::nullopt;
}

std::string Display(store::World& world, const store::Machine& machine, const Bytes& sid) {
    auto r = ResolveSid(world, machine, sid);
    if (!r) return "(unknown)";
    return r->domain.empty() ? r->name : r->domain + "\\" + r->name;
}

}  // namespace

bool DescribeToken(store::World& world, std::string_view account, std::string_view machine, std::string& out,
                   std::string& error) {
    auto m = MachineFor(world, machine, error);
    if (!m) return false;
    auto user = AccountFor(world, *m, account, error);
    if (!user) return false;
    bool interactive = EqualNoCase(m->name, world.LocalMachineName());
    TokenContents t = BuildToken(world, *m, user->sid, interactive);
    std::string text = "user " + SidText(t.user) + " " + Display(world, *m, t.user) + "\n";
    for (const auto& g : t.groups) text += "group " + SidText(g) + " " + Display(world, *m, g) + "\n";
    for (DWORD luid : t.held) text += "privilege " + std::string(PrivilegeName(luid)) + "\n";
    out = std::move(text);
    return true;
}

bool MaximumKeyAccess(store::World& world, std::string_view keyPath, std::string_view account,
                      ACCESS_MASK& granted, std::string& error) {
    std::string_view rest = keyPath;
    std::string machineName;
    if (rest.substr(0, 2) == "\\\\") {
        rest.remove_prefix(2);
        auto slash = rest.find('\\');
        machineName.assign(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
    }
    auto m = MachineFor(world, machineName, error);
    if (!m) return false;
    auto slash = rest.find('\\');
    std::string hive = Upper(rest.substr(0, slash));
    rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
    if (hive == "HKEY_LOCAL_MACHINE") hive = "HKLM";
    if (hive == "HKEY_USERS") hive = "HKU";
    if (hive != "HKLM" && hive != "HKU") {
        error = "key path must start with HKLM or HKU: '" + std::string(keyPath) + "'";
        return false;
    }
    auto key = world.HiveRoot(m->id, hive);
    while (key && !rest.empty()) {
        slash = rest.find('\\');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (part.empty()) continue;
        key = world.ChildKey(key->id, part);
    }
    if (!key) {
        error = "no such key '" + std::string(keyPath) + "'";
        return false;
    }
    auto user = AccountFor(world, *m, account, error);
    if (!user) return false;
    bool interactive = EqualNoCase(m->name, world.LocalMachineName());
    AccessToken token = ToAccessToken(BuildToken(world, *m, user->sid, interactive), {});
    if (key->sd.empty()) {
        granted = KEY_ALL_ACCESS;
        return true;
    }
    if (!IsValidSelfRelative(key->sd.data(), key->sd.size())) {
        error = "the key's stored descriptor is malformed";
        return false;
    }
    ACCESS_MASK result = 0;
    DWORD rc = CheckAccess(key->sd.data(), key->sd.size(), token, MAXIMUM_ALLOWED, kKeyGenericMapping, &result);
    if (rc == ERROR_ACCESS_DENIED) {
        granted = 0;
        return true;
    }
    if (rc != ERROR_SUCCESS) {
        error = "access check failed with code " + std::to_string(rc);
        return false;
    }
    granted = result;
    return true;
}

}  // namespace platform::host
