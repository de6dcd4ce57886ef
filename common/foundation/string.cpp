// String, its free text functions and ByteBuffer.
//
// Every change of a String goes through Replace, which is where the buffer
// rules live: the new buffer is sized max (needed, minSize), filled from
// the sources, and only then does the old one go, so sources that alias
// the String's own text are read intact.
#include "common/foundation/string.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/errors.h"

namespace {

// Allocation that must not fail: without a buffer a String would have no
// text, which every caller assumes it has.
char* NewText(std::size_t bytes) {
    char* p = new (std::nothrow) char[bytes];
    if (p == nullptr) {
        std::fputs("out of memory\n", stderr);
        std::abort();
    }
    return p;
}

std::size_t LengthOf(const char* t) { return t != nullptr ? std::strlen(t) : 0; }

const char* OrEmpty(const char* t) { return t != nullptr ? t : ""; }

int ClampRadix(int radix) {
    if (radix > 36) {
        return 36;
    }
    if (radix < 2) {
        return 10;
    }
    return radix;
}

// Digits of v in radix, most significant first, into out (at least 33
// bytes); returns out.
char* WriteUnsigned(std::uint32_t v, int radix, bool minus, char* out) {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    char reversed[33];
    int n = 0;
    do {
        reversed[n++] = kDigits[v % static_cast<std::uint32_t>(radix)];
        v /= static_cast<std::uint32_t>(radix);
    } while (v != 0);
    char* p = out;
    if (minus) {
        *p++ = '-';
    }
    while (n > 0) {
        *p++ = reversed[--n];
    }
    *p = '\0';
    return out;
}

int Sign(int v) { return (v > 0) - (v < 0); }

}  // namespace

// ---------------------------------------------------------------- String

String::String() : Object(), text(NewText(1)), minSize(1), bufferSize(1) {
    classTag = kStringTag;
    text[0] = '\0';
}

String::String(const String& s) : Object(), text(nullptr), minSize(1), bufferSize(0) {
    classTag = kStringTag;
    const std::size_t n = std::strlen(s.text);
    text = NewText(n + 1);
    bufferSize = static_cast<std::int32_t>(n + 1);
    std::memcpy(text, s.text, n + 1);
}

String::String(const char* t, std::int32_t reserve) : Object(), text(nullptr), minSize(1), bufferSize(0) {
    classTag = kStringTag;
    // A reserve of the largest value cannot add its terminator byte; such
    // a request is one the allocation below could not meet anyway.
    const std::int64_t wanted = static_cast<std::int64_t>(reserve) + 1;
    minSize = wanted > 1 ? static_cast<std::int32_t>(wanted > INT32_MAX ? INT32_MAX : wanted) : 1;
    const std::size_t n = LengthOf(t);
    const std::size_t bytes = n + 1 > static_cast<std::size_t>(minSize) ? n + 1 : static_cast<std::size_t>(minSize);
    text = NewText(bytes);
    bufferSize = static_cast<std::int32_t>(bytes);
    std::memcpy(text, OrEmpty(t), n + 1);
}

String::String(std::int32_t v, int radix) : Object(), text(nullptr), minSize(1), bufferSize(0) {
    classTag = kStringTag;
    const int r = ClampRadix(radix);
    bufferSize = r >= 10 ? 12 : 33;
    text = NewText(static_cast<std::size_t>(bufferSize));
    const bool minus = r == 10 && v < 0;
    // The magnitude of the most negative value only fits unsigned.
    const std::uint32_t bits = static_cast<std::uint32_t>(v);
    WriteUnsigned(minus ? 0u - bits : bits, r, minus, text);
}

String::String(std::uint32_t v, int radix) : Object(), text(nullptr), minSize(1), bufferSize(0) {
    classTag = kStringTag;
    const int r = ClampRadix(radix);
    bufferSize = r >= 10 ? 12 : 33;
    text = NewText(static_cast<std::size_t>(bufferSize));
    WriteUnsigned(v, r, false, text);
}

String::~String() { delete[] text; }

void String::Replace(const char* first, std::size_t firstLength, const char* second, std::size_t secondLength) {
    const std::size_t needed = firstLength + secondLength + 1;
    const std::size_t bytes = needed > static_cast<std::size_t>(minSize) ? needed : static_cast<std::size_t>(minSize);
    char* fresh = NewText(bytes);
    if (firstLength != 0) {
        std::memcpy(fresh, first, firstLength);
    }
    if (secondLength != 0) {
        std::memcpy(fresh + firstLength, second, secondLength);
    }
    fresh[firstLength + secondLength] = '\0';
    delete[] text;
    text = fresh;
    bufferSize = static_cast<std::int32_t>(bytes);
}

String& String::operator=(const String& s) {
    Replace(s.text, std::strlen(s.text), nullptr, 0);
    return *this;
}

String& String::operator=(const char* t) {
    Replace(t, LengthOf(t), nullptr, 0);
    return *this;
}

String& String::operator+=(const String& s) {
    Replace(text, std::strlen(text), s.text, std::strlen(s.text));
    return *this;
}

String& String::operator+=(const char* t) {
    if (t != nullptr) {
        Replace(text, std::strlen(text), t, std::strlen(t));
    }
    return *this;
}

bool String::operator==(const String& other) const { return std::strcmp(text, other.text) == 0; }

bool String::operator==(const char* t) const { return t != nullptr && std::strcmp(text, t) == 0; }

void String::Print(std::FILE* stream, int /*n*/) const { std::fputs(text, stream); }

int String::Compare(const Object* other) const {
    if (other == nullptr || other->classTag != kStringTag) {
        return -1;
    }
    // strcmp compares the bytes as unsigned char, which is the order wanted.
    return Sign(std::strcmp(text, static_cast<const String*>(other)->text));
}

Object* String::MakeCopy() const {
    // Both allocations are checked here, unlike everywhere else, because
    // MakeCopy is the one operation whose callers handle an absent result.
    const std::size_t n = std::strlen(text);
    char* copied = new (std::nothrow) char[n + 1];
    if (copied == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::memcpy(copied, text, n + 1);
    String* copy = new (std::nothrow) String(Adopting{}, copied, static_cast<std::int32_t>(n + 1));
    if (copy == nullptr) {
        delete[] copied;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return copy;
}

String::String(Adopting, char* adopted, std::int32_t bytes) : Object(), text(adopted), minSize(1), bufferSize(bytes) {
    classTag = kStringTag;
}

ByteBuffer String::Encode() const {
    const std::uint32_t n = static_cast<std::uint32_t>(std::strlen(text));
    std::uint8_t header[6];
    std::uint32_t h = 0;
    header[h++] = 0x04;
    if (n <= 127) {
        header[h++] = static_cast<std::uint8_t>(n);
    } else {
        int k = 0;
        for (std::uint32_t rest = n; rest != 0; rest >>= 8) {
            ++k;
        }
        header[h++] = static_cast<std::uint8_t>(0x80 + k);
        for (int i = k - 1; i >= 0; --i) {
            header[h++] = static_cast<std::uint8_t>(n >> (8 * i));
        }
    }
    std::uint8_t* block = new (std::nothrow) std::uint8_t[h + n];
    if (block == nullptr) {
        std::fputs("out of memory\n", stderr);
        std::abort();
    }
    std::memcpy(block, header, h);
    std::memcpy(block + h, text, n);
    ByteBuffer result;
    result.Adopt(block, h + n, 1);
    return result;
}

std::int32_t String::Length() const { return static_cast<std::int32_t>(std::strlen(text)); }

std::int32_t String::ToInteger() const {
    // strtoul / strtol read exactly what "%x" / "%d" would, but out-of-range
    // input is defined for them; the result keeps the low 32 bits.
    const std::size_t n = std::strlen(text);
    if (n >= 1 && text[n - 1] == 'h') {
        String digits(Substring(text, 0, static_cast<std::int32_t>(n - 1)));
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(std::strtoul(digits.text, nullptr, 16)));
    }
    if (n > 2 && text[0] == '0' && text[1] == 'x') {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(std::strtoul(text + 2, nullptr, 16)));
    }
    return static_cast<std::int32_t>(std::strtol(text, nullptr, 10));
}

String operator+(const String& left, const String& right) {
    String result(left);
    result += right;
    return result;
}

String operator+(const String& left, const char* t) {
    String result(left);
    result += t;
    return result;
}

String operator+(const char* t, const String& right) {
    String result(t);
    result += right;
    return result;
}

String operator+(const String& left, char ch) {
    const char piece[2] = {ch, '\0'};
    String result(left);
    result += piece;
    return result;
}

// ---------------------------------------------------------------- free functions

String UpperCase(const char* t) {
    String result(t);
    for (char* p = result.text; *p != '\0'; ++p) {
        *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    }
    return result;
}

String UpperCase(const String& t) { return UpperCase(t.Text()); }

String LowerCase(const char* t) {
    String result(t);
    for (char* p = result.text; *p != '\0'; ++p) {
        *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
    return result;
}

String LowerCase(const String& t) { return LowerCase(t.Text()); }

String Substring(const char* t, std::int32_t start, std::int32_t count) {
    const std::int64_t length = static_cast<std::int64_t>(LengthOf(t));
    std::int64_t from = start;
    if (from < 0) {
        from += length;
        if (from < 0) {
            from = 0;
        }
    }
    std::int64_t take = count;
    if (take >= length - from) {
        take = length - from;
    }
    if (take < 1) {
        return String();
    }
    String result("", static_cast<std::int32_t>(take));
    std::memcpy(result.text, t + from, static_cast<std::size_t>(take));
    result.text[take] = '\0';
    // Handed out as a copy so the caller gets an exact buffer and minSize 1.
    return String(result);
}

String Substring(const String& t, std::int32_t start, std::int32_t count) { return Substring(t.Text(), start, count); }

std::int32_t Find(const char* t, const char* s, std::int32_t start) {
    const char* text = OrEmpty(t);
    const std::int64_t length = static_cast<std::int64_t>(std::strlen(text));
    const std::int64_t from = start < 0 ? 0 : start;
    if (from > length) {
        return -1;
    }
    const char* hit = std::strstr(text + from, OrEmpty(s));
    return hit != nullptr ? static_cast<std::int32_t>(hit - text) : -1;
}

std::int32_t Find(const String& t, const char* s, std::int32_t start) { return Find(t.Text(), s, start); }

String ReplaceAll(const char* t, const char* s, const char* r) {
    const char* text = OrEmpty(t);
    const std::size_t searchLength = LengthOf(s);
    if (searchLength == 0) {
        // An empty search text occurs everywhere and would never advance.
        return String(text);
    }
    const std::size_t length = std::strlen(text);
    String result;
    std::size_t position = 0;
    while (position < length) {
        const std::int32_t at = Find(text, s, static_cast<std::int32_t>(position));
        if (at < 0) {
            result += text + position;
            break;
        }
        const std::size_t hit = static_cast<std::size_t>(at);
        if (hit > position) {
            String before(Substring(text, static_cast<std::int32_t>(position), static_cast<std::int32_t>(hit - position)));
            result += before;
        }
        result += r;
        position = hit + searchLength;
    }
    return result;
}

String ReplaceAll(const String& t, const char* s, const char* r) { return ReplaceAll(t.Text(), s, r); }

String Repeat(const char* t, std::int32_t n) {
    const std::size_t length = LengthOf(t);
    if (n <= 0 || length == 0) {
        return String();
    }
    if (length * static_cast<std::size_t>(n) >= 0x7FFFFFFFu) {
        // Larger than any buffer size a String can state.
        std::fputs("out of memory\n", stderr);
        std::abort();
    }
    String result("", static_cast<std::int32_t>(length * static_cast<std::size_t>(n)));
    for (std::int32_t i = 0; i < n; ++i) {
        std::memcpy(result.text + length * static_cast<std::size_t>(i), t, length);
    }
    result.text[length * static_cast<std::size_t>(n)] = '\0';
    return String(result);
}

String Repeat(const String& t, std::int32_t n) { return Repeat(t.Text(), n); }

String Fill(char ch, std::int32_t n) {
    if (n <= 0) {
        return String();
    }
    if (n == INT32_MAX) {
        // No room for the terminator in a buffer whose size fits the field.
        std::fputs("out of memory\n", stderr);
        std::abort();
    }
    String result("", n);
    std::memset(result.text, static_cast<unsigned char>(ch), static_cast<std::size_t>(n));
    result.text[n] = '\0';
    return String(result);
}

// ---------------------------------------------------------------- ByteBuffer

ByteBuffer::ByteBuffer() : Object(), data(nullptr), size(0) { classTag = kByteBufferTag; }

ByteBuffer::ByteBuffer(const ByteBuffer& other) : Object(), data(nullptr), size(0) {
    classTag = kByteBufferTag;
    if (other.size != 0) {
        data = new (std::nothrow) std::uint8_t[other.size];
        if (data == nullptr) {
            std::fputs("out of memory\n", stderr);
            std::abort();
        }
        std::memcpy(data, other.data, other.size);
        size = other.size;
    }
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept : Object(), data(other.data), size(other.size) {
    classTag = kByteBufferTag;
    other.data = nullptr;
    other.size = 0;
}

ByteBuffer& ByteBuffer::operator=(const ByteBuffer& other) {
    if (this != &other) {
        ByteBuffer copy(other);
        *this = static_cast<ByteBuffer&&>(copy);
    }
    return *this;
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        delete[] data;
        data = other.data;
        size = other.size;
        other.data = nullptr;
        other.size = 0;
    }
    return *this;
}

ByteBuffer::~ByteBuffer() { delete[] data; }

void ByteBuffer::Adopt(std::uint8_t* block, std::uint32_t blockBytes, int release) {
    if (release != 0 && block != data) {
        delete[] data;
    }
    data = block;
    size = blockBytes;
}

bool ByteBuffer::Equal(const ByteBuffer& other) const {
    if (size != other.size) {
        return false;
    }
    return size == 0 || std::memcmp(data, other.data, size) == 0;
}

int ByteBuffer::Compare(const Object* other) const {
    if (other == nullptr || other->classTag != kByteBufferTag) {
        return -1;
    }
    const ByteBuffer& that = *static_cast<const ByteBuffer*>(other);
    const std::uint32_t common = size < that.size ? size : that.size;
    const int bytes = common != 0 ? std::memcmp(data, that.data, common) : 0;
    if (bytes != 0) {
        return Sign(bytes);
    }
    return (size > that.size) - (size < that.size);
}

Object* ByteBuffer::MakeCopy() const {
    ByteBuffer* copy = new (std::nothrow) ByteBuffer();
    if (copy == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (size != 0) {
        std::uint8_t* block = new (std::nothrow) std::uint8_t[size];
        if (block == nullptr) {
            delete copy;
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        std::memcpy(block, data, size);
        copy->Adopt(block, size, 1);
    }
    return copy;
}

namespace {

// One dump line of n bytes (1 to 20), padded so that the character part
// of a partial line starts in the column of a full line's.
void DumpLine(std::FILE* stream, const std::uint8_t* bytes, int n) {
    for (int i = 0; i < n; ++i) {
        if (i != 0 && i % 4 == 0) {
            std::fputc(' ', stream);
        }
        std::fprintf(stream, "%02X", static_cast<unsigned>(bytes[i]));
    }
    const int blanks = n == 20 ? 5 : 45 + (20 - n) / 4 - 2 * n;
    for (int i = 0; i < blanks; ++i) {
        std::fputc(' ', stream);
    }
    for (int i = 0; i < n; ++i) {
        if (i % 4 == 0) {
            std::fputc(' ', stream);
        }
        const std::uint8_t b = bytes[i];
        std::fputc(b >= 0x20 && b <= 0x7E ? static_cast<int>(b) : '.', stream);
    }
    std::fputc('\n', stream);
}

}  // namespace

void ByteBuffer::Print(std::FILE* stream, int /*n*/) const {
    if (size == 0 || data == nullptr) {
        return;
    }
    const std::uint32_t full = size / 20;
    for (std::uint32_t line = 0; line < full; ++line) {
        DumpLine(stream, data + line * 20, 20);
    }
    std::fflush(stream);
    const int rest = static_cast<int>(size % 20);
    if (rest != 0) {
        DumpLine(stream, data + full * 20, rest);
    }
}
