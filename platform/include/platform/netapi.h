// Share records of the network-management service.
//
// NetShareGetInfo at level 502 allocates one block holding the record, its
// UTF-16 strings and its self-relative descriptor; the caller releases it
// with NetApiBufferFree.  Results: NERR_Success, NERR_NetNameNotFound for a
// missing share, ERROR_ACCESS_DENIED for a caller who is not an
// administrator of the server, ERROR_BAD_NETPATH for an unknown or offline
// server, ERROR_INVALID_LEVEL for any level but 502.  NetShareSetInfo writes
// the record's fields and descriptor (absolute or self-relative) in one
// transaction.  A null server name is the local machine; a name may carry
// leading backslashes.
#pragma once

#include "platform/errors.h"
#include "platform/types.h"

inline constexpr DWORD ERROR_INVALID_LEVEL = 124;

NET_API_STATUS NetShareGetInfo(LPCWSTR serverName, LPCWSTR netName, DWORD level, LPBYTE* buffer);
NET_API_STATUS NetShareSetInfo(LPCWSTR serverName, LPCWSTR netName, DWORD level, LPBYTE buffer,
                               LPDWORD parmError);
NET_API_STATUS NetApiBufferFree(LPVOID buffer);
