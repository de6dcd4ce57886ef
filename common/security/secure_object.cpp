// SecureObject: descriptor slots, access-list entries and the owner.
//
// All binary work goes through the platform's pure calls (GetAce, AddAce,
// MakeAbsoluteSD, ...); this file decides only which buffers exist, who owns
// them and in which order entries travel.  Buffers are plain heap blocks so
// that an allocation failure is a false result, never an exception.
#include "common/security/secure_object.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

#include "platform/security.h"

namespace {

// Kinds whose entries refuse access; they belong before every granting
// entry.  1 plain, 6 object, 10 callback, 12 callback object.
bool IsDenyKind(BYTE kind) { return kind == 1 || kind == 6 || kind == 10 || kind == 12; }

bool IsPlainKind(BYTE kind) {
    return kind == ACCESS_ALLOWED_ACE_TYPE || kind == ACCESS_DENIED_ACE_TYPE ||
           kind == SYSTEM_AUDIT_ACE_TYPE;
}

DWORD AceSizeOf(const void* ace) { return static_cast<const ACE_HEADER*>(ace)->AceSize; }

// An ACL can never be larger than its 16-bit size field allows.
constexpr DWORD kLargestList = 0xFFFC;

}  // namespace

SecureObject::SecureObject() = default;

SecureObject::~SecureObject() { Clear(); }

void SecureObject::ClearSlot(DescriptorSlot& slot) {
    std::free(slot.descriptor);
    std::free(slot.dacl);
    std::free(slot.sacl);
    std::free(slot.owner);
    std::free(slot.group);
    slot = DescriptorSlot{};
}

void SecureObject::Clear() {
    ClearSlot(OwnerSlot);
    ClearSlot(SaclSlot);
    ClearSlot(DaclSlot);
    ObjectName = "";
    ServerName = "";
}

const char* SecureObject::LookupServer() const {
    const char* text = ServerName.Text();
    return (text != nullptr && text[0] != '\0') ? text : nullptr;
}

DescriptorSlot& SecureObject::SlotOf(ListKind kind) {
    return kind == ListKind::Dacl ? DaclSlot : SaclSlot;
}

bool SecureObject::MakeAbsolute() {
    bool allConverted = true;
    for (DescriptorSlot* slot : {&OwnerSlot, &SaclSlot, &DaclSlot})
        if (slot->descriptor != nullptr && !MakeSlotAbsolute(*slot)) allConverted = false;
    return allConverted;
}

bool SecureObject::MakeSlotAbsolute(DescriptorSlot& slot) {
    DWORD absoluteSize = 0, daclSize = 0, saclSize = 0, ownerSize = 0, groupSize = 0;
    if (!MakeAbsoluteSD(slot.descriptor, nullptr, &absoluteSize, nullptr, &daclSize, nullptr,
                        &saclSize, nullptr, &ownerSize, nullptr, &groupSize) &&
        GetLastError() == ERROR_BAD_DESCRIPTOR_FORMAT)
        return true;  // already absolute: nothing to convert, keep it

    BYTE* absolute = static_cast<BYTE*>(std::malloc(absoluteSize ? absoluteSize : 1));
    BYTE* dacl = daclSize ? static_cast<BYTE*>(std::malloc(daclSize)) : nullptr;
    BYTE* sacl = saclSize ? static_cast<BYTE*>(std::malloc(saclSize)) : nullptr;
    BYTE* owner = ownerSize ? static_cast<BYTE*>(std::malloc(ownerSize)) : nullptr;
    BYTE* group = groupSize ? static_cast<BYTE*>(std::malloc(groupSize)) : nullptr;
    const bool allocated = absolute != nullptr && (daclSize == 0 || dacl != nullptr) &&
                           (saclSize == 0 || sacl != nullptr) &&
                           (ownerSize == 0 || owner != nullptr) &&
                           (groupSize == 0 || group != nullptr);
    if (!allocated) SetLastError(ERROR_NOT_ENOUGH_MEMORY);

    if (allocated && MakeAbsoluteSD(slot.descriptor, absolute, &absoluteSize,
                                    reinterpret_cast<PACL>(dacl), &daclSize,
                                    reinterpret_cast<PACL>(sacl), &saclSize, owner, &ownerSize,
                                    group, &groupSize)) {
        ClearSlot(slot);
        slot.descriptor = absolute;
        slot.dacl = dacl;
        slot.sacl = sacl;
        slot.owner = owner;
        slot.group = group;
        return true;
    }

    const DWORD code = GetLastError();
    std::free(absolute);
    std::free(dacl);
    std::free(sacl);
    std::free(owner);
    std::free(group);
    if (allocated && code == ERROR_BAD_DESCRIPTOR_FORMAT) return true;
    ClearSlot(slot);
    slot.LastError = code;
    SetLastError(code);
    return false;
}

DWORD SecureObject::EntryCount(PACL list) const {
    if (list == nullptr) return 0;
    ACL_SIZE_INFORMATION info{};
    if (!GetAclInformation(list, &info, sizeof info, AclSizeInformation)) return 0;
    return info.AceCount;
}

DWORD SecureObject::DaclEntryCount() const { return EntryCount(Dacl()); }
DWORD SecureObject::SaclEntryCount() const { return EntryCount(Sacl()); }

Account SecureObject::GetEntry(PACL list, DWORD index) const {
    Account entry;
    void* ace = nullptr;
    if (list == nullptr || !GetAce(list, index, &ace) || ace == nullptr) return entry;
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
    entry.AceType = header->AceType;
    entry.AceFlags = header->AceFlags;
    if (!IsPlainKind(header->AceType)) return entry;

    const BYTE* bytes = static_cast<const BYTE*>(ace);
    std::memcpy(&entry.Mask, bytes + 4, sizeof entry.Mask);
    // The SID must lie inside the entry: list bytes come from a store and
    // are not trusted to be consistent.
    const DWORD aceSize = header->AceSize;
    if (aceSize >= 16 && 16u + 4u * bytes[9] <= aceSize)
        entry.SetSid(const_cast<BYTE*>(bytes + 8), LookupServer());
    return entry;
}

Account SecureObject::GetDaclEntry(DWORD index) const { return GetEntry(Dacl(), index); }
Account SecureObject::GetSaclEntry(DWORD index) const { return GetEntry(Sacl(), index); }

bool SecureObject::DeleteEntry(PACL list, DWORD index) {
    if (list == nullptr) return false;
    return DeleteAce(list, index) != FALSE;
}

bool SecureObject::DeleteDaclEntry(DWORD index) { return DeleteEntry(Dacl(), index); }

bool SecureObject::ClearDacl() {
    PACL list = Dacl();
    if (list == nullptr) return false;
    while (DeleteAce(list, 0)) {
    }
    return true;
}

bool SecureObject::AddEntry(ListKind kind, const Account& entry) {
    DescriptorSlot& slot = SlotOf(kind);
    if (slot.descriptor == nullptr) return false;
    if (!entry.IsValid()) {
        SetLastError(ERROR_INVALID_SID);
        return false;
    }
    const DWORD sidLength = GetLengthSid(entry.Sid());
    BYTE*& list = kind == ListKind::Dacl ? slot.dacl : slot.sacl;

    if (list == nullptr) {
        // Room for exactly this entry: lists grow only when they must.
        const DWORD size = sidLength + 16;
        BYTE* fresh = static_cast<BYTE*>(std::malloc(size));
        if (fresh == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        PACL freshList = reinterpret_cast<PACL>(fresh);
        BOOL attached = InitializeAcl(freshList, size, ACL_REVISION) &&
                        (kind == ListKind::Dacl
                             ? SetSecurityDescriptorDacl(slot.descriptor, TRUE, freshList, FALSE)
                             : SetSecurityDescriptorSacl(slot.descriptor, TRUE, freshList, FALSE));
        if (!attached) {
            std::free(fresh);
            return false;
        }
        list = fresh;
    }

    // Header, mask, SID: the standard entry layout.
    BYTE ace[8 + SECURITY_MAX_SID_SIZE];
    const DWORD aceSize = sidLength + 8;
    if (aceSize > sizeof ace) {
        SetLastError(ERROR_INVALID_SID);
        return false;
    }
    ACE_HEADER header{entry.AceType, entry.AceFlags, static_cast<WORD>(aceSize)};
    std::memcpy(ace, &header, sizeof header);
    std::memcpy(ace + 4, &entry.Mask, sizeof entry.Mask);
    if (!CopySid(sidLength, ace + 8, entry.Sid())) return false;

    if (AddAce(reinterpret_cast<PACL>(list), ACL_REVISION, MAXDWORD, ace, aceSize)) return true;
    const DWORD code = GetLastError();
    if (code != ERROR_ALLOTTED_SPACE_EXCEEDED && code != ERROR_INSUFFICIENT_BUFFER) return false;
    GrowList(kind);
    return AddAce(reinterpret_cast<PACL>(list), ACL_REVISION, MAXDWORD, ace, aceSize) != FALSE;
}

bool SecureObject::AddDaclEntry(const Account& entry) { return AddEntry(ListKind::Dacl, entry); }

// Entries are copied byte for byte into the larger list, in the list's own
// revision.  If anything cannot be read or copied the old list stays in
// place untouched: growing must never cost an entry.
void SecureObject::GrowList(ListKind kind) {
    DescriptorSlot& slot = SlotOf(kind);
    BYTE*& list = kind == ListKind::Dacl ? slot.dacl : slot.sacl;
    if (list == nullptr) return;
    PACL old = reinterpret_cast<PACL>(list);
    ACL_SIZE_INFORMATION info{};
    if (!GetAclInformation(old, &info, sizeof info, AclSizeInformation)) return;

    DWORD size = info.AceCount > 0
                     ? info.AclBytesInUse + 8 + 5 * (info.AclBytesInUse / info.AceCount)
                     : info.AclBytesInUse + 108;
    if (size > kLargestList) size = kLargestList;
    const DWORD revision = old->AclRevision;

    BYTE* fresh = static_cast<BYTE*>(std::malloc(size));
    if (fresh == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    PACL freshList = reinterpret_cast<PACL>(fresh);
    bool copied = InitializeAcl(freshList, size, revision) != FALSE;
    for (DWORD i = 0; copied && i < info.AceCount; ++i) {
        void* ace = nullptr;
        copied = GetAce(old, i, &ace) && AddAce(freshList, revision, MAXDWORD, ace, AceSizeOf(ace));
    }
    if (copied)
        copied = (kind == ListKind::Dacl
                      ? SetSecurityDescriptorDacl(slot.descriptor, TRUE, freshList, FALSE)
                      : SetSecurityDescriptorSacl(slot.descriptor, TRUE, freshList, FALSE)) != FALSE;
    if (!copied) {
        const DWORD code = GetLastError();
        std::free(fresh);
        SetLastError(code);
        return;
    }
    std::free(list);
    list = fresh;
}

bool SecureObject::AppendRawEntry(ListKind kind, const void* ace) {
    DescriptorSlot& slot = SlotOf(kind);
    BYTE*& list = kind == ListKind::Dacl ? slot.dacl : slot.sacl;
    const DWORD revision = reinterpret_cast<PACL>(list)->AclRevision;
    void* entry = const_cast<void*>(ace);
    if (AddAce(reinterpret_cast<PACL>(list), revision, MAXDWORD, entry, AceSizeOf(ace))) return true;
    const DWORD code = GetLastError();
    if (code != ERROR_ALLOTTED_SPACE_EXCEEDED && code != ERROR_INSUFFICIENT_BUFFER) return false;
    GrowList(kind);
    return AddAce(reinterpret_cast<PACL>(list), revision, MAXDWORD, entry, AceSizeOf(ace)) != FALSE;
}

// Entries that travel as Accounts (allowed, denied, audit with a sound
// SID) follow the canonical rule and lose an empty mask.  Everything else
// is carried over byte for byte: deny kinds with the denied entries, the
// rest after the granting ones.  The rebuilt list never needs more room
// than the old one, but should an append fail the old list is restored.
void SecureObject::CanonicalizeDacl() {
    PACL list = Dacl();
    if (list == nullptr) return;
    const DWORD count = DaclEntryCount();
    if (count == 0) return;

    const DWORD listSize = list->AclSize;
    BYTE* snapshot = static_cast<BYTE*>(std::malloc(listSize));
    Account* saved = new (std::nothrow) Account[count];
    if (snapshot == nullptr || saved == nullptr) {
        std::free(snapshot);
        delete[] saved;
        return;
    }
    std::memcpy(snapshot, list, listSize);
    PACL before = reinterpret_cast<PACL>(snapshot);
    for (DWORD i = 0; i < count; ++i) saved[i] = GetDaclEntry(i);

    ClearDacl();
    bool complete = true;
    // Pass 0: denying entries; pass 1: granting and audit entries that
    // travel as Accounts; pass 2: the remaining raw entries.
    for (int pass = 0; pass < 3 && complete; ++pass) {
        for (DWORD i = 0; i < count && complete; ++i) {
            void* ace = nullptr;
            if (!GetAce(before, i, &ace)) continue;
            const BYTE kind = static_cast<const ACE_HEADER*>(ace)->AceType;
            const bool asAccount = IsPlainKind(kind) && saved[i].IsValid();
            if (asAccount) {
                const bool denied = kind == ACCESS_DENIED_ACE_TYPE;
                if (saved[i].Mask == 0 || (pass == 0) != denied || pass == 2) continue;
                complete = AddDaclEntry(saved[i]);
            } else {
                const bool wanted = IsDenyKind(kind) ? pass == 0 : pass == 2;
                if (wanted) complete = AppendRawEntry(ListKind::Dacl, ace);
            }
        }
    }
    if (!complete) {
        const DWORD code = GetLastError();
        PACL now = Dacl();
        if (now->AclSize >= listSize) std::memcpy(now, snapshot, listSize);
        SetLastError(code);
    }
    std::free(snapshot);
    delete[] saved;
}

Account SecureObject::GetOwner() const {
    Account owner;
    if (OwnerSlot.descriptor == nullptr) return owner;
    PSID sid = nullptr;
    BOOL defaulted = FALSE;
    if (GetSecurityDescriptorOwner(OwnerSlot.descriptor, &sid, &defaulted) && sid != nullptr)
        owner.SetSid(sid, LookupServer());
    return owner;
}

// The new owner SID becomes the slot's owner buffer, so the descriptor
// keeps pointing into its own slot.  A slot without a descriptor gets a
// fresh absolute one, sized by the platform's constant for this build.
bool SecureObject::SetOwner(const Account& owner) {
    if (!owner.IsValid()) return false;
    const DWORD length = GetLengthSid(owner.Sid());
    BYTE* copy = static_cast<BYTE*>(std::malloc(length));
    if (copy == nullptr || !CopySid(length, copy, owner.Sid())) {
        std::free(copy);
        return false;
    }
    if (OwnerSlot.descriptor == nullptr) {
        BYTE* descriptor = static_cast<BYTE*>(std::malloc(SECURITY_DESCRIPTOR_MIN_LENGTH));
        if (descriptor == nullptr ||
            !InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION)) {
            std::free(descriptor);
            std::free(copy);
            return false;
        }
        OwnerSlot.descriptor = descriptor;
    }
    if (!SetSecurityDescriptorOwner(OwnerSlot.descriptor, copy, FALSE)) {
        std::free(copy);
        return false;
    }
    std::free(OwnerSlot.owner);
    OwnerSlot.owner = copy;
    return true;
}
