// Code-page conversion between the ANSI code page (UTF-8 here) and UTF-16:
// the documented encodings, the size query, exact buffer sizes with guard
// bytes after them, replacement and strict handling of malformed input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codepage.h"

namespace {

constexpr char16_t kGuard = 0xBEEF;
constexpr char kByteGuard = '\x5A';

}  // namespace

TEST(CodePage, MultiByteToWideCharEncodings) {
    struct Case {
        const char* name;
        std::string input;      // passed with its explicit length
        std::u16string output;  // expected units
    };
    const Case cases[] = {
        {"ascii", "CORP", u"CORP"},
        {"two-byte", "\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
        {"three-byte", "\xE2\x82\xAC", u"\u20AC"},
        {"four-byte becomes a surrogate pair", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
        {"embedded terminator kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"stray continuation byte replaced", "a\x80z", u"a\xFFFDz"},
        {"truncated sequence replaced", "a\xE2\x82", u"a\xFFFD\xFFFD"},
        {"invalid lead byte replaced", "\xFF", u"\xFFFD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (UINT codePage : {CP_ACP, CP_UTF8}) {
            int length = static_cast<int>(c.input.size());
            int need = MultiByteToWideChar(codePage, MB_PRECOMPOSED, c.input.data(), length, nullptr, 0);
            ASSERT_EQ(need, static_cast<int>(c.output.size()));
            std::vector<char16_t> out(c.output.size() + 1, kGuard);
            ASSERT_EQ(MultiByteToWideChar(codePage, 0, c.input.data(), length, out.data(), need), need);
            EXPECT_EQ(std::u16string(out.data(), c.output.size()), c.output);
            EXPECT_EQ(out.back(), kGuard);
        }
    }
}

TEST(CodePage, MinusOneLengthCountsTheTerminator) {
    std::vector<char16_t> out(64, kGuard);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "CORP", -1, nullptr, 0), 5);
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "CORP", -1, out.data(), 64), 5);
    EXPECT_EQ(std::u16string(out.data()), u"CORP");
    EXPECT_EQ(out[5], kGuard);
}

TEST(CodePage, TooSmallBuffersFailAndStayUntouched) {
    struct Case {
        int sourceLength;
        int destLength;
    };
    // "\\\\DC01" is 6 units, 7 with the terminator.
    const Case cases[] = {{-1, 6}, {-1, 1}, {6, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceLength << " into " << c.destLength);
        std::vector<char16_t> wide(8, kGuard);
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\\\\DC01", c.sourceLength, wide.data(), c.destLength), 0);
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(wide, std::vector<char16_t>(8, kGuard));

        std::vector<char> narrow(8, kByteGuard);
        SetLastError(0);
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\\\\DC01", c.sourceLength, narrow.data(), c.destLength, nullptr,
                                      nullptr),
                  0);
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(narrow, std::vector<char>(8, kByteGuard));
    }
}

TEST(CodePage, StrictModeRefusesMalformedInput) {
    std::vector<char16_t> out(8, kGuard);
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "a\xFF", 2, out.data(), 8), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(out, std::vector<char16_t>(8, kGuard));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "\xC3\xA9", 2, out.data(), 8), 1);
    EXPECT_EQ(out[0], u'\u00E9');
}

TEST(CodePage, WideCharToMultiByteEncodings) {
    struct Case {
        const char* name;
        std::u16string input;
        std::string output;
        bool replaced;
    };
    const Case cases[] = {
        {"ascii", u"jsmith", "jsmith", false},
        {"two-byte", u"\u00E9", "\xC3\xA9", false},
        {"surrogate pair", u"\xD83D\xDE00", "\xF0\x9F\x98\x80", false},
        {"lone high surrogate", u"a\xD83Dz", "a\xEF\xBF\xBDz", true},
        {"lone low surrogate", u"\xDE00", "\xEF\xBF\xBD", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int length = static_cast<int>(c.input.size());
        int need = WideCharToMultiByte(CP_ACP, 0, c.input.data(), length, nullptr, 0, nullptr, nullptr);
        ASSERT_EQ(need, static_cast<int>(c.output.size()));
        std::vector<char> out(c.output.size() + 1, kByteGuard);
        BOOL used = 7;
        ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, c.input.data(), length, out.data(), need, nullptr, &used), need);
        EXPECT_EQ(std::string(out.data(), c.output.size()), c.output);
        EXPECT_EQ(out.back(), kByteGuard);
        EXPECT_EQ(used, c.replaced ? TRUE : FALSE);
    }
    char out[8] = {};
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a\xDE00", 2, out, 8, "?", &used), 2);
    EXPECT_EQ(std::string(out, 2), "a?");
    EXPECT_TRUE(used);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u00E9t\u00E9", -1, out, 8, nullptr, nullptr), 6);
    EXPECT_STREQ(out, "\xC3\xA9t\xC3\xA9");
}

TEST(CodePage, BadArgumentsAreRefused) {
    char16_t wide[4];
    char narrow[4];
    struct Case {
        const char* name;
        int result;
    };
    SetLastError(0);
    const Case cases[] = {
        {"unknown code page", MultiByteToWideChar(1252, 0, "a", 1, wide, 4)},
        {"zero source length", MultiByteToWideChar(CP_ACP, 0, "a", 0, wide, 4)},
        {"negative destination", MultiByteToWideChar(CP_ACP, 0, "a", 1, wide, -2)},
        {"null source", MultiByteToWideChar(CP_ACP, 0, nullptr, 1, wide, 4)},
        {"null destination with a size", MultiByteToWideChar(CP_ACP, 0, "a", 1, nullptr, 4)},
        {"unknown flag", MultiByteToWideChar(CP_ACP, 0x100, "a", 1, wide, 4)},
        {"wide: unknown code page", WideCharToMultiByte(437, 0, u"a", 1, narrow, 4, nullptr, nullptr)},
        {"wide: zero source length", WideCharToMultiByte(CP_ACP, 0, u"a", 0, narrow, 4, nullptr, nullptr)},
        {"wide: default char with UTF-8", WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 4, "?", nullptr)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.result, 0);
    }
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a", 0, wide, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}
