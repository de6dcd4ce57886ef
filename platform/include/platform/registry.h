// Registry calls of the simulated host.
//
// Every call returns its result code (ERROR_SUCCESS on success) and does not
// touch the thread's last-error value.  Key names compare without regard to
// case and keep their case; subkeys enumerate in ascending order of their
// upper-cased names.  Every open runs the access check against the key's
// descriptor with the caller's token.  Handles are closed with RegCloseKey;
// closing a predefined root handle is harmless.
#pragma once

#include "platform/errors.h"
#include "platform/types.h"

LSTATUS RegConnectRegistryA(LPCSTR machineName, HKEY key, PHKEY result);
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LSTATUS RegCloseKey(HKEY key);
LSTATUS RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd, LPDWORD length);
LSTATUS RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd);
LSTATUS RegQueryInfoKeyA(HKEY key, LPSTR className, LPDWORD classLength, LPDWORD reserved,
                         LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                         LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                         LPDWORD securityDescriptorLength, PFILETIME lastWriteTime);
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                      LPSTR className, LPDWORD classLength, PFILETIME lastWriteTime);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataLength);
