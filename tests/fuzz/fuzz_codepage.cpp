// Fuzzes the code-page conversions with arbitrary bytes and buffer sizes:
// the result never exceeds the buffer, the bytes after it stay untouched,
// and the size query agrees with the conversion.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/codepage.h"

namespace {

// Names the broken expectation before stopping, so a crash file explains itself.
void Fail(const char* what, int line) {
    std::fprintf(stderr, "fuzz check failed at line %d: %s\n", line, what);
    std::abort();
}
#define Check(condition) ((condition) ? (void)0 : Fail(#condition, __LINE__))

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    int room = data[0] % 64;
    DWORD flags = (data[1] & 1) ? MB_ERR_INVALID_CHARS : 0;
    const char* text = reinterpret_cast<const char*>(data + 2);
    int length = static_cast<int>(size - 2);
    if (length == 0) return 0;

    int need = MultiByteToWideChar(CP_ACP, flags, text, length, nullptr, 0);
    std::vector<char16_t> wide(static_cast<std::size_t>(room) + 4, 0xBEEF);
    int got = MultiByteToWideChar(CP_ACP, flags, text, length, wide.data(), room);
    // A room of 0 is the size query.
    Check(got == 0 || got == need);
    Check(room == 0 ? got == need : got <= room);
    for (std::size_t i = static_cast<std::size_t>(room); i < wide.size(); ++i) Check(wide[i] == 0xBEEF);

    // Back the other way, reading the same bytes as UTF-16 units.
    std::vector<char16_t> units(static_cast<std::size_t>(length) / 2);
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 + 2 * i] | (data[3 + 2 * i] << 8));
    if (units.empty()) return 0;
    int needNarrow = WideCharToMultiByte(CP_ACP, 0, units.data(), static_cast<int>(units.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::vector<char> narrow(static_cast<std::size_t>(room) + 4, 'Z');
    BOOL used = FALSE;
    int gotNarrow = WideCharToMultiByte(CP_ACP, 0, units.data(), static_cast<int>(units.size()), narrow.data(), room,
                                        "?", &used);
    Check(room == 0 || gotNarrow <= room);
    Check(gotNarrow == 0 || used || gotNarrow == needNarrow);
    for (std::size_t i = static_cast<std::size_t>(room); i < narrow.size(); ++i) Check(narrow[i] == 'Z');
    return 0;
}
