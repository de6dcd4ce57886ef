// The store of the simulated host: one SQLite database file per world.
//
// Holds machines, domains, accounts and memberships, privilege assignments,
// registry keys with their values and descriptors, and shares with their
// level-502 fields and descriptors.  The host's calls (platform/host/) read
// and write through this class only; nothing outside platform/store/
// includes sqlite3.h.
//
// Guarantees:
//   1. Every write is one transaction: a process killed at any moment leaves
//      each key or share as it was or as it was written.
//   2. Concurrent processes on one world wait for each other (WAL, busy
//      timeout); they do not fail.
//   3. Opening is cheap: nothing is loaded up front, so a one-key run of a
//      program costs a few milliseconds.  Statements are prepared once per
//      process and reused.
//   4. Bytes read back (SIDs, descriptors) are returned as stored; callers
//      treat them as untrusted and validate them before use.
//
// Names compare without regard to ASCII case and keep their case.
// Methods that can fail return false / std::nullopt and, where they say so,
// an error text; none throws.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform::store {

using Id = std::int64_t;
using Bytes = std::vector<BYTE>;

struct Domain {
    Id id = 0;
    std::string name;    // "CORP"
    Bytes sid;           // domain SID
    std::string dc;      // name of the controller machine, "" when none
};

struct Machine {
    Id id = 0;
    std::string name;            // "WKSTN01"
    Bytes sid;                   // machine (account-domain) SID
    Id domainId = 0;             // 0 when the machine is in no domain
    bool online = true;          // offline machines answer no call
    bool remoteRegistry = true;  // remote registry service running
};

// An account of a domain (domainId set) or a machine (machineId set).
struct Account {
    Id id = 0;
    Id domainId = 0;          // owner of the account when a domain account
    Id machineId = 0;         // owner of the account when a local account
    std::string name;         // "alice", "Domain Admins"
    DWORD rid = 0;            // relative identifier under the owner's SID
    SID_NAME_USE type = SidTypeUser;  // SidTypeUser, Group, Alias, Computer
    bool deleted = false;     // SID still resolvable, as a deleted account
};

struct Key {
    Id id = 0;
    Id parentId = 0;      // 0 for a hive root
    std::string name;     // as created, case kept; "HKLM" / "HKU" for roots
    Bytes sd;             // self-relative descriptor (untrusted bytes)
};

struct Value {
    std::string name;     // "" is the default value
    DWORD type = REG_SZ;  // REG_SZ, REG_DWORD, ...
    Bytes data;           // raw data as the platform stores it (REG_SZ: text + NUL, ANSI)
};

struct Share {
    Id id = 0;
    Id machineId = 0;
    std::string name;          // "data", "ADMIN$"
    DWORD type = 0;            // STYPE_* bits
    std::string remark;
    std::string path;          // "C:\\data"
    DWORD maxUses = MAXDWORD;  // MAXDWORD = unlimited
    DWORD currentUses = 0;
    std::string password;      // usually empty
    DWORD permissions = 0;
    std::optional<Bytes> sd;   // self-relative, or none (a share without descriptor)
};

// One entry of a group's or alias's membership list, by the member's SID.
struct Membership {
    Id groupAccountId = 0;  // the group or alias (a domain group or a machine alias)
    Bytes memberSid;        // any SID: account, group, well-known
};

// A builtin alias (Administrators, Users, ...) membership on one machine.
struct BuiltinMembership {
    Id machineId = 0;
    DWORD aliasRid = 0;   // 544 Administrators, 545 Users, 551 Backup Operators, ...
    Bytes memberSid;
};

struct PrivilegeGrant {
    Id machineId = 0;
    std::string privilege;  // "SeSecurityPrivilege"
    Bytes holderSid;        // account, group or alias SID
};

class World {
public:
    // Opens (creating when missing, with the sample world when
    // `createSample`, else an empty world) the world at path.  A missing
    // file is built under a temporary name in the same folder and linked
    // into place, so two processes starting at once both end up on one
    // complete world.  On failure returns null and sets *error to
    // "cannot open world <path>: <reason>" (one line, no newline).
    static std::unique_ptr<World> Open(const std::string& path, bool createSample, std::string* error);

    // The path programs use: $NTSIM_WORLD, else $XDG_DATA_HOME/ntsim/world.db,
    // else ~/.local/share/ntsim/world.db.
    static std::string DefaultPath(bool* fromEnvironment);

    // The sample world's JSON text, as created on first use.
    static const std::string& SampleJson();

    ~World();
    const std::string& Path() const;
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // -- settings
    std::string LocalMachineName();   // the "local" of the world
    std::string LogonName();          // "CORP\\alice" (NTSIM_LOGON is the host's business)

    // -- machines, domains, accounts (look-ups are case-insensitive)
    std::optional<Machine> MachineByName(std::string_view name);
    std::optional<Machine> MachineById(Id id);
    std::optional<Domain> DomainByName(std::string_view name);
    std::optional<Domain> DomainById(Id id);
    std::optional<Domain> DomainBySid(const Bytes& sid);
    std::optional<Machine> MachineBySid(const Bytes& sid);
    std::vector<Machine> Machines();                                     // in creation order
    std::vector<Domain> Domains();                                       // in creation order
    // Accounts of a domain (domainId) or a machine (machineId), the other 0.
    std::vector<Account> AccountsOf(Id domainId, Id machineId);
    std::optional<Account> DomainAccountByName(Id domainId, std::string_view name);
    std::optional<Account> DomainAccountByRid(Id domainId, DWORD rid);
    std::optional<Account> MachineAccountByName(Id machineId, std::string_view name);
    std::optional<Account> MachineAccountByRid(Id machineId, DWORD rid);
    std::vector<Bytes> MembersOf(Id groupAccountId);                      // member SIDs
    std::vector<Id> GroupsWithMember(const Bytes& memberSid);            // account ids of groups/aliases
    std::vector<DWORD> BuiltinAliasesWithMember(Id machineId, const Bytes& memberSid);
    std::vector<Bytes> BuiltinMembers(Id machineId, DWORD aliasRid);      // member SIDs
    std::vector<PrivilegeGrant> PrivilegesOn(Id machineId);              // explicit or defaulted grants

    // -- registry
    std::optional<Key> HiveRoot(Id machineId, std::string_view hive);    // "HKLM" or "HKU"
    std::optional<Key> ChildKey(Id parentId, std::string_view name);     // case-insensitive
    std::optional<Key> KeyById(Id id);
    // Names of the direct subkeys in ascending order of their upper-cased names.
    std::vector<std::string> SubkeyNames(Id keyId);
    std::size_t SubkeyCount(Id keyId);
    std::size_t LongestSubkeyName(Id keyId);
    bool SetKeySd(Id keyId, const Bytes& sd);                             // one transaction
    // Read-modify-write of a key's descriptor in one transaction: `edit`
    // gets the stored bytes and changes them, or returns false to leave the
    // key alone (UpdateKeySd then returns false).  Concurrent callers
    // serialize, so no edit is lost.
    bool UpdateKeySd(Id keyId, const std::function<bool(Bytes&)>& edit);
    // The key at a path below a hive root ("SOFTWARE\\App", "" = the root
    // itself), case-insensitive; nullopt when a component is missing.
    std::optional<Key> KeyByPath(Id machineId, std::string_view hive, std::string_view path);
    std::optional<Value> GetValue(Id keyId, std::string_view name);
    std::vector<Value> Values(Id keyId);
    // Creates the key at `path` below a hive root and any missing ancestor;
    // each new key gets its parent's inheritable entries, the last one `sd`
    // instead when given.  Returns the key (also when it existed already,
    // with *created false and its descriptor untouched); nullopt when the
    // hive is missing or the path has an empty component.
    std::optional<Id> CreateKey(Id machineId, std::string_view hive, std::string_view path, const Bytes* sd,
                                bool* created);
    // Creates one subkey (its parent's inheritable entries, or `sd`);
    // nullopt when the parent is missing or the name is taken or empty.
    std::optional<Id> CreateChild(Id parentId, std::string_view name, const Bytes* sd);
    bool DeleteKey(Id keyId);                                 // with its subtree and values; not a hive root
    bool SetValue(Id keyId, const Value& value);              // adds or replaces, by name
    bool DeleteValue(Id keyId, std::string_view name);        // false when there was none

    // Lets a run of reads share one snapshot (one read transaction) instead
    // of taking the file's lock per statement, until HoldReads(false).
    // Changes by other processes stay unseen while held, so callers hold
    // only briefly.  Any write of this World ends the hold first.
    void HoldReads(bool on);

    // SQLite's own consistency check of the file; false with the first
    // problem it reports.
    bool CheckIntegrity(std::string* problem);

    // Runs `body` as one transaction: the store's own writes inside it join
    // it, and it is rolled back when body returns false.
    bool Batch(const std::function<bool()>& body);

    // -- shares, in creation order
    std::vector<Share> SharesOf(Id machineId);
    std::optional<Share> ShareByName(Id machineId, std::string_view name);
    bool UpdateShare(const Share& share);                                // one transaction

    // -- whole-world import and export (the JSON world format)
    bool ImportJson(const std::string& json, std::string* error);        // replaces the world, one transaction
    std::string ExportJson();                                            // "" when the file cannot be read whole
    // The message of the store's last failed statement ("" when none).
    std::string LastError() const;
    // Export, edit, import in one transaction: `edit` gets the world's JSON
    // text, changes it (or sets *error and returns false to abandon).  For
    // ntsim's small changes; it rewrites the whole world.
    bool EditJson(const std::function<bool(std::string& json, std::string* error)>& edit, std::string* error);
    // The machine SID and its domain's SID, for SDDL aliases (LA, DA, ...).
    bool SddlSids(Id machineId, Bytes& machineSid, Bytes& domainSid);

private:
    struct Impl;
    explicit World(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::store
