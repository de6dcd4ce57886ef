// System error texts: a failed platform call reported as one short line.
//
// SystemErrorText turns a system error code into "<code>: <text>" from the
// suite's own fixed English table; it never asks the platform for message
// texts, so reports read the same on every host.  The result lives in one
// process-wide buffer: it stays valid until the next call, so callers print
// or copy it before calling again (the function is not re-entrant).
#pragma once

#include "platform/types.h"

// The value callers pass (written -1) to mean "the thread's last error".
inline constexpr DWORD LastErrorCode = 0xFFFFFFFFu;

// code: a system error code, or LastErrorCode to read GetLastError() first.
// Returns the code in unsigned decimal, ": " and the table's text ("" for 0,
// "Unknown error" for a code the table lacks).  Never fails.
const char* SystemErrorText(DWORD code);
