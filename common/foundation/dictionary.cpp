// The character tree behind Dictionary.
//
// Records are allocated one by one and never move or go away before the
// Dictionary does.  The tree's depth is the length of the longest key, so
// the recursive walks below are bounded by key length, not by key count.
#include "common/foundation/dictionary.h"

#include <cstdlib>
#include <new>

#include "common/foundation/string.h"

namespace {

DictionaryNode* NewNode(std::uint8_t kind, std::uint8_t ch, DictionaryNode* child) {
    DictionaryNode* node = new (std::nothrow) DictionaryNode;
    if (node == nullptr) {
        std::fputs("out of memory\n", stderr);
        std::abort();
    }
    node->next = node;
    node->kind = kind;
    node->ch = ch;
    node->child = child;
    node->value = nullptr;
    return node;
}

// A new empty level under owner (absent for the root).
DictionaryNode* NewLevel(DictionaryNode* owner) { return NewNode(DictionaryNode::kHead, 0, owner); }

// The record for ch in the level headed by head, or absent.
DictionaryNode* FindInLevel(const DictionaryNode* head, std::uint8_t ch) {
    for (DictionaryNode* r = head->next; r != head; r = r->next) {
        if (r->ch == ch) {
            return r;
        }
    }
    return nullptr;
}

// Links a new character record first in the level headed by head.
DictionaryNode* LinkFirst(DictionaryNode* head, std::uint8_t ch) {
    DictionaryNode* record = NewNode(DictionaryNode::kCharacter, ch, nullptr);
    record->next = head->next;
    head->next = record;
    return record;
}

// Releases the level headed by head with everything below it.
void FreeLevel(DictionaryNode* head) {
    DictionaryNode* r = head->next;
    while (r != head) {
        DictionaryNode* following = r->next;
        if (r->child != nullptr) {
            FreeLevel(r->child);
        }
        if (r->kind == DictionaryNode::kValue) {
            delete r->value;
        }
        delete r;
        r = following;
    }
    delete head;
}

// Calls visit (prefix + ch, record) for every value-holding record below
// head in traversal order.
template <typename Visit>
void Traverse(const DictionaryNode* head, const String& prefix, Visit& visit) {
    for (const DictionaryNode* r = head->next; r != head; r = r->next) {
        const String key = prefix + static_cast<char>(r->ch);
        if (r->child != nullptr) {
            Traverse(r->child, key, visit);
        }
        if (r->kind == DictionaryNode::kValue) {
            visit(key, r);
        }
    }
}

}  // namespace

Dictionary::Dictionary() : Object(), root(NewLevel(nullptr)), emptyKeyValue(nullptr), emptyKeyHeld(false) {
    classTag = kDictionaryTag;
    root->count = 0;
}

Dictionary::~Dictionary() {
    FreeLevel(root);
    delete emptyKeyValue;
}

Object* Dictionary::Insert(const char* key, Object* value) {
    if (key == nullptr || key[0] == '\0') {
        Object* previous = emptyKeyValue;
        if (!emptyKeyHeld) {
            ++root->count;
        }
        emptyKeyHeld = true;
        emptyKeyValue = value;
        return previous;
    }
    const auto* k = reinterpret_cast<const std::uint8_t*>(key);
    DictionaryNode* level = root;
    DictionaryNode* place = nullptr;  // where the rest of the key is created
    std::size_t i = 0;
    for (;;) {
        DictionaryNode* record = FindInLevel(level, k[i]);
        if (record == nullptr) {
            place = level;
            break;
        }
        if (k[i + 1] == '\0') {
            Object* previous = record->kind == DictionaryNode::kValue ? record->value : nullptr;
            if (record->kind != DictionaryNode::kValue) {
                ++root->count;
            }
            record->kind = DictionaryNode::kValue;
            record->value = value;
            return previous;
        }
        ++i;
        if (record->child == nullptr) {
            place = record;
            break;
        }
        level = record->child;
    }
    for (; k[i] != '\0'; ++i) {
        if (place->kind != DictionaryNode::kHead) {
            place->child = NewLevel(place);
            place = place->child;
        }
        place = LinkFirst(place, k[i]);
    }
    place->kind = DictionaryNode::kValue;
    place->value = value;
    ++root->count;
    return nullptr;
}

DictionaryNode* Dictionary::Find(const char* key) const {
    if (key == nullptr || key[0] == '\0') {
        return nullptr;
    }
    const auto* k = reinterpret_cast<const std::uint8_t*>(key);
    const DictionaryNode* level = root;
    for (std::size_t i = 0;; ++i) {
        DictionaryNode* record = FindInLevel(level, k[i]);
        if (record == nullptr) {
            return nullptr;
        }
        if (k[i + 1] == '\0') {
            return record;
        }
        if (record->child == nullptr) {
            return nullptr;
        }
        level = record->child;
    }
}

Object* Dictionary::Lookup(const char* key) const {
    if (key == nullptr || key[0] == '\0') {
        return emptyKeyValue;
    }
    const DictionaryNode* record = Find(key);
    return record != nullptr && record->kind == DictionaryNode::kValue ? record->value : nullptr;
}

Object* Dictionary::LookupOrCreate(const char* key) {
    Object* found = Lookup(key);
    if (found != nullptr) {
        return found;
    }
    String* fresh = new (std::nothrow) String();
    if (fresh == nullptr) {
        std::fputs("out of memory\n", stderr);
        std::abort();
    }
    Insert(key, fresh);
    return fresh;
}

std::int32_t Dictionary::Count() const { return root->count; }

Array* Dictionary::Keys() const {
    Array* keys = new (std::nothrow) Array(static_cast<std::uint32_t>(root->count) + 1u, 1);
    if (keys == nullptr) {
        std::fputs("out of memory\n", stderr);
        std::abort();
    }
    auto append = [keys](const String& key, const DictionaryNode*) { keys->Append(const_cast<String*>(&key), 1); };
    Traverse(root, String(), append);
    if (emptyKeyHeld) {
        String empty;
        keys->Append(&empty, 1);
    }
    return keys;
}

void Dictionary::Print(std::FILE* stream, int /*n*/) const {
    auto print = [stream](const String&, const DictionaryNode* record) {
        if (record->value != nullptr) {
            record->value->Print(stream, 0);
        }
    };
    Traverse(root, String(), print);
    if (emptyKeyValue != nullptr) {
        emptyKeyValue->Print(stream, 0);
    }
}

int Dictionary::Compare(const Object* other) const {
    if (other == nullptr || other->classTag != kDictionaryTag) {
        return 1;
    }
    const std::int32_t mine = Count();
    const std::int32_t theirs = static_cast<const Dictionary*>(other)->Count();
    return (mine > theirs) - (mine < theirs);
}

Object* Dictionary::MakeCopy() const { return nullptr; }
