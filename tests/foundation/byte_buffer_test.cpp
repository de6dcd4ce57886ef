// ByteBuffer: ownership of its block, equality and the hex dump's columns.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/foundation/string.h"
#include "foundation_support.h"

namespace {

ByteBuffer BufferOf(const std::vector<std::uint8_t>& bytes) {
    ByteBuffer buffer;
    if (!bytes.empty()) {
        auto* block = new std::uint8_t[bytes.size()];
        std::memcpy(block, bytes.data(), bytes.size());
        buffer.Adopt(block, static_cast<std::uint32_t>(bytes.size()), 1);
    }
    return buffer;
}

ByteBuffer BufferOf(const std::string& text) { return BufferOf(std::vector<std::uint8_t>(text.begin(), text.end())); }

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find('\n', from);
        lines.push_back(text.substr(from, end - from));
        from = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

TEST(ByteBufferTest, DumpOfTheWorkedExamples) {
    EXPECT_EQ(PrintedBy(BufferOf(std::vector<std::uint8_t>{0x0A})), "0A" + std::string(47, ' ') + " .\n");
    EXPECT_EQ(PrintedBy(BufferOf(std::string("ABCDEFGHIJKLMNOPQRSTUVWX"))),
              "41424344 45464748 494A4B4C 4D4E4F50 51525354      ABCD EFGH IJKL MNOP QRST\n"
              "55565758" +
                  std::string(41, ' ') + " UVWX\n");
}

TEST(ByteBufferTest, DumpShowsOnlyPrintableBytes) {
    const std::vector<std::uint8_t> bytes{0x1F, 0x20, 0x7E, 0x7F, 0x00, 0xFF, 'a', 0x80};
    EXPECT_EQ(PrintedBy(BufferOf(bytes)), "1F207E7F 00FF6180" + std::string(32, ' ') + " . ~. ..a.\n");
}

TEST(ByteBufferTest, DumpLinesAlignForEveryLength) {
    // Every line, full or partial, starts its character part in column 49
    // and holds one character per byte with a blank before each group.
    for (std::uint32_t length = 1; length <= 61; ++length) {
        SCOPED_TRACE(length);
        std::vector<std::uint8_t> bytes(length);
        for (std::uint32_t i = 0; i < length; ++i) {
            bytes[i] = static_cast<std::uint8_t>('A' + i % 26);
        }
        const std::vector<std::string> lines = LinesOf(PrintedBy(BufferOf(bytes)));
        ASSERT_EQ(lines.size(), (length + 19) / 20);
        for (std::size_t line = 0; line < lines.size(); ++line) {
            const std::uint32_t n = line + 1 < lines.size() || length % 20 == 0 ? 20 : length % 20;
            std::string hex;
            std::string chars;
            for (std::uint32_t i = 0; i < n; ++i) {
                const std::uint8_t b = bytes[line * 20 + i];
                char pair[3];
                std::snprintf(pair, sizeof pair, "%02X", b);
                hex += (i != 0 && i % 4 == 0 ? " " : "") + std::string(pair);
                chars += (i % 4 == 0 ? " " : "") + std::string(1, static_cast<char>(b));
            }
            EXPECT_EQ(lines[line], hex + std::string(49 - hex.size(), ' ') + chars);
        }
    }
}

TEST(ByteBufferTest, EmptyBufferPrintsNothing) {
    EXPECT_EQ(PrintedBy(ByteBuffer()), "");
    EXPECT_EQ(PrintedBy(String("").Encode()).substr(0, 6), "0400  ");
}

TEST(ByteBufferTest, EqualAndCompare) {
    struct Case {
        std::string left;
        std::string right;
        bool equal;
    } cases[] = {
        {"", "", true}, {"abc", "abc", true}, {"abc", "abd", false}, {"abc", "ab", false}, {"", "a", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.left + " / " + c.right);
        const ByteBuffer left = BufferOf(c.left);
        const ByteBuffer right = BufferOf(c.right);
        EXPECT_EQ(left.Equal(right), c.equal);
        EXPECT_EQ(right.Equal(left), c.equal);
        EXPECT_EQ(left.Compare(&right) == 0, c.equal);
    }
    const ByteBuffer bytes = BufferOf(std::string("a"));
    const String text("a");
    EXPECT_EQ(bytes.Compare(&text), -1);
    EXPECT_EQ(bytes.Compare(nullptr), -1);
}

TEST(ByteBufferTest, CopiesOwnTheirBytes) {
    ByteBuffer original = BufferOf(std::string("payload"));
    const ByteBuffer copied(original);
    Object* made = original.MakeCopy();
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(made->classTag, kByteBufferTag);
    const ByteBuffer* copy = static_cast<const ByteBuffer*>(made);
    EXPECT_NE(copied.data, original.data);
    EXPECT_NE(copy->data, original.data);
    original.data[0] = 'P';
    EXPECT_TRUE(copied.Equal(BufferOf(std::string("payload"))));
    EXPECT_TRUE(copy->Equal(copied));
    delete made;

    ByteBuffer empty;
    Object* emptyCopy = empty.MakeCopy();
    ASSERT_NE(emptyCopy, nullptr);
    EXPECT_TRUE(static_cast<ByteBuffer*>(emptyCopy)->Equal(empty));
    delete emptyCopy;
}

TEST(ByteBufferTest, AdoptTakesOverTheBlock) {
    ByteBuffer buffer = BufferOf(std::string("old"));
    std::uint8_t* kept = buffer.data;
    auto* block = new std::uint8_t[2]{'n', 'w'};
    buffer.Adopt(block, 2, 1);  // releases "old"
    EXPECT_EQ(buffer.data, block);
    EXPECT_EQ(buffer.size, 2u);
    EXPECT_NE(buffer.data, kept);

    auto* held = new std::uint8_t[1]{'h'};
    std::uint8_t* previous = buffer.data;
    buffer.Adopt(held, 1, 0);  // keeps the previous block alive for its holder
    EXPECT_EQ(previous[0], 'n');
    delete[] previous;
    EXPECT_EQ(buffer.size, 1u);
}

}  // namespace
