// Small changes made through the world's JSON form: the world is exported,
// changed and imported again in one transaction, so every change passes the
// importer's checks and the file never holds half of it.
#pragma once

#include <nlohmann/json.hpp>

#include <functional>
#include <string>

#include "ntsim.h"

namespace ntsim {

using Json = nlohmann::ordered_json;

// Runs `change` on the world document; prints the failure and returns 1
// when it or the import refuses.
int EditWorld(Context& context, const std::function<bool(Json& doc, std::string& error)>& change);

// The element of a list of objects whose "name" matches without regard to
// case; null when none.
Json* FindNamed(Json& list, const std::string& name);
// Removes it; false when none.
bool RemoveNamed(Json& list, const std::string& name);

}  // namespace ntsim
