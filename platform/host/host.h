// The process-wide state of the simulated host: the open world, the handle
// tables, the process token's enabled privileges, injected faults and the
// per-process caches that keep a long walk over the registry cheap.
//
// Invariants:
//   1. Exactly one Host exists per process, created on the first platform
//      call; every call holds Host::mutex for its whole duration, so the
//      calls are safe from any thread (the programs use one).
//   2. The world is opened at most once; a failure is reported in exactly
//      one line on standard error and every later call fails without
//      retrying.
//   3. Caches never change an answer, only its cost: SID and name look-ups
//      per machine (accounts are not edited through the platform calls),
//      tokens per machine (rebuilt flags when privileges change), access
//      decisions keyed by the descriptor's bytes, and resolved parent
//      paths.  Each cache is bounded, so memory does not grow with the
//      number of keys walked.
//   4. A handle value is never a null pointer or a predefined root; closed
//      slots are reused.
//   5. What this process writes it sees at once.  What other processes
//      write it sees within kFreshFor (20 ms): key rows, subkey lists and
//      the store's shared read snapshot are kept no longer than that.
//   6. Faults (NTSIM_FAULT="Call:code[@N][,...]", read when the host is
//      created) make the N-th call of that name (the first without @N)
//      fail with the code: as its return value, or as FALSE and the last
//      error for calls that return BOOL.  Each entry fires once.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/names.h"
#include "platform/errors.h"
#include "host/token_build.h"
#include "host/util.h"
#include "security/access_check.h"
#include "store/world.h"

namespace platform::host {

struct KeyHandle {
    store::Id machineId = 0;           // machine the key lives on
    store::Id rootId = 0;              // hive root (HKLM or HKU) the path starts from
    store::Id keyId = 0;               // the key itself
    std::string upperPath;             // path below the root, upper-cased, "" for the root
    ACCESS_MASK granted = 0;           // access granted when opened
    Bytes sd;                          // descriptor as read at open (validated or empty)
    bool subkeysLoaded = false;        // subkeys below filled
    SECURITY_INFORMATION builtInfo = 0;  // parts held in `built`
    Bytes built;                       // last descriptor handed out, or empty
    std::vector<std::string> subkeys;  // names in enumeration order
};

struct ShareEnum {
    std::string server;                // the server as the caller wrote it
    std::vector<store::Share> shares;  // visible disk shares, creation order
    std::size_t next = 0;              // first share not yet returned
};

struct MachineToken {
    TokenContents contents;  // SIDs and held privileges on the machine
    AccessToken access;      // the same with the process's enabled flags
};

class Host {
public:
    // The process's host, created on first use.
    static Host& Instance();
    // Drops the process's host: handles, caches, enabled privileges and
    // fault counters go; the next call opens the world again from the
    // environment.  For tests; no call may be running.
    static void ResetForTesting();

    std::mutex mutex;  // held by every platform call

    // The predefined roots as opened on first use (HKCR, HKCU, HKLM, HKU),
    // so their subkey lists are loaded once.
    std::unique_ptr<KeyHandle> predefined[4];

    // Where each predefined root starts on a machine, resolved once:
    // (machine, root index) -> hive root id, key id, upper path below it.
    struct RootStart {
        store::Id rootId = 0;   // hive root (HKLM or HKU)
        store::Id keyId = 0;    // the key the predefined root stands for
        std::string upperPath;  // its path below the hive root
    };
    std::map<std::pair<store::Id, int>, RootStart> rootStarts;

    // Counts a call of `name` and says whether an injected fault fires now
    // (NTSIM_FAULT="Call:code[@N],...": each entry fires once).
    bool Fault(std::string_view name, DWORD& code);

    // The open world, or null when it cannot be opened (reported once).
    // Reads through it may share one store snapshot for up to kFreshFor
    // when the store offers that; WorldForWrite ends the shared snapshot
    // first, so every write starts from what is stored now.
    store::World* World();
    store::World* WorldForWrite();

    // The machine named by a caller: null or "" is the local machine;
    // leading backslashes are dropped.  nullopt when unknown (online or
    // not: callers decide what an offline machine means for them).
    const store::Machine* MachineNamed(const char* name);  // cached for the process; null when unknown
    const store::Machine* Local();  // cached for the process; null when unknown
    std::optional<store::Machine> MachineWithId(store::Id id);
    bool IsLocal(const store::Machine& machine);

    // The logged-on account's SID (NTSIM_LOGON, else the world's logon),
    // nullopt when it names no account.
    std::optional<Bytes> LogonSid();

    // The process token as seen on `machine`.
    MachineToken& TokenOn(const store::Machine& machine);

    // Privileges the process has enabled, and the call that changes them.
    const std::vector<DWORD>& Enabled() const { return enabled_; }
    void SetEnabled(std::vector<DWORD> enabled);

    // Cached look-ups as `machine` answers them.
    // The cached answer, valid until the next LookupSid; null when unmapped.
    const ResolvedAccount* LookupSid(const store::Machine& machine, const Bytes& sid);
    std::optional<ResolvedAccount> LookupName(const store::Machine& machine, std::string_view name);

    // The access check against stored descriptor bytes (empty = no
    // descriptor, everything granted), cached by the bytes.
    DWORD CheckKeyAccess(const store::Machine& machine, const Bytes& sd, ACCESS_MASK desired,
                         ACCESS_MASK* granted);
    DWORD CheckAccessWith(const store::Machine& machine, const Bytes& sd, ACCESS_MASK desired,
                          const GENERIC_MAPPING& mapping, ACCESS_MASK* granted);

    // Key handles.
    HKEY AddKey(KeyHandle handle);
    KeyHandle* FindKey(HKEY key);
    bool CloseKey(HKEY key);
    // Every open handle on one key (to refresh their descriptor copies).
    template <typename F>
    void ForEachHandleOf(store::Id keyId, F f) {
        for (auto& slot : keys_) {
            if (slot && slot->keyId == keyId) f(*slot);
        }
    }

    // Reads of keys through a short-lived cache: a walk opens each key
    // twice in a row (security, then subkeys) and enumerates what it just
    // counted, so the same rows are asked for within microseconds.  An
    // entry lives kFreshFor at most, so changes by other processes show
    // after that; writes through this process update it at once.
    std::optional<store::Key> ChildKey(store::Id parentId, std::string_view name);
    const std::vector<std::string>& SubkeyNames(store::Id keyId);
    void ForgetKey(store::Id keyId);

    // Resolved parent paths: (root, upper path) -> key id.
    std::optional<store::Id> CachedPath(store::Id rootId, const std::string& upperPath);
    void RememberPath(store::Id rootId, const std::string& upperPath, store::Id keyId);

    // Enumeration handles of the network-resource calls.
    HANDLE AddEnum(ShareEnum e);
    ShareEnum* FindEnum(HANDLE handle);
    bool CloseEnum(HANDLE handle);

    // Token handles of OpenProcessToken.
    HANDLE AddTokenHandle();
    bool IsTokenHandle(HANDLE handle) const;
    bool CloseTokenHandle(HANDLE handle);

private:
    Host();
    void LoadFaults();

    struct InjectedFault {
        std::string call;    // call name, exact
        DWORD code = 0;      // code it fails with
        unsigned nth = 1;    // which call of that name fails
        bool fired = false;  // each entry fires once
    };

    std::vector<InjectedFault> faults_;
    std::unordered_map<std::string, unsigned> callCounts_;

    bool worldTried_ = false;
    std::unique_ptr<store::World> world_;
    bool holding_ = false;                          // a shared read snapshot is open
    std::chrono::steady_clock::time_point heldAt_;  // when it was opened

    bool localLoaded_ = false;
    std::optional<store::Machine> local_;
    std::unordered_map<std::string, std::optional<store::Machine>> machines_;  // by upper name
    std::map<store::Id, std::optional<store::Machine>> machinesById_;
    bool logonLoaded_ = false;
    std::optional<Bytes> logonSid_;

    std::map<store::Id, MachineToken> tokens_;
    std::vector<DWORD> enabled_;

    std::unordered_map<std::string, std::optional<ResolvedAccount>> sidCache_;
    std::unordered_map<std::string, std::optional<ResolvedAccount>> nameCache_;
    struct Decision {
        DWORD code;           // result of the check
        ACCESS_MASK granted;  // granted mask when code is success
    };
    std::unordered_map<std::string, Decision> decisions_;
    std::unordered_map<std::string, store::Id> paths_;
    using Clock = std::chrono::steady_clock;
    struct RecentKey {
        std::optional<store::Key> key;  // the row, or none when missing
        Clock::time_point at;           // when it was read
    };
    std::unordered_map<std::string, RecentKey> recentKeys_;  // parent id + upper name
    struct RecentSubkeys {
        std::vector<std::string> names;  // enumeration order
        Clock::time_point at;            // when it was read
    };
    std::unordered_map<store::Id, RecentSubkeys> recentSubkeys_;

    std::vector<std::unique_ptr<KeyHandle>> keys_;
    std::vector<std::unique_ptr<ShareEnum>> enums_;
    std::vector<bool> tokenHandles_;
};

// Every platform call starts with this: the host, locked for the call.
class HostCall {
public:
    HostCall() : host(Host::Instance()), lock_(host.mutex) {}
    Host& host;

private:
    std::lock_guard<std::mutex> lock_;
};

}  // namespace platform::host
