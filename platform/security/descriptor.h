// Bounded checks and conversions for descriptors that arrive as bytes from
// an untrusted place (the store is a file people can edit).
#pragma once

#include <cstddef>
#include <vector>

#include "platform/types.h"

namespace platform {

// True when `length` bytes at data hold a well-formed self-relative
// descriptor: header, every offset and every SID and list inside the buffer,
// list sizes and entry sizes consistent.
bool IsValidSelfRelative(const void* data, std::size_t length);

// True when `length` bytes at data hold one well-formed SID of exactly
// GetLengthSid bytes or fewer than length.
bool IsValidSidBytes(const void* data, std::size_t length);

// True when `length` bytes at data hold one well-formed ACL whose AclSize
// fits in length.
bool IsValidAclBytes(const void* data, std::size_t length);

// Converts any valid descriptor (absolute or self-relative) to a fresh
// self-relative copy.  False for a malformed one.
bool ToSelfRelative(const void* sd, std::vector<BYTE>& out);

}  // namespace platform
