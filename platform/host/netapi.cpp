// Share records of the simulated host's network-management service.
//
// NetShareGetInfo hands out one malloc'd block: the SHARE_INFO_502 record,
// then its UTF-16 strings, then the self-relative descriptor at an 8-byte
// boundary, so NetApiBufferFree releases all of it at once.  Reading and
// writing need administrator rights on the server: the process token as
// that server sees it must hold BUILTIN\Administrators.  NetShareSetInfo
// changes what the platform lets a caller change at level 502 (remark,
// maximum uses, descriptor); name, type and path stay.
#include <cstdlib>
#include <cstring>

#include "host/host.h"
#include "host/sd_parts.h"
#include "platform/netapi.h"
#include "security/descriptor.h"

using platform::host::Bytes;
using platform::host::Host;
using platform::host::HostCall;
namespace store = platform::store;

namespace {

// The parameter number the platform reports for a bad descriptor.
constexpr DWORD kShareSdParm = 501;
constexpr DWORD kAdministratorsRid = 544;

std::size_t AlignUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

// The server and share a share call works on, or the code that says why not.
NET_API_STATUS FindShare(Host& h, LPCWSTR serverName, LPCWSTR netName, std::optional<store::Machine>& m,
                         std::optional<store::Share>& share) {
    auto* w = h.World();
    if (w == nullptr) return ERROR_BAD_NETPATH;
    std::string server = platform::host::FromUtf16(serverName);
    if (const auto* found = h.MachineNamed(server.c_str())) m = *found; else m.reset();
    if (!m || (!m->online && !h.IsLocal(*m))) return ERROR_BAD_NETPATH;
    auto& token = h.TokenOn(*m).access;
    Bytes admins = platform::host::BuiltinAliasSid(kAdministratorsRid);
    if (!token.HoldsSid(admins.data())) return ERROR_ACCESS_DENIED;
    share = w->ShareByName(m->id, platform::host::FromUtf16(netName));
    if (!share) return NERR_NetNameNotFound;
    return NERR_Success;
}

}  // namespace

NET_API_STATUS NetShareGetInfo(LPCWSTR serverName, LPCWSTR netName, DWORD level, LPBYTE* buffer) {
    HostCall call;
    Host& h = call.host;
    DWORD code = 0;
    if (h.Fault("NetShareGetInfo", code)) return code;
    if (level != 502) return ERROR_INVALID_LEVEL;
    if (netName == nullptr || buffer == nullptr) return ERROR_INVALID_PARAMETER;
    std::optional<store::Machine> m;
    std::optional<store::Share> share;
    NET_API_STATUS rc = FindShare(h, serverName, netName, m, share);
    if (rc != NERR_Success) return rc;
    if (share->sd && !platform::IsValidSelfRelative(share->sd->data(), share->sd->size())) {
        return ERROR_INVALID_SECURITY_DESCR;
    }

    std::u16string name = platform::host::ToUtf16(share->name);
    std::u16string remark = platform::host::ToUtf16(share->remark);
    std::u16string path = platform::host::ToUtf16(share->path);
    std::u16string password = platform::host::ToUtf16(share->password);
    std::size_t at = sizeof(SHARE_INFO_502);
    std::size_t nameAt = at;
    at += (name.size() + 1) * 2;
    std::size_t remarkAt = at;
    at += (remark.size() + 1) * 2;
    std::size_t pathAt = at;
    at += (path.size() + 1) * 2;
    std::size_t passwordAt = at;
    if (!password.empty()) at += (password.size() + 1) * 2;
    std::size_t sdAt = AlignUp(at, 8);
    std::size_t total = sdAt + (share->sd ? share->sd->size() : 0);

    auto* block = static_cast<BYTE*>(std::calloc(1, total));
    if (block == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    auto place = [&](std::size_t offset, const std::u16string& text) {
        std::memcpy(block + offset, text.c_str(), (text.size() + 1) * 2);
        return reinterpret_cast<LPWSTR>(block + offset);
    };
    SHARE_INFO_502 info{};
    info.shi502_netname = place(nameAt, name);
    info.shi502_type = share->type;
    info.shi502_remark = place(remarkAt, remark);
    info.shi502_permissions = share->permissions;
    info.shi502_max_uses = share->maxUses;
    info.shi502_current_uses = share->currentUses;
    info.shi502_path = place(pathAt, path);
    info.shi502_passwd = password.empty() ? nullptr : place(passwordAt, password);
    info.shi502_reserved = 0;
    if (share->sd) {
        std::memcpy(block + sdAt, share->sd->data(), share->sd->size());
        info.shi502_security_descriptor = block + sdAt;
    }
    std::memcpy(block, &info, sizeof info);
    *buffer = block;
    return NERR_Success;
}

NET_API_STATUS NetShareSetInfo(LPCWSTR serverName, LPCWSTR netName, DWORD level, LPBYTE buffer,
                               LPDWORD parmError) {
    HostCall call;
    Host& h = call.host;
    DWORD code = 0;
    if (h.Fault("NetShareSetInfo", code)) return code;
    if (level != 502) return ERROR_INVALID_LEVEL;
    if (netName == nullptr || buffer == nullptr) return ERROR_INVALID_PARAMETER;
    std::optional<store::Machine> m;
    std::optional<store::Share> share;
    NET_API_STATUS rc = FindShare(h, serverName, netName, m, share);
    if (rc != NERR_Success) return rc;

    SHARE_INFO_502 info;
    std::memcpy(&info, buffer, sizeof info);
    std::optional<Bytes> sd;
    if (info.shi502_security_descriptor != nullptr) {
        auto parts = platform::host::ParseAny(info.shi502_security_descriptor);
        if (!parts) {
            if (parmError != nullptr) *parmError = kShareSdParm;
            return ERROR_INVALID_PARAMETER;
        }
        sd = platform::host::Build(*parts);
    }
    share->remark = platform::host::FromUtf16(info.shi502_remark);
    share->maxUses = info.shi502_max_uses;
    share->sd = std::move(sd);
    if (!h.WorldForWrite()->UpdateShare(*share)) return ERROR_WRITE_PROTECT;
    return NERR_Success;
}

NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    std::free(buffer);
    return NERR_Success;
}
