// Conversion between the simulated host's ANSI code page (UTF-8) and UTF-16,
// through the C library's iconv.
//
// Each call converts the whole input into a private buffer first and only
// then copies it out, so the caller's buffer is written only when the whole
// result fits: a too-small buffer fails with ERROR_INSUFFICIENT_BUFFER and
// holds nothing new.  Malformed input (bad UTF-8 sequences, lone surrogates)
// is replaced by U+FFFD, or fails with ERROR_NO_UNICODE_TRANSLATION when the
// caller asks for strictness with MB_ERR_INVALID_CHARS.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/codepage.h"

namespace {

// One conversion descriptor for the duration of a call.
class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts input; on a malformed or truncated sequence of skipUnit bytes
    // appends replacement (or fails when strict).  False on strict failure
    // or an iconv error other than a bad sequence.
    bool Run(const char* input, std::size_t size, std::size_t skipUnit, const std::string& replacement, bool strict,
             std::string& out, bool* replaced) {
        char buffer[256];
        char* in = const_cast<char*>(input);
        std::size_t left = size;
        while (left > 0) {
            char* dst = buffer;
            std::size_t room = sizeof buffer;
            std::size_t rc = iconv(handle_, &in, &left, &dst, &room);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (rc != static_cast<std::size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            if (errno != EILSEQ && errno != EINVAL) return false;
            if (strict) return false;
            out += replacement;
            *replaced = true;
            std::size_t skip = std::min(skipUnit, left);
            in += skip;
            left -= skip;
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        return true;
    }

private:
    iconv_t handle_;  // from iconv_open, or (iconv_t)-1
};

bool KnownCodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR dest,
                        int destLength) {
    if (!KnownCodePage(codePage) || source == nullptr || sourceLength == 0 || sourceLength < -1 ||
        destLength < 0 || (destLength > 0 && dest == nullptr) ||
        (flags & ~(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // A length of -1 takes the terminator along, and counts it.
    std::size_t size = sourceLength == -1 ? std::strlen(source) + 1 : static_cast<std::size_t>(sourceLength);
    Converter converter("UTF-16LE", "UTF-8");
    if (!converter.ok()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string bytes;
    bool replaced = false;
    if (!converter.Run(source, size, 1, std::string("\xFD\xFF", 2), (flags & MB_ERR_INVALID_CHARS) != 0, bytes,
                       &replaced)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    std::size_t units = bytes.size() / 2;
    if (units > static_cast<std::size_t>(INT32_MAX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (destLength == 0) return static_cast<int>(units);
    if (units > static_cast<std::size_t>(destLength)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (std::size_t i = 0; i < units; ++i) {
        dest[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return static_cast<int>(units);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR dest, int destLength,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    // The UTF-8 code page takes no default character, as on the platform;
    // the ANSI one (also UTF-8 here) does, for text it cannot encode.
    if (!KnownCodePage(codePage) || source == nullptr || sourceLength == 0 || sourceLength < -1 ||
        destLength < 0 || (destLength > 0 && dest == nullptr) || flags != 0 ||
        (codePage == CP_UTF8 && (defaultChar != nullptr || usedDefaultChar != nullptr))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::size_t units = 0;
    if (sourceLength == -1) {
        while (source[units] != 0) ++units;
        ++units;
    } else {
        units = static_cast<std::size_t>(sourceLength);
    }
    std::string input(units * 2, '\0');
    for (std::size_t i = 0; i < units; ++i) {
        input[2 * i] = static_cast<char>(source[i] & 0xFF);
        input[2 * i + 1] = static_cast<char>(source[i] >> 8);
    }
    Converter converter("UTF-8", "UTF-16LE");
    if (!converter.ok()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string replacement = defaultChar != nullptr ? std::string(defaultChar) : std::string("\xEF\xBF\xBD");
    std::string bytes;
    bool replaced = false;
    if (!converter.Run(input.data(), input.size(), 2, replacement, false, bytes, &replaced)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (usedDefaultChar != nullptr) *usedDefaultChar = replaced ? TRUE : FALSE;
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (destLength == 0) return static_cast<int>(bytes.size());
    if (bytes.size() > static_cast<std::size_t>(destLength)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(dest, bytes.data(), bytes.size());
    return static_cast<int>(bytes.size());
}
