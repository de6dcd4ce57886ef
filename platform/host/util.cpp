// Helpers shared by the simulated host's calls; see util.h.
#include "host/util.h"

#include <cstring>

namespace platform::host {

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

std::string_view StripBackslashes(std::string_view name) {
    while (!name.empty() && name.front() == '\\') name.remove_prefix(1);
    return name;
}

bool SidBytesValid(const Bytes& sid) {
    if (sid.size() < 8) return false;
    if (sid[0] != SID_REVISION || sid[1] > SID_MAX_SUB_AUTHORITIES) return false;
    return sid.size() == 8u + 4u * sid[1];
}

std::size_t SidLength(const void* p) {
    if (p == nullptr) return 0;
    const auto* b = static_cast<const BYTE*>(p);
    return 8u + 4u * b[1];
}

Bytes MakeSid(std::uint64_t authority, std::initializer_list<DWORD> subs) {
    Bytes out(8 + 4 * subs.size());
    out[0] = SID_REVISION;
    out[1] = static_cast<BYTE>(subs.size());
    for (int i = 0; i < 6; ++i) out[2 + i] = static_cast<BYTE>(authority >> (8 * (5 - i)));
    std::size_t at = 8;
    for (DWORD s : subs) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<BYTE>(s >> (8 * i));
        at += 4;
    }
    return out;
}

Bytes AppendRid(const Bytes& prefix, DWORD rid) {
    Bytes out = prefix;
    if (out.size() < 8) return out;
    out[1] = static_cast<BYTE>(out[1] + 1);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(rid >> (8 * i)));
    return out;
}

bool SplitRid(const Bytes& sid, Bytes& prefix, DWORD& rid) {
    if (!SidBytesValid(sid) || sid[1] == 0) return false;
    std::size_t last = sid.size() - 4;
    rid = static_cast<DWORD>(sid[last]) | static_cast<DWORD>(sid[last + 1]) << 8 |
          static_cast<DWORD>(sid[last + 2]) << 16 | static_cast<DWORD>(sid[last + 3]) << 24;
    prefix.assign(sid.begin(), sid.begin() + static_cast<std::ptrdiff_t>(last));
    prefix[1] = static_cast<BYTE>(prefix[1] - 1);
    return true;
}

std::uint64_t SidAuthority(const Bytes& sid) {
    std::uint64_t a = 0;
    for (int i = 0; i < 6 && 2u + i < sid.size(); ++i) a = (a << 8) | sid[2 + i];
    return a;
}

std::vector<DWORD> SidSubAuthorities(const Bytes& sid) {
    std::vector<DWORD> out;
    for (std::size_t at = 8; at + 4 <= sid.size(); at += 4) {
        out.push_back(static_cast<DWORD>(sid[at]) | static_cast<DWORD>(sid[at + 1]) << 8 |
                      static_cast<DWORD>(sid[at + 2]) << 16 | static_cast<DWORD>(sid[at + 3]) << 24);
    }
    return out;
}

std::string SidText(const Bytes& sid) {
    if (!SidBytesValid(sid)) return "S-?";
    std::string out = "S-" + std::to_string(sid[0]) + "-" + std::to_string(SidAuthority(sid));
    for (DWORD s : SidSubAuthorities(sid)) out += "-" + std::to_string(s);
    return out;
}

Bytes SidFromPointer(const void* p) {
    if (p == nullptr) return {};
    const auto* b = static_cast<const BYTE*>(p);
    if (b[1] > SID_MAX_SUB_AUTHORITIES) return {};
    return Bytes(b, b + SidLength(p));
}

std::u16string ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = 0xFFFD;
        std::size_t n = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c >> 5) == 0x6 && i + 1 < text.size()) {
            cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            n = 2;
        } else if ((c >> 4) == 0xE && i + 2 < text.size()) {
            cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            n = 3;
        } else if ((c >> 3) == 0x1E && i + 3 < text.size()) {
            cp = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 12) |
                 ((static_cast<unsigned char>(text[i + 2]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(text[i + 3]) & 0x3Fu);
            n = 4;
        }
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string FromUtf16(const char16_t* text) {
    std::string out;
    if (text == nullptr) return out;
    for (std::size_t i = 0; text[i] != 0; ++i) {
        std::uint32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

void SplitAccountName(std::string_view text, std::string& domain, std::string& name) {
    auto slash = text.find('\\');
    if (slash == std::string_view::npos) {
        domain.clear();
        name.assign(text);
    } else {
        domain.assign(text.substr(0, slash));
        name.assign(text.substr(slash + 1));
    }
}

}  // namespace platform::host
