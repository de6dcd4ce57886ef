// Small helpers the simulated host's calls share: ASCII case folding, SID
// bytes, UTF-8 <-> UTF-16 text and machine-name normalisation.
//
// Everything here works on bytes the caller already holds and never touches
// the store or the thread's last error.  SID helpers assume bytes that passed
// SidBytesValid; they never read past the vector they are given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform::host {

using Bytes = std::vector<BYTE>;

std::string Upper(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);

// A machine name as callers write it: "\\\\NAME", "\\NAME" or "NAME".
std::string_view StripBackslashes(std::string_view name);

// True when bytes hold exactly one well-formed SID.
bool SidBytesValid(const Bytes& sid);
// Length of the SID at p (header read only), 0 when p is null.
std::size_t SidLength(const void* p);
// Builds S-1-<authority>-<subs...>.
Bytes MakeSid(std::uint64_t authority, std::initializer_list<DWORD> subs);
// The SID with one more sub-authority.
Bytes AppendRid(const Bytes& prefix, DWORD rid);
// Splits a SID into all but its last sub-authority and that last one;
// false when it has no sub-authority.
bool SplitRid(const Bytes& sid, Bytes& prefix, DWORD& rid);
std::uint64_t SidAuthority(const Bytes& sid);
std::vector<DWORD> SidSubAuthorities(const Bytes& sid);
std::string SidText(const Bytes& sid);
Bytes SidFromPointer(const void* p);  // copies a SID of unknown length (header-trusted)

// Text conversions: the host's ANSI code page is UTF-8.
std::u16string ToUtf16(std::string_view text);
std::string FromUtf16(const char16_t* text);  // null -> ""

// Splits "DOMAIN\\NAME" into both parts; domain is empty without a backslash.
void SplitAccountName(std::string_view text, std::string& domain, std::string& name);

}  // namespace platform::host
