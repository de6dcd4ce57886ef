// The registry calls of the simulated host.
//
// Each machine has two hives, HKLM and HKU; HKEY_CLASSES_ROOT is
// HKLM\SOFTWARE\Classes and HKEY_CURRENT_USER is HKU\<logon SID>, both on
// the local machine.  Every open runs the access check with the process
// token as the key's machine sees it and remembers the granted mask; the
// other calls test that mask as the platform does:
//   - owner, group and DACL reads need READ_CONTROL, SACL reads and writes
//     ACCESS_SYSTEM_SECURITY (else ERROR_PRIVILEGE_NOT_HELD);
//   - DACL writes need WRITE_DAC, owner and group writes WRITE_OWNER;
//   - RegQueryInfoKeyA and RegQueryValueExA need KEY_QUERY_VALUE,
//     RegEnumKeyExA KEY_ENUMERATE_SUB_KEYS.
// A predefined root used directly behaves as if opened with
// MAXIMUM_ALLOWED.  Remotely only HKLM and HKU can be connected, as on the
// platform; other roots fail with ERROR_INVALID_HANDLE.
//
// A handle keeps the descriptor read when it was opened; writes through any
// handle of this process refresh every handle of the same key.
#include <cstring>

#include "host/host.h"
#include "host/sd_parts.h"
#include "platform/registry.h"
#include "security/descriptor.h"

using platform::host::Bytes;
using platform::host::HostCall;
using platform::host::Host;
using platform::host::KeyHandle;
namespace store = platform::store;

namespace {

int PredefinedIndex(HKEY key) {
    auto v = reinterpret_cast<std::uintptr_t>(key);
    if (v >= 0x80000000u && v <= 0x80000003u) return static_cast<int>(v - 0x80000000u);
    return -1;
}

std::vector<std::string> SplitPath(std::string_view path, bool& bad) {
    std::vector<std::string> parts;
    bad = false;
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    while (!path.empty()) {
        auto slash = path.find('\\');
        std::string_view part = path.substr(0, slash);
        if (part.empty()) {
            bad = true;
            return {};
        }
        parts.emplace_back(part);
        path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash + 1);
    }
    return parts;
}

std::string JoinUpper(const std::string& base, const std::string& part) {
    std::string out = base;
    if (!out.empty()) out += '\\';
    out += platform::host::Upper(part);
    return out;
}

// Finds the key `parts` below the key `fromId` (whose path below the root
// is fromPath), using and filling the host's parent-path cache.
std::optional<store::Key> Walk(Host& h, store::World& w, store::Id rootId, store::Id fromId,
                               const std::string& fromPath, const std::vector<std::string>& parts,
                               std::string& fullPath) {
    fullPath = fromPath;
    if (parts.empty()) return w.KeyById(fromId);
    store::Id parent = fromId;
    std::string parentPath = fromPath;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) parentPath = JoinUpper(parentPath, parts[i]);
    if (parts.size() > 1) {
        if (auto cached = h.CachedPath(rootId, parentPath)) {
            parent = *cached;
        } else {
            std::string at = fromPath;
            for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
                at = JoinUpper(at, parts[i]);
                if (auto c = h.CachedPath(rootId, at)) {
                    parent = *c;
                    continue;
                }
                auto k = h.ChildKey(parent, parts[i]);
                if (!k) return std::nullopt;
                parent = k->id;
                h.RememberPath(rootId, at, parent);
            }
        }
    }
    auto key = h.ChildKey(parent, parts.back());
    fullPath = JoinUpper(parentPath, parts.back());
    if (key) h.RememberPath(rootId, fullPath, key->id);
    return key;
}

// Opens `sub` below a starting point and runs the access check.
LSTATUS OpenBelow(Host& h, const store::Machine& m, store::Id rootId, store::Id fromId,
                  const std::string& fromPath, std::string_view sub, REGSAM desired, KeyHandle& out) {
    auto* w = h.World();
    if (w == nullptr) return ERROR_FILE_NOT_FOUND;
    if (!sub.empty() && sub.front() == '\\') return ERROR_BAD_PATHNAME;
    bool bad = false;
    auto parts = SplitPath(sub, bad);
    if (bad) return ERROR_BAD_PATHNAME;
    std::string fullPath;
    auto key = Walk(h, *w, rootId, fromId, fromPath, parts, fullPath);
    if (!key) return ERROR_FILE_NOT_FOUND;
    if (!key->sd.empty() && !platform::IsValidSelfRelative(key->sd.data(), key->sd.size())) {
        return ERROR_INVALID_SECURITY_DESCR;
    }
    ACCESS_MASK granted = 0;
    DWORD rc = h.CheckKeyAccess(m, key->sd, desired, &granted);
    if (rc != ERROR_SUCCESS) return static_cast<LSTATUS>(rc);
    out.machineId = m.id;
    out.rootId = rootId;
    out.keyId = key->id;
    out.upperPath = std::move(fullPath);
    out.granted = granted;
    out.sd = std::move(key->sd);
    return ERROR_SUCCESS;
}

// The starting point of a predefined root on a machine: hive root id, key
// id and path below the hive.
LSTATUS PredefinedStart(Host& h, const store::Machine& m, int index, store::Id& rootId, store::Id& fromId,
                        std::string& fromPath) {
    auto* w = h.World();
    if (w == nullptr) return ERROR_FILE_NOT_FOUND;
    bool users = index == 1 || index == 3;  // HKCU, HKU
    auto root = w->HiveRoot(m.id, users ? "HKU" : "HKLM");
    if (!root) return ERROR_FILE_NOT_FOUND;
    rootId = root->id;
    fromId = root->id;
    fromPath.clear();
    std::vector<std::string> below;
    if (index == 0) {
        below = {"SOFTWARE", "Classes"};
    } else if (index == 1) {
        auto sid = h.LogonSid();
        if (!sid) return ERROR_FILE_NOT_FOUND;
        below = {platform::host::SidText(*sid)};
    }
    if (below.empty()) return ERROR_SUCCESS;
    std::string path;
    auto key = Walk(h, *w, rootId, fromId, fromPath, below, path);
    if (!key) return ERROR_FILE_NOT_FOUND;
    fromId = key->id;
    fromPath = path;
    return ERROR_SUCCESS;
}

LSTATUS OpenPredefined(Host& h, const store::Machine& m, int index, std::string_view sub, REGSAM desired,
                       KeyHandle& out) {
    auto found = h.rootStarts.find({m.id, index});
    if (found == h.rootStarts.end()) {
        Host::RootStart start;
        LSTATUS rc = PredefinedStart(h, m, index, start.rootId, start.keyId, start.upperPath);
        if (rc != ERROR_SUCCESS) return rc;
        found = h.rootStarts.emplace(std::make_pair(m.id, index), std::move(start)).first;
    }
    const Host::RootStart& start = found->second;
    return OpenBelow(h, m, start.rootId, start.keyId, start.upperPath, sub, desired, out);
}

// The handle a call works on: an open handle, or a predefined root of the
// local machine opened (once per process) with MAXIMUM_ALLOWED.
KeyHandle* Use(Host& h, HKEY key, LSTATUS& rc) {
    rc = ERROR_SUCCESS;
    int index = PredefinedIndex(key);
    if (index < 0) {
        KeyHandle* k = h.FindKey(key);
        if (k == nullptr) rc = ERROR_INVALID_HANDLE;
        return k;
    }
    if (!h.predefined[index]) {
        auto local = h.Local();
        if (!local) {
            rc = ERROR_INVALID_HANDLE;
            return nullptr;
        }
        KeyHandle opened;
        rc = OpenPredefined(h, *local, index, {}, MAXIMUM_ALLOWED, opened);
        if (rc != ERROR_SUCCESS) return nullptr;
        h.predefined[index] = std::make_unique<KeyHandle>(std::move(opened));
    }
    return h.predefined[index].get();
}

std::optional<store::Machine> MachineOf(Host& h, const KeyHandle& k) {
    auto* w = h.World();
    if (w == nullptr) return std::nullopt;
    return h.MachineWithId(k.machineId);
}

void LoadSubkeys(Host& h, KeyHandle& k) {
    if (k.subkeysLoaded) return;
    k.subkeys = h.SubkeyNames(k.keyId);
    k.subkeysLoaded = true;
}

bool Fault(Host& h, const char* call, LSTATUS& rc) {
    DWORD code = 0;
    if (!h.Fault(call, code)) return false;
    rc = static_cast<LSTATUS>(code);
    return true;
}

}  // namespace

LSTATUS RegConnectRegistryA(LPCSTR machineName, HKEY key, PHKEY result) {
    HostCall call;
    Host& h = call.host;
    LSTATUS rc = ERROR_SUCCESS;
    if (Fault(h, "RegConnectRegistryA", rc)) return rc;
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    int index = PredefinedIndex(key);
    if (index < 0) return ERROR_INVALID_HANDLE;
    if (h.World() == nullptr) return ERROR_BAD_NETPATH;
    bool named = machineName != nullptr && !platform::host::StripBackslashes(machineName).empty();
    auto m = h.MachineNamed(machineName);
    if (!m) return ERROR_BAD_NETPATH;
    bool remote = named && !h.IsLocal(*m);
    if (remote && (!m->online || !m->remoteRegistry)) return ERROR_BAD_NETPATH;
    if (remote && index != 2 && index != 3) return ERROR_INVALID_HANDLE;
    KeyHandle opened;
    rc = OpenPredefined(h, *m, index, {}, MAXIMUM_ALLOWED, opened);
    if (rc != ERROR_SUCCESS) return rc;
    *result = h.AddKey(std::move(opened));
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM desired, PHKEY result) {
    HostCall call;
    Host& h = call.host;
    LSTATUS rc = ERROR_SUCCESS;
    if (Fault(h, "RegOpenKeyExA", rc)) return rc;
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    std::string_view sub = subKey == nullptr ? std::string_view{} : std::string_view(subKey);
    KeyHandle opened;
    int index = PredefinedIndex(key);
    if (index >= 0) {
        auto local = h.Local();
        if (!local) return h.World() == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
        rc = OpenPredefined(h, *local, index, sub, desired, opened);
    } else {
        KeyHandle* from = h.FindKey(key);
        if (from == nullptr) return ERROR_INVALID_HANDLE;
        auto m = MachineOf(h, *from);
        if (!m) return ERROR_INVALID_HANDLE;
        rc = OpenBelow(h, *m, from->rootId, from->keyId, from->upperPath, sub, desired, opened);
    }
    if (rc != ERROR_SUCCESS) return rc;
    *result = h.AddKey(std::move(opened));
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
    HostCall call;
    Host& h = call.host;
    LSTATUS rc = ERROR_SUCCESS;
    if (Fault(h, "RegCloseKey", rc)) return rc;
    if (PredefinedIndex(key) >= 0) return ERROR_SUCCESS;
    return h.CloseKey(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd, LPDWORD length) {
    HostCall call;
    Host& h = call.host;
    LSTATUS rc = ERROR_SUCCESS;
    if (Fault(h, "RegGetKeySecurity", rc)) return rc;
    KeyHandle* k = Use(h, key, rc);
    if (k == nullptr) return rc;
    if (length == nullptr) return ERROR_INVALID_PARAMETER;
    constexpr SECURITY_INFORMATION kReadControlParts =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if ((info & kReadControlParts) && !(k->granted & READ_CONTROL)) return ERROR_ACCESS_DENIED;
    if ((info & SACL_SECURITY_INFORMATION) && !(k->granted & ACCESS_SYSTEM_SECURITY)) {
        return ERROR_PRIVILEGE_NOT_HELD;
    }
    if (k->built.empty() || k->builtInfo != info) {
        platform::host::SdParts parts;
        if (!k->sd.empty()) {
            auto parsed = platform::host::ParseSelfRelative(k->sd.data(), k->sd.size());
            if (!parsed) return ERROR_INVALID_SECURITY_DESCR;
            parts = std::move(*parsed);
        }
        k->built = platform::host::Build(platform::host::Select(parts, info));
        k->builtInfo = info;
    }
    auto size = static_cast<DWORD>(k->built.size());
    if (sd == nullptr || *length < size) {
        *length = size;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(sd, k->built.data(), size);
    *length = size;
    return ERROR_SUCCESS;
}

LSTATUS RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd) {
    HostCall call;
    Host& h = call.host;
    LSTATUS rc = ERROR_SUCCESS;
    if (Fault(h, "RegSetKeySecurity", rc)) return rc;
    KeyHandle* k = Use(h, key, rc);
    if (k == nullptr) return rc;
    if (sd == nullptr) return ERROR_INVALID_PARAMETER;
    if ((info & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) && !(k->granted & WRITE_OWNER)) {
        return ERROR_ACCESS_DENIED;
    }
    if ((info & DACL_SECURITY_INFORMATION) && !(k->granted & WRITE_DAC)) return ERROR_ACCESS_DENIED;
    if ((info & SACL_SECURITY_INFORMATION) && !(k->granted & ACCESS_SYSTEM_SECURITY)) {
        return ERROR_PRIVILEGE_NOT_HELD;
    }
    auto update = platform::host::ParseAny(sd);
    if (!update) return ERROR_INVALID_SECURITY_DESCR;
    auto m = MachineOf(h, *k);
    if (!m) return ERROR_INVALID_HANDLE;
    if (info & OWNER_SECURITY_INFORMATION) {
        if (update->owner.empty()) return ERROR_INVALID_OWNER;
        auto& token = h.TokenOn(*m).access;
        if (!token.HasEnabledPrivilege(SE_RESTORE_PRIVILEGE) && !token.HoldsSid(update->owner.data())) {
            return ERROR_INVALID_OWNER;
        }
    }
    // Merge into what is stored now, inside the store's transaction, not
    // into the copy read at open: parts written meanwhile by other
    // processes survive.
    auto* w = h.WorldForWrite();
    if (w == nullptr) return ERROR_INVALID_HANDLE;
    Bytes merged;
    bool ok = w->UpdateKeySd(k->keyId, [&](Bytes& stored) {
        platform::host::SdParts base;
        if (!stored.empty()) {
            auto parsed = platform::host::ParseSelfRelative(stored.data(), stored.size());
            if (parsed) base = std::move(*parsed);
        }
        merged = platform::host::Build(platform::host::Merge(base, *update, info));
        stored = merged;
        return true;
    });
    if (!ok) return ERROR_WRITE_PROTECT;
    store::Id id = k->keyId;
    h.ForgetKey(id);
    h.ForEachHandleOf(id, [&](KeyHandle& other) {
        other.sd = merged;
        other.built.clear();
    });
    for (auto& p : h.predefined) {
        if (p && p->keyId == id) {
            p->sd = merged;
            p->built.clear();
        }
    }
    return ERROR_SUCCESS;
}

LSTATUS RegQueryInfoKeyA(HKEY key, LPSTR className, LPDWORD classLength, LPDWORD /*reserved*/,
                         LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values,
                         LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                         LPDWORD securityDescriptorLength, PFILETIME lastWriteTime) {
    HostCall call;
    Host& h = call.host;
    LSTATUS rc = ERROR_SUCCESS;
    if (Fault(h, "RegQueryInfoKeyA", rc)) return rc;
    KeyHandle* k = Use(h, key, rc);
    if (k == nullptr) return rc;
    if (!(k->granted & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (className != nullptr) {
        if (classLength == nullptr) return ERROR_INVALID_PARAMETER;
        if (*classLength < 1) return ERROR_MORE_DATA;
        className[0] = '\0';
    }
    if (classLength != nullptr) *classLength = 0;
    if (subKeys != nullptr || maxSubKeyLength != nullptr) {
        LoadSubkeys(h, *k);
        if (subKeys != nullptr) *subKeys = static_cast<DWORD>(k->subkeys.size());
        if (maxSubKeyLength != nullptr) {
            std::size_t longest = 0;
            for (const auto& s : k->subkeys) longest = std::max(longest, s.size());
            *maxSubKeyLength = static_cast<DWORD>(longest);
        }
    }
    if (maxClassLength != nullptr) *maxClassLength = 0;
    if (values != nullptr || maxValueNameLength != nullptr || maxValueLength != nullptr) {
        std::vector<store::Value> all;
        if (auto* w = h.World()) all = w->Values(k->keyId);
        std::size_t longestName = 0, longestData = 0;
        for (const auto& v : all) {
            longestName = std::max(longestName, v.name.size());
            longestData = std::max(longestData, v.data.size());
        }
        if (values != nullptr) *values = static_cast<DWORD>(all.size());
        if (maxValueNameLength != nullptr) *maxValueNameLength = static_cast<DWORD>(longestName);
        if (maxValueLength != nullptr) *maxValueLength = static_cast<DWORD>(longestData);
    }
    if (securityDescriptorLength != nullptr) *securityDescriptorLength = static_cast<DWORD>(k->sd.size());
    if (lastWriteTime != nullptr) *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD /*reserved*/,
                      LPSTR className, LPDWORD classLength, PFILETIME lastWriteTime) {
    HostCall call;
    Host& h = call.host;
    LSTATUS rc = ERROR_SUCCESS;
    if (Fault(h, "RegEnumKeyExA", rc)) return rc;
    KeyHandle* k = Use(h, key, rc);
    if (k == nullptr) return rc;
    if (name == nullptr || nameLength == nullptr) return ERROR_INVALID_PARAMETER;
    if (!(k->granted & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    LoadSubkeys(h, *k);
    if (index >= k->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const std::string& s = k->subkeys[index];
    if (*nameLength <= s.size()) return ERROR_MORE_DATA;
    if (className != nullptr && (classLength == nullptr || *classLength < 1)) return ERROR_MORE_DATA;
    std::memcpy(name, s.c_str(), s.size() + 1);
    *nameLength = static_cast<DWORD>(s.size());
    if (className != nullptr) className[0] = '\0';
    if (classLength != nullptr) *classLength = 0;
    if (lastWriteTime != nullptr) *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD /*reserved*/, LPDWORD type, LPBYTE data,
                         LPDWORD dataLength) {
    HostCall call;
    Host& h = call.host;
    LSTATUS rc = ERROR_SUCCESS;
    if (Fault(h, "RegQueryValueExA", rc)) return rc;
    KeyHandle* k = Use(h, key, rc);
    if (k == nullptr) return rc;
    if (data != nullptr && dataLength == nullptr) return ERROR_INVALID_PARAMETER;
    if (!(k->granted & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    auto* w = h.World();
    if (w == nullptr) return ERROR_FILE_NOT_FOUND;
    auto v = w->GetValue(k->keyId, valueName == nullptr ? std::string_view{} : std::string_view(valueName));
    if (!v) return ERROR_FILE_NOT_FOUND;
    auto size = static_cast<DWORD>(v->data.size());
    if (type != nullptr) *type = v->type;
    if (data == nullptr) {
        if (dataLength != nullptr) *dataLength = size;
        return ERROR_SUCCESS;
    }
    if (*dataLength < size) {
        *dataLength = size;
        return ERROR_MORE_DATA;
    }
    if (size != 0) std::memcpy(data, v->data.data(), size);
    *dataLength = size;
    return ERROR_SUCCESS;
}
