// The character tree behind Dictionary.
//
// Records never move or go away before the Dictionary does, so they are
// carved from blocks the Dictionary owns and released with it: a lister
// builds one tree per registry key, one record per character of every name,
// and allocating those one by one dominated the walk.  The tree's depth is the length of the longest key, so
// the recursive walks below are bounded by key length, not by key count.
#include "common/foundation/dictionary.h"

#include <cstdlib>
#include <new>
#include <string>

#include "common/foundation/string.h"

struct NodeBlock {
    static constexpr int kNodes = 64;  // records per block
    NodeBlock* next;                   // older block
    int used;                          // records handed out from nodes
    DictionaryNode nodes[kNodes];      // the storage
};

namespace {

// The record for ch in the level headed by head, or absent.
DictionaryNode* FindInLevel(const DictionaryNode* head, std::uint8_t ch) {
    for (DictionaryNode* r = head->next; r != head; r = r->next) {
        if (r->ch == ch) {
            return r;
        }
    }
    return nullptr;
}

// Releases the values held in the level headed by head and below it; the
// records themselves go with their blocks.
void FreeValues(DictionaryNode* head) {
    for (DictionaryNode* r = head->next; r != head; r = r->next) {
        if (r->child != nullptr) {
            FreeValues(r->child);
        }
        if (r->kind == DictionaryNode::kValue) {
            delete r->value;
        }
    }
}

// Calls visit (key, record) for every value-holding record below head in
// traversal order.  The key is built in one reusable buffer and becomes a
// String only where a key ends: listers traverse once per registry key, and
// a String per tree level made that the walk's hottest spot.
template <typename Visit>
void Traverse(const DictionaryNode* head, std::string& prefix, Visit& visit) {
    for (const DictionaryNode* r = head->next; r != head; r = r->next) {
        prefix.push_back(static_cast<char>(r->ch));
        if (r->child != nullptr) {
            Traverse(r->child, prefix, visit);
        }
        if (r->kind == DictionaryNode::kValue) {
            const String key(prefix.c_str());
            visit(key, r);
        }
        prefix.pop_back();
    }
}

}  // namespace

Dictionary::Dictionary() : Object(), root(nullptr), emptyKeyValue(nullptr), emptyKeyHeld(false), nodeBlocks(nullptr) {
    classTag = kDictionaryTag;
    root = NewNode(DictionaryNode::kHead, 0, nullptr);
    root->count = 0;
}

DictionaryNode* Dictionary::NewNode(std::uint8_t kind, std::uint8_t ch, DictionaryNode* child) {
    if (nodeBlocks == nullptr || nodeBlocks->used == NodeBlock::kNodes) {
        NodeBlock* block = new (std::nothrow) NodeBlock;
        if (block == nullptr) {
            std::fputs("out of memory\n", stderr);
            std::abort();
        }
        block->next = nodeBlocks;
        block->used = 0;
        nodeBlocks = block;
    }
    DictionaryNode* node = &nodeBlocks->nodes[nodeBlocks->used++];
    node->next = node;
    node->kind = kind;
    node->ch = ch;
    node->child = child;
    node->value = nullptr;
    return node;
}

Dictionary::~Dictionary() {
    FreeValues(root);
    delete emptyKeyValue;
    while (nodeBlocks != nullptr) {
        NodeBlock* older = nodeBlocks->next;
        delete nodeBlocks;
        nodeBlocks = older;
    }
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
            place->child = NewNode(DictionaryNode::kHead, 0, place);
            place = place->child;
        }
        // A new character record goes first in its level.
        DictionaryNode* record = NewNode(DictionaryNode::kCharacter, k[i], nullptr);
        record->next = place->next;
        place->next = record;
        place = record;
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
    std::string prefix;
    Traverse(root, prefix, append);
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
    std::string prefix;
    Traverse(root, prefix, print);
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
