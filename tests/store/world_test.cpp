// Opening worlds (missing, corrupt, foreign, raced) and the typed reads and
// writes the host's calls rely on.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store/principals.h"
#include "store/sd_edit.h"
#include "store_fixture.h"

namespace {

using platform::store::Bytes;
using platform::store::World;
using storetest::kExampleWorld;
using storetest::TempFolder;
using storetest::WorldTest;

TEST(WorldOpenTest, MissingFileBecomesAnEmptyOrSampleWorld) {
    TempFolder folder;
    std::string error;
    auto empty = World::Open(folder.File("deep/er/empty.db"), false, &error);
    ASSERT_TRUE(empty) << error;
    EXPECT_TRUE(empty->Machines().empty());
    EXPECT_EQ(empty->LocalMachineName(), "");

    auto sample = World::Open(folder.File("sample.db"), true, &error);
    ASSERT_TRUE(sample) << error;
    const std::string local = sample->LocalMachineName();
    auto machine = sample->MachineByName(local);
    ASSERT_TRUE(machine) << "the sample's local machine exists: " << local;
    EXPECT_TRUE(sample->KeyByPath(machine->id, "HKLM", "SOFTWARE"));
    // No temporary files are left behind.
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        (void)entry;
        ++files;
    }
    EXPECT_LE(files, 4u);  // deep/, sample.db and at most its -wal/-shm
}

TEST(WorldOpenTest, BadFilesAreReportedInOneLineNamingTheFile) {
    TempFolder folder;
    storetest::WriteFile(folder.File("garbage.db"), std::string(4096, 'x'));
    storetest::WriteFile(folder.File("empty.db"), "");
    mkdir(folder.File("folder.db").c_str(), 0755);
    struct Case {
        const char* file;    // in the folder
        const char* reason;  // expected text after the path
    };
    const Case cases[] = {
        {"garbage.db", "file is not a database"},
        {"empty.db", "not a world file"},
        {"folder.db", "is a folder"},
        {"garbage.db/world.db", "Not a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string error;
        auto world = World::Open(folder.File(c.file), true, &error);
        EXPECT_FALSE(world);
        EXPECT_EQ(error, "cannot open world " + folder.File(c.file) + ": " + c.reason);
    }
}

// A file damaged after it was written: reads fail instead of crashing, and
// an export (with the edits built on it) refuses rather than passing a
// partial world off as the whole one.
TEST(WorldOpenTest, ADamagedFileIsNeverExportedInPart) {
    TempFolder folder;
    const std::string path = folder.File("damaged.db");
    {
        std::string error;
        auto world = World::Open(path, true, &error);
        ASSERT_TRUE(world) << error;
    }
    std::string bytes = storetest::ReadFile(path);
    ASSERT_GT(bytes.size(), 150000u);
    for (std::size_t i = 100000; i < 103000; ++i) bytes[i] = static_cast<char>(0xA5 ^ (i * 7));
    storetest::WriteFile(path, bytes);

    std::string error;
    auto world = World::Open(path, false, &error);
    ASSERT_TRUE(world) << error;
    EXPECT_EQ(world->ExportJson(), "");
    EXPECT_NE(world->LastError(), "");
    std::string why;
    bool edited = false;
    EXPECT_FALSE(world->EditJson(
        [&](std::string&, std::string*) {
            edited = true;
            return true;
        },
        &why));
    EXPECT_FALSE(edited);
    EXPECT_EQ(why.rfind("cannot read the world whole: ", 0), 0u) << why;
    std::string problem;
    EXPECT_FALSE(world->CheckIntegrity(&problem));
}

TEST(WorldOpenTest, ProcessesRacingToCreateTheSampleAllGetOneWorld) {
    TempFolder folder;
    const std::string path = folder.File("raced/world.db");
    std::vector<pid_t> children;
    for (int i = 0; i < 4; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            std::string error;
            auto world = World::Open(path, true, &error);
            _exit(world && world->MachineByName(world->LocalMachineName()) ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::string error;
    auto world = World::Open(path, false, &error);
    ASSERT_TRUE(world) << error;
    EXPECT_EQ(world->ExportJson(), [&] {
        auto fresh = World::Open(folder.File("fresh.db"), true, &error);
        return fresh ? fresh->ExportJson() : std::string();
    }());
}

TEST(WorldOpenTest, DefaultPathFollowsTheEnvironment) {
    struct Case {
        const char* world;  // NTSIM_WORLD, null = unset
        const char* data;   // XDG_DATA_HOME
        const char* home;   // HOME
        const char* expected;
        bool fromEnvironment;
    };
    const Case cases[] = {
        {"/w/x.db", "/d", "/h", "/w/x.db", true},
        {nullptr, "/d", "/h", "/d/ntsim/world.db", false},
        {"", "/d", "/h", "/d/ntsim/world.db", false},
        {nullptr, nullptr, "/h", "/h/.local/share/ntsim/world.db", false},
        {nullptr, "relative", "/h", "/h/.local/share/ntsim/world.db", false},
    };
    auto keep = [](const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const auto world = keep("NTSIM_WORLD"), data = keep("XDG_DATA_HOME"), home = keep("HOME");
    auto set = [](const char* name, const char* value) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        set("NTSIM_WORLD", c.world);
        set("XDG_DATA_HOME", c.data);
        set("HOME", c.home);
        bool fromEnvironment = !c.fromEnvironment;
        EXPECT_EQ(World::DefaultPath(&fromEnvironment), c.expected);
        EXPECT_EQ(fromEnvironment, c.fromEnvironment);
    }
    set("NTSIM_WORLD", world ? world->c_str() : nullptr);
    set("XDG_DATA_HOME", data ? data->c_str() : nullptr);
    set("HOME", home ? home->c_str() : nullptr);
}

class WorldReadTest : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        Import(kExampleWorld);
    }
};

TEST_F(WorldReadTest, NamesMatchWithoutRegardToCase) {
    EXPECT_EQ(world_->LocalMachineName(), "WKSTN01");
    EXPECT_EQ(world_->LogonName(), "CORP\\alice");
    auto machine = world_->MachineByName("wkstn01");
    ASSERT_TRUE(machine);
    EXPECT_EQ(machine->name, "WKSTN01");
    EXPECT_EQ(world_->MachineById(machine->id)->name, "WKSTN01");
    EXPECT_EQ(world_->MachineBySid(*platform::store::ParseSid("S-1-5-21-4000-5000-6000"))->id, machine->id);
    auto domain = world_->DomainByName("corp");
    ASSERT_TRUE(domain);
    EXPECT_EQ(domain->dc, "CORPDC");
    EXPECT_EQ(machine->domainId, domain->id);
    EXPECT_EQ(world_->DomainBySid(domain->sid)->name, "CORP");
    EXPECT_FALSE(world_->MachineByName("nowhere"));
    EXPECT_FALSE(world_->DomainByName("WKSTN01"));

    struct Case {
        const char* name;  // looked up
        DWORD rid;         // expected RID
        SID_NAME_USE type;
        bool deleted;
    };
    const Case domainCases[] = {
        {"ALICE", 1104, SidTypeUser, false},
        {"domain admins", 512, SidTypeGroup, false},
        {"OldUser", 1200, SidTypeUser, true},
        {"Domain Users", 513, SidTypeGroup, false},  // implicit
        {"administrator", 500, SidTypeUser, false},  // implicit
    };
    for (const Case& c : domainCases) {
        SCOPED_TRACE(c.name);
        auto byName = world_->DomainAccountByName(domain->id, c.name);
        ASSERT_TRUE(byName);
        EXPECT_EQ(byName->rid, c.rid);
        EXPECT_EQ(byName->type, c.type);
        EXPECT_EQ(byName->deleted, c.deleted);
        EXPECT_EQ(byName->domainId, domain->id);
        EXPECT_EQ(byName->machineId, 0);
        auto byRid = world_->DomainAccountByRid(domain->id, c.rid);
        ASSERT_TRUE(byRid);
        EXPECT_EQ(byRid->id, byName->id);
    }
    auto helpdesk = world_->MachineAccountByName(machine->id, "HELPDESK");
    ASSERT_TRUE(helpdesk);
    EXPECT_EQ(helpdesk->type, SidTypeAlias);
    EXPECT_EQ(world_->MachineAccountByRid(machine->id, 1001)->name, "helpdesk");
    EXPECT_FALSE(world_->MachineAccountByName(machine->id, "alice"));
    EXPECT_FALSE(world_->DomainAccountByRid(domain->id, 9999));
}

TEST_F(WorldReadTest, MembershipsResolveBothWays) {
    auto machine = world_->MachineByName("WKSTN01");
    auto domain = world_->DomainByName("CORP");
    ASSERT_TRUE(machine && domain);
    const Bytes alice = platform::store::SidWithRid(domain->sid, 1104);
    const Bytes admins = platform::store::SidWithRid(domain->sid, 512);
    auto helpdesk = world_->MachineAccountByName(machine->id, "helpdesk");
    auto domainAdmins = world_->DomainAccountByName(domain->id, "Domain Admins");
    ASSERT_TRUE(helpdesk && domainAdmins);
    EXPECT_EQ(world_->MembersOf(helpdesk->id), std::vector<Bytes>{alice});
    EXPECT_EQ(world_->GroupsWithMember(alice), std::vector<platform::store::Id>{helpdesk->id});
    EXPECT_EQ(world_->MembersOf(domainAdmins->id),
              std::vector<Bytes>{platform::store::SidWithRid(domain->sid, 500)});
    EXPECT_EQ(world_->BuiltinAliasesWithMember(machine->id, admins), std::vector<DWORD>{544});
    EXPECT_EQ(world_->BuiltinAliasesWithMember(machine->id, platform::store::SidWithRid(domain->sid, 513)),
              std::vector<DWORD>{545});
    EXPECT_TRUE(world_->BuiltinAliasesWithMember(machine->id, alice).empty());
    EXPECT_EQ(world_->BuiltinMembers(machine->id, 544).size(), 2u);
}

TEST_F(WorldReadTest, KeysResolveByPathAndDescriptorsWriteInOneGo) {
    auto machine = world_->MachineByName("WKSTN01");
    ASSERT_TRUE(machine);
    auto root = world_->HiveRoot(machine->id, "hklm");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->parentId, 0);
    EXPECT_TRUE(world_->HiveRoot(machine->id, "HKU"));
    EXPECT_FALSE(world_->HiveRoot(machine->id, "HKCU"));
    struct Case {
        const char* path;  // below HKLM
        bool found;        // expected to resolve
    };
    const Case cases[] = {{"", true},           {"software", true},        {"SOFTWARE\\app", true},
                          {"SOFTWARE\\App\\", false}, {"\\SOFTWARE", false}, {"SOFTWARE\\\\App", false},
                          {"SOFTWARE\\Nope", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(world_->KeyByPath(machine->id, "HKLM", c.path).has_value(), c.found);
    }
    auto software = world_->ChildKey(root->id, "SOFTWARE");
    auto app = world_->KeyByPath(machine->id, "HKLM", "SOFTWARE\\App");
    ASSERT_TRUE(software && app);
    EXPECT_EQ(app->parentId, software->id);
    EXPECT_EQ(world_->KeyById(app->id)->name, "App");

    const Bytes replaced = root->sd;
    ASSERT_TRUE(world_->SetKeySd(app->id, replaced));
    EXPECT_EQ(world_->KeyById(app->id)->sd, replaced);
    // An edit that declines leaves the key as it was.
    EXPECT_FALSE(world_->UpdateKeySd(app->id, [](Bytes& sd) {
        sd.clear();
        return false;
    }));
    EXPECT_EQ(world_->KeyById(app->id)->sd, replaced);
    EXPECT_FALSE(world_->SetKeySd(987654, replaced));
}

TEST_F(WorldReadTest, SharesKeepFileOrderAndUpdateWhole) {
    auto machine = world_->MachineByName("WKSTN01");
    ASSERT_TRUE(machine);
    auto shares = world_->SharesOf(machine->id);
    ASSERT_EQ(shares.size(), 2u);
    EXPECT_EQ(shares[0].name, "data");
    EXPECT_EQ(shares[1].name, "ADMIN$");
    EXPECT_EQ(shares[0].maxUses, MAXDWORD);
    EXPECT_EQ(shares[0].path, "C:\\data");
    EXPECT_EQ(shares[0].remark, "Team data");
    EXPECT_TRUE(shares[0].sd.has_value());
    EXPECT_FALSE(shares[1].sd.has_value());

    auto share = world_->ShareByName(machine->id, "DATA");
    ASSERT_TRUE(share);
    share->remark = "Moved";
    share->maxUses = 10;
    share->sd.reset();
    ASSERT_TRUE(world_->UpdateShare(*share));
    auto again = world_->ShareByName(machine->id, "data");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->remark, "Moved");
    EXPECT_EQ(again->maxUses, 10u);
    EXPECT_FALSE(again->sd.has_value());
    EXPECT_EQ(world_->SharesOf(machine->id)[0].name, "data") << "an update keeps the share's place";
    share->id = 424242;
    EXPECT_FALSE(world_->UpdateShare(*share));
    EXPECT_FALSE(world_->ShareByName(machine->id, "nothing"));
}

TEST_F(WorldReadTest, KeysAndValuesAreCreatedAndDeletedWithTheirSubtrees) {
    auto machine = world_->MachineByName("WKSTN01");
    ASSERT_TRUE(machine);
    auto app = world_->KeyByPath(machine->id, "HKLM", "SOFTWARE\\App");
    ASSERT_TRUE(app);
    bool created = false;
    auto deep = world_->CreateKey(machine->id, "HKLM", "SOFTWARE\\App\\One\\Two", nullptr, &created);
    ASSERT_TRUE(deep);
    EXPECT_TRUE(created);
    auto one = world_->KeyByPath(machine->id, "HKLM", "SOFTWARE\\App\\One");
    ASSERT_TRUE(one);
    Bytes inherited;
    ASSERT_TRUE(platform::store::InheritedKeyDescriptor(app->sd, inherited));
    EXPECT_EQ(one->sd, inherited) << "a new key inherits from its parent";
    // Creating it again finds it and leaves its descriptor alone.
    const Bytes explicitSd = world_->HiveRoot(machine->id, "HKU")->sd;
    EXPECT_EQ(world_->CreateKey(machine->id, "HKLM", "software\\app\\one\\TWO", &explicitSd, &created), deep);
    EXPECT_FALSE(created);
    EXPECT_NE(world_->KeyById(*deep)->sd, explicitSd);
    auto three = world_->CreateChild(*deep, "Three", &explicitSd);
    ASSERT_TRUE(three);
    EXPECT_EQ(world_->KeyById(*three)->sd, explicitSd);
    EXPECT_FALSE(world_->CreateChild(*deep, "three", nullptr)) << "names are unique without regard to case";
    EXPECT_FALSE(world_->CreateChild(*deep, "", nullptr));
    EXPECT_FALSE(world_->CreateChild(*deep, "a\\b", nullptr));
    EXPECT_FALSE(world_->CreateKey(machine->id, "HKLM", "SOFTWARE\\\\X", nullptr, nullptr));
    EXPECT_FALSE(world_->KeyByPath(machine->id, "HKLM", "SOFTWARE\\\\X"));

    struct ValueCase {
        const char* name;  // value name
        DWORD type;        // type written
        Bytes data;        // bytes written
    };
    const ValueCase values[] = {{"", REG_SZ, {'x', 0}}, {"Count", REG_DWORD, {1, 0, 0, 0}}, {"count", REG_BINARY, {9}}};
    for (const ValueCase& v : values) ASSERT_TRUE(world_->SetValue(*deep, {v.name, v.type, v.data}));
    auto replaced = world_->GetValue(*deep, "COUNT");
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->name, "count");
    EXPECT_EQ(replaced->type, REG_BINARY);
    EXPECT_EQ(world_->Values(*deep).size(), 2u) << "setting a value by another case replaces it";
    EXPECT_TRUE(world_->DeleteValue(*deep, "Count"));
    EXPECT_FALSE(world_->DeleteValue(*deep, "Count"));
    EXPECT_FALSE(world_->SetValue(987654, {"x", REG_SZ, {0}}));

    ASSERT_TRUE(world_->DeleteKey(one->id));
    EXPECT_FALSE(world_->KeyById(one->id));
    EXPECT_FALSE(world_->KeyById(*deep));
    EXPECT_FALSE(world_->KeyById(*three));
    EXPECT_TRUE(world_->Values(*deep).empty());
    EXPECT_TRUE(world_->KeyById(app->id)) << "the parent stays";
    EXPECT_FALSE(world_->DeleteKey(world_->HiveRoot(machine->id, "HKLM")->id)) << "hive roots stay";
}

TEST_F(WorldReadTest, ABatchIsOneTransaction) {
    auto machine = world_->MachineByName("WKSTN01");
    ASSERT_TRUE(machine);
    const std::string before = world_->ExportJson();
    // A batch that gives up takes back every write made inside it.
    EXPECT_FALSE(world_->Batch([&] {
        EXPECT_TRUE(world_->CreateKey(machine->id, "HKLM", "SOFTWARE\\Tmp\\A", nullptr, nullptr));
        EXPECT_TRUE(world_->SetKeySd(world_->HiveRoot(machine->id, "HKLM")->id, Bytes{1, 2, 3}));
        return false;
    }));
    EXPECT_EQ(world_->ExportJson(), before);
    // An inner write that fails is undone alone; the batch goes on.
    EXPECT_TRUE(world_->Batch([&] {
        EXPECT_TRUE(world_->CreateKey(machine->id, "HKLM", "SOFTWARE\\Kept", nullptr, nullptr));
        EXPECT_FALSE(world_->UpdateKeySd(world_->HiveRoot(machine->id, "HKLM")->id, [](Bytes& sd) {
            sd.clear();
            return false;
        }));
        return true;
    }));
    EXPECT_TRUE(world_->KeyByPath(machine->id, "HKLM", "SOFTWARE\\Kept"));
    std::string problem;
    EXPECT_TRUE(world_->CheckIntegrity(&problem)) << problem;
}

TEST_F(WorldReadTest, HeldReadsSeeOneSnapshotAndWritesStillLand) {
    auto machine = world_->MachineByName("WKSTN01");
    ASSERT_TRUE(machine);
    std::string error;
    auto other = World::Open(folder_.File("world.db"), false, &error);
    ASSERT_TRUE(other) << error;
    world_->HoldReads(true);
    EXPECT_TRUE(world_->KeyByPath(machine->id, "HKLM", "SOFTWARE\\App"));
    ASSERT_TRUE(other->CreateKey(machine->id, "HKLM", "SOFTWARE\\New", nullptr, nullptr));
    EXPECT_FALSE(world_->KeyByPath(machine->id, "HKLM", "SOFTWARE\\New")) << "the snapshot is kept while held";
    world_->HoldReads(false);
    EXPECT_TRUE(world_->KeyByPath(machine->id, "HKLM", "SOFTWARE\\New"));
    // A write while holding ends the hold and lands.
    world_->HoldReads(true);
    EXPECT_TRUE(world_->KeyByPath(machine->id, "HKLM", "SOFTWARE\\New"));
    ASSERT_TRUE(other->CreateKey(machine->id, "HKLM", "SOFTWARE\\Newer", nullptr, nullptr));
    auto key = world_->CreateKey(machine->id, "HKLM", "SOFTWARE\\Mine", nullptr, nullptr);
    ASSERT_TRUE(key);
    world_->HoldReads(false);
    world_->HoldReads(false);
    EXPECT_TRUE(other->KeyById(*key));
    EXPECT_TRUE(world_->KeyByPath(machine->id, "HKLM", "SOFTWARE\\Newer"));
}

}  // namespace
