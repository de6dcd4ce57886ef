// The work of quortane, run by the tool frame after a successful option scan.
#pragma once

#include "common/frame/frame.h"

// Returns the exit status: 1 when the work ran to its end, 0 on an early
// failure of its own.
int QuortaneWork(const ScanResult& scan);
