// The private state of a World, shared by the store's source files.
#pragma once

#include <string>

#include "store/db.h"
#include "store/world.h"

namespace platform::store {

inline constexpr int kSchemaVersion = 1;

struct World::Impl {
    Db db;             // the connection
    std::string path;  // the world file
};

// Creates the tables of an empty world (no transaction of its own).
bool CreateSchema(Db& db);
// Replaces the world's content by the parsed JSON text, inside the caller's
// transaction.  False with *error naming the place.
bool ImportInto(Db& db, const std::string& json, std::string* error);
// The JSON text of the world, as ExportJson.
std::string ExportFrom(Db& db);
// The sample world's JSON text.
const std::string& SampleWorldJson();

}  // namespace platform::store
