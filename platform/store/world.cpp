// The store of the simulated host: opening a world file and the typed reads
// and writes the host's calls make.  See world.h for the guarantees.
//
// Invariants of the schema (version 1):
//   1. Names are stored as given and again upper-cased (`uname`); every
//      look-up by name goes through an index on the upper-cased form, so
//      comparisons ignore ASCII case.
//   2. A key's children are found through the unique index
//      (parent_id, uname, machine_id); hive roots have parent_id 0.
//      Enumeration order is ORDER BY uname, i.e. the byte order of the
//      upper-cased names.
//   3. Row ids give creation order: shares, accounts and memberships are
//      listed in id order.
//   4. machines.explicit_privileges = 0 means the machine assigns the
//      platform's default privileges; its privileges rows are then unused.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include "store/principals.h"
#include "store/sd_edit.h"
#include "store/world_impl.h"

namespace platform::store {

namespace {

const char* const kSchema = R"SQL(
CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE domains(id INTEGER PRIMARY KEY, name TEXT NOT NULL, uname TEXT NOT NULL UNIQUE,
                     sid BLOB NOT NULL, dc TEXT NOT NULL DEFAULT '');
CREATE INDEX domains_sid ON domains(sid);
CREATE TABLE machines(id INTEGER PRIMARY KEY, name TEXT NOT NULL, uname TEXT NOT NULL UNIQUE,
                      sid BLOB NOT NULL, domain_id INTEGER NOT NULL DEFAULT 0,
                      online INTEGER NOT NULL DEFAULT 1, remote_registry INTEGER NOT NULL DEFAULT 1,
                      explicit_privileges INTEGER NOT NULL DEFAULT 0);
CREATE INDEX machines_sid ON machines(sid);
CREATE TABLE accounts(id INTEGER PRIMARY KEY, domain_id INTEGER NOT NULL, machine_id INTEGER NOT NULL,
                      name TEXT NOT NULL, uname TEXT NOT NULL, rid INTEGER NOT NULL,
                      type INTEGER NOT NULL, deleted INTEGER NOT NULL DEFAULT 0);
CREATE INDEX accounts_name ON accounts(domain_id, machine_id, uname);
CREATE UNIQUE INDEX accounts_rid ON accounts(domain_id, machine_id, rid);
CREATE TABLE members(id INTEGER PRIMARY KEY, group_id INTEGER NOT NULL, member_sid BLOB NOT NULL);
CREATE INDEX members_group ON members(group_id);
CREATE INDEX members_sid ON members(member_sid);
CREATE TABLE builtin_members(id INTEGER PRIMARY KEY, machine_id INTEGER NOT NULL,
                             alias_rid INTEGER NOT NULL, member_sid BLOB NOT NULL);
CREATE INDEX builtin_members_sid ON builtin_members(machine_id, member_sid);
CREATE INDEX builtin_members_alias ON builtin_members(machine_id, alias_rid);
CREATE TABLE privileges(id INTEGER PRIMARY KEY, machine_id INTEGER NOT NULL,
                        privilege TEXT NOT NULL, holder_sid BLOB NOT NULL);
CREATE INDEX privileges_machine ON privileges(machine_id);
CREATE TABLE keys(id INTEGER PRIMARY KEY, machine_id INTEGER NOT NULL, parent_id INTEGER NOT NULL,
                  name TEXT NOT NULL, uname TEXT NOT NULL, sd BLOB NOT NULL);
CREATE UNIQUE INDEX keys_child ON keys(parent_id, uname, machine_id);
CREATE TABLE key_values(id INTEGER PRIMARY KEY, key_id INTEGER NOT NULL, name TEXT NOT NULL,
                        uname TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL);
CREATE UNIQUE INDEX key_values_name ON key_values(key_id, uname);
CREATE TABLE shares(id INTEGER PRIMARY KEY, machine_id INTEGER NOT NULL, name TEXT NOT NULL,
                    uname TEXT NOT NULL, type INTEGER NOT NULL, remark TEXT NOT NULL, path TEXT NOT NULL,
                    max_uses INTEGER NOT NULL, current_uses INTEGER NOT NULL, password TEXT NOT NULL,
                    permissions INTEGER NOT NULL, sd BLOB);
CREATE UNIQUE INDEX shares_name ON shares(machine_id, uname);
INSERT INTO meta(name, value) VALUES('schema', '1'), ('local', ''), ('logon', '');
)SQL";

std::string ParentFolder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// mkdir -p for the folder of a default world path.
bool MakeFolders(const std::string& folder, std::string& reason) {
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return true;
        reason = folder + " is not a folder";
        return false;
    }
    const std::string parent = ParentFolder(folder);
    if (parent != folder && !MakeFolders(parent, reason)) return false;
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        reason = std::string(std::strerror(errno));
        return false;
    }
    return true;
}

// Builds a complete world under a temporary name and links it into place;
// link() refuses to replace, so a world another process finished first wins
// and both open the same file.
bool CreateWorldFile(const std::string& path, bool sample, std::string& reason) {
    if (!MakeFolders(ParentFolder(path), reason)) return false;
    std::random_device random;
    const std::string temp = path + ".new-" + std::to_string(getpid()) + "-" + std::to_string(random());
    {
        Db db;
        if (db.Open(temp, true, false) != SQLITE_OK) {
            reason = db.Message();
            unlink(temp.c_str());
            return false;
        }
        // Nobody else sees the temporary file: no journal needed while
        // filling it; WAL is switched on before it is published.
        bool ok = db.Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF") && db.Exec("BEGIN") && CreateSchema(db);
        if (!ok) reason = db.Message();
        if (ok && sample) {
            std::string error;
            ok = ImportInto(db, SampleWorldJson(), &error);
            if (!ok) reason = "sample world: " + error;
        }
        if (ok) {
            ok = db.Exec("COMMIT") && db.Exec("PRAGMA journal_mode=WAL");
            if (!ok) reason = db.Message();
        }
        db.Close();
        // The log was checkpointed on close and is kept (persistent WAL);
        // it belongs to the temporary name, so it goes with it.
        unlink((temp + "-wal").c_str());
        unlink((temp + "-shm").c_str());
        if (!ok) {
            unlink(temp.c_str());
            return false;
        }
    }
    if (link(temp.c_str(), path.c_str()) != 0 && errno != EEXIST) {
        reason = std::strerror(errno);
        unlink(temp.c_str());
        return false;
    }
    unlink(temp.c_str());
    return true;
}

Machine ReadMachine(const Query& q) {
    Machine m;
    m.id = q.Int(0);
    m.name = q.Text(1);
    m.sid = q.Blob(2);
    m.domainId = q.Int(3);
    m.online = q.Int(4) != 0;
    m.remoteRegistry = q.Int(5) != 0;
    return m;
}

Domain ReadDomain(const Query& q) {
    Domain d;
    d.id = q.Int(0);
    d.name = q.Text(1);
    d.sid = q.Blob(2);
    d.dc = q.Text(3);
    return d;
}

Account ReadAccount(const Query& q) {
    Account a;
    a.id = q.Int(0);
    a.domainId = q.Int(1);
    a.machineId = q.Int(2);
    a.name = q.Text(3);
    a.rid = static_cast<DWORD>(q.Int(4));
    a.type = static_cast<SID_NAME_USE>(q.Int(5));
    a.deleted = q.Int(6) != 0;
    return a;
}

Key ReadKey(const Query& q) {
    Key k;
    k.id = q.Int(0);
    k.parentId = q.Int(1);
    k.name = q.Text(2);
    k.sd = q.Blob(3);
    return k;
}

Share ReadShare(const Query& q) {
    Share s;
    s.id = q.Int(0);
    s.machineId = q.Int(1);
    s.name = q.Text(2);
    s.type = static_cast<DWORD>(q.Int(3));
    s.remark = q.Text(4);
    s.path = q.Text(5);
    s.maxUses = static_cast<DWORD>(q.Int(6));
    s.currentUses = static_cast<DWORD>(q.Int(7));
    s.password = q.Text(8);
    s.permissions = static_cast<DWORD>(q.Int(9));
    if (!q.IsNull(10)) s.sd = q.Blob(10);
    return s;
}

#define MACHINE_COLUMNS "SELECT id, name, sid, domain_id, online, remote_registry FROM machines "
#define DOMAIN_COLUMNS "SELECT id, name, sid, dc FROM domains "
#define ACCOUNT_COLUMNS "SELECT id, domain_id, machine_id, name, rid, type, deleted FROM accounts "
#define KEY_COLUMNS "SELECT id, parent_id, name, sd FROM keys "
#define SHARE_COLUMNS                                                                                  \
    "SELECT id, machine_id, name, type, remark, path, max_uses, current_uses, password, permissions, " \
    "sd FROM shares "

}  // namespace

bool CreateSchema(Db& db) { return db.Exec(kSchema); }

World::World(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
World::~World() = default;

const std::string& World::SampleJson() { return SampleWorldJson(); }

const std::string& World::Path() const { return impl_->path; }

std::unique_ptr<World> World::Open(const std::string& path, bool createSample, std::string* error) {
    auto fail = [&](const std::string& reason) -> std::unique_ptr<World> {
        if (error != nullptr) *error = "cannot open world " + path + ": " + reason;
        return nullptr;
    };
    if (path.empty()) return fail("no path given");
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) return fail(std::strerror(errno));
        std::string reason;
        if (!CreateWorldFile(path, createSample, reason)) return fail(reason);
    } else if (S_ISDIR(info.st_mode)) {
        return fail("is a folder");
    }
    if (access(path.c_str(), R_OK) != 0) return fail(std::strerror(errno));
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    if (impl->db.Open(path, false, false) != SQLITE_OK) return fail(impl->db.Message());
    std::string version;
    {
        Query q(impl->db, "SELECT value FROM meta WHERE name = 'schema'");
        if (!q.ok()) {
            // "no such table" means a database that is not a world.
            const std::string message = impl->db.Message();
            return fail(message.rfind("no such table", 0) == 0 ? "not a world file" : message);
        }
        if (!q.Next()) return fail(q.ok() ? "not a world file" : impl->db.Message());
        version = q.Text(0);
    }
    if (version != std::to_string(kSchemaVersion))
        return fail("schema version " + version + ", this build reads version " + std::to_string(kSchemaVersion));
    // Losing the last transactions on power loss is acceptable; a killed
    // process never corrupts WAL mode either way.
    impl->db.Exec("PRAGMA synchronous=NORMAL");
    return std::unique_ptr<World>(new World(std::move(impl)));
}

std::string World::DefaultPath(bool* fromEnvironment) {
    if (fromEnvironment != nullptr) *fromEnvironment = false;
    const char* world = std::getenv("NTSIM_WORLD");
    if (world != nullptr && *world != '\0') {
        if (fromEnvironment != nullptr) *fromEnvironment = true;
        return world;
    }
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && *data == '/') return std::string(data) + "/ntsim/world.db";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && *home != '\0' ? home : ".") + "/.local/share/ntsim/world.db";
}

// ---------------------------------------------------------------- settings

std::string World::LocalMachineName() {
    Query q(impl_->db, "SELECT value FROM meta WHERE name = 'local'");
    return q.Next() ? q.Text(0) : std::string();
}

std::string World::LogonName() {
    Query q(impl_->db, "SELECT value FROM meta WHERE name = 'logon'");
    return q.Next() ? q.Text(0) : std::string();
}

// ---------------------------------------------------------------- machines, domains, accounts

std::optional<Machine> World::MachineByName(std::string_view name) {
    Query q(impl_->db, MACHINE_COLUMNS "WHERE uname = ?1");
    q.Bind(1, Upper(name));
    if (!q.Next()) return std::nullopt;
    return ReadMachine(q);
}

std::optional<Machine> World::MachineById(Id id) {
    Query q(impl_->db, MACHINE_COLUMNS "WHERE id = ?1");
    q.Bind(1, id);
    if (!q.Next()) return std::nullopt;
    return ReadMachine(q);
}

std::optional<Machine> World::MachineBySid(const Bytes& sid) {
    Query q(impl_->db, MACHINE_COLUMNS "WHERE sid = ?1 ORDER BY id LIMIT 1");
    q.Bind(1, sid);
    if (!q.Next()) return std::nullopt;
    return ReadMachine(q);
}

std::vector<Machine> World::Machines() {
    std::vector<Machine> out;
    Query q(impl_->db, MACHINE_COLUMNS "ORDER BY id");
    while (q.Next()) out.push_back(ReadMachine(q));
    return out;
}

std::optional<Domain> World::DomainByName(std::string_view name) {
    Query q(impl_->db, DOMAIN_COLUMNS "WHERE uname = ?1");
    q.Bind(1, Upper(name));
    if (!q.Next()) return std::nullopt;
    return ReadDomain(q);
}

std::optional<Domain> World::DomainById(Id id) {
    Query q(impl_->db, DOMAIN_COLUMNS "WHERE id = ?1");
    q.Bind(1, id);
    if (!q.Next()) return std::nullopt;
    return ReadDomain(q);
}

std::optional<Domain> World::DomainBySid(const Bytes& sid) {
    Query q(impl_->db, DOMAIN_COLUMNS "WHERE sid = ?1 ORDER BY id LIMIT 1");
    q.Bind(1, sid);
    if (!q.Next()) return std::nullopt;
    return ReadDomain(q);
}

std::vector<Domain> World::Domains() {
    std::vector<Domain> out;
    Query q(impl_->db, DOMAIN_COLUMNS "ORDER BY id");
    while (q.Next()) out.push_back(ReadDomain(q));
    return out;
}

// A live account wins over a deleted one of the same name.
std::optional<Account> World::DomainAccountByName(Id domainId, std::string_view name) {
    Query q(impl_->db, ACCOUNT_COLUMNS "WHERE domain_id = ?1 AND machine_id = 0 AND uname = ?2 ORDER BY deleted, id LIMIT 1");
    q.Bind(1, domainId).Bind(2, Upper(name));
    if (!q.Next()) return std::nullopt;
    return ReadAccount(q);
}

std::optional<Account> World::DomainAccountByRid(Id domainId, DWORD rid) {
    Query q(impl_->db, ACCOUNT_COLUMNS "WHERE domain_id = ?1 AND machine_id = 0 AND rid = ?2");
    q.Bind(1, domainId).Bind(2, static_cast<std::int64_t>(rid));
    if (!q.Next()) return std::nullopt;
    return ReadAccount(q);
}

std::optional<Account> World::MachineAccountByName(Id machineId, std::string_view name) {
    Query q(impl_->db, ACCOUNT_COLUMNS "WHERE domain_id = 0 AND machine_id = ?1 AND uname = ?2 ORDER BY deleted, id LIMIT 1");
    q.Bind(1, machineId).Bind(2, Upper(name));
    if (!q.Next()) return std::nullopt;
    return ReadAccount(q);
}

std::optional<Account> World::MachineAccountByRid(Id machineId, DWORD rid) {
    Query q(impl_->db, ACCOUNT_COLUMNS "WHERE domain_id = 0 AND machine_id = ?1 AND rid = ?2");
    q.Bind(1, machineId).Bind(2, static_cast<std::int64_t>(rid));
    if (!q.Next()) return std::nullopt;
    return ReadAccount(q);
}

std::vector<Account> World::AccountsOf(Id domainId, Id machineId) {
    std::vector<Account> out;
    Query q(impl_->db, ACCOUNT_COLUMNS "WHERE domain_id = ?1 AND machine_id = ?2 ORDER BY id");
    q.Bind(1, domainId).Bind(2, machineId);
    while (q.Next()) out.push_back(ReadAccount(q));
    return out;
}

std::vector<Bytes> World::MembersOf(Id groupAccountId) {
    std::vector<Bytes> out;
    Query q(impl_->db, "SELECT member_sid FROM members WHERE group_id = ?1 ORDER BY id");
    q.Bind(1, groupAccountId);
    while (q.Next()) out.push_back(q.Blob(0));
    return out;
}

std::vector<Id> World::GroupsWithMember(const Bytes& memberSid) {
    std::vector<Id> out;
    Query q(impl_->db, "SELECT DISTINCT group_id FROM members WHERE member_sid = ?1 ORDER BY group_id");
    q.Bind(1, memberSid);
    while (q.Next()) out.push_back(q.Int(0));
    return out;
}

std::vector<DWORD> World::BuiltinAliasesWithMember(Id machineId, const Bytes& memberSid) {
    std::vector<DWORD> out;
    Query q(impl_->db,
            "SELECT DISTINCT alias_rid FROM builtin_members WHERE machine_id = ?1 AND member_sid = ?2 ORDER BY alias_rid");
    q.Bind(1, machineId).Bind(2, memberSid);
    while (q.Next()) out.push_back(static_cast<DWORD>(q.Int(0)));
    return out;
}

std::vector<Bytes> World::BuiltinMembers(Id machineId, DWORD aliasRid) {
    std::vector<Bytes> out;
    Query q(impl_->db, "SELECT member_sid FROM builtin_members WHERE machine_id = ?1 AND alias_rid = ?2 ORDER BY id");
    q.Bind(1, machineId).Bind(2, static_cast<std::int64_t>(aliasRid));
    while (q.Next()) out.push_back(q.Blob(0));
    return out;
}

std::vector<PrivilegeGrant> World::PrivilegesOn(Id machineId) {
    std::vector<PrivilegeGrant> out;
    bool explicitGrants = false;
    {
        Query q(impl_->db, "SELECT explicit_privileges FROM machines WHERE id = ?1");
        q.Bind(1, machineId);
        if (!q.Next()) return out;
        explicitGrants = q.Int(0) != 0;
    }
    if (explicitGrants) {
        Query q(impl_->db, "SELECT privilege, holder_sid FROM privileges WHERE machine_id = ?1 ORDER BY id");
        q.Bind(1, machineId);
        while (q.Next()) out.push_back(PrivilegeGrant{machineId, q.Text(0), q.Blob(1)});
        return out;
    }
    // The platform's defaults for a machine nobody has configured.
    const Bytes admins = BuiltinSid(kAdministratorsRid);
    const Bytes backup = BuiltinSid(kBackupOperatorsRid);
    for (const char* privilege :
         {"SeSecurityPrivilege", "SeBackupPrivilege", "SeRestorePrivilege", "SeTakeOwnershipPrivilege"})
        out.push_back(PrivilegeGrant{machineId, privilege, admins});
    for (const char* privilege : {"SeBackupPrivilege", "SeRestorePrivilege"})
        out.push_back(PrivilegeGrant{machineId, privilege, backup});
    out.push_back(PrivilegeGrant{machineId, "SeTcbPrivilege", *ParseSid("S-1-5-18")});
    return out;
}

bool World::SddlSids(Id machineId, Bytes& machineSid, Bytes& domainSid) {
    auto machine = MachineById(machineId);
    if (!machine) return false;
    machineSid = machine->sid;
    domainSid.clear();
    if (machine->domainId != 0) {
        auto domain = DomainById(machine->domainId);
        if (domain) domainSid = domain->sid;
    }
    return true;
}

// ---------------------------------------------------------------- registry

std::optional<Key> World::HiveRoot(Id machineId, std::string_view hive) {
    Query q(impl_->db, KEY_COLUMNS "WHERE parent_id = 0 AND uname = ?1 AND machine_id = ?2");
    q.Bind(1, Upper(hive)).Bind(2, machineId);
    if (!q.Next()) return std::nullopt;
    return ReadKey(q);
}

std::optional<Key> World::ChildKey(Id parentId, std::string_view name) {
    if (parentId == 0) return std::nullopt;  // roots are reached through HiveRoot
    Query q(impl_->db, KEY_COLUMNS "WHERE parent_id = ?1 AND uname = ?2 LIMIT 1");
    q.Bind(1, parentId).Bind(2, Upper(name));
    if (!q.Next()) return std::nullopt;
    return ReadKey(q);
}

std::optional<Key> World::KeyById(Id id) {
    Query q(impl_->db, KEY_COLUMNS "WHERE id = ?1");
    q.Bind(1, id);
    if (!q.Next()) return std::nullopt;
    return ReadKey(q);
}

std::optional<Key> World::KeyByPath(Id machineId, std::string_view hive, std::string_view path) {
    auto key = HiveRoot(machineId, hive);
    while (key && !path.empty()) {
        const std::size_t slash = path.find('\\');
        const std::string_view part = path.substr(0, slash);
        if (part.empty()) return std::nullopt;
        key = ChildKey(key->id, part);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        if (slash != std::string_view::npos && path.empty()) return std::nullopt;
    }
    return key;
}

std::vector<std::string> World::SubkeyNames(Id keyId) {
    std::vector<std::string> out;
    Query q(impl_->db, "SELECT name FROM keys WHERE parent_id = ?1 ORDER BY uname");
    q.Bind(1, keyId);
    while (q.Next()) out.push_back(q.Text(0));
    return out;
}

std::size_t World::SubkeyCount(Id keyId) {
    Query q(impl_->db, "SELECT count(*) FROM keys WHERE parent_id = ?1");
    q.Bind(1, keyId);
    return q.Next() ? static_cast<std::size_t>(q.Int(0)) : 0;
}

std::size_t World::LongestSubkeyName(Id keyId) {
    Query q(impl_->db, "SELECT max(length(CAST(name AS BLOB))) FROM keys WHERE parent_id = ?1");
    q.Bind(1, keyId);
    return q.Next() ? static_cast<std::size_t>(q.Int(0)) : 0;
}

bool World::SetKeySd(Id keyId, const Bytes& sd) {
    return UpdateKeySd(keyId, [&](Bytes& stored) {
        stored = sd;
        return true;
    });
}

bool World::UpdateKeySd(Id keyId, const std::function<bool(Bytes&)>& edit) {
    Transaction transaction(impl_->db);
    if (!transaction.ok()) return false;
    Bytes sd;
    {
        Query q(impl_->db, "SELECT sd FROM keys WHERE id = ?1");
        q.Bind(1, keyId);
        if (!q.Next()) return false;
        sd = q.Blob(0);
    }
    if (!edit(sd)) return false;
    Query q(impl_->db, "UPDATE keys SET sd = ?2 WHERE id = ?1");
    q.Bind(1, keyId).Bind(2, sd);
    return q.Run() && transaction.Commit();
}

std::optional<Value> World::GetValue(Id keyId, std::string_view name) {
    Query q(impl_->db, "SELECT name, type, data FROM key_values WHERE key_id = ?1 AND uname = ?2");
    q.Bind(1, keyId).Bind(2, Upper(name));
    if (!q.Next()) return std::nullopt;
    return Value{q.Text(0), static_cast<DWORD>(q.Int(1)), q.Blob(2)};
}

std::vector<Value> World::Values(Id keyId) {
    std::vector<Value> out;
    Query q(impl_->db, "SELECT name, type, data FROM key_values WHERE key_id = ?1 ORDER BY id");
    q.Bind(1, keyId);
    while (q.Next()) out.push_back(Value{q.Text(0), static_cast<DWORD>(q.Int(1)), q.Blob(2)});
    return out;
}

std::optional<Id> World::CreateKey(Id machineId, std::string_view hive, std::string_view path, const Bytes* sd,
                                   bool* created) {
    if (created != nullptr) *created = false;
    Transaction transaction(impl_->db);
    if (!transaction.ok()) return std::nullopt;
    auto key = HiveRoot(machineId, hive);
    if (!key) return std::nullopt;
    bool made = false;
    while (!path.empty()) {
        const std::size_t slash = path.find('\\');
        const std::string_view part = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        if (part.empty() || (slash != std::string_view::npos && path.empty())) return std::nullopt;
        if (auto child = ChildKey(key->id, part)) {
            key = child;
            continue;
        }
        auto id = CreateChild(key->id, part, path.empty() ? sd : nullptr);
        if (!id) return std::nullopt;
        key = KeyById(*id);
        if (!key) return std::nullopt;
        made = true;
    }
    if (!transaction.Commit()) return std::nullopt;
    if (created != nullptr) *created = made;
    return key->id;
}

std::optional<Id> World::CreateChild(Id parentId, std::string_view name, const Bytes* sd) {
    if (name.empty() || name.find('\\') != std::string_view::npos) return std::nullopt;
    Id machineId = 0;
    Bytes parentSd;
    {
        Query q(impl_->db, "SELECT machine_id, sd FROM keys WHERE id = ?1");
        q.Bind(1, parentId);
        if (!q.Next()) return std::nullopt;
        machineId = q.Int(0);
        parentSd = q.Blob(1);
    }
    Bytes childSd;
    if (sd != nullptr)
        childSd = *sd;
    else if (!InheritedKeyDescriptor(parentSd, childSd))
        childSd = parentSd;  // a malformed parent passes its bytes on unchanged
    Query q(impl_->db, "INSERT INTO keys(machine_id, parent_id, name, uname, sd) VALUES(?1, ?2, ?3, ?4, ?5)");
    q.Bind(1, machineId).Bind(2, parentId).Bind(3, name).Bind(4, Upper(name)).Bind(5, childSd);
    if (!q.Run()) return std::nullopt;
    return impl_->db.LastId();
}

bool World::DeleteKey(Id keyId) {
    Transaction transaction(impl_->db);
    if (!transaction.ok()) return false;
    {
        Query q(impl_->db, "SELECT parent_id FROM keys WHERE id = ?1");
        q.Bind(1, keyId);
        if (!q.Next() || q.Int(0) == 0) return false;
    }
    Query q(impl_->db,
            "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION SELECT k.id FROM keys k JOIN tree t ON k.parent_id = t.id) "
            "SELECT id FROM tree");
    q.Bind(1, keyId);
    std::vector<Id> ids;
    while (q.Next()) ids.push_back(q.Int(0));
    if (!q.ok()) return false;
    for (Id id : ids) {
        Query values(impl_->db, "DELETE FROM key_values WHERE key_id = ?1");
        Query key(impl_->db, "DELETE FROM keys WHERE id = ?1");
        if (!values.Bind(1, id).Run() || !key.Bind(1, id).Run()) return false;
    }
    return transaction.Commit();
}

bool World::SetValue(Id keyId, const Value& value) {
    Transaction transaction(impl_->db);
    if (!transaction.ok() || !KeyById(keyId)) return false;
    Query q(impl_->db,
            "INSERT INTO key_values(key_id, name, uname, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
            "ON CONFLICT(key_id, uname) DO UPDATE SET name = excluded.name, type = excluded.type, data = excluded.data");
    q.Bind(1, keyId).Bind(2, value.name).Bind(3, Upper(value.name)).Bind(4, std::int64_t{value.type}).Bind(5, value.data);
    return q.Run() && transaction.Commit();
}

bool World::DeleteValue(Id keyId, std::string_view name) {
    Transaction transaction(impl_->db);
    if (!transaction.ok()) return false;
    Query q(impl_->db, "DELETE FROM key_values WHERE key_id = ?1 AND uname = ?2");
    q.Bind(1, keyId).Bind(2, Upper(name));
    if (!q.Run() || sqlite3_changes(impl_->db.Handle()) == 0) return false;
    return transaction.Commit();
}

void World::HoldReads(bool on) {
    Db& db = impl_->db;
    if (on && !db.holding && db.depth == 0) {
        db.holding = db.Exec("BEGIN DEFERRED");
    } else if (!on && db.holding) {
        db.Exec("COMMIT");
        db.holding = false;
    }
}

bool World::CheckIntegrity(std::string* problem) {
    Query q(impl_->db, "PRAGMA integrity_check");
    std::string first;
    if (!q.Next()) {
        if (problem != nullptr) *problem = impl_->db.Message();
        return false;
    }
    first = q.Text(0);
    if (first == "ok") return true;
    if (problem != nullptr) *problem = first;
    return false;
}

bool World::Batch(const std::function<bool()>& body) {
    Transaction transaction(impl_->db);
    if (!transaction.ok()) return false;
    return body() && transaction.Commit();
}

// ---------------------------------------------------------------- shares

std::vector<Share> World::SharesOf(Id machineId) {
    std::vector<Share> out;
    Query q(impl_->db, SHARE_COLUMNS "WHERE machine_id = ?1 ORDER BY id");
    q.Bind(1, machineId);
    while (q.Next()) out.push_back(ReadShare(q));
    return out;
}

std::optional<Share> World::ShareByName(Id machineId, std::string_view name) {
    Query q(impl_->db, SHARE_COLUMNS "WHERE machine_id = ?1 AND uname = ?2");
    q.Bind(1, machineId).Bind(2, Upper(name));
    if (!q.Next()) return std::nullopt;
    return ReadShare(q);
}

bool World::UpdateShare(const Share& share) {
    Transaction transaction(impl_->db);
    if (!transaction.ok()) return false;
    Query q(impl_->db,
            "UPDATE shares SET name = ?2, uname = ?3, type = ?4, remark = ?5, path = ?6, max_uses = ?7, "
            "current_uses = ?8, password = ?9, permissions = ?10, sd = ?11 WHERE id = ?1");
    q.Bind(1, share.id).Bind(2, share.name).Bind(3, Upper(share.name)).Bind(4, std::int64_t{share.type});
    q.Bind(5, share.remark).Bind(6, share.path).Bind(7, std::int64_t{share.maxUses});
    q.Bind(8, std::int64_t{share.currentUses}).Bind(9, share.password).Bind(10, std::int64_t{share.permissions});
    if (share.sd)
        q.Bind(11, *share.sd);
    else
        q.BindNull(11);
    if (!q.Run() || sqlite3_changes(impl_->db.Handle()) != 1) return false;
    return transaction.Commit();
}

// ---------------------------------------------------------------- JSON

bool World::ImportJson(const std::string& json, std::string* error) {
    Transaction transaction(impl_->db);
    if (!transaction.ok()) {
        if (error != nullptr) *error = impl_->db.Message();
        return false;
    }
    if (!ImportInto(impl_->db, json, error)) return false;
    if (!transaction.Commit()) {
        if (error != nullptr) *error = impl_->db.Message();
        return false;
    }
    return true;
}

std::string World::ExportJson() { return ExportFrom(impl_->db); }

std::string World::LastError() const { return impl_->db.failure; }

bool World::EditJson(const std::function<bool(std::string&, std::string*)>& edit, std::string* error) {
    Transaction transaction(impl_->db);
    if (!transaction.ok()) {
        if (error != nullptr) *error = impl_->db.Message();
        return false;
    }
    std::string json = ExportFrom(impl_->db);
    if (json.empty()) {
        // Re-importing a partial export would lose whatever could not be read.
        if (error != nullptr) *error = "cannot read the world whole: " + impl_->db.failure;
        return false;
    }
    if (!edit(json, error)) return false;
    if (!ImportInto(impl_->db, json, error)) return false;
    if (!transaction.Commit()) {
        if (error != nullptr) *error = impl_->db.Message();
        return false;
    }
    return true;
}

}  // namespace platform::store
