// Conversion between the host's ANSI code page and UTF-16.
//
// The simulated host's ANSI code page is UTF-8.  Both calls honour the
// caller's buffer size exactly: with a size of 0 they only report the size
// needed (terminator included when the input length is -1); when the buffer
// is too small they fail with ERROR_INSUFFICIENT_BUFFER and write nothing
// past it.  Invalid input fails with ERROR_NO_UNICODE_TRANSLATION only when
// MB_ERR_INVALID_CHARS is given; otherwise it is replaced.
#pragma once

#include "platform/errors.h"
#include "platform/types.h"

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR dest,
                        int destLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR dest,
                        int destLength, LPCSTR defaultChar, LPBOOL usedDefaultChar);
