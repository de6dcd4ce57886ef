// The process-wide host state; see host.h for the invariants it keeps.
#include "host/host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform::host {
namespace {

// Bounds of the per-process caches: large enough for every distinct SID,
// descriptor and parent path of a realistic walk, small enough that a walk
// over a huge tree keeps a flat memory profile.
constexpr std::size_t kLookupCacheLimit = 4096;
constexpr std::size_t kDecisionCacheLimit = 4096;
constexpr std::size_t kPathCacheLimit = 8192;
constexpr std::size_t kRecentKeyLimit = 4096;
constexpr std::size_t kRecentSubkeyLimit = 256;
// How long a key row read from the store is taken as current.
constexpr std::chrono::milliseconds kFreshFor{20};

// Handle values: distinct ranges per kind, never null, never a predefined
// root (0x80000000..), step 4 like the platform's.
constexpr std::uintptr_t kKeyBase = 0x00100000;
constexpr std::uintptr_t kEnumBase = 0x40000000;
constexpr std::uintptr_t kTokenBase = 0x50000000;
constexpr std::uintptr_t kRangeSize = 0x10000000;

std::mutex instanceMutex;
Host* instance = nullptr;

// Closing the world at exit lets SQLite fold the write-ahead log back into
// the file instead of leaving it for the next process to recover.
void DropAtExit() { Host::ResetForTesting(); }

template <typename Map>
void Bound(Map& map, std::size_t limit) {
    if (map.size() >= limit) map.clear();
}

// A store that can keep one read snapshot across calls saves a lock round
// trip per read (most of a read's cost); a store without it is used read by
// read.
template <typename W>
bool HoldReads(W& world, bool on) {
    if constexpr (requires { world.HoldReads(on); }) {
        world.HoldReads(on);
        return true;
    } else {
        (void)world;
        (void)on;
        return false;
    }
}

std::optional<std::size_t> SlotOf(const void* handle, std::uintptr_t base) {
    auto v = reinterpret_cast<std::uintptr_t>(handle);
    if (v < base || v >= base + kRangeSize || (v - base) % 4 != 0) return std::nullopt;
    return (v - base) / 4;
}

template <typename T>
std::size_t FreeSlot(std::vector<std::unique_ptr<T>>& table) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (!table[i]) return i;
    }
    table.emplace_back();
    return table.size() - 1;
}

std::string KeyOf(store::Id id, const Bytes& bytes) {
    std::string k(reinterpret_cast<const char*>(&id), sizeof id);
    k.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return k;
}

}  // namespace

Host::Host() { LoadFaults(); }

Host& Host::Instance() {
    std::lock_guard<std::mutex> guard(instanceMutex);
    static const bool registered = std::atexit(DropAtExit) == 0;
    (void)registered;
    if (instance == nullptr) instance = new Host();
    return *instance;
}

void Host::ResetForTesting() {
    std::lock_guard<std::mutex> guard(instanceMutex);
    delete instance;
    instance = nullptr;
}

void Host::LoadFaults() {
    const char* spec = std::getenv("NTSIM_FAULT");
    if (spec == nullptr) return;
    std::string_view rest(spec);
    while (!rest.empty()) {
        auto comma = rest.find(',');
        std::string_view entry = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
        auto colon = entry.find(':');
        if (colon == std::string_view::npos || colon == 0) continue;
        InjectedFault f;
        f.call.assign(entry.substr(0, colon));
        std::string number(entry.substr(colon + 1));
        auto at = number.find('@');
        char* end = nullptr;
        f.code = static_cast<DWORD>(std::strtoul(number.c_str(), &end, 0));
        if (end == number.c_str()) continue;  // no code: not a usable entry
        if (at != std::string::npos) {
            unsigned long nth = std::strtoul(number.c_str() + at + 1, nullptr, 10);
            if (nth == 0) continue;
            f.nth = static_cast<unsigned>(nth);
        }
        faults_.push_back(std::move(f));
    }
}

bool Host::Fault(std::string_view name, DWORD& code) {
    if (faults_.empty()) return false;
    unsigned count = ++callCounts_[std::string(name)];
    for (auto& f : faults_) {
        if (!f.fired && f.call == name && f.nth == count) {
            f.fired = true;
            code = f.code;
            return true;
        }
    }
    return false;
}

store::World* Host::World() {
    if (!worldTried_) {
        worldTried_ = true;
        std::string path = store::World::DefaultPath(nullptr);
        std::string error;
        world_ = store::World::Open(path, true, &error);
        if (!world_) {
            std::fprintf(stderr, "ntsim: %s\n", error.c_str());
            std::fflush(stderr);
        }
    }
    if (world_) {
        auto now = std::chrono::steady_clock::now();
        if (holding_ && now - heldAt_ >= kFreshFor) {
            HoldReads(*world_, false);
            holding_ = false;
        }
        if (!holding_) {
            holding_ = HoldReads(*world_, true);
            heldAt_ = now;
        }
    }
    return world_.get();
}

store::World* Host::WorldForWrite() {
    store::World* w = World();
    if (w != nullptr && holding_) {
        HoldReads(*w, false);
        holding_ = false;
    }
    return w;
}

// Machines are looked up on every account and registry call, so the cached
// record is handed out by pointer: the caches are never cleared while the
// host lives, which keeps the pointers valid.
const store::Machine* Host::Local() {
    if (!localLoaded_) {
        localLoaded_ = true;
        if (auto* w = World()) local_ = w->MachineByName(w->LocalMachineName());
    }
    return local_ ? &*local_ : nullptr;
}

std::optional<store::Machine> Host::MachineWithId(store::Id id) {
    auto it = machinesById_.find(id);
    if (it != machinesById_.end()) return it->second;
    auto* w = World();
    if (w == nullptr) return std::nullopt;
    auto m = w->MachineById(id);
    machinesById_.emplace(id, m);
    return m;
}

bool Host::IsLocal(const store::Machine& machine) {
    auto local = Local();
    return local && local->id == machine.id;
}

const store::Machine* Host::MachineNamed(const char* name) {
    std::string_view n = name == nullptr ? std::string_view{} : StripBackslashes(name);
    if (n.empty()) return Local();
    std::string upper = Upper(n);
    auto it = machines_.find(upper);
    if (it == machines_.end()) {
        auto* w = World();
        if (w == nullptr) return nullptr;
        it = machines_.emplace(upper, w->MachineByName(n)).first;
    }
    return it->second ? &*it->second : nullptr;
}

std::optional<Bytes> Host::LogonSid() {
    if (!logonLoaded_) {
        logonLoaded_ = true;
        auto* w = World();
        auto local = Local();
        if (w != nullptr && local) {
            const char* env = std::getenv("NTSIM_LOGON");
            std::string logon = env != nullptr && *env != '\0' ? std::string(env) : w->LogonName();
            if (auto a = ResolveName(*w, *local, logon)) logonSid_ = a->sid;
        }
    }
    return logonSid_;
}

MachineToken& Host::TokenOn(const store::Machine& machine) {
    auto it = tokens_.find(machine.id);
    if (it != tokens_.end()) return it->second;
    MachineToken t;
    auto* w = World();
    auto user = LogonSid();
    if (w != nullptr && user) {
        t.contents = BuildToken(*w, machine, *user, IsLocal(machine));
    } else {
        // No account to run as: an anonymous token that only Everyone
        // entries can grant anything to.
        t.contents.user = MakeSid(5, {7});
        t.contents.groups.push_back(EveryoneSid());
    }
    t.access = ToAccessToken(t.contents, enabled_);
    return tokens_.emplace(machine.id, std::move(t)).first->second;
}

void Host::SetEnabled(std::vector<DWORD> enabled) {
    enabled_ = std::move(enabled);
    for (auto& [id, t] : tokens_) t.access = ToAccessToken(t.contents, enabled_);
    decisions_.clear();
}

// Listers ask for every entry's SID twice (size, then text), so the answer
// is lent out of the cache rather than copied.
const ResolvedAccount* Host::LookupSid(const store::Machine& machine, const Bytes& sid) {
    std::string key = KeyOf(machine.id, sid);
    auto it = sidCache_.find(key);
    if (it == sidCache_.end()) {
        auto* w = World();
        if (w == nullptr) return nullptr;
        auto r = ResolveSid(*w, machine, sid);
        Bound(sidCache_, kLookupCacheLimit);
        it = sidCache_.emplace(std::move(key), std::move(r)).first;
    }
    return it->second ? &*it->second : nullptr;
}

std::optional<ResolvedAccount> Host::LookupName(const store::Machine& machine, std::string_view name) {
    std::string key(reinterpret_cast<const char*>(&machine.id), sizeof machine.id);
    key += Upper(name);
    auto it = nameCache_.find(key);
    if (it != nameCache_.end()) return it->second;
    auto* w = World();
    if (w == nullptr) return std::nullopt;
    auto r = ResolveName(*w, machine, name);
    Bound(nameCache_, kLookupCacheLimit);
    nameCache_.emplace(std::move(key), r);
    return r;
}

DWORD Host::CheckKeyAccess(const store::Machine& machine, const Bytes& sd, ACCESS_MASK desired,
                           ACCESS_MASK* granted) {
    return CheckAccessWith(machine, sd, desired, kKeyGenericMapping, granted);
}

DWORD Host::CheckAccessWith(const store::Machine& machine, const Bytes& sd, ACCESS_MASK desired,
                            const GENERIC_MAPPING& mapping, ACCESS_MASK* granted) {
    std::string key = KeyOf(machine.id, sd);
    key.append(reinterpret_cast<const char*>(&desired), sizeof desired);
    key.append(reinterpret_cast<const char*>(&mapping), sizeof mapping);
    auto it = decisions_.find(key);
    if (it != decisions_.end()) {
        if (it->second.code == ERROR_SUCCESS) *granted = it->second.granted;
        return it->second.code;
    }
    Decision d{ERROR_SUCCESS, 0};
    if (sd.empty()) {
        // A key without a descriptor is open to everyone, as a NULL DACL
        // is; the system-security right still needs the privilege.
        MachineToken& t = TokenOn(machine);
        ACCESS_MASK want = desired;
        if (want & GENERIC_READ) want |= mapping.GenericRead;
        if (want & GENERIC_WRITE) want |= mapping.GenericWrite;
        if (want & GENERIC_EXECUTE) want |= mapping.GenericExecute;
        if (want & (GENERIC_ALL | MAXIMUM_ALLOWED)) want |= mapping.GenericAll;
        want &= ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
        if ((desired & ACCESS_SYSTEM_SECURITY) && !t.access.HasEnabledPrivilege(SE_SECURITY_PRIVILEGE)) {
            d.code = ERROR_PRIVILEGE_NOT_HELD;
        } else {
            if (desired & MAXIMUM_ALLOWED) want |= STANDARD_RIGHTS_ALL;
            d.granted = want;
        }
    } else {
        d.code = CheckAccess(sd.data(), sd.size(), TokenOn(machine).access, desired, mapping, &d.granted);
    }
    Bound(decisions_, kDecisionCacheLimit);
    decisions_.emplace(std::move(key), d);
    if (d.code == ERROR_SUCCESS) *granted = d.granted;
    return d.code;
}

HKEY Host::AddKey(KeyHandle handle) {
    std::size_t slot = FreeSlot(keys_);
    keys_[slot] = std::make_unique<KeyHandle>(std::move(handle));
    return reinterpret_cast<HKEY>(kKeyBase + 4 * slot);
}

KeyHandle* Host::FindKey(HKEY key) {
    auto slot = SlotOf(key, kKeyBase);
    if (!slot || *slot >= keys_.size()) return nullptr;
    return keys_[*slot].get();
}

bool Host::CloseKey(HKEY key) {
    auto slot = SlotOf(key, kKeyBase);
    if (!slot || *slot >= keys_.size() || !keys_[*slot]) return false;
    keys_[*slot].reset();
    return true;
}

std::optional<store::Id> Host::CachedPath(store::Id rootId, const std::string& upperPath) {
    std::string key(reinterpret_cast<const char*>(&rootId), sizeof rootId);
    key += upperPath;
    auto it = paths_.find(key);
    if (it == paths_.end()) return std::nullopt;
    return it->second;
}

void Host::RememberPath(store::Id rootId, const std::string& upperPath, store::Id keyId) {
    std::string key(reinterpret_cast<const char*>(&rootId), sizeof rootId);
    key += upperPath;
    Bound(paths_, kPathCacheLimit);
    paths_[std::move(key)] = keyId;
}

std::optional<store::Key> Host::ChildKey(store::Id parentId, std::string_view name) {
    auto* w = World();
    if (w == nullptr) return std::nullopt;
    std::string key(reinterpret_cast<const char*>(&parentId), sizeof parentId);
    key += Upper(name);
    auto now = Clock::now();
    auto it = recentKeys_.find(key);
    if (it != recentKeys_.end() && now - it->second.at < kFreshFor) return it->second.key;
    auto row = w->ChildKey(parentId, name);
    Bound(recentKeys_, kRecentKeyLimit);
    recentKeys_[std::move(key)] = RecentKey{row, now};
    return row;
}

const std::vector<std::string>& Host::SubkeyNames(store::Id keyId) {
    auto now = Clock::now();
    auto it = recentSubkeys_.find(keyId);
    if (it != recentSubkeys_.end() && now - it->second.at < kFreshFor) return it->second.names;
    std::vector<std::string> names;
    if (auto* w = World()) names = w->SubkeyNames(keyId);
    Bound(recentSubkeys_, kRecentSubkeyLimit);
    auto& slot = recentSubkeys_[keyId];
    slot = RecentSubkeys{std::move(names), now};
    return slot.names;
}

void Host::ForgetKey(store::Id keyId) {
    for (auto it = recentKeys_.begin(); it != recentKeys_.end();) {
        if (it->second.key && it->second.key->id == keyId) {
            it = recentKeys_.erase(it);
        } else {
            ++it;
        }
    }
}

HANDLE Host::AddEnum(ShareEnum e) {
    std::size_t slot = FreeSlot(enums_);
    enums_[slot] = std::make_unique<ShareEnum>(std::move(e));
    return reinterpret_cast<HANDLE>(kEnumBase + 4 * slot);
}

ShareEnum* Host::FindEnum(HANDLE handle) {
    auto slot = SlotOf(handle, kEnumBase);
    if (!slot || *slot >= enums_.size()) return nullptr;
    return enums_[*slot].get();
}

bool Host::CloseEnum(HANDLE handle) {
    auto slot = SlotOf(handle, kEnumBase);
    if (!slot || *slot >= enums_.size() || !enums_[*slot]) return false;
    enums_[*slot].reset();
    return true;
}

HANDLE Host::AddTokenHandle() {
    std::size_t slot = 0;
    while (slot < tokenHandles_.size() && tokenHandles_[slot]) ++slot;
    if (slot == tokenHandles_.size()) tokenHandles_.push_back(false);
    tokenHandles_[slot] = true;
    return reinterpret_cast<HANDLE>(kTokenBase + 4 * slot);
}

bool Host::IsTokenHandle(HANDLE handle) const {
    auto slot = SlotOf(handle, kTokenBase);
    return slot && *slot < tokenHandles_.size() && tokenHandles_[*slot];
}

bool Host::CloseTokenHandle(HANDLE handle) {
    if (!IsTokenHandle(handle)) return false;
    tokenHandles_[*SlotOf(handle, kTokenBase)] = false;
    return true;
}

}  // namespace platform::host
