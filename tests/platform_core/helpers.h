// Small builders shared by the security-format tests: SIDs and descriptors
// from their text form, and hand-made entries, so each test states its
// inputs in the notation of the format documentation.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/security.h"
#include "security/sddl.h"

namespace testutil {

inline std::vector<BYTE> Sid(const std::string& text) {
    std::vector<BYTE> sid;
    EXPECT_TRUE(platform::StringToSid(text, sid)) << text;
    return sid;
}

// A self-relative descriptor from text; the domain SID S-1-5-21-1-2-3 and
// the machine SID S-1-5-21-7-8-9 back the relative aliases.
inline const platform::SddlContext& Context() {
    static const std::vector<BYTE> domain = Sid("S-1-5-21-1-2-3");
    static const std::vector<BYTE> machine = Sid("S-1-5-21-7-8-9");
    static const platform::SddlContext context{reinterpret_cast<const SID*>(machine.data()),
                                               reinterpret_cast<const SID*>(domain.data())};
    return context;
}

inline std::vector<BYTE> Sd(const std::string& text) {
    std::vector<BYTE> sd;
    std::size_t offset = 0;
    EXPECT_TRUE(platform::SddlToSelfRelative(text, Context(), sd, &offset)) << text << " at " << offset;
    return sd;
}

inline std::string Text(const std::vector<BYTE>& sd, SECURITY_INFORMATION info = 0xF) {
    std::string text;
    EXPECT_TRUE(platform::SecurityDescriptorToSddl(sd.data(), sd.size(), info, Context(), text));
    return text;
}

// One entry of a SID-bearing kind: header, mask, SID.
inline std::vector<BYTE> Ace(BYTE type, BYTE flags, DWORD mask, const std::vector<BYTE>& sid) {
    std::vector<BYTE> ace(8 + sid.size());
    ace[0] = type;
    ace[1] = flags;
    ace[2] = static_cast<BYTE>(ace.size());
    ace[3] = static_cast<BYTE>(ace.size() >> 8);
    std::memcpy(ace.data() + 4, &mask, 4);
    std::memcpy(ace.data() + 8, sid.data(), sid.size());
    return ace;
}

inline WORD Word(const std::vector<BYTE>& bytes, std::size_t at) {
    return static_cast<WORD>(bytes[at] | (bytes[at + 1] << 8));
}
inline DWORD Dword(const std::vector<BYTE>& bytes, std::size_t at) {
    return static_cast<DWORD>(bytes[at]) | (static_cast<DWORD>(bytes[at + 1]) << 8) |
           (static_cast<DWORD>(bytes[at + 2]) << 16) | (static_cast<DWORD>(bytes[at + 3]) << 24);
}
inline void PutWord(std::vector<BYTE>& bytes, std::size_t at, WORD v) {
    bytes[at] = static_cast<BYTE>(v);
    bytes[at + 1] = static_cast<BYTE>(v >> 8);
}
inline void PutDword(std::vector<BYTE>& bytes, std::size_t at, DWORD v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<BYTE>(v >> (8 * i));
}

}  // namespace testutil
