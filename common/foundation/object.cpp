// The root class's defaults: they report the misuse and return a value that
// lets the caller go on, because nothing in the library throws.
#include "common/foundation/object.h"

Object::Object() : reportFlag(1), classTag(kObjectTag) {}

Object::Object(const Object& /*other*/) : reportFlag(1), classTag(kObjectTag) {}

Object& Object::operator=(const Object& /*other*/) { return *this; }

Object::~Object() = default;

void Object::Print(std::FILE* /*stream*/, int /*n*/) const {}

int Object::Compare(const Object* other) const {
    Report("undefined Compare()");
    return (other != nullptr && other->classTag == classTag) ? 0 : -1;
}

Object* Object::MakeCopy() const {
    Report("undefined Object::MakeCopy()");
    return nullptr;
}

int Object::Spare() { return 0; }

void Object::Report(const char* message) const {
    if (reportFlag != 0) {
        std::fprintf(stdout, "Object %d: %s\n", static_cast<int>(classTag), message != nullptr ? message : "");
    }
}
