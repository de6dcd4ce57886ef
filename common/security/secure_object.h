// SecureObject: the security of one registry key or share, held in memory
// while a program reads or edits it.
//
// Loaders (RegistryKeySecurity, ShareSecurity) put self-relative
// descriptors into the slots and call MakeAbsolute; from then on the
// entries of the DACL and SACL can be counted, read as Accounts, deleted,
// appended and reordered, and the owner read and replaced.  Nothing here
// talks to a registry or a server.
//
// Invariants:
//   1. Every buffer belongs to its slot and is released by Clear or
//      destruction.
//   2. After MakeAbsolute a slot's descriptor points only into the same
//      slot's dacl, sacl, owner and group buffers (or to nothing).  A part
//      is replaced by telling the descriptor first and releasing the old
//      buffer after.
//   3. DACL operations work on DaclSlot.dacl, SACL operations on
//      SaclSlot.sacl, owner operations on OwnerSlot's descriptor.  A slot
//      without a descriptor is not loaded and its lists are not there.
//   4. No entry is ever dropped that the code cannot interpret: entries of
//      unknown kinds survive reordering, and a list whose size cannot be
//      read is never rebuilt.
// No virtual operations: derived classes call Clear and the destructor
// from their own release steps.  Nothing throws.
#pragma once

#include "common/foundation/string.h"
#include "common/security/account.h"
#include "platform/types.h"

struct DescriptorSlot {
    BYTE* descriptor = nullptr;  // self-relative as loaded, absolute after MakeAbsolute
    DWORD LastError = 0;         // code of the last failure to load or convert, 0 = none
    BYTE* dacl = nullptr;        // DACL the absolute descriptor points to
    BYTE* sacl = nullptr;        // SACL the absolute descriptor points to
    BYTE* owner = nullptr;       // owner SID the absolute descriptor points to
    BYTE* group = nullptr;       // primary-group SID the absolute descriptor points to
};

enum class ListKind { Dacl, Sacl };  // which access list an operation means

class SecureObject {
public:
    SecureObject();
    SecureObject(const SecureObject&) = delete;
    SecureObject& operator=(const SecureObject&) = delete;
    ~SecureObject();

    // Releases every buffer, zeroes each LastError, empties both texts.
    void Clear();
    // Converts each loaded slot to absolute form; a descriptor that is
    // already absolute is kept.  False when any conversion failed (that
    // slot is then unloaded with the code in its LastError).
    bool MakeAbsolute();

    // Entry counts: 0 for an absent list or an unreadable count.
    DWORD EntryCount(PACL list) const;
    DWORD DaclEntryCount() const;
    DWORD SaclEntryCount() const;
    // Entry i as an Account (a full copy); empty when there is none.
    Account GetEntry(PACL list, DWORD index) const;
    Account GetDaclEntry(DWORD index) const;
    Account GetSaclEntry(DWORD index) const;
    bool DeleteEntry(PACL list, DWORD index);
    bool DeleteDaclEntry(DWORD index);
    bool ClearDacl();
    // Appends an entry built from the Account's rights part and SID to the
    // end of the list, creating or growing the list as needed.
    bool AddEntry(ListKind kind, const Account& entry);
    bool AddDaclEntry(const Account& entry);
    // Replaces the list by a copy with room for about five more entries.
    void GrowList(ListKind kind);
    // Denied entries first, then the rest, each group in its former order;
    // allowed/denied/audit entries with an empty mask are dropped.
    void CanonicalizeDacl();

    Account GetOwner() const;
    bool SetOwner(const Account& owner);

    PACL Dacl() const { return reinterpret_cast<PACL>(DaclSlot.dacl); }  // borrowed
    PACL Sacl() const { return reinterpret_cast<PACL>(SaclSlot.sacl); }  // borrowed

    String ObjectName;         // the object as its loader opened it (key path)
    DescriptorSlot OwnerSlot;  // descriptor read for the owner
    DescriptorSlot SaclSlot;   // descriptor read for the SACL
    DescriptorSlot DaclSlot;   // descriptor read for the DACL, or a share's whole one
    String ServerName;         // where entry and owner SIDs are looked up; "" = local

protected:
    static void ClearSlot(DescriptorSlot& slot);
    const char* LookupServer() const;

private:
    bool MakeSlotAbsolute(DescriptorSlot& slot);
    DescriptorSlot& SlotOf(ListKind kind);
    bool AppendRawEntry(ListKind kind, const void* ace);
};
