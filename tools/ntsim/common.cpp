// Helpers shared by ntsim's commands: opening the world, reading the paths
// people type, SDDL in a machine's context.
#include <cstdio>

#include "ntsim.h"
#include "security/descriptor.h"
#include "security/sddl.h"
#include "store/db.h"
#include "store/principals.h"

namespace ntsim {

int Fail(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "ntsim: %s\n", message.c_str());
    return 1;
}

std::unique_ptr<World> Context::Open(bool empty) const {
    const std::string path = worldPath.empty() ? World::DefaultPath(nullptr) : worldPath;
    std::string error;
    auto world = World::Open(path, !empty, &error);
    if (!world) Fail(error);
    return world;
}

namespace {

// Splits off a leading \\MACHINE\ (the machine part of a typed path).
bool SplitMachine(std::string_view& text, std::string& machine, std::string* error) {
    machine.clear();
    if (text.substr(0, 2) != "\\\\") return true;
    text.remove_prefix(2);
    const std::size_t slash = text.find('\\');
    if (slash == 0 || slash == std::string_view::npos) {
        if (error != nullptr) *error = "expected \\\\MACHINE\\ before the rest of the path";
        return false;
    }
    machine = std::string(text.substr(0, slash));
    text.remove_prefix(slash + 1);
    return true;
}

}  // namespace

bool ParseKeyPath(std::string_view text, KeyPath& out, std::string* error) {
    const std::string typed(text);
    KeyPath result;
    if (!SplitMachine(text, result.machine, error)) return false;
    const std::size_t slash = text.find('\\');
    const std::string hive = platform::store::Upper(text.substr(0, slash));
    if (hive == "HKLM" || hive == "HKEY_LOCAL_MACHINE")
        result.hive = "HKLM";
    else if (hive == "HKU" || hive == "HKEY_USERS")
        result.hive = "HKU";
    else {
        if (error != nullptr) *error = "\"" + typed + "\": a key path starts with HKLM or HKU";
        return false;
    }
    if (slash != std::string_view::npos) {
        result.path = std::string(text.substr(slash + 1));
        if (result.path.empty() || result.path.find("\\\\") != std::string::npos || result.path.back() == '\\') {
            if (error != nullptr) *error = "\"" + typed + "\": empty key name in the path";
            return false;
        }
    }
    out = std::move(result);
    return true;
}

bool ParseSharePath(std::string_view text, SharePath& out, std::string* error) {
    const std::string typed(text);
    SharePath result;
    if (!SplitMachine(text, result.machine, error)) return false;
    if (text.empty() || text.find('\\') != std::string_view::npos) {
        if (error != nullptr) *error = "\"" + typed + "\": expected [\\\\MACHINE\\]SHARE";
        return false;
    }
    result.share = std::string(text);
    out = std::move(result);
    return true;
}

std::optional<platform::store::Machine> FindMachine(World& world, const std::string& name) {
    const std::string wanted = name.empty() ? world.LocalMachineName() : name;
    auto machine = world.MachineByName(wanted);
    if (!machine) Fail(wanted.empty() ? std::string("the world has no local machine") : "no machine named \"" + wanted + "\"");
    return machine;
}

namespace {

struct ContextSids {
    Bytes machine;                    // machine SID
    Bytes domain;                     // its domain's SID, or empty
    platform::SddlContext context;    // pointing into the two above
};

bool MakeContext(World& world, platform::store::Id machineId, ContextSids& sids) {
    if (!world.SddlSids(machineId, sids.machine, sids.domain)) return false;
    sids.context.machineSid = reinterpret_cast<const SID*>(sids.machine.data());
    sids.context.domainSid = sids.domain.empty() ? nullptr : reinterpret_cast<const SID*>(sids.domain.data());
    return true;
}

}  // namespace

bool ParseSddl(World& world, platform::store::Id machineId, const std::string& text, Bytes& out, std::string* error) {
    ContextSids sids;
    if (!MakeContext(world, machineId, sids)) return false;
    std::size_t offset = 0;
    if (!platform::SddlToSelfRelative(text, sids.context, out, &offset)) {
        if (error != nullptr) *error = "bad descriptor at offset " + std::to_string(offset) + " of \"" + text + "\"";
        return false;
    }
    return true;
}

bool FormatSddl(World& world, platform::store::Id machineId, const Bytes& sd, std::string& out) {
    ContextSids sids;
    if (!MakeContext(world, machineId, sids)) return false;
    if (!platform::IsValidSelfRelative(sd.data(), sd.size())) return false;
    const SECURITY_INFORMATION all = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                     DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
    return platform::SecurityDescriptorToSddl(sd.data(), sd.size(), all, sids.context, out);
}

}  // namespace ntsim
