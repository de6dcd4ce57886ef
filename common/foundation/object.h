// The root of every class that the programs keep in a collection.
//
// Object fixes the small virtual protocol that the collections rely on, in
// this slot order: destructor, Print, Compare, MakeCopy, Spare.  Subclasses
// append their own slots after these and never reorder them.  Every object
// carries a class tag (the table below) so that Compare implementations can
// recognise objects of their own class without run-time type information.
//
// Operations that a class leaves undefined fall back to the defaults here,
// which write one report line to standard output,
//     "Object <classTag>: <message>\n"
// and return a harmless default.  Nothing here throws.
//
// Class tags: Object 0, String 1, ArrayBase 3, Array 4, Dictionary 7,
// ByteBuffer 8.  Tags 2, 5 and 6 are unused.
#pragma once

#include <cstdint>
#include <cstdio>

inline constexpr std::int32_t kObjectTag = 0;
inline constexpr std::int32_t kStringTag = 1;
inline constexpr std::int32_t kArrayBaseTag = 3;
inline constexpr std::int32_t kArrayTag = 4;
inline constexpr std::int32_t kDictionaryTag = 7;
inline constexpr std::int32_t kByteBufferTag = 8;

class Object {
public:
    // Every constructor, of this class and of every subclass, sets
    // reportFlag to 1; each subclass constructor then overwrites classTag
    // with its own, so a finished object carries its most derived tag.
    Object();
    Object(const Object& other);             // a fresh root: tag 0, flag 1
    Object& operator=(const Object& other);  // keeps this object's tag and flag
    virtual ~Object();

    // Writes the object to stream; n is read by no class (callers pass 0).
    // The root writes nothing.
    virtual void Print(std::FILE* stream, int n) const;

    // -1, 0 or 1 in the class's own order.  The root reports
    // "undefined Compare()" and answers 0 when other has this object's tag,
    // otherwise -1 (also for an absent other).
    virtual int Compare(const Object* other) const;

    // A new, independent copy that the caller owns, or absent.  The root
    // reports "undefined Object::MakeCopy()" and answers absent.
    virtual Object* MakeCopy() const;

    // Reserved query; no class gives it a meaning.  Always 0 here.
    virtual int Spare();

    // Writes "Object <classTag>: <message>\n" to standard output when
    // reportFlag is non-zero.
    void Report(const char* message) const;

    std::int32_t reportFlag;  // non-zero: Report writes its line (always 1)
    std::int32_t classTag;    // the most derived class, see the tag table
};
