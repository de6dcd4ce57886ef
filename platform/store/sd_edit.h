// Descriptor surgery the store needs for itself: the descriptor a new key
// inherits from its parent, and adding one entry to a descriptor's list.
//
// Works on self-relative bytes only and checks every offset and size, since
// stored bytes are untrusted; output is written only on success.
#pragma once

#include <vector>

#include "platform/types.h"

namespace platform::store {

// The descriptor of a key created below a key whose descriptor is
// `parent`, as the platform builds it: owner and group copied, each list made
// of the parent's container-inheritable entries marked inherited
// (CREATOR OWNER / CREATOR GROUP entries become entries for the owner or
// group, plus an inherit-only copy that passes them on; generic rights are
// mapped with the key mapping in the effective copy), object-inherit-only
// entries kept as inherit-only, no-propagate entries passed down one level.
bool InheritedKeyDescriptor(const std::vector<BYTE>& parent, std::vector<BYTE>& child);

// Adds the entries of `source`'s DACL (or SACL when `sacl`) at the end of
// `target`'s list of the same kind, creating the list when absent.
bool AppendEntries(std::vector<BYTE>& target, const std::vector<BYTE>& source, bool sacl);

}  // namespace platform::store
