// Account look-ups and domain-controller location of the simulated host.
//
// The two look-ups keep the platform's two-call size protocol: when any
// buffer is too small (or absent), the call fails with
// ERROR_INSUFFICIENT_BUFFER and reports every size needed (SID in bytes,
// texts in characters with the terminator); on success the text lengths
// come back without the terminator.  Nothing is written to the caller's
// buffers unless the call succeeds.
#include <cstdlib>
#include <cstring>

#include "host/host.h"
#include "platform/accounts.h"
#include "platform/netapi.h"

using platform::host::Bytes;
using platform::host::Host;
using platform::host::HostCall;

namespace {

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

// The machine a look-up runs on, or the error that names why there is none.
const platform::store::Machine* LookupMachine(Host& h, LPCSTR systemName, DWORD& error) {
    if (h.World() == nullptr) {
        error = ERROR_NONE_MAPPED;
        return nullptr;
    }
    auto m = h.MachineNamed(systemName);
    if (!m || !m->online) {
        // The local machine answers even when the world marks it offline:
        // a process always reaches its own machine.
        if (m && h.IsLocal(*m)) return m;
        error = RPC_S_SERVER_UNAVAILABLE;
        return nullptr;
    }
    return m;
}

}  // namespace

BOOL LookupAccountNameA(LPCSTR systemName, LPCSTR accountName, PSID sid, LPDWORD sidLength,
                        LPSTR referencedDomain, LPDWORD domainLength, PSID_NAME_USE use) {
    HostCall call;
    Host& h = call.host;
    DWORD code = 0;
    if (h.Fault("LookupAccountNameA", code)) return Fail(code);
    if (accountName == nullptr || sidLength == nullptr || domainLength == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    auto m = LookupMachine(h, systemName, code);
    if (!m) return Fail(code);
    auto r = h.LookupName(*m, accountName);
    if (!r) return Fail(ERROR_NONE_MAPPED);
    auto sidNeeded = static_cast<DWORD>(r->sid.size());
    auto domainNeeded = static_cast<DWORD>(r->domain.size() + 1);
    if (sid == nullptr || *sidLength < sidNeeded || referencedDomain == nullptr || *domainLength < domainNeeded) {
        *sidLength = sidNeeded;
        *domainLength = domainNeeded;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(sid, r->sid.data(), sidNeeded);
    std::memcpy(referencedDomain, r->domain.c_str(), domainNeeded);
    *sidLength = sidNeeded;
    *domainLength = domainNeeded - 1;
    if (use != nullptr) *use = r->use;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL LookupAccountSidA(LPCSTR systemName, PSID sid, LPSTR name, LPDWORD nameLength, LPSTR referencedDomain,
                       LPDWORD domainLength, PSID_NAME_USE use) {
    HostCall call;
    Host& h = call.host;
    DWORD code = 0;
    if (h.Fault("LookupAccountSidA", code)) return Fail(code);
    if (sid == nullptr || nameLength == nullptr || domainLength == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    Bytes bytes = platform::host::SidFromPointer(sid);
    if (!platform::host::SidBytesValid(bytes)) return Fail(ERROR_INVALID_SID);
    auto m = LookupMachine(h, systemName, code);
    if (!m) return Fail(code);
    auto r = h.LookupSid(*m, bytes);
    if (!r) return Fail(ERROR_NONE_MAPPED);
    auto nameNeeded = static_cast<DWORD>(r->name.size() + 1);
    auto domainNeeded = static_cast<DWORD>(r->domain.size() + 1);
    if (name == nullptr || *nameLength < nameNeeded || referencedDomain == nullptr ||
        *domainLength < domainNeeded) {
        *nameLength = nameNeeded;
        *domainLength = domainNeeded;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(name, r->name.c_str(), nameNeeded);
    std::memcpy(referencedDomain, r->domain.c_str(), domainNeeded);
    *nameLength = nameNeeded - 1;
    *domainLength = domainNeeded - 1;
    if (use != nullptr) *use = r->use;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

NET_API_STATUS NetGetDCName(LPCWSTR serverName, LPCWSTR domainName, LPBYTE* buffer) {
    HostCall call;
    Host& h = call.host;
    DWORD code = 0;
    if (h.Fault("NetGetDCName", code)) return code;
    if (buffer == nullptr) return ERROR_INVALID_PARAMETER;
    auto* w = h.World();
    if (w == nullptr) return NERR_DCNotFound;
    std::string server = platform::host::FromUtf16(serverName);
    auto asked = h.MachineNamed(server.c_str());
    if (!asked || (!asked->online && !h.IsLocal(*asked))) return ERROR_BAD_NETPATH;
    std::optional<platform::store::Domain> domain;
    std::string wanted = platform::host::FromUtf16(domainName);
    if (wanted.empty()) {
        // No domain named: the primary domain of the machine asked.
        if (asked->domainId != 0) domain = w->DomainById(asked->domainId);
    } else {
        domain = w->DomainByName(wanted);
    }
    if (!domain || domain->dc.empty()) return NERR_DCNotFound;
    auto dc = w->MachineByName(domain->dc);
    if (!dc || !dc->online) return NERR_DCNotFound;
    std::u16string text = u"\\\\" + platform::host::ToUtf16(dc->name);
    std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
    void* block = std::malloc(bytes);
    if (block == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    std::memcpy(block, text.c_str(), bytes);
    *buffer = static_cast<LPBYTE>(block);
    return NERR_Success;
}
