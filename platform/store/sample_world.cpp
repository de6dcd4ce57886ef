// The sample world placeholder (replaced below by the full world).
#include "store/world_impl.h"

namespace platform::store {

const std::string& SampleWorldJson() {
    static const std::string text = R"({"local": "", "logon": "", "domains": [], "machines": []})";
    return text;
}

}  // namespace platform::store
