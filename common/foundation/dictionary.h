// A map from non-empty text keys to objects, stored as a character tree.
//
// Each level of the tree is a ring of records that starts and ends at a
// head record.  A character record holds one key byte, the head of the
// level of the bytes that follow it (absent when no key continues), and,
// when a key ends there, the key's value.  Invariants:
//
//   1. A new character record is linked in first, right after its level's
//      head, so a level lists its characters from the most recently created
//      to the oldest.
//   2. The root head's count is the number of records holding a value.
//   3. The Dictionary owns every record and every value; it only grows.
//
// Traversal order, used by Keys and Print: at each level take the records
// in ring order; for each, first the keys below it (its character appended
// to the prefix), then its own key if it holds a value.  So a key follows
// every longer key that extends it, and at each level characters appear in
// reverse order of first use: inserting ab, b, a gives b, ab, a.
//
// The tree cannot hold the empty key, yet a caller collecting names may
// meet an empty one and then uses the result of LookupOrCreate at once.
// So the empty key is kept beside the tree, as the key of the root itself:
// it counts in Count, and in the traversal it comes last, after every
// longer key, exactly where the rule above puts a key ending at the root.
// An absent key is read as the empty key.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/foundation/array.h"
#include "common/foundation/object.h"
#include "common/foundation/string.h"

struct DictionaryNode {
    static constexpr std::uint8_t kCharacter = 0;  // character record, no value
    static constexpr std::uint8_t kHead = 1;       // head of a level
    static constexpr std::uint8_t kValue = 2;      // character record at which a key ends

    DictionaryNode* next;  // next record of the level; the ring returns to the head
    std::uint8_t kind;     // kCharacter, kHead or kValue
    std::uint8_t ch;       // key byte of a character record, 0 in a head
    DictionaryNode* child; // record: head of the following level; head: owning record (absent for root)
    union {
        Object* value;       // record: the value, absent unless kind is kValue
        std::int32_t count;  // root head: number of keys holding a value
    };
};

class Dictionary : public Object {
public:
    Dictionary();  // an empty tree
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
    ~Dictionary() override;  // releases every record and destroys every value

    // Each value's Print (stream, 0) in traversal order, nothing between.
    void Print(std::FILE* stream, int n) const override;
    // 1 when other is not a Dictionary; otherwise the sign of the difference
    // of the key counts (equal counts compare 0 whatever the keys).
    int Compare(const Object* other) const override;
    // A Dictionary cannot be copied: absent, without a report line.
    Object* MakeCopy() const override;

    // Stores value under key and answers the value previously stored there
    // (absent if none), which passes back to the caller.
    Object* Insert(const char* key, Object* value);
    Object* Insert(const String& key, Object* value) { return Insert(key.Text(), value); }
    // The value stored under key, or absent.
    Object* Lookup(const char* key) const;
    Object* Lookup(const String& key) const { return Lookup(key.Text()); }
    // Lookup; when nothing is stored, a new empty String is stored and
    // answered.  The Dictionary keeps ownership.
    Object* LookupOrCreate(const char* key);
    Object* LookupOrCreate(const String& key) { return LookupOrCreate(key.Text()); }
    // Number of keys holding a value.
    std::int32_t Count() const;
    // A new owning Array (capacity Count () + 1) of String copies of the
    // keys in traversal order; the caller owns it.
    Array* Keys() const;

    DictionaryNode* root;  // head of the first level

private:
    Object* emptyKeyValue;              // value stored under the empty key, or absent
    bool emptyKeyHeld;                  // the empty key has been inserted (counts as a key)
    struct NodeBlock* nodeBlocks;       // storage of every record, newest block first

    // A fresh record from the dictionary's own blocks.
    DictionaryNode* NewNode(std::uint8_t kind, std::uint8_t ch, DictionaryNode* child);

    // The record of key's last byte, or absent.
    DictionaryNode* Find(const char* key) const;
};
