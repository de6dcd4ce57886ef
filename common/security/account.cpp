// Account: identity half (names, SID, look-ups and the printed names).
//
// The look-ups follow the platform's two-call pattern: the first call with
// no buffers reports the sizes, the second fills buffers of those sizes.
// Buffers are plain heap blocks released in Release(); nothing here throws,
// an allocation failure makes the look-up fail like any other.
#include "common/security/account.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/accounts.h"
#include "platform/codepage.h"
#include "platform/netapi.h"
#include "platform/security.h"

namespace {

// The controller-location buffers hold 64 units, terminator included.
constexpr int kLocateBufferUnits = 64;

char* DuplicateText(const char* text, size_t length) {
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

char* DuplicateText(const char* text) { return DuplicateText(text, std::strlen(text)); }

// LowerCase on both sides, then an exact comparison; the runtime's default
// locale folds ASCII letters only, so folding byte by byte is the same.
bool SameTextIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(*a);
        unsigned char cb = static_cast<unsigned char>(*b);
        if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb - 'A' + 'a');
        if (ca != cb) return false;
        if (ca == '\0') return true;
    }
}

const char* TypeSuffix(DWORD sidType) {
    switch (sidType) {
    case SidTypeGroup: return " (gg)";
    case SidTypeAlias: return " (lg)";
    case SidTypeDeletedAccount: return " (deleted)";
    case SidTypeInvalid: return " (invalid)";
    case SidTypeUnknown: return " (unknown)";
    default: return "";
    }
}

}  // namespace

bool FormatSid(PSID sid, char* buffer, size_t size) {
    if (sid == nullptr || buffer == nullptr || !IsValidSid(sid)) return false;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    const BYTE count = bytes[1];
    const BYTE* authority = bytes + 2;
    int used;
    // The usual form: decimal when the authority fits 32 bits, else hex.
    if (authority[0] == 0 && authority[1] == 0) {
        unsigned long value = (static_cast<unsigned long>(authority[2]) << 24) |
                              (static_cast<unsigned long>(authority[3]) << 16) |
                              (static_cast<unsigned long>(authority[4]) << 8) | authority[5];
        used = std::snprintf(buffer, size, "S-%u-%lu", bytes[0], value);
    } else {
        used = std::snprintf(buffer, size, "S-%u-0x%02X%02X%02X%02X%02X%02X", bytes[0], authority[0],
                             authority[1], authority[2], authority[3], authority[4], authority[5]);
    }
    for (BYTE i = 0; i < count && used > 0 && static_cast<size_t>(used) < size; ++i) {
        DWORD part;
        std::memcpy(&part, bytes + 8 + 4 * i, sizeof part);
        int more = std::snprintf(buffer + used, size - static_cast<size_t>(used), "-%lu",
                                 static_cast<unsigned long>(part));
        if (more < 0) return false;
        used += more;
    }
    return used > 0 && static_cast<size_t>(used) < size;
}

Account::Account() = default;

Account::Account(const char* typed) { SetName(typed); }

Account::Account(const Account& other) { CopyFrom(other); }

Account& Account::operator=(const Account& other) {
    if (this != &other) {
        Release();
        CopyFrom(other);
    }
    return *this;
}

Account::~Account() { Release(); }

void Account::Release() {
    std::free(domain);
    std::free(name);
    std::free(server);
    std::free(sid);
    domain = name = server = nullptr;
    sid = nullptr;
    domainLength = sidLength = nameLength = 0;
}

void Account::CopyFrom(const Account& other) {
    Mask = other.Mask;
    AceFlags = other.AceFlags;
    AceType = other.AceType;
    SidType = other.SidType;
    domain = other.domain ? DuplicateText(other.domain) : nullptr;
    name = other.name ? DuplicateText(other.name) : nullptr;
    server = other.server ? DuplicateText(other.server) : nullptr;
    if (other.sid != nullptr) {
        sid = static_cast<BYTE*>(std::malloc(other.sidLength));
        if (sid != nullptr) std::memcpy(sid, other.sid, other.sidLength);
    }
    domainLength = other.domainLength;
    sidLength = sid ? other.sidLength : 0;
    nameLength = other.nameLength;
}

bool Account::SetName(const char* typed) {
    if (typed == nullptr) return false;
    Release();
    const char* slash = std::strchr(typed, '\\');
    if (slash == nullptr) {
        name = DuplicateText(typed);
    } else {
        name = DuplicateText(slash + 1);
        if (!LocateServer(typed, static_cast<size_t>(slash - typed))) {
            // A look-up was as good as tried: the account stays invalid.
            domain = DuplicateText("");
            return false;
        }
    }
    if (name == nullptr) return false;
    nameLength = static_cast<DWORD>(std::strlen(name));
    return Resolve();
}

// Steps 5 and 6 of SetName: the progress note and the controller's name.
// A domain part or controller name that does not fit the 64-unit buffers
// fails here (last error ERROR_INVALID_NAME) instead of being cut or
// written past the buffer; the note then ends after the domain part.
bool Account::LocateServer(const char* domainPart, size_t domainPartLength) {
    std::fputs("Locating a domain controller for domain: ", stderr);
    std::fwrite(domainPart, 1, domainPartLength, stderr);
    std::fflush(stderr);

    char part[kLocateBufferUnits];
    WCHAR wideDomain[kLocateBufferUnits];
    if (domainPartLength >= static_cast<size_t>(kLocateBufferUnits)) {
        std::fputs("\n", stderr);
        std::fflush(stderr);
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    std::memcpy(part, domainPart, domainPartLength);
    part[domainPartLength] = '\0';
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, part, -1, wideDomain, kLocateBufferUnits) == 0) {
        std::fputs("\n", stderr);
        std::fflush(stderr);
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }

    char serverText[kLocateBufferUnits] = "";
    LPBYTE controller = nullptr;
    if (NetGetDCName(nullptr, wideDomain, &controller) == NERR_Success && controller != nullptr) {
        int converted = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(controller), -1,
                                            serverText, kLocateBufferUnits, nullptr, nullptr);
        NetApiBufferFree(controller);
        if (converted == 0) {
            std::fputs("\n", stderr);
            std::fflush(stderr);
            SetLastError(ERROR_INVALID_NAME);
            return false;
        }
    } else {
        // No controller: the domain part is taken for a machine name.
        std::memcpy(serverText, part, domainPartLength + 1);
    }
    std::fputs(" using server: ", stderr);
    std::fputs(serverText, stderr);
    std::fputs("\n", stderr);
    std::fflush(stderr);
    if (serverText[0] != '\0') server = DuplicateText(serverText);
    return true;
}

bool Account::SetSid(PSID newSid, const char* newServer) {
    Release();
    if (newSid == nullptr || !IsValidSid(newSid)) return false;
    DWORD length = GetLengthSid(newSid);
    sid = static_cast<BYTE*>(std::malloc(length));
    if (sid == nullptr) return false;
    if (!CopySid(length, sid, newSid)) {
        std::free(sid);
        sid = nullptr;
        return false;
    }
    sidLength = length;
    if (newServer != nullptr && newServer[0] != '\0') server = DuplicateText(newServer);
    return true;
}

bool Account::Resolve() {
    if (domain != nullptr) return true;
    SID_NAME_USE use = static_cast<SID_NAME_USE>(0);

    if (name != nullptr && sid == nullptr) {
        DWORD needSid = 0, needDomain = 0;
        LookupAccountNameA(server, name, nullptr, &needSid, nullptr, &needDomain, &use);
        DWORD firstError = GetLastError();
        sid = static_cast<BYTE*>(std::malloc(needSid ? needSid : 1));
        domain = static_cast<char*>(std::malloc(needDomain + 1));
        sidLength = needSid;
        domainLength = needDomain + 1;
        BOOL found = sid != nullptr && domain != nullptr &&
                     LookupAccountNameA(server, name, sid, &sidLength, domain, &domainLength, &use);
        if (found) {
            SidType = static_cast<DWORD>(use);
            return true;
        }
        if (firstError != ERROR_INSUFFICIENT_BUFFER && firstError != ERROR_SUCCESS)
            SetLastError(firstError);  // the second call's size complaint would hide the reason
        std::free(sid);
        sid = nullptr;
        sidLength = 0;
        std::free(domain);
        domain = DuplicateText("");
        domainLength = 0;
        return false;
    }

    if (sid != nullptr && name == nullptr) {
        DWORD needName = 0, needDomain = 0;
        LookupAccountSidA(server, sid, nullptr, &needName, nullptr, &needDomain, &use);
        DWORD firstError = GetLastError();
        name = static_cast<char*>(std::malloc(needName + 1));
        domain = static_cast<char*>(std::malloc(needDomain + 1));
        nameLength = needName + 1;
        domainLength = needDomain + 1;
        BOOL found = name != nullptr && domain != nullptr &&
                     LookupAccountSidA(server, sid, name, &nameLength, domain, &domainLength, &use);
        if (found) {
            SidType = static_cast<DWORD>(use);
            return true;
        }
        if (firstError != ERROR_INSUFFICIENT_BUFFER && firstError != ERROR_SUCCESS)
            SetLastError(firstError);
        std::free(name);
        std::free(domain);
        name = DuplicateText("");
        domain = DuplicateText("");
        nameLength = domainLength = 0;
        return false;
    }
    return false;
}

bool Account::IsValid() const { return sid != nullptr && IsValidSid(sid); }

bool Account::SameSid(const Account& other) const {
    if (sid == nullptr || other.sid == nullptr) return false;
    return EqualSid(sid, other.sid) != FALSE;
}

// The name to show: the looked-up name, or for a SID that nobody could map
// its string form, so that distinct orphaned SIDs stay distinct lines.
String Account::NameOrSidText() const {
    if (name != nullptr && name[0] != '\0') return String(name);
    if (sid != nullptr) {
        char text[192];
        if (FormatSid(sid, text, sizeof text)) return String(text);
    }
    return String(name);
}

String Account::DisplayName(const char* homeDomain, bool withType) {
    Resolve();
    const char* domainText = domain ? domain : "";
    String result;
    if ((homeDomain != nullptr && SameTextIgnoringCase(homeDomain, domainText)) ||
        domainText[0] == '\0' || std::strcmp(domainText, "BUILTIN") == 0 ||
        std::strcmp(domainText, "NT AUTHORITY") == 0) {
        result = NameOrSidText();
    } else {
        result = domainText;
        result += "\\";
        result += NameOrSidText();
    }
    if (withType) result += TypeSuffix(SidType);
    return result;
}

String Account::QualifiedName() {
    Resolve();
    if (name != nullptr && std::strchr(name, '\\') != nullptr) return String(name);
    String result(domain);
    if (domain != nullptr && domain[0] != '\0') result += "\\";
    if (name != nullptr || sid != nullptr) result += NameOrSidText();
    return result;
}
