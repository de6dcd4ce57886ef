// The thread's last-error value.  Each thread has its own, as on the
// platform; the programs are single-threaded but the host's tests are not.
#include "platform/errors.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code) { lastError = code; }
