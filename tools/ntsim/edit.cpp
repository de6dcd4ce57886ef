// JSON-form edits of a world; see edit.h.
#include "edit.h"

#include "store/db.h"

namespace ntsim {

int EditWorld(Context& context, const std::function<bool(Json& doc, std::string& error)>& change) {
    auto world = context.Open();
    if (!world) return 1;
    std::string error;
    const bool ok = world->EditJson(
        [&](std::string& text, std::string* why) {
            Json doc = Json::parse(text, nullptr, false);
            if (doc.is_discarded()) {
                *why = "the world's own JSON does not parse";
                return false;
            }
            if (!change(doc, *why)) return false;
            text = doc.dump();
            return true;
        },
        &error);
    return ok ? 0 : Fail(error);
}

Json* FindNamed(Json& list, const std::string& name) {
    if (!list.is_array()) return nullptr;
    for (Json& item : list)
        if (item.is_object() && item.contains("name") && item["name"].is_string() &&
            platform::store::EqualNoCase(item["name"].get<std::string>(), name))
            return &item;
    return nullptr;
}

bool RemoveNamed(Json& list, const std::string& name) {
    if (!list.is_array()) return false;
    for (auto it = list.begin(); it != list.end(); ++it)
        if (it->is_object() && it->contains("name") && (*it)["name"].is_string() &&
            platform::store::EqualNoCase((*it)["name"].get<std::string>(), name)) {
            list.erase(it);
            return true;
        }
    return false;
}

}  // namespace ntsim
