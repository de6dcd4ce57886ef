// The command-line table of quormade: what the tool frame needs to start it.
//
// Kept apart from the program's entry point so that the frame's tests can
// run the real table through RunProgram without the program's work.
#pragma once

#include "common/frame/frame.h"

extern const ProgramSpec QuormadeSpec;
