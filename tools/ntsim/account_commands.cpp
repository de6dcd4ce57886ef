// Commands for machines, domains, accounts, memberships and privileges.
// Each is a small change of the world's JSON form (see edit.h), so names
// resolve and are checked exactly as in an imported file.
#include <CLI/CLI.hpp>

#include <iostream>

#include "edit.h"
#include "ntsim.h"
#include "store/db.h"
#include "store/principals.h"

namespace ntsim {

namespace {

using platform::store::EqualNoCase;

struct Options {
    std::string name;                    // machine, domain or [SCOPE\]account
    std::string second;                  // member, or account for privileges
    std::optional<std::string> sid;      // S-1-...
    std::optional<std::string> domain;   // a machine's domain ("" = none)
    std::optional<std::string> dc;       // a domain's controller
    std::optional<bool> online;          // machine answers calls
    std::optional<bool> remoteRegistry;  // remote registry running
    std::string type = "user";           // account type
    std::optional<long long> rid;        // account RID
    std::optional<bool> deleted;         // account deleted
    std::optional<std::string> rename;   // new account name
    std::string machine;                 // for builtin aliases and privileges
};
Options options;

bool Fails(std::string& why, const std::string& message) {
    why = message;
    return false;
}

// The owner object (domain or machine) and the account name of
// [SCOPE\]NAME; a name without scope belongs to the local machine.
Json* ScopeOf(Json& doc, const std::string& typed, std::string& account, std::string& why) {
    const std::size_t slash = typed.find('\\');
    const std::string scope = slash == std::string::npos ? doc.value("local", std::string()) : typed.substr(0, slash);
    account = slash == std::string::npos ? typed : typed.substr(slash + 1);
    if (Json* domain = FindNamed(doc["domains"], scope)) return domain;
    if (Json* machine = FindNamed(doc["machines"], scope)) return machine;
    why = "no domain or machine named \"" + scope + "\"";
    return nullptr;
}

std::string SidOrNew() {
    return options.sid ? *options.sid : platform::store::FormatSid(platform::store::NewDomainSid());
}

int MachineAdd(Context& context) {
    return EditWorld(context, [](Json& doc, std::string& why) {
        if (FindNamed(doc["machines"], options.name) != nullptr) return Fails(why, "machine " + options.name + " exists already");
        Json machine = Json::object();
        machine["name"] = options.name;
        machine["sid"] = SidOrNew();
        if (options.domain && !options.domain->empty()) machine["domain"] = *options.domain;
        machine["online"] = options.online.value_or(true);
        machine["remote_registry"] = options.remoteRegistry.value_or(true);
        doc["machines"].push_back(std::move(machine));
        return true;
    });
}

int MachineSet(Context& context) {
    return EditWorld(context, [](Json& doc, std::string& why) {
        Json* machine = FindNamed(doc["machines"], options.name);
        if (machine == nullptr) return Fails(why, "no machine named \"" + options.name + "\"");
        if (options.online) (*machine)["online"] = *options.online;
        if (options.remoteRegistry) (*machine)["remote_registry"] = *options.remoteRegistry;
        if (options.domain) {
            if (options.domain->empty())
                machine->erase("domain");
            else
                (*machine)["domain"] = *options.domain;
        }
        return true;
    });
}

int MachineDelete(Context& context) {
    return EditWorld(context, [](Json& doc, std::string& why) {
        if (!RemoveNamed(doc["machines"], options.name)) return Fails(why, "no machine named \"" + options.name + "\"");
        return true;
    });
}

int MachineList(Context& context) {
    auto world = context.Open();
    if (!world) return 1;
    const std::string local = world->LocalMachineName();
    for (const auto& machine : world->Machines()) {
        auto domain = machine.domainId != 0 ? world->DomainById(machine.domainId) : std::nullopt;
        std::cout << machine.name << "\t" << platform::store::FormatSid(machine.sid) << "\t"
                  << (domain ? domain->name : std::string("-")) << "\t" << (machine.online ? "online" : "offline") << "\t"
                  << (machine.remoteRegistry ? "remote-registry" : "no-remote-registry")
                  << (EqualNoCase(machine.name, local) ? "\tlocal" : "") << "\n";
    }
    return 0;
}

int DomainAdd(Context& context) {
    return EditWorld(context, [](Json& doc, std::string& why) {
        if (FindNamed(doc["domains"], options.name) != nullptr) return Fails(why, "domain " + options.name + " exists already");
        Json domain = Json::object();
        domain["name"] = options.name;
        domain["sid"] = SidOrNew();
        if (options.dc) domain["dc"] = *options.dc;
        doc["domains"].push_back(std::move(domain));
        return true;
    });
}

int DomainSet(Context& context) {
    return EditWorld(context, [](Json& doc, std::string& why) {
        Json* domain = FindNamed(doc["domains"], options.name);
        if (domain == nullptr) return Fails(why, "no domain named \"" + options.name + "\"");
        if (options.dc) {
            if (options.dc->empty())
                domain->erase("dc");
            else
                (*domain)["dc"] = *options.dc;
        }
        return true;
    });
}

int DomainDelete(Context& context) {
    return EditWorld(context, [](Json& doc, std::string& why) {
        if (!RemoveNamed(doc["domains"], options.name)) return Fails(why, "no domain named \"" + options.name + "\"");
        return true;
    });
}

int AccountAdd(Context& context) {
    return EditWorld(context, [](Json& doc, std::string& why) {
        std::string name;
        Json* owner = ScopeOf(doc, options.name, name, why);
        if (owner == nullptr) return false;
        Json& accounts = (*owner)["accounts"];
        if (Json* existing = FindNamed(accounts, name); existing != nullptr && !existing->value("deleted", false))
            return Fails(why, "account " + options.name + " exists already");
        long long rid = 999;
        for (const Json& account : accounts) rid = std::max<long long>(rid, account.value("rid", 0LL));
        Json account = Json::object();
        account["name"] = name;
        account["rid"] = options.rid ? *options.rid : rid + 1;
        account["type"] = options.type;
        if (options.deleted.value_or(false)) account["deleted"] = true;
        accounts.push_back(std::move(account));
        return true;
    });
}

int AccountSet(Context& context) {
    return EditWorld(context, [](Json& doc, std::string& why) {
        std::string name;
        Json* owner = ScopeOf(doc, options.name, name, why);
        if (owner == nullptr) return false;
        Json* account = FindNamed((*owner)["accounts"], name);
        if (account == nullptr) return Fails(why, "no account " + options.name);
        if (options.deleted) {
            if (*options.deleted)
                (*account)["deleted"] = true;
            else
                account->erase("deleted");
        }
        if (options.rename) (*account)["name"] = *options.rename;
        return true;
    });
}

int AccountDelete(Context& context) {
    return EditWorld(context, [](Json& doc, std::string& why) {
        std::string name;
        Json* owner = ScopeOf(doc, options.name, name, why);
        if (owner == nullptr) return false;
        if (!RemoveNamed((*owner)["accounts"], name)) return Fails(why, "no account " + options.name);
        return true;
    });
}

int AccountList(Context& context) {
    auto world = context.Open();
    if (!world) return 1;
    const std::string scope = options.name.empty() ? world->LocalMachineName() : options.name;
    auto domain = world->DomainByName(scope);
    auto machine = domain ? std::nullopt : world->MachineByName(scope);
    if (!domain && !machine) return Fail("no domain or machine named \"" + scope + "\"");
    const Bytes& ownerSid = domain ? domain->sid : machine->sid;
    const char* types[] = {"", "user", "group", "domain", "alias", "", "", "", "", "computer"};
    for (const auto& account : world->AccountsOf(domain ? domain->id : 0, machine ? machine->id : 0)) {
        const int type = static_cast<int>(account.type);
        std::cout << account.name << "\t" << platform::store::FormatSid(platform::store::SidWithRid(ownerSid, account.rid))
                  << "\t" << (type >= 0 && type < 10 ? types[type] : "") << (account.deleted ? "\tdeleted" : "") << "\n";
    }
    return 0;
}

// The member list a membership command edits: a group or alias of a
// domain or machine, or a BUILTIN alias of a machine.
Json* MemberList(Json& doc, std::string& why) {
    const std::size_t slash = options.name.find('\\');
    if (slash != std::string::npos && EqualNoCase(options.name.substr(0, slash), "BUILTIN")) {
        const std::string alias = options.name.substr(slash + 1);
        const std::string machineName = options.machine.empty() ? doc.value("local", std::string()) : options.machine;
        Json* machine = FindNamed(doc["machines"], machineName);
        if (machine == nullptr) return Fails(why, "no machine named \"" + machineName + "\""), nullptr;
        const char* canonical = nullptr;
        if (auto rid = platform::store::BuiltinRidByName(alias)) canonical = platform::store::BuiltinNameByRid(*rid);
        if (canonical == nullptr) return Fails(why, "no builtin alias \"" + alias + "\""), nullptr;
        Json& builtin = (*machine)["builtin"];
        if (!builtin.is_object()) builtin = Json::object();
        if (!builtin.contains(canonical)) builtin[canonical] = Json::array();
        return &builtin[canonical];
    }
    std::string name;
    Json* owner = ScopeOf(doc, options.name, name, why);
    if (owner == nullptr) return nullptr;
    Json* group = FindNamed((*owner)["accounts"], name);
    if (group == nullptr) return Fails(why, "no account " + options.name), nullptr;
    const std::string type = group->value("type", std::string());
    if (type != "group" && type != "alias") return Fails(why, options.name + " is not a group or alias"), nullptr;
    if (!group->contains("members")) (*group)["members"] = Json::array();
    return &(*group)["members"];
}

// A member as typed matches a listed one written the same way, or
// written DOMAIN\NAME when typed as NAME.
bool SameMember(const std::string& listed, const std::string& typed) {
    if (EqualNoCase(listed, typed)) return true;
    if (typed.find('\\') != std::string::npos || listed.size() <= typed.size()) return false;
    const std::size_t start = listed.size() - typed.size();
    return listed[start - 1] == '\\' && EqualNoCase(listed.substr(start), typed);
}

int MemberAdd(Context& context) {
    return EditWorld(context, [](Json& doc, std::string& why) {
        Json* members = MemberList(doc, why);
        if (members == nullptr) return false;
        for (const Json& member : *members)
            if (member.is_string() && SameMember(member.get<std::string>(), options.second))
                return Fails(why, options.second + " is a member already");
        members->push_back(options.second);
        return true;
    });
}

int MemberRemove(Context& context) {
    return EditWorld(context, [](Json& doc, std::string& why) {
        Json* members = MemberList(doc, why);
        if (members == nullptr) return false;
        for (auto it = members->begin(); it != members->end(); ++it)
            if (it->is_string() && SameMember(it->get<std::string>(), options.second)) {
                members->erase(it);
                return true;
            }
        return Fails(why, options.second + " is not a member of " + options.name);
    });
}

// A machine that assigns the defaults gets them written out first, so
// that adding one grant does not take the others away.
Json& PrivilegesOf(Json& machine) {
    if (!machine.contains("privileges")) {
        Json defaults = Json::object();
        for (const char* p : {"SeSecurityPrivilege", "SeBackupPrivilege", "SeRestorePrivilege", "SeTakeOwnershipPrivilege"})
            defaults[p].push_back("BUILTIN\\Administrators");
        for (const char* p : {"SeBackupPrivilege", "SeRestorePrivilege"}) defaults[p].push_back("BUILTIN\\Backup Operators");
        defaults["SeTcbPrivilege"].push_back("NT AUTHORITY\\SYSTEM");
        machine["privileges"] = std::move(defaults);
    }
    return machine["privileges"];
}

int PrivilegeChange(Context& context, bool add) {
    return EditWorld(context, [add](Json& doc, std::string& why) {
        const std::string machineName = options.machine.empty() ? doc.value("local", std::string()) : options.machine;
        Json* machine = FindNamed(doc["machines"], machineName);
        if (machine == nullptr) return Fails(why, "no machine named \"" + machineName + "\"");
        Json& privileges = PrivilegesOf(*machine);
        Json& holders = privileges[options.name];
        if (!holders.is_array()) holders = Json::array();
        for (auto it = holders.begin(); it != holders.end(); ++it)
            if (it->is_string() && SameMember(it->get<std::string>(), options.second)) {
                if (add) return Fails(why, options.second + " holds " + options.name + " already");
                holders.erase(it);
                return true;
            }
        if (!add) return Fails(why, options.second + " does not hold " + options.name + " on " + machineName);
        holders.push_back(options.second);
        return true;
    });
}

}  // namespace

void AddAccountCommands(CLI::App& app, Context& context) {
    auto* machine = app.add_subcommand("machine", "machines: add, set, delete, list");
    machine->require_subcommand(1);
    auto* machineAdd = machine->add_subcommand("add", "add a machine");
    machineAdd->add_option("name", options.name, "machine name")->required();
    machineAdd->add_option("--sid", options.sid, "machine SID (default: a new one)");
    machineAdd->add_option("--domain", options.domain, "domain it is a member of");
    machineAdd->add_option("--online", options.online, "answers calls (true/false)");
    machineAdd->add_option("--remote-registry", options.remoteRegistry, "remote registry running (true/false)");
    machineAdd->callback([&context] { context.status = MachineAdd(context); });
    auto* machineSet = machine->add_subcommand("set", "change a machine");
    machineSet->add_option("name", options.name, "machine name")->required();
    machineSet->add_option("--domain", options.domain, "domain it is a member of (\"\" for none)");
    machineSet->add_option("--online", options.online, "answers calls (true/false)");
    machineSet->add_option("--remote-registry", options.remoteRegistry, "remote registry running (true/false)");
    machineSet->callback([&context] { context.status = MachineSet(context); });
    auto* machineDelete = machine->add_subcommand("delete", "delete a machine with its accounts, keys and shares");
    machineDelete->add_option("name", options.name, "machine name")->required();
    machineDelete->callback([&context] { context.status = MachineDelete(context); });
    machine->add_subcommand("list", "list machines")->callback([&context] { context.status = MachineList(context); });

    auto* domain = app.add_subcommand("domain", "domains: add, set, delete");
    domain->require_subcommand(1);
    auto* domainAdd = domain->add_subcommand("add", "add a domain");
    domainAdd->add_option("name", options.name, "domain name")->required();
    domainAdd->add_option("--sid", options.sid, "domain SID (default: a new one)");
    domainAdd->add_option("--dc", options.dc, "its controller (a machine)");
    domainAdd->callback([&context] { context.status = DomainAdd(context); });
    auto* domainSet = domain->add_subcommand("set", "change a domain");
    domainSet->add_option("name", options.name, "domain name")->required();
    domainSet->add_option("--dc", options.dc, "its controller (\"\" for none)");
    domainSet->callback([&context] { context.status = DomainSet(context); });
    auto* domainDelete = domain->add_subcommand("delete", "delete a domain with its accounts");
    domainDelete->add_option("name", options.name, "domain name")->required();
    domainDelete->callback([&context] { context.status = DomainDelete(context); });

    const char* accountHelp = "[DOMAIN\\|MACHINE\\]NAME (default: the local machine)";
    auto* account = app.add_subcommand("account", "accounts: add, set, delete, list");
    account->require_subcommand(1);
    auto* accountAdd = account->add_subcommand("add", "add an account");
    accountAdd->add_option("account", options.name, accountHelp)->required();
    accountAdd->add_option("--type", options.type, "user (default), group, alias, computer")
        ->check(CLI::IsMember({"user", "group", "alias", "computer"}));
    accountAdd->add_option("--rid", options.rid, "RID (default: the next free one from 1000)")->check(CLI::Range(0LL, 4294967295LL));
    accountAdd->add_option("--deleted", options.deleted, "a deleted account (true/false)");
    accountAdd->callback([&context] { context.status = AccountAdd(context); });
    auto* accountSet = account->add_subcommand("set", "change an account");
    accountSet->add_option("account", options.name, accountHelp)->required();
    accountSet->add_option("--deleted", options.deleted, "deleted (true/false): its SID still resolves");
    accountSet->add_option("--rename", options.rename, "new name");
    accountSet->callback([&context] { context.status = AccountSet(context); });
    auto* accountDelete = account->add_subcommand("delete", "remove an account entirely (its SID no longer resolves)");
    accountDelete->add_option("account", options.name, accountHelp)->required();
    accountDelete->callback([&context] { context.status = AccountDelete(context); });
    auto* accountList = account->add_subcommand("list", "list the accounts of a domain or machine");
    accountList->add_option("scope", options.name, "domain or machine (default: the local machine)");
    accountList->callback([&context] { context.status = AccountList(context); });

    auto* member = app.add_subcommand("member", "memberships of groups, aliases and BUILTIN aliases");
    member->require_subcommand(1);
    for (bool add : {true, false}) {
        auto* command = member->add_subcommand(add ? "add" : "remove", add ? "add a member" : "remove a member");
        command->add_option("group", options.name, "[DOMAIN\\|MACHINE\\]GROUP or BUILTIN\\ALIAS")->required();
        command->add_option("member", options.second, "[DOMAIN\\]NAME or S-1-...")->required();
        command->add_option("--machine", options.machine, "machine of a BUILTIN alias (default: the local machine)");
        command->callback([&context, add] { context.status = add ? MemberAdd(context) : MemberRemove(context); });
    }

    auto* privilege = app.add_subcommand("privilege", "privilege assignments of a machine");
    privilege->require_subcommand(1);
    for (bool add : {true, false}) {
        auto* command = privilege->add_subcommand(add ? "add" : "remove", add ? "grant a privilege" : "take a privilege away");
        command->add_option("privilege", options.name, "SeXxxPrivilege")->required();
        command->add_option("account", options.second, "[DOMAIN\\]NAME or S-1-...")->required();
        command->add_option("--machine", options.machine, "machine (default: the local machine)");
        command->callback([&context, add] { context.status = PrivilegeChange(context, add); });
    }
}

}  // namespace ntsim
