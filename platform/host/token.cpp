// The process token calls of the simulated host.
//
// The process has one set of enabled privileges for its whole life; it
// applies on every machine the process reaches, where the token holds
// whatever that machine grants (token_build.h).  AdjustTokenPrivileges
// judges "held" by the token on the local machine, since that is the
// token a process opens.
#include <algorithm>
#include <cstring>

#include "host/host.h"
#include "platform/token.h"

using platform::host::Host;
using platform::host::HostCall;

namespace {

// The pseudo-handle of the current process, as the platform returns it.
HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

// The i-th entry of a caller's list: the list runs past the one entry the
// structure declares, so it is reached by offset.
BYTE* EntryAt(PTOKEN_PRIVILEGES list, std::size_t i) {
    return reinterpret_cast<BYTE*>(list) + sizeof(DWORD) + i * sizeof(LUID_AND_ATTRIBUTES);
}

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

}  // namespace

HANDLE GetCurrentProcess() { return kCurrentProcess; }

BOOL OpenProcessToken(HANDLE process, DWORD /*desiredAccess*/, PHANDLE token) {
    HostCall call;
    Host& h = call.host;
    DWORD code = 0;
    if (h.Fault("OpenProcessToken", code)) return Fail(code);
    if (token == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (process != kCurrentProcess) return Fail(ERROR_INVALID_HANDLE);
    *token = h.AddTokenHandle();
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR /*systemName*/, LPCSTR name, PLUID luid) {
    HostCall call;
    Host& h = call.host;
    DWORD code = 0;
    if (h.Fault("LookupPrivilegeValueA", code)) return Fail(code);
    if (name == nullptr || luid == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    auto value = platform::host::PrivilegeValue(name);
    if (!value) return Fail(ERROR_NO_SUCH_PRIVILEGE);
    luid->LowPart = *value;
    luid->HighPart = 0;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                           PTOKEN_PRIVILEGES previousState, PDWORD returnLength) {
    HostCall call;
    Host& h = call.host;
    DWORD code = 0;
    if (h.Fault("AdjustTokenPrivileges", code)) return Fail(code);
    if (!h.IsTokenHandle(token)) return Fail(ERROR_INVALID_HANDLE);
    if (!disableAll && newState == nullptr) return Fail(ERROR_INVALID_PARAMETER);

    std::vector<DWORD> held;
    if (auto local = h.Local()) held = h.TokenOn(*local).contents.held;
    auto isHeld = [&](DWORD luid) { return std::find(held.begin(), held.end(), luid) != held.end(); };
    std::vector<DWORD> enabled = h.Enabled();
    auto isEnabled = [&](DWORD luid) { return std::find(enabled.begin(), enabled.end(), luid) != enabled.end(); };

    // What changes, computed before anything is written so that a short
    // previous-state buffer leaves the token as it was.
    std::vector<std::pair<DWORD, bool>> changes;  // luid, enable
    bool allAssigned = true;
    if (disableAll) {
        for (DWORD luid : enabled) changes.emplace_back(luid, false);
    } else {
        for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
            LUID_AND_ATTRIBUTES p;
            std::memcpy(&p, EntryAt(newState, i), sizeof p);
            if (p.Luid.HighPart != 0 || !isHeld(p.Luid.LowPart)) {
                allAssigned = false;
                continue;
            }
            bool enable = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
            if (enable != isEnabled(p.Luid.LowPart)) changes.emplace_back(p.Luid.LowPart, enable);
        }
    }

    if (previousState != nullptr) {
        DWORD needed = static_cast<DWORD>(sizeof(DWORD) + changes.size() * sizeof(LUID_AND_ATTRIBUTES));
        if (returnLength == nullptr) return Fail(ERROR_INVALID_PARAMETER);
        *returnLength = needed;
        if (bufferLength < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
        previousState->PrivilegeCount = static_cast<DWORD>(changes.size());
        for (std::size_t i = 0; i < changes.size(); ++i) {
            LUID_AND_ATTRIBUTES entry{{changes[i].first, 0}, changes[i].second ? 0u : SE_PRIVILEGE_ENABLED};
            std::memcpy(EntryAt(previousState, i), &entry, sizeof entry);
        }
    }

    for (const auto& [luid, enable] : changes) {
        if (enable) {
            enabled.push_back(luid);
        } else {
            enabled.erase(std::remove(enabled.begin(), enabled.end(), luid), enabled.end());
        }
    }
    h.SetEnabled(std::move(enabled));
    SetLastError(allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    HostCall call;
    Host& h = call.host;
    DWORD code = 0;
    if (h.Fault("CloseHandle", code)) return Fail(code);
    if (handle == kCurrentProcess) return TRUE;
    if (!h.CloseTokenHandle(handle)) return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}
