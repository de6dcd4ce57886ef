// Basic types, binary layouts and constants of the platform seam.
//
// The programs call the operating-system services by their own names and
// shapes; this header gives those shapes on a 64-bit Linux build.  Layouts
// follow the public format documentation: a SID is a revision byte, a
// sub-authority count, a 6-byte big-endian identifier authority and the
// sub-authorities as little-endian 32-bit words; an ACL is an 8-byte header
// followed by entries; each entry starts with a 4-byte ACE_HEADER.
//
// Two things differ from the 32-bit layouts that older documentation shows
// and are easy to get wrong:
//   1. Pointers are 8 bytes, so the absolute SECURITY_DESCRIPTOR is 40 bytes
//      while the self-relative header stays 20.  Use
//      SECURITY_DESCRIPTOR_MIN_LENGTH (the absolute size), never a literal.
//   2. Wide characters are 16-bit char16_t, not wchar_t.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------- scalars
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = int;
using UCHAR = unsigned char;
using CHAR = char;
using WCHAR = char16_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using PDWORD = DWORD*;
using LPBOOL = BOOL*;
using LPVOID = void*;
using LPCVOID = const void*;
using PVOID = void*;
using HANDLE = void*;
using PHANDLE = HANDLE*;
using LPHANDLE = HANDLE*;
using LSTATUS = LONG;
using NET_API_STATUS = DWORD;
using REGSAM = DWORD;
using ACCESS_MASK = DWORD;
using SECURITY_INFORMATION = DWORD;
using SECURITY_DESCRIPTOR_CONTROL = WORD;
using UINT = unsigned int;
using DWORD_PTR = std::uintptr_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

inline constexpr DWORD MAXDWORD = 0xFFFFFFFFu;

// ---------------------------------------------------------------- SIDs
struct SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];  // big-endian 48-bit authority
};

// Variable length: SubAuthorityCount words follow.  Read sub-authorities
// through GetSidSubAuthority or byte offsets, never by indexing past [0].
struct SID {
    BYTE Revision;                               // always SID_REVISION
    BYTE SubAuthorityCount;                      // 0..SID_MAX_SUB_AUTHORITIES
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    DWORD SubAuthority[1];                       // first of SubAuthorityCount
};
using PSID = void*;

inline constexpr BYTE SID_REVISION = 1;
inline constexpr BYTE SID_MAX_SUB_AUTHORITIES = 15;
inline constexpr DWORD SECURITY_MAX_SID_SIZE = 8 + 4 * 15;  // 68 bytes

enum SID_NAME_USE : int {
    SidTypeUser = 1,
    SidTypeGroup = 2,
    SidTypeDomain = 3,
    SidTypeAlias = 4,
    SidTypeWellKnownGroup = 5,
    SidTypeDeletedAccount = 6,
    SidTypeInvalid = 7,
    SidTypeUnknown = 8,
    SidTypeComputer = 9,
};
using PSID_NAME_USE = SID_NAME_USE*;

// ---------------------------------------------------------------- ACLs
struct ACL {
    BYTE AclRevision;  // ACL_REVISION (2) or ACL_REVISION_DS (4)
    BYTE Sbz1;         // padding, zero
    WORD AclSize;      // bytes allocated for the list, header included
    WORD AceCount;     // number of entries
    WORD Sbz2;         // padding, zero
};
using PACL = ACL*;

inline constexpr DWORD ACL_REVISION = 2;
inline constexpr DWORD ACL_REVISION_DS = 4;

struct ACE_HEADER {
    BYTE AceType;   // ACCESS_ALLOWED_ACE_TYPE, ...
    BYTE AceFlags;  // inheritance and audit flags
    WORD AceSize;   // bytes of the whole entry, SID included
};
using PACE_HEADER = ACE_HEADER*;

struct ACCESS_ALLOWED_ACE {
    ACE_HEADER Header;  // AceType 0
    ACCESS_MASK Mask;   // rights granted
    DWORD SidStart;     // first 4 bytes of the SID
};
struct ACCESS_DENIED_ACE {
    ACE_HEADER Header;  // AceType 1
    ACCESS_MASK Mask;   // rights denied
    DWORD SidStart;     // first 4 bytes of the SID
};
struct SYSTEM_AUDIT_ACE {
    ACE_HEADER Header;  // AceType 2
    ACCESS_MASK Mask;   // rights audited
    DWORD SidStart;     // first 4 bytes of the SID
};

inline constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0;
inline constexpr BYTE ACCESS_DENIED_ACE_TYPE = 1;
inline constexpr BYTE SYSTEM_AUDIT_ACE_TYPE = 2;
inline constexpr BYTE SYSTEM_ALARM_ACE_TYPE = 3;

inline constexpr BYTE OBJECT_INHERIT_ACE = 0x01;
inline constexpr BYTE CONTAINER_INHERIT_ACE = 0x02;
inline constexpr BYTE NO_PROPAGATE_INHERIT_ACE = 0x04;
inline constexpr BYTE INHERIT_ONLY_ACE = 0x08;
inline constexpr BYTE INHERITED_ACE = 0x10;
inline constexpr BYTE SUCCESSFUL_ACCESS_ACE_FLAG = 0x40;
inline constexpr BYTE FAILED_ACCESS_ACE_FLAG = 0x80;

enum ACL_INFORMATION_CLASS : int {
    AclRevisionInformation = 1,
    AclSizeInformation = 2,
};
struct ACL_SIZE_INFORMATION {
    DWORD AceCount;       // entries in the list
    DWORD AclBytesInUse;  // header plus entries
    DWORD AclBytesFree;   // AclSize - AclBytesInUse
};
static_assert(sizeof(ACL_SIZE_INFORMATION) == 12);
struct ACL_REVISION_INFORMATION {
    DWORD AclRevision;  // revision of the list
};

// ---------------------------------------------------------------- descriptors
using PSECURITY_DESCRIPTOR = void*;

// Absolute form: the parts live elsewhere and are pointed to.
struct SECURITY_DESCRIPTOR {
    BYTE Revision;                        // SECURITY_DESCRIPTOR_REVISION
    BYTE Sbz1;                            // zero
    SECURITY_DESCRIPTOR_CONTROL Control;  // SE_* bits; no SE_SELF_RELATIVE
    PSID Owner;                           // owner SID or null
    PSID Group;                           // primary group SID or null
    PACL Sacl;                            // valid when SE_SACL_PRESENT
    PACL Dacl;                            // valid when SE_DACL_PRESENT
};

// Self-relative form: the parts follow in the same buffer, found by offset
// from its start (0 = absent).
struct SECURITY_DESCRIPTOR_RELATIVE {
    BYTE Revision;                        // SECURITY_DESCRIPTOR_REVISION
    BYTE Sbz1;                            // zero
    SECURITY_DESCRIPTOR_CONTROL Control;  // SE_* bits with SE_SELF_RELATIVE
    DWORD Owner;                          // offset of the owner SID
    DWORD Group;                          // offset of the group SID
    DWORD Sacl;                           // offset of the SACL
    DWORD Dacl;                           // offset of the DACL
};
static_assert(sizeof(SECURITY_DESCRIPTOR_RELATIVE) == 20);

inline constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
// The size of the absolute form on this build (40 bytes on 64-bit).
inline constexpr DWORD SECURITY_DESCRIPTOR_MIN_LENGTH = sizeof(SECURITY_DESCRIPTOR);

inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_OWNER_DEFAULTED = 0x0001;
inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_GROUP_DEFAULTED = 0x0002;
inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_PRESENT = 0x0004;
inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_DEFAULTED = 0x0008;
inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_PRESENT = 0x0010;
inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_DEFAULTED = 0x0020;
inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_AUTO_INHERIT_REQ = 0x0100;
inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_AUTO_INHERIT_REQ = 0x0200;
inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_AUTO_INHERITED = 0x0400;
inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_AUTO_INHERITED = 0x0800;
inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_PROTECTED = 0x1000;
inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_PROTECTED = 0x2000;
inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_SELF_RELATIVE = 0x8000;

inline constexpr SECURITY_INFORMATION OWNER_SECURITY_INFORMATION = 0x00000001;
inline constexpr SECURITY_INFORMATION GROUP_SECURITY_INFORMATION = 0x00000002;
inline constexpr SECURITY_INFORMATION DACL_SECURITY_INFORMATION = 0x00000004;
inline constexpr SECURITY_INFORMATION SACL_SECURITY_INFORMATION = 0x00000008;

// ---------------------------------------------------------------- access masks
inline constexpr ACCESS_MASK DELETE = 0x00010000;
inline constexpr ACCESS_MASK READ_CONTROL = 0x00020000;
inline constexpr ACCESS_MASK WRITE_DAC = 0x00040000;
inline constexpr ACCESS_MASK WRITE_OWNER = 0x00080000;
inline constexpr ACCESS_MASK SYNCHRONIZE = 0x00100000;
inline constexpr ACCESS_MASK STANDARD_RIGHTS_REQUIRED = 0x000F0000;
inline constexpr ACCESS_MASK STANDARD_RIGHTS_READ = READ_CONTROL;
inline constexpr ACCESS_MASK STANDARD_RIGHTS_WRITE = READ_CONTROL;
inline constexpr ACCESS_MASK STANDARD_RIGHTS_EXECUTE = READ_CONTROL;
inline constexpr ACCESS_MASK STANDARD_RIGHTS_ALL = 0x001F0000;
inline constexpr ACCESS_MASK ACCESS_SYSTEM_SECURITY = 0x01000000;
inline constexpr ACCESS_MASK MAXIMUM_ALLOWED = 0x02000000;
inline constexpr ACCESS_MASK GENERIC_ALL = 0x10000000;
inline constexpr ACCESS_MASK GENERIC_EXECUTE = 0x20000000;
inline constexpr ACCESS_MASK GENERIC_WRITE = 0x40000000;
inline constexpr ACCESS_MASK GENERIC_READ = 0x80000000;

inline constexpr ACCESS_MASK KEY_QUERY_VALUE = 0x0001;
inline constexpr ACCESS_MASK KEY_SET_VALUE = 0x0002;
inline constexpr ACCESS_MASK KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr ACCESS_MASK KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr ACCESS_MASK KEY_NOTIFY = 0x0010;
inline constexpr ACCESS_MASK KEY_CREATE_LINK = 0x0020;
inline constexpr ACCESS_MASK KEY_READ = 0x00020019;
inline constexpr ACCESS_MASK KEY_WRITE = 0x00020006;
inline constexpr ACCESS_MASK KEY_EXECUTE = 0x00020019;
inline constexpr ACCESS_MASK KEY_ALL_ACCESS = 0x000F003F;

inline constexpr ACCESS_MASK FILE_GENERIC_READ = 0x00120089;
inline constexpr ACCESS_MASK FILE_GENERIC_WRITE = 0x00120116;
inline constexpr ACCESS_MASK FILE_GENERIC_EXECUTE = 0x001200A0;
inline constexpr ACCESS_MASK FILE_ALL_ACCESS = 0x001F01FF;

struct GENERIC_MAPPING {
    ACCESS_MASK GenericRead;     // what GENERIC_READ stands for
    ACCESS_MASK GenericWrite;    // what GENERIC_WRITE stands for
    ACCESS_MASK GenericExecute;  // what GENERIC_EXECUTE stands for
    ACCESS_MASK GenericAll;      // what GENERIC_ALL stands for
};

// ---------------------------------------------------------------- tokens
struct LUID {
    DWORD LowPart;  // privilege value
    LONG HighPart;  // zero for every privilege here
};
using PLUID = LUID*;

#pragma pack(push, 4)
struct LUID_AND_ATTRIBUTES {
    LUID Luid;         // which privilege
    DWORD Attributes;  // SE_PRIVILEGE_* bits
};
struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;                 // entries that follow
    LUID_AND_ATTRIBUTES Privileges[1];    // first of PrivilegeCount
};
#pragma pack(pop)
static_assert(sizeof(TOKEN_PRIVILEGES) == 16);
using PTOKEN_PRIVILEGES = TOKEN_PRIVILEGES*;

inline constexpr DWORD SE_PRIVILEGE_ENABLED_BY_DEFAULT = 0x00000001;
inline constexpr DWORD SE_PRIVILEGE_ENABLED = 0x00000002;
inline constexpr DWORD SE_PRIVILEGE_REMOVED = 0x00000004;

inline constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
inline constexpr DWORD TOKEN_QUERY = 0x0008;

// Privilege values (LUID.LowPart) as the platform numbers them.
inline constexpr DWORD SE_TCB_PRIVILEGE = 7;
inline constexpr DWORD SE_SECURITY_PRIVILEGE = 8;
inline constexpr DWORD SE_TAKE_OWNERSHIP_PRIVILEGE = 9;
inline constexpr DWORD SE_BACKUP_PRIVILEGE = 17;
inline constexpr DWORD SE_RESTORE_PRIVILEGE = 18;
inline constexpr DWORD SE_CHANGE_NOTIFY_PRIVILEGE = 23;

// ---------------------------------------------------------------- registry
struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});
inline HKEY const HKEY_USERS = reinterpret_cast<HKEY>(std::uintptr_t{0x80000003});

struct FILETIME {
    DWORD dwLowDateTime;   // low 32 bits of 100-ns ticks since 1601
    DWORD dwHighDateTime;  // high 32 bits
};
using PFILETIME = FILETIME*;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;

// ---------------------------------------------------------------- code pages
inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;
inline constexpr DWORD MB_PRECOMPOSED = 0x00000001;
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;

// ---------------------------------------------------------------- shares
struct SHARE_INFO_502 {
    LPWSTR shi502_netname;                            // share name
    DWORD shi502_type;                                // STYPE_*
    LPWSTR shi502_remark;                             // comment
    DWORD shi502_permissions;                         // share-level permissions (unused)
    DWORD shi502_max_uses;                            // MAXDWORD = unlimited
    DWORD shi502_current_uses;                        // connections now
    LPWSTR shi502_path;                               // local path on the server
    LPWSTR shi502_passwd;                             // share-level password or null
    DWORD shi502_reserved;                            // zero
    PSECURITY_DESCRIPTOR shi502_security_descriptor;  // self-relative, or null
};
using PSHARE_INFO_502 = SHARE_INFO_502*;

inline constexpr DWORD STYPE_DISKTREE = 0;
inline constexpr DWORD STYPE_PRINTQ = 1;
inline constexpr DWORD STYPE_DEVICE = 2;
inline constexpr DWORD STYPE_IPC = 3;
inline constexpr DWORD STYPE_SPECIAL = 0x80000000;

// ---------------------------------------------------------------- network enumeration
struct NETRESOURCEA {
    DWORD dwScope;        // RESOURCE_*
    DWORD dwType;         // RESOURCETYPE_*
    DWORD dwDisplayType;  // RESOURCEDISPLAYTYPE_*
    DWORD dwUsage;        // RESOURCEUSAGE_*
    LPSTR lpLocalName;    // local device, or null
    LPSTR lpRemoteName;   // \\server or \\server\share
    LPSTR lpComment;      // remark, or null
    LPSTR lpProvider;     // network provider name
};
using LPNETRESOURCEA = NETRESOURCEA*;

inline constexpr DWORD RESOURCE_CONNECTED = 1;
inline constexpr DWORD RESOURCE_GLOBALNET = 2;
inline constexpr DWORD RESOURCE_REMEMBERED = 3;
inline constexpr DWORD RESOURCETYPE_ANY = 0;
inline constexpr DWORD RESOURCETYPE_DISK = 1;
inline constexpr DWORD RESOURCETYPE_PRINT = 2;
inline constexpr DWORD RESOURCEDISPLAYTYPE_GENERIC = 0;
inline constexpr DWORD RESOURCEDISPLAYTYPE_DOMAIN = 1;
inline constexpr DWORD RESOURCEDISPLAYTYPE_SERVER = 2;
inline constexpr DWORD RESOURCEDISPLAYTYPE_SHARE = 3;
inline constexpr DWORD RESOURCEUSAGE_CONNECTABLE = 1;
inline constexpr DWORD RESOURCEUSAGE_CONTAINER = 2;
