// Account look-up and domain controller location.
//
// LookupAccountNameA and LookupAccountSidA follow the two-call pattern: with
// buffers too small (or absent with size 0) they fail with
// ERROR_INSUFFICIENT_BUFFER and report the sizes needed (SID in bytes, names
// in characters plus one for the terminator); with room they fill the
// buffers and the account type.  An unknown name or SID fails with
// ERROR_NONE_MAPPED; a named system that is offline with
// RPC_S_SERVER_UNAVAILABLE.  A system name may carry leading backslashes.
#pragma once

#include "platform/errors.h"
#include "platform/types.h"

BOOL LookupAccountNameA(LPCSTR systemName, LPCSTR accountName, PSID sid, LPDWORD sidLength,
                        LPSTR referencedDomain, LPDWORD domainLength, PSID_NAME_USE use);
BOOL LookupAccountSidA(LPCSTR systemName, PSID sid, LPSTR name, LPDWORD nameLength,
                       LPSTR referencedDomain, LPDWORD domainLength, PSID_NAME_USE use);

// Returns "\\\\" and the controller's name in a buffer released with
// NetApiBufferFree, or NERR_DCNotFound.
NET_API_STATUS NetGetDCName(LPCWSTR serverName, LPCWSTR domainName, LPBYTE* buffer);
