// Shared helpers of the foundation tests: capturing what an operation
// writes to standard output or to a stream, and an Object subclass that
// counts its live instances so tests can prove who destroyed what.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/foundation/array.h"
#include "common/foundation/object.h"
#include "common/foundation/string.h"

// Runs f and returns everything it wrote to standard output.
template <typename F>
std::string StdoutOf(F&& f) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// What object.Print (stream, 0) writes.
inline std::string PrintedBy(const Object& object) {
    char* buffer = nullptr;
    std::size_t length = 0;
    std::FILE* stream = open_memstream(&buffer, &length);
    if (stream == nullptr) {
        ADD_FAILURE() << "open_memstream failed";
        return {};
    }
    object.Print(stream, 0);
    std::fclose(stream);
    std::string text(buffer, length);
    std::free(buffer);
    return text;
}

// An element that knows how many of its kind are alive and orders itself
// by an integer key.
class Tracked : public Object {
public:
    explicit Tracked(int k) : key(k) { ++live; }
    Tracked(const Tracked& other) : Object(), key(other.key) { ++live; }
    ~Tracked() override { --live; }
    int Compare(const Object* other) const override {
        const int theirs = static_cast<const Tracked*>(other)->key;
        return (key > theirs) - (key < theirs);
    }
    Object* MakeCopy() const override { return new Tracked(*this); }

    int key;                 // the ordering key
    static inline int live;  // instances alive now
};

// The texts of a String array's elements 0..LastIndex.
inline std::vector<std::string> TextsOf(const ArrayBase& array) {
    std::vector<std::string> texts;
    for (std::int32_t i = 0; i <= array.LastIndex(); ++i) {
        const Object* element = array.Get(i);
        texts.push_back(element != nullptr && element->classTag == kStringTag
                            ? static_cast<const String*>(element)->Text()
                            : std::string("<not a String>"));
    }
    return texts;
}
