// The root class's protocol and the block-allocated arrays: block sizes,
// allocation on first touch, the end found by LastIndex, out-of-range
// cells and their report line, appending to a full array, Sort, and the
// value semantics of Array.
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/foundation/array.h"
#include "common/foundation/dictionary.h"
#include "common/foundation/object.h"
#include "common/foundation/string.h"
#include "foundation_support.h"

namespace {

int AllocatedBlocks(const ArrayBase& array) {
    int n = 0;
    for (auto* block : array.blocks) {
        n += block != nullptr ? 1 : 0;
    }
    return n;
}

// Appends the given texts as owned Strings.
void AppendTexts(Array& array, const std::vector<std::string>& texts) {
    for (const auto& text : texts) {
        array.Append(new String(text.c_str()));
    }
}

TEST(ObjectTest, EveryClassCarriesItsTagAndReportFlag) {
    Object object;
    ArrayBase base(10, 1);
    Array array(10);
    String text("x");
    ByteBuffer bytes;
    Dictionary dictionary;
    struct Case {
        const Object* object;
        std::int32_t tag;
    } cases[] = {{&object, 0}, {&text, 1}, {&base, 3}, {&array, 4}, {&dictionary, 7}, {&bytes, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        EXPECT_EQ(c.object->classTag, c.tag);
        EXPECT_EQ(c.object->reportFlag, 1);
    }
}

TEST(ObjectTest, UndefinedOperationsReportAndReturnTheirDefaults) {
    Object plain;
    Object other;
    String text("x");
    ArrayBase base(5, 1);
    Array array(5);

    int compared = 99;
    EXPECT_EQ(StdoutOf([&] { compared = plain.Compare(&other); }), "Object 0: undefined Compare()\n");
    EXPECT_EQ(compared, 0);
    EXPECT_EQ(StdoutOf([&] { compared = plain.Compare(&text); }), "Object 0: undefined Compare()\n");
    EXPECT_EQ(compared, -1);
    EXPECT_EQ(StdoutOf([&] { compared = plain.Compare(nullptr); }), "Object 0: undefined Compare()\n");
    EXPECT_EQ(compared, -1);

    Object* copy = &plain;
    EXPECT_EQ(StdoutOf([&] { copy = base.MakeCopy(); }), "Object 3: undefined Object::MakeCopy()\n");
    EXPECT_EQ(copy, nullptr);

    Position p{&plain, 7};
    EXPECT_EQ(StdoutOf([&] { p = array.FirstElement(); }), "Object 4: undefined FirstElement()\n");
    EXPECT_EQ(p.element, nullptr);
    EXPECT_EQ(p.index, 0);
    p = Position{&plain, 7};
    EXPECT_EQ(StdoutOf([&] { p = base.LastElement(); }), "Object 3: undefined LastElement()\n");
    EXPECT_EQ(p.element, nullptr);
    EXPECT_EQ(p.index, 0);

    EXPECT_EQ(plain.Spare(), 0);
    EXPECT_EQ(text.Spare(), 0);
    EXPECT_EQ(PrintedBy(plain), "");
}

TEST(ObjectTest, ClearedReportFlagSilencesTheReport) {
    Object plain;
    plain.reportFlag = 0;
    Object* copy = &plain;
    EXPECT_EQ(StdoutOf([&] { copy = plain.MakeCopy(); }), "");
    EXPECT_EQ(copy, nullptr);
}

TEST(ArrayTest, BlockSizeIsCapacityOverTwentyFiveRoundedUp) {
    struct Case {
        std::uint32_t capacity;
        std::uint32_t blockSize;
    } cases[] = {{0, 0}, {1, 1}, {10, 1}, {25, 1}, {26, 2}, {50, 2}, {51, 3}, {100, 4}, {1000, 40}, {0xFFFFFFFFu, 171798692}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capacity);
        Array array(c.capacity);
        EXPECT_EQ(array.blockSize, c.blockSize);
        EXPECT_EQ(AllocatedBlocks(array), 0);
        EXPECT_EQ(array.LastIndex(), -1);
    }
}

TEST(ArrayTest, BlocksAreAllocatedOnFirstTouchByReadOrWrite) {
    Array array(50);  // blockSize 2
    EXPECT_EQ(array.Get(7), nullptr);  // read of a cell never written
    EXPECT_EQ(AllocatedBlocks(array), 1);
    EXPECT_NE(array.blocks[3], nullptr);

    String* s = new String("x");
    array.Slot(9) = s;
    EXPECT_NE(array.blocks[4], nullptr);
    EXPECT_EQ(array.Get(9), s);
    EXPECT_EQ(AllocatedBlocks(array), 2);
    array.Slot(9) = nullptr;
    delete s;
}

TEST(ArrayTest, OutOfRangeIndexReportsAndYieldsThePlainObject) {
    struct Case {
        std::uint32_t capacity;
        std::int32_t index;
        const char* line;
    } cases[] = {
        {25, 25, "Array out of bounds index 25\n"},
        {25, -1, "Array out of bounds index -1\n"},
        {0, 0, "Array out of bounds index 0\n"},
        {26, 50, "Array out of bounds index 50\n"},
        {26, 49, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        Array array(c.capacity);
        Object* got = nullptr;
        EXPECT_EQ(StdoutOf([&] { got = array.Get(c.index); }), c.line);
        if (c.line[0] == '\0') {
            EXPECT_EQ(got, nullptr);
            continue;
        }
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(got->classTag, 0);
        EXPECT_EQ(PrintedBy(*got), "");
        String probe("p");
        EXPECT_EQ(StdoutOf([&] { got->Compare(&probe); }), "Object 0: undefined Compare()\n");
        EXPECT_EQ(AllocatedBlocks(array), 0);
    }
}

TEST(ArrayTest, StoringThroughAnOutOfRangeSlotIsNeverReadBack) {
    Array array(25);
    String stray("stray");
    StdoutOf([&] { array.Slot(30) = &stray; });
    Object* got = nullptr;
    StdoutOf([&] { got = array.Get(31); });
    ASSERT_NE(got, nullptr);
    EXPECT_NE(got, &stray);
    EXPECT_EQ(got->classTag, 0);
}

TEST(ArrayTest, LastIndexFollowsAppendAndRemoveLastAcrossBlocks) {
    for (std::uint32_t capacity : {1u, 25u, 26u, 77u, 250u}) {
        SCOPED_TRACE(capacity);
        Array array(capacity);
        const std::int32_t full = static_cast<std::int32_t>(array.Capacity());
        for (std::int32_t n = 0; n < full; ++n) {
            ASSERT_EQ(array.LastIndex(), n - 1);
            array.Append(new Tracked(n));
        }
        EXPECT_EQ(array.LastIndex(), full - 1);
        for (std::int32_t n = full - 1; n >= 0; --n) {
            Object* last = array.RemoveLast();
            ASSERT_NE(last, nullptr);
            EXPECT_EQ(static_cast<Tracked*>(last)->key, n);
            delete last;
            ASSERT_EQ(array.LastIndex(), n - 1);
        }
        EXPECT_EQ(array.RemoveLast(), nullptr);
        EXPECT_EQ(AllocatedBlocks(array), 0);
    }
    EXPECT_EQ(Tracked::live, 0);
}

TEST(ArrayTest, LastIndexAfterAppendsAndRemovals) {
    Array array(100);
    AppendTexts(array, {"a", "b", "c"});
    EXPECT_EQ(array.LastIndex(), 2);
    delete array.RemoveLast();
    delete array.RemoveLast();
    EXPECT_EQ(array.LastIndex(), 0);
    EXPECT_EQ(TextsOf(array), std::vector<std::string>{"a"});
}

TEST(ArrayTest, RemovingTheOnlyElementOfABlockReleasesIt) {
    Array array(10);  // blockSize 1
    array.Append(new String("only"));
    EXPECT_NE(array.blocks[0], nullptr);
    delete array.RemoveLast();
    EXPECT_EQ(array.blocks[0], nullptr);
    EXPECT_EQ(array.LastIndex(), -1);
}

TEST(ArrayTest, LastIndexReleasesEmptyTrailingBlocks) {
    Array array(100);  // blockSize 4
    AppendTexts(array, {"a", "b", "c", "d", "e"});
    (void)array.Get(8);   // touches block 2, left empty
    (void)array.Get(12);  // and block 3
    EXPECT_EQ(AllocatedBlocks(array), 4);
    EXPECT_EQ(array.LastIndex(), 4);
    EXPECT_EQ(AllocatedBlocks(array), 2);
    EXPECT_EQ(array.blocks[2], nullptr);
    EXPECT_EQ(array.blocks[3], nullptr);
}

TEST(ArrayTest, AppendToAFullArrayKeepsTheArrayAndLosesNothing) {
    struct Case {
        const char* name;
        std::int32_t owns;
        int copy;
        int liveAfter;  // Tracked alive after the refused Append, the array still alive
    } cases[] = {
        {"owning array takes and disposes of the element", 1, 0, 25},
        {"owning array never makes the copy", 1, 1, 26},
        {"borrowing array leaves the element to the caller", 0, 0, 26},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Tracked::live = 0;
        std::vector<Tracked*> kept;
        {
            Array array(25, c.owns);
            for (int i = 0; i < 25; ++i) {
                kept.push_back(new Tracked(i));
                array.Append(kept.back());
            }
            Tracked* extra = new Tracked(99);
            EXPECT_EQ(StdoutOf([&] { array.Append(extra, c.copy); }), "Array out of bounds index 25\n");
            EXPECT_EQ(Tracked::live, c.liveAfter);
            EXPECT_EQ(array.LastIndex(), 24);
            Object* overflow = nullptr;
            StdoutOf([&] { overflow = array.Get(25); });
            EXPECT_NE(overflow, extra);
            EXPECT_EQ(overflow->classTag, 0);
            if (c.liveAfter == 26) {
                delete extra;
            }
        }
        if (c.owns == 0) {
            for (auto* t : kept) {
                delete t;
            }
        }
        EXPECT_EQ(Tracked::live, 0);
    }
}

TEST(ArrayTest, AppendWithCopyStoresAnIndependentCopy) {
    Array array(5);
    String original("text");
    array.Append(&original, 1);
    ASSERT_EQ(array.LastIndex(), 0);
    EXPECT_NE(array.Get(0), &original);
    EXPECT_EQ(array.Get(0)->Compare(&original), 0);
}

TEST(ArrayTest, ReleasingDestroysElementsOnlyWhenOwned) {
    for (std::int32_t owns : {0, 1}) {
        SCOPED_TRACE(owns);
        Tracked::live = 0;
        std::vector<Tracked*> made;
        {
            Array array(60, owns);
            for (int i = 0; i < 7; ++i) {
                made.push_back(new Tracked(i));
                array.Append(made.back());
            }
            array.RemoveAll();
            EXPECT_EQ(AllocatedBlocks(array), 0);
            EXPECT_EQ(array.LastIndex(), -1);
            EXPECT_EQ(Tracked::live, owns != 0 ? 0 : 7);
            array.Append(new Tracked(50));
            made.push_back(static_cast<Tracked*>(array.Get(0)));
        }
        EXPECT_EQ(Tracked::live, owns != 0 ? 0 : 8);
        if (owns == 0) {
            for (auto* t : made) {
                delete t;
            }
        }
    }
}

TEST(ArrayTest, ResetCapacityEmptiesAndResizes) {
    Array array(10);
    AppendTexts(array, {"a", "b"});
    array.ResetCapacity(60);
    EXPECT_EQ(array.blockSize, 3u);
    EXPECT_EQ(array.LastIndex(), -1);
    EXPECT_EQ(AllocatedBlocks(array), 0);
}

TEST(ArrayTest, NeighbourPositionsStayInsideTheCapacity) {
    Array array(25);
    AppendTexts(array, {"a", "b", "c"});
    struct Case {
        bool next;
        std::int32_t from;
        std::int32_t index;  // expected index of the result
        const char* text;    // expected element text, or null for absent
    } cases[] = {
        {true, 0, 1, "b"}, {true, 2, 3, nullptr}, {true, 23, 24, nullptr}, {true, 24, 0, nullptr},
        {true, -1, 0, nullptr}, {false, 1, 0, "a"}, {false, 0, 0, nullptr}, {false, 24, 23, nullptr},
        {false, 25, 0, nullptr}, {false, -3, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.next ? "next of " : "previous of ") + std::to_string(c.from));
        Position p{nullptr, c.from};
        Position q{};
        EXPECT_EQ(StdoutOf([&] { q = c.next ? array.NextElement(p) : array.PreviousElement(p); }), "");
        EXPECT_EQ(q.index, c.index);
        if (c.text == nullptr) {
            EXPECT_EQ(q.element, nullptr);
        } else {
            ASSERT_NE(q.element, nullptr);
            EXPECT_STREQ(static_cast<String*>(q.element)->Text(), c.text);
        }
    }
}

TEST(ArrayTest, SwapElementsExchangesCellsAndRefusesOutOfRange) {
    Array array(25);
    AppendTexts(array, {"a", "b", "c"});
    EXPECT_EQ(array.SwapElements(Position{nullptr, 0}, Position{nullptr, 2}), 0);
    EXPECT_EQ(TextsOf(array), (std::vector<std::string>{"c", "b", "a"}));

    int result = 0;
    EXPECT_EQ(StdoutOf([&] { result = array.SwapElements(Position{nullptr, 1}, Position{nullptr, 25}); }),
              "Array out of bounds index 25\n");
    EXPECT_NE(result, 0);
    EXPECT_EQ(TextsOf(array), (std::vector<std::string>{"c", "b", "a"}));
}

TEST(ArraySortTest, OrdersByteWiseWithUpperCaseFirst) {
    struct Case {
        std::vector<std::string> in;
        std::vector<std::string> out;
    } cases[] = {
        {{"b", "B", "a", "c", "A"}, {"A", "B", "a", "b", "c"}},
        {{"x"}, {"x"}},
        {{"b", "a"}, {"a", "b"}},
        {{"a", "b", "c", "d"}, {"a", "b", "c", "d"}},
        {{"d", "c", "b", "a"}, {"a", "b", "c", "d"}},
        {{"abc", "ab", "a", "\xE9", "z", "Z"}, {"Z", "a", "ab", "abc", "z", "\xE9"}},
        {{"DOM\\b", "DOM\\a", "Everyone", "alice", "BUILTIN\\Users"},
         {"BUILTIN\\Users", "DOM\\a", "DOM\\b", "Everyone", "alice"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in.size());
        Array array(10);
        AppendTexts(array, c.in);
        std::string output;
        int result = 0;
        output = StdoutOf([&] { result = array.Sort(0, array.LastIndex()); });
        EXPECT_EQ(result, 1);
        EXPECT_EQ(output, "");
        EXPECT_EQ(TextsOf(array), c.out);
    }
}

TEST(ArraySortTest, ElementsEqualToThePivotEndOnItsLeft) {
    // Distinct objects with equal keys: the first element is the pivot of
    // the only partition and must end after its equals.
    struct Case {
        std::vector<int> keys;
        int pivotIndexAfter;
    } cases[] = {{{1, 1}, 1}, {{2, 2, 2}, 2}, {{2, 1, 2, 3}, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys.size());
        Array array(25);
        for (int key : c.keys) {
            array.Append(new Tracked(key));
        }
        Object* pivot = array.Get(0);
        ASSERT_EQ(array.Sort(0, array.LastIndex()), 1);
        EXPECT_EQ(array.Get(c.pivotIndexAfter), pivot);
        for (int i = 1; i <= array.LastIndex(); ++i) {
            EXPECT_LE(static_cast<Tracked*>(array.Get(i - 1))->key, static_cast<Tracked*>(array.Get(i))->key);
        }
    }
}

TEST(ArraySortTest, RandomOrdersMatchTheStandardSort) {
    std::mt19937 random(20261211);
    for (std::uint32_t capacity : {7u, 30u, 100u, 400u}) {
        for (int round = 0; round < 20; ++round) {
            SCOPED_TRACE(std::to_string(capacity) + "/" + std::to_string(round));
            Array array(capacity);
            const std::uint32_t count = 1 + random() % array.Capacity();
            std::vector<std::string> texts;
            for (std::uint32_t i = 0; i < count; ++i) {
                // Few letters make equal texts likely; they are distinct objects.
                std::string text;
                for (std::uint32_t n = 1 + random() % 3; n > 0; --n) {
                    text += "aBbA\\z"[random() % 6];
                }
                texts.push_back(text);
            }
            AppendTexts(array, texts);
            ASSERT_EQ(array.Sort(0, array.LastIndex()), 1);
            std::sort(texts.begin(), texts.end(), [](const std::string& a, const std::string& b) {
                return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
                    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
                });
            });
            ASSERT_EQ(TextsOf(array), texts);
        }
    }
}

TEST(ArraySortTest, SortsOnlyTheGivenRangeAndKeepsEveryElement) {
    Array array(25);
    std::vector<String*> made;
    for (const char* t : {"z", "d", "c", "b", "a", "y"}) {
        made.push_back(new String(t));
        array.Append(made.back());
    }
    EXPECT_EQ(array.Sort(1, 4), 1);
    EXPECT_EQ(TextsOf(array), (std::vector<std::string>{"z", "a", "b", "c", "d", "y"}));
    std::vector<Object*> after;
    for (int i = 0; i <= array.LastIndex(); ++i) {
        after.push_back(array.Get(i));
    }
    for (String* s : made) {
        EXPECT_NE(std::find(after.begin(), after.end(), s), after.end());
    }
}

TEST(ArraySortTest, InvalidRangesReturnMinusOneSilently) {
    struct Case {
        std::uint32_t capacity;
        std::int32_t first;
        std::int32_t last;
    } cases[] = {{25, 0, -1}, {25, -1, 2}, {25, 0, 25}, {0, 0, 0}, {50, 3, 50}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last));
        Array array(c.capacity);
        if (c.capacity != 0) {
            AppendTexts(array, {"c", "b", "a"});
        }
        int result = 0;
        EXPECT_EQ(StdoutOf([&] { result = array.Sort(c.first, c.last); }), "");
        EXPECT_EQ(result, -1);
        if (c.capacity != 0) {
            EXPECT_EQ(TextsOf(array), (std::vector<std::string>{"c", "b", "a"}));
        }
    }
}

TEST(ArraySortTest, PresortedInputInEitherDirection) {
    // The first element is the pivot, so presorted input is the deepest
    // case: every partition leaves one side empty.
    constexpr int kCount = 2000;
    for (bool descending : {false, true}) {
        SCOPED_TRACE(descending ? "descending" : "ascending");
        Array array(kCount);
        for (int i = 0; i < kCount; ++i) {
            array.Append(new Tracked(descending ? kCount - i : i));
        }
        ASSERT_EQ(array.Sort(0, array.LastIndex()), 1);
        ASSERT_EQ(array.LastIndex(), kCount - 1);
        for (int i = 1; i < kCount; ++i) {
            ASSERT_LT(static_cast<Tracked*>(array.Get(i - 1))->key, static_cast<Tracked*>(array.Get(i))->key);
        }
    }
}

TEST(ArrayValueTest, CompareIsElementWise) {
    struct Case {
        const char* name;
        std::vector<std::string> left;
        std::vector<std::string> right;
        int expected;
    } cases[] = {
        {"same texts in the same order", {"a", "b"}, {"a", "b"}, 0},
        {"two empty arrays", {}, {}, 0},
        {"different counts", {"a", "b"}, {"a"}, 1},
        {"different counts, other way", {"a"}, {"a", "b"}, 1},
        {"different element", {"a", "b"}, {"a", "c"}, 1},
        {"same texts, other order", {"a", "b"}, {"b", "a"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Array left(25);
        Array right(100);  // block sizes need not agree
        AppendTexts(left, c.left);
        AppendTexts(right, c.right);
        EXPECT_EQ(left.Compare(&right), c.expected);
        EXPECT_EQ(left.Equal(right), c.expected == 0);
    }
}

TEST(ArrayValueTest, ArrayBaseHasNoCompareOfItsOwn) {
    ArrayBase left(5, 1);
    ArrayBase right(5, 1);
    int result = 9;
    EXPECT_EQ(StdoutOf([&] { result = left.Compare(&right); }), "Object 3: undefined Compare()\n");
    EXPECT_EQ(result, 0);
}

TEST(ArrayValueTest, CompareWithAnotherClassIsMinusOne) {
    Array array(5);
    String text("a");
    ArrayBase base(5, 1);
    EXPECT_EQ(array.Compare(&text), -1);
    EXPECT_EQ(array.Compare(&base), -1);
    EXPECT_EQ(array.Compare(nullptr), -1);
}

TEST(ArrayValueTest, MakeCopyIsDeepWithTheSameCapacity) {
    Array array(60);
    AppendTexts(array, {"one", "two", "three"});
    Object* made = array.MakeCopy();
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(made->classTag, kArrayTag);
    Array* copy = static_cast<Array*>(made);
    EXPECT_EQ(copy->blockSize, array.blockSize);
    EXPECT_NE(copy->ownsElements, 0);
    EXPECT_EQ(copy->Compare(&array), 0);
    for (int i = 0; i <= array.LastIndex(); ++i) {
        EXPECT_NE(copy->Get(i), array.Get(i));
    }
    *static_cast<String*>(copy->Get(0)) = "changed";
    EXPECT_EQ(TextsOf(array), (std::vector<std::string>{"one", "two", "three"}));
    delete copy;
}

TEST(ArrayValueTest, CopyFromAdoptsTheSourceBlockSize) {
    Array source(100);
    AppendTexts(source, {"a", "b", "c", "d", "e", "f"});
    Array target(10);
    target.CopyFrom(source);
    EXPECT_EQ(target.blockSize, 4u);
    EXPECT_EQ(TextsOf(target), TextsOf(source));
}

TEST(ArrayValueTest, PrintWritesEachElementOnItsLine) {
    Array array(60);
    AppendTexts(array, {"alpha", "", "gamma", "delta"});
    EXPECT_EQ(PrintedBy(array), "alpha\n\ngamma\ndelta\n");
    Array empty(5);
    EXPECT_EQ(PrintedBy(empty), "");
}

}  // namespace
