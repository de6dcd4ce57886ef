// Network resource enumeration of the simulated host: the disk shares of
// one server.
//
// The share list is taken when the enumeration opens.  Each call of
// WNetEnumResourceA fills the caller's buffer from its start with as many
// NETRESOURCEA entries as fit (and as the count asks for), and their
// strings after the last entry; nothing is written past bufferSize.
#include <cstring>

#include "host/host.h"
#include "platform/wnet.h"

using platform::host::Host;
using platform::host::HostCall;

namespace {

constexpr const char* kProvider = "Microsoft Windows Network";

bool Hidden(const std::string& name) { return !name.empty() && name.back() == '$'; }

struct EntryTexts {
    std::string remote;   // \\server\share
    std::string comment;  // the remark
};

EntryTexts TextsOf(const platform::host::ShareEnum& e, const platform::store::Share& s) {
    return {"\\\\" + e.server + "\\" + s.name, s.remark};
}

std::size_t TextBytes(const EntryTexts& t) {
    return t.remote.size() + 1 + t.comment.size() + 1 + std::strlen(kProvider) + 1;
}

}  // namespace

DWORD WNetOpenEnumA(DWORD scope, DWORD type, DWORD /*usage*/, LPNETRESOURCEA resource, LPHANDLE handle) {
    HostCall call;
    Host& h = call.host;
    DWORD code = 0;
    if (h.Fault("WNetOpenEnumA", code)) return code;
    if (handle == nullptr || resource == nullptr || resource->lpRemoteName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (scope != RESOURCE_GLOBALNET || (type != RESOURCETYPE_DISK && type != RESOURCETYPE_ANY)) {
        return ERROR_NOT_SUPPORTED;
    }
    std::string_view remote(resource->lpRemoteName);
    if (remote.size() < 3 || remote.substr(0, 2) != "\\\\") return ERROR_BAD_NETPATH;
    std::string_view server = remote.substr(2);
    if (server.empty() || server.find('\\') != std::string_view::npos) return ERROR_BAD_NETPATH;
    auto* w = h.World();
    if (w == nullptr) return ERROR_BAD_NETPATH;
    std::string serverText(server);
    auto m = h.MachineNamed(serverText.c_str());
    if (!m || (!m->online && !h.IsLocal(*m))) return ERROR_BAD_NETPATH;
    platform::host::ShareEnum e;
    e.server = serverText;
    for (auto& s : w->SharesOf(m->id)) {
        if ((s.type & ~STYPE_SPECIAL) == STYPE_DISKTREE && !Hidden(s.name)) e.shares.push_back(std::move(s));
    }
    *handle = h.AddEnum(std::move(e));
    return ERROR_SUCCESS;
}

DWORD WNetEnumResourceA(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD bufferSize) {
    HostCall call;
    Host& h = call.host;
    DWORD code = 0;
    if (h.Fault("WNetEnumResourceA", code)) return code;
    auto* e = h.FindEnum(handle);
    if (e == nullptr) return ERROR_INVALID_HANDLE;
    if (count == nullptr || bufferSize == nullptr || (buffer == nullptr && *bufferSize != 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (e->next >= e->shares.size()) return ERROR_NO_MORE_ITEMS;

    // How many entries fit: entries first, then every entry's strings.
    DWORD wanted = *count == 0 ? MAXDWORD : *count;
    std::size_t entries = 0, textBytes = 0;
    while (e->next + entries < e->shares.size() && entries < wanted) {
        std::size_t t = TextBytes(TextsOf(*e, e->shares[e->next + entries]));
        if ((entries + 1) * sizeof(NETRESOURCEA) + textBytes + t > *bufferSize) break;
        textBytes += t;
        ++entries;
    }
    if (entries == 0) {
        *bufferSize = static_cast<DWORD>(sizeof(NETRESOURCEA) + TextBytes(TextsOf(*e, e->shares[e->next])));
        return ERROR_MORE_DATA;
    }

    auto* base = static_cast<BYTE*>(buffer);
    char* text = reinterpret_cast<char*>(base + entries * sizeof(NETRESOURCEA));
    auto put = [&](const std::string& s) {
        std::memcpy(text, s.c_str(), s.size() + 1);
        char* at = text;
        text += s.size() + 1;
        return at;
    };
    for (std::size_t i = 0; i < entries; ++i) {
        EntryTexts t = TextsOf(*e, e->shares[e->next + i]);
        NETRESOURCEA r{};
        r.dwScope = RESOURCE_GLOBALNET;
        r.dwType = RESOURCETYPE_DISK;
        r.dwDisplayType = RESOURCEDISPLAYTYPE_SHARE;
        r.dwUsage = RESOURCEUSAGE_CONNECTABLE;
        r.lpLocalName = nullptr;
        r.lpRemoteName = put(t.remote);
        r.lpComment = put(t.comment);
        r.lpProvider = put(kProvider);
        std::memcpy(base + i * sizeof(NETRESOURCEA), &r, sizeof r);
    }
    e->next += entries;
    *count = static_cast<DWORD>(entries);
    return ERROR_SUCCESS;
}

DWORD WNetCloseEnum(HANDLE handle) {
    HostCall call;
    Host& h = call.host;
    DWORD code = 0;
    if (h.Fault("WNetCloseEnum", code)) return code;
    return h.CloseEnum(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
