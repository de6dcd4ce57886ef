// The process token: the logged-on account's user and group SIDs on the
// machine being accessed, and its privileges.  Privileges start disabled;
// AdjustTokenPrivileges enables them for the life of the process.  It
// succeeds even when the account does not hold a privilege, and then sets
// the last error to ERROR_NOT_ALL_ASSIGNED (otherwise to ERROR_SUCCESS).
#pragma once

#include "platform/errors.h"
#include "platform/types.h"

HANDLE GetCurrentProcess();
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token);
BOOL LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid);
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                           DWORD bufferLength, PTOKEN_PRIVILEGES previousState, PDWORD returnLength);
BOOL CloseHandle(HANDLE handle);
