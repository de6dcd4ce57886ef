// ntsim, the simulated host's admin tool: shared pieces of its commands.
//
// Every command opens the world named by --world (else NTSIM_WORLD, else
// the default path, where the sample world is created on first use), does
// its work in one store transaction, and reports failure as one line
// "ntsim: <what went wrong>" on standard error with exit status 1.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "store/world.h"

namespace ntsim {

using platform::store::Bytes;
using platform::store::World;

// What every command gets: the world path and the means to fail.
struct Context {
    std::string worldPath;  // --world, or World::DefaultPath()
    int status = 0;         // exit status of the command that ran

    // Opens the world (creating the sample when missing unless `empty`);
    // null after printing the reason.
    std::unique_ptr<World> Open(bool empty = false) const;
};

// Prints "ntsim: <message>" on standard error; returns exit status 1.
int Fail(const std::string& message);

// A key path as typed: [\\MACHINE\]HIVE[\PATH].
struct KeyPath {
    std::string machine;  // "" = the world's local machine
    std::string hive;     // "HKLM" or "HKU"
    std::string path;     // below the hive, "" for the root
};
// false with *error for a path that names no hive or has empty parts.
bool ParseKeyPath(std::string_view text, KeyPath& out, std::string* error);

// A share as typed: [\\MACHINE\]SHARE.
struct SharePath {
    std::string machine;  // "" = the world's local machine
    std::string share;    // share name
};
bool ParseSharePath(std::string_view text, SharePath& out, std::string* error);

// The machine a command names, or the local machine; prints and returns
// nullopt when there is no such machine.
std::optional<platform::store::Machine> FindMachine(World& world, const std::string& name);

// SDDL both ways in a machine's context (its SID and its domain's).
bool ParseSddl(World& world, platform::store::Id machineId, const std::string& text, Bytes& out, std::string* error);
bool FormatSddl(World& world, platform::store::Id machineId, const Bytes& sd, std::string& out);

}  // namespace ntsim

namespace CLI {
class App;
}

// Registers each group of commands on the application.
namespace ntsim {
void AddWorldCommands(CLI::App& app, Context& context);     // init, import, export, local, logon
void AddRegistryCommands(CLI::App& app, Context& context);  // key ..., value ...
void AddShareCommands(CLI::App& app, Context& context);     // share ...
void AddAccountCommands(CLI::App& app, Context& context);   // machine, domain, account, member, privilege
void AddInspectCommands(CLI::App& app, Context& context);   // token, access
void AddGenerateCommand(CLI::App& app, Context& context);   // generate
}  // namespace ntsim
