// Fuzzes the readers of binary descriptors and access lists with bytes as
// the store might hold them after someone edited the file.
//
// Beyond "no crash, no read past the buffer", every input that validates
// must also survive the whole road the simulated host takes with it: the
// length the platform reports stays inside the buffer, absolute and
// self-relative conversion give back the canonical bytes, the access check
// answers, and the text form (when it can be written) reads back to the
// same canonical bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/security.h"
#include "security/access_check.h"
#include "security/descriptor.h"
#include "security/sddl.h"

namespace {

// Names the broken expectation before stopping, so a crash file explains itself.
void Fail(const char* what, int line) {
    std::fprintf(stderr, "fuzz check failed at line %d: %s\n", line, what);
    std::abort();
}
#define Check(condition) ((condition) ? (void)0 : Fail(#condition, __LINE__))

std::vector<BYTE> SidOf(const char* text) {
    std::vector<BYTE> sid;
    platform::StringToSid(text, sid);
    return sid;
}

void ExerciseAcl(const std::uint8_t* data, std::size_t size) {
    if (!platform::IsValidAclBytes(data, size)) return;
    std::vector<BYTE> list(data, data + size);
    PACL acl = reinterpret_cast<PACL>(list.data());
    ACL_SIZE_INFORMATION info{};
    Check(GetAclInformation(acl, &info, sizeof info, AclSizeInformation));
    Check(info.AclBytesInUse + info.AclBytesFree <= size);
    for (DWORD i = 0; i < info.AceCount; ++i) {
        void* ace = nullptr;
        Check(GetAce(acl, i, &ace));
    }
    std::vector<BYTE> sid = SidOf("S-1-5-32-544");
    BOOL added = AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, sid.data());
    Check(added || GetLastError() == ERROR_ALLOTTED_SPACE_EXCEEDED);
    if (info.AceCount > 0) Check(DeleteAce(acl, 0));
    Check(IsValidAcl(acl));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ExerciseAcl(data, size);
    if (!platform::IsValidSelfRelative(data, size)) {
        std::string text;
        Check(!platform::SecurityDescriptorToSddl(data, size, 0xF, platform::SddlContext{}, text));
        return 0;
    }
    // The platform calls take bare pointers; give them a private copy.
    std::vector<BYTE> relative(data, data + size);
    DWORD length = GetSecurityDescriptorLength(relative.data());
    Check(length >= 20 && length <= size);
    Check(platform::IsValidSelfRelative(relative.data(), length));

    std::vector<BYTE> canonical;
    Check(platform::ToSelfRelative(relative.data(), canonical));
    Check(platform::IsValidSelfRelative(canonical.data(), canonical.size()));

    DWORD sizes[5] = {0, 0, 0, 0, 0};
    Check(!MakeAbsoluteSD(relative.data(), nullptr, &sizes[0], nullptr, &sizes[1], nullptr, &sizes[2], nullptr,
                          &sizes[3], nullptr, &sizes[4]));
    Check(GetLastError() == ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> abs(sizes[0]), dacl(sizes[1]), sacl(sizes[2]), owner(sizes[3]), group(sizes[4]);
    Check(MakeAbsoluteSD(relative.data(), abs.data(), &sizes[0], reinterpret_cast<PACL>(dacl.data()), &sizes[1],
                         reinterpret_cast<PACL>(sacl.data()), &sizes[2], owner.data(), &sizes[3], group.data(),
                         &sizes[4]));
    DWORD needed = 0;
    Check(!MakeSelfRelativeSD(abs.data(), nullptr, &needed));
    std::vector<BYTE> back(needed);
    Check(MakeSelfRelativeSD(abs.data(), back.data(), &needed));
    Check(back == canonical);

    platform::AccessToken token;
    token.user = SidOf("S-1-5-21-1-2-3-1001");
    token.groups = {SidOf("S-1-1-0"), SidOf("S-1-5-32-544")};
    token.privileges = {{SE_SECURITY_PRIVILEGE, size % 2 == 0}, {SE_TAKE_OWNERSHIP_PRIVILEGE, size % 3 == 0}};
    ACCESS_MASK granted = 0;
    DWORD result = platform::CheckAccess(data, size, token, MAXIMUM_ALLOWED | (size % 5 == 0 ? ACCESS_SYSTEM_SECURITY : 0),
                                         platform::kKeyGenericMapping, &granted);
    Check(result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED || result == ERROR_PRIVILEGE_NOT_HELD);

    std::string text;
    if (platform::SecurityDescriptorToSddl(data, size, 0xF, platform::SddlContext{}, text)) {
        std::vector<BYTE> parsed;
        std::size_t offset = 0;
        Check(platform::SddlToSelfRelative(text, platform::SddlContext{}, parsed, &offset));
        std::string again;
        Check(platform::SecurityDescriptorToSddl(parsed.data(), parsed.size(), 0xF, platform::SddlContext{}, again));
        Check(again == text);
    }
    return 0;
}
