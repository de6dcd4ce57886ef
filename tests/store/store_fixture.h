// Shared helpers of the store's tests: a private folder per test, a world
// opened in it, and the example world of the format's documentation.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "store/world.h"

namespace storetest {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "store-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;  // the folder
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// The example world of docs/world-format.md.
inline const char* const kExampleWorld = R"json({
  "local": "WKSTN01",
  "logon": "CORP\\alice",
  "domains": [ { "name": "CORP", "sid": "S-1-5-21-1000-2000-3000", "dc": "CORPDC",
                 "accounts": [ { "name": "Domain Admins", "rid": 512, "type": "group", "members": ["Administrator"] },
                               { "name": "alice", "rid": 1104, "type": "user" },
                               { "name": "olduser", "rid": 1200, "type": "user", "deleted": true } ] } ],
  "machines": [ { "name": "WKSTN01", "sid": "S-1-5-21-4000-5000-6000", "domain": "CORP",
                  "online": true, "remote_registry": true,
                  "accounts": [ { "name": "Administrator", "rid": 500, "type": "user" },
                                { "name": "helpdesk", "rid": 1001, "type": "alias", "members": ["CORP\\alice"] } ],
                  "builtin": { "Administrators": ["WKSTN01\\Administrator", "CORP\\Domain Admins"], "Users": ["CORP\\Domain Users"] },
                  "privileges": { "SeSecurityPrivilege": ["BUILTIN\\Administrators"] },
                  "registry": [ { "key": "HKLM\\SOFTWARE\\App", "sd": "O:BAG:SYD:(A;CI;KA;;;BA)(A;CI;KR;;;BU)",
                                  "values": { "Name": "text" } } ],
                  "shares": [ { "name": "data", "path": "C:\\data", "remark": "Team data", "type": "disk",
                                "max_uses": -1, "sd": "O:BAG:BAD:(A;;FA;;;WD)" },
                              { "name": "ADMIN$", "path": "C:\\WINDOWS", "remark": "Remote Admin", "type": "disk", "sd": null } ] },
                { "name": "CORPDC", "sid": "S-1-5-21-7000-8000-9000", "domain": "CORP" } ]
})json";

// A test with its own folder and an empty world in it.
class WorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        world_ = platform::store::World::Open(folder_.File("world.db"), false, &error);
        ASSERT_TRUE(world_) << error;
    }

    // Imports text, failing the test with the importer's message.
    void Import(const std::string& text) {
        std::string error;
        ASSERT_TRUE(world_->ImportJson(text, &error)) << error;
    }

    TempFolder folder_;
    std::unique_ptr<platform::store::World> world_;
};

}  // namespace storetest
