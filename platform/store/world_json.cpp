// The JSON world format: import with validation, export, and their exact
// round trip.  docs/world-format.md is the user's description of it.
//
// Guarantees:
//   1. Import is all or nothing: it runs inside the caller's transaction and
//      any error leaves the transaction to be rolled back.
//   2. Every error names its place as a path into the document
//      ("machines[0].registry[3].sd: ..."), unknown fields included.
//   3. Export followed by import gives back the same world, and exporting
//      that world gives the same text: keys are written depth first in
//      enumeration order with their descriptors, accounts as DOMAIN\NAME (or
//      the SID text when a name would not lead back to the same SID).
//
// Registry entries apply in order of depth (then file order), so a listed
// key always has its listed ancestors' descriptors to inherit from.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "security/descriptor.h"
#include "security/sddl.h"
#include "store/principals.h"
#include "store/sd_edit.h"
#include "store/world_impl.h"

namespace platform::store {

namespace {

using json = nlohmann::ordered_json;

const char* const kHklmDefaultSd = "O:BAG:SYD:P(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CIIO;KA;;;CO)";
const char* const kHkuDefaultSd = "O:BAG:SYD:P(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)";
const char* const kComputerNamePath = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName";

const std::vector<const char*>& KnownPrivileges() {
    static const std::vector<const char*> names = {
        "SeCreateTokenPrivilege",       "SeAssignPrimaryTokenPrivilege", "SeLockMemoryPrivilege",
        "SeIncreaseQuotaPrivilege",     "SeMachineAccountPrivilege",     "SeTcbPrivilege",
        "SeSecurityPrivilege",          "SeTakeOwnershipPrivilege",      "SeLoadDriverPrivilege",
        "SeSystemProfilePrivilege",     "SeSystemtimePrivilege",         "SeProfileSingleProcessPrivilege",
        "SeIncreaseBasePriorityPrivilege", "SeCreatePagefilePrivilege",  "SeCreatePermanentPrivilege",
        "SeBackupPrivilege",            "SeRestorePrivilege",            "SeShutdownPrivilege",
        "SeDebugPrivilege",             "SeAuditPrivilege",              "SeSystemEnvironmentPrivilege",
        "SeChangeNotifyPrivilege",      "SeRemoteShutdownPrivilege",     "SeUndockPrivilege",
        "SeManageVolumePrivilege",      "SeImpersonatePrivilege",        "SeCreateGlobalPrivilege",
    };
    return names;
}

struct ValueType {
    DWORD type;        // REG_*
    const char* name;  // JSON spelling
};
const ValueType kValueTypes[] = {{REG_NONE, "none"},     {REG_SZ, "sz"},       {REG_EXPAND_SZ, "expand_sz"},
                                 {REG_BINARY, "binary"}, {REG_DWORD, "dword"}, {REG_MULTI_SZ, "multi_sz"}};

struct ShareType {
    DWORD type;        // STYPE_*
    const char* name;  // JSON spelling
};
const ShareType kShareTypes[] = {
    {STYPE_DISKTREE, "disk"}, {STYPE_PRINTQ, "printer"}, {STYPE_DEVICE, "device"}, {STYPE_IPC, "ipc"}};

struct DefaultAccount {
    DWORD rid;          // well-known RID
    const char* name;   // its usual name
    SID_NAME_USE type;  // user or group
};
// Accounts every domain / every machine has even when the file leaves them
// out; the token and the look-ups rely on them (Domain Users above all).
const DefaultAccount kDomainDefaults[] = {
    {500, "Administrator", SidTypeUser},   {501, "Guest", SidTypeUser},
    {502, "krbtgt", SidTypeUser},          {512, "Domain Admins", SidTypeGroup},
    {513, "Domain Users", SidTypeGroup},   {514, "Domain Guests", SidTypeGroup},
    {515, "Domain Computers", SidTypeGroup}, {516, "Domain Controllers", SidTypeGroup},
};
const DefaultAccount kMachineDefaults[] = {{500, "Administrator", SidTypeUser}, {501, "Guest", SidTypeUser}};

struct AccountType {
    SID_NAME_USE type;  // SidType*
    const char* name;   // JSON spelling
};
const AccountType kAccountTypes[] = {
    {SidTypeUser, "user"}, {SidTypeGroup, "group"}, {SidTypeAlias, "alias"}, {SidTypeComputer, "computer"}};

std::string Hex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (BYTE b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

bool FromHex(const std::string& text, Bytes& out) {
    if (text.size() % 2 != 0) return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    Bytes bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = digit(text[i]), low = digit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<BYTE>(high * 16 + low));
    }
    out = std::move(bytes);
    return true;
}

std::vector<std::string> SplitPath(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('\\', start);
        parts.emplace_back(path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return parts;
}

// ================================================================ import

struct AccountInfo {
    DWORD rid = 0;        // under the owner's SID
    bool deleted = false; // deleted account
};

struct OwnerInfo {
    Id id = 0;                                        // row id
    std::string name;                                 // as written
    Bytes sid;                                        // domain or machine SID
    Id domainId = 0;                                  // machines: their domain
    std::string dc;                                   // domains: controller
    std::unordered_map<std::string, AccountInfo> live;     // upper name -> live account
    std::unordered_map<std::string, AccountInfo> deleted;  // upper name -> deleted account
    std::vector<std::pair<Id, const json*>> memberLists;   // account row id, its "members"
    std::vector<std::string> memberPlaces;                 // places of those lists
};

class Importer {
public:
    explicit Importer(Db& db) : db_(db) {}

    bool Run(const std::string& text, std::string* error) {
        json doc = json::parse(text, nullptr, false);
        bool ok = true;
        if (doc.is_discarded())
            ok = Fail("", "not valid JSON");
        else
            ok = Document(doc);
        if (!ok && error != nullptr) *error = error_;
        return ok;
    }

private:
    Db& db_;
    std::string error_;
    std::map<std::string, OwnerInfo> domains_;   // upper name -> domain
    std::map<std::string, OwnerInfo> machines_;  // upper name -> machine

    bool Fail(const std::string& place, const std::string& what) {
        error_ = place.empty() ? what : place + ": " + what;
        return false;
    }

    bool Sql(bool ok) {
        if (!ok) error_ = "store: " + db_.Message();
        return ok;
    }

    bool Fields(const json& object, const std::string& place, std::initializer_list<const char*> allowed) {
        if (!object.is_object()) return Fail(place, "expected an object");
        for (const auto& [field, value] : object.items()) {
            bool known = false;
            for (const char* name : allowed) known = known || field == name;
            if (!known) return Fail(place, "unknown field \"" + field + "\"");
        }
        return true;
    }

    static std::string At(const std::string& place, const char* field) {
        return place.empty() ? std::string(field) : place + "." + field;
    }
    static std::string Index(const std::string& place, std::size_t i) {
        return place + "[" + std::to_string(i) + "]";
    }

    bool String(const json& object, const char* field, const std::string& place, std::string& out, bool required) {
        auto found = object.find(field);
        if (found == object.end()) return !required || Fail(At(place, field), "missing");
        if (!found->is_string()) return Fail(At(place, field), "expected a string");
        out = found->get<std::string>();
        return true;
    }

    bool Bool(const json& object, const char* field, const std::string& place, bool& out) {
        auto found = object.find(field);
        if (found == object.end()) return true;
        if (!found->is_boolean()) return Fail(At(place, field), "expected true or false");
        out = found->get<bool>();
        return true;
    }

    bool Number(const json& object, const char* field, const std::string& place, std::int64_t min, std::int64_t max,
                std::int64_t& out, bool required) {
        auto found = object.find(field);
        if (found == object.end()) return !required || Fail(At(place, field), "missing");
        if (!found->is_number_integer())
            return Fail(At(place, field), "expected a whole number");
        const std::int64_t value =
            found->is_number_unsigned() && found->get<std::uint64_t>() > 0x7FFFFFFFFFFFFFFFull ? max + 1 : found->get<std::int64_t>();
        if (value < min || value > max)
            return Fail(At(place, field), "out of range " + std::to_string(min) + ".." + std::to_string(max));
        out = value;
        return true;
    }

    bool Array(const json& object, const char* field, const std::string& place, const json*& out) {
        auto found = object.find(field);
        out = nullptr;
        if (found == object.end()) return true;
        if (!found->is_array()) return Fail(At(place, field), "expected a list");
        out = &*found;
        return true;
    }

    bool Name(const std::string& name, const std::string& place) {
        if (name.empty()) return Fail(place, "empty name");
        if (name.find('\\') != std::string::npos) return Fail(place, "a name may not hold a backslash");
        return true;
    }

    bool Sid(const json& object, const std::string& place, Bytes& out) {
        std::string text;
        if (!String(object, "sid", place, text, true)) return false;
        auto sid = ParseSid(text);
        if (!sid) return Fail(At(place, "sid"), "malformed SID \"" + text + "\"");
        out = *sid;
        return true;
    }

    bool Document(const json& doc) {
        if (!Fields(doc, "", {"local", "logon", "domains", "machines"})) return false;
        std::string local, logon;
        const json *domains = nullptr, *machines = nullptr;
        if (!String(doc, "local", "", local, false) || !String(doc, "logon", "", logon, false) ||
            !Array(doc, "domains", "", domains) || !Array(doc, "machines", "", machines))
            return false;
        if (!Sql(db_.Exec("DELETE FROM domains; DELETE FROM machines; DELETE FROM accounts; DELETE FROM members;"
                          "DELETE FROM builtin_members; DELETE FROM privileges; DELETE FROM keys;"
                          "DELETE FROM key_values; DELETE FROM shares;")))
            return false;
        {
            Query q(db_, "UPDATE meta SET value = ?2 WHERE name = ?1");
            if (!Sql(q.Bind(1, std::string_view("local")).Bind(2, local).Run())) return false;
        }
        {
            Query q(db_, "UPDATE meta SET value = ?2 WHERE name = ?1");
            if (!Sql(q.Bind(1, std::string_view("logon")).Bind(2, logon).Run())) return false;
        }
        if (domains != nullptr)
            for (std::size_t i = 0; i < domains->size(); ++i)
                if (!DomainEntry((*domains)[i], Index("domains", i))) return false;
        if (machines != nullptr)
            for (std::size_t i = 0; i < machines->size(); ++i)
                if (!MachineEntry((*machines)[i], Index("machines", i))) return false;
        // Names are all known now: controllers, the local machine, members.
        if (domains != nullptr)
            for (std::size_t i = 0; i < domains->size(); ++i) {
                const std::string place = Index("domains", i);
                const OwnerInfo& domain = domains_.at(Upper((*domains)[i]["name"].get<std::string>()));
                if (!domain.dc.empty() && machines_.count(Upper(domain.dc)) == 0)
                    return Fail(At(place, "dc"), "no machine named \"" + domain.dc + "\"");
                for (std::size_t m = 0; m < domain.memberLists.size(); ++m)
                    if (!Members(domain.memberLists[m].first, *domain.memberLists[m].second, domain.memberPlaces[m],
                                 nullptr, &domain))
                        return false;
            }
        if (!local.empty() && machines_.count(Upper(local)) == 0)
            return Fail("local", "no machine named \"" + local + "\"");
        if (machines != nullptr)
            for (std::size_t i = 0; i < machines->size(); ++i)
                if (!MachineContent((*machines)[i], Index("machines", i))) return false;
        return true;
    }

    bool DomainEntry(const json& entry, const std::string& place) {
        if (!Fields(entry, place, {"name", "sid", "dc", "accounts"})) return false;
        OwnerInfo info;
        const json* accounts = nullptr;
        if (!String(entry, "name", place, info.name, true) || !Name(info.name, At(place, "name")) ||
            !Sid(entry, place, info.sid) || !String(entry, "dc", place, info.dc, false) ||
            !Array(entry, "accounts", place, accounts))
            return false;
        const std::string upper = Upper(info.name);
        if (domains_.count(upper) != 0) return Fail(At(place, "name"), "second domain named \"" + info.name + "\"");
        Query q(db_, "INSERT INTO domains(name, uname, sid, dc) VALUES(?1, ?2, ?3, ?4)");
        if (!Sql(q.Bind(1, info.name).Bind(2, upper).Bind(3, info.sid).Bind(4, info.dc).Run())) return false;
        info.id = db_.LastId();
        OwnerInfo& stored = domains_[upper] = std::move(info);
        if (accounts != nullptr)
            for (std::size_t i = 0; i < accounts->size(); ++i)
                if (!AccountEntry((*accounts)[i], Index(At(place, "accounts"), i), stored, stored.id, 0)) return false;
        return DefaultAccounts(stored, stored.id, 0, kDomainDefaults);
    }

    template <std::size_t N>
    bool DefaultAccounts(OwnerInfo& owner, Id domainId, Id machineId, const DefaultAccount (&defaults)[N]) {
        for (const DefaultAccount& account : defaults) {
            const std::string upper = Upper(account.name);
            bool taken = owner.live.count(upper) != 0;
            for (const auto* table : {&owner.live, &owner.deleted})
                for (const auto& [name, info] : *table) taken = taken || info.rid == account.rid;
            if (taken) continue;
            Query q(db_,
                    "INSERT INTO accounts(domain_id, machine_id, name, uname, rid, type, deleted) "
                    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, 0)");
            if (!Sql(q.Bind(1, domainId).Bind(2, machineId).Bind(3, std::string_view(account.name)).Bind(4, upper)
                         .Bind(5, std::int64_t{account.rid}).Bind(6, std::int64_t{account.type}).Run()))
                return false;
            const Id id = db_.LastId();
            owner.live[upper] = AccountInfo{account.rid, false};
            // A domain's own administrator belongs to Domain Admins.
            if (domainId != 0 && account.rid == 512 && owner.live.count("ADMINISTRATOR") != 0) {
                Query m(db_, "INSERT INTO members(group_id, member_sid) VALUES(?1, ?2)");
                if (!Sql(m.Bind(1, id).Bind(2, SidWithRid(owner.sid, owner.live["ADMINISTRATOR"].rid)).Run()))
                    return false;
            }
        }
        return true;
    }

    bool AccountEntry(const json& entry, const std::string& place, OwnerInfo& owner, Id domainId, Id machineId) {
        if (!Fields(entry, place, {"name", "rid", "type", "members", "deleted"})) return false;
        std::string name, typeName;
        std::int64_t rid = 0;
        bool deleted = false;
        const json* members = nullptr;
        if (!String(entry, "name", place, name, true) || !Name(name, At(place, "name")) ||
            !Number(entry, "rid", place, 0, 0xFFFFFFFFll, rid, true) || !String(entry, "type", place, typeName, true) ||
            !Array(entry, "members", place, members) || !Bool(entry, "deleted", place, deleted))
            return false;
        std::optional<SID_NAME_USE> type;
        for (const auto& known : kAccountTypes)
            if (typeName == known.name) type = known.type;
        if (!type) return Fail(At(place, "type"), "unknown account type \"" + typeName + "\" (user, group, alias, computer)");
        if (members != nullptr && *type != SidTypeGroup && *type != SidTypeAlias)
            return Fail(At(place, "members"), "only groups and aliases have members");
        const std::string upper = Upper(name);
        for (const auto* table : {&owner.live, &owner.deleted})
            for (const auto& [other, info] : *table)
                if (info.rid == static_cast<DWORD>(rid))
                    return Fail(At(place, "rid"), "RID " + std::to_string(rid) + " used twice");
        if (!deleted && owner.live.count(upper) != 0) return Fail(At(place, "name"), "second account named \"" + name + "\"");
        Query q(db_,
                "INSERT INTO accounts(domain_id, machine_id, name, uname, rid, type, deleted) "
                "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        if (!Sql(q.Bind(1, domainId).Bind(2, machineId).Bind(3, name).Bind(4, upper).Bind(5, rid)
                     .Bind(6, std::int64_t{*type}).Bind(7, std::int64_t{deleted ? 1 : 0}).Run()))
            return false;
        (deleted ? owner.deleted : owner.live)[upper] = AccountInfo{static_cast<DWORD>(rid), deleted};
        if (members != nullptr) {
            owner.memberLists.emplace_back(db_.LastId(), members);
            owner.memberPlaces.push_back(At(place, "members"));
        }
        return true;
    }

    static std::optional<Bytes> AccountSid(const OwnerInfo& owner, const std::string& upperName) {
        if (auto live = owner.live.find(upperName); live != owner.live.end())
            return SidWithRid(owner.sid, live->second.rid);
        if (auto dead = owner.deleted.find(upperName); dead != owner.deleted.end())
            return SidWithRid(owner.sid, dead->second.rid);
        return std::nullopt;
    }

    // [DOMAIN\]NAME or S-1-... in the context of a machine or a domain.
    std::optional<Bytes> Resolve(const std::string& text, const OwnerInfo* machine, const OwnerInfo* domain) {
        if (text.size() > 2 && (text[0] == 'S' || text[0] == 's') && text[1] == '-') return ParseSid(text);
        const std::size_t slash = text.find('\\');
        if (slash != std::string::npos) {
            const std::string scope = Upper(text.substr(0, slash));
            const std::string name = text.substr(slash + 1);
            const std::string upper = Upper(name);
            for (const auto& known : WellKnownAccounts())
                if (Upper(known.domain) == scope && EqualNoCase(known.name, name)) return ParseSid(known.sid);
            if (scope == "BUILTIN") {
                auto rid = BuiltinRidByName(name);
                if (rid) return BuiltinSid(*rid);
                return std::nullopt;
            }
            auto d = domains_.find(scope);
            if (d != domains_.end()) return AccountSid(d->second, upper);
            auto m = machines_.find(scope);
            if (m != machines_.end()) return AccountSid(m->second, upper);
            return std::nullopt;
        }
        const std::string upper = Upper(text);
        for (const auto& known : WellKnownAccounts())
            if (EqualNoCase(known.name, text)) return ParseSid(known.sid);
        if (auto rid = BuiltinRidByName(text)) return BuiltinSid(*rid);
        if (machine != nullptr) {
            if (auto sid = AccountSid(*machine, upper)) return sid;
            for (const auto& [key, d] : domains_)
                if (d.id == machine->domainId && machine->domainId != 0) return AccountSid(d, upper);
        }
        if (domain != nullptr) return AccountSid(*domain, upper);
        return std::nullopt;
    }

    bool SidList(const json& list, const std::string& place, const OwnerInfo* machine, const OwnerInfo* domain,
                 std::vector<Bytes>& out) {
        if (!list.is_array()) return Fail(place, "expected a list");
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string where = Index(place, i);
            if (!list[i].is_string()) return Fail(where, "expected an account name");
            auto sid = Resolve(list[i].get<std::string>(), machine, domain);
            if (!sid) return Fail(where, "unknown account \"" + list[i].get<std::string>() + "\"");
            out.push_back(*sid);
        }
        return true;
    }

    bool Members(Id groupId, const json& list, const std::string& place, const OwnerInfo* machine,
                 const OwnerInfo* domain) {
        std::vector<Bytes> sids;
        if (!SidList(list, place, machine, domain, sids)) return false;
        for (const Bytes& sid : sids) {
            Query q(db_, "INSERT INTO members(group_id, member_sid) VALUES(?1, ?2)");
            if (!Sql(q.Bind(1, groupId).Bind(2, sid).Run())) return false;
        }
        return true;
    }

    bool MachineEntry(const json& entry, const std::string& place) {
        if (!Fields(entry, place,
                    {"name", "sid", "domain", "online", "remote_registry", "accounts", "builtin", "privileges",
                     "registry", "shares"}))
            return false;
        OwnerInfo info;
        std::string domainName;
        bool online = true, remoteRegistry = true;
        const json* accounts = nullptr;
        if (!String(entry, "name", place, info.name, true) || !Name(info.name, At(place, "name")) ||
            !Sid(entry, place, info.sid) || !String(entry, "domain", place, domainName, false) ||
            !Bool(entry, "online", place, online) || !Bool(entry, "remote_registry", place, remoteRegistry) ||
            !Array(entry, "accounts", place, accounts))
            return false;
        const std::string upper = Upper(info.name);
        if (machines_.count(upper) != 0) return Fail(At(place, "name"), "second machine named \"" + info.name + "\"");
        if (domains_.count(upper) != 0)
            return Fail(At(place, "name"), "\"" + info.name + "\" already names a domain");
        if (!domainName.empty()) {
            auto domain = domains_.find(Upper(domainName));
            if (domain == domains_.end()) return Fail(At(place, "domain"), "no domain named \"" + domainName + "\"");
            info.domainId = domain->second.id;
        }
        const bool explicitPrivileges = entry.contains("privileges");
        Query q(db_,
                "INSERT INTO machines(name, uname, sid, domain_id, online, remote_registry, explicit_privileges) "
                "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        if (!Sql(q.Bind(1, info.name).Bind(2, upper).Bind(3, info.sid).Bind(4, info.domainId)
                     .Bind(5, std::int64_t{online}).Bind(6, std::int64_t{remoteRegistry})
                     .Bind(7, std::int64_t{explicitPrivileges}).Run()))
            return false;
        info.id = db_.LastId();
        OwnerInfo& stored = machines_[upper] = std::move(info);
        if (accounts != nullptr)
            for (std::size_t i = 0; i < accounts->size(); ++i)
                if (!AccountEntry((*accounts)[i], Index(At(place, "accounts"), i), stored, 0, stored.id)) return false;
        return DefaultAccounts(stored, 0, stored.id, kMachineDefaults);
    }

    bool MachineContent(const json& entry, const std::string& place) {
        OwnerInfo& machine = machines_.at(Upper(entry["name"].get<std::string>()));
        for (std::size_t m = 0; m < machine.memberLists.size(); ++m)
            if (!Members(machine.memberLists[m].first, *machine.memberLists[m].second, machine.memberPlaces[m], &machine,
                         nullptr))
                return false;
        if (auto builtin = entry.find("builtin"); builtin != entry.end()) {
            const std::string where = At(place, "builtin");
            if (!builtin->is_object()) return Fail(where, "expected an object");
            for (const auto& [alias, list] : builtin->items()) {
                auto rid = BuiltinRidByName(alias);
                if (!rid) return Fail(where, "unknown builtin alias \"" + alias + "\"");
                std::vector<Bytes> sids;
                if (!SidList(list, where + "." + alias, &machine, nullptr, sids)) return false;
                for (const Bytes& sid : sids) {
                    Query q(db_, "INSERT INTO builtin_members(machine_id, alias_rid, member_sid) VALUES(?1, ?2, ?3)");
                    if (!Sql(q.Bind(1, machine.id).Bind(2, std::int64_t{*rid}).Bind(3, sid).Run())) return false;
                }
            }
        }
        if (auto privileges = entry.find("privileges"); privileges != entry.end()) {
            const std::string where = At(place, "privileges");
            if (!privileges->is_object()) return Fail(where, "expected an object");
            for (const auto& [privilege, list] : privileges->items()) {
                const auto& known = KnownPrivileges();
                if (std::find_if(known.begin(), known.end(), [&](const char* n) { return privilege == n; }) == known.end())
                    return Fail(where, "unknown privilege \"" + privilege + "\"");
                std::vector<Bytes> sids;
                if (!SidList(list, where + "." + privilege, &machine, nullptr, sids)) return false;
                for (const Bytes& sid : sids) {
                    Query q(db_, "INSERT INTO privileges(machine_id, privilege, holder_sid) VALUES(?1, ?2, ?3)");
                    if (!Sql(q.Bind(1, machine.id).Bind(2, privilege).Bind(3, sid).Run())) return false;
                }
            }
        }
        SddlContext context;
        Bytes domainSid;
        for (const auto& [key, d] : domains_)
            if (d.id == machine.domainId && machine.domainId != 0) domainSid = d.sid;
        context.machineSid = reinterpret_cast<const SID*>(machine.sid.data());
        context.domainSid = domainSid.empty() ? nullptr : reinterpret_cast<const SID*>(domainSid.data());
        const json* registry = nullptr;
        const json* shares = nullptr;
        if (!Array(entry, "registry", place, registry) || !Array(entry, "shares", place, shares)) return false;
        if (!Registry(registry, At(place, "registry"), machine, context)) return false;
        if (shares != nullptr)
            for (std::size_t i = 0; i < shares->size(); ++i)
                if (!ShareEntry((*shares)[i], Index(At(place, "shares"), i), machine, context)) return false;
        return true;
    }

    // A descriptor: SDDL text, or {"hex": "..."} for bytes kept as they are.
    bool Descriptor(const json& value, const std::string& place, const SddlContext& context, Bytes& out) {
        if (value.is_object()) {
            if (!Fields(value, place, {"hex"})) return false;
            std::string hex;
            if (!String(value, "hex", place, hex, true)) return false;
            if (!FromHex(hex, out)) return Fail(At(place, "hex"), "expected pairs of hexadecimal digits");
            return true;
        }
        if (!value.is_string()) return Fail(place, "expected SDDL text");
        const std::string text = value.get<std::string>();
        std::size_t offset = 0;
        if (!SddlToSelfRelative(text, context, out, &offset))
            return Fail(place, "bad descriptor at offset " + std::to_string(offset) + " of \"" + text + "\"");
        return true;
    }

    struct KeyState {
        Id id = 0;     // row id
        Bytes sd;      // its descriptor, for children to inherit
    };

    bool InsertKey(Id machineId, Id parentId, const std::string& name, const Bytes& sd, Id& id) {
        Query q(db_, "INSERT INTO keys(machine_id, parent_id, name, uname, sd) VALUES(?1, ?2, ?3, ?4, ?5)");
        if (!Sql(q.Bind(1, machineId).Bind(2, parentId).Bind(3, name).Bind(4, Upper(name)).Bind(5, sd).Run()))
            return false;
        id = db_.LastId();
        return true;
    }

    bool Registry(const json* registry, const std::string& place, const OwnerInfo& machine, const SddlContext& context) {
        std::unordered_map<std::string, KeyState> keys;  // upper path -> key
        for (const auto& [hive, text] : {std::pair<const char*, const char*>{"HKLM", kHklmDefaultSd}, {"HKU", kHkuDefaultSd}}) {
            KeyState root;
            if (!SddlToSelfRelative(text, context, root.sd, nullptr)) return Fail(place, "cannot build the hive roots");
            if (!InsertKey(machine.id, 0, hive, root.sd, root.id)) return false;
            keys[hive] = root;
        }
        struct Entry {
            std::size_t index;                  // place in the file
            std::vector<std::string> parts;     // hive, then names
        };
        std::vector<Entry> entries;
        if (registry != nullptr)
            for (std::size_t i = 0; i < registry->size(); ++i) {
                const std::string where = Index(place, i);
                const json& entry = (*registry)[i];
                if (!Fields(entry, where, {"key", "sd", "values"})) return false;
                std::string path;
                if (!String(entry, "key", where, path, true)) return false;
                Entry e{i, SplitPath(path)};
                std::string& hive = e.parts[0];
                if (EqualNoCase(hive, "HKEY_LOCAL_MACHINE") || EqualNoCase(hive, "HKLM"))
                    hive = "HKLM";
                else if (EqualNoCase(hive, "HKEY_USERS") || EqualNoCase(hive, "HKU"))
                    hive = "HKU";
                else
                    return Fail(At(where, "key"), "must start with HKLM or HKU: \"" + path + "\"");
                for (const std::string& part : e.parts)
                    if (part.empty()) return Fail(At(where, "key"), "empty key name in \"" + path + "\"");
                entries.push_back(std::move(e));
            }
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.parts.size() < b.parts.size(); });
        std::unordered_set<std::string> listed;
        const std::string computerName = Upper(std::string("HKLM\\") + kComputerNamePath);
        for (const Entry& e : entries) {
            const std::string where = Index(place, e.index);
            const json& entry = (*registry)[e.index];
            KeyState* key = nullptr;
            if (!Walk(machine, e.parts, keys, key)) return false;
            std::string upperPath;
            for (const std::string& part : e.parts) upperPath += (upperPath.empty() ? "" : "\\") + Upper(part);
            if (!listed.insert(upperPath).second) return Fail(At(where, "key"), "key listed twice: \"" + (*registry)[e.index]["key"].get<std::string>() + "\"");
            if (auto sd = entry.find("sd"); sd != entry.end()) {
                if (!Descriptor(*sd, At(where, "sd"), context, key->sd)) return false;
                Query q(db_, "UPDATE keys SET sd = ?2 WHERE id = ?1");
                if (!Sql(q.Bind(1, key->id).Bind(2, key->sd).Run())) return false;
            }
            if (auto values = entry.find("values"); values != entry.end())
                if (!Values(*values, At(where, "values"), key->id)) return false;
        }
        if (listed.count(computerName) == 0) {
            KeyState* key = nullptr;
            std::vector<std::string> parts = SplitPath(std::string("HKLM\\") + kComputerNamePath);
            if (!Walk(machine, parts, keys, key)) return false;
            Bytes data(machine.name.begin(), machine.name.end());
            data.push_back(0);
            Query q(db_, "INSERT OR REPLACE INTO key_values(key_id, name, uname, type, data) VALUES(?1, ?2, ?3, ?4, ?5)");
            if (!Sql(q.Bind(1, key->id).Bind(2, std::string_view("ComputerName")).Bind(3, std::string_view("COMPUTERNAME"))
                         .Bind(4, std::int64_t{REG_SZ}).Bind(5, data).Run()))
                return false;
        }
        return true;
    }

    // Finds or creates (inheriting) every key of the path.
    bool Walk(const OwnerInfo& machine, const std::vector<std::string>& parts,
              std::unordered_map<std::string, KeyState>& keys, KeyState*& out) {
        std::string upperPath = parts[0];
        KeyState* key = &keys.at(parts[0]);
        for (std::size_t i = 1; i < parts.size(); ++i) {
            upperPath += "\\" + Upper(parts[i]);
            auto found = keys.find(upperPath);
            if (found == keys.end()) {
                KeyState child;
                if (!InheritedKeyDescriptor(key->sd, child.sd)) child.sd = key->sd;
                if (!InsertKey(machine.id, key->id, parts[i], child.sd, child.id)) return false;
                found = keys.emplace(upperPath, std::move(child)).first;
            }
            key = &found->second;
        }
        out = key;
        return true;
    }

    bool Values(const json& values, const std::string& place, Id keyId) {
        if (!values.is_object()) return Fail(place, "expected an object");
        std::unordered_set<std::string> seen;
        for (const auto& [name, value] : values.items()) {
            const std::string where = place + "." + (name.empty() ? std::string("\"\"") : name);
            if (!seen.insert(Upper(name)).second) return Fail(where, "value named twice");
            DWORD type = REG_SZ;
            Bytes data;
            if (!ValueData(value, where, type, data)) return false;
            Query q(db_, "INSERT INTO key_values(key_id, name, uname, type, data) VALUES(?1, ?2, ?3, ?4, ?5)");
            if (!Sql(q.Bind(1, keyId).Bind(2, name).Bind(3, Upper(name)).Bind(4, std::int64_t{type}).Bind(5, data).Run()))
                return false;
        }
        return true;
    }

    bool Text(const json& value, const std::string& place, Bytes& data) {
        if (!value.is_string()) return Fail(place, "expected a string");
        const std::string text = value.get<std::string>();
        if (text.find('\0') != std::string::npos) return Fail(place, "text may not hold a NUL; use \"hex\"");
        data.assign(text.begin(), text.end());
        data.push_back(0);
        return true;
    }

    bool MultiText(const json& value, const std::string& place, Bytes& data) {
        if (!value.is_array()) return Fail(place, "expected a list of strings");
        data.clear();
        for (std::size_t i = 0; i < value.size(); ++i) {
            Bytes one;
            if (!Text(value[i], Index(place, i), one)) return false;
            if (one.size() == 1) return Fail(Index(place, i), "empty string in a multi-string");
            data.insert(data.end(), one.begin(), one.end());
        }
        data.push_back(0);
        return true;
    }

    bool Dword(const json& value, const std::string& place, Bytes& data) {
        if (!value.is_number_unsigned() || value.get<std::uint64_t>() > 0xFFFFFFFFull)
            return Fail(place, "expected a number 0..4294967295");
        const auto number = static_cast<DWORD>(value.get<std::uint64_t>());
        data.clear();
        for (int s = 0; s < 32; s += 8) data.push_back(static_cast<BYTE>(number >> s));
        return true;
    }

    bool ValueData(const json& value, const std::string& place, DWORD& type, Bytes& data) {
        if (value.is_string()) {
            type = REG_SZ;
            return Text(value, place, data);
        }
        if (value.is_number()) {
            type = REG_DWORD;
            return Dword(value, place, data);
        }
        if (value.is_array()) {
            type = REG_MULTI_SZ;
            return MultiText(value, place, data);
        }
        if (!value.is_object()) return Fail(place, "expected a string, number, list or object");
        if (!Fields(value, place, {"type", "data", "hex"})) return false;
        auto typeField = value.find("type");
        if (typeField == value.end()) return Fail(At(place, "type"), "missing");
        if (typeField->is_number_unsigned() && typeField->get<std::uint64_t>() <= 0xFFFFFFFFull) {
            type = static_cast<DWORD>(typeField->get<std::uint64_t>());
        } else if (typeField->is_string()) {
            bool known = false;
            for (const auto& t : kValueTypes)
                if (typeField->get<std::string>() == t.name) {
                    type = t.type;
                    known = true;
                }
            if (!known) return Fail(At(place, "type"), "unknown value type \"" + typeField->get<std::string>() + "\"");
        } else {
            return Fail(At(place, "type"), "expected a type name or number");
        }
        const bool hasData = value.contains("data"), hasHex = value.contains("hex");
        if (hasData == hasHex) return Fail(place, "give exactly one of \"data\" and \"hex\"");
        if (hasHex) {
            std::string hex;
            if (!String(value, "hex", place, hex, true)) return false;
            if (!FromHex(hex, data)) return Fail(At(place, "hex"), "expected pairs of hexadecimal digits");
            return true;
        }
        const std::string where = At(place, "data");
        switch (type) {
            case REG_SZ:
            case REG_EXPAND_SZ: return Text(value["data"], where, data);
            case REG_MULTI_SZ: return MultiText(value["data"], where, data);
            case REG_DWORD: return Dword(value["data"], where, data);
            default: return Fail(where, "this type takes \"hex\"");
        }
    }

    bool ShareEntry(const json& entry, const std::string& place, const OwnerInfo& machine, const SddlContext& context) {
        if (!Fields(entry, place,
                    {"name", "path", "remark", "type", "special", "max_uses", "current_uses", "password", "permissions",
                     "sd"}))
            return false;
        Share share;
        std::string typeName = "disk";
        std::optional<DWORD> type;
        bool special = false;
        std::int64_t maxUses = -1, currentUses = 0, permissions = 0;
        if (!String(entry, "name", place, share.name, true) || !Name(share.name, At(place, "name")) ||
            !String(entry, "path", place, share.path, false) || !String(entry, "remark", place, share.remark, false) ||
            !Bool(entry, "special", place, special) ||
            !Number(entry, "max_uses", place, -1, 0xFFFFFFFEll, maxUses, false) ||
            !Number(entry, "current_uses", place, 0, 0xFFFFFFFFll, currentUses, false) ||
            !String(entry, "password", place, share.password, false) ||
            !Number(entry, "permissions", place, 0, 0xFFFFFFFFll, permissions, false))
            return false;
        if (auto field = entry.find("type"); field != entry.end() && field->is_number_unsigned() &&
                                             field->get<std::uint64_t>() <= 0x7FFFFFFFull) {
            type = static_cast<DWORD>(field->get<std::uint64_t>());
        } else {
            if (!String(entry, "type", place, typeName, false)) return false;
            for (const auto& t : kShareTypes)
                if (typeName == t.name) type = t.type;
            if (!type)
                return Fail(At(place, "type"), "unknown share type \"" + typeName + "\" (disk, printer, device, ipc)");
        }
        share.type = *type | (special ? STYPE_SPECIAL : 0);
        share.maxUses = maxUses < 0 ? MAXDWORD : static_cast<DWORD>(maxUses);
        share.currentUses = static_cast<DWORD>(currentUses);
        share.permissions = static_cast<DWORD>(permissions);
        if (auto sd = entry.find("sd"); sd != entry.end() && !sd->is_null()) {
            Bytes bytes;
            if (!Descriptor(*sd, At(place, "sd"), context, bytes)) return false;
            share.sd = std::move(bytes);
        }
        {
            Query q(db_, "SELECT 1 FROM shares WHERE machine_id = ?1 AND uname = ?2");
            q.Bind(1, machine.id).Bind(2, Upper(share.name));
            if (q.Next()) return Fail(At(place, "name"), "second share named \"" + share.name + "\"");
        }
        Query q(db_,
                "INSERT INTO shares(machine_id, name, uname, type, remark, path, max_uses, current_uses, password, "
                "permissions, sd) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
        q.Bind(1, machine.id).Bind(2, share.name).Bind(3, Upper(share.name)).Bind(4, std::int64_t{share.type});
        q.Bind(5, share.remark).Bind(6, share.path).Bind(7, std::int64_t{share.maxUses});
        q.Bind(8, std::int64_t{share.currentUses}).Bind(9, share.password).Bind(10, std::int64_t{share.permissions});
        if (share.sd)
            q.Bind(11, *share.sd);
        else
            q.BindNull(11);
        return Sql(q.Run());
    }
};

// ================================================================ export

class Exporter {
public:
    explicit Exporter(Db& db) : db_(db) {}

    // The world's text, or "" when a read failed (a damaged file): a
    // partial export must never pass for the whole world.
    std::string Run() {
        const int failuresBefore = db_.failures;
        json doc = json::object();
        doc["local"] = Meta("local");
        doc["logon"] = Meta("logon");
        LoadNames();
        json domains = json::array();
        {
            Query q(db_, "SELECT id, name, sid, dc FROM domains ORDER BY id");
            while (q.Next()) {
                json d = json::object();
                d["name"] = q.Text(1);
                d["sid"] = FormatSid(q.Blob(2));
                if (!q.Text(3).empty()) d["dc"] = q.Text(3);
                d["accounts"] = Accounts(q.Int(0), 0);
                domains.push_back(std::move(d));
            }
        }
        doc["domains"] = std::move(domains);
        json machines = json::array();
        std::vector<std::pair<Id, json>> rows;
        {
            Query q(db_,
                    "SELECT m.id, m.name, m.sid, coalesce(d.name, ''), m.online, m.remote_registry, "
                    "m.explicit_privileges, coalesce(d.sid, x'') FROM machines m LEFT JOIN domains d ON d.id = m.domain_id "
                    "ORDER BY m.id");
            while (q.Next()) {
                json m = json::object();
                m["name"] = q.Text(1);
                m["sid"] = FormatSid(q.Blob(2));
                if (!q.Text(3).empty()) m["domain"] = q.Text(3);
                m["online"] = q.Int(4) != 0;
                m["remote_registry"] = q.Int(5) != 0;
                m["explicit_privileges"] = q.Int(6) != 0;  // replaced below
                sids_[q.Int(0)] = {q.Blob(2), q.Blob(7)};
                rows.emplace_back(q.Int(0), std::move(m));
            }
        }
        for (auto& [id, m] : rows) {
            const bool explicitPrivileges = m["explicit_privileges"].get<bool>();
            m.erase("explicit_privileges");
            m["accounts"] = Accounts(0, id);
            m["builtin"] = Builtin(id);
            if (explicitPrivileges) m["privileges"] = Privileges(id);
            m["registry"] = Registry(id);
            m["shares"] = Shares(id);
            machines.push_back(std::move(m));
        }
        doc["machines"] = std::move(machines);
        if (db_.failures != failuresBefore) return std::string();
        return doc.dump(2) + "\n";
    }

private:
    Db& db_;
    std::map<Bytes, std::string> names_;                    // SID -> how to write it
    std::map<Id, std::pair<Bytes, Bytes>> sids_;            // machine -> its SID, its domain's SID

    std::string Meta(const char* name) {
        Query q(db_, "SELECT value FROM meta WHERE name = ?1");
        q.Bind(1, std::string_view(name));
        return q.Next() ? q.Text(0) : std::string();
    }

    // Every account's written form; a name that would resolve to another
    // SID on import (a deleted account shadowed by a live one of its name)
    // is written as the SID instead.
    void LoadNames() {
        for (const auto& known : WellKnownAccounts())
            names_[*ParseSid(known.sid)] = *known.domain ? std::string(known.domain) + "\\" + known.name : known.name;
        for (const auto& alias : BuiltinAliases()) names_[BuiltinSid(alias.rid)] = std::string("BUILTIN\\") + alias.name;
        Query q(db_,
                "SELECT coalesce(d.name, m.name), coalesce(d.sid, m.sid), a.name, a.rid, a.deleted, "
                "EXISTS(SELECT 1 FROM accounts b WHERE b.domain_id = a.domain_id AND b.machine_id = a.machine_id "
                "AND b.uname = a.uname AND b.deleted = 0 AND b.id <> a.id) "
                "FROM accounts a LEFT JOIN domains d ON a.domain_id = d.id AND a.domain_id <> 0 "
                "LEFT JOIN machines m ON a.machine_id = m.id AND a.machine_id <> 0 ORDER BY a.id");
        while (q.Next()) {
            if (q.Int(4) != 0 && q.Int(5) != 0) continue;
            const Bytes sid = SidWithRid(q.Blob(1), static_cast<DWORD>(q.Int(3)));
            if (names_.count(sid) == 0) names_[sid] = q.Text(0) + "\\" + q.Text(2);
        }
    }

    std::string NameOf(const Bytes& sid) {
        auto found = names_.find(sid);
        if (found != names_.end()) return found->second;
        return FormatSid(sid);
    }

    json Accounts(Id domainId, Id machineId) {
        json out = json::array();
        std::vector<std::pair<Id, json>> rows;
        {
            Query q(db_, "SELECT id, name, rid, type, deleted FROM accounts WHERE domain_id = ?1 AND machine_id = ?2 ORDER BY id");
            q.Bind(1, domainId).Bind(2, machineId);
            while (q.Next()) {
                json a = json::object();
                a["name"] = q.Text(1);
                a["rid"] = q.Int(2);
                const auto type = static_cast<SID_NAME_USE>(q.Int(3));
                std::string typeName = "user";
                for (const auto& t : kAccountTypes)
                    if (t.type == type) typeName = t.name;
                a["type"] = typeName;
                if (q.Int(4) != 0) a["deleted"] = true;
                rows.emplace_back((type == SidTypeGroup || type == SidTypeAlias) ? q.Int(0) : 0, std::move(a));
            }
        }
        for (auto& [groupId, a] : rows) {
            if (groupId != 0) {
                json members = json::array();
                Query q(db_, "SELECT member_sid FROM members WHERE group_id = ?1 ORDER BY id");
                q.Bind(1, groupId);
                while (q.Next()) members.push_back(NameOf(q.Blob(0)));
                if (!members.empty()) {
                    // keep "deleted" last, as it is read
                    const bool deleted = a.contains("deleted");
                    a.erase("deleted");
                    a["members"] = std::move(members);
                    if (deleted) a["deleted"] = true;
                }
            }
            out.push_back(std::move(a));
        }
        return out;
    }

    json Builtin(Id machineId) {
        json out = json::object();
        Query q(db_, "SELECT alias_rid, member_sid FROM builtin_members WHERE machine_id = ?1 ORDER BY id");
        q.Bind(1, machineId);
        while (q.Next()) {
            const DWORD rid = static_cast<DWORD>(q.Int(0));
            const char* name = BuiltinNameByRid(rid);
            if (name == nullptr) continue;  // not importable; cannot be stored by import either
            out[name].push_back(NameOf(q.Blob(1)));
        }
        return out;
    }

    json Privileges(Id machineId) {
        json out = json::object();
        Query q(db_, "SELECT privilege, holder_sid FROM privileges WHERE machine_id = ?1 ORDER BY id");
        q.Bind(1, machineId);
        while (q.Next()) out[q.Text(0)].push_back(NameOf(q.Blob(1)));
        return out;
    }

    json Descriptor(const Bytes& sd, Id machineId) {
        const auto& [machineSid, domainSid] = sids_[machineId];
        SddlContext context;
        context.machineSid = machineSid.empty() ? nullptr : reinterpret_cast<const SID*>(machineSid.data());
        context.domainSid = domainSid.empty() ? nullptr : reinterpret_cast<const SID*>(domainSid.data());
        std::string text;
        const SECURITY_INFORMATION all = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                         DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
        Bytes back;
        // Text only when it reads back to the very same bytes; anything
        // else (malformed or non-canonical bytes) is kept as hex.
        if (!sd.empty() && IsValidSelfRelative(sd.data(), sd.size()) && SecurityDescriptorToSddl(sd.data(), sd.size(), all, context, text) &&
            SddlToSelfRelative(text, context, back, nullptr) && back == sd)
            return text;
        json hex = json::object();
        hex["hex"] = Hex(sd);
        return hex;
    }

    json ValueJson(DWORD type, const Bytes& data) {
        auto text = [&](std::string& out) {
            if (data.empty() || data.back() != 0) return false;
            out.assign(data.begin(), data.end() - 1);
            return out.find('\0') == std::string::npos;
        };
        std::string s;
        if (type == REG_SZ && text(s)) return s;
        if (type == REG_DWORD && data.size() == 4)
            return static_cast<std::uint64_t>(data[0] | (data[1] << 8) | (data[2] << 16)) |
                   (static_cast<std::uint64_t>(data[3]) << 24);
        if (type == REG_MULTI_SZ && data.size() >= 2 && data.back() == 0 && data[data.size() - 2] == 0) {
            json list = json::array();
            std::string current;
            bool ok = true;
            for (std::size_t i = 0; i + 1 < data.size(); ++i) {
                if (data[i] == 0) {
                    if (current.empty()) ok = false;
                    list.push_back(current);
                    current.clear();
                } else {
                    current += static_cast<char>(data[i]);
                }
            }
            if (ok && !list.empty()) return list;
        }
        json out = json::object();
        const char* name = nullptr;
        for (const auto& t : kValueTypes)
            if (t.type == type) name = t.name;
        if (name != nullptr)
            out["type"] = name;
        else
            out["type"] = type;
        if (type == REG_EXPAND_SZ && text(s))
            out["data"] = s;
        else
            out["hex"] = Hex(data);
        return out;
    }

    void KeyTree(Id machineId, Id keyId, const std::string& path, const Bytes& sd, json& out) {
        json entry = json::object();
        entry["key"] = path;
        entry["sd"] = Descriptor(sd, machineId);
        {
            json values = json::object();
            Query q(db_, "SELECT name, type, data FROM key_values WHERE key_id = ?1 ORDER BY id");
            q.Bind(1, keyId);
            while (q.Next()) values[q.Text(0)] = ValueJson(static_cast<DWORD>(q.Int(1)), q.Blob(2));
            if (!values.empty()) entry["values"] = std::move(values);
        }
        out.push_back(std::move(entry));
        struct Child {
            Id id;
            std::string name;
            Bytes sd;
        };
        std::vector<Child> children;
        {
            Query q(db_, "SELECT id, name, sd FROM keys WHERE parent_id = ?1 ORDER BY uname");
            q.Bind(1, keyId);
            while (q.Next()) children.push_back(Child{q.Int(0), q.Text(1), q.Blob(2)});
        }
        for (const Child& child : children) KeyTree(machineId, child.id, path + "\\" + child.name, child.sd, out);
    }

    json Registry(Id machineId) {
        json out = json::array();
        for (const char* hive : {"HKLM", "HKU"}) {
            Query q(db_, "SELECT id, sd FROM keys WHERE parent_id = 0 AND machine_id = ?1 AND uname = ?2");
            q.Bind(1, machineId).Bind(2, std::string_view(hive));
            if (!q.Next()) continue;
            const Id id = q.Int(0);
            const Bytes sd = q.Blob(1);
            KeyTree(machineId, id, hive, sd, out);
        }
        return out;
    }

    json Shares(Id machineId) {
        json out = json::array();
        Query q(db_,
                "SELECT name, type, remark, path, max_uses, current_uses, password, permissions, sd FROM shares "
                "WHERE machine_id = ?1 ORDER BY id");
        q.Bind(1, machineId);
        while (q.Next()) {
            json s = json::object();
            s["name"] = q.Text(0);
            s["path"] = q.Text(3);
            s["remark"] = q.Text(2);
            const DWORD type = static_cast<DWORD>(q.Int(1));
            s["type"] = type & ~STYPE_SPECIAL;
            for (const auto& t : kShareTypes)
                if (t.type == (type & ~STYPE_SPECIAL)) s["type"] = t.name;
            if (type & STYPE_SPECIAL) s["special"] = true;
            const DWORD maxUses = static_cast<DWORD>(q.Int(4));
            s["max_uses"] = maxUses == MAXDWORD ? std::int64_t{-1} : std::int64_t{maxUses};
            if (q.Int(5) != 0) s["current_uses"] = q.Int(5);
            if (!q.Text(6).empty()) s["password"] = q.Text(6);
            if (q.Int(7) != 0) s["permissions"] = q.Int(7);
            if (q.IsNull(8))
                s["sd"] = nullptr;
            else
                s["sd"] = Descriptor(q.Blob(8), machineId);
            out.push_back(std::move(s));
        }
        return out;
    }
};

}  // namespace

bool ImportInto(Db& db, const std::string& json, std::string* error) { return Importer(db).Run(json, error); }

std::string ExportFrom(Db& db) { return Exporter(db).Run(); }

}  // namespace platform::store
