// Account: one security principal as a value, plus the rights part of one
// access entry.
//
// An Account is either a name typed on the command line (SetName: the
// domain's controller is located and the SID looked up at once) or an
// identifier read from a descriptor (SetSid: the name is looked up lazily,
// the first time DisplayName or QualifiedName needs it).  The same object
// carries Mask, AceFlags and AceType, so it doubles as one ACE.
//
// Guarantees:
//   1. Accounts compare by SID only (SameSid), never by name.
//   2. An Account owns its texts and SID; copies are deep and independent,
//      self-assignment is harmless.
//   3. At most one account look-up per Account: after the first Resolve the
//      domain is present (empty when the look-up failed) and later calls
//      return at once.  Copies of a resolved Account never look up again.
//   4. A SID that no authority can map displays as its string form
//      (S-1-5-21-...), so orphaned entries stay distinct and recognisable.
//   5. Typed domain parts and controller names are bounded by 64-unit
//      buffers; anything longer makes the look-up fail, it is never cut or
//      written past the buffer.
// Nothing here throws; failures are results, with the platform's last error.
#pragma once

#include "common/foundation/string.h"
#include "platform/types.h"

class Account {
public:
    Account();
    explicit Account(const char* typed);  // runs SetName; callers test IsValid
    Account(const Account& other);
    Account& operator=(const Account& other);
    ~Account();

    // Splits DOMAIN\name, locates DOMAIN's controller (note on stderr) and
    // looks the name up there.  False for absent text or a failed look-up.
    bool SetName(const char* typed);
    // Takes a copy of a structurally valid SID; server is where names will
    // be looked up (absent or "" = local).  No look-up happens here.
    bool SetSid(PSID sid, const char* server);
    // Looks up the missing half (SID from name or name from SID), once.
    bool Resolve();
    bool IsValid() const;
    bool SameSid(const Account& other) const;
    // Name as the listers show it; home domain and BUILTIN/NT AUTHORITY
    // are left out, withType adds the account-type suffix.
    String DisplayName(const char* homeDomain, bool withType);
    // DOMAIN\name as the changing programs show it; never a type suffix.
    String QualifiedName();

    PSID Sid() const { return sid; }          // borrowed; null when none
    const char* Name() const { return name; }  // null when none
    const char* Domain() const { return domain; }
    const char* Server() const { return server; }

    // Rights codecs: the letters and words the listers print, and the
    // single-right setters the granters and revokers use.
    String RegistryRightsText() const;
    String RegistryEntryText() const;
    String ShareRightsText() const;
    String ShareEntryText() const;
    void SetQueryValue(bool on);
    void SetSetValue(bool on);
    void SetCreateSubKey(bool on);
    void SetEnumerateSubKeys(bool on);
    void SetNotify(bool on);
    void SetCreateLink(bool on);
    void SetDelete(bool on);
    void SetReadControl(bool on);
    void SetWriteDac(bool on);
    void SetWriteOwner(bool on);
    void SetShareRead(bool on);
    void SetShareWrite(bool on);
    void SetShareExecute(bool on);
    void SetShareDelete(bool on);

    DWORD Mask = 0;     // access mask of the entry
    BYTE AceFlags = 0;  // inheritance and audit flags, as in an ACE header
    BYTE AceType = 0;   // 0 allowed, 1 denied, 2 audit; others kept as read
    DWORD SidType = 0;  // SID_NAME_USE from the last successful look-up

private:
    void Release();
    void CopyFrom(const Account& other);
    bool LocateServer(const char* domainPart, size_t domainPartLength);
    String NameOrSidText() const;
    void SetRegistryBit(DWORD bit, bool on);
    void SetShareRight(int right, bool on);

    char* domain = nullptr;  // referenced domain from the look-up, or absent
    char* name = nullptr;    // account name, typed or looked up, or absent
    char* server = nullptr;  // machine that answers look-ups; absent = local
    BYTE* sid = nullptr;     // the SID, exactly sidLength bytes, or absent
    DWORD domainLength = 0;  // characters of domain, terminator excluded
    DWORD sidLength = 0;     // bytes of sid
    DWORD nameLength = 0;    // characters of name, terminator excluded
};

// Writes a SID in its standard string form into buffer (at least 192
// bytes is always enough).  Returns false for a structurally invalid SID.
bool FormatSid(PSID sid, char* buffer, size_t size);
