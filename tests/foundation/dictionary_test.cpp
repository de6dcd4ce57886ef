// Dictionary: the character tree's traversal order (most recently
// introduced character first at each level, longer keys before the key
// that ends at a node), replacement of values, LookupOrCreate, Keys and the
// class protocol.
#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/foundation/dictionary.h"
#include "common/foundation/string.h"
#include "foundation_support.h"

namespace {

std::vector<std::string> KeysOf(const Dictionary& dictionary) {
    Array* keys = dictionary.Keys();
    std::vector<std::string> texts = TextsOf(*keys);
    delete keys;
    return texts;
}

// Inserts each key with a String value naming it, the way the listers do:
// LookupOrCreate, then assignment.
void Collect(Dictionary& dictionary, const std::vector<std::string>& keys) {
    for (const auto& key : keys) {
        *static_cast<String*>(dictionary.LookupOrCreate(key.c_str())) = ("<" + key + ">").c_str();
    }
}

// The traversal order computed from the rule alone: at each prefix the
// characters in reverse order of first use, the keys below a character
// before the key ending at it.
std::vector<std::string> ReferenceOrder(const std::vector<std::string>& inserted) {
    std::map<std::string, int> firstUse;  // every non-empty prefix -> when it first appeared
    std::set<std::string> isKey;
    int clock = 0;
    for (const auto& key : inserted) {
        for (std::size_t n = 1; n <= key.size(); ++n) {
            firstUse.emplace(key.substr(0, n), clock++);
        }
        isKey.insert(key);
    }
    std::vector<std::string> order;
    auto visit = [&](auto&& self, const std::string& prefix) -> void {
        std::vector<std::pair<int, std::string>> children;
        for (const auto& [node, when] : firstUse) {
            if (node.size() == prefix.size() + 1 && node.compare(0, prefix.size(), prefix) == 0) {
                children.emplace_back(-when, node);
            }
        }
        std::sort(children.begin(), children.end());
        for (const auto& child : children) {
            self(self, child.second);
            if (isKey.count(child.second) != 0) {
                order.push_back(child.second);
            }
        }
    };
    visit(visit, "");
    return order;
}

TEST(DictionaryTest, TreeRecordsFollowTheLayout) {
    Dictionary dictionary;
    ASSERT_NE(dictionary.root, nullptr);
    EXPECT_EQ(dictionary.root->next, dictionary.root);  // an empty ring
    EXPECT_EQ(dictionary.root->kind, DictionaryNode::kHead);
    EXPECT_EQ(dictionary.root->child, nullptr);
    EXPECT_EQ(dictionary.root->count, 0);

    String* value = new String("v");
    dictionary.Insert("ab", value);
    dictionary.Insert("c", new String("w"));
    const DictionaryNode* c = dictionary.root->next;  // newest first
    ASSERT_EQ(c->ch, 'c');
    EXPECT_EQ(c->kind, DictionaryNode::kValue);
    EXPECT_EQ(c->child, nullptr);
    const DictionaryNode* a = c->next;
    ASSERT_EQ(a->ch, 'a');
    EXPECT_EQ(a->kind, DictionaryNode::kCharacter);
    EXPECT_EQ(a->value, nullptr);
    EXPECT_EQ(a->next, dictionary.root);
    const DictionaryNode* head = a->child;
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->kind, DictionaryNode::kHead);
    EXPECT_EQ(head->child, a);  // the back link to the owning record
    const DictionaryNode* b = head->next;
    EXPECT_EQ(b->ch, 'b');
    EXPECT_EQ(b->kind, DictionaryNode::kValue);
    EXPECT_EQ(b->value, value);
    EXPECT_EQ(b->next, head);
    EXPECT_EQ(dictionary.root->count, 2);
}

TEST(DictionaryTest, KeysComeInTraversalOrder) {
    struct Case {
        const char* name;
        std::vector<std::string> inserted;
        std::vector<std::string> keys;
    } cases[] = {
        {"worked example", {"ab", "b", "a"}, {"b", "ab", "a"}},
        {"longer key before the key ending at its node", {"a", "ab"}, {"ab", "a"}},
        {"same, inserted the other way", {"ab", "a"}, {"ab", "a"}},
        {"no common first letter: reverse order of first use", {"x", "y", "z"}, {"z", "y", "x"}},
        {"siblings below a shared prefix", {"abc", "abd", "ab"}, {"abd", "abc", "ab"}},
        {"mixed levels", {"b", "a", "ba", "bb"}, {"a", "bb", "ba", "b"}},
        {"account names",
         {"Everyone", "BUILTIN\\Administrators", "NT AUTHORITY\\SYSTEM", "CREATOR OWNER"},
         {"CREATOR OWNER", "NT AUTHORITY\\SYSTEM", "BUILTIN\\Administrators", "Everyone"}},
        {"names sharing a first letter", {"Administrators", "Alice", "Admin"}, {"Alice", "Administrators", "Admin"}},
        {"a repeated name keeps the place of its first occurrence", {"a", "b", "a"}, {"b", "a"}},
        {"high bytes are characters like any other", {"\xE9t\xE9", "\xE9", "e"}, {"e", "\xE9t\xE9", "\xE9"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Dictionary dictionary;
        Collect(dictionary, c.inserted);
        EXPECT_EQ(KeysOf(dictionary), c.keys);
        EXPECT_EQ(ReferenceOrder(c.inserted), c.keys);
        EXPECT_EQ(dictionary.Count(), static_cast<std::int32_t>(c.keys.size()));
    }
}

TEST(DictionaryTest, ManyKeysFollowTheRule) {
    std::mt19937 random(1211);
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::string> inserted;
        for (int i = 0; i < 300; ++i) {
            std::string key;
            for (std::uint32_t n = 1 + random() % 5; n > 0; --n) {
                key += "abcAB\\"[random() % 6];
            }
            inserted.push_back(key);
        }
        Dictionary dictionary;
        Collect(dictionary, inserted);
        const std::vector<std::string> expected = ReferenceOrder(inserted);
        ASSERT_EQ(KeysOf(dictionary), expected);
        ASSERT_EQ(dictionary.Count(), static_cast<std::int32_t>(expected.size()));
        for (const auto& key : expected) {
            const Object* value = dictionary.Lookup(key.c_str());
            ASSERT_NE(value, nullptr);
            ASSERT_EQ(static_cast<const String*>(value)->Text(), "<" + key + ">");
        }
    }
}

TEST(DictionaryTest, InsertReplacesAndHandsBackTheOldValue) {
    Dictionary dictionary;
    String* first = new String("first");
    String* second = new String("second");
    EXPECT_EQ(dictionary.Insert("ab", new String("x")), nullptr);
    EXPECT_EQ(dictionary.Insert("b", new String("y")), nullptr);
    EXPECT_EQ(dictionary.Insert("a", first), nullptr);
    EXPECT_EQ(dictionary.Count(), 3);
    EXPECT_EQ(dictionary.Insert("a", second), first);
    EXPECT_EQ(dictionary.Count(), 3);
    EXPECT_EQ(dictionary.Lookup("a"), second);
    EXPECT_EQ(KeysOf(dictionary), (std::vector<std::string>{"b", "ab", "a"}));
    delete first;
}

TEST(DictionaryTest, ValuesLiveAndDieWithTheDictionary) {
    Tracked::live = 0;
    {
        Dictionary dictionary;
        dictionary.Insert("one", new Tracked(1));
        dictionary.Insert("on", new Tracked(2));
        dictionary.Insert("two", new Tracked(3));
        delete dictionary.Insert("one", new Tracked(4));
        EXPECT_EQ(Tracked::live, 3);
    }
    EXPECT_EQ(Tracked::live, 0);
}

TEST(DictionaryTest, LookupFindsOnlyWholeKeys) {
    Dictionary dictionary;
    Collect(dictionary, {"ab", "xyz"});
    struct Case {
        const char* key;
        const char* value;  // the stored text, or null for absent
    } cases[] = {
        {"ab", "<ab>"}, {"a", nullptr}, {"abc", nullptr}, {"b", nullptr}, {"xy", nullptr},
        {"xyz", "<xyz>"}, {"xyzz", nullptr}, {"AB", nullptr}, {"", nullptr}, {nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key != nullptr ? c.key : "<absent>");
        const Object* found = dictionary.Lookup(c.key);
        if (c.value == nullptr) {
            EXPECT_EQ(found, nullptr);
        } else {
            ASSERT_NE(found, nullptr);
            EXPECT_STREQ(static_cast<const String*>(found)->Text(), c.value);
        }
    }
    EXPECT_EQ(dictionary.Lookup(String("ab")), dictionary.Lookup("ab"));
}

TEST(DictionaryTest, LookupOrCreateMakesOneEmptyStringPerKey) {
    Dictionary dictionary;
    Object* made = dictionary.LookupOrCreate("DOM\\alice");
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(made->classTag, kStringTag);
    EXPECT_STREQ(static_cast<String*>(made)->Text(), "");
    EXPECT_EQ(dictionary.Count(), 1);
    EXPECT_EQ(dictionary.LookupOrCreate("DOM\\alice"), made);
    EXPECT_EQ(dictionary.LookupOrCreate(String("DOM\\alice")), made);
    EXPECT_EQ(dictionary.Count(), 1);
    EXPECT_NE(dictionary.LookupOrCreate("DOM\\al"), made);
    EXPECT_EQ(dictionary.Count(), 2);
}

TEST(DictionaryTest, EmptyKeyIsKeptAndComesLast) {
    Dictionary dictionary;
    Collect(dictionary, {"b", "", "a"});
    EXPECT_EQ(dictionary.Count(), 3);
    EXPECT_EQ(KeysOf(dictionary), (std::vector<std::string>{"a", "b", ""}));
    const Object* value = dictionary.Lookup("");
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(static_cast<const String*>(value)->Text(), "<>");
    EXPECT_EQ(dictionary.LookupOrCreate(""), value);
    EXPECT_EQ(dictionary.Count(), 3);
    EXPECT_EQ(PrintedBy(dictionary), "<a><b><>");
}

TEST(DictionaryTest, PrintWritesTheValuesInTraversalOrder) {
    Dictionary dictionary;
    Collect(dictionary, {"ab", "b", "a"});
    EXPECT_EQ(PrintedBy(dictionary), "<b><ab><a>");
    EXPECT_EQ(PrintedBy(Dictionary()), "");
}

TEST(DictionaryTest, KeysIsAnOwningArrayWithRoomForOneMore) {
    Dictionary dictionary;
    std::vector<std::string> names;
    for (int i = 0; i < 60; ++i) {
        names.push_back("name" + std::to_string(i));
    }
    Collect(dictionary, names);
    Array* keys = dictionary.Keys();
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(keys->classTag, kArrayTag);
    EXPECT_NE(keys->ownsElements, 0);
    EXPECT_EQ(keys->blockSize, 3u);  // capacity 61
    EXPECT_EQ(keys->LastIndex(), 59);
    // The listers sort the keys afterwards; that must leave the dictionary alone.
    EXPECT_EQ(keys->Sort(0, keys->LastIndex()), 1);
    delete keys;
    EXPECT_EQ(dictionary.Count(), 60);
    EXPECT_NE(dictionary.Lookup("name0"), nullptr);

    Array* none = Dictionary().Keys();
    EXPECT_EQ(none->LastIndex(), -1);
    EXPECT_EQ(none->blockSize, 1u);
    delete none;
}

TEST(DictionaryTest, CompareCountsKeysOnly) {
    struct Case {
        std::vector<std::string> left;
        std::vector<std::string> right;
        int expected;
    } cases[] = {
        {{"a", "b"}, {"x", "y"}, 0},
        {{}, {}, 0},
        {{"a", "b", "c"}, {"a"}, 1},
        {{"a"}, {"a", "b"}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.left.size()) + " vs " + std::to_string(c.right.size()));
        Dictionary left;
        Dictionary right;
        Collect(left, c.left);
        Collect(right, c.right);
        EXPECT_EQ(left.Compare(&right), c.expected);
    }
    Dictionary dictionary;
    String text("a");
    EXPECT_EQ(dictionary.Compare(&text), 1);
    EXPECT_EQ(dictionary.Compare(nullptr), 1);
}

TEST(DictionaryTest, MakeCopyIsAbsentWithoutReport) {
    Dictionary dictionary;
    Collect(dictionary, {"a"});
    Object* copy = &dictionary;
    EXPECT_EQ(StdoutOf([&] { copy = dictionary.MakeCopy(); }), "");
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(dictionary.Spare(), 0);
}

}  // namespace
