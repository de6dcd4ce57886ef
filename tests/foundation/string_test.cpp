// String: buffer sizing, number writing, comparison, conversion, the BER
// encoding and the free text functions, including the inputs that callers
// are not expected to pass but that must still end inside the text.
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/foundation/string.h"
#include "foundation_support.h"

namespace {

const char* Show(const char* t) { return t != nullptr ? t : "<absent>"; }

TEST(StringBufferTest, ConstructorsSizeTheBuffer) {
    const String source("abc", 40);
    struct Case {
        const char* name;
        String made;
        std::int32_t buffer;
        std::int32_t minSize;
        const char* text;
    } cases[] = {
        {"empty", String(), 1, 1, ""},
        {"text with a larger reserve", String("ab", 10), 11, 11, "ab"},
        {"text longer than the reserve", String("abcdef", 2), 7, 3, "abcdef"},
        {"text without reserve", String("abcdef"), 7, 1, "abcdef"},
        {"absent text", String(nullptr), 1, 1, ""},
        {"absent text with reserve", String(nullptr, 5), 6, 6, ""},
        {"negative reserve", String("ab", -7), 3, 1, "ab"},
        {"copy drops the source's minSize", String(source), 4, 1, "abc"},
        {"signed number, radix 10", String(std::int32_t{-5}, 10), 12, 1, "-5"},
        {"signed number, radix 8", String(std::int32_t{8}, 8), 33, 1, "10"},
        {"unsigned number, radix 16", String(std::uint32_t{255}, 16), 12, 1, "ff"},
        {"unsigned number, radix 2", String(std::uint32_t{5}, 2), 33, 1, "101"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.made.BufferSize(), c.buffer);
        EXPECT_EQ(c.made.minSize, c.minSize);
        EXPECT_STREQ(c.made.Text(), c.text);
        EXPECT_EQ(c.made.Length(), static_cast<std::int32_t>(std::string(c.text).size()));
        EXPECT_EQ(c.made.classTag, kStringTag);
    }
}

TEST(StringBufferTest, ChangesAllocateTheLargerOfNeedAndMinSize) {
    struct Case {
        const char* name;
        std::int32_t reserve;
        const char* start;
        void (*change)(String&);
        const char* text;
        std::int32_t buffer;
    } cases[] = {
        {"short assignment keeps the reserve", 10, "ab", [](String& s) { s = "x"; }, "x", 11},
        {"long assignment outgrows it", 10, "ab", [](String& s) { s = "0123456789abcdef"; }, "0123456789abcdef", 17},
        {"absent assignment stores empty", 0, "ab", [](String& s) { s = static_cast<const char*>(nullptr); }, "", 1},
        {"assign a String", 4, "ab", [](String& s) { s = String("xyz"); }, "xyz", 5},
        {"append text", 0, "ab", [](String& s) { s += "cd"; }, "abcd", 5},
        {"append within the reserve", 20, "ab", [](String& s) { s += "cd"; }, "abcd", 21},
        {"append absent text", 0, "ab", [](String& s) { s += static_cast<const char*>(nullptr); }, "ab", 3},
        {"append itself", 0, "ab", [](String& s) { s += s; }, "abab", 5},
        {"assign itself", 8, "ab", [](String& s) { s = s; }, "ab", 9},
        {"assign its own tail", 0, "abcdef", [](String& s) { s = s.Text() + 2; }, "cdef", 5},
        {"append its own tail", 0, "abc", [](String& s) { s += s.Text() + 1; }, "abcbc", 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        String s(c.start, c.reserve);
        const std::int32_t minSize = s.minSize;
        c.change(s);
        EXPECT_STREQ(s.Text(), c.text);
        EXPECT_EQ(s.BufferSize(), c.buffer);
        EXPECT_EQ(s.minSize, minSize);
    }
}

TEST(StringBufferTest, CharAtCutsAtTheTerminator) {
    String s("abcdef");
    s.CharAt(3) = '\0';
    EXPECT_STREQ(s.Text(), "abc");
    EXPECT_EQ(s.Length(), 3);
    s.CharAt(0) = 'X';
    EXPECT_EQ(s, "Xbc");
}

TEST(StringTest, ConcatenationBuildsNewStrings) {
    const String left("ab", 30);
    const String right("cd");
    struct Case {
        const char* name;
        String made;
        const char* text;
    } cases[] = {
        {"String + String", left + right, "abcd"},
        {"String + text", left + "xy", "abxy"},
        {"String + absent text", left + static_cast<const char*>(nullptr), "ab"},
        {"text + String", "xy" + right, "xycd"},
        {"absent text + String", static_cast<const char*>(nullptr) + right, "cd"},
        {"String + character", left + 'z', "abz"},
        {"String + high byte", left + '\xE9', "ab\xE9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(c.made.Text(), c.text);
        EXPECT_EQ(c.made.minSize, 1);
    }
    EXPECT_STREQ(left.Text(), "ab");
    EXPECT_STREQ(right.Text(), "cd");
}

TEST(StringTest, NumbersAreWrittenInTheirRadix) {
    struct Signed {
        std::int32_t value;
        int radix;
        const char* text;
    } signedCases[] = {
        {-1, 10, "-1"},
        {-1, 16, "ffffffff"},
        {255, 16, "ff"},
        {0, 10, "0"},
        {0, 2, "0"},
        {INT_MIN, 10, "-2147483648"},
        {INT_MAX, 10, "2147483647"},
        {35, 40, "z"},
        {36, 40, "10"},
        {35, 36, "z"},
        {-1, 2, "11111111111111111111111111111111"},
        {-8, 8, "37777777770"},
        {100, 1, "100"},
    };
    for (const auto& c : signedCases) {
        SCOPED_TRACE(std::to_string(c.value) + " radix " + std::to_string(c.radix));
        EXPECT_STREQ(String(c.value, c.radix).Text(), c.text);
    }
    struct Unsigned {
        std::uint32_t value;
        int radix;
        const char* text;
    } unsignedCases[] = {
        {0xFFFFFFFFu, 10, "4294967295"},
        {0xFFFFFFFFu, 16, "ffffffff"},
        {0xFFFFFFFFu, 2, "11111111111111111111111111111111"},
        {0x80000000u, 10, "2147483648"},
        {0u, 16, "0"},
        {0xABu, 16, "ab"},
        {1295u, 37, "zz"},
    };
    for (const auto& c : unsignedCases) {
        SCOPED_TRACE(std::to_string(c.value) + " radix " + std::to_string(c.radix));
        EXPECT_STREQ(String(c.value, c.radix).Text(), c.text);
    }
}

TEST(StringTest, CompareIsUnsignedByteOrder) {
    struct Case {
        const char* left;
        const char* right;
        int expected;
    } cases[] = {
        {"abc", "abd", -1}, {"b", "a", 1},      {"a", "ab", -1},        {"ab", "a", 1},
        {"Z", "a", -1},     {"\xE9", "z", 1},   {"same", "same", 0},    {"", "", 0},
        {"", "a", -1},      {"A\\b", "Ab", -1}, {"DOM\\x", "DOMx", -1}, {"zzz", "zzzzzzzzzzzz", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.left) + " vs " + c.right);
        String left(c.left);
        String right(c.right);
        EXPECT_EQ(left.Compare(&right), c.expected);
        EXPECT_EQ(right.Compare(&left), -c.expected);
    }
}

TEST(StringTest, CompareWithAnotherClassIsMinusOneWithoutReport) {
    String text("a");
    Object plain;
    ByteBuffer bytes;
    for (const Object* other : {static_cast<const Object*>(&plain), static_cast<const Object*>(&bytes),
                                static_cast<const Object*>(nullptr)}) {
        int result = 0;
        EXPECT_EQ(StdoutOf([&] { result = text.Compare(other); }), "");
        EXPECT_EQ(result, -1);
    }
}

TEST(StringTest, Equality) {
    struct Case {
        const char* text;
        const char* other;
        bool equal;
    } cases[] = {
        {"abc", "abc", true}, {"abc", "abd", false}, {"abc", "ab", false},       {"", "", true},
        {"", nullptr, false}, {"a", nullptr, false}, {"Abc", "abc", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " == " + Show(c.other));
        const String s(c.text);
        EXPECT_EQ(s == c.other, c.equal);
        if (c.other != nullptr) {
            EXPECT_EQ(s == String(c.other), c.equal);
        }
    }
}

TEST(StringTest, ToIntegerReadsDecimalAndBothHexForms) {
    struct Case {
        const char* text;
        std::int32_t value;
    } cases[] = {
        {"1ah", 26}, {"0x1a", 26}, {"0x1Ah", 26}, {"10", 10},   {"x", 0},   {"", 0},         {"12ab", 12},
        {"-7", -7},  {"h", 0},     {"ffh", 255},  {"0x", 0},    {"0xg", 0}, {"ffffffffh", -1}, {"2147483647", INT_MAX},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const String s(c.text);
        EXPECT_EQ(s.ToInteger(), c.value);
        EXPECT_STREQ(s.Text(), c.text);
    }
}

TEST(StringTest, EncodeWritesAnOctetStringWithTheShortestLength) {
    struct Case {
        std::size_t length;
        std::vector<std::uint8_t> header;
    } cases[] = {
        {0, {0x04, 0x00}},
        {1, {0x04, 0x01}},
        {127, {0x04, 0x7F}},
        {128, {0x04, 0x81, 0x80}},
        {200, {0x04, 0x81, 0xC8}},
        {255, {0x04, 0x81, 0xFF}},
        {256, {0x04, 0x82, 0x01, 0x00}},
        {300, {0x04, 0x82, 0x01, 0x2C}},
        {65535, {0x04, 0x82, 0xFF, 0xFF}},
        {65536, {0x04, 0x83, 0x01, 0x00, 0x00}},
        {0x1000000, {0x04, 0x84, 0x01, 0x00, 0x00, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        std::string text(c.length, 'q');
        for (std::size_t i = 0; i < c.length; i += 7) {
            text[i] = static_cast<char>('a' + i % 26);
        }
        const String s(text.c_str());
        const ByteBuffer encoded = s.Encode();
        ASSERT_EQ(encoded.size, c.header.size() + c.length);
        EXPECT_EQ(std::vector<std::uint8_t>(encoded.data, encoded.data + c.header.size()), c.header);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(encoded.data) + c.header.size(), c.length), text);
        EXPECT_EQ(encoded.classTag, kByteBufferTag);
    }
}

TEST(StringTest, PrintWritesTheTextAlone) {
    EXPECT_EQ(PrintedBy(String("DOM\\alice\t(R)")), "DOM\\alice\t(R)");
    EXPECT_EQ(PrintedBy(String()), "");
}

TEST(StringTest, MakeCopyIsIndependent) {
    String original("text", 50);
    Object* made = original.MakeCopy();
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(made->classTag, kStringTag);
    String* copy = static_cast<String*>(made);
    EXPECT_EQ(copy->Compare(&original), 0);
    EXPECT_NE(copy->Text(), original.Text());
    EXPECT_EQ(copy->minSize, 1);
    EXPECT_EQ(copy->BufferSize(), 5);
    original = "changed";
    EXPECT_STREQ(copy->Text(), "text");
    delete copy;
}

TEST(TextFunctionTest, CaseMappingTouchesOnlyAsciiLetters) {
    const char* mixed = "Dom\\Alice-42 \xE9\xC9_z";
    EXPECT_STREQ(UpperCase(mixed).Text(), "DOM\\ALICE-42 \xE9\xC9_Z");
    EXPECT_STREQ(LowerCase(mixed).Text(), "dom\\alice-42 \xE9\xC9_z");
    EXPECT_STREQ(UpperCase(String("share$")).Text(), "SHARE$");
    EXPECT_STREQ(LowerCase(static_cast<const char*>(nullptr)).Text(), "");
}

TEST(TextFunctionTest, Substring) {
    struct Case {
        const char* text;
        std::int32_t start;
        std::int32_t count;
        const char* result;
    } cases[] = {
        {"abcdef", -2, 5, "ef"},
        {"abcdef", 1, 3, "bcd"},
        {"abc", 1, 0, ""},
        {"abc", 5, 2, ""},
        {"abc", 3, 1, ""},
        {"abc", 0, 100, "abc"},
        {"abc", -1, 1, "c"},
        {"abc", 1, -1, ""},
        {"abc", -3, 2, "ab"},
        // Inputs callers do not pass: a start still negative after the
        // length is added counts from the beginning; huge values stay in.
        {"abcdef", -10, 3, "abc"},
        {"abc", INT_MIN, 2, "ab"},
        {"abc", INT_MAX, INT_MAX, ""},
        {"abc", 1, INT_MAX, "bc"},
        {"abc", INT_MIN, INT_MIN, ""},
        {nullptr, 0, 3, ""},
        {"", -1, 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(Show(c.text)) + " from " + std::to_string(c.start) + " count " + std::to_string(c.count));
        const String sub = Substring(c.text, c.start, c.count);
        EXPECT_STREQ(sub.Text(), c.result);
        EXPECT_EQ(sub.minSize, 1);
    }
    EXPECT_STREQ(Substring(String("abcdef"), 2, 2).Text(), "cd");
}

TEST(TextFunctionTest, Find) {
    struct Case {
        const char* text;
        const char* search;
        std::int32_t start;
        std::int32_t index;
    } cases[] = {
        {"abcabc", "bc", 2, 4},
        {"abcabc", "bc", 0, 1},
        {"abc", "x", 0, -1},
        {"abc", "abcd", 0, -1},
        {"aaa", "aa", 1, 1},
        {"abc", "c", 2, 2},
        {"abc", "c", 3, -1},
        // Inputs callers do not pass.
        {"abc", "a", 10, -1},
        {"abc", "a", INT_MAX, -1},
        {"abc", "c", -5, 2},
        {"abc", "", 1, 1},
        {"abc", "", 4, -1},
        {nullptr, "a", 0, -1},
        {"abc", nullptr, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(Show(c.text)) + " / " + Show(c.search) + " from " + std::to_string(c.start));
        EXPECT_EQ(Find(c.text, c.search, c.start), c.index);
    }
    EXPECT_EQ(Find(String("x*y*"), "*", 2), 3);
}

TEST(TextFunctionTest, ReplaceAll) {
    struct Case {
        const char* text;
        const char* search;
        const char* replacement;
        const char* result;
    } cases[] = {
        {"a*b*", "*", ".*", "a.*b.*"},
        {"aaa", "aa", "b", "ba"},
        {"abab", "ab", "abab", "abababab"},
        {"abc", "b", nullptr, "ac"},
        {"abc", "x", "y", "abc"},
        {"", "a", "b", ""},
        {"***", "*", "", ""},
        {"?a?", "?", ".", ".a."},
        // An empty or absent search text leaves the text as it is.
        {"abc", "", "x", "abc"},
        {"abc", nullptr, "x", "abc"},
        {nullptr, "a", "b", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(Show(c.text)) + " / " + Show(c.search) + " -> " + Show(c.replacement));
        EXPECT_STREQ(ReplaceAll(c.text, c.search, c.replacement).Text(), c.result);
    }
    EXPECT_STREQ(ReplaceAll(String("x.y"), ".", "\\.").Text(), "x\\.y");
}

TEST(TextFunctionTest, RepeatAndFill) {
    struct Case {
        const char* name;
        String made;
        std::string expected;
    } cases[] = {
        {"repeat five blanks", Repeat(" ", 5), "     "},
        {"repeat a word", Repeat("ab", 3), "ababab"},
        {"repeat zero times", Repeat("ab", 0), ""},
        {"repeat negative times", Repeat("ab", -2), ""},
        {"repeat empty text", Repeat("", 4), ""},
        {"repeat absent text", Repeat(static_cast<const char*>(nullptr), 4), ""},
        {"repeat a String", Repeat(String("-="), 2), "-=-="},
        {"fill blanks", Fill(' ', 35), std::string(35, ' ')},
        {"fill one", Fill('x', 1), "x"},
        {"fill zero", Fill(' ', 0), ""},
        {"fill negative", Fill(' ', -3), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(std::string(c.made.Text()), c.expected);
        EXPECT_EQ(c.made.Length(), static_cast<std::int32_t>(c.expected.size()));
        EXPECT_EQ(c.made.minSize, 1);
    }
}

}  // namespace
