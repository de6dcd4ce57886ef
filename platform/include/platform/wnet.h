// Network resource enumeration: the disk shares of one server.
//
// WNetOpenEnumA with RESOURCE_GLOBALNET and a NETRESOURCEA whose remote name
// is \\server opens an enumeration of that server's disk shares, hidden ones
// (name ending in $) left out.  WNetEnumResourceA fills the caller's buffer
// with as many NETRESOURCEA entries as fit (their strings after them in the
// same buffer), sets the count, and returns ERROR_NO_MORE_ITEMS at the end
// or ERROR_MORE_DATA (with the size needed) when not even one fits.
#pragma once

#include "platform/errors.h"
#include "platform/types.h"

DWORD WNetOpenEnumA(DWORD scope, DWORD type, DWORD usage, LPNETRESOURCEA resource, LPHANDLE handle);
DWORD WNetEnumResourceA(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD bufferSize);
DWORD WNetCloseEnum(HANDLE handle);
