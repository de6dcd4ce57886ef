// Registry commands: a key's descriptor shown or set, keys created and
// deleted, entries appended (read-modify-write in one transaction, so
// concurrent writers lose nothing), values set, shown and deleted.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>

#include "ntsim.h"
#include "store/principals.h"
#include "store/sd_edit.h"

namespace ntsim {

namespace {

using platform::store::Id;

struct Options {
    std::string path;                 // [\\MACHINE\]HIVE\PATH
    std::optional<std::string> sddl;  // descriptor text
    std::string ace;                  // one entry, "(A;;KR;;;BU)"
    bool audit = false;               // the entry goes to the SACL
    std::string name;                 // value name
    std::string data;                 // value data as typed
    std::string type = "sz";          // value type
    bool parents = false;             // create missing ancestors
};
Options options;

// Opens the world and finds the machine and the key of options.path.
struct Target {
    std::unique_ptr<World> world;          // the open world
    platform::store::Machine machine;      // the machine named
    KeyPath path;                          // parsed path
};

bool OpenTarget(Context& context, Target& target) {
    std::string error;
    if (!ParseKeyPath(options.path, target.path, &error)) {
        Fail(error);
        return false;
    }
    target.world = context.Open();
    if (!target.world) return false;
    auto machine = FindMachine(*target.world, target.path.machine);
    if (!machine) return false;
    target.machine = *machine;
    return true;
}

std::optional<platform::store::Key> FindKey(Target& target) {
    auto key = target.world->KeyByPath(target.machine.id, target.path.hive, target.path.path);
    if (!key) Fail("no key " + options.path + " on " + target.machine.name);
    return key;
}

int KeySd(Context& context) {
    Target target;
    if (!OpenTarget(context, target)) return 1;
    auto key = FindKey(target);
    if (!key) return 1;
    if (options.sddl) {
        Bytes sd;
        std::string error;
        if (!ParseSddl(*target.world, target.machine.id, *options.sddl, sd, &error)) return Fail(error);
        if (!target.world->SetKeySd(key->id, sd)) return Fail("cannot write the descriptor of " + options.path);
        return 0;
    }
    std::string text;
    if (!FormatSddl(*target.world, target.machine.id, key->sd, text))
        return Fail("the descriptor of " + options.path + " is malformed (" + std::to_string(key->sd.size()) + " bytes)");
    std::cout << text << "\n";
    return 0;
}

int KeyAdd(Context& context) {
    Target target;
    if (!OpenTarget(context, target)) return 1;
    if (target.path.path.empty()) return Fail("a hive root exists already");
    Bytes sd;
    std::string error;
    if (options.sddl && !ParseSddl(*target.world, target.machine.id, *options.sddl, sd, &error)) return Fail(error);
    const std::size_t slash = target.path.path.rfind('\\');
    if (!options.parents && slash != std::string::npos &&
        !target.world->KeyByPath(target.machine.id, target.path.hive, target.path.path.substr(0, slash)))
        return Fail("the parent of " + options.path + " does not exist (use --parents)");
    bool created = false;
    auto id = target.world->CreateKey(target.machine.id, target.path.hive, target.path.path, options.sddl ? &sd : nullptr,
                                      &created);
    if (!id) return Fail("cannot create " + options.path);
    if (!created) return Fail(options.path + " exists already");
    return 0;
}

int KeyDelete(Context& context) {
    Target target;
    if (!OpenTarget(context, target)) return 1;
    if (target.path.path.empty()) return Fail("a hive root cannot be deleted");
    auto key = FindKey(target);
    if (!key) return 1;
    return target.world->DeleteKey(key->id) ? 0 : Fail("cannot delete " + options.path);
}

int KeyList(Context& context) {
    Target target;
    if (!OpenTarget(context, target)) return 1;
    auto key = FindKey(target);
    if (!key) return 1;
    for (const std::string& name : target.world->SubkeyNames(key->id)) std::cout << name << "\n";
    return 0;
}

int KeyAddAce(Context& context) {
    Target target;
    if (!OpenTarget(context, target)) return 1;
    auto key = FindKey(target);
    if (!key) return 1;
    Bytes carrier;
    std::string error;
    if (options.ace.empty() || options.ace.front() != '(')
        return Fail("an entry is written in parentheses, e.g. \"(A;CI;KR;;;BU)\"");
    if (!ParseSddl(*target.world, target.machine.id, (options.audit ? "S:" : "D:") + options.ace, carrier, &error))
        return Fail(error);
    // Read, change and write back inside one transaction: writers running
    // at the same time each see the others' entries.
    const bool ok = target.world->UpdateKeySd(key->id, [&](Bytes& sd) {
        return platform::store::AppendEntries(sd, carrier, options.audit);
    });
    return ok ? 0 : Fail("cannot add the entry to " + options.path + " (is its descriptor well formed?)");
}

bool ValueBytes(platform::store::Value& value, std::string& error);

int ValueSet(Context& context) {
    Target target;
    if (!OpenTarget(context, target)) return 1;
    auto key = FindKey(target);
    if (!key) return 1;
    platform::store::Value value;
    value.name = options.name;
    std::string error;
    if (!ValueBytes(value, error)) return Fail(error);
    return target.world->SetValue(key->id, value) ? 0 : Fail("cannot set " + options.name);
}

int ValueDelete(Context& context) {
    Target target;
    if (!OpenTarget(context, target)) return 1;
    auto key = FindKey(target);
    if (!key) return 1;
    return target.world->DeleteValue(key->id, options.name) ? 0 : Fail("no value \"" + options.name + "\" in " + options.path);
}

int ValueList(Context& context) {
    Target target;
    if (!OpenTarget(context, target)) return 1;
    auto key = FindKey(target);
    if (!key) return 1;
    for (const auto& value : target.world->Values(key->id)) {
        std::cout << (value.name.empty() ? "(default)" : value.name) << "\t" << value.type << "\t";
        if ((value.type == REG_SZ || value.type == REG_EXPAND_SZ) && !value.data.empty() && value.data.back() == 0) {
            std::cout << std::string(value.data.begin(), value.data.end() - 1);
        } else if (value.type == REG_DWORD && value.data.size() == 4) {
            std::cout << (value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) | (static_cast<DWORD>(value.data[3]) << 24));
        } else {
            for (BYTE b : value.data) {
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02x", b);
                std::cout << hex;
            }
        }
        std::cout << "\n";
    }
    return 0;
}

}  // namespace

namespace {

bool ValueBytes(platform::store::Value& value, std::string& error) {
    const std::string& data = options.data;
    value.data.clear();
    if (options.type == "sz" || options.type == "expand_sz") {
        value.type = options.type == "sz" ? REG_SZ : REG_EXPAND_SZ;
        value.data.assign(data.begin(), data.end());
        value.data.push_back(0);
        return true;
    }
    if (options.type == "multi_sz") {
        // Parts separated by '|'; the list ends with an empty string.
        value.type = REG_MULTI_SZ;
        std::size_t start = 0;
        while (start <= data.size() && !data.empty()) {
            const std::size_t bar = data.find('|', start);
            const std::string part = data.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
            if (part.empty()) {
                error = "empty string in a multi-string";
                return false;
            }
            value.data.insert(value.data.end(), part.begin(), part.end());
            value.data.push_back(0);
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
        value.data.push_back(0);
        return true;
    }
    if (options.type == "dword") {
        value.type = REG_DWORD;
        std::size_t used = 0;
        unsigned long long number = 0;
        bool ok = !data.empty() && data[0] != '-';
        if (ok) {
            try {
                number = std::stoull(data, &used, 0);
            } catch (...) {
                ok = false;
            }
        }
        if (!ok || used != data.size() || number > 0xFFFFFFFFull) {
            error = "\"" + data + "\" is not a number 0..4294967295";
            return false;
        }
        for (int s = 0; s < 32; s += 8) value.data.push_back(static_cast<BYTE>(number >> s));
        return true;
    }
    if (options.type == "binary") {
        value.type = REG_BINARY;
        if (data.size() % 2 != 0 || data.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            error = "binary data is written as pairs of hexadecimal digits";
            return false;
        }
        for (std::size_t i = 0; i < data.size(); i += 2)
            value.data.push_back(static_cast<BYTE>(std::stoul(data.substr(i, 2), nullptr, 16)));
        return true;
    }
    error = "unknown value type \"" + options.type + "\" (sz, expand_sz, multi_sz, dword, binary)";
    return false;
}

}  // namespace

void AddRegistryCommands(CLI::App& app, Context& context) {
    auto* key = app.add_subcommand("key", "registry keys: descriptor, create, delete, list, add an entry");
    key->require_subcommand(1);
    const char* pathHelp = "[\\\\MACHINE\\]HKLM\\PATH or HKU\\PATH";

    auto* sd = key->add_subcommand("sd", "show a key's descriptor as SDDL, or set it");
    sd->add_option("key", options.path, pathHelp)->required();
    sd->add_option("sddl", options.sddl, "the new descriptor");
    sd->callback([&context] { context.status = KeySd(context); });

    auto* add = key->add_subcommand("add", "create a key (inheriting from its parent unless --sd)");
    add->add_option("key", options.path, pathHelp)->required();
    add->add_option("--sd", options.sddl, "explicit descriptor");
    add->add_flag("-p,--parents", options.parents, "create missing ancestors too");
    add->callback([&context] { context.status = KeyAdd(context); });

    auto* remove = key->add_subcommand("delete", "delete a key with everything below it");
    remove->add_option("key", options.path, pathHelp)->required();
    remove->callback([&context] { context.status = KeyDelete(context); });

    auto* list = key->add_subcommand("list", "list a key's subkeys in enumeration order");
    list->add_option("key", options.path, pathHelp)->required();
    list->callback([&context] { context.status = KeyList(context); });

    auto* ace = key->add_subcommand("add-ace", "append one entry to a key's DACL (or SACL with --audit)");
    ace->add_option("key", options.path, pathHelp)->required();
    ace->add_option("entry", options.ace, "the entry in SDDL, e.g. \"(A;CI;KR;;;BU)\"")->required();
    ace->add_flag("--audit", options.audit, "append to the SACL");
    ace->callback([&context] { context.status = KeyAddAce(context); });

    auto* value = app.add_subcommand("value", "registry values: set, delete, list");
    value->require_subcommand(1);
    auto* set = value->add_subcommand("set", "add or replace a value");
    set->add_option("key", options.path, pathHelp)->required();
    set->add_option("name", options.name, "value name (\"\" for the default value)")->required();
    set->add_option("data", options.data, "the data (multi_sz: parts separated by |; binary: hex)")->required();
    set->add_option("-t,--type", options.type, "sz (default), expand_sz, multi_sz, dword, binary");
    set->callback([&context] { context.status = ValueSet(context); });

    auto* unset = value->add_subcommand("delete", "delete a value");
    unset->add_option("key", options.path, pathHelp)->required();
    unset->add_option("name", options.name, "value name")->required();
    unset->callback([&context] { context.status = ValueDelete(context); });

    auto* values = value->add_subcommand("list", "list a key's values: name, type, data");
    values->add_option("key", options.path, pathHelp)->required();
    values->callback([&context] { context.status = ValueList(context); });
}

}  // namespace ntsim
