// Fuzzes the string-form parser.  Any text it accepts must give bytes that
// validate, print, and read back to exactly the same bytes; any text it
// refuses must name an offset inside the text and leave the output alone.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/security.h"
#include "security/descriptor.h"
#include "security/sddl.h"

namespace {

// Names the broken expectation before stopping, so a crash file explains itself.
void Fail(const char* what, int line) {
    std::fprintf(stderr, "fuzz check failed at line %d: %s\n", line, what);
    std::abort();
}
#define Check(condition) ((condition) ? (void)0 : Fail(#condition, __LINE__))

const platform::SddlContext& Context() {
    static std::vector<BYTE> machine, domain;
    static platform::SddlContext context;
    if (machine.empty()) {
        platform::StringToSid("S-1-5-21-7-8-9", machine);
        platform::StringToSid("S-1-5-21-1-2-3", domain);
        context.machineSid = reinterpret_cast<const SID*>(machine.data());
        context.domainSid = reinterpret_cast<const SID*>(domain.data());
    }
    return context;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // Half the inputs without the caller's SIDs, so both alias paths run.
    const platform::SddlContext none{};
    const platform::SddlContext& context = (size % 2 == 0) ? Context() : none;
    std::vector<BYTE> bytes{0x42};
    std::size_t offset = SIZE_MAX;
    if (!platform::SddlToSelfRelative(text, context, bytes, &offset)) {
        Check(offset <= size);
        Check(bytes.size() == 1 && bytes[0] == 0x42);
        return 0;
    }
    Check(platform::IsValidSelfRelative(bytes.data(), bytes.size()));
    Check(GetSecurityDescriptorLength(bytes.data()) == bytes.size());
    std::string printed;
    Check(platform::SecurityDescriptorToSddl(bytes.data(), bytes.size(), 0xF, context, printed));
    std::vector<BYTE> again;
    Check(platform::SddlToSelfRelative(printed, context, again, &offset));
    Check(again == bytes);
    std::string printedAgain;
    Check(platform::SecurityDescriptorToSddl(again.data(), again.size(), 0xF, context, printedAgain));
    Check(printedAgain == printed);
    return 0;
}
