// The walk over a registry key tree that every registry program drives
// with its own per-key step.
//
// Order: the key itself first, then each direct subkey in the registry's
// enumeration order, each subkey's whole subtree before the next sibling
// (depth first, pre-order).  The result counts the key steps that ran.
// A key the step cannot open, or whose subkeys cannot be listed, is not
// descended into; the walk itself prints nothing.  One subkey list is held
// per level of depth, and no registry handle but the connection's root is
// open while a step runs.
#pragma once

#include "common/foundation/string.h"
#include "common/registry/registry_key_security.h"

// The program's work for one key: prints that key's lines and returns
// whether the key could be opened.  context is the caller's, passed through.
using KeyStep = bool (*)(RegistryConnection& connection, const String& path, void* context);

// Runs step on path and, when recurse is set, on every key below it.
// Returns the number of keys visited (at least 1).
std::int32_t WalkSubkeys(RegistryConnection& connection, const String& path, bool recurse,
                         KeyStep step, void* context);
