// Error codes and the thread's last-error value.
//
// Every platform call that fails reports why in one of two ways, exactly as
// the platform does: registry and network-management calls return the code;
// the rest return FALSE (or 0) and leave the code in the calling thread's
// last-error value.  Callers read it with GetLastError before making another
// call, since a later call may replace it.
#pragma once

#include "platform/types.h"

inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_INVALID_FUNCTION = 1;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_DATA = 13;
inline constexpr DWORD ERROR_OUTOFMEMORY = 14;
inline constexpr DWORD ERROR_INVALID_DRIVE = 15;
inline constexpr DWORD ERROR_WRITE_PROTECT = 19;
inline constexpr DWORD ERROR_BAD_UNIT = 20;
inline constexpr DWORD ERROR_NOT_READY = 21;
inline constexpr DWORD ERROR_CRC = 23;
inline constexpr DWORD ERROR_SECTOR_NOT_FOUND = 27;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_LOCK_VIOLATION = 33;
inline constexpr DWORD ERROR_HANDLE_EOF = 38;
inline constexpr DWORD ERROR_HANDLE_DISK_FULL = 39;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;
inline constexpr DWORD ERROR_BAD_NETPATH = 53;
inline constexpr DWORD ERROR_NETWORK_ACCESS_DENIED = 65;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_BROKEN_PIPE = 109;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_BAD_PATHNAME = 161;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
inline constexpr DWORD ERROR_END_OF_MEDIA = 1100;
inline constexpr DWORD ERROR_FILEMARK_DETECTED = 1101;
inline constexpr DWORD ERROR_BEGINNING_OF_MEDIA = 1102;
inline constexpr DWORD ERROR_SETMARK_DETECTED = 1103;
inline constexpr DWORD ERROR_NO_DATA_DETECTED = 1104;
inline constexpr DWORD ERROR_PARTITION_FAILURE = 1105;
inline constexpr DWORD ERROR_INVALID_BLOCK_LENGTH = 1106;
inline constexpr DWORD ERROR_DEVICE_NOT_PARTITIONED = 1107;
inline constexpr DWORD ERROR_UNABLE_TO_LOCK_MEDIA = 1108;
inline constexpr DWORD ERROR_UNABLE_TO_UNLOAD_MEDIA = 1109;
inline constexpr DWORD ERROR_MEDIA_CHANGED = 1110;
inline constexpr DWORD ERROR_BUS_RESET = 1111;
inline constexpr DWORD ERROR_NO_MEDIA_IN_DRIVE = 1112;
inline constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
inline constexpr DWORD ERROR_BAD_DEVICE = 1200;
inline constexpr DWORD ERROR_NO_NETWORK = 1222;
inline constexpr DWORD ERROR_NOT_ALL_ASSIGNED = 1300;
inline constexpr DWORD ERROR_INVALID_OWNER = 1307;
inline constexpr DWORD ERROR_INVALID_PRIMARY_GROUP = 1308;
inline constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
inline constexpr DWORD ERROR_PRIVILEGE_NOT_HELD = 1314;
inline constexpr DWORD ERROR_INVALID_ACCOUNT_NAME = 1315;
inline constexpr DWORD ERROR_NO_SUCH_USER = 1317;
inline constexpr DWORD ERROR_NO_SUCH_DOMAIN = 1355;
inline constexpr DWORD ERROR_INVALID_ACL = 1336;
inline constexpr DWORD ERROR_INVALID_SID = 1337;
inline constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;
inline constexpr DWORD ERROR_NONE_MAPPED = 1332;
inline constexpr DWORD ERROR_ALLOTTED_SPACE_EXCEEDED = 1344;
inline constexpr DWORD ERROR_BAD_DESCRIPTOR_FORMAT = 1361;
inline constexpr DWORD ERROR_INVALID_USER_BUFFER = 1784;
inline constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;
inline constexpr DWORD ERROR_NO_TOKEN = 1008;
inline constexpr DWORD ERROR_REVISION_MISMATCH = 1306;
inline constexpr DWORD ERROR_UNKNOWN_REVISION = 1305;
inline constexpr DWORD ERROR_NOT_FOUND = 1168;

// Network-management result codes.
inline constexpr DWORD NERR_Success = 0;
inline constexpr DWORD NERR_BASE = 2100;
inline constexpr DWORD NERR_InvalidComputer = 2351;
inline constexpr DWORD NERR_NetNameNotFound = 2310;
inline constexpr DWORD NERR_DCNotFound = 2453;
inline constexpr DWORD NERR_BufTooSmall = 2123;

// The calling thread's last-error value.
DWORD GetLastError();
void SetLastError(DWORD code);
