// Share commands: a share's descriptor shown or set (through the store in
// one transaction), shares added, changed, deleted and listed.
#include <CLI/CLI.hpp>

#include <iostream>

#include "edit.h"
#include "ntsim.h"

namespace ntsim {

namespace {

struct Options {
    std::string share;                  // [\\MACHINE\]SHARE
    std::optional<std::string> sddl;    // descriptor text
    bool remove = false;                // drop the descriptor
    std::optional<std::string> path;    // local path on the server
    std::optional<std::string> remark;  // comment
    std::optional<std::string> type;    // disk, printer, device, ipc
    std::optional<bool> special;        // administrative share
    std::optional<long long> maxUses;   // -1 = unlimited
    std::string machine;                // for list
};
Options options;

int ShareSd(Context& context) {
    SharePath target;
    std::string error;
    if (!ParseSharePath(options.share, target, &error)) return Fail(error);
    if (options.sddl && options.remove) return Fail("give a descriptor or --none, not both");
    auto world = context.Open();
    if (!world) return 1;
    auto machine = FindMachine(*world, target.machine);
    if (!machine) return 1;
    auto share = world->ShareByName(machine->id, target.share);
    if (!share) return Fail("no share " + target.share + " on " + machine->name);
    if (options.sddl || options.remove) {
        if (options.remove) {
            share->sd.reset();
        } else {
            Bytes sd;
            if (!ParseSddl(*world, machine->id, *options.sddl, sd, &error)) return Fail(error);
            share->sd = std::move(sd);
        }
        return world->UpdateShare(*share) ? 0 : Fail("cannot write share " + target.share);
    }
    std::string text;
    if (share->sd && !FormatSddl(*world, machine->id, *share->sd, text))
        return Fail("the descriptor of share " + target.share + " is malformed");
    std::cout << text << "\n";  // a share without a descriptor shows as an empty line
    return 0;
}

// The machine object of the document a share path names.
Json* MachineOf(Json& doc, const std::string& name, std::string& error) {
    const std::string wanted = name.empty() ? doc.value("local", std::string()) : name;
    Json* machine = FindNamed(doc["machines"], wanted);
    if (machine == nullptr) error = "no machine named \"" + wanted + "\"";
    return machine;
}

void ApplyFields(Json& share) {
    if (options.path) share["path"] = *options.path;
    if (options.remark) share["remark"] = *options.remark;
    if (options.type) share["type"] = *options.type;
    if (options.special) {
        if (*options.special)
            share["special"] = true;
        else
            share.erase("special");
    }
    if (options.maxUses) share["max_uses"] = *options.maxUses;
    if (options.sddl) share["sd"] = *options.sddl;
}

int ShareAdd(Context& context) {
    SharePath target;
    std::string error;
    if (!ParseSharePath(options.share, target, &error)) return Fail(error);
    return EditWorld(context, [&](Json& doc, std::string& why) {
        Json* machine = MachineOf(doc, target.machine, why);
        if (machine == nullptr) return false;
        Json& shares = (*machine)["shares"];
        if (FindNamed(shares, target.share) != nullptr) {
            why = "share " + target.share + " exists already";
            return false;
        }
        Json share = Json::object();
        share["name"] = target.share;
        share["sd"] = nullptr;
        ApplyFields(share);
        shares.push_back(std::move(share));
        return true;
    });
}

int ShareSet(Context& context) {
    SharePath target;
    std::string error;
    if (!ParseSharePath(options.share, target, &error)) return Fail(error);
    return EditWorld(context, [&](Json& doc, std::string& why) {
        Json* machine = MachineOf(doc, target.machine, why);
        if (machine == nullptr) return false;
        Json* share = FindNamed((*machine)["shares"], target.share);
        if (share == nullptr) {
            why = "no share " + target.share;
            return false;
        }
        ApplyFields(*share);
        return true;
    });
}

int ShareDelete(Context& context) {
    SharePath target;
    std::string error;
    if (!ParseSharePath(options.share, target, &error)) return Fail(error);
    return EditWorld(context, [&](Json& doc, std::string& why) {
        Json* machine = MachineOf(doc, target.machine, why);
        if (machine == nullptr) return false;
        if (!RemoveNamed((*machine)["shares"], target.share)) {
            why = "no share " + target.share;
            return false;
        }
        return true;
    });
}

int ShareList(Context& context) {
    auto world = context.Open();
    if (!world) return 1;
    auto machine = FindMachine(*world, options.machine);
    if (!machine) return 1;
    for (const auto& share : world->SharesOf(machine->id))
        std::cout << share.name << "\t" << share.path << "\t" << share.remark << "\n";
    return 0;
}

void AddFieldOptions(CLI::App* command) {
    command->add_option("--path", options.path, "local path on the server");
    command->add_option("--remark", options.remark, "comment");
    command->add_option("--type", options.type, "disk (default), printer, device, ipc");
    command->add_option("--special", options.special, "administrative share (true/false)");
    command->add_option("--max-uses", options.maxUses, "connection limit, -1 for none")->check(CLI::Range(-1LL, 4294967294LL));
    command->add_option("--sd", options.sddl, "descriptor in SDDL");
}

}  // namespace

void AddShareCommands(CLI::App& app, Context& context) {
    auto* share = app.add_subcommand("share", "shares: descriptor, add, set, delete, list");
    share->require_subcommand(1);
    const char* shareHelp = "[\\\\MACHINE\\]SHARE";

    auto* sd = share->add_subcommand("sd", "show a share's descriptor as SDDL (empty line: none), or set it");
    sd->add_option("share", options.share, shareHelp)->required();
    sd->add_option("sddl", options.sddl, "the new descriptor");
    sd->add_flag("--none", options.remove, "leave the share without a descriptor");
    sd->callback([&context] { context.status = ShareSd(context); });

    auto* add = share->add_subcommand("add", "add a share at the end of the machine's list");
    add->add_option("share", options.share, shareHelp)->required();
    AddFieldOptions(add);
    add->callback([&context] { context.status = ShareAdd(context); });

    auto* set = share->add_subcommand("set", "change a share's fields");
    set->add_option("share", options.share, shareHelp)->required();
    AddFieldOptions(set);
    set->callback([&context] { context.status = ShareSet(context); });

    auto* remove = share->add_subcommand("delete", "delete a share");
    remove->add_option("share", options.share, shareHelp)->required();
    remove->callback([&context] { context.status = ShareDelete(context); });

    auto* list = share->add_subcommand("list", "list a machine's shares: name, path, remark");
    list->add_option("machine", options.machine, "machine (default: the local machine)");
    list->callback([&context] { context.status = ShareList(context); });
}

}  // namespace ntsim
