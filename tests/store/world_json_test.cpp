// The JSON world format: exact round trips, errors that name their place,
// and the defaults a world gets for what its file leaves out.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "security/sddl.h"
#include "store/principals.h"
#include "store_fixture.h"

namespace {

using platform::store::Bytes;
using storetest::kExampleWorld;
using storetest::WorldTest;

std::string Sddl(platform::store::World& world, platform::store::Id machineId, const Bytes& sd) {
    Bytes machineSid, domainSid;
    world.SddlSids(machineId, machineSid, domainSid);
    platform::SddlContext context;
    context.machineSid = reinterpret_cast<const SID*>(machineSid.data());
    context.domainSid = domainSid.empty() ? nullptr : reinterpret_cast<const SID*>(domainSid.data());
    std::string text;
    const SECURITY_INFORMATION all = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                     DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
    if (!platform::SecurityDescriptorToSddl(sd.data(), sd.size(), all, context, text)) return "<invalid>";
    return text;
}

class WorldJsonTest : public WorldTest {};

TEST_F(WorldJsonTest, ExportThenImportGivesTheSameText) {
    for (const std::string& source : {std::string(kExampleWorld), platform::store::World::SampleJson()}) {
        SCOPED_TRACE(source.substr(0, 60));
        Import(source);
        const std::string first = world_->ExportJson();
        std::string error;
        auto other = platform::store::World::Open(folder_.File("other.db"), false, &error);
        ASSERT_TRUE(other) << error;
        ASSERT_TRUE(other->ImportJson(first, &error)) << error;
        EXPECT_EQ(other->ExportJson(), first);
        // Importing over a full world replaces it rather than adding to it.
        ASSERT_TRUE(other->ImportJson(first, &error)) << error;
        EXPECT_EQ(other->ExportJson(), first);
    }
}

TEST_F(WorldJsonTest, ExportKeepsWhatTheFileSaid) {
    Import(kExampleWorld);
    const auto doc = nlohmann::json::parse(world_->ExportJson());
    EXPECT_EQ(doc["local"], "WKSTN01");
    EXPECT_EQ(doc["logon"], "CORP\\alice");
    const auto& machine = doc["machines"][0];
    EXPECT_EQ(machine["builtin"]["Administrators"], nlohmann::json({"WKSTN01\\Administrator", "CORP\\Domain Admins"}));
    EXPECT_EQ(machine["privileges"]["SeSecurityPrivilege"], nlohmann::json({"BUILTIN\\Administrators"}));
    EXPECT_EQ(machine["shares"][0]["name"], "data");
    EXPECT_EQ(machine["shares"][1]["sd"], nullptr);
    EXPECT_EQ(doc["machines"][1].count("privileges"), 0u) << "a machine without privileges keeps the defaults";
    bool found = false;
    for (const auto& key : machine["registry"])
        if (key["key"] == "HKLM\\SOFTWARE\\App") {
            found = true;
            EXPECT_EQ(key["values"]["Name"], "text");
        }
    EXPECT_TRUE(found);
}

struct BadWorld {
    const char* what;       // the case
    std::string text;       // the document
    const char* expected;   // start of the error message
};

TEST_F(WorldJsonTest, ErrorsNameThePlaceAndLeaveTheWorldAlone) {
    Import(kExampleWorld);
    const std::string before = world_->ExportJson();
    auto machine = [](const std::string& fields) {
        return R"({"local": "M", "machines": [{"name": "M", "sid": "S-1-5-21-1-2-3")" + fields + "}]}";
    };
    const BadWorld cases[] = {
        {"not JSON", "{\"local\": ", "not valid JSON"},
        {"unknown top field", R"({"colour": 1})", "unknown field \"colour\""},
        {"machines not a list", R"({"machines": {}})", "machines: expected a list"},
        {"unknown domain field", R"({"domains": [{"name": "D", "sid": "S-1-5-21-9-9-9", "forest": 1}]})",
         "domains[0]: unknown field \"forest\""},
        {"bad domain SID", R"({"domains": [{"name": "D", "sid": "S-1-5-x"}]})", "domains[0].sid: malformed SID"},
        {"missing machine SID", R"({"machines": [{"name": "M"}]})", "machines[0].sid: missing"},
        {"unknown account type",
         R"({"domains": [{"name": "D", "sid": "S-1-5-21-9-9-9", "accounts": [{"name": "a", "rid": 1000, "type": "robot"}]}]})",
         "domains[0].accounts[0].type: unknown account type \"robot\""},
        {"RID out of range",
         R"({"domains": [{"name": "D", "sid": "S-1-5-21-9-9-9", "accounts": [{"name": "a", "rid": -1, "type": "user"}]}]})",
         "domains[0].accounts[0].rid: out of range"},
        {"members of a user",
         R"({"domains": [{"name": "D", "sid": "S-1-5-21-9-9-9", "accounts": [{"name": "a", "rid": 1000, "type": "user", "members": []}]}]})",
         "domains[0].accounts[0].members: only groups and aliases have members"},
        {"RID twice",
         R"({"domains": [{"name": "D", "sid": "S-1-5-21-9-9-9", "accounts": [{"name": "a", "rid": 1000, "type": "user"}, {"name": "b", "rid": 1000, "type": "user"}]}]})",
         "domains[0].accounts[1].rid: RID 1000 used twice"},
        {"unknown member", machine(R"(, "accounts": [{"name": "g", "rid": 1000, "type": "alias", "members": ["nobody"]}])"),
         "machines[0].accounts[0].members[0]: unknown account \"nobody\""},
        {"unknown controller", R"({"domains": [{"name": "D", "sid": "S-1-5-21-9-9-9", "dc": "GONE"}]})",
         "domains[0].dc: no machine named \"GONE\""},
        {"unknown local", R"({"local": "GONE"})", "local: no machine named \"GONE\""},
        {"unknown machine domain", R"({"machines": [{"name": "M", "sid": "S-1-5-21-1-2-3", "domain": "X"}]})",
         "machines[0].domain: no domain named \"X\""},
        {"online not boolean", machine(R"(, "online": "yes")"), "machines[0].online: expected true or false"},
        {"unknown builtin alias", machine(R"(, "builtin": {"Wizards": []})"),
         "machines[0].builtin: unknown builtin alias \"Wizards\""},
        {"unknown privilege", machine(R"(, "privileges": {"SeFlyPrivilege": ["Everyone"]})"),
         "machines[0].privileges: unknown privilege \"SeFlyPrivilege\""},
        {"key outside the hives", machine(R"(, "registry": [{"key": "HKCU\\Software"}])"),
         "machines[0].registry[0].key: must start with HKLM or HKU"},
        {"empty key name", machine(R"(, "registry": [{"key": "HKLM\\A\\\\B"}])"), "machines[0].registry[0].key: empty key name"},
        {"key twice", machine(R"(, "registry": [{"key": "HKLM\\A"}, {"key": "hklm\\a"}])"),
         "machines[0].registry[1].key: key listed twice"},
        {"bad SDDL", machine(R"j(, "registry": [{"key": "HKLM\\A", "sd": "O:BAG:SYD:(A;;KA;;;ZZ)"}])j"),
         "machines[0].registry[0].sd: bad descriptor at offset"},
        {"unknown key field", machine(R"(, "registry": [{"key": "HKLM\\A", "acl": ""}])"),
         "machines[0].registry[0]: unknown field \"acl\""},
        {"negative DWORD", machine(R"(, "registry": [{"key": "HKLM\\A", "values": {"Count": -4}}])"),
         "machines[0].registry[0].values.Count: expected a number 0..4294967295"},
        {"bad hex", machine(R"(, "registry": [{"key": "HKLM\\A", "values": {"Blob": {"type": "binary", "hex": "0g"}}}])"),
         "machines[0].registry[0].values.Blob.hex: expected pairs of hexadecimal digits"},
        {"unknown value type", machine(R"(, "registry": [{"key": "HKLM\\A", "values": {"V": {"type": "qword", "hex": ""}}}])"),
         "machines[0].registry[0].values.V.type: unknown value type \"qword\""},
        {"share type", machine(R"(, "shares": [{"name": "s", "type": "tape"}])"),
         "machines[0].shares[0].type: unknown share type \"tape\""},
        {"share max_uses text", machine(R"(, "shares": [{"name": "s", "max_uses": "many"}])"),
         "machines[0].shares[0].max_uses: expected a whole number"},
        {"share twice", machine(R"(, "shares": [{"name": "s"}, {"name": "S"}])"),
         "machines[0].shares[1].name: second share named \"S\""},
        {"share bad sd", machine(R"(, "shares": [{"name": "s", "sd": 7}])"), "machines[0].shares[0].sd: expected SDDL text"},
        {"name with backslash", machine(R"(, "accounts": [{"name": "a\\b", "rid": 1000, "type": "user"}])"),
         "machines[0].accounts[0].name: a name may not hold a backslash"},
    };
    for (const BadWorld& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        EXPECT_FALSE(world_->ImportJson(c.text, &error));
        EXPECT_EQ(error.rfind(c.expected, 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    EXPECT_EQ(world_->ExportJson(), before) << "a failed import must change nothing";
}

TEST_F(WorldJsonTest, PrivilegesDefaultWhenLeftOut) {
    Import(kExampleWorld);
    auto listed = world_->MachineByName("WKSTN01");
    auto defaulted = world_->MachineByName("CORPDC");
    ASSERT_TRUE(listed && defaulted);
    const auto explicitGrants = world_->PrivilegesOn(listed->id);
    ASSERT_EQ(explicitGrants.size(), 1u);
    EXPECT_EQ(explicitGrants[0].privilege, "SeSecurityPrivilege");
    EXPECT_EQ(explicitGrants[0].holderSid, platform::store::BuiltinSid(544));

    struct Grant {
        const char* privilege;  // expected privilege
        const char* holder;     // and holder
    };
    const Grant expected[] = {
        {"SeSecurityPrivilege", "S-1-5-32-544"}, {"SeBackupPrivilege", "S-1-5-32-544"},
        {"SeRestorePrivilege", "S-1-5-32-544"},  {"SeTakeOwnershipPrivilege", "S-1-5-32-544"},
        {"SeBackupPrivilege", "S-1-5-32-551"},   {"SeRestorePrivilege", "S-1-5-32-551"},
        {"SeTcbPrivilege", "S-1-5-18"},
    };
    const auto grants = world_->PrivilegesOn(defaulted->id);
    ASSERT_EQ(grants.size(), std::size(expected));
    for (std::size_t i = 0; i < grants.size(); ++i) {
        SCOPED_TRACE(expected[i].privilege);
        EXPECT_EQ(grants[i].privilege, expected[i].privilege);
        EXPECT_EQ(platform::store::FormatSid(grants[i].holderSid), expected[i].holder);
    }
}

TEST_F(WorldJsonTest, EveryMachineHasItsComputerNameUnlessTheFileSaysOtherwise) {
    Import(R"({"machines": [
        {"name": "Alpha", "sid": "S-1-5-21-1-1-1"},
        {"name": "BETA", "sid": "S-1-5-21-2-2-2", "registry": [
            {"key": "HKLM\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName",
             "values": {"ComputerName": "OTHER"}}]}]})");
    struct Case {
        const char* machine;   // machine
        const char* expected;  // value data without its NUL
    };
    for (const Case& c : {Case{"ALPHA", "Alpha"}, Case{"beta", "OTHER"}}) {
        SCOPED_TRACE(c.machine);
        auto machine = world_->MachineByName(c.machine);
        ASSERT_TRUE(machine);
        auto key = world_->KeyByPath(machine->id, "HKLM", "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName");
        ASSERT_TRUE(key);
        auto value = world_->GetValue(key->id, "computername");
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, REG_SZ);
        const std::string text(c.expected);
        Bytes data(text.begin(), text.end());
        data.push_back(0);
        EXPECT_EQ(value->data, data);
    }
}

TEST_F(WorldJsonTest, KeysWithoutDescriptorInheritFromTheirParent) {
    Import(R"j({"machines": [{"name": "M", "sid": "S-1-5-21-1-2-3", "registry": [
        {"key": "HKLM\\SOFTWARE\\Vendor\\App\\Settings"},
        {"key": "HKLM\\SOFTWARE\\Vendor", "sd": "O:BAG:SYD:P(A;CI;KA;;;BA)(A;;KR;;;BU)(A;CINP;KR;;;WD)(A;CIIO;GA;;;CO)S:(AU;CISA;KW;;;WD)"}]}]})j");
    auto machine = world_->MachineByName("M");
    ASSERT_TRUE(machine);
    struct Case {
        const char* path;      // below HKLM
        const char* expected;  // SDDL of the key
    };
    const Case cases[] = {
        {"SOFTWARE\\Vendor", "O:BAG:SYD:P(A;CI;KA;;;BA)(A;;KR;;;BU)(A;CINP;KR;;;WD)(A;CIIO;GA;;;CO)S:(AU;CISA;KW;;;WD)"},
        // not the BU entry (not inheritable); WD one level only; CREATOR
        // OWNER becomes the owner (mapped rights) plus a carrier entry.
        {"SOFTWARE\\Vendor\\App",
         "O:BAG:SYD:AI(A;CIID;KA;;;BA)(A;ID;KR;;;WD)(A;ID;KA;;;BA)(A;CIIOID;GA;;;CO)S:AI(AU;CIIDSA;KW;;;WD)"},
        {"SOFTWARE\\Vendor\\App\\Settings",
         "O:BAG:SYD:AI(A;CIID;KA;;;BA)(A;ID;KA;;;BA)(A;CIIOID;GA;;;CO)S:AI(AU;CIIDSA;KW;;;WD)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        auto key = world_->KeyByPath(machine->id, "HKLM", c.path);
        ASSERT_TRUE(key);
        EXPECT_EQ(Sddl(*world_, machine->id, key->sd), c.expected);
    }
}

TEST_F(WorldJsonTest, SubkeysEnumerateByUpperCasedNameWhateverTheFileOrder) {
    Import(R"({"machines": [{"name": "M", "sid": "S-1-5-21-1-2-3", "registry": [
        {"key": "HKLM\\T\\beta"}, {"key": "HKLM\\T\\Alpha"}, {"key": "HKLM\\T\\_under"},
        {"key": "HKLM\\T\\a2"}, {"key": "HKLM\\T\\ALPHA2"}, {"key": "HKLM\\T\\Zed"}]}]})");
    auto machine = world_->MachineByName("m");
    ASSERT_TRUE(machine);
    auto key = world_->KeyByPath(machine->id, "hklm", "t");
    ASSERT_TRUE(key);
    // '_' (0x5F) sorts after the upper-case letters.
    EXPECT_EQ(world_->SubkeyNames(key->id), (std::vector<std::string>{"a2", "Alpha", "ALPHA2", "beta", "Zed", "_under"}));
    EXPECT_EQ(world_->SubkeyCount(key->id), 6u);
    EXPECT_EQ(world_->LongestSubkeyName(key->id), 6u);
}

TEST_F(WorldJsonTest, ValuesKeepTheirTypeAndBytes) {
    Import(R"({"machines": [{"name": "M", "sid": "S-1-5-21-1-2-3", "registry": [{"key": "HKLM\\V", "values": {
        "": "default", "Count": 4294967295, "List": ["a", "bc"], "Path": {"type": "expand_sz", "data": "%x%"},
        "Blob": {"type": "binary", "hex": "00ff10"}, "Odd": {"type": 11, "hex": ""}}}]}]})");
    auto machine = world_->MachineByName("M");
    ASSERT_TRUE(machine);
    auto key = world_->KeyByPath(machine->id, "HKLM", "V");
    ASSERT_TRUE(key);
    struct Case {
        const char* name;  // value name
        DWORD type;        // expected type
        Bytes data;        // expected bytes
    };
    const Case cases[] = {
        {"", REG_SZ, {'d', 'e', 'f', 'a', 'u', 'l', 't', 0}},
        {"count", REG_DWORD, {0xff, 0xff, 0xff, 0xff}},
        {"LIST", REG_MULTI_SZ, {'a', 0, 'b', 'c', 0, 0}},
        {"Path", REG_EXPAND_SZ, {'%', 'x', '%', 0}},
        {"Blob", REG_BINARY, {0x00, 0xff, 0x10}},
        {"Odd", 11, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto value = world_->GetValue(key->id, c.name);
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, c.type);
        EXPECT_EQ(value->data, c.data);
    }
    EXPECT_EQ(world_->Values(key->id).size(), std::size(cases));
    EXPECT_FALSE(world_->GetValue(key->id, "Missing"));
}

TEST_F(WorldJsonTest, MalformedStoredDescriptorsSurviveAsHex) {
    Import(R"({"machines": [{"name": "M", "sid": "S-1-5-21-1-2-3", "registry": [{"key": "HKLM\\Bad", "sd": {"hex": "0100"}}],
               "shares": [{"name": "s", "sd": {"hex": "ff"}}]}]})");
    auto machine = world_->MachineByName("M");
    ASSERT_TRUE(machine);
    auto key = world_->KeyByPath(machine->id, "HKLM", "Bad");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->sd, (Bytes{0x01, 0x00}));
    auto share = world_->ShareByName(machine->id, "S");
    ASSERT_TRUE(share && share->sd);
    EXPECT_EQ(*share->sd, Bytes{0xff});
    const auto doc = nlohmann::json::parse(world_->ExportJson());
    EXPECT_EQ(doc["machines"][0]["shares"][0]["sd"]["hex"], "ff");
}

}  // namespace
